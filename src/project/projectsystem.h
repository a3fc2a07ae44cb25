// ProjectSystem: the open solution. Loads solution files with their imports into a tree of
// ProjectElements, converts files written without a version, applies project templates, and
// answers the two lookups the rest of the program rests on: the configurations of an element
// and the value of a property for an element in a configuration.
#pragma once

#include "project/macros.h"
#include "project/projectelement.h"

#include <QDomElement>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QXmlStreamReader;

namespace zim::project {

class PropertyValue;

class ProjectSystem : public QObject
{
    Q_OBJECT
public:
    // environment: the environment macros, used for import file names and the templates
    // file (not owned; must outlive the project system).
    explicit ProjectSystem(const MacroMap &environment, QObject *parent = nullptr);
    ~ProjectSystem() override;

    // Loads the solution at path, replacing any open one. Throws SolutionLoadError; no
    // solution is open after a failure.
    void openSolution(const QString &path);
    void closeSolution();
    bool hasSolution() const { return m_root != nullptr; }
    ProjectElement *solutionElement() const { return m_root.get(); }

    // The projects of the solution element given, or of the root when element is none or not
    // a solution element. Empty without a solution.
    const QMap<QString, ProjectElement *> &projects(ProjectElement *element = nullptr) const;
    // Looks name up in the nearest solution at or above element, then in the ones enclosing it.
    ProjectElement *findInSolution(ProjectElement *element, const QString &name) const;
    // Appends the configuration names of element and its ancestors that list does not hold
    // yet: hidden ones only with includeHidden, "Common" never.
    void configurationNames(ProjectElement *element, bool includeHidden, QStringList &list) const;
    // The value of property for element in configuration, looked up through the element's
    // configurations, the inherited ones and "Common", then the parents; the definition's
    // default when nothing sets it.
    QString propertyValue(ProjectElement *element, const PropertyValue &property, const QString &configuration) const;
    // The same lookup by name; false, leaving value alone, when nothing on the path sets it.
    bool findPropertyValue(ProjectElement *element, const QString &name, bool accumulate,
                           const QString &configuration, QString &value) const;
    // Every value of the property on the lookup path, the most specific first.
    QStringList propertyValues(ProjectElement *element, const QString &name, const QString &configuration) const;
    QString name(ProjectElement *element) const { return element ? element->name() : QString(); }
    // The kind of a file element ("C", "Assembly", "Reset Script", ...): its file_type property
    // when it has one, otherwise the kind its file name's extension stands for (any case);
    // empty for other elements and unknown extensions.
    virtual QString fileType(const ProjectElement *element) const;

    // "$(VeltDir)/targets/project_templates.xml", expanded.
    QString templatesFile() const;
    const MacroMap &environment() const { return m_environment; }

    // The extensions of object files, executables and libraries (with the dot), and the
    // platform name; supplied by the environment's project system.
    virtual QString objectFileExtension() const { return QStringLiteral(".o"); }
    virtual QString executableFileExtension() const { return QString(); }
    virtual QString libraryFileExtension() const { return QStringLiteral(".a"); }
    virtual QString platformName() const { return QString(); }

private:
    // The tree of a solution file or an import; nullptr for a file read in already.
    ProjectElement *loadFile(const QString &fileName, const QString &baseDirectory);
    // Builds a tree from reader. wholeFile: the text is a whole solution file at filePath, to
    // be converted when its root has no version, and its root records filePath as its source;
    // otherwise it is a piece of a templates file at filePath. Imports load their files on
    // the way.
    ProjectElement *buildTree(QXmlStreamReader &reader, const QString &filePath, bool wholeFile);
    void applyTemplates();
    void applyTemplate(ProjectElement *project, const QDomElement &templateElement, const QString &directory);
    void recomputeInheritedConfigurations();
    // Offers take each value of name on the lookup path of element in configuration, the most
    // specific first, until take returns true.
    void walkPropertyValues(ProjectElement *element, const QString &name, const QString &configuration,
                            const std::function<bool(const QString &)> &take) const;
    QStringList inheritedConfigurations(ProjectElement *element, const QString &configuration) const;

    const MacroMap &m_environment;
    std::unique_ptr<ProjectElement> m_root;
    // Absolute paths of the files being loaded, innermost last: an import of one of them is a cycle.
    QStringList m_loading;
    // Canonical paths of every file read in for the open solution.
    QSet<QString> m_loaded;
    QList<ProjectElement *> m_needTemplates;
    QMap<QString, ProjectElement *> m_noProjects;
};

} // namespace zim::project
