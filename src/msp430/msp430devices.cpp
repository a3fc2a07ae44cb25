// Loading and sharing the msp430devices library, and the identify strings of the "Target"
// property group.
#include "msp430/msp430devices.h"

#include "common/hexception.h"
#include "platform/sharedlibrary.h"
#include "project/macros.h"
#include "project/propertygroups.h"

#include <QFileInfo>

#include <memory>

namespace {

// The program-wide library state: handle, object and number of users.
struct DevicesLibrary
{
    std::unique_ptr<platform::SharedLibrary> library;
    MSP430DeviceDatabase *devices = nullptr;
    int users = 0;
};

DevicesLibrary &devicesLibrary()
{
    static DevicesLibrary state;
    return state;
}

// The library file as this platform names it, so that a message points at the real file.
QString libraryFilePath()
{
    const QString base = expandMacros(environmentMacros(), QStringLiteral("$(VeltDir)/bin/msp430devices"));
    const QFileInfo info(base);
#if defined(Q_OS_WIN)
    const QString fileName = info.fileName() + QStringLiteral(".dll");
#elif defined(Q_OS_MACOS)
    const QString fileName = QStringLiteral("lib") + info.fileName() + QStringLiteral(".dylib");
#else
    const QString fileName = QStringLiteral("lib") + info.fileName() + QStringLiteral(".so");
#endif
    const int slash = base.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? fileName : base.left(slash + 1) + fileName;
}

} // namespace

MSP430DeviceDatabase *acquireMSP430Devices()
{
    DevicesLibrary &state = devicesLibrary();
    if (!state.library) {
        const QString path = libraryFilePath();
        auto library = std::make_unique<platform::SharedLibrary>(path);
        if (!library->load())
            throw HException(QStringLiteral("cannot access \"%1\"").arg(path));
        const auto allocate = library->resolveAs<AllocateMSP430DevicesFunction>("AllocateMSP430Devices");
        if (!allocate)
            throw HException(QStringLiteral("cannot find symbol \"AllocateMSP430Devices\" in DLL"));
        MSP430DeviceDatabase *devices = allocate();
        if (!devices)
            throw HException(QStringLiteral("\"AllocateMSP430Devices\" in \"%1\" returned no device database").arg(path));
        state.library = std::move(library);
        state.devices = devices;
    }
    ++state.users;
    return state.devices;
}

void releaseMSP430Devices()
{
    DevicesLibrary &state = devicesLibrary();
    Q_ASSERT(state.users > 0);
    if (state.users <= 0 || --state.users > 0)
        return;
    const auto release = state.library->resolveAs<ReleaseMSP430DevicesFunction>("ReleaseMSP430Devices");
    if (release)
        release(state.devices);
    state.devices = nullptr;
    state.library.reset();
}

int findMSP430Device(MSP430DeviceDatabase *devices, const QString &name)
{
    if (!devices || name.isEmpty())
        return -1;
    const QByteArray wanted = name.toLatin1();
    for (int i = 0, n = devices->count(); i < n; ++i) {
        if (wanted == devices->name(i))
            return i;
    }
    return -1;
}

QStringList msp430IdentifyStrings(const QString &deviceName)
{
    const QString value =
        PropertyGroups::instance().value(QStringLiteral("Target"), deviceName, QStringLiteral("msp430_identify_string"));
    return value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

QString msp430IdentifyString(const QString &deviceName)
{
    const QStringList strings = msp430IdentifyStrings(deviceName);
    return strings.isEmpty() ? QString() : strings.first();
}

bool msp430DeviceMatches(const QString &deviceName, const QString &detectedDeviceType)
{
    return msp430IdentifyStrings(deviceName).contains(detectedDeviceType);
}
