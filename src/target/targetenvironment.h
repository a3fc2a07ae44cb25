// TargetEnvironment: what a target reads from the run it belongs to: environment settings
// and macros, property groups, the solution's projects and build system, the device the run
// names, the files the run reads, the loader's side of target scripts and the clock that
// every wait on a device uses. The program's composition root owns one and hands it to the
// targets it makes; tests make their own.
#pragma once

#include "platform/clock.h"
#include "platform/deviceaccess.h"
#include "project/environmentsettings.h"
#include "project/msp430buildsystem.h"
#include "project/msp430projectsystem.h"
#include "project/propertygroups.h"
#include "target/targetscripthost.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace zim::target {

class TargetEnvironment
{
public:
    // The environment macros take VeltDir from programPath, as the installation is laid
    // out around the executable.
    explicit TargetEnvironment(const QString &programPath);
    ~TargetEnvironment();
    TargetEnvironment(const TargetEnvironment &) = delete;
    TargetEnvironment &operator=(const TargetEnvironment &) = delete;

    project::EnvironmentSettings &settings() { return m_settings; }
    project::MacroMap &environmentMacros() { return m_settings.macros(); }
    const project::MacroMap &environmentMacros() const { return m_settings.macros(); }
    project::PropertyGroups &propertyGroups() { return m_propertyGroups; }
    const project::PropertyGroups &propertyGroups() const { return m_propertyGroups; }
    // Solutions and their projects, and the build system with the default description files
    // "$(VeltDir)/targets/MSP430F449.xml" and "$(VeltDir)/targets/section_placement.xml".
    project::MSP430ProjectSystem &projectSystem() { return m_projectSystem; }
    project::MSP430BuildSystem &buildSystem() { return m_buildSystem; }

    // The device the run names (its "Target" group entry), empty when none is named and the
    // targets use their defaults.
    const QString &selectedDevice() const { return m_selectedDevice; }
    void setSelectedDevice(const QString &device) { m_selectedDevice = device; }
    // The run's "build_use_hardware_multiplier" value: "Yes" unless a project says otherwise.
    const QString &hardwareMultiplierSetting() const { return m_hardwareMultiplier; }
    void setHardwareMultiplierSetting(const QString &value) { m_hardwareMultiplier = value; }

    // The files the job reads (load files, solution, script), so that a file the job writes
    // can be refused when it is one of them. Paths as the user gave them.
    const QStringList &inputFiles() const { return m_inputFiles; }
    void addInputFile(const QString &path)
    {
        if (!path.isEmpty() && !m_inputFiles.contains(path))
            m_inputFiles.append(path);
    }

    // The loader's side of target scripts; nullptr while no loader provides one, and then
    // targets run no reset or attach scripts. Not owned.
    TargetScriptHost *scriptHost() const { return m_scriptHost; }
    void setScriptHost(TargetScriptHost *host) { m_scriptHost = host; }

    // The clock of every wait on a device: the host's, unless a test sets its own (not owned;
    // it must outlive the targets).
    platform::Clock &clock() const { return *m_clock; }
    void setClock(platform::Clock *clock) { m_clock = clock ? clock : &m_systemClock; }

    // The device calls of hardware targets: those the run installed (a device shim), else the
    // real ones, made on first use. Not owned when set; it must outlive the targets.
    platform::DeviceAccess &deviceAccess();
    void setDeviceAccess(platform::DeviceAccess *access) { m_deviceAccess = access; }

private:
    project::EnvironmentSettings m_settings;
    project::PropertyGroups m_propertyGroups;
    project::MSP430ProjectSystem m_projectSystem;
    project::MSP430BuildSystem m_buildSystem;
    QString m_selectedDevice;
    QString m_hardwareMultiplier;
    QStringList m_inputFiles;
    TargetScriptHost *m_scriptHost = nullptr;
    platform::SystemClock m_systemClock;
    platform::Clock *m_clock = &m_systemClock;
    platform::DeviceAccess *m_deviceAccess = nullptr;
    std::unique_ptr<platform::DeviceAccess> m_realDevices;
};

} // namespace zim::target
