// A property binding: presents one object's toolkit property with the texts of a definition.
#pragma once

#include "project/propertyvalue.h"

#include <QObject>
#include <QVariant>

namespace zim::target {

class VeltObjectPropertyValue
{
public:
    // Neither the definition (program-wide) nor the object (which owns the binding) is owned.
    VeltObjectPropertyValue(const project::PropertyValue &definition, QObject *object)
        : m_definition(definition), m_object(object) {}

    const project::PropertyValue &definition() const { return m_definition; }
    const QString &name() const { return m_definition.name(); }
    const QString &displayName() const { return m_definition.displayName(); }
    const QString &description() const { return m_definition.description(); }
    const QString &category() const { return m_definition.category(); }

    QVariant value() const { return m_object->property(m_definition.name().toUtf8().constData()); }
    bool setValue(const QVariant &value) { return m_object->setProperty(m_definition.name().toUtf8().constData(), value); }

private:
    const project::PropertyValue &m_definition;
    QObject *m_object;
};

} // namespace zim::target
