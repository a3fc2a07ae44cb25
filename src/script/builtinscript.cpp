// BuiltinScript: Script.Echo and Script.Arguments.
#include "script/builtinscript.h"

#include "script/esnativeclasses.h"

namespace zim::script {

BuiltinScript::BuiltinScript(std::function<void(const QString &)> echo) : ESClass("Object"), m_echo(std::move(echo))
{
}

void BuiltinScript::setUp(ESContext &context, const QStringList &arguments)
{
    ESObject *script = context.newPlainObject();
    context.global()->define(atoms::intern("Script"), ESValue::fromObject(script), DontEnum);
    context.global()->define(atoms::intern("WScript"), ESValue::fromObject(script), DontEnum);
    makeNativeFunction(context, this, script, "Echo", QStringLiteral("Script.prototype.Echo"), 0, 1);
    std::vector<ESValue> values;
    for (const QString &a : arguments)
        values.push_back(ESValue::fromAtom(atoms::intern(a)));
    // The array is the script's to keep or drop: nothing here holds it.
    script->define(atoms::intern("Arguments"),
                   ESValue::fromObject(context.arrayFromValues(int(values.size()), values.data())), 0);
}

void BuiltinScript::call(ESContext &context, ESObject *function, const ESValue &, int count, ESValue *args)
{
    if (function->builtinIndex != 1)
        context.throwPlainError(QStringLiteral("bad signature in BuiltinScript::call"));
    const QString text = count > 0 ? context.toString(args[0]) : QString();
    if (m_echo)
        m_echo(text);
    args[0] = ESValue();
}

} // namespace zim::script
