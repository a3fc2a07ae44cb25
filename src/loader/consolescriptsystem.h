// ConsoleScriptSystem: the loader's one script system. Its context holds the Console, the
// Loader and the selected target; reset and attach scripts and script files given on the
// command line all run there. Ctrl-C stops a running script.
#pragma once

#include "common/hexception.h"
#include "loader/consoleoutput.h"
#include "platform/interruptguard.h"
#include "script/builtinscript.h"
#include "script/scriptsystem.h"

#include <QStringList>

namespace zim::loader {

// The failure of a script file run in the standard dialect: its text is shown as it stands, on
// one line under "error: " with no blank line after it.
class ScriptFailure : public common::HException
{
public:
    using common::HException::HException;
};

class ConsoleScriptSystem : public script::ScriptSystem
{
    Q_OBJECT
public:
    // out receives Script.Echo lines (not owned).
    explicit ConsoleScriptSystem(ConsoleOutput &out, QObject *parent = nullptr);
    ~ConsoleScriptSystem() override;

    // Runs the text in the loader dialect (reset and attach scripts); true when the script completes. A value the script throws and does not
    // catch fails with the text of its message property when it is an object that has one,
    // otherwise with "uncaught exception - " and the value; engine failures with their own
    // text; a script stopped by Ctrl-C or requestStop with "script interrupted by Ctrl-C" or
    // "script stopped on request". Failures are HExceptions; HExceptions that the loader's
    // own methods throw inside the script pass through unchanged.
    bool evaluateText(const QString &text, const QString &name = QString());
    void evaluate(const QString &text, const QString &name = QString()) override;
    bool stopRequested() const override;

    // Runs a script file with its argument list: Script.Arguments, and load searching the
    // file's directory. The file runs in the standard dialect unless its first statement is the
    // directive "use loader". Failures as for evaluateText in the loader dialect; in the
    // standard dialect an uncaught value is reported with its place and its error name
    // ("line 3: TypeError: f is not a function"), and failures are ScriptFailures.
    void runFile(const QString &path, const QStringList &arguments);

private:
    void throwIfStopped() const;
    // Fails with the message of a value thrown and not caught, in the running dialect's words.
    [[noreturn]] void throwUncaught(const script::ESValue &value);
    // Whether Ctrl-C came during the running outermost evaluation, or else the last one.
    bool interrupted() const;

    script::BuiltinScript m_builtin;
    // Takes Ctrl-C while an outermost evaluation runs; an evaluation started by a script (a
    // reset the script causes) is nested in another.
    platform::InterruptScope m_interrupt;
};

} // namespace zim::loader
