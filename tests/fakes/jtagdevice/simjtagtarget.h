// An in-process pin-level transport: MSP430TargetInterface2 with the pin entries of its driver
// table wired straight to a SimJtagDevice, so the generic shifts and sequences run end to end.
#pragma once

#include "fakes/jtagdevice/simjtagdevice.h"
#include "msp430/msp430targetinterface2.h"

class SimJtagTarget : public zim::msp430::MSP430TargetInterface2
{
public:
    SimJtagTarget(zim::target::TargetEnvironment &environment, zim::msp430::MSP430DeviceLibrary &devices,
                  zim::fakes::SimJtagDevice &device)
        : MSP430TargetInterface2(environment, devices), m_device(device)
    {
    }

    void connect() override
    {
        if (wirePins)
            fill();
        connectDevice();
    }
    // Off: the table keeps the base filling, as a transport that supplies nothing.
    bool wirePins = true;
    int closes = 0;
    // Tests replace entries to make a transport that fails or cuts corners.
    using MSP430TargetInterface2::driver;

protected:
    void reconnectTransport() override {}

private:
    using D = zim::msp430::Msp430dDriver;
    static SimJtagTarget &self(D *d) { return *static_cast<SimJtagTarget *>(d->handle); }
    static zim::fakes::SimJtagDevice &chip(D *d) { return self(d).m_device; }

    void fill()
    {
        D &d = driver();
        d.handle = this;
        d.open = [](D *, const char *, uint32_t) { return 1; };
        d.close = [](D *p) {
            ++self(p).closes;
            return 1;
        };
        d.setRegulator = [](D *p, int on) {
            chip(p).setPower(on != 0);
            return 1;
        };
        // The adapter's line toggled between connection retries is the chip's RST/NMI.
        d.setLine = [](D *p, int level) {
            chip(p).setRst(level != 0);
            return 1;
        };
        d.setTest = [](D *p, int level) {
            chip(p).setTest(level != 0);
            return 1;
        };
        d.setRst = [](D *p, int level) {
            chip(p).setRst(level != 0);
            return 1;
        };
        d.setTms = [](D *p, int level) {
            chip(p).setTms(level != 0);
            return 1;
        };
        d.setTck = [](D *p, int level) {
            chip(p).setTck(level != 0);
            return 1;
        };
        d.setTdi = [](D *p, int level) {
            self(p).m_tdi = level;
            chip(p).setTdi(level != 0);
            return 1;
        };
        d.setTclk = d.setTdi;
        d.readTdo = [](D *p) { return chip(p).readTdo() ? 1 : 0; };
        d.readTclk = [](D *p) { return self(p).m_tdi; };
        d.pulseTclk = [](D *p, uint32_t periods) {
            for (uint32_t i = 0; i < periods; ++i) {
                chip(p).setTdi(false);
                chip(p).setTdi(true);
            }
            self(p).m_tdi = 1;
            return 1;
        };
    }

    zim::fakes::SimJtagDevice &m_device;
    int m_tdi = 1;
};
