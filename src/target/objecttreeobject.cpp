// A toolkit object that keeps the presentation texts of its properties.
#include "target/objecttreeobject.h"

namespace zim::target {

bool ObjectTreeObject::describeProperty(const QString &property, PropertyRecord &record) const
{
    auto it = m_records.constFind(property);
    if (it == m_records.constEnd())
        return false;
    record = it.value();
    return true;
}

void ObjectTreeObject::registerProperty(const QString &name, const QString &category, const QString &displayName,
                                        const QString &description, const QVariant &defaultValue, int flags)
{
    m_records.insert(name, PropertyRecord{name, displayName, description, defaultValue, flags, category});
}

} // namespace zim::target
