// The nodes of a solution's tree.
#include "project/projectelement.h"

#include <vector>

namespace zim::project {

ProjectElement::~ProjectElement()
{
    // Owned elements are collected level by level and deleted once emptied, so deleting a
    // deep tree needs no stack.
    std::vector<ProjectElement *> pending;
    auto take = [&pending](ProjectElement *e) {
        pending.insert(pending.end(), e->m_children.cbegin(), e->m_children.cend());
        for (ProjectElement *c : std::as_const(e->m_configurations))
            pending.push_back(c);
        e->m_children.clear();
        e->m_configurations.clear();
    };
    take(this);
    while (!pending.empty()) {
        ProjectElement *e = pending.back();
        pending.pop_back();
        take(e);
        delete e;
    }
}

ProjectElement::Type ProjectElement::typeForTag(const QString &tagName)
{
    if (tagName == QLatin1String("solution"))
        return Solution;
    if (tagName == QLatin1String("configuration"))
        return Configuration;
    if (tagName == QLatin1String("project"))
        return Project;
    if (tagName == QLatin1String("folder"))
        return Folder;
    if (tagName == QLatin1String("file"))
        return File;
    return Other;
}

ProjectElement *ProjectElement::appendChild(ProjectElement *child)
{
    child->m_parent = this;
    if (child->m_type != Configuration) {
        m_children.append(child);
        return child;
    }
    const QString name = child->name();
    ProjectElement *existing = m_configurations.value(name);
    if (!existing) {
        m_configurations.insert(name, child);
        return child;
    }
    for (auto it = child->m_attributes.cbegin(); it != child->m_attributes.cend(); ++it)
        existing->m_attributes.insert(it.key(), it.value());
    delete child;
    return existing;
}

bool ProjectElement::hasProperty(const QString &name) const
{
    if (m_editing) {
        if (m_removed.contains(name))
            return false;
        if (m_changed.contains(name))
            return true;
    }
    return m_attributes.contains(name);
}

QString ProjectElement::property(const QString &name) const
{
    if (m_editing) {
        if (m_removed.contains(name))
            return QString();
        auto it = m_changed.constFind(name);
        if (it != m_changed.constEnd())
            return it.value();
    }
    return m_attributes.value(name);
}

void ProjectElement::editProperty(const QString &name, const QString &value)
{
    m_removed.remove(name);
    m_changed.insert(name, value);
}

void ProjectElement::editRemoveProperty(const QString &name)
{
    m_changed.remove(name);
    m_removed.insert(name);
}

QString ProjectElement::sourceFile() const
{
    for (const ProjectElement *e = this; e; e = e->m_parent)
        if (!e->m_sourcePath.isEmpty())
            return e->m_sourcePath;
    return QString();
}

ProjectElement *ProjectElement::solution()
{
    ProjectElement *e = this;
    while (e && e->m_type != Solution)
        e = e->m_parent;
    return e;
}

} // namespace zim::project
