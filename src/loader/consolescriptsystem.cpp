// ConsoleScriptSystem: evaluation with Ctrl-C as a stop request, the conversion of uncaught
// script exceptions into the loader's errors, and script files run from the command line.
#include "loader/consolescriptsystem.h"

#include "common/boundedread.h"
#include "common/hexception.h"
#include "common/text.h"
#include "platform/interruptguard.h"
#include "script/esexception.h"

#include <QFileInfo>

namespace zim::loader {

ConsoleScriptSystem::ConsoleScriptSystem(ConsoleOutput &out, QObject *parent)
    : script::ScriptSystem(parent), m_builtin([&out](const QString &text) { out.writeLine(text); })
{
}

ConsoleScriptSystem::~ConsoleScriptSystem() = default;

bool ConsoleScriptSystem::stopRequested() const
{
    return interrupted() || script::ScriptSystem::stopRequested();
}

bool ConsoleScriptSystem::interrupted() const
{
    return m_interrupt.interrupted();
}

void ConsoleScriptSystem::evaluate(const QString &text, const QString &)
{
    const platform::InterruptScope::Entry entry(m_interrupt);
    if (entry.outermost())
        clearStop();

    script::ESEvaluation result;
    try {
        result = context().evaluate(text);
    } catch (const script::ESFatalError &e) {
        // The machine ends a stopped script with a fault of its own; the reason is known here.
        throwIfStopped();
        throw common::HException(e.text());
    } catch (const script::ESException &e) {
        // Thrown while the engine turned an uncaught value into its own message.
        throwUncaught(e.value());
    }
    if (result.status == script::ESEvaluation::Thrown)
        throwUncaught(result.value);
    // A stop that came after the last check must still not pass for a completed script.
    throwIfStopped();
}

void ConsoleScriptSystem::throwIfStopped() const
{
    if (interrupted())
        throw common::HException(QStringLiteral("script interrupted by Ctrl-C"));
    if (script::ScriptSystem::stopRequested())
        throw common::HException(QStringLiteral("script stopped on request"));
}

void ConsoleScriptSystem::throwUncaught(const script::ESValue &value)
{
    // The standard dialect's report is the script's own text, shown as it stands.
    if (context().standard())
        throw ScriptFailure(context().standardUncaughtMessage(value));
    throw common::HException(context().uncaughtMessage(value));
}

bool ConsoleScriptSystem::evaluateText(const QString &text, const QString &name)
{
    // A reset script that a standard-dialect script file causes still runs as reset scripts do.
    const script::ESContext::DialectScope dialect(context(), script::ESDialect::Loader);
    evaluate(text, name);
    return true;
}

void ConsoleScriptSystem::runFile(const QString &path, const QStringList &arguments)
{
    const QByteArray bytes = common::readWholeFile(path, common::kMaxScriptFileSize, QStringLiteral("script"),
                                                   QStringLiteral("a script file may have"));
    context().loadPath.prepend(QFileInfo(path).absolutePath());
    m_builtin.setUp(context(), arguments);
    const QString text = QString::fromUtf8(bytes);
    const script::ESDialect dialect = script::ESContext::requestedDialect(text, script::ESDialect::Standard);
    const script::ESContext::DialectScope scope(context(), dialect);
    if (dialect == script::ESDialect::Loader) {
        evaluate(text, path);
        return;
    }
    try {
        evaluate(text, path);
    } catch (const ScriptFailure &) {
        throw;
    } catch (const common::HException &e) {
        // A failure of the loader's own (a Loader method, an engine fault) may carry rich-text
        // tags and line breaks at its end; the report is plain and ends with its last line.
        QString message = common::toPlainText(e.message());
        while (message.endsWith(QLatin1Char('\n')))
            message.chop(1);
        throw ScriptFailure(message);
    }
}

} // namespace zim::loader
