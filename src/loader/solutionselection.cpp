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

QString configurationList(const QString &projectName, const QStringList &names)
{
    QString text = QStringLiteral("Build configurations for ") + quoted(projectName) + QStringLiteral(":\n");
    for (const QString &n : names)
        text += QStringLiteral("\n  ") + n;
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
    if (m_projects.hasSolution() && m_currentProject && files.isEmpty())
        files.append(m_build.outputFilePath(m_currentProject, m_configName, true));
}

QString SolutionSelection::projectDeviceName() const
{
    if (!m_currentProject)
        return QString();
    return m_projects.propertyValue(m_currentProject, project::PropertyDefinitions::target(), m_configName);
}

void SolutionSelection::resolveDevice()
{
    if (m_deviceName.isEmpty() && projectDeviceName().isEmpty())
        return;
    if (!m_groupsLoaded) {
        m_build.loadPropertyGroups(m_groups);
        m_groupsLoaded = true;
    }
    if (m_deviceName.isEmpty())
        return;
    if (const project::PropertyGroup *group = m_groups.group(kTargetGroup)) {
        for (const project::PropertyGroupEntry &e : group->entries) {
            if (e.name.compare(m_deviceName, Qt::CaseInsensitive) == 0) {
                m_deviceName = e.name;
                return;
            }
        }
    }
    QString text = QStringLiteral("unknown device ") + quoted(m_deviceName);
    const QStringList closest = closestDeviceNames(m_deviceName, 5);
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
    device.name = m_deviceName.isEmpty() ? projectDeviceName() : m_deviceName;
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
