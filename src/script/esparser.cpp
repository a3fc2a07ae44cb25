// The parser: statements, expressions by precedence climbing, function literals, and the
// declarations of each function. Nesting is bounded so that no input exhausts the native stack.
#include "script/esparser.h"

#include "script/escontext.h"
#include "script/esnativeclasses.h"

#include <algorithm>

namespace zim::script {

namespace {
constexpr int MaxTreeDepth = 10000;

int binaryPrecedence(int code, bool noIn)
{
    switch (code) {
    case tok::OrOr: return 1;
    case tok::AndAnd: return 2;
    case '|': return 3;
    case '^': return 4;
    case '&': return 5;
    case tok::Eq: case tok::Ne: case tok::StrictEq: case tok::StrictNe: return 6;
    case '<': case '>': case tok::Le: case tok::Ge: case tok::Instanceof: return 7;
    case tok::In: return noIn ? 0 : 7;
    case tok::Shl: case tok::Shr: case tok::Ushr: return 8;
    case '+': case '-': return 9;
    case '*': case '/': case '%': return 10;
    default: return 0;
    }
}

bool isAssignment(int code)
{
    return code == '=' || (code >= tok::AndAssign && code <= tok::ModAssign);
}
} // namespace

int ESFunctionNode::indexOfParameter(ESAtom *atom) const
{
    for (size_t i = parameters.size(); i-- > 0;)
        if (parameters[i] == atom)
            return int(i);
    return -1;
}

int ESFunctionNode::indexOfVariable(ESAtom *atom) const
{
    for (size_t i = 0; i < variables.size(); ++i)
        if (variables[i] == atom)
            return int(i);
    return -1;
}

void ESFunctionNode::declare(ESAtom *atom)
{
    if (indexOfParameter(atom) < 0 && indexOfVariable(atom) < 0)
        variables.push_back(atom);
}

ESParser::ESParser(ESContext &context, const QString &text)
    : m_context(context), m_text(text), m_lexer(context, m_text)
{
}

ESNode *ESParser::make(int kind, int line, ESNode *a, ESNode *b, ESNode *c, ESNode *d)
{
    ESNode &n = m_nodes.emplace_back();
    n.kind = kind;
    n.line = line;
    n.a = a;
    n.b = b;
    n.c = c;
    n.d = d;
    int depth = 0;
    for (ESNode *child : {a, b, c, d})
        if (child)
            depth = std::max(depth, child->depth);
    n.depth = depth + 1;
    if (n.depth > MaxTreeDepth)
        failAt(line, QStringLiteral("expression too deeply nested"));
    return &n;
}

void ESParser::fail(const QString &message)
{
    failAt(m_token.line, message);
}

void ESParser::failAt(int line, const QString &message)
{
    m_context.throwErrorAtLine(m_context.syntaxErrorClass, line, message);
}

void ESParser::advance()
{
    m_previous = m_token;
    m_token = m_lexer.next();
}

void ESParser::expect(int code)
{
    if (m_token.code != code)
        fail(QStringLiteral("expected ") + tokenName(code) + QStringLiteral(" found ") + tokenName(m_token.code));
    advance();
}

bool ESParser::accept(int code)
{
    if (m_token.code != code)
        return false;
    advance();
    return true;
}

void ESParser::semicolon()
{
    if (accept(';'))
        return;
    if (m_token.code == '}' || m_token.code == tok::End || m_token.newlineBefore)
        return;
    expect(';');
}

void ESParser::enter()
{
    // The count bounds the nesting a text may have; the stack test keeps a smaller system stack
    // from running out first.
    if (++m_depth > MaxDepth || ESContext::nativeStackLow())
        fail(QStringLiteral("statements or expressions nested too deeply"));
}

ESFunctionNode *ESParser::parseProgram()
{
    ESFunctionNode &program = m_functions.emplace_back();
    program.isProgram = true;
    program.line = 1;
    m_function = &program;
    advance();
    parseStatementList(program.body, tok::End);
    return &program;
}

ESFunctionNode *ESParser::parseFunction(const QString &parameters)
{
    ESFunctionNode &fn = m_functions.emplace_back();
    fn.name = atoms::intern("anonymous");
    fn.line = 1;
    fn.isExpression = true;
    {
        ESParser params(m_context, parameters);
        params.advance();
        if (params.m_token.code != tok::End) {
            for (;;) {
                if (params.m_token.code != tok::Identifier)
                    params.fail(QStringLiteral("expected an identifier found ") + tokenName(params.m_token.code));
                fn.parameters.push_back(params.m_token.atom);
                params.advance();
                if (params.m_token.code == tok::End)
                    break;
                params.expect(',');
            }
        }
    }
    m_function = &fn;
    advance();
    parseStatementList(fn.body, tok::End);
    return &fn;
}

void ESParser::parseStatementList(std::vector<ESNode *> &list, int terminator)
{
    std::vector<ESNode *> functions;
    std::vector<ESNode *> others;
    while (m_token.code != terminator) {
        if (m_token.code == tok::End)
            expect(terminator);
        ESNode *s = parseStatement();
        if (s->kind == tok::Function && !s->flag)
            functions.push_back(s);
        else
            others.push_back(s);
    }
    // Function declarations of a list run ahead of its other statements.
    list.insert(list.end(), functions.begin(), functions.end());
    list.insert(list.end(), others.begin(), others.end());
}

ESNode *ESParser::parseBlock()
{
    const int line = m_token.line;
    expect('{');
    ESNode *block = make('{', line);
    enter();
    parseStatementList(block->list, '}');
    leave();
    expect('}');
    return block;
}

ESNode *ESParser::parseVar(bool noIn)
{
    const int line = m_token.line;
    expect(tok::Var);
    ESNode *var = make(tok::Var, line);
    for (;;) {
        if (m_token.code != tok::Identifier)
            expect(tok::Identifier);
        ESNode *decl = make(node::Declaration, m_token.line);
        decl->atom = m_token.atom;
        m_function->declare(decl->atom);
        advance();
        if (accept('=')) {
            decl->a = parseAssignment(noIn);
            decl->depth = decl->a->depth + 1;
        }
        var->list.push_back(decl);
        if (!accept(','))
            break;
    }
    return var;
}

ESNode *ESParser::parseStatement()
{
    enter();
    const int line = m_token.line;
    ESNode *s = nullptr;
    switch (m_token.code) {
    case '{':
        s = parseBlock();
        break;
    case ';':
        advance();
        s = make(';', line);
        break;
    case tok::Var:
        s = parseVar(false);
        semicolon();
        break;
    case tok::If: {
        advance();
        expect('(');
        ESNode *cond = parseExpression();
        expect(')');
        ESNode *then = parseStatement();
        ESNode *otherwise = accept(tok::Else) ? parseStatement() : nullptr;
        s = make(tok::If, line, cond, then, otherwise);
        break;
    }
    case tok::While: {
        advance();
        expect('(');
        ESNode *cond = parseExpression();
        expect(')');
        s = make(tok::While, line, cond, parseStatement());
        break;
    }
    case tok::Do: {
        advance();
        ESNode *body = parseStatement();
        expect(tok::While);
        expect('(');
        ESNode *cond = parseExpression();
        expect(')');
        accept(';');
        s = make(tok::Do, line, cond, body);
        break;
    }
    case tok::For: {
        advance();
        expect('(');
        ESNode *init = nullptr;
        bool isVar = false;
        if (m_token.code == tok::Var) {
            init = parseVar(true);
            isVar = true;
        } else if (m_token.code != ';') {
            init = parseExpression(true);
        }
        if (init && m_token.code == tok::In) {
            if (isVar && init->list.size() > 1)
                fail(QStringLiteral("too many variables in for-in expression"));
            if (!isVar)
                checkTarget(init, line);
            advance();
            ESNode *object = parseExpression();
            expect(')');
            s = make(tok::ForIn, line, init, object, parseStatement());
            s->flag = isVar;
            break;
        }
        expect(';');
        ESNode *cond = m_token.code == ';' ? nullptr : parseExpression();
        expect(';');
        ESNode *update = m_token.code == ')' ? nullptr : parseExpression();
        expect(')');
        s = make(tok::For, line, init, cond, update, parseStatement());
        break;
    }
    case tok::Break:
    case tok::Continue: {
        const int kind = m_token.code;
        advance();
        s = make(kind, line);
        if (m_token.code == tok::Identifier && !m_token.newlineBefore) {
            s->atom = m_token.atom;
            advance();
        }
        semicolon();
        break;
    }
    case tok::Return: {
        if (m_function->isProgram)
            fail(QStringLiteral("return not in a function"));
        advance();
        ESNode *value = nullptr;
        if (m_token.code != ';' && m_token.code != '}' && m_token.code != tok::End && !m_token.newlineBefore)
            value = parseExpression();
        semicolon();
        s = make(tok::Return, line, value);
        break;
    }
    case tok::With: {
        advance();
        expect('(');
        ESNode *object = parseExpression();
        expect(')');
        s = make(tok::With, line, object, parseStatement());
        break;
    }
    case tok::Switch: {
        advance();
        expect('(');
        ESNode *value = parseExpression();
        expect(')');
        expect('{');
        s = make(tok::Switch, line, value);
        bool haveDefault = false;
        while (!accept('}')) {
            const int caseLine = m_token.line;
            ESNode *clause;
            if (accept(tok::Case)) {
                clause = make(tok::Case, caseLine, parseExpression());
            } else if (accept(tok::Default)) {
                if (haveDefault)
                    failAt(caseLine, QStringLiteral("default case already defined"));
                haveDefault = true;
                clause = make(tok::Default, caseLine);
            } else {
                fail(QStringLiteral("expected 'case' or 'default' but found '") + tokenName(m_token.code)
                     + QLatin1Char('\''));
            }
            expect(':');
            while (m_token.code != tok::Case && m_token.code != tok::Default && m_token.code != '}') {
                if (m_token.code == tok::End)
                    expect('}');
                clause->list.push_back(parseStatement());
            }
            s->list.push_back(clause);
        }
        break;
    }
    case tok::Throw: {
        advance();
        if (m_token.newlineBefore)
            fail(QStringLiteral("expected an expression, found a line break"));
        s = make(tok::Throw, line, parseExpression());
        semicolon();
        break;
    }
    case tok::Try: {
        advance();
        ESNode *block = parseBlock();
        s = make(tok::Try, line, block);
        if (accept(tok::Catch)) {
            expect('(');
            if (m_token.code != tok::Identifier)
                expect(tok::Identifier);
            s->atom = m_token.atom;
            advance();
            expect(')');
            s->b = parseBlock();
        }
        if (accept(tok::Finally))
            s->c = parseBlock();
        if (!s->b && !s->c)
            fail(QStringLiteral("'catch' or 'finally' clause expected after 'try'"));
        break;
    }
    case tok::Function: {
        advance();
        if (m_token.code != tok::Identifier)
            expect(tok::Identifier);
        ESAtom *name = m_token.atom;
        advance();
        m_function->declare(name);
        s = parseFunctionRest(line, false);
        s->function->name = name;
        break;
    }
    default: {
        ESNode *e = parseExpression();
        if (e->kind == tok::Identifier && m_token.code == ':') {
            advance();
            s = make(tok::Labelled, line, parseStatement());
            s->atom = e->atom;
            break;
        }
        semicolon();
        s = make(node::ExprStatement, line, e);
        break;
    }
    }
    leave();
    return s;
}

ESNode *ESParser::parseFunctionRest(int line, bool expression)
{
    ESFunctionNode &fn = m_functions.emplace_back();
    fn.parent = m_function;
    fn.line = line;
    fn.isExpression = expression;
    expect('(');
    if (m_token.code != ')') {
        for (;;) {
            if (m_token.code != tok::Identifier)
                expect(tok::Identifier);
            fn.parameters.push_back(m_token.atom);
            advance();
            if (!accept(','))
                break;
        }
    }
    expect(')');
    expect('{');
    ESFunctionNode *outer = m_function;
    m_function = &fn;
    enter();
    parseStatementList(fn.body, '}');
    leave();
    m_function = outer;
    expect('}');
    ESNode *n = make(tok::Function, line);
    n->function = &fn;
    n->flag = expression;
    return n;
}

ESNode *ESParser::parseExpression(bool noIn)
{
    ESNode *e = parseAssignment(noIn);
    while (m_token.code == ',') {
        const int line = m_token.line;
        advance();
        e = make(',', line, e, parseAssignment(noIn));
    }
    return e;
}

void ESParser::checkTarget(ESNode *target, int line)
{
    const int k = target->kind;
    if (k != tok::Identifier && k != '.' && k != '[' && k != tok::Call)
        failAt(line, QStringLiteral("invalid assignment target"));
}

ESNode *ESParser::parseAssignment(bool noIn)
{
    enter();
    ESNode *target = parseConditional(noIn);
    if (isAssignment(m_token.code)) {
        const int op = m_token.code;
        const int line = m_token.line;
        checkTarget(target, line);
        advance();
        target = make(op, line, target, parseAssignment(noIn));
    }
    leave();
    return target;
}

ESNode *ESParser::parseConditional(bool noIn)
{
    ESNode *cond = parseBinary(1, noIn);
    if (m_token.code != '?')
        return cond;
    const int line = m_token.line;
    advance();
    ESNode *yes = parseAssignment(false);
    expect(':');
    ESNode *no = parseAssignment(noIn);
    return make('?', line, cond, yes, no);
}

ESNode *ESParser::parseBinary(int minPrecedence, bool noIn)
{
    ESNode *left = parseUnary();
    for (;;) {
        const int op = m_token.code;
        const int precedence = binaryPrecedence(op, noIn);
        if (precedence == 0 || precedence < minPrecedence)
            return left;
        const int line = m_token.line;
        advance();
        enter();
        ESNode *right = parseBinary(precedence + 1, noIn);
        leave();
        left = make(op, line, left, right);
    }
}

ESNode *ESParser::parseUnary()
{
    const int line = m_token.line;
    int kind = 0;
    switch (m_token.code) {
    case '!': case '~': case tok::Typeof: case tok::Delete: case tok::Void: case tok::PlusPlus:
    case tok::MinusMinus:
        kind = m_token.code;
        break;
    case '-': kind = tok::Neg; break;
    case '+': kind = tok::Pos; break;
    default:
        return parsePostfix();
    }
    advance();
    enter();
    ESNode *operand = parseUnary();
    leave();
    if (kind == tok::PlusPlus || kind == tok::MinusMinus)
        checkTarget(operand, line);
    return make(kind, line, operand);
}

ESNode *ESParser::parsePostfix()
{
    ESNode *e = parseCallOrMember();
    if ((m_token.code == tok::PlusPlus || m_token.code == tok::MinusMinus) && !m_token.newlineBefore) {
        checkTarget(e, m_token.line);
        const int kind = m_token.code == tok::PlusPlus ? tok::PostInc : tok::PostDec;
        advance();
        e = make(kind, m_previous.line, e);
    }
    return e;
}

void ESParser::parseArguments(ESNode *call)
{
    expect('(');
    if (m_token.code != ')') {
        for (;;) {
            ESNode *arg = parseAssignment(false);
            call->depth = std::max(call->depth, arg->depth + 1);
            call->list.push_back(arg);
            if (!accept(','))
                break;
        }
    }
    expect(')');
}

ESNode *ESParser::parseCallOrMember()
{
    // new chains: "new" binds to the member expression after it and to the first argument list.
    std::vector<int> news;
    while (m_token.code == tok::New) {
        news.push_back(m_token.line);
        advance();
        enter();
    }
    ESNode *e = parsePrimary();
    for (;;) {
        const int line = m_token.line;
        if (m_token.code == '.') {
            advance();
            if (m_token.code != tok::Identifier && !(m_token.code >= tok::This && m_token.code <= tok::Instanceof))
                expect(tok::Identifier);
            ESAtom *name = m_token.atom ? m_token.atom : atoms::intern(tokenName(m_token.code));
            advance();
            e = make('.', line, e);
            e->atom = name;
        } else if (m_token.code == '[') {
            advance();
            ESNode *key = parseExpression();
            expect(']');
            e = make('[', line, e, key);
        } else if (m_token.code == '(') {
            if (!news.empty()) {
                e = make(tok::New, news.back(), e);
                e->flag = true;
                news.pop_back();
                leave();
            } else {
                if (e->kind == tok::Identifier && e->atom->text == QLatin1String("eval")) {
                    // Eval code may declare names that this function's code then reads.
                    for (ESFunctionNode *f = m_function; f; f = f->parent)
                        f->usesEval = true;
                }
                e = make(tok::Call, line, e);
            }
            parseArguments(e);
        } else {
            break;
        }
    }
    while (!news.empty()) {
        e = make(tok::New, news.back(), e);
        news.pop_back();
        leave();
    }
    return e;
}

ESNode *ESParser::parsePrimary()
{
    const int line = m_token.line;
    ESNode *e = nullptr;
    switch (m_token.code) {
    case tok::This: case tok::True: case tok::False: case tok::Null:
        e = make(m_token.code, line);
        advance();
        return e;
    case tok::Identifier:
    case tok::String:
        e = make(m_token.code, line);
        e->atom = m_token.atom;
        advance();
        return e;
    case tok::Number:
        e = make(tok::Number, line);
        e->number = m_token.number;
        advance();
        return e;
    case '/':
    case tok::DivAssign: {
        // An operand cannot start with a division: this slash opens a regular expression.
        const ESToken literal = m_lexer.regExp(m_token);
        const int flags = int(literal.number);
        const QString error = m_context.regexpClass->patternError(literal.atom->text,
                                                                  flags & regexpflag::Multiline);
        if (!error.isEmpty())
            failAt(line, QStringLiteral("invalid regular expression: ") + error);
        e = make(tok::RegExp, line);
        e->atom = literal.atom;
        e->number = flags;
        advance();
        return e;
    }
    case '(':
        advance();
        enter();
        e = parseExpression();
        leave();
        expect(')');
        return e;
    case '[': {
        advance();
        e = make(tok::ArrayInit, line);
        enter();
        for (;;) {
            if (accept(']'))
                break;
            if (m_token.code == ',') {
                advance();
                e->list.push_back(make(tok::Elision, m_token.line));
                continue;
            }
            ESNode *element = parseAssignment(false);
            e->depth = std::max(e->depth, element->depth + 1);
            e->list.push_back(element);
            if (accept(']'))
                break;
            if (m_token.code != ',')
                fail(QStringLiteral("']' or ',' expected, found ") + tokenName(m_token.code));
            advance();
        }
        leave();
        return e;
    }
    case '{': {
        advance();
        e = make(tok::ObjectInit, line);
        enter();
        while (!accept('}')) {
            ESNode *p = make(node::Property, m_token.line);
            if (m_token.code == tok::Identifier || m_token.code == tok::String)
                p->atom = m_token.atom;
            else if (m_token.code == tok::Number)
                p->atom = atoms::intern(m_context.atomFor(ESValue::fromNumber(m_token.number))->text);
            else
                fail(QStringLiteral("number, string, or identifier expected in object initialiser"));
            advance();
            expect(':');
            p->a = parseAssignment(false);
            e->depth = std::max(e->depth, p->a->depth + 1);
            e->list.push_back(p);
            if (!accept(',')) {
                expect('}');
                break;
            }
        }
        leave();
        return e;
    }
    case tok::Function: {
        advance();
        ESAtom *name = nullptr;
        if (m_token.code == tok::Identifier) {
            name = m_token.atom;
            advance();
        }
        e = parseFunctionRest(line, true);
        e->function->name = name;
        e->function->selfName = name;
        return e;
    }
    default:
        fail(QStringLiteral("expected an expression, found ") + tokenName(m_token.code));
    }
}

} // namespace zim::script
