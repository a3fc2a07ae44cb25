// Object: the constructor and Object.prototype's members.
#include "script/esnativeclasses.h"

namespace zim::script {

void ESNativeObject::setUp(ESContext &context)
{
    ESObject *p = context.objectPrototype;
    addConstructor(context, "Object", 1, p);
    addMethod(context, p, "toString", "Object.prototype.toString", 0, 2);
    addMethod(context, p, "toLocaleString", "Object.prototype.toLocaleString", 0, 3);
    addMethod(context, p, "valueOf", "Object.prototype.valueOf", 0, 4);
    addMethod(context, p, "hasOwnProperty", "Object.prototype.hasOwnProperty", 1, 5);
    addMethod(context, p, "isPrototypeOf", "Object.prototype.isPrototypeOf", 1, 6);
    addMethod(context, p, "propertyIsEnumerable", "Object.prototype.propertyIsEnumerable", 1, 7);
}

ESValue ESNativeObject::callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args)
{
    const ESValue a0 = argument(count, args, 0);
    switch (number) {
    case 0: {
        if (a0.isUndefined() || a0.isNull())
            return ESValue::fromObject(context.newPlainObject());
        return ESValue::fromObject(context.toObject(a0));
    }
    case 2: {
        if (thisValue.isUndefined() || thisValue.isNull())
            return ESValue::fromAtom(atoms::intern(QStringLiteral("[object global]")));
        ESObject *o = context.toObject(thisValue);
        const char *name = o->cls->className();
        if (o->isCallable())
            name = "Function";
        else if (o->cls == context.activationClass)
            name = "Object";
        else if (dynamic_cast<ESNativeError *>(o->cls))
            name = "Error";   // the instances of every error class are of class Error
        return context.newString(QStringLiteral("[object ") + QString::fromLatin1(name) + QLatin1Char(']'));
    }
    case 3: {
        ESObject *o = context.toObject(thisValue);
        const ESValue method = context.get(o, context.toStringAtom);
        return context.callValue(method, ESValue::fromObject(o), 0, nullptr);
    }
    case 4:
        return ESValue::fromObject(context.toObject(thisValue));
    case 5: {
        ESObject *o = context.toObject(thisValue);
        return ESValue::boolean(context.hasOwnProperty(o, context.atomFor(a0)));
    }
    case 6: {
        ESObject *o = context.toObject(thisValue);
        if (!a0.isObject())
            return ESValue::boolean(false);
        for (ESObject *p = a0.object->prototype; p; p = p->prototype)
            if (p == o)
                return ESValue::boolean(true);
        return ESValue::boolean(false);
    }
    case 7: {
        ESObject *o = context.toObject(thisValue);
        ESAtom *atom = context.atomFor(a0);
        std::vector<ESAtom *> names;
        o->cls->enumerate(context, o, names);
        for (ESAtom *n : names)
            if (n == atom)
                return ESValue::boolean(true);
        return ESValue::boolean(false);
    }
    default:
        return ESNativeClass::callMember(context, number, thisValue, count, args);
    }
}

ESObject *ESNativeObject::constructMember(ESContext &context, int number, int count, ESValue *args)
{
    if (number != 0)
        return ESNativeClass::constructMember(context, number, count, args);
    const ESValue a0 = argument(count, args, 0);
    if (a0.isUndefined() || a0.isNull())
        return context.newPlainObject();
    if (a0.kind > ESAtomKind || a0.kind == ESHole)
        context.throwPlainError(QStringLiteral("unknown type in Object constructor"));
    return context.toObject(a0);
}

} // namespace zim::script
