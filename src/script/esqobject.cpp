// ESQObject: registration of a toolkit object as a script global and property access by name
// through its meta-object.
#include "script/esqobject.h"

#include "common/hexception.h"
#include "script/esnativeclasses.h"

#include <QMetaProperty>

namespace zim::script {

ESQObject::ESQObject(QObject *parent) : QObject(parent), ESClass("ESQObject")
{
}

const char *ESQObject::scriptName(const QMetaObject *meta)
{
    const char *name = meta->className();
    const char *last = name;
    for (const char *p = name; *p; ++p)
        if (p[0] == ':' && p[1] == ':')
            last = p + 2;
    return last;
}

ESObject *ESQObject::registerObject(ESContext &context)
{
    setClassName(scriptName(metaObject()));
    ESObject *object = context.newObject(context.objectPrototype, this);
    context.global()->define(atoms::intern(className()), ESValue::fromObject(object), DontEnum);
    addMethod(context, object, "SetProperty", 2, 0);
    addMethod(context, object, "GetProperty", 1, 1);
    return object;
}

ESObject *ESQObject::addMethod(ESContext &context, ESObject *holder, const char *name, int arity, int number)
{
    const QString qualified = number <= 1 ? QStringLiteral("ESQObject.prototype.") + QLatin1String(name)
                                          : QLatin1String(className()) + QStringLiteral(".prototype.") + QLatin1String(name);
    return makeNativeFunction(context, this, holder, name, qualified, arity, number);
}

void ESQObject::call(ESContext &context, ESObject *function, const ESValue &, int count, ESValue *args)
{
    args[0] = callMethod(context, function->builtinIndex, count, args);
}

ESValue ESQObject::callMethod(ESContext &context, int number, int count, ESValue *args)
{
    switch (number) {
    case 0:
        setProperty(context, this, context.toString(argument(count, args, 0)), argument(count, args, 1));
        return ESValue();
    case 1:
        return getProperty(context, this, context.toString(argument(count, args, 0)));
    default:
        context.throwPlainError(QStringLiteral("bad signature in ESQObject::call"));
    }
}

namespace {

QMetaProperty findProperty(QObject *object, const QString &name)
{
    const QMetaObject *meta = object->metaObject();
    const int index = meta->indexOfProperty(name.toUtf8().constData());
    if (index < 0)
        throw zim::common::HException(QStringLiteral("unknown property: ") + name);
    return meta->property(index);
}

} // namespace

void ESQObject::setProperty(ESContext &context, QObject *object, const QString &name, const ESValue &value)
{
    const QMetaProperty property = findProperty(object, name);
    QVariant converted;
    if (property.isEnumType()) {
        const QString text = context.toString(value);
        bool ok = false;
        const int key = property.enumerator().keyToValue(text.toUtf8().constData(), &ok);
        if (!ok)
            throw zim::common::HException(QStringLiteral("invalid enum value: ") + text);
        converted = key;
    } else {
        switch (property.metaType().id()) {
        case QMetaType::QStringList:
            converted = context.toString(value).split(QLatin1Char('\n'));
            break;
        case QMetaType::Int:
            converted = int(context.toUint32(value));
            break;
        case QMetaType::UInt:
            converted = context.toUint32(value);
            break;
        case QMetaType::Bool:
            converted = context.toString(value) == QLatin1String("true");
            break;
        default:
            converted = context.toString(value);
            converted.convert(property.metaType());
            break;
        }
    }
    property.write(object, converted);
}

ESValue ESQObject::getProperty(ESContext &context, QObject *object, const QString &name)
{
    const QMetaProperty property = findProperty(object, name);
    const QVariant value = property.read(object);
    switch (property.metaType().id()) {
    case QMetaType::QStringList:
        return context.newString(value.toStringList().join(QLatin1Char('\n')));
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return ESValue::fromNumber(value.toDouble());
    case QMetaType::Bool:
        return ESValue::boolean(value.toString() == QLatin1String("true"));
    default:
        return context.newString(value.toString());
    }
}

} // namespace zim::script
