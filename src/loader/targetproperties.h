// Listing and setting a target's properties by their display names, as -listprops and
// -setprop do. Properties are walked over the class chain, most basic class first, each
// class's own properties in declaration order.
#pragma once

#include <QByteArray>
#include <QMetaProperty>
#include <QString>

namespace zim::target {
class TargetInterface;
}

namespace zim::loader {


// The property's current value as text: enumeration keys with "_" shown as blanks, string
// lists joined by ";" with "\" escapes, booleans as "Yes" or "No".
QString propertyText(const QObject &holder, const QMetaProperty &property);

// The writable, described properties of target under the heading "\"<targetName>\" Properties:".
QByteArray propertyListing(const target::TargetInterface &target, const QString &targetName);

// Sets the property whose display name is name from text. Throws HException for an unknown
// property, a value its type refuses, or a property that cannot be set.
void setPropertyFromText(target::TargetInterface &target, const QString &name, const QString &value);

} // namespace zim::loader
