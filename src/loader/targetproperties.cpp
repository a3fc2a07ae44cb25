// Listing and setting target properties by display name.
#include "loader/targetproperties.h"

#include "common/hexception.h"
#include "common/text.h"
#include "loader/loadertext.h"
#include "target/propertyrecord.h"
#include "target/targetinterface.h"

#include <QList>
#include <QMetaEnum>
#include <QStringList>
#include <QRegularExpression>
#include <QVariant>
#include <functional>
#include <limits>

namespace zim::loader {

namespace {

// Calls visit with the holder and the property for every property of the target and then of
// its port, each along its class chain, most basic class first, each class's own properties
// in declaration order, until visit returns false. The port's chain starts below the classes
// the target already showed.
void walkProperties(const target::TargetInterface &target,
                    const std::function<bool(QObject *holder, const QMetaProperty &)> &visit)
{
    const QList<const QObject *> holders = target.propertyObjects();
    for (const QObject *holder : holders) {
        QList<const QMetaObject *> chain;
        for (const QMetaObject *meta = holder->metaObject(); meta; meta = meta->superClass()) {
            if (holder != &target && meta == &target::ObjectTreeObject::staticMetaObject)
                break;
            chain.prepend(meta);
        }
        for (const QMetaObject *meta : std::as_const(chain))
            for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
                if (!visit(const_cast<QObject *>(holder), meta->property(i)))
                    return;
    }
}

target::PropertyRecord recordFor(const target::TargetInterface &target, const QMetaProperty &property)
{
    target::PropertyRecord record;
    const QString name = QString::fromLatin1(property.name());
    if (const target::VeltObjectPropertyValue *definition = target.propertyDefinition(name)) {
        record.name = name;
        record.displayName = definition->displayName();
        record.description = definition->description();
        record.category = definition->category();
    } else {
        target.describeProperty(name, record);
    }
    return record;
}

QString joinEscaped(const QStringList &items)
{
    QStringList escaped;
    for (QString item : items) {
        item.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
        item.replace(QLatin1Char(';'), QLatin1String("\\;"));
        escaped.append(item);
    }
    return escaped.join(QLatin1Char(';'));
}

bool isIntegerType(int typeId)
{
    switch (typeId) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::Long: case QMetaType::ULong:
    case QMetaType::LongLong: case QMetaType::ULongLong: case QMetaType::Short: case QMetaType::UShort:
    case QMetaType::SChar: case QMetaType::UChar: case QMetaType::Char:
        return true;
    default:
        return false;
    }
}

// The values an integer property of typeId can hold.
struct IntegerRange
{
    qlonglong lowest;
    qulonglong highest;
};

template <class T>
constexpr IntegerRange rangeOf()
{
    return {qlonglong(std::numeric_limits<T>::min()), qulonglong(std::numeric_limits<T>::max())};
}

IntegerRange integerRange(int typeId)
{
    switch (typeId) {
    case QMetaType::Int: return rangeOf<int>();
    case QMetaType::UInt: return rangeOf<uint>();
    case QMetaType::Long: return rangeOf<long>();
    case QMetaType::ULong: return rangeOf<ulong>();
    case QMetaType::LongLong: return rangeOf<qlonglong>();
    case QMetaType::ULongLong: return rangeOf<qulonglong>();
    case QMetaType::Short: return rangeOf<short>();
    case QMetaType::UShort: return rangeOf<ushort>();
    case QMetaType::SChar: return rangeOf<signed char>();
    case QMetaType::UChar: return rangeOf<uchar>();
    default: return rangeOf<char>();
    }
}

// value as a decimal integer for a property of typeId. Text that is not a decimal integer
// gives 0; a decimal integer the property cannot hold is refused rather than wrapped.
QVariant integerValue(int typeId, const QString &name, const QString &value)
{
    static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]+$"));
    const IntegerRange range = integerRange(typeId);
    if (!decimal.match(value).hasMatch())
        return range.lowest < 0 ? QVariant(0LL) : QVariant(0ULL);

    // Leading zeros aside, a number of more than 20 digits is beyond every integer type.
    QString digits = value;
    const bool negative = digits.startsWith(QLatin1Char('-'));
    if (negative || digits.startsWith(QLatin1Char('+')))
        digits.remove(0, 1);
    while (digits.size() > 1 && digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    bool ok = digits.size() <= 20;
    const qulonglong magnitude = ok ? digits.toULongLong(&ok, 10) : 0;
    // The magnitude of the lowest value, computed without overflowing for the 64-bit types.
    const qulonglong lowestMagnitude = range.lowest < 0 ? qulonglong(-(range.lowest + 1)) + 1 : 0;
    if (ok && !negative && magnitude <= range.highest)
        return range.lowest < 0 ? QVariant(qlonglong(magnitude)) : QVariant(magnitude);
    if (ok && negative && magnitude <= lowestMagnitude)
        return QVariant(qlonglong(0 - magnitude));
    throw common::HException(QStringLiteral("invalid value ") + quoted(value) + QStringLiteral("\n\nThe only valid values for ")
                     + quoted(name) + QStringLiteral(" are whole numbers from %1 to %2").arg(range.lowest).arg(range.highest));
}

QVariant enumValue(const QMetaProperty &property, const QString &name, const QString &value)
{
    const QMetaEnum meta = property.enumerator();
    QString key = value;
    for (int i = 0; i < meta.keyCount(); ++i) {
        if (value.compare(QLatin1String(meta.key(i)), Qt::CaseInsensitive) == 0) {
            key = QLatin1String(meta.key(i));
            break;
        }
    }
    // A key matched without regard to case stands in its own form; valueToKey gives the first
    // key of a number, so anything that does not map back to itself is refused.
    bool ok = false;
    const int number = meta.keyToValue(key.toLatin1().constData(), &ok);
    if (!ok || QLatin1String(meta.valueToKey(number)) != key) {
        QStringList keys;
        for (int i = 0; i < meta.keyCount(); ++i)
            keys.append(quoted(QLatin1String(meta.key(i))));
        throw common::HException(QStringLiteral("invalid value ") + quoted(value) + QStringLiteral("\n\nThe only valid values for ")
                         + quoted(name) + QStringLiteral(" are ") + keys.join(QStringLiteral(", ")));
    }
    return QVariant(number);
}

} // namespace

QString propertyText(const QObject &holder, const QMetaProperty &property)
{
    const QVariant value = property.read(&holder);
    if (property.isEnumType()) {
        const char *key = property.enumerator().valueToKey(value.toInt());
        return key ? QString::fromLatin1(key).replace(QLatin1Char('_'), QLatin1Char(' ')) : QString();
    }
    switch (value.typeId()) {
    case QMetaType::QStringList:
        return joinEscaped(value.toStringList());
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("Yes") : QStringLiteral("No");
    default:
        return value.toString();
    }
}

QByteArray propertyListing(const target::TargetInterface &target, const QString &targetName)
{
    QByteArray text = "\"" + targetName.toUtf8() + "\" Properties:\n\n";
    walkProperties(target, [&](QObject *holder, const QMetaProperty &property) {
        if (!property.isWritable())
            return true;
        const target::PropertyRecord record = recordFor(target, property);
        if (record.displayName.isEmpty() || record.description.isEmpty())
            return true;
        text += "  Name:        " + record.displayName.toUtf8() + "\n";
        text += "  Description: " + record.description.toUtf8() + "\n";
        text += "  Value      : " + propertyText(*holder, property).toUtf8() + "\n\n";
        return true;
    });
    return text;
}

void setPropertyFromText(target::TargetInterface &target, const QString &name, const QString &value)
{
    QMetaProperty found;
    QObject *owner = nullptr;
    walkProperties(target, [&](QObject *holder, const QMetaProperty &property) {
        if (recordFor(target, property).displayName != name)
            return true;
        found = property;
        owner = holder;
        return false;
    });
    if (!found.isValid())
        throw common::HException(QStringLiteral("unknown property: ") + name);

    QVariant newValue;
    if (found.isEnumType()) {
        newValue = enumValue(found, name, value);
    } else {
        const QVariant current = found.read(owner);
        const int type = current.isValid() ? current.typeId() : found.typeId();
        if (type == QMetaType::QStringList) {
            newValue = common::splitEscaped(value);
        } else if (isIntegerType(type)) {
            newValue = integerValue(type, name, value);
        } else if (type == QMetaType::Bool) {
            if (value.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0)
                newValue = true;
            else if (value.compare(QLatin1String("no"), Qt::CaseInsensitive) == 0)
                newValue = false;
            else
                throw common::HException(QStringLiteral("invalid value ") + quoted(value)
                                 + QStringLiteral("\n\nThe only valid values for ") + quoted(name)
                                 + QStringLiteral(" are \"Yes\" or \"No\""));
        } else {
            newValue = value;
        }
    }
    if (!found.write(owner, newValue))
        throw common::HException(QStringLiteral("property ") + quoted(name) + QStringLiteral(" cannot be set"));
}

} // namespace zim::loader
