// The code generator: statement shapes with patched jumps, expression code by the operands'
// resolution, try/finally by inlining the finally block on every way out, and the deepest
// expression stack each record can build.
#include "script/escodegenerator.h"

#include "script/escontext.h"
#include "script/esnativeclasses.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace zim::script {

namespace {

ESOp binaryOpcode(int kind)
{
    switch (kind) {
    case '+': return ESOp::ADD;
    case '-': return ESOp::SUB;
    case '*': return ESOp::MUL;
    case '/': return ESOp::DIV;
    case '%': return ESOp::MOD;
    case '&': return ESOp::BITAND;
    case '|': return ESOp::BITOR;
    case '^': return ESOp::BITXOR;
    case tok::Shl: return ESOp::SHL;
    case tok::Shr: return ESOp::SHR;
    case tok::Ushr: return ESOp::USHR;
    case '<': return ESOp::LT;
    case tok::Le: return ESOp::LE;
    case tok::Eq: return ESOp::EQ;
    case tok::Ne: return ESOp::NE;
    case tok::StrictEq: return ESOp::IDENTITY;
    case tok::StrictNe: return ESOp::NOTIDENTITY;
    case tok::In: return ESOp::IN;
    case tok::Instanceof: return ESOp::INSTANCEOF;
    default: return ESOp::RETU;
    }
}

// The binary operator of a compound assignment, and its member form.
int compoundOperator(int kind)
{
    switch (kind) {
    case tok::AndAssign: return '&';
    case tok::OrAssign: return '|';
    case tok::XorAssign: return '^';
    case tok::ShlAssign: return tok::Shl;
    case tok::ShrAssign: return tok::Shr;
    case tok::UshrAssign: return tok::Ushr;
    case tok::AddAssign: return '+';
    case tok::SubAssign: return '-';
    case tok::MulAssign: return '*';
    case tok::DivAssign: return '/';
    default: return '%';
    }
}

bool isLoop(int kind)
{
    return kind == tok::While || kind == tok::Do || kind == tok::For || kind == tok::ForIn;
}

bool sideEffectFree(const ESNode *n)
{
    switch (n->kind) {
    case tok::Number: case tok::String: case tok::This: case tok::True: case tok::False: case tok::Null:
    case tok::Identifier:
        return true;
    default:
        return false;
    }
}

} // namespace

void ESCodeGenerator::fail(int line, const QString &message)
{
    m_context.throwErrorAtLine(m_context.syntaxErrorClass, line, message);
}

void ESCodeGenerator::adjust(int effect)
{
    m_depth += effect;
    if (m_depth > m_record->maxDepth)
        m_record->maxDepth = m_depth;
}

void ESCodeGenerator::op(ESOp o, int effect)
{
    if (m_line != m_lastLine) {
        m_record->lines.emplace_back(uint32_t(here()), m_line);
        m_lastLine = m_line;
    }
    if (here() >= MaxCodeSize)
        fail(m_line, QStringLiteral("code too large"));
    m_record->code.push_back(uint8_t(o));
    adjust(effect);
}

void ESCodeGenerator::appendOperand(uint32_t value)
{
    std::vector<uint8_t> &code = m_record->code;
    const size_t at = code.size();
    code.resize(at + OperandSize);
    std::memcpy(&code[at], &value, OperandSize);
}

void ESCodeGenerator::op1(ESOp o, uint32_t a, int effect)
{
    op(o, effect);
    appendOperand(a);
}

void ESCodeGenerator::op2(ESOp o, uint32_t a, uint32_t b, int effect)
{
    op1(o, a, effect);
    appendOperand(b);
}

size_t ESCodeGenerator::jump(ESOp o, int effect, size_t target)
{
    op1(o, uint32_t(target), effect);
    return here() - OperandSize;
}

void ESCodeGenerator::patch(size_t operandAt, size_t target)
{
    if (target > MaxCodeSize)
        throw ESFatalError(QStringLiteral("compiler error: patch constant too large"));
    const uint32_t value = uint32_t(target);
    std::memcpy(&m_record->code[operandAt], &value, OperandSize);
}

void ESCodeGenerator::patchAll(const std::vector<size_t> &operands, size_t target)
{
    for (size_t at : operands)
        patch(at, target);
}

unsigned ESCodeGenerator::numberConstant(double value)
{
    // Constants are told apart by their bits, so that 0 and -0 stay two constants.
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    std::vector<double> &numbers = m_record->numbers;
    const auto [it, added] = m_numberIndex.try_emplace(bits, unsigned(numbers.size()));
    if (added)
        numbers.push_back(value);
    return it->second;
}

unsigned ESCodeGenerator::atomOperand(ESAtom *atom)
{
    std::vector<ESAtom *> &atoms = m_record->atoms;
    const auto [it, added] = m_atomIndex.try_emplace(atom, unsigned(atoms.size()));
    if (added)
        atoms.push_back(atom);
    return it->second;
}

int ESCodeGenerator::globalSlot(ESAtom *atom, bool declare)
{
    ESObject *global = m_context.global();
    int slot = global->find(atom);
    if (slot < 0) {
        global->define(atom, declare ? ESValue() : ESValue::hole(), declare ? DontDelete : DontEnum);
        slot = global->find(atom);
    } else if (declare && global->properties[size_t(slot)].value.isHole()) {
        global->properties[size_t(slot)].value = ESValue();
        global->properties[size_t(slot)].setAttributes(DontDelete);
    }
    if (slot < 0)
        return -1;
    m_context.noteGlobalSlot(uint32_t(slot), atom);
    return slot;
}

std::shared_ptr<ESCompiledFunction> ESCodeGenerator::generate(ESFunctionNode *fn)
{
    auto record = std::make_shared<ESCompiledFunction>();
    m_record = record.get();
    m_numberIndex.clear();
    m_atomIndex.clear();
    m_function = fn;
    record->isProgram = fn->isProgram;
    record->name = fn->name;
    record->captured = fn->captured;
    record->usesArguments = fn->usesArguments;
    record->parameterCount = int(fn->parameters.size());
    for (ESAtom *p : fn->parameters)
        record->variables.push_back(ESVariable{p, 8});
    m_line = fn->line;
    if (fn->isProgram) {
        for (ESAtom *v : fn->variables) {
            if (m_callerScope)
                op1(ESOp::DECLW, atomOperand(v), 0);
            else
                globalSlot(v, true);
        }
    } else {
        for (ESAtom *v : fn->variables)
            record->variables.push_back(ESVariable{v, 0});
        record->localCount = int(fn->variables.size());
        if (fn->usesArguments) {
            op(ESOp::ARGUMENTS, 1);
            op1(fn->captured ? ESOp::PUTLM : ESOp::PUTL, unsigned(fn->indexOfVariable(m_context.argumentsAtom)), -1);
        }
        if (fn->selfName) {
            op(ESOp::CALLEE, 1);
            op1(fn->captured ? ESOp::PUTLM : ESOp::PUTL, unsigned(fn->indexOfVariable(fn->selfName)), -1);
        }
    }
    statements(fn->body);
    if (fn->isProgram) {
        op(ESOp::GETRESULT, 1);
        op(ESOp::RET, -1);
    } else {
        op(ESOp::RETU, 0);
    }
    record->maxDepth += 4;
    return record;
}

void ESCodeGenerator::statements(const std::vector<ESNode *> &list)
{
    for (ESNode *s : list)
        statement(s);
}

void ESCodeGenerator::loopBody(ESNode *body, Control::Kind kind, std::vector<ESAtom *> labels,
                               std::vector<size_t> &breaks, std::vector<size_t> &continues)
{
    Control c{kind, std::move(labels), {}, {}, nullptr};
    m_controls.push_back(std::move(c));
    statement(body);
    breaks.swap(m_controls.back().breaks);
    continues.swap(m_controls.back().continues);
    m_controls.pop_back();
}

void ESCodeGenerator::conditionJump(ESNode *cond, bool jumpWhen, std::vector<size_t> &jumps)
{
    if (jumpWhen && cond->kind == '<') {
        expression(cond->a, true);
        expression(cond->b, true);
        setLine(cond->line);
        jumps.push_back(jump(ESOp::JLT, -2));
        return;
    }
    if (cond->kind == '!') {
        conditionJump(cond->a, !jumpWhen, jumps);
        return;
    }
    expression(cond, true);
    jumps.push_back(jump(jumpWhen ? ESOp::JT : ESOp::JF, -1));
}

void ESCodeGenerator::statement(ESNode *n)
{
    setLine(n->line);
    if (ESContext::nativeStackLow())
        fail(n->line, QStringLiteral("statements or expressions nested too deeply"));
    if (n->kind != tok::Labelled && !isLoop(n->kind))
        m_pendingLabels.clear();
    switch (n->kind) {
    case node::ExprStatement:
        if (m_function->isProgram) {
            expression(n->a, true);
            op(ESOp::SETRESULT, -1);
        } else {
            expression(n->a, false);
        }
        break;
    case ';':
        break;
    case '{':
        statements(n->list);
        break;
    case tok::Var:
        for (ESNode *decl : n->list) {
            if (!decl->a)
                continue;
            expression(decl->a, true);
            setLine(decl->line);
            store(decl);
        }
        break;
    case tok::Function:
        functionLiteral(n);
        store(n);
        break;
    case tok::If: {
        std::vector<size_t> toElse;
        conditionJump(n->a, false, toElse);
        statement(n->b);
        if (n->c) {
            const size_t toEnd = jump(ESOp::J, 0);
            patchAll(toElse, here());
            statement(n->c);
            patch(toEnd, here());
        } else {
            patchAll(toElse, here());
        }
        break;
    }
    case tok::While: {
        std::vector<ESAtom *> labels = std::exchange(m_pendingLabels, {});
        const size_t toTest = jump(ESOp::J, 0);
        const size_t body = here();
        std::vector<size_t> breaks, continues;
        loopBody(n->b, Control::Loop, std::move(labels), breaks, continues);
        patch(toTest, here());
        patchAll(continues, here());
        std::vector<size_t> back;
        setLine(n->line);
        conditionJump(n->a, true, back);
        patchAll(back, body);
        patchAll(breaks, here());
        break;
    }
    case tok::Do: {
        std::vector<ESAtom *> labels = std::exchange(m_pendingLabels, {});
        const size_t top = here();
        std::vector<size_t> breaks, continues;
        loopBody(n->b, Control::Loop, std::move(labels), breaks, continues);
        patchAll(continues, here());
        std::vector<size_t> back;
        setLine(n->line);
        conditionJump(n->a, true, back);
        patchAll(back, top);
        patchAll(breaks, here());
        break;
    }
    case tok::For:
        forStatement(n);
        break;
    case tok::ForIn:
        forInStatement(n);
        break;
    case tok::Break:
    case tok::Continue:
        breakOrContinue(n);
        break;
    case tok::Return:
        returnStatement(n);
        break;
    case tok::With: {
        expression(n->a, true);
        op(ESOp::WITH, -1);
        m_controls.push_back(Control{Control::With, {}, {}, {}, nullptr});
        statement(n->b);
        m_controls.pop_back();
        op(ESOp::ENDWITH, 0);
        break;
    }
    case tok::Switch:
        switchStatement(n);
        break;
    case tok::Throw:
        expression(n->a, true);
        setLine(n->line);
        op(ESOp::THROW, -1);
        break;
    case tok::Try:
        tryStatement(n);
        break;
    case tok::Labelled: {
        for (const Control &c : m_controls)
            for (ESAtom *l : c.labels)
                if (l == n->atom)
                    fail(n->line, QStringLiteral("duplicate label ") + n->atom->text);
        for (ESAtom *l : m_pendingLabels)
            if (l == n->atom)
                fail(n->line, QStringLiteral("duplicate label ") + n->atom->text);
        m_pendingLabels.push_back(n->atom);
        ESNode *inner = n->a;
        if (inner->kind == tok::Labelled || isLoop(inner->kind)) {
            statement(inner);
        } else {
            Control c{Control::Label, {}, {}, {}, nullptr};
            c.labels.swap(m_pendingLabels);
            m_controls.push_back(std::move(c));
            statement(inner);
            const std::vector<size_t> breaks = std::move(m_controls.back().breaks);
            m_controls.pop_back();
            patchAll(breaks, here());
        }
        break;
    }
    default:
        fail(n->line, QStringLiteral("unexpected ") + tokenName(n->kind));
    }
}

void ESCodeGenerator::forStatement(ESNode *n)
{
    std::vector<ESAtom *> labels = std::exchange(m_pendingLabels, {});
    if (n->a) {
        if (n->a->kind == tok::Var)
            statement(n->a);
        else
            expression(n->a, false);
    }
    setLine(n->line);
    const size_t toTest = jump(ESOp::J, 0);
    const size_t body = here();
    std::vector<size_t> breaks, continues;
    loopBody(n->d, Control::Loop, std::move(labels), breaks, continues);
    patchAll(continues, here());
    if (n->c)
        expression(n->c, false);
    patch(toTest, here());
    setLine(n->line);
    if (n->b) {
        std::vector<size_t> back;
        conditionJump(n->b, true, back);
        patchAll(back, body);
    } else {
        jump(ESOp::J, 0, body);
    }
    patchAll(breaks, here());
}

void ESCodeGenerator::forInStatement(ESNode *n)
{
    std::vector<ESAtom *> labels = std::exchange(m_pendingLabels, {});
    ESNode *target = n->a;
    if (n->flag) {
        target = n->a->list.front();
        if (target->a) {
            expression(target->a, true);
            store(target);
        }
    }
    expression(n->b, true);
    setLine(n->line);
    op(ESOp::ENUM, 0);
    const int base = m_depth;
    const size_t toTest = jump(ESOp::J, 0);
    const size_t body = here();
    m_depth = base + 1;
    storeTo(target);
    std::vector<size_t> breaks, continues;
    loopBody(n->c, Control::ForInLoop, std::move(labels), breaks, continues);
    patch(toTest, here());
    patchAll(continues, here());
    setLine(n->line);
    jump(ESOp::NEXT, -1, body);
    patchAll(breaks, here());
}

void ESCodeGenerator::switchStatement(ESNode *n)
{
    expression(n->a, true);
    const int base = m_depth - 1;
    std::vector<size_t> caseJumps(n->list.size(), SIZE_MAX);
    for (size_t i = 0; i < n->list.size(); ++i) {
        ESNode *clause = n->list[i];
        if (clause->kind != tok::Case)
            continue;
        op(ESOp::DUP, 1);
        expression(clause->a, true);
        setLine(clause->line);
        op(ESOp::IDENTITY, -1);
        caseJumps[i] = jump(ESOp::JT_DROP, -1);
    }
    op(ESOp::DROP, -1);
    const size_t toDefault = jump(ESOp::J, 0);
    bool haveDefault = false;
    m_controls.push_back(Control{Control::Switch, {}, {}, {}, nullptr});
    m_controls.back().labels.swap(m_pendingLabels);
    for (size_t i = 0; i < n->list.size(); ++i) {
        ESNode *clause = n->list[i];
        m_depth = base;
        if (clause->kind == tok::Case) {
            patch(caseJumps[i], here());
        } else {
            patch(toDefault, here());
            haveDefault = true;
        }
        statements(clause->list);
    }
    const std::vector<size_t> breaks = std::move(m_controls.back().breaks);
    m_controls.pop_back();
    m_depth = base;
    if (!haveDefault)
        patch(toDefault, here());
    patchAll(breaks, here());
}

void ESCodeGenerator::tryStatement(ESNode *n)
{
    const int base = m_depth;
    size_t toFinally = 0;
    if (n->c) {
        toFinally = jump(ESOp::TRY, 0);
        m_controls.push_back(Control{Control::TryFinally, {}, {}, {}, n->c});
    }
    if (n->b) {
        const size_t toCatch = jump(ESOp::TRY, 0);
        m_controls.push_back(Control{Control::TryCatch, {}, {}, {}, nullptr});
        statement(n->a);
        m_controls.pop_back();
        op(ESOp::ENDTRY, 0);
        const size_t toAfter = jump(ESOp::J, 0);
        patch(toCatch, here());
        m_depth = base + 1;
        setLine(n->b->line);
        op1(ESOp::CATCHSCOPE, atomOperand(n->atom), -1);
        m_controls.push_back(Control{Control::With, {}, {}, {}, nullptr});
        statement(n->b);
        m_controls.pop_back();
        op(ESOp::ENDWITH, 0);
        patch(toAfter, here());
    } else {
        statement(n->a);
    }
    if (n->c) {
        m_controls.pop_back();
        op(ESOp::ENDTRY, 0);
        statement(n->c);
        const size_t toEnd = jump(ESOp::J, 0);
        patch(toFinally, here());
        m_depth = base + 1;
        m_controls.push_back(Control{Control::FinallyRunning, {}, {}, {}, nullptr});
        statement(n->c);
        m_controls.pop_back();
        op(ESOp::THROW, -1);
        patch(toEnd, here());
        m_depth = base;
    }
}

void ESCodeGenerator::unwindTo(size_t down)
{
    for (size_t i = m_controls.size(); i-- > down;) {
        const Control::Kind kind = m_controls[i].kind;
        if (kind == Control::ForInLoop || kind == Control::FinallyRunning)
            op(ESOp::DROP, -1);
        else
            leaveHandler(i);
    }
}

void ESCodeGenerator::leaveHandler(size_t i)
{
    switch (m_controls[i].kind) {
    case Control::With:
        op(ESOp::ENDWITH, 0);
        break;
    case Control::TryCatch:
        op(ESOp::ENDTRY, 0);
        break;
    case Control::TryFinally:
        leaveTryFinally(i);
        break;
    default:
        break;
    }
}

void ESCodeGenerator::leaveTryFinally(size_t i)
{
    op(ESOp::ENDTRY, 0);
    ESNode *body = m_controls[i].finallyBody;
    // The finally block runs outside its own try statement.
    std::vector<Control> above(std::make_move_iterator(m_controls.begin() + long(i)),
                               std::make_move_iterator(m_controls.end()));
    m_controls.resize(i);
    const int line = m_line;
    statement(body);
    setLine(line);
    for (Control &a : above)
        m_controls.push_back(std::move(a));
}

void ESCodeGenerator::breakOrContinue(ESNode *n)
{
    const bool isBreak = n->kind == tok::Break;
    size_t target = SIZE_MAX;
    for (size_t i = m_controls.size(); i-- > 0;) {
        const Control &c = m_controls[i];
        if (n->atom) {
            bool labelled = false;
            for (ESAtom *l : c.labels)
                labelled = labelled || l == n->atom;
            if (!labelled)
                continue;
            if (!isBreak && c.kind != Control::Loop && c.kind != Control::ForInLoop)
                fail(n->line, QStringLiteral("labeled 'continue' doesn't mark a loop"));
            target = i;
            break;
        }
        if (c.kind == Control::Loop || c.kind == Control::ForInLoop || (isBreak && c.kind == Control::Switch)) {
            target = i;
            break;
        }
    }
    if (target == SIZE_MAX) {
        if (n->atom)
            fail(n->line, QStringLiteral("can't find label ") + n->atom->text);
        fail(n->line, isBreak ? QStringLiteral("'break' not in a 'for' or 'while' loop")
                              : QStringLiteral("'continue' not in a 'for' or 'while' loop"));
    }
    const int depth = m_depth;
    unwindTo(target + 1);
    setLine(n->line);
    if (isBreak && m_controls[target].kind == Control::ForInLoop)
        op(ESOp::DROP, -1);
    const size_t at = jump(ESOp::J, 0);
    (isBreak ? m_controls[target].breaks : m_controls[target].continues).push_back(at);
    m_depth = depth;
}

void ESCodeGenerator::returnStatement(ESNode *n)
{
    const int depth = m_depth;
    bool needsUnwind = false;
    for (const Control &c : m_controls)
        needsUnwind = needsUnwind || c.kind == Control::TryFinally;
    if (!n->a && !needsUnwind) {
        op(ESOp::RETU, 0);
        return;
    }
    if (n->a)
        expression(n->a, true);
    else
        op(ESOp::UNDEFINED, 1);
    // Every handler and finally block on the way out, innermost first, each finally block in
    // the scope of its own statement; values under the result need no dropping.
    for (size_t i = m_controls.size(); i-- > 0;)
        leaveHandler(i);
    setLine(n->line);
    op(ESOp::RET, -1);
    m_depth = depth;
}

void ESCodeGenerator::number(double value)
{
    if (value == 0.0 && !std::signbit(value))
        op(ESOp::NUM_0, 1);
    else if (value == 1.0)
        op(ESOp::NUM_1, 1);
    else if (value == 2.0)
        op(ESOp::NUM_2, 1);
    else if (value == 3.0)
        op(ESOp::NUM_3, 1);
    else if (value == 4.0)
        op(ESOp::NUM_4, 1);
    else if (value == -1.0)
        op(ESOp::NUM_M1, 1);
    else
        op1(ESOp::NUM, numberConstant(value), 1);
}

void ESCodeGenerator::functionLiteral(ESNode *n)
{
    ESCodeGenerator inner(m_context, false);
    std::shared_ptr<ESCompiledFunction> record = inner.generate(n->function);
    m_record->functions.push_back(record);
    setLine(n->line);
    op1(ESOp::CLOSURE, unsigned(m_record->functions.size() - 1), 1);
}

void ESCodeGenerator::load(ESNode *ident)
{
    const bool m = m_record->captured;
    switch (ident->resolution) {
    case ESResolution::Global: {
        const int slot = globalSlot(ident->atom, false);
        if (slot >= 0) {
            op1(ESOp::GETG, unsigned(slot), 1);
            return;
        }
        break;
    }
    case ESResolution::Argument:
        op1(m ? ESOp::GETAM : ESOp::GETA, unsigned(ident->index), 1);
        return;
    case ESResolution::Local:
        op1(m ? ESOp::GETLM : ESOp::GETL, unsigned(ident->index), 1);
        return;
    case ESResolution::ByName:
        break;
    }
    op1(ESOp::GETW, atomOperand(ident->atom), 1);
}

bool ESCodeGenerator::isSelfName(const ESNode *ident) const
{
    return m_function->selfName && ident->kind == tok::Identifier && ident->resolution == ESResolution::Local
           && ident->atom == m_function->selfName;
}

void ESCodeGenerator::store(ESNode *ident)
{
    // A function expression's own name is read-only inside it: stores to it are dropped.
    if (isSelfName(ident)) {
        op(ESOp::DROP, -1);
        return;
    }
    ESAtom *atom = ident->kind == tok::Function ? ident->function->name : ident->atom;
    const bool m = m_record->captured;
    switch (ident->resolution) {
    case ESResolution::Global: {
        const int slot = globalSlot(atom, false);
        if (slot >= 0) {
            op1(ESOp::PUTG, unsigned(slot), -1);
            return;
        }
        break;
    }
    case ESResolution::Argument:
        op1(m ? ESOp::PUTAM : ESOp::PUTA, unsigned(ident->index), -1);
        return;
    case ESResolution::Local:
        op1(m ? ESOp::PUTLM : ESOp::PUTL, unsigned(ident->index), -1);
        return;
    case ESResolution::ByName:
        break;
    }
    op1(ESOp::PUTW, atomOperand(atom), -1);
}

void ESCodeGenerator::storeTo(ESNode *target)
{
    switch (target->kind) {
    case tok::Identifier:
    case node::Declaration:
        store(target);
        return;
    case '.':
        expression(target->a, true);
        op(ESOp::SWAP, 0);
        op1(ESOp::PUTF, atomOperand(target->atom), -2);
        return;
    case '[':
        expression(target->a, true);
        expression(target->b, true);
        op(ESOp::ROT, 0);
        op(ESOp::PUTX, -3);
        return;
    default:
        fail(target->line, QStringLiteral("invalid assignment target"));
    }
}

void ESCodeGenerator::call(ESNode *n)
{
    const unsigned argc = unsigned(n->list.size());
    ESNode *callee = n->a;
    const int effect = 1 - int(argc);
    const bool m = m_record->captured;
    // The callee's base object and key are evaluated ahead of the arguments; the function itself is
    // read after them. A variable callee has no base to evaluate, so its arguments come first.
    if (callee->kind == '.') {
        expression(callee->a, true);
        for (ESNode *arg : n->list)
            expression(arg, true);
        setLine(n->line);
        op2(ESOp::CALLF, atomOperand(callee->atom), argc, effect - 1);
        return;
    }
    if (callee->kind == '[') {
        expression(callee->a, true);
        expression(callee->b, true);
        for (ESNode *arg : n->list)
            expression(arg, true);
        setLine(n->line);
        op1(ESOp::CALLX, argc, effect - 2);
        return;
    }
    if (callee->kind != tok::Identifier) {
        expression(callee, true);
        for (ESNode *arg : n->list)
            expression(arg, true);
        setLine(n->line);
        op1(ESOp::CALLV, argc, effect - 1);
        return;
    }
    for (ESNode *arg : n->list)
        expression(arg, true);
    setLine(n->line);
    switch (callee->resolution) {
    case ESResolution::Global: {
        const int slot = globalSlot(callee->atom, false);
        if (slot >= 0) {
            op2(ESOp::CALLG, unsigned(slot), argc, effect);
            return;
        }
        break;
    }
    case ESResolution::Argument:
        op2(m ? ESOp::CALLAM : ESOp::CALLA, unsigned(callee->index), argc, effect);
        return;
    case ESResolution::Local:
        op2(m ? ESOp::CALLLM : ESOp::CALLL, unsigned(callee->index), argc, effect);
        return;
    case ESResolution::ByName:
        break;
    }
    op2(ESOp::CALLW, atomOperand(callee->atom), argc, effect);
}

void ESCodeGenerator::assignment(ESNode *n, bool needed)
{
    ESNode *target = n->a;
    if (target->kind == tok::Call)
        fail(n->line, QStringLiteral("invalid assignment target"));
    if (n->kind == '=') {
        // A member target's object and key are evaluated before the value.
        if (target->kind == '.' || target->kind == '[') {
            expression(target->a, true);
            if (target->kind == '[')
                memberKey(target, false);
            expression(n->b, true);
            setLine(n->line);
            storeMember(target, needed);
            return;
        }
        // A name looked up by name is resolved before the value, which may declare or delete it.
        if (target->kind == tok::Identifier && target->resolution == ESResolution::ByName && !isSelfName(target)) {
            op2(ESOp::REFW, atomOperand(target->atom), 0, 1);
            op1(ESOp::STR, atomOperand(target->atom), 1);
            expression(n->b, true);
            setLine(n->line);
            op(needed ? ESOp::PUTXV : ESOp::PUTX, needed ? -2 : -3);
            return;
        }
        expression(n->b, true);
        setLine(n->line);
        if (needed)
            op(ESOp::DUP, 1);
        storeTo(target);
        return;
    }
    const int binary = compoundOperator(n->kind);
    if (target->kind == tok::Identifier && target->resolution == ESResolution::ByName && !isSelfName(target)) {
        op2(ESOp::REFW, atomOperand(target->atom), 1, 1);
        op1(ESOp::STR, atomOperand(target->atom), 1);
        op(ESOp::DUP2, 2);
        op(ESOp::GETX, -1);
        expression(n->b, true);
        setLine(n->line);
        binaryOp(binary);
        op(needed ? ESOp::PUTXV : ESOp::PUTX, needed ? -2 : -3);
        return;
    }
    if (target->kind == tok::Identifier) {
        load(target);
        expression(n->b, true);
        setLine(n->line);
        binaryOp(binary);
        if (needed)
            op(ESOp::DUP, 1);
        store(target);
        return;
    }
    if (target->kind != '.' && target->kind != '[')
        fail(n->line, QStringLiteral("invalid assignment target"));
    // The member's old value is read before the right-hand side is evaluated.
    expression(target->a, true);
    if (target->kind == '.') {
        op(ESOp::DUP, 1);
        op1(ESOp::GETF, atomOperand(target->atom), 0);
    } else {
        memberKey(target, true);
        op(ESOp::DUP2, 2);
        op(ESOp::GETX, -1);
    }
    expression(n->b, true);
    setLine(n->line);
    binaryOp(binary);
    storeMember(target, needed);
}

void ESCodeGenerator::memberKey(ESNode *target, bool read)
{
    expression(target->b, true);
    // The key is converted once, and a null or undefined object refused, before anything after
    // it is evaluated. A literal key needs no conversion and is left as it is, so that the
    // common a[0] = v stays one instruction shorter: with a null object it fails at the store.
    if (target->b->kind != tok::Number && target->b->kind != tok::String)
        op1(ESOp::KEY, read ? 1 : 0, 0);
}

void ESCodeGenerator::storeMember(ESNode *target, bool needed)
{
    if (target->kind == '.')
        op1(needed ? ESOp::PUTFV : ESOp::PUTF, atomOperand(target->atom), needed ? -1 : -2);
    else
        op(needed ? ESOp::PUTXV : ESOp::PUTX, needed ? -2 : -3);
}

void ESCodeGenerator::increment(ESNode *n, bool needed)
{
    ESNode *target = n->a;
    const bool up = n->kind == tok::PlusPlus || n->kind == tok::PostInc;
    const bool prefix = n->kind == tok::PlusPlus || n->kind == tok::MinusMinus;
    if (isSelfName(target)) {
        load(target);
        op(ESOp::TONUM, 0);
        if (prefix) {
            op(ESOp::NUM_1, 1);
            op(up ? ESOp::ADD : ESOp::SUB, -1);
        }
        if (!needed)
            op(ESOp::DROP, -1);
        return;
    }
    if (target->kind == tok::Identifier) {
        const bool m = m_record->captured;
        int slot = -1;
        ESOp inc = ESOp::INC;
        switch (target->resolution) {
        case ESResolution::Global:
            slot = globalSlot(target->atom, false);
            if (slot >= 0)
                inc = up ? ESOp::INCG : ESOp::DECG;
            break;
        case ESResolution::Argument:
            slot = target->index;
            inc = up ? (m ? ESOp::INCM : ESOp::INCA) : (m ? ESOp::DECAM : ESOp::DECA);
            break;
        case ESResolution::Local:
            slot = target->index;
            inc = up ? (m ? ESOp::INCLM : ESOp::INCL) : (m ? ESOp::DECLM : ESOp::DECL);
            break;
        case ESResolution::ByName:
            break;
        }
        if (inc != ESOp::INC) {
            if (needed && !prefix) {
                load(target);
                op(ESOp::TONUM, 0);
            }
            setLine(n->line);
            op1(inc, unsigned(slot), 0);
            if (needed && prefix)
                load(target);
            return;
        }
        load(target);
        op(ESOp::TONUM, 0);
        if (needed && !prefix)
            op(ESOp::DUP, 1);
        op(ESOp::NUM_1, 1);
        op(up ? ESOp::ADD : ESOp::SUB, -1);
        if (needed && prefix)
            op(ESOp::DUP, 1);
        store(target);
        return;
    }
    if (target->kind != '.' && target->kind != '[')
        fail(n->line, QStringLiteral("invalid increment operand"));
    expression(target->a, true);
    if (target->kind == '.')
        op1(ESOp::STR, atomOperand(target->atom), 1);
    else
        memberKey(target, true);
    setLine(n->line);
    op(prefix ? (up ? ESOp::PREINCX : ESOp::PREDECX) : (up ? ESOp::POSTINCX : ESOp::POSTDECX), -1);
    if (!needed)
        op(ESOp::DROP, -1);
}

void ESCodeGenerator::binaryOp(int kind)
{
    if (kind == '>' || kind == tok::Ge) {
        op(ESOp::SWAP, 0);
        op(kind == '>' ? ESOp::LT : ESOp::LE, -1);
        return;
    }
    op(binaryOpcode(kind), -1);
}

void ESCodeGenerator::expression(ESNode *n, bool needed)
{
    setLine(n->line);
    if (ESContext::nativeStackLow())
        fail(n->line, QStringLiteral("statements or expressions nested too deeply"));
    switch (n->kind) {
    case tok::Number:
        if (needed)
            number(n->number);
        return;
    case tok::String:
        if (needed)
            op1(ESOp::STR, atomOperand(n->atom), 1);
        return;
    case tok::RegExp:
        if (needed)
            op2(ESOp::REGEXP, atomOperand(n->atom), unsigned(n->number), 1);
        return;
    case tok::This:
        if (needed)
            op(ESOp::THIS, 1);
        return;
    case tok::True:
        if (needed)
            op(ESOp::TRUE, 1);
        return;
    case tok::False:
        if (needed)
            op(ESOp::FALSE, 1);
        return;
    case tok::Null:
        if (needed)
            op(ESOp::NULL_, 1);
        return;
    case tok::Identifier:
        // A name that may be undeclared is read even when its value goes unused, so that reading
        // it raises the ReferenceError of the standard dialect.
        if (needed) {
            load(n);
        } else if (n->resolution == ESResolution::Global || n->resolution == ESResolution::ByName) {
            load(n);
            op(ESOp::DROP, -1);
        }
        return;
    case tok::ArrayInit: {
        bool elided = false;
        for (ESNode *e : n->list)
            elided = elided || e->kind == tok::Elision;
        if (!elided && n->list.size() <= 16) {
            for (ESNode *e : n->list)
                expression(e, true);
            setLine(n->line);
            op1(ESOp::MKARRAY, unsigned(n->list.size()), 1 - int(n->list.size()));
        } else {
            op1(ESOp::MKARRAY, 0, 1);
            for (size_t i = 0; i < n->list.size(); ++i) {
                if (n->list[i]->kind == tok::Elision)
                    continue;
                expression(n->list[i], true);
                op1(ESOp::INITX, unsigned(i), -1);
            }
            if (!n->list.empty() && n->list.back()->kind == tok::Elision)
                op1(ESOp::SETLENGTH, unsigned(n->list.size()), 0);
        }
        break;
    }
    case tok::ObjectInit:
        op(ESOp::NEWOBJ, 1);
        for (ESNode *p : n->list) {
            expression(p->a, true);
            op1(ESOp::INITF, atomOperand(p->atom), -1);
        }
        break;
    case tok::Function:
        functionLiteral(n);
        break;
    case '.':
        expression(n->a, true);
        setLine(n->line);
        op1(ESOp::GETF, atomOperand(n->atom), 0);
        break;
    case '[':
        expression(n->a, true);
        expression(n->b, true);
        setLine(n->line);
        op(ESOp::GETX, -1);
        break;
    case tok::Call:
        call(n);
        break;
    case tok::New:
        if (n->flag) {
            expression(n->a, true);
            for (ESNode *arg : n->list)
                expression(arg, true);
            setLine(n->line);
            op1(ESOp::NEWA, unsigned(n->list.size()), -int(n->list.size()));
        } else {
            expression(n->a, true);
            setLine(n->line);
            op(ESOp::NEW, 0);
        }
        break;
    case ',':
        expression(n->a, false);
        expression(n->b, needed);
        return;
    case '=': case tok::AndAssign: case tok::OrAssign: case tok::XorAssign: case tok::ShlAssign:
    case tok::ShrAssign: case tok::UshrAssign: case tok::AddAssign: case tok::SubAssign: case tok::MulAssign:
    case tok::DivAssign: case tok::ModAssign:
        assignment(n, needed);
        return;
    case tok::PlusPlus: case tok::MinusMinus: case tok::PostInc: case tok::PostDec:
        increment(n, needed);
        return;
    case '?': {
        std::vector<size_t> toElse;
        conditionJump(n->a, false, toElse);
        expression(n->b, needed);
        const size_t toEnd = jump(ESOp::J, 0);
        if (needed)
            adjust(-1);
        patchAll(toElse, here());
        expression(n->c, needed);
        patch(toEnd, here());
        return;
    }
    case tok::OrOr:
    case tok::AndAnd: {
        expression(n->a, true);
        setLine(n->line);
        const size_t toEnd = jump(n->kind == tok::OrOr ? ESOp::LOGOR : ESOp::LOGAND, -1);
        expression(n->b, true);
        patch(toEnd, here());
        break;
    }
    case '!':
        expression(n->a, true);
        op(ESOp::LOGNOT, 0);
        break;
    case '~':
        expression(n->a, true);
        op(ESOp::BITNOT, 0);
        break;
    case tok::Neg:
        if (n->a->kind == tok::Number) {
            if (needed)
                number(-n->a->number);
            return;
        }
        expression(n->a, true);
        op(ESOp::NEG, 0);
        break;
    case tok::Pos:
        expression(n->a, true);
        op(ESOp::POS, 0);
        break;
    case tok::Typeof:
        expression(n->a, true);
        op(ESOp::TYPEOF, 0);
        break;
    case tok::Void:
        if (sideEffectFree(n->a)) {
            expression(n->a, false);
            if (needed)
                op(ESOp::UNDEFINED, 1);
            return;
        }
        expression(n->a, true);
        op(ESOp::VOID, 0);
        break;
    case tok::Delete: {
        ESNode *t = n->a;
        if (t->kind == tok::Identifier) {
            // Parameters and declared variables cannot be deleted.
            if (t->resolution == ESResolution::Argument || t->resolution == ESResolution::Local)
                op(ESOp::FALSE, 1);
            else
                op1(ESOp::DELETEW, atomOperand(t->atom), 1);
        } else if (t->kind == '.' || t->kind == '[') {
            expression(t->a, true);
            if (t->kind == '.')
                op1(ESOp::STR, atomOperand(t->atom), 1);
            else
                expression(t->b, true);
            setLine(n->line);
            op(ESOp::DELETEX, -1);
        } else {
            expression(t, false);
            op(ESOp::TRUE, 1);
        }
        break;
    }
    default: {
        const ESOp code = binaryOpcode(n->kind);
        if (code == ESOp::RETU && n->kind != '>' && n->kind != tok::Ge)
            fail(n->line, QStringLiteral("expected an expression, found ") + tokenName(n->kind));
        expression(n->a, true);
        expression(n->b, true);
        setLine(n->line);
        binaryOp(n->kind);
        break;
    }
    }
    if (!needed)
        op(ESOp::DROP, -1);
}

} // namespace zim::script
