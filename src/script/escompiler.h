// ESCompiler: settles how each name is reached, then generates the bytecode records of a
// program and its nested functions.
#pragma once

#include "script/escompiledfunction.h"
#include "script/esparser.h"

#include <memory>

namespace zim::script {

class ESContext;
class ESObject;

class ESCompiler
{
public:
    explicit ESCompiler(ESContext &context) : m_context(context) {}

    // The whole text as a program. With callerScope the program is eval code that runs in a
    // caller's scope chain: its names are looked up by name and its var declarations go to the
    // head of that chain.
    std::shared_ptr<ESCompiledFunction> compileProgram(const QString &text, bool callerScope = false);
    // new Function(parameters, body): a function object named "anonymous".
    ESObject *compileFunction(const QString &parameters, const QString &body);

private:
    struct ScopeEntry;
    void resolveFunction(ESFunctionNode *fn);
    void resolveNode(ESNode *n);
    void resolveName(ESNode *n, ESAtom *atom);

    ESContext &m_context;
    bool m_callerScope = false;
    ESFunctionNode *m_current = nullptr;
    std::vector<ScopeEntry> *m_scopes = nullptr;
};

} // namespace zim::script
