// The parallel-port FET target: the driver table's low-level entries as device-control
// requests, the port's open and reopen, and the checks a parallel port needs because a pulled
// cable is silent on it.
#include "msp430/msp430parallelportfettargetinterface.h"

#include "common/hexception.h"
#include "msp430/fetportdevice.h"
#include "platform/deviceaccess.h"
#include "platform/interruptguard.h"
#include "target/targetenvironment.h"
#include "target/targetinterface.h"

#include <cstring>

namespace zim::msp430 {

namespace {

using D = Msp430dDriver;

MSP430ParallelPortFETTargetInterface &self(D *d)
{
    return *static_cast<MSP430ParallelPortFETTargetInterface *>(d->handle);
}

constexpr uint8_t kJtagId = 0x89;
constexpr uint8_t kIrCntrlSigCapture = 0x14;

const char kBusyHint[] = "The printer driver lp may hold the port: unload it with \xe2\x80\x9csudo modprobe -r lp\xe2\x80\x9d.";

} // namespace

MSP430ParallelPortFETTargetInterface::MSP430ParallelPortFETTargetInterface(target::TargetEnvironment &environment,
                                                                           MSP430DeviceLibrary &devices,
                                                                           DeviceFactory deviceFactory)
    : MSP430TargetInterface2(environment, devices), m_environment(environment),
      m_deviceFactory(std::move(deviceFactory))
{
    setObjectName(QStringLiteral("MSP430ParallelPortFETTargetInterface"));
    const QString connection = QStringLiteral("Connection");
    registerProperty(QStringLiteral("portName"), connection, QStringLiteral("Parallel Port"),
                     QStringLiteral("Parallel port to use when connecting to target hardware using a FET."),
                     QStringLiteral("LPT1"));
    registerProperty(QStringLiteral("portAddress"), connection, QStringLiteral("Parallel Port Address"),
                     QStringLiteral("The base address of the currently connected parallel port."));
    registerProperty(QStringLiteral("portSharing"), connection, QStringLiteral("Parallel Port Sharing"),
                     QStringLiteral("Specifies whether sharing of the parallel port with other device drivers or "
                                    "programs is permitted."),
                     QStringLiteral("No"));
}

MSP430ParallelPortFETTargetInterface::~MSP430ParallelPortFETTargetInterface()
{
    closePort();
}

bool MSP430ParallelPortFETTargetInterface::send(uint32_t code, const void *in, uint32_t inSize, void *out,
                                                uint32_t outSize)
{
    Msp430dDriver &d = driver();
    if (!m_device) {
        d.lastError = "the parallel port is not open";
        return false;
    }
    if (m_device->request(code, in, inSize, out, outSize))
        return true;
    d.lastError = m_device->detail();
    return false;
}

void MSP430ParallelPortFETTargetInterface::closePort()
{
    if (!m_device)
        return;
    m_device->request(fetrequest::Close, nullptr, 0, nullptr, 0);
    m_device.reset();
}

bool MSP430ParallelPortFETTargetInterface::openPort()
{
    Msp430dDriver &d = driver();
    const QByteArray name = m_portName.toLocal8Bit();
    return d.open(&d, name.constData(), m_portSharing ? 1 : 0) != 0;
}

void MSP430ParallelPortFETTargetInterface::fillDriver()
{
    D &d = driver();
    d.handle = this;
    m_genericProgramFlash = d.programFlash;

    d.open = [](D *d, const char *name, uint32_t sharing) {
        MSP430ParallelPortFETTargetInterface &me = self(d);
        me.closePort();
        if (std::strlen(name) > fetrequest::kMaxPortName) {
            d->lastError = "open argument too long";
            return 0;
        }
        if (me.m_deviceFactory) {
            me.m_device = me.m_deviceFactory();
        } else {
            me.m_device = std::make_unique<FetPortDevice>(me.m_environment.deviceAccess().calls());
        }
        if (!me.m_device) {
            d->lastError = "cannot open FET device driver";
            return 0;
        }
        uint8_t in[fetrequest::kOpenInputSize] = {};
        std::memcpy(in, &sharing, 4);
        std::memcpy(in + 4, name, std::strlen(name) + 1);
        uint32_t base = 0;
        if (me.m_device->request(fetrequest::Open, in, sizeof in, &base, sizeof base)) {
            me.m_baseAddress = base;
            return 1;
        }
        const int error = me.m_device->error();
        const std::string detail = me.m_device->detail();
        me.m_device.reset();
        d->lastError = error == feterror::InvalidParameter ? "invalid parameter"
                       : error == feterror::Busy           ? "parallel port already in use"
                       : error == feterror::FileNotFound   ? "cannot open FET device driver"
                                                           : "";
        if (!detail.empty())
            d->lastError += (d->lastError.empty() ? "" : ": ") + detail;
        if (error == feterror::Busy)
            d->lastError += std::string("\n") + kBusyHint;
        return 0;
    };
    d.close = [](D *d) {
        self(d).closePort();
        return 1;
    };
    d.enterSpyBiWireJtag = [](D *d) {
        platform::Clock &clock = self(d).m_environment.clock();
        bool ok = d->setTest(d, 0);
        clock.sleep(5);
        ok = ok && d->setTest(d, 1) && d->setLine(d, 0) && d->setTest(d, 2) && d->setLine(d, 2);
        clock.sleep(10);
        return int(ok && d->setLine(d, 1));
    };
    // The entries that take one 32-bit value and give nothing back.
#define ZIM_FET_SET(entry, code)                                              \
    d.entry = [](D *d, int level) {                                           \
        const int32_t value = level;                                          \
        return int(self(d).send(fetrequest::code, &value, 4, nullptr, 0));    \
    };
    ZIM_FET_SET(setTest, SetTest)
    ZIM_FET_SET(setTdi, SetTdi)
    ZIM_FET_SET(setTms, SetTms)
    ZIM_FET_SET(setTck, SetTck)
    ZIM_FET_SET(setRegulator, SetRegulator)
    ZIM_FET_SET(setLine, SetLine)
    ZIM_FET_SET(setTclk, SetTclk)
#undef ZIM_FET_SET
    d.readTdo = [](D *d) {
        int32_t value = 0;
        return self(d).send(fetrequest::ReadTdo, nullptr, 0, &value, 4) ? int(value) : -1;
    };
    d.readTclk = [](D *d) {
        int32_t value = 0;
        return self(d).send(fetrequest::ReadTclk, nullptr, 0, &value, 4) ? int(value) : -1;
    };
    d.pulseTclk = [](D *d, uint32_t periods) {
        return int(self(d).send(fetrequest::PulseTclk, &periods, 4, nullptr, 0));
    };
    // The FET cannot measure the target's supply.
    d.readTargetVoltage = [](D *) { return -1; };
    d.shiftInstruction = [](D *d, uint8_t ir) { return int(self(d).send(fetrequest::ShiftIr, &ir, 1, nullptr, 0)); };
    d.shiftInstructionCapture = [](D *d, uint8_t ir) {
        uint8_t got = 0;
        return self(d).send(fetrequest::ShiftIrCapture, &ir, 1, &got, 1) ? int(got) : -1;
    };
    d.shiftData16 = [](D *d, uint16_t v) { return int(self(d).send(fetrequest::ShiftDr16, &v, 2, nullptr, 0)); };
    d.shiftData16Capture = [](D *d, uint16_t v) {
        uint16_t got = 0;
        return self(d).send(fetrequest::ShiftDr16Capture, &v, 2, &got, 2) ? int32_t(got) : -1;
    };
    d.shiftData8 = [](D *d, uint8_t v) { return int(self(d).send(fetrequest::ShiftDr8, &v, 1, nullptr, 0)); };
    d.shiftData8Capture = [](D *d, uint8_t v) {
        uint8_t got = 0;
        return self(d).send(fetrequest::ShiftDr8Capture, &v, 1, &got, 1) ? int32_t(got) : -1;
    };
    d.initJtag = [](D *d) { return int(self(d).send(fetrequest::InitJtag, nullptr, 0, nullptr, 0)); };
    d.checkFuse = [](D *d) {
        int32_t blown = 0;
        return self(d).send(fetrequest::CheckFuse, nullptr, 0, &blown, 4) ? int(blown) : -1;
    };
    // A pulled cable is silent on a parallel port: every write succeeds and TDO floats, so
    // programming would report success. The JTAG ID read back after each programming call
    // is what shows the device is still there.
    d.programFlash = [](D *d, uint32_t address, uint32_t length, const uint8_t *bytes) {
        if (!self(d).m_genericProgramFlash(d, address, length, bytes))
            return 0;
        const int id = d->shiftInstructionCapture(d, kIrCntrlSigCapture);
        if (id == kJtagId)
            return 1;
        if (id >= 0) {
            char text[128];
            std::snprintf(text, sizeof text,
                          "the JTAG ID reads 0x%02x instead of 0x%02x: check that the FET cable is connected", id,
                          kJtagId);
            d->lastError = text;
        }
        return 0;
    };
    m_filled = true;
}

void MSP430ParallelPortFETTargetInterface::connect()
{
    if (isConnected())
        throw common::HException(QStringLiteral("Target interface already connected"));
    if (!m_filled)
        fillDriver();
    driver().lastError.clear();
    if (!openPort())
        fail(QStringLiteral("Cannot open target interface"));
    m_portAddress = m_baseAddress ? QStringLiteral("0x") + QString::number(m_baseAddress, 16) : QString();
    connectDevice();
}

void MSP430ParallelPortFETTargetInterface::reconnectTransport()
{
    driver().lastError.clear();
    if (!openPort())
        fail(QStringLiteral("Cannot reconnect to target interface"));
}

void MSP430ParallelPortFETTargetInterface::beginLoad()
{
    m_interrupt = std::make_unique<platform::InterruptGuard>(platform::InterruptGuard::SecondPressEnds);
    MSP430TargetInterface2::beginLoad();
}

void MSP430ParallelPortFETTargetInterface::endLoad()
{
    m_interrupt.reset();
    MSP430TargetInterface2::endLoad();
}

void MSP430ParallelPortFETTargetInterface::programBytes(uint32_t address, uint32_t count, const uint8_t *data)
{
    // Ctrl-C ends the download between blocks: the port is given back, so a printer or the
    // next run can take it at once, but without the close request, which would switch the
    // FET's buffers off and let a half-programmed device run; the port's registers keep the
    // device held in the debug state.
    if (m_interrupt && m_interrupt->interrupted()) {
        m_interrupt.reset();
        m_device.reset();
        throw common::HException(QStringLiteral("programming interrupted by Ctrl-C"));
    }
    MSP430TargetInterface2::programBytes(address, count, data);
}

target::TargetRegistryEntry parallelPortFetTarget(target::TargetEnvironment &environment,
                                                  MSP430DeviceLibrary &devices)
{
    return {"MSP430ParallelPortFETTargetInterface", "fet", "Flash Emulation Tool (MSP-FET430PIF)", false,
            [&environment, &devices] {
                auto port = std::make_unique<MSP430ParallelPortFETTargetInterface>(environment, devices);
                const QString name = port->objectName();
                return std::make_unique<target::TargetInterface>(std::move(port), name, &environment);
            }};
}

} // namespace zim::msp430
