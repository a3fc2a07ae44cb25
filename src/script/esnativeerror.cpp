// Error and its subclasses: constructors (called as functions they construct), the prototypes'
// name and message, and Error.prototype.toString.
#include "script/esnativeclasses.h"

namespace zim::script {

void ESNativeError::setUp(ESContext &context)
{
    const bool base = this == context.errorClass;
    ESObject *p = context.newObject(base ? context.objectPrototype : context.errorClass->prototype, this);
    ESObject *ctor = addConstructor(context, className(), 1, p);
    if (!base)
        ctor->internalValue() = ESValue::fromAtom(atoms::intern("Error"));
    p->define(context.nameAtom, ESValue::fromAtom(atoms::intern(className())), DontEnum);
    p->define(context.messageAtom, ESValue::fromAtom(atoms::intern("")), DontEnum);
    if (base)
        addMethod(context, p, "toString", "Error.prototype.toString", 0, 1);
}

ESValue ESNativeError::callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args)
{
    if (number == 0)
        return ESValue::fromObject(constructMember(context, 0, count, args));
    if (number == 1) {
        ESObject *o = context.toObject(thisValue);
        const QString name = context.toString(context.get(o, context.nameAtom));
        const QString message = context.toString(context.get(o, context.messageAtom));
        if (message.isEmpty())
            return context.newString(name);
        return context.newString(name + QStringLiteral(": ") + message);
    }
    return ESNativeClass::callMember(context, number, thisValue, count, args);
}

ESObject *ESNativeError::constructMember(ESContext &context, int number, int count, ESValue *args)
{
    if (number != 0)
        return ESNativeClass::constructMember(context, number, count, args);
    ESObject *e = context.newObject(prototype, this);
    const ESValue message = argument(count, args, 0);
    if (!message.isUndefined())
        e->define(context.messageAtom, context.toStringValue(message), DontEnum);
    if (context.standard())
        context.noteErrorPlace(e, context.currentLine(), context.currentSource());
    return e;
}

} // namespace zim::script
