// The environment settings: the environment macros set at start-up and the user's settings
// store, read through QSettings under our organisation and the product name.
#pragma once

#include "project/macros.h"

#include <QString>
#include <QVariant>

namespace zim::project {

class EnvironmentSettings
{
public:
    static constexpr const char *organisationName = "Zimprog";
    static constexpr const char *productName = "Veltrix for MSP430";

    // Sets VeltDir from programPath and Platform to "msp430".
    explicit EnvironmentSettings(const QString &programPath);

    // The environment macros (VeltDir, Platform).
    MacroMap &macros() { return m_macros; }
    const MacroMap &macros() const { return m_macros; }
    // A setting by its path; an absent setting reads as defaultValue.
    QVariant value(const QString &path, const QVariant &defaultValue = QVariant()) const;

    // The installation directory from an executable's full path: everything before the last
    // "\bin\" or "/bin/" (case-insensitive) with backslashes turned into "/"; a path without
    // such a component stays whole.
    static QString veltDirFromExecutablePath(const QString &path);

private:
    MacroMap m_macros;
};

} // namespace zim::project
