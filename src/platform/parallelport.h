// A parallel port through the kernel's ppdev driver: open, take exclusively or shared, claim
// within a time bound, and move the data, control and status registers. Every device call
// goes through the device-call table, so a device shim can stand in for the port.
#pragma once

#include "platform/devicecalls.h"

#include <QString>
#include <cstdint>
#include <string>

namespace zim::platform {

class ParallelPort
{
public:
    enum class Failure {
        None,
        BadName,     // not a name of a parallel port
        CannotOpen,  // the device node did not open
        Busy,        // another driver or program holds the port
        Refused,     // the node is not a ppdev port, or a request failed
    };

    // "LPTn" (n ≥ 1) names /dev/parport(n−1), "parportN" names /dev/parportN; any case.
    // Empty when the name is neither.
    static QString deviceNode(const QString &portName);

    explicit ParallelPort(const ZimDeviceCalls &calls) : m_calls(calls) {}
    ~ParallelPort() { close(); }
    ParallelPort(const ParallelPort &) = delete;
    ParallelPort &operator=(const ParallelPort &) = delete;

    // Opens node, asks for it exclusively unless sharing, and claims it; a claim that has not
    // succeeded after claimTimeoutMs counts as busy. False with failure() and reason() set.
    bool open(const QString &node, bool sharing, unsigned claimTimeoutMs = 2000);
    // Releases the claim and closes the node; nothing when not open.
    void close();
    bool isOpen() const { return m_fd >= 0; }

    // The registers; the write forms keep a shadow, so reading what was written costs no call.
    bool writeData(uint8_t value);
    bool writeControl(uint8_t value);
    // The status register, or -1.
    int readStatus();
    uint8_t data() const { return m_data; }
    uint8_t control() const { return m_control; }

    // The I/O base address the kernel reports for the open port; 0 when it reports none.
    uint32_t baseAddress() const;

    Failure failure() const { return m_failure; }
    // The device node and the system's reason, as "/dev/parport0: Device or resource busy".
    const std::string &reason() const { return m_reason; }

private:
    bool fail(Failure failure, int error);
    bool claimWithin(unsigned timeoutMs);

    const ZimDeviceCalls &m_calls;
    int m_fd = -1;
    std::string m_node;
    uint8_t m_data = 0;
    uint8_t m_control = 0;
    Failure m_failure = Failure::None;
    std::string m_reason;
};

} // namespace zim::platform
