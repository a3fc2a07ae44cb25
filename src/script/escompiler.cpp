// The compiler's driver and its name-resolution pass: for every identifier it settles whether
// it is a global slot, an argument, a local or a name looked up along the scope chain, and it
// marks the functions whose variables must live in activation objects.
#include "script/escompiler.h"

#include "script/escodegenerator.h"
#include "script/escontext.h"
#include "script/esnativeclasses.h"

namespace zim::script {

// A with block or a catch clause that stands between a use and the declarations.
struct ESCompiler::ScopeEntry
{
    ESFunctionNode *function;
    ESAtom *catchName;   // null for a with block
};

std::shared_ptr<ESCompiledFunction> ESCompiler::compileProgram(const QString &text, bool callerScope)
{
    ESParser parser(m_context, text);
    ESFunctionNode *program = parser.parseProgram();
    m_callerScope = callerScope;
    std::vector<ScopeEntry> scopes;
    m_scopes = &scopes;
    resolveFunction(program);
    ESCodeGenerator generator(m_context, callerScope);
    return generator.generate(program);
}

ESObject *ESCompiler::compileFunction(const QString &parameters, const QString &body)
{
    ESParser parser(m_context, body);
    ESFunctionNode *fn = parser.parseFunction(parameters);
    m_callerScope = false;
    std::vector<ScopeEntry> scopes;
    m_scopes = &scopes;
    resolveFunction(fn);
    ESCodeGenerator generator(m_context, false);
    std::shared_ptr<ESCompiledFunction> record = generator.generate(fn);
    return m_context.makeClosure(record, nullptr);
}

void ESCompiler::resolveFunction(ESFunctionNode *fn)
{
    ESFunctionNode *outer = m_current;
    m_current = fn;
    if (fn->selfName && fn->indexOfParameter(fn->selfName) < 0 && fn->indexOfVariable(fn->selfName) < 0)
        fn->declare(fn->selfName);
    else
        fn->selfName = nullptr;
    for (ESNode *s : fn->body)
        resolveNode(s);
    m_current = outer;
}

void ESCompiler::resolveName(ESNode *n, ESAtom *atom)
{
    ESFunctionNode *cur = m_current;
    if (atom == m_context.argumentsAtom && !cur->isProgram && cur->indexOfParameter(atom) < 0) {
        cur->usesArguments = true;
        cur->captured = true;
        cur->declare(atom);
    }
    bool byName = false;
    ESFunctionNode *f = cur;
    int i = int(m_scopes->size()) - 1;
    for (;;) {
        for (; i >= 0 && (*m_scopes)[size_t(i)].function == f; --i) {
            const ScopeEntry &e = (*m_scopes)[size_t(i)];
            if (!e.catchName) {
                byName = true;
            } else if (e.catchName == atom) {
                n->resolution = ESResolution::ByName;
                return;
            }
        }
        if (f->isProgram) {
            n->resolution = (byName || m_callerScope || (cur->usesEval && !cur->isProgram)) ? ESResolution::ByName : ESResolution::Global;
            return;
        }
        const int p = f->indexOfParameter(atom);
        const int v = p < 0 ? f->indexOfVariable(atom) : -1;
        if (p >= 0 || v >= 0) {
            if (f != cur || byName) {
                f->captured = true;
                n->resolution = ESResolution::ByName;
                return;
            }
            n->resolution = p >= 0 ? ESResolution::Argument : ESResolution::Local;
            n->owner = f;
            n->index = p >= 0 ? p : v;
            return;
        }
        if (!f->parent) {
            // A Function-constructor body: everything else is global.
            n->resolution = byName ? ESResolution::ByName : ESResolution::Global;
            return;
        }
        f = f->parent;
    }
}

void ESCompiler::resolveNode(ESNode *n)
{
    if (!n)
        return;
    if (ESContext::nativeStackLow())
        m_context.throwErrorAtLine(m_context.syntaxErrorClass, n->line,
                                   QStringLiteral("statements or expressions nested too deeply"));
    switch (n->kind) {
    case tok::Identifier:
        resolveName(n, n->atom);
        return;
    case node::Declaration:
        resolveName(n, n->atom);
        resolveNode(n->a);
        return;
    case tok::Function:
        if (!n->flag)
            resolveName(n, n->function->name);
        resolveFunction(n->function);
        return;
    case tok::Call:
        if (n->a->kind == tok::Identifier && n->a->atom == m_context.evalAtom) {
            // Eval code reaches the caller's variables by name.
            for (ESFunctionNode *f = m_current; f; f = f->parent) {
                f->usesEval = true;
                if (!f->isProgram)
                    f->captured = true;
            }
        }
        break;
    case tok::With:
        resolveNode(n->a);
        m_scopes->push_back(ScopeEntry{m_current, nullptr});
        resolveNode(n->b);
        m_scopes->pop_back();
        return;
    case tok::Try:
        resolveNode(n->a);
        if (n->b) {
            m_scopes->push_back(ScopeEntry{m_current, n->atom});
            resolveNode(n->b);
            m_scopes->pop_back();
        }
        resolveNode(n->c);
        return;
    default:
        break;
    }
    resolveNode(n->a);
    resolveNode(n->b);
    resolveNode(n->c);
    resolveNode(n->d);
    for (ESNode *child : n->list)
        resolveNode(child);
}

} // namespace zim::script
