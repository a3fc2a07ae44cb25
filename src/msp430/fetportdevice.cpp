// The FET's requests on the pins of a ppdev parallel port.
#include "msp430/fetportdevice.h"

#include <cstring>

namespace zim::msp430 {

namespace {

using D = Msp430dDriver;

FetPortDevice &self(D *d) { return *static_cast<FetPortDevice *>(d->handle); }

int32_t readInt(const void *in)
{
    int32_t value = 0;
    std::memcpy(&value, in, sizeof value);
    return value;
}

void writeInt(void *out, uint32_t size, int32_t value)
{
    std::memcpy(out, &value, size);
}

} // namespace

FetPortDevice::FetPortDevice(const ZimDeviceCalls &calls) : m_port(calls)
{
    msp430dFillBase(m_pins);
    m_pins.handle = this;
    m_pins.setTdi = [](D *d, int level) { return int(self(d).setData(fetpins::Tdi, level != 0)); };
    m_pins.setTclk = m_pins.setTdi;
    m_pins.setTms = [](D *d, int level) { return int(self(d).setData(fetpins::Tms, level != 0)); };
    m_pins.setTck = [](D *d, int level) { return int(self(d).setData(fetpins::Tck, level != 0)); };
    m_pins.setTest = [](D *d, int level) { return int(self(d).setControl(fetpins::Test, level != 0)); };
    m_pins.setRst = [](D *d, int level) { return int(self(d).setControl(fetpins::Rst, level == 0)); };
    m_pins.readTdo = [](D *d) {
        const int status = self(d).m_port.readStatus();
        return status < 0 ? (self(d).portFailed(), -1) : (status & fetpins::Tdo) ? 1 : 0;
    };
    // The TCLK level is the TDI bit the data register holds: no call to the port.
    m_pins.readTclk = [](D *d) { return (self(d).m_port.data() & fetpins::Tdi) ? 1 : 0; };
    m_pins.pulseTclk = [](D *d, uint32_t periods) {
        for (uint32_t i = 0; i < periods; ++i)
            if (!self(d).setData(fetpins::Tdi, false) || !self(d).setData(fetpins::Tdi, true))
                return 0;
        return 1;
    };
}

bool FetPortDevice::failed(int error, std::string detail)
{
    m_error = error;
    m_detail = std::move(detail);
    return false;
}

bool FetPortDevice::portFailed()
{
    return failed(feterror::GeneralFailure, m_port.reason());
}

bool FetPortDevice::setData(uint8_t bits, bool on)
{
    const uint8_t value = on ? uint8_t(m_port.data() | bits) : uint8_t(m_port.data() & ~bits);
    return value == m_port.data() || m_port.writeData(value) || portFailed();
}

bool FetPortDevice::setControl(uint8_t bits, bool on)
{
    const uint8_t value = on ? uint8_t(m_port.control() | bits) : uint8_t(m_port.control() & ~bits);
    return value == m_port.control() || m_port.writeControl(value) || portFailed();
}

bool FetPortDevice::open(const void *in, void *out)
{
    char name[fetrequest::kMaxPortName + 1] = {};
    std::memcpy(name, static_cast<const char *>(in) + 4, sizeof name);
    name[fetrequest::kMaxPortName] = '\0';
    const QString node = platform::ParallelPort::deviceNode(QString::fromLatin1(name));
    if (node.isEmpty())
        return failed(feterror::InvalidParameter,
                      std::string("\xe2\x80\x9c") + name + "\xe2\x80\x9d is not a parallel port (use LPTn or parportN)");
    if (!m_port.open(node, readInt(in) != 0)) {
        switch (m_port.failure()) {
        case platform::ParallelPort::Failure::CannotOpen:
            return failed(feterror::FileNotFound, m_port.reason());
        case platform::ParallelPort::Failure::Busy:
            return failed(feterror::Busy, m_port.reason());
        default:
            return failed(feterror::InvalidParameter, m_port.reason());
        }
    }
    writeInt(out, 4, int32_t(m_port.baseAddress()));
    return true;
}

bool FetPortDevice::request(uint32_t code, const void *in, uint32_t inSize, void *out, uint32_t outSize)
{
    using namespace fetrequest;
    m_error = 0;
    m_detail.clear();
    D *d = &m_pins;
    // Each request's input and output sizes; anything else is refused as a bad parameter.
    auto sized = [&](uint32_t wantIn, uint32_t wantOut) {
        return inSize == wantIn && outSize == wantOut && (!wantIn || in) && (!wantOut || out);
    };
    auto result = [&](int32_t value, uint32_t size) {
        if (value < 0)
            return m_error ? false : failed(feterror::GeneralFailure, m_port.reason());
        writeInt(out, size, value);
        return true;
    };
    auto done = [&](int ok) { return ok ? true : m_error ? false : failed(feterror::GeneralFailure, m_port.reason()); };
    if (code == Open)
        return sized(kOpenInputSize, 4) ? open(in, out) : failed(feterror::InvalidParameter, std::string());
    if (!m_port.isOpen())
        return failed(feterror::InvalidParameter, "the port is not open");
    switch (code) {
    case Close:
        if (!sized(0, 0))
            break;
        // The buffers go off first, so the target's pins float before the port is let go.
        m_port.writeControl(0);
        m_port.close();
        return true;
    case SetTdi:
    case SetTms:
    case SetTck:
    case SetTest:
    case SetRegulator:
    case SetLine:
    case SetTclk:
    case PulseTclk: {
        if (!sized(4, 0))
            break;
        const int32_t value = readInt(in);
        switch (code) {
        case SetTdi: return done(d->setTdi(d, value));
        case SetTms: return done(d->setTms(d, value));
        case SetTck: return done(d->setTck(d, value));
        // Level 2 is the Spy-Bi-Wire entry's TEST level; the 4-wire FET drives it high.
        case SetTest: return done(d->setTest(d, value));
        case SetRegulator: return done(setData(fetpins::Power, value != 0));
        // The line the connection retries toggle is the target's reset.
        case SetLine: return done(d->setRst(d, value));
        case SetTclk: return done(d->setTclk(d, value));
        default: return done(d->pulseTclk(d, uint32_t(value)));
        }
    }
    case ReadTdo:
        return sized(0, 4) ? result(d->readTdo(d), 4) : failed(feterror::InvalidParameter, std::string());
    case ReadTclk:
        return sized(0, 4) ? result(d->readTclk(d), 4) : failed(feterror::InvalidParameter, std::string());
    case ShiftIr:
        return sized(1, 0) ? done(d->shiftInstruction(d, *static_cast<const uint8_t *>(in)))
                           : failed(feterror::InvalidParameter, std::string());
    case ShiftIrCapture:
        return sized(1, 1) ? result(d->shiftInstructionCapture(d, *static_cast<const uint8_t *>(in)), 1)
                           : failed(feterror::InvalidParameter, std::string());
    case ShiftDr16:
    case ShiftDr16Capture: {
        if (!sized(2, code == ShiftDr16 ? 0 : 2))
            break;
        uint16_t value = 0;
        std::memcpy(&value, in, 2);
        return code == ShiftDr16 ? done(d->shiftData16(d, value)) : result(d->shiftData16Capture(d, value), 2);
    }
    case ShiftDr8:
        return sized(1, 0) ? done(d->shiftData8(d, *static_cast<const uint8_t *>(in)))
                           : failed(feterror::InvalidParameter, std::string());
    case ShiftDr8Capture:
        return sized(1, 1) ? result(d->shiftData8Capture(d, *static_cast<const uint8_t *>(in)), 1)
                           : failed(feterror::InvalidParameter, std::string());
    case InitJtag:
        if (!sized(0, 0))
            break;
        return done(setControl(fetpins::Enable, true) && d->initJtag(d));
    case CheckFuse:
        return sized(0, 4) ? result(d->checkFuse(d), 4) : failed(feterror::InvalidParameter, std::string());
    default:
        break;
    }
    return failed(feterror::InvalidParameter, std::string());
}

} // namespace zim::msp430
