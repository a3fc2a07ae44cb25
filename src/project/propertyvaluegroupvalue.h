// PropertyValueGroupValue: a property whose value names one entry of a property group (for
// example the device of the "Target" group), and whose entry carries further properties.
#pragma once

#include "project/propertygroups.h"
#include "project/propertyvalue.h"

namespace zim::project {

class PropertyValueGroupValue : public ProjectPropertyValue
{
public:
    // The group has the property's name.
    PropertyValueGroupValue(const QString &name, unsigned flags, const QString &category, const QString &displayName,
                            const QString &description, const QString &defaultValue)
        : ProjectPropertyValue(name, flags, category, displayName, description, defaultValue, Text)
    {
    }

    const QString &groupName() const { return name(); }
    // The entry that entryName selects, or nullptr.
    const PropertyGroupEntry *entry(const PropertyGroups &groups, const QString &entryName) const
    {
        const PropertyGroup *group = groups.group(groupName());
        return group ? group->entry(entryName) : nullptr;
    }
};

} // namespace zim::project
