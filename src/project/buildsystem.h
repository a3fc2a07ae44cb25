// BuildSystem: the build macros of a project element in a configuration (directories, names,
// extensions) and the output file path of a project, expanded with them.
#pragma once

#include "project/macros.h"
#include "project/propertyvalue.h"

#include <QString>

namespace zim::project {

class EnvironmentSettings;
class ProjectElement;
class ProjectSystem;

class BuildSystem
{
public:
    // The settings path of the environment's global build macros, a "name=value" list.
    static constexpr const char *globalMacrosSetting = "Build/GlobalMacros";

    // Neither is owned; both must outlive the build system.
    BuildSystem(ProjectSystem &projects, EnvironmentSettings &settings);
    virtual ~BuildSystem();

    // The macros for element in configuration, later entries replacing earlier ones:
    // environment and global build macros, the element's macros property, ProjectDir and
    // ProjectName, Configuration and Platform, the Solution*, the Input* of a file element,
    // the extensions, IntDir and OutDir, and what the concrete build system adds.
    MacroMap buildMacros(ProjectElement *element, const QString &configuration) const;
    // "Executable", "Library", "Object file", "Staging", "Combining" or "Externally Built
    // Executable" for a project; empty for other elements.
    QString buildKind(ProjectElement *element, const QString &configuration) const;
    // The project's output file in configuration, expanded; with absolute set a relative path
    // is put under the project's directory. Empty for a kind without an output file.
    QString outputFilePath(ProjectElement *element, const QString &configuration, bool absolute) const;
    // The directory of the project that element lies in (its solution file's directory).
    static QString projectDirectory(ProjectElement *element);

    const ProjectPropertyValue &intermediateDirectory() const { return m_intermediateDirectory; }
    const ProjectPropertyValue &outputDirectory() const { return m_outputDirectory; }
    const ProjectPropertyValue &objectFileName() const { return m_objectFileName; }
    const ProjectPropertyValue &executableFileName() const { return m_executableFileName; }
    const ProjectPropertyValue &libraryFileName() const { return m_libraryFileName; }

    ProjectSystem &projectSystem() const { return m_projects; }

protected:
    // Macros the concrete build system adds last.
    virtual void addBuildMacros(ProjectElement *element, const QString &configuration, MacroMap &macros) const;

private:
    ProjectSystem &m_projects;
    EnvironmentSettings &m_settings;
    ProjectPropertyValue m_intermediateDirectory;
    ProjectPropertyValue m_outputDirectory;
    ProjectPropertyValue m_objectFileName;
    ProjectPropertyValue m_executableFileName;
    ProjectPropertyValue m_libraryFileName;
};

} // namespace zim::project
