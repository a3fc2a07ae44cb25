// Boolean: the constructor and Boolean.prototype's toString and valueOf.
#include "script/esnativeclasses.h"

namespace zim::script {

void ESNativeBoolean::setUp(ESContext &context)
{
    ESObject *p = context.booleanPrototype;
    addConstructor(context, "Boolean", 1, p);
    addMethod(context, p, "toString", "Boolean.prototype.toString", 0, 1);
    addMethod(context, p, "valueOf", "Boolean.prototype.valueOf", 0, 2);
}

ESValue ESNativeBoolean::callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args)
{
    switch (number) {
    case 0:
        return ESValue::boolean(context.toBoolean(argument(count, args, 0)));
    case 1:
    case 2: {
        ESValue v = thisValue;
        if (v.isObject() && v.object->cls == this)
            v = v.object->internalValue();
        if (!v.isBoolean())
            context.throwTypeError(number == 1 ? QStringLiteral("Boolean.prototype.toString called on non-Boolean object")
                                               : QStringLiteral("Boolean.prototype.valueOf called on non-Boolean object"));
        if (number == 2)
            return v;
        return ESValue::fromAtom(atoms::intern(v.toBool() ? "true" : "false"));
    }
    default:
        return ESNativeClass::callMember(context, number, thisValue, count, args);
    }
}

ESObject *ESNativeBoolean::constructMember(ESContext &context, int number, int count, ESValue *args)
{
    if (number != 0)
        return ESNativeClass::constructMember(context, number, count, args);
    return context.wrap(ESValue::boolean(context.toBoolean(argument(count, args, 0))));
}

} // namespace zim::script
