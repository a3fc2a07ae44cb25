// Named groups of property entries from the description files.
#include "project/propertygroups.h"

namespace zim::project {

const PropertyGroupEntry *PropertyGroup::entry(const QString &entryName) const
{
    for (const PropertyGroupEntry &e : entries)
        if (e.name == entryName)
            return &e;
    return nullptr;
}

void PropertyGroups::addGroup(const PropertyGroup &group)
{
    removeGroup(group.name);
    m_groups.append(group);
}

void PropertyGroups::removeGroup(const QString &name)
{
    m_groups.removeIf([&](const PropertyGroup &g) { return g.name == name; });
}

const PropertyGroup *PropertyGroups::group(const QString &name) const
{
    for (const PropertyGroup &g : m_groups)
        if (g.name == name)
            return &g;
    return nullptr;
}

QString PropertyGroups::value(const QString &groupName, const QString &entryName, const QString &property) const
{
    const PropertyGroup *g = group(groupName);
    const PropertyGroupEntry *e = g ? g->entry(entryName) : nullptr;
    if (!e)
        return QString();
    return e->properties.value(property);
}

} // namespace zim::project
