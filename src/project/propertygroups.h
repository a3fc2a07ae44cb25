// Named groups of property entries from the description files (for example the "Target"
// group with one entry per device), one set per program state.
#pragma once

#include <QList>
#include <QMap>
#include <QString>

namespace zim::project {

struct PropertyGroupEntry
{
    QString name;
    QMap<QString, QString> properties; // property name -> value
};

struct PropertyGroup
{
    QString name;
    QList<PropertyGroupEntry> entries;

    // The entry of that name, or nullptr.
    const PropertyGroupEntry *entry(const QString &entryName) const;
};

class PropertyGroups
{
public:
    // Adds a group, replacing one of the same name.
    void addGroup(const PropertyGroup &group);
    void removeGroup(const QString &name);
    // The group of that name, or nullptr.
    const PropertyGroup *group(const QString &name) const;
    // The value of one property of one entry of one group; a null string when any of them is missing.
    QString value(const QString &groupName, const QString &entryName, const QString &property) const;

private:
    QList<PropertyGroup> m_groups;
};

} // namespace zim::project
