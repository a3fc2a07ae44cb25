// ESCodeGenerator: walks a resolved tree and appends bytecode to compiled function records.
#pragma once

#include "script/escompiledfunction.h"
#include "script/esparser.h"

#include <memory>
#include <unordered_map>
#include <vector>

namespace zim::script {

class ESContext;

class ESCodeGenerator
{
public:
    ESCodeGenerator(ESContext &context, bool callerScope) : m_context(context), m_callerScope(callerScope) {}
    std::shared_ptr<ESCompiledFunction> generate(ESFunctionNode *fn);

private:
    struct Control
    {
        enum Kind { Loop, ForInLoop, Switch, Label, With, TryCatch, TryFinally, FinallyRunning };
        Kind kind;
        std::vector<ESAtom *> labels;
        std::vector<size_t> breaks;
        std::vector<size_t> continues;
        ESNode *finallyBody = nullptr;
    };

    // Code offsets are 32-bit operands; this keeps every one of them, and every line offset, in range.
    static constexpr size_t MaxCodeSize = 0x7FFFFFFF;

    // Emission.
    void op(ESOp o, int effect);
    void op1(ESOp o, uint32_t a, int effect);
    void op2(ESOp o, uint32_t a, uint32_t b, int effect);
    void appendOperand(uint32_t value);
    size_t jump(ESOp o, int effect, size_t target = 0xFFFF);
    size_t here() const { return m_record->code.size(); }
    void patch(size_t operandAt, size_t target);
    void patchAll(const std::vector<size_t> &operands, size_t target);
    void setLine(int line) { m_line = line; }
    void adjust(int effect);
    [[noreturn]] void fail(int line, const QString &message);
    unsigned numberConstant(double value);
    unsigned atomOperand(ESAtom *atom);
    unsigned functionIndex(ESFunctionNode *fn);
    int globalSlot(ESAtom *atom, bool declare);

    // Statements.
    void statement(ESNode *n);
    void statements(const std::vector<ESNode *> &list);
    void loopBody(ESNode *body, Control::Kind kind, std::vector<ESAtom *> labels, std::vector<size_t> &breaks,
                  std::vector<size_t> &continues);
    void forStatement(ESNode *n);
    void forInStatement(ESNode *n);
    void switchStatement(ESNode *n);
    void tryStatement(ESNode *n);
    void breakOrContinue(ESNode *n);
    void returnStatement(ESNode *n);
    // Undoes what the control entries above index `down` keep (handlers, scopes, stack values).
    void unwindTo(size_t down);
    // Leaves the try/finally statement of control i: ends its handler and runs its finally block.
    void leaveTryFinally(size_t i);
    // The code that leaves control i when it is a with block, a try block with a handler or a
    // try block with a finally block; nothing for the other kinds.
    void leaveHandler(size_t i);
    void conditionJump(ESNode *cond, bool jumpWhen, std::vector<size_t> &jumps);

    // Expressions.
    void expression(ESNode *n, bool needed);
    void load(ESNode *ident);
    void store(ESNode *ident);
    bool isSelfName(const ESNode *ident) const;
    void storeTo(ESNode *target);
    // Stores into a member target whose object, key and value are on the stack; leaves the value when needed.
    // The key of an o[k] target that is assigned to: evaluated, then made a primitive.
    void memberKey(ESNode *target, bool read);
    void storeMember(ESNode *target, bool needed);
    void call(ESNode *n);
    void assignment(ESNode *n, bool needed);
    void increment(ESNode *n, bool needed);
    void binaryOp(int kind);
    void number(double value);
    void functionLiteral(ESNode *n);

    ESContext &m_context;
    bool m_callerScope;
    ESFunctionNode *m_function = nullptr;
    ESCompiledFunction *m_record = nullptr;
    std::vector<Control> m_controls;
    std::vector<ESAtom *> m_pendingLabels;
    // Where each constant and atom of the record is, so that a large table is found in one step.
    std::unordered_map<uint64_t, unsigned> m_numberIndex;
    std::unordered_map<ESAtom *, unsigned> m_atomIndex;
    int m_depth = 0;
    int m_line = 0;
    int m_lastLine = -1;
};

} // namespace zim::script
