// ConsoleScriptSystem: the loader's script system, with the Console object and the run of a
// script file given on the command line.
#pragma once

#include "script/builtinscript.h"
#include "script/esqobject.h"
#include "script/scriptsystem.h"

#include <QStringList>
#include <cstdio>
#include <memory>

// Console: prints script values on the loader's output.
namespace zim::loader {

class Console : public zim::script::ESQObject
{
    Q_OBJECT
public:
    // out is not owned.
    explicit Console(FILE *out, QObject *parent = nullptr);
    zim::script::ESObject *registerObject(zim::script::ESContext &context) override;

protected:
    zim::script::ESValue callMethod(zim::script::ESContext &context, int number, int count,
                                    zim::script::ESValue *args) override;

private:
    FILE *m_out;
};

class ConsoleScriptSystem : public zim::script::ScriptSystem
{
    Q_OBJECT
public:
    // out receives Console.WriteLine and Script.Echo lines (not owned).
    explicit ConsoleScriptSystem(FILE *out = stdout, QObject *parent = nullptr);
    ~ConsoleScriptSystem() override;

    // Runs the text; failures of the script and of the engine are HExceptions with their text.
    // Returns true when the script completes.
    bool evaluateText(const QString &text, const QString &name = QString());
    void evaluate(const QString &text, const QString &name = QString()) override;
    bool stopRequested() const override;

    // Runs a script file with its argument list: Script.Arguments, and load searching the
    // file's directory. Ctrl-C stops the script. Failures are HExceptions.
    void runFile(const QString &path, const QStringList &arguments);

private:
    FILE *m_out;
    Console m_console;
    zim::script::BuiltinScript m_builtin;
};

} // namespace zim::loader
