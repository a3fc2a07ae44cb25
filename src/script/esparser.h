// ESParser: the recursive-descent parser that builds the tree of one program, with the
// declarations of each function collected on the way.
#pragma once

#include "script/eslexer.h"

#include <deque>
#include <vector>

namespace zim::script {

struct ESFunctionNode;

namespace node {
enum : int {
    ExprStatement = 300,
    Declaration = 301,   // one name of a var list: atom, a = initialiser or null
    Property = 302,      // one entry of an object initialiser: atom, a = value
    Comma = ',',
};
}

// How an identifier use is reached, settled before code generation.
enum class ESResolution : uint8_t { Global, Argument, Local, ByName };

struct ESNode
{
    int kind = 0;
    int line = 0;
    int depth = 1;
    ESNode *a = nullptr;
    ESNode *b = nullptr;
    ESNode *c = nullptr;
    ESNode *d = nullptr;
    std::vector<ESNode *> list;
    double number = 0.0;
    ESAtom *atom = nullptr;
    ESFunctionNode *function = nullptr;
    bool flag = false;          // new with arguments; for-in with var; function expression
    // Identifier resolution.
    ESResolution resolution = ESResolution::Global;
    ESFunctionNode *owner = nullptr;
    int index = 0;
};

struct ESFunctionNode
{
    ESAtom *name = nullptr;
    std::vector<ESAtom *> parameters;
    std::vector<ESNode *> body;
    std::vector<ESAtom *> variables;   // var names and declared function names, first use order
    ESFunctionNode *parent = nullptr;
    int line = 0;
    bool isProgram = false;
    bool isExpression = false;
    bool usesArguments = false;
    bool usesEval = false;
    bool captured = false;
    ESAtom *selfName = nullptr;        // a function expression's own name, bound inside it

    int indexOfParameter(ESAtom *atom) const;
    int indexOfVariable(ESAtom *atom) const;
    void declare(ESAtom *atom);
};

class ESParser
{
public:
    ESParser(ESContext &context, const QString &text);
    // The whole text as a program.
    ESFunctionNode *parseProgram();
    // A parameter list text and a body text, as the Function constructor gives them.
    ESFunctionNode *parseFunction(const QString &parameters);

    // Recursion steps of the parser: a level of nesting takes one to six, and a thousand levels of
    // any construct fit.
    static constexpr int MaxDepth = 8000;

private:
    ESNode *make(int kind, int line, ESNode *a = nullptr, ESNode *b = nullptr, ESNode *c = nullptr,
                 ESNode *d = nullptr);
    [[noreturn]] void fail(const QString &message);
    [[noreturn]] void failAt(int line, const QString &message);
    void advance();
    void expect(int code);
    bool accept(int code);
    void semicolon();
    void enter();
    void leave() { --m_depth; }

    void parseStatementList(std::vector<ESNode *> &list, int terminator);
    ESNode *parseStatement();
    ESNode *parseVar(bool noIn);
    ESNode *parseBlock();
    ESNode *parseFunctionRest(int line, bool expression);
    ESNode *parseExpression(bool noIn = false);
    ESNode *parseAssignment(bool noIn = false);
    ESNode *parseConditional(bool noIn);
    ESNode *parseBinary(int minPrecedence, bool noIn);
    ESNode *parseUnary();
    ESNode *parsePostfix();
    ESNode *parseCallOrMember();
    ESNode *parsePrimary();
    void parseArguments(ESNode *call);
    void checkTarget(ESNode *target, int line);

    ESContext &m_context;
    QString m_text;
    ESLexer m_lexer;
    ESToken m_token;
    ESToken m_previous;
    ESFunctionNode *m_function = nullptr;
    int m_depth = 0;
    std::deque<ESNode> m_nodes;
    std::deque<ESFunctionNode> m_functions;
    friend class ESCompiler;
};

} // namespace zim::script
