// The environment settings and macros.
#include "project/environmentsettings.h"

#include <QSettings>

namespace zim::project {

EnvironmentSettings::EnvironmentSettings(const QString &programPath)
{
    m_macros.insert(QStringLiteral("VeltDir"), veltDirFromExecutablePath(programPath));
    m_macros.insert(QStringLiteral("Platform"), QStringLiteral("msp430"));
}

QVariant EnvironmentSettings::value(const QString &path, const QVariant &defaultValue) const
{
    QSettings settings(QString::fromLatin1(organisationName), QString::fromLatin1(productName));
    return settings.value(path, defaultValue);
}

QString EnvironmentSettings::veltDirFromExecutablePath(const QString &path)
{
    // The path as the system reports it, up to 1024 characters.
    QString dir = path.left(1024);
    const qsizetype back = dir.lastIndexOf(QLatin1String("\\bin\\"), -1, Qt::CaseInsensitive);
    const qsizetype forward = dir.lastIndexOf(QLatin1String("/bin/"), -1, Qt::CaseInsensitive);
    const qsizetype cut = std::max(back, forward);
    if (cut >= 0)
        dir.truncate(cut);
    dir.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return dir;
}

} // namespace zim::project
