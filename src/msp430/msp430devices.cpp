// Loading and sharing the msp430devices library, and the identify strings of the "Target"
// property group.
#include "msp430/msp430devices.h"

#include "common/hexception.h"
#include "platform/libraryloader.h"
#include "project/macros.h"
#include "project/propertygroups.h"

#include <QFileInfo>

#include <memory>

namespace zim::msp430 {

MSP430DeviceLibrary::MSP430DeviceLibrary(const project::MacroMap &macros) : m_macros(macros) {}

MSP430DeviceLibrary::~MSP430DeviceLibrary()
{
    // Users release before the library goes; an unbalanced acquire must not leave the
    // library's object behind either.
    if (m_users > 0) {
        m_users = 1;
        release();
    }
}

QString MSP430DeviceLibrary::libraryFilePath() const
{
    const QString base = project::expandMacros(m_macros, QStringLiteral("$(VeltDir)/bin/msp430devices"));
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

MSP430DeviceDatabase *MSP430DeviceLibrary::acquire()
{
    if (!m_library) {
        const QString path = libraryFilePath();
        // Both entry points are optional at load so that a library lacking one gets the
        // message that names it rather than a list of candidates.
        platform::LibraryLoadResult loaded = platform::loadLibrary(
            {path}, {{}, {QByteArrayLiteral("AllocateMSP430Devices"), QByteArrayLiteral("ReleaseMSP430Devices")}});
        if (!loaded.library)
            throw common::HException(QStringLiteral("cannot access \"%1\"").arg(path));
        std::unique_ptr<platform::LoadedLibrary> library = std::move(loaded.library);
        const auto allocate = library->function<AllocateMSP430DevicesFunction>("AllocateMSP430Devices");
        if (!allocate)
            throw common::HException(QStringLiteral("cannot find symbol \"AllocateMSP430Devices\" in DLL"));
        MSP430DeviceDatabase *devices = allocate();
        if (!devices)
            throw common::HException(QStringLiteral("\"AllocateMSP430Devices\" in \"%1\" returned no device database").arg(path));
        m_library = std::move(library);
        m_devices = devices;
    }
    ++m_users;
    return m_devices;
}

void MSP430DeviceLibrary::release()
{
    Q_ASSERT(m_users > 0);
    if (m_users <= 0 || --m_users > 0)
        return;
    const auto release = m_library->function<ReleaseMSP430DevicesFunction>("ReleaseMSP430Devices");
    if (release)
        release(m_devices);
    m_devices = nullptr;
    m_library.reset();
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

QStringList msp430IdentifyStrings(const project::PropertyGroups &groups, const QString &deviceName)
{
    const QString value =
        groups.value(QStringLiteral("Target"), deviceName, QStringLiteral("msp430_identify_string"));
    return value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

QString msp430IdentifyString(const project::PropertyGroups &groups, const QString &deviceName)
{
    const QStringList strings = msp430IdentifyStrings(groups, deviceName);
    return strings.isEmpty() ? QString() : strings.first();
}

bool msp430DeviceMatches(const project::PropertyGroups &groups, const QString &deviceName, const QString &detectedDeviceType)
{
    return msp430IdentifyStrings(groups, deviceName).contains(detectedDeviceType);
}

} // namespace zim::msp430
