// SolutionSelection: the project configuration of a run (-solution, -project, -config) and
// the device it runs on (-device, or the project's Target), with the messages that list the
// choices when a selection is missing or wrong.
#pragma once

#include <QString>
#include <QStringList>

namespace zim::project {
class MSP430BuildSystem; class ProjectElement; class ProjectSystem; class PropertyGroups;
}

namespace zim::loader {


class SolutionSelection
{
public:
    // The device of a run and its hardware multiplier setting.
    struct TargetDevice
    {
        QString name;                   // entry of the "Target" group; empty: none selected
        bool hardwareMultiplier = true; // the build_use_hardware_multiplier setting reads "Yes"
    };

    // None of them is owned; all must outlive the selection.
    SolutionSelection(project::ProjectSystem &projects, project::MSP430BuildSystem &build, project::PropertyGroups &groups);

    // Opens solutionPath and selects projectName and configName in it. Throws
    // SolutionLoadError for the file and HException, listing the choices, for the selection.
    void select(const QString &solutionPath, const QString &projectName, const QString &configName);
    // With a project selected and no load file named: appends the project's output file.
    // Throws HException when the project's kind builds no file in the configuration.
    void addOutputFile(QStringList &files) const;

    // -device: the device by name, compared without regard to case, winning over the project.
    void setDeviceName(const QString &name) { m_deviceName = name; }
    // Reads the target description when a device is named (by -device or the project) and
    // checks the name the run uses, -device or else the project's Target, against its
    // "Target" group. Throws HException for an unknown name, naming the closest device names.
    void resolveDevice();

    project::ProjectElement *currentProject() const { return m_currentProject; }
    const QString &configName() const { return m_configName; }

    // The device the run uses and its multiplier setting: -device, else the Target of the
    // selected project configuration; the multiplier as the project sets it, else as the
    // device's entry gives it, else the property's default.
    TargetDevice targetDevice() const;

    // The names of the "Target" group closest to name, best first (at most count).
    QStringList closestDeviceNames(const QString &name, int count) const;

private:
    QString projectDeviceName() const;
    // The entry of the "Target" group that name stands for, compared without regard to case.
    // Throws HException for an unknown name, with origin after it and the closest names.
    QString knownDeviceName(const QString &name, const QString &origin) const;

    project::ProjectSystem &m_projects;
    project::MSP430BuildSystem &m_build;
    project::PropertyGroups &m_groups;
    project::ProjectElement *m_currentProject = nullptr;
    QString m_configName;
    QString m_deviceName;
    QString m_projectDeviceName; // the project's Target as its entry spells it, once checked
    bool m_groupsLoaded = false;
};

} // namespace zim::loader
