// How a property is presented and edited: display name, description, default and flags.
#pragma once

#include <QString>
#include <QVariant>

namespace zim::target {

struct PropertyRecord
{
    QString name;
    QString displayName;
    QString description;
    QVariant defaultValue;
    int flags = 0;
    QString category; // for grouping in listings and editors
};

} // namespace zim::target
