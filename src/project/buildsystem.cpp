// Build macros and output paths of project elements.
#include "project/buildsystem.h"

#include "project/environmentsettings.h"
#include "project/projectelement.h"
#include "project/projectsystem.h"

#include <QDir>
#include <QFileInfo>

namespace zim::project {

namespace {

void insertAll(MacroMap &into, const MacroMap &from)
{
    for (auto it = from.cbegin(); it != from.cend(); ++it)
        into.insert(it.key(), it.value());
}

ProjectElement *enclosingProject(ProjectElement *element)
{
    ProjectElement *e = element;
    while (e && e->type() != ProjectElement::Project)
        e = e->parent();
    return e;
}

// The nearest solution element that knows its file.
ProjectElement *enclosingSolutionFile(ProjectElement *element)
{
    for (ProjectElement *e = element; e; e = e->parent())
        if (e->type() == ProjectElement::Solution && !e->filePath().isEmpty())
            return e;
    return nullptr;
}

} // namespace

BuildSystem::BuildSystem(ProjectSystem &projects, EnvironmentSettings &settings)
    : m_projects(projects), m_settings(settings),
      m_intermediateDirectory(QStringLiteral("build_intermediate_directory"), 0, QStringLiteral("Build Options"),
                              QStringLiteral("Intermediate Directory"),
                              QStringLiteral("Specifies a relative path to the intermediate file directory."),
                              QStringLiteral("$(Configuration)"), PropertyValue::Path),
      m_outputDirectory(QStringLiteral("build_output_directory"), 0, QStringLiteral("Build Options"),
                        QStringLiteral("Output Directory"),
                        QStringLiteral("Specifies a relative path to the output file directory."),
                        QStringLiteral("$(Configuration)"), PropertyValue::Path),
      m_objectFileName(QStringLiteral("build_object_file_name"), 0, QStringLiteral("Compiler Options"),
                       QStringLiteral("Object File Name"),
                       QStringLiteral("Specifies a name to override the default object file name."),
                       QStringLiteral("$(IntDir)/$(InputName)$(OBJ)"), PropertyValue::Path),
      m_executableFileName(QStringLiteral("build_output_file_name"), 0, QStringLiteral("Linker Options"),
                           QStringLiteral("Executable File Name"),
                           QStringLiteral("Specifies a name to override the default executable file name."),
                           QStringLiteral("$(OutDir)/$(ProjectName)$(EXE)"), PropertyValue::Path),
      m_libraryFileName(QStringLiteral("build_output_file_name"), 0, QStringLiteral("Library Options"),
                        QStringLiteral("Library File Name"),
                        QStringLiteral("Specifies a name to override the default library file name."),
                        QStringLiteral("$(OutDir)/$(ProjectName)$(LIB)"), PropertyValue::Path)
{
}

BuildSystem::~BuildSystem() = default;

void BuildSystem::addBuildMacros(ProjectElement *, const QString &, MacroMap &) const
{
}

QString BuildSystem::projectDirectory(ProjectElement *element)
{
    // The file the project was written in, which for a project imported from its own file is
    // that file, not the solution that imports it.
    const QString file = element ? element->sourceFile() : QString();
    return file.isEmpty() ? QDir::currentPath() : QFileInfo(file).absolutePath();
}

MacroMap BuildSystem::buildMacros(ProjectElement *element, const QString &configuration) const
{
    MacroMap macros = m_projects.environment();
    insertAll(macros, parseMacroList(m_settings.value(QString::fromLatin1(globalMacrosSetting)).toString()));
    // The macros of every level, the general ones first so that the more specific ones replace
    // them, as a value in a named configuration wins over "Common" for every other property.
    const QStringList levels = m_projects.propertyValues(element, PropertyDefinitions::macros().name(), configuration);
    for (auto level = levels.crbegin(); level != levels.crend(); ++level)
        insertAll(macros, parseMacroList(*level));

    if (ProjectElement *project = enclosingProject(element)) {
        macros.insert(QStringLiteral("ProjectDir"), projectDirectory(project));
        macros.insert(QStringLiteral("ProjectName"), project->name());
    }
    macros.insert(QStringLiteral("Configuration"), configuration);
    macros.insert(QStringLiteral("Platform"), m_projects.platformName().toLower());

    if (ProjectElement *solution = enclosingSolutionFile(element)) {
        const QFileInfo info(solution->filePath());
        macros.insert(QStringLiteral("SolutionDir"), info.absolutePath());
        macros.insert(QStringLiteral("SolutionName"), info.baseName());
        macros.insert(QStringLiteral("SolutionFileName"), info.fileName());
        macros.insert(QStringLiteral("SolutionPath"), info.absoluteFilePath());
        macros.insert(QStringLiteral("SolutionExt"), info.completeSuffix());
    }
    if (element && element->type() == ProjectElement::File) {
        const QString written = element->property(QStringLiteral("file_name"));
        const QFileInfo info(written);
        macros.insert(QStringLiteral("InputDir"), info.path());
        macros.insert(QStringLiteral("InputName"), info.baseName());
        macros.insert(QStringLiteral("InputFileName"), info.fileName());
        macros.insert(QStringLiteral("InputExt"), info.completeSuffix());
        macros.insert(QStringLiteral("InputPath"),
                      info.isAbsolute() ? info.absoluteFilePath()
                                        : QFileInfo(projectDirectory(element) + QLatin1Char('/') + written)
                                              .absoluteFilePath());
        macros.insert(QStringLiteral("RelInputPath"), written);
    }
    macros.insert(QStringLiteral("OBJ"), m_projects.objectFileExtension());
    macros.insert(QStringLiteral("EXE"), m_projects.executableFileExtension());
    macros.insert(QStringLiteral("LIB"), m_projects.libraryFileExtension());
    macros.insert(QStringLiteral("PackageExt"), QStringLiteral("hzq"));

    auto directory = [&](const PropertyValue &property) {
        const QString value = expandMacros(macros, m_projects.propertyValue(element, property, configuration));
        return value.isEmpty() ? QStringLiteral(".") : value;
    };
    const QString intDir = directory(m_intermediateDirectory);
    const QString outDir = directory(m_outputDirectory);
    macros.insert(QStringLiteral("IntDir"), intDir);
    macros.insert(QStringLiteral("OutDir"), outDir);

    addBuildMacros(element, configuration, macros);
    return macros;
}

QString BuildSystem::buildKind(ProjectElement *element, const QString &configuration) const
{
    if (!element || element->type() != ProjectElement::Project)
        return QString();
    return m_projects.propertyValue(element, PropertyDefinitions::projectType(), configuration);
}

QString BuildSystem::outputFilePath(ProjectElement *element, const QString &configuration, bool absolute) const
{
    const QString kind = buildKind(element, configuration);
    const ProjectPropertyValue *property = nullptr;
    if (kind == QLatin1String("Executable") || kind == QLatin1String("Externally Built Executable"))
        property = &m_executableFileName;
    else if (kind == QLatin1String("Library"))
        property = &m_libraryFileName;
    if (!property)
        return QString();
    const QString path =
        expandMacros(buildMacros(element, configuration), m_projects.propertyValue(element, *property, configuration));
    if (absolute && !path.isEmpty() && QFileInfo(path).isRelative())
        return projectDirectory(element) + QLatin1Char('/') + path;
    return path;
}

} // namespace zim::project
