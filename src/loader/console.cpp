// Console.WriteLine on the loader's output.
#include "loader/console.h"

#include "script/esnativeclasses.h"

namespace zim::loader {

Console::Console(FILE *out, QObject *parent) : script::ESQObject(parent), m_out(out)
{
}

void Console::writeLine(FILE *out, const QString &text)
{
    // A failed write is reported by the checked console stream when the run ends.
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
    std::fflush(out);
}

script::ESObject *Console::registerObject(script::ESContext &context)
{
    script::ESObject *object = script::ESQObject::registerObject(context);
    addMethod(context, object, "WriteLine", 1, WriteLine);
    return object;
}

script::ESValue Console::callMethod(script::ESContext &context, int number, int count, script::ESValue *args)
{
    if (number == WriteLine) {
        writeLine(m_out, context.toString(script::argument(count, args, 0)));
        return script::ESValue();
    }
    return script::ESQObject::callMethod(context, number, count, args);
}

} // namespace zim::loader
