// ProjectElement: one node of a solution's tree (solution, configuration, project, folder or
// file) with its XML attributes as properties, its configurations by name and, on solution
// elements, the projects by name and the inherited-configurations cache.
#pragma once

#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

namespace zim::project {

class ProjectElement
{
public:
    enum Type { Solution = 0, Configuration = 1, Project = 2, Folder = 3, File = 4, Other = 5 };

    explicit ProjectElement(Type type = Other) : m_type(type) {}
    ProjectElement(const ProjectElement &) = delete;
    ProjectElement &operator=(const ProjectElement &) = delete;
    // Deletes the children and configurations, without recursion.
    ~ProjectElement();

    // The type for a tag name; any other tag gives Other.
    static Type typeForTag(const QString &tagName);

    Type type() const { return m_type; }
    ProjectElement *parent() const { return m_parent; }
    const QList<ProjectElement *> &children() const { return m_children; }
    const QMap<QString, ProjectElement *> &configurations() const { return m_configurations; }
    ProjectElement *configuration(const QString &name) const { return m_configurations.value(name); }

    // Takes ownership of child. A configuration joins the configurations map under its Name;
    // a second one of the same name adds its attributes to the first (later values win).
    // Anything else is appended to the children. Returns the element that stands in the
    // tree for child: child itself, or the configuration it was merged into.
    ProjectElement *appendChild(ProjectElement *child);

    // Properties: the XML attributes, seen through the edit overlay when it is on.
    bool hasProperty(const QString &name) const;
    QString property(const QString &name) const;
    void setProperty(const QString &name, const QString &value) { m_attributes.insert(name, value); }
    void removeProperty(const QString &name) { m_attributes.remove(name); }
    const QMap<QString, QString> &attributes() const { return m_attributes; }
    QString name() const { return property(QStringLiteral("Name")); }

    // The edit overlay of an editing front end: changes and removals that hide the attributes.
    void setEditing(bool on) { m_editing = on; }
    void editProperty(const QString &name, const QString &value);
    void editRemoveProperty(const QString &name);

    // For solutions the absolute path of the solution file; for files the file_name path.
    const QString &filePath() const { return m_filePath; }
    void setFilePath(const QString &path) { m_filePath = path; }
    // The absolute path of the file whose root this element is (the solution opened or an
    // import); empty for the elements inside a file.
    const QString &sourcePath() const { return m_sourcePath; }
    void setSourcePath(const QString &path) { m_sourcePath = path; }
    // The file the element was read from: the source path of the nearest file root at or above it.
    QString sourceFile() const;
    bool isImported() const { return m_imported; }
    void setImported(bool imported) { m_imported = imported; }

    // Solution elements only: the projects by Name, and the inherited configurations by
    // configuration name.
    QMap<QString, ProjectElement *> &projects() { return m_projects; }
    QMap<QString, QStringList> &inheritedConfigurations() { return m_inherited; }

    // The nearest solution element at or above this one, or nullptr.
    ProjectElement *solution();

private:
    ProjectElement *m_parent = nullptr;
    QList<ProjectElement *> m_children;
    QMap<QString, ProjectElement *> m_configurations;
    Type m_type;
    QMap<QString, QString> m_attributes;
    bool m_editing = false;
    QMap<QString, QString> m_changed;
    QSet<QString> m_removed;
    QString m_filePath;
    QString m_sourcePath;
    bool m_imported = false;
    QMap<QString, ProjectElement *> m_projects;
    QMap<QString, QStringList> m_inherited;
};

} // namespace zim::project
