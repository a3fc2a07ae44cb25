// The ppdev parallel port.
#include "platform/parallelport.h"

#include <QRegularExpression>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <linux/ppdev.h>
#include <signal.h>
#include <sys/time.h>

namespace zim::platform {

namespace {

// The claim's time bound interrupts the blocked request; the handler only has to exist, and
// is installed without SA_RESTART so that the request returns.
extern "C" void onClaimTimeout(int) {}

} // namespace

QString ParallelPort::deviceNode(const QString &portName)
{
    static const QRegularExpression lpt(QStringLiteral("^LPT([1-9][0-9]?)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression parport(QStringLiteral("^parport([0-9]{1,2})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch m = lpt.match(portName); m.hasMatch())
        return QStringLiteral("/dev/parport%1").arg(m.captured(1).toInt() - 1);
    if (const QRegularExpressionMatch m = parport.match(portName); m.hasMatch())
        return QStringLiteral("/dev/parport%1").arg(m.captured(1).toInt());
    return QString();
}

bool ParallelPort::fail(Failure failure, int error)
{
    m_failure = failure;
    m_reason = m_node + ": " + std::strerror(error);
    return false;
}

bool ParallelPort::open(const QString &node, bool sharing, unsigned claimTimeoutMs)
{
    close();
    m_failure = Failure::None;
    m_reason.clear();
    m_node = node.toStdString();
    m_fd = m_calls.open(m_node.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (m_fd < 0)
        return fail(Failure::CannotOpen, errno);
    // Exclusive access must be asked for before the claim registers this program on the port.
    if (!sharing && m_calls.ioctl(m_fd, PPEXCL, nullptr) != 0) {
        const int error = errno;
        m_calls.close(m_fd);
        m_fd = -1;
        return fail(error == EBUSY ? Failure::Busy : Failure::Refused, error);
    }
    if (!claimWithin(claimTimeoutMs)) {
        m_calls.close(m_fd);
        m_fd = -1;
        return false;
    }
    // The registers keep what they held: a port opened again must not cut the supply of a
    // target that runs on it.
    if (m_calls.ioctl(m_fd, PPRDATA, &m_data) != 0 || m_calls.ioctl(m_fd, PPRCONTROL, &m_control) != 0) {
        fail(Failure::Refused, errno);
        const std::string reason = m_reason;
        close();
        m_failure = Failure::Refused;
        m_reason = reason;
        return false;
    }
    return true;
}

bool ParallelPort::claimWithin(unsigned timeoutMs)
{
    struct sigaction action = {};
    struct sigaction previousAction = {};
    action.sa_handler = onClaimTimeout;
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, &previousAction);
    itimerval bound = {};
    bound.it_value.tv_sec = timeoutMs / 1000;
    bound.it_value.tv_usec = suseconds_t(timeoutMs % 1000) * 1000;
    itimerval previousTimer = {};
    setitimer(ITIMER_REAL, &bound, &previousTimer);

    const int result = m_calls.ioctl(m_fd, PPCLAIM, nullptr);
    const int error = errno;

    const itimerval off = {};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previousAction, nullptr);
    if (previousTimer.it_value.tv_sec || previousTimer.it_value.tv_usec)
        setitimer(ITIMER_REAL, &previousTimer, nullptr);

    if (result == 0)
        return true;
    if (error == EINTR) {
        m_failure = Failure::Busy;
        m_reason = m_node + ": not claimed within " + std::to_string(timeoutMs / 1000) + " s";
        return false;
    }
    return fail(error == EBUSY ? Failure::Busy : Failure::Refused, error);
}

void ParallelPort::close()
{
    if (m_fd < 0)
        return;
    m_calls.ioctl(m_fd, PPRELEASE, nullptr);
    m_calls.close(m_fd);
    m_fd = -1;
}

bool ParallelPort::writeData(uint8_t value)
{
    m_data = value;
    return m_calls.ioctl(m_fd, PPWDATA, &m_data) == 0 || fail(Failure::Refused, errno);
}

bool ParallelPort::writeControl(uint8_t value)
{
    m_control = value;
    return m_calls.ioctl(m_fd, PPWCONTROL, &m_control) == 0 || fail(Failure::Refused, errno);
}

int ParallelPort::readStatus()
{
    unsigned char status = 0;
    if (m_calls.ioctl(m_fd, PPRSTATUS, &status) != 0) {
        fail(Failure::Refused, errno);
        return -1;
    }
    return status;
}

uint32_t ParallelPort::baseAddress() const
{
    const std::string prefix = "/dev/";
    if (m_fd < 0 || m_node.compare(0, prefix.size(), prefix) != 0)
        return 0;
    const std::string path = "/proc/sys/dev/parport/" + m_node.substr(prefix.size()) + "/base-addr";
    const int fd = m_calls.open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    char text[64] = {};
    const ssize_t got = m_calls.read(fd, text, sizeof text - 1);
    m_calls.close(fd);
    if (got <= 0)
        return 0;
    // "888\t1912": the base address first, in decimal.
    return uint32_t(std::strtoul(text, nullptr, 10));
}

} // namespace zim::platform
