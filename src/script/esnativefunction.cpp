// Function: the constructor (compiling parameter and body texts) and Function.prototype's
// toString, call and apply.
#include "script/esnativeclasses.h"

#include "script/escompiler.h"

namespace zim::script {

void ESNativeFunction::setUp(ESContext &context)
{
    ESObject *p = context.functionPrototype;
    addConstructor(context, "Function", 1, p);
    addMethod(context, p, "toString", "Function.prototype.toString", 0, 1);
    addMethod(context, p, "call", "Function.prototype.call", 1, 2);
    addMethod(context, p, "apply", "Function.prototype.apply", 2, 3);
}

ESValue ESNativeFunction::callMember(ESContext &context, int number, const ESValue &thisValue, int count,
                                     ESValue *args)
{
    switch (number) {
    case 0:
        return ESValue::fromObject(constructMember(context, 0, count, args));
    case 1:
        if (!thisValue.isObject() || !thisValue.object->isCallable())
            context.throwTypeError(QStringLiteral("Function.prototype.toString called on non-function object"));
        return ESValue::fromAtom(atoms::intern("<<function>>"));
    case 2:
    case 3: {
        if (!thisValue.isObject() || !thisValue.object->isCallable())
            context.throwNotAFunction(QString());
        const ESValue self = argument(count, args, 0);
        if (number == 2)
            return context.call(thisValue.object, self, count > 1 ? count - 1 : 0, args + 1);
        const ESValue list = argument(count, args, 1);
        if (list.isUndefined() || list.isNull())
            return context.call(thisValue.object, self, 0, nullptr);
        if (!list.isObject() || (list.object->cls != context.arrayClass && list.object->cls != context.argumentsClass))
            context.throwTypeError(QStringLiteral("second argument to Function.prototype.apply must be an array"));
        const uint32_t n = context.toUint32(context.get(list.object, context.lengthAtom));
        if (n > ESContext::StackCapacity)
            context.throwRangeError(ESContext::stackOverflowText());
        std::vector<ESValue> values;
        values.reserve(n);
        for (uint32_t i = 0; i < n; ++i)
            values.push_back(context.getByValue(list, ESValue::fromNumber(i)));
        return context.call(thisValue.object, self, int(n), values.data());
    }
    default:
        return ESNativeClass::callMember(context, number, thisValue, count, args);
    }
}

ESObject *ESNativeFunction::constructMember(ESContext &context, int number, int count, ESValue *args)
{
    if (number != 0)
        return ESNativeClass::constructMember(context, number, count, args);
    QString parameters;
    for (int i = 0; i + 1 < count; ++i) {
        if (i)
            parameters += QLatin1Char(',');
        parameters += context.toString(args[i]);
    }
    const QString body = count > 0 ? context.toString(args[count - 1]) : QString();
    ESCompiler compiler(context);
    return compiler.compileFunction(parameters, body);
}

} // namespace zim::script
