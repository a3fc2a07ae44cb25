// ConsoleScriptSystem: Console.WriteLine, Script.Echo on standard output, script files run from
// the command line and Ctrl-C as a stop request.
#include "loader/consolescriptsystem.h"

#include "common/hexception.h"
#include "script/esnativeclasses.h"

#include <QFile>
#include <QFileInfo>
#include <csignal>

namespace zim::loader {

using namespace zim::script;

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int)
{
    interrupted = 1;
}

void writeLine(FILE *out, const QString &text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
    std::fflush(out);
}

// Restores the previous Ctrl-C handler when a script run ends.
struct InterruptScope
{
    InterruptScope() { previous = std::signal(SIGINT, onInterrupt); }
    ~InterruptScope() { std::signal(SIGINT, previous); }
    void (*previous)(int);
};

} // namespace

Console::Console(FILE *out, QObject *parent) : script::ESQObject(parent), m_out(out)
{
}

script::ESObject *Console::registerObject(script::ESContext &context)
{
    script::ESObject *object = script::ESQObject::registerObject(context);
    addMethod(context, object, "WriteLine", 1, 2);
    return object;
}

script::ESValue Console::callMethod(script::ESContext &context, int number, int count, script::ESValue *args)
{
    if (number == 2) {
        writeLine(m_out, context.toString(script::argument(count, args, 0)));
        return script::ESValue();
    }
    return script::ESQObject::callMethod(context, number, count, args);
}

ConsoleScriptSystem::ConsoleScriptSystem(FILE *out, QObject *parent)
    : script::ScriptSystem(parent), m_out(out), m_console(out), m_builtin([out](const QString &text) { writeLine(out, text); })
{
    m_console.registerObject(context());
}

ConsoleScriptSystem::~ConsoleScriptSystem() = default;

bool ConsoleScriptSystem::stopRequested() const
{
    return interrupted || script::ScriptSystem::stopRequested();
}

void ConsoleScriptSystem::evaluate(const QString &text, const QString &name)
{
    try {
        script::ScriptSystem::evaluate(text, name);
    } catch (const script::ESFatalError &e) {
        throw common::HException(e.text());
    }
}

bool ConsoleScriptSystem::evaluateText(const QString &text, const QString &name)
{
    evaluate(text, name);
    return true;
}

void ConsoleScriptSystem::runFile(const QString &path, const QStringList &arguments)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw common::HException(QStringLiteral("cannot open script \u201C") + path + QStringLiteral("\u201D: ")
                         + file.errorString());
    const QString text = QString::fromUtf8(file.readAll());
    context().loadPath.prepend(QFileInfo(path).absolutePath());
    m_builtin.setUp(context(), arguments);
    InterruptScope interrupt;
    evaluate(text, path);
}

} // namespace zim::loader
