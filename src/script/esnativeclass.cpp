// ESNativeClass: native function objects and the dispatch of call and construct by member number.
#include "script/esnativeclasses.h"

namespace zim::script {

ESObject *makeNativeFunction(ESContext &context, ESClass *cls, ESObject *holder, const char *name,
                             const QString &qualified, int arity, int number)
{
    ESObject *fn = context.newObject(context.functionPrototype, cls);
    fn->callCode = &ESContext::nativeCode;
    fn->builtinIndex = number;
    // Array's natives share the array class, whose records give the room of the name to elements.
    if (!fn->holdsElements())
        fn->internalValue() = ESValue::fromAtom(atoms::intern(qualified));
    fn->define(context.lengthAtom, ESValue::fromNumber(arity), ReadOnly | DontEnum | DontDelete);
    holder->define(atoms::intern(name), ESValue::fromObject(fn), DontEnum);
    return fn;
}

ESObject *ESNativeClass::addMethod(ESContext &context, ESObject *holder, const char *name, const char *qualified,
                                   int arity, int number)
{
    return makeNativeFunction(context, this, holder, name, QString::fromLatin1(qualified), arity, number);
}

ESObject *ESNativeClass::addConstructor(ESContext &context, const char *name, int arity, ESObject *prototypeObject)
{
    ESObject *fn = addMethod(context, context.global(), name, name, arity, 0);
    fn->constructible = true;
    prototype = prototypeObject;
    constructor = fn;
    fn->define(context.prototypeAtom, ESValue::fromObject(prototypeObject), ReadOnly | DontEnum | DontDelete);
    prototypeObject->define(context.constructorAtom, ESValue::fromObject(fn), DontEnum);
    return fn;
}

void ESNativeClass::call(ESContext &context, ESObject *function, const ESValue &thisValue, int count, ESValue *args)
{
    args[0] = callMember(context, function->builtinIndex, thisValue, count, args);
}

ESObject *ESNativeClass::construct(ESContext &context, ESObject *function, int count, ESValue *args)
{
    return constructMember(context, function->builtinIndex, count, args);
}

ESValue ESNativeClass::callMember(ESContext &context, int, const ESValue &, int, ESValue *)
{
    context.throwPlainError(QStringLiteral("bad signature in builtin call"));
}

ESObject *ESNativeClass::constructMember(ESContext &context, int, int, ESValue *)
{
    context.throwPlainError(QStringLiteral("bad signature in builtin construct"));
}

} // namespace zim::script
