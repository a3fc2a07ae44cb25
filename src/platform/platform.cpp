// The operating-system services the loader needs.
#include "platform/platform.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>
#include <chrono>

#if defined(Q_OS_LINUX)
#include <unistd.h>
#endif


namespace zim::platform {

QString executablePath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
#if defined(Q_OS_LINUX)
    char buffer[1025];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, 1024);
    if (n > 0)
        return QString::fromLocal8Bit(buffer, int(n));
#endif
    return QString();
}

uint64_t tickCount()
{
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void sleepMs(unsigned ms)
{
    QThread::msleep(ms);
}

} // namespace zim::platform
