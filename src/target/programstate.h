// ProgramState: the objects one run of the loader shares from start-up to exit (environment
// settings and macros, property groups, the load-file factory, the target registry and the
// device the run uses), made by the entry and handed down to whoever needs them. Tests make
// their own.
#pragma once

#include "loadfile/loadfilefactory.h"
#include "project/environmentsettings.h"
#include "project/msp430buildsystem.h"
#include "project/msp430projectsystem.h"
#include "project/propertygroups.h"
#include "target/targetregistry.h"
#include "target/targetscripthost.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <typeindex>
#include <utility>
#include <vector>

namespace zim::target {

class ProgramState
{
public:
    // A program-wide object of a folder above this one (the device library handle, the
    // script systems): made on first use by service<T>() and destroyed with the state, the
    // last made first.
    class Service
    {
    public:
        virtual ~Service() = default;
    };

    // The environment macros take VeltDir from programPath, as the installation is laid
    // out around the executable.
    explicit ProgramState(const QString &programPath);
    ~ProgramState();
    ProgramState(const ProgramState &) = delete;
    ProgramState &operator=(const ProgramState &) = delete;

    project::EnvironmentSettings &settings() { return m_settings; }
    project::MacroMap &environmentMacros() { return m_settings.macros(); }
    const project::MacroMap &environmentMacros() const { return m_settings.macros(); }
    project::PropertyGroups &propertyGroups() { return m_propertyGroups; }
    const project::PropertyGroups &propertyGroups() const { return m_propertyGroups; }
    loadfile::TEVOLoadFileFactory &loadFileFactory() { return m_loadFileFactory; }
    MSP430TargetInterfaceFactory &targetFactory() { return m_targetFactory; }
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

    // The one T of this state; T derives from Service and is constructed from ProgramState&.
    template<typename T>
    T &service()
    {
        const std::type_index key(typeid(T));
        for (auto &entry : m_services)
            if (entry.first == key)
                return static_cast<T &>(*entry.second);
        auto made = std::make_unique<T>(*this);
        T &result = *made;
        m_services.emplace_back(key, std::move(made));
        return result;
    }

private:
    project::EnvironmentSettings m_settings;
    project::PropertyGroups m_propertyGroups;
    loadfile::TEVOLoadFileFactory m_loadFileFactory;
    MSP430TargetInterfaceFactory m_targetFactory;
    project::MSP430ProjectSystem m_projectSystem;
    project::MSP430BuildSystem m_buildSystem;
    QString m_selectedDevice;
    QString m_hardwareMultiplier;
    QStringList m_inputFiles;
    TargetScriptHost *m_scriptHost = nullptr;
    std::vector<std::pair<std::type_index, std::unique_ptr<Service>>> m_services;
};

} // namespace zim::target
