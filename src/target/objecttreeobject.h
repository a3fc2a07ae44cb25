// A toolkit object that keeps, per property name, the texts that present the property.
#pragma once

#include "target/propertyrecord.h"

#include <QHash>
#include <QObject>

namespace zim::target {

class ObjectTreeObject : public QObject
{
    Q_OBJECT
public:
    explicit ObjectTreeObject(QObject *parent = nullptr) : QObject(parent) {}

    // Fills record from the texts registered for the property's name; false when none are.
    virtual bool describeProperty(const QString &property, PropertyRecord &record) const;

protected:
    // Registers the presentation texts of one of this object's properties.
    void registerProperty(const QString &name, const QString &category, const QString &displayName,
                          const QString &description, const QVariant &defaultValue = QVariant(), int flags = 0);

private:
    QHash<QString, PropertyRecord> m_records;
};

} // namespace zim::target
