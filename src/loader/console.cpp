// Console.WriteLine on the loader's output.
#include "loader/console.h"

#include "script/esnativeclasses.h"

namespace zim::loader {

Console::Console(ConsoleOutput &out, QObject *parent) : script::ESQObject(parent), m_out(out)
{
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
        m_out.writeLine(context.toString(script::argument(count, args, 0)));
        return script::ESValue();
    }
    return script::ESQObject::callMethod(context, number, count, args);
}

} // namespace zim::loader
