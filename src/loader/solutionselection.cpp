// Choosing the project configuration and the device of a run.
#include "loader/solutionselection.h"

#include "common/hexception.h"
#include "common/text.h"
#include "project/msp430buildsystem.h"
#include "project/projectsystem.h"
#include "project/propertygroups.h"
#include "project/propertyvaluegroupvalue.h"

#include <algorithm>
#include <vector>

namespace zim::loader {

namespace {

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString projectList(const QString &solutionPath, const QMap<QString, project::ProjectElement *> &projects)
{
    QString text = QStringLiteral("Projects in ") + quoted(common::fileNameOnly(solutionPath)) + QStringLiteral(":\n");
    for (auto it = projects.cbegin(); it != projects.cend(); ++it)
        text += QStringLiteral("\n  ") + it.key();
    return text;
}

// The blank line after the heading stands even when the project has no configurations.
QString configurationList(const QString &projectName, const QStringList &names)
{
    QString text = QStringLiteral("Build configurations for ") + quoted(projectName) + QStringLiteral(":\n\n");
    for (qsizetype i = 0; i < names.size(); ++i)
        text += (i ? QStringLiteral("\n  ") : QStringLiteral("  ")) + names.at(i);
    return text;
}

// Edit distance between two names, compared without regard to case.
int distance(const QString &a, const QString &b)
{
    const QString x = a.toUpper();
    const QString y = b.toUpper();
    std::vector<int> row(size_t(y.size()) + 1);
    for (size_t j = 0; j < row.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= x.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= y.size(); ++j) {
            const int above = row[size_t(j)];
            row[size_t(j)] = std::min({above + 1, row[size_t(j) - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row.back();
}

const QString kTargetGroup = QStringLiteral("Target");

} // namespace

SolutionSelection::SolutionSelection(project::ProjectSystem &projects, project::MSP430BuildSystem &build, project::PropertyGroups &groups)
    : m_projects(projects), m_build(build), m_groups(groups)
{
}

void SolutionSelection::select(const QString &solutionPath, const QString &projectName, const QString &configName)
{
    m_currentProject = nullptr;
    m_projectDeviceName.clear();
    m_configName = configName;
    m_projects.openSolution(solutionPath);
    const QMap<QString, project::ProjectElement *> &projects = m_projects.projects();
    if (projectName.isEmpty())
        throw common::HException(QStringLiteral("no project specified (use -project)\n\n") + projectList(solutionPath, projects));
    if (!m_projects.hasSolution())
        throw common::HException(QStringLiteral("no solution specified (use -solution)"));

    QString found;
    for (auto it = projects.cbegin(); it != projects.cend(); ++it)
        if (it.key().simplified() == projectName)
            found = it.key();
    project::ProjectElement *project = found.isNull() ? nullptr : m_projects.findInSolution(m_projects.solutionElement(), found);
    if (!project)
        throw common::HException(QStringLiteral("invalid project ") + quoted(projectName) + QStringLiteral("\n\n")
                         + projectList(solutionPath, projects));

    QStringList names;
    m_projects.configurationNames(project, false, names);
    if (configName.isEmpty())
        throw common::HException(QStringLiteral("no build configuration specified (use -config)\n\n")
                         + configurationList(projectName, names));
    if (!names.contains(configName))
        throw common::HException(QStringLiteral("invalid build configuration ") + quoted(configName) + QStringLiteral("\n\n")
                         + configurationList(projectName, names));
    m_currentProject = project;
}

void SolutionSelection::addOutputFile(QStringList &files) const
{
    if (!m_projects.hasSolution() || !m_currentProject || !files.isEmpty())
        return;
    const QString path = m_build.outputFilePath(m_currentProject, m_configName, true);
    if (path.isEmpty())
        throw common::HException(QStringLiteral("project ") + quoted(m_projects.name(m_currentProject))
                                 + QStringLiteral(" has no output file in build configuration ") + quoted(m_configName)
                                 + QStringLiteral(" (project type ")
                                 + quoted(m_build.buildKind(m_currentProject, m_configName)) + QLatin1Char(')'));
    files.append(path);
}

QString SolutionSelection::projectDeviceName() const
{
    if (!m_currentProject)
        return QString();
    return m_projects.propertyValue(m_currentProject, project::PropertyDefinitions::target(), m_configName);
}

void SolutionSelection::resolveDevice()
{
    const QString projectDevice = projectDeviceName();
    if (m_deviceName.isEmpty() && projectDevice.isEmpty())
        return;
    if (!m_groupsLoaded) {
        m_build.loadPropertyGroups(m_groups);
        m_groupsLoaded = true;
    }
    // -device wins: the project's Target is checked only when it is the one the run uses.
    if (!m_deviceName.isEmpty())
        m_deviceName = knownDeviceName(m_deviceName, QString());
    else
        m_projectDeviceName = knownDeviceName(
            projectDevice, QStringLiteral(" (Target of project ") + quoted(m_projects.name(m_currentProject))
                               + QStringLiteral(" in build configuration ") + quoted(m_configName) + QLatin1Char(')'));
}

QString SolutionSelection::knownDeviceName(const QString &name, const QString &origin) const
{
    if (const project::PropertyGroup *group = m_groups.group(kTargetGroup)) {
        for (const project::PropertyGroupEntry &e : group->entries)
            if (e.name.compare(name, Qt::CaseInsensitive) == 0)
                return e.name;
    }
    QString text = QStringLiteral("unknown device ") + quoted(name) + origin;
    const QStringList closest = closestDeviceNames(name, 5);
    if (!closest.isEmpty()) {
        text += QStringLiteral("\n\nClosest device names:\n");
        for (const QString &n : closest)
            text += QStringLiteral("\n  ") + n;
    }
    throw common::HException(text);
}

QStringList SolutionSelection::closestDeviceNames(const QString &name, int count) const
{
    const project::PropertyGroup *group = m_groups.group(kTargetGroup);
    if (!group)
        return QStringList();
    std::vector<std::pair<int, QString>> ranked;
    for (const project::PropertyGroupEntry &e : group->entries)
        ranked.emplace_back(distance(name, e.name), e.name);
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    QStringList names;
    for (size_t i = 0; i < ranked.size() && names.size() < count; ++i)
        names.append(ranked[i].second);
    return names;
}

SolutionSelection::TargetDevice SolutionSelection::targetDevice() const
{
    TargetDevice device;
    if (!m_deviceName.isEmpty())
        device.name = m_deviceName;
    else
        device.name = m_projectDeviceName.isEmpty() ? projectDeviceName() : m_projectDeviceName;
    const project::ProjectPropertyValue &multiplier = project::PropertyDefinitions::useHardwareMultiplier();
    QString setting;
    if (!m_currentProject
        || !m_projects.findPropertyValue(m_currentProject, multiplier.name(), false, m_configName, setting)) {
        const project::PropertyGroupEntry *entry = project::PropertyDefinitions::target().entry(m_groups, device.name);
        setting = entry && entry->properties.contains(multiplier.name()) ? entry->properties.value(multiplier.name())
                                                                          : multiplier.defaultValue();
    }
    device.hardwareMultiplier = setting == QLatin1String("Yes");
    return device;
}

} // namespace zim::loader
