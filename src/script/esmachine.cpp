// The interpreter loop: one switch over the opcode table, the top of stack in a register, and
// try handlers that turn script throws (and host failures) back into jumps.
#include "script/esmachine.h"

#include "common/hexception.h"
#include "script/escompiledfunction.h"
#include "script/esnativeclasses.h"

#include <QSet>
#include <cmath>
#include <iterator>

namespace zim::script {

namespace {

// The value stack is full: a RangeError at the caller's line, which the script can catch.
[[noreturn]] void stackTooSmall(ESContext &context)
{
    context.throwRangeError(ESContext::stackOverflowText());
}

// Restores the context when a frame ends, normally or by an exception.
struct FrameScope
{
    FrameScope(ESContext &c, ESFrame &f, ESValue *restoreSp) : context(c), frame(f), sp(restoreSp)
    {
        // Calls without arguments or locals take no value slots, so the frames are counted too,
        // and each one recurses on the native stack.
        c.checkNativeStack();
        ++c.frameDepth;
        f.previous = c.frame;
        f.handlerBase = c.handlers.size();
        c.frame = &f;
    }
    ~FrameScope()
    {
        --context.frameDepth;
        context.frame = frame.previous;
        context.handlers.resize(frame.handlerBase);
        context.sp = sp;
    }
    ESContext &context;
    ESFrame &frame;
    ESValue *sp;
};

inline void poll(ESContext &context)
{
    if ((++context.pollCounter & 63) == 0 || context.stopRequested) {
        if (context.stopRequested || !context.keepRunning())
            throw ESFatalError(QStringLiteral("script stopped"));
        context.maybeCollect();
    }
}

inline int32_t toInt32(ESContext &context, const ESValue &v)
{
    if (v.kind == ESNumber && v.number >= -2147483648.0 && v.number <= 2147483647.0)
        return int32_t(v.number);
    return context.toInt32(v);
}

// Conditions are nearly always booleans or numbers: test those here and leave the rest to the
// general conversion.
inline bool truthy(ESContext &context, const ESValue &v)
{
    if (v.kind == ESBoolean)
        return v.number != 0;
    if (v.kind == ESNumber)
        return v.number != 0 && v.number == v.number;
    return context.toBoolean(v);
}


// a < b (or a <= b with orEqual) under the relational comparison rules; NaN gives false.
// x < y, or x <= y. The operands are converted as ES3 orders them: x first for <, y first for
// <= (which ES3 computes as not y < x); the compiler gives a > b as b < a and a >= b as b <= a,
// so that > converts its right operand first and >= its left one, as ES3 has it too.
bool compare(ESContext &context, const ESValue &x, const ESValue &y, bool orEqual)
{
    if (x.kind == ESNumber && y.kind == ESNumber)
        return orEqual ? x.number <= y.number : x.number < y.number;
    ESValue a, b;
    if (orEqual) {
        b = context.toPrimitive(y, 3);
        a = context.toPrimitive(x, 3);
    } else {
        a = context.toPrimitive(x, 3);
        b = context.toPrimitive(y, 3);
    }
    if (a.isString() && b.isString()) {
        const int c = a.text().compare(b.text());
        return orEqual ? c <= 0 : c < 0;
    }
    const double na = context.toNumber(a), nb = context.toNumber(b);
    return orEqual ? na <= nb : na < nb;
}

ESValue add(ESContext &context, const ESValue &x, const ESValue &y)
{
    if (x.kind == ESNumber && y.kind == ESNumber)
        return ESValue::fromNumber(x.number + y.number);
    const ESValue a = context.toPrimitive(x);
    const ESValue b = context.toPrimitive(y);
    if (a.isString() && b.isString())
        return context.concat(a, b);
    if (a.isString() || b.isString()) {
        const QString left = a.isString() ? a.text() : context.toString(a);
        return context.newString(joinedText(left, b.isString() ? b.text() : context.toString(b)));
    }
    return ESValue::fromNumber(context.toNumber(a) + context.toNumber(b));
}

// The % operator on numbers.
inline double numberRemainder(double x, double y)
{
    // Integral positive operands below 2^53 are exact as integers: the same result as fmod's,
    // in a fraction of its time.
    if (x >= 1 && y >= 1 && x <= 9007199254740992.0 && y <= 9007199254740992.0 && x == double(uint64_t(x))
        && y == double(uint64_t(y)))
        return double(uint64_t(x) % uint64_t(y));
    return std::fmod(x, y);
}

// The arithmetic and bitwise operators shared by the plain and the member-assignment forms.
// The left operand is converted before the right one (C++ leaves the order of a call's
// arguments and of an operator's operands open, so each conversion is its own statement).
ESValue arithmetic(ESContext &context, ESOp op, const ESValue &a, const ESValue &b)
{
    switch (op) {
    case ESOp::ADD: return add(context, a, b);
    case ESOp::SUB: case ESOp::MUL: case ESOp::DIV: case ESOp::MOD: {
        const double x = context.toNumber(a);
        const double y = context.toNumber(b);
        return ESValue::fromNumber(op == ESOp::SUB ? x - y : op == ESOp::MUL ? x * y : op == ESOp::DIV ? x / y
                                                                                                 : numberRemainder(x, y));
    }
    case ESOp::BITAND: case ESOp::BITOR: case ESOp::BITXOR: {
        const int32_t x = toInt32(context, a);
        const int32_t y = toInt32(context, b);
        return ESValue::fromNumber(op == ESOp::BITAND ? x & y : op == ESOp::BITOR ? x | y : x ^ y);
    }
    case ESOp::SHL: case ESOp::SHR: {
        const int32_t x = toInt32(context, a);
        const uint32_t shift = context.toUint32(b) & 31;
        return ESValue::fromNumber(op == ESOp::SHL ? int32_t(uint32_t(x) << shift) : x >> shift);
    }
    default: {
        const uint32_t x = context.toUint32(a);
        return ESValue::fromNumber(x >> (context.toUint32(b) & 31));
    }
    }
}

// Finds the scope object that holds a name (null: none on the chain). A variable object (a
// call's activation or a catch scope) has plain storage and no prototype, so its entry is
// searched directly, and given back in entry for the caller to read or write in place; for a
// with object or the global object, entry is null and the class answers.
ESObject *holderOf(ESContext &context, ESObject *scope, ESAtom *atom, ESProperty **entry = nullptr)
{
    for (ESObject *link = scope; link; link = link->prototype) {
        ESObject *o = link->internalValue().object;
        if (o->cls == context.activationClass && !o->prototype) {
            const int i = o->find(atom);
            if (i >= 0 && !o->properties[size_t(i)].value.isHole()) {
                if (entry)
                    *entry = &o->properties[size_t(i)];
                return o;
            }
            continue;
        }
        if (context.hasProperty(o, atom)) {
            if (entry)
                *entry = nullptr;
            return o;
        }
    }
    return nullptr;
}

// The value of a plain object's own data property, or null: where the generic lookup would
// find the same value, without the class's virtual steps.
inline const ESValue *plainOwn(ESContext &context, ESObject *o, ESAtom *atom)
{
    if (o->cls != context.objectClass)
        return nullptr;
    const int i = o->find(atom);
    if (i < 0)
        return nullptr;
    const ESValue &v = o->properties[size_t(i)].value;
    return v.isHole() ? nullptr : &v;
}

// A plain object's own writable data property, or null.
inline ESValue *plainOwnWritable(ESContext &context, ESObject *o, ESAtom *atom)
{
    if (o->cls != context.objectClass)
        return nullptr;
    const int i = o->find(atom);
    if (i < 0)
        return nullptr;
    ESProperty &p = o->properties[size_t(i)];
    return p.value.isHole() || (p.attributes() & ReadOnly) ? nullptr : &p.value;
}

// The element slot of a dense array at a whole-number index inside its dense part, or null.
inline ESValue *denseElement(ESContext &context, const ESValue &object, const ESValue &key)
{
    if (object.kind != ESObjectKind || key.kind != ESNumber || object.object->cls != context.arrayClass)
        return nullptr;
    const double d = key.number;
    ESElementVector &e = object.object->elements();
    if (!(d >= 0 && d < double(e.size())))
        return nullptr;
    const size_t i = size_t(d);
    return double(i) == d ? &e[i] : nullptr;
}

inline bool isInt32(const ESValue &v)
{
    return v.kind == ESNumber && v.number >= -2147483648.0 && v.number <= 2147483647.0;
}

// The value a global slot holds, or null when its name lives elsewhere (or nowhere).
const ESValue *slotValue(ESObject *global, uint32_t slot)
{
    if (slot < global->properties.size()) {
        const ESProperty &p = global->properties[slot];
        if (p.key() && !p.value.isHole())
            return &p.value;
    }
    return nullptr;
}

ESValue getGlobalSlot(ESContext &context, uint32_t slot)
{
    ESObject *global = context.global();
    if (const ESValue *v = slotValue(global, slot))
        return *v;
    return context.get(global, context.globalSlotAtom(slot));
}

// A read of a global that must exist (not the operand of typeof): a name never declared is a
// ReferenceError in the standard dialect.
ESValue getDeclaredGlobalSlot(ESContext &context, uint32_t slot, bool forTypeof)
{
    if (forTypeof || slotValue(context.global(), slot))
        return getGlobalSlot(context, slot);
    return context.getUndeclared(context.globalSlotAtom(slot));
}

// The name a call instruction called, for the standard dialect's "... is not a function".
QString calleeName(ESContext &context, const ESCompiledFunction &record, ESOp op, const uint8_t *pc, int params)
{
    const uint32_t operand = operandAt(pc + 1);
    ESAtom *atom = nullptr;
    switch (op) {
    case ESOp::CALLW: case ESOp::CALLF: atom = operand < record.atoms.size() ? record.atoms[operand] : nullptr; break;
    case ESOp::CALLG: atom = context.globalSlotAtom(operand); break;
    case ESOp::CALLA: case ESOp::CALLAM:
        atom = operand < record.variables.size() ? record.variables[operand].atom : nullptr;
        break;
    case ESOp::CALLL: case ESOp::CALLLM:
        atom = size_t(params) + operand < record.variables.size() ? record.variables[size_t(params) + operand].atom
                                                                  : nullptr;
        break;
    default: break;
    }
    return atom ? atom->text : QString();
}

void putGlobalSlot(ESContext &context, uint32_t slot, const ESValue &v)
{
    ESObject *global = context.global();
    if (slot < global->properties.size()) {
        ESProperty &p = global->properties[slot];
        if (p.key()) {
            if (p.value.isHole()) {
                p.value = v;
                p.setAttributes(0);
            } else if (!(p.attributes() & ReadOnly)) {
                p.value = v;
            }
            return;
        }
    }
    context.put(global, context.globalSlotAtom(slot), v);
}

// The state of a for-in loop: an array of the object enumerated, then the names to visit, with
// the position of the next name in its length.
ESObject *makeEnumerator(ESContext &context, const ESValue &value)
{
    // for-in over null or undefined runs its body no time, as every engine in use does.
    if (value.isNull() || value.isUndefined()) {
        ESObject *e = context.newArray();
        e->elements().push_back(ESValue::fromObject(context.global()));
        e->length = 1;
        return e;
    }
    ESObject *object = context.toObject(value);
    ESObject *e = context.newArray();
    e->elements().push_back(ESValue::fromObject(object));
    QSet<ESAtom *> seen;
    std::vector<ESAtom *> names;
    for (ESObject *o = object; o; o = o->prototype) {
        names.clear();
        o->cls->enumerate(context, o, names);
        for (ESAtom *name : names) {
            if (seen.contains(name))
                continue;
            seen.insert(name);
            e->elements().push_back(ESValue::fromAtom(name));
        }
        // A non-enumerable own property hides an enumerable one further up the chain.
        for (const ESProperty &p : o->properties)
            if (p.key() && (p.attributes() & DontEnum))
                seen.insert(p.key());
    }
    e->length = 1;
    return e;
}

ESObject *makeArguments(ESContext &context, ESFrame &frame)
{
    ESObject *a = context.newObject(context.objectPrototype, context.argumentsClass);
    auto *data = new ESArgumentsData;
    data->parameters = frame.code->parameterCount;
    data->locals = frame.code->localCount;
    data->count = frame.passed;
    data->mapped.assign(size_t(frame.passed), true);
    a->data = data;
    a->internalValue() = ESValue::fromObject(frame.activation);
    a->define(context.lengthAtom, ESValue::fromNumber(frame.passed), DontEnum);
    a->define(context.calleeAtom, ESValue::fromObject(frame.function), DontEnum);
    return a;
}

} // namespace

void ESMachine::invoke(ESContext &context, ESObject *function, const ESValue &thisValue, int count)
{
    ESValue *args = context.sp - count + 1;
    ESClosure *closure = function->callCode;
    if (!closure)
        context.throwTypeError(QStringLiteral("can only call function objects"));
    if (function->builtinIndex >= 0 || closure == &ESContext::nativeCode) {
        if (context.sp + 1 >= context.stackLimit)
            stackTooSmall(context);
        if (count == 0)
            *++context.sp = ESValue();
        ESFrame frame;
        frame.function = function;
        frame.thisValue = thisValue;
        frame.args = args;
        frame.argc = count;
        {
            FrameScope scope(context, frame, args - 1);
            function->cls->call(context, function, thisValue, count, args);
        }
        context.sp = args;
        return;
    }
    const ESCompiledFunction *code = closure->function.get();
    if (context.sp + (code->parameterCount > count ? code->parameterCount - count : 0) + code->localCount + 1
            >= context.stackLimit
        || context.sp + code->parameterCount + code->localCount + code->maxDepth + 8 >= context.stackEnd)
        stackTooSmall(context);
    const int passed = count;
    while (count < code->parameterCount) {
        *++context.sp = ESValue();
        ++count;
    }
    ESFrame frame;
    frame.function = function;
    if (thisValue.isObject())
        frame.thisValue = thisValue;
    else if (thisValue.isUndefined() || thisValue.isNull())
        frame.thisValue = ESValue::fromObject(context.global());
    else
        frame.thisValue = ESValue::fromObject(context.wrap(thisValue));
    frame.code = code;
    frame.args = args;
    frame.argc = count;
    frame.passed = passed;
    frame.scope = closure->scope;
    ESValue result;
    {
        FrameScope scope(context, frame, args - 1);
        if (!code->captured) {
            frame.locals = context.sp + 1;
            for (int i = 0; i < code->localCount; ++i)
                *++context.sp = ESValue();
        } else {
            ESObject *activation = context.newObject(nullptr, context.activationClass);
            ESPropertyVector &props = activation->properties;
            props.reserve(size_t(count + code->localCount));
            const int params = code->parameterCount;
            for (int i = 0; i < params; ++i)
                props.push_back(ESProperty{code->variables[size_t(i)].atom, DontDelete, args[i]});
            for (int i = 0; i < code->localCount; ++i)
                props.push_back(ESProperty{code->variables[size_t(params + i)].atom, DontDelete, ESValue()});
            for (int i = params; i < count; ++i)
                props.push_back(ESProperty{nullptr, DontEnum, args[i]});
            // Repeated parameter names: the last one is the one found by name.
            for (int i = 0; i < params; ++i)
                for (int j = i + 1; j < params; ++j)
                    if (props[size_t(i)].key() == props[size_t(j)].key())
                        props[size_t(i)].erase();
            frame.activation = activation;
            ESObject *link = context.newObject(closure->scope, context.activationClass);
            link->internalValue() = ESValue::fromObject(activation);
            frame.scope = link;
        }
        poll(context);
        result = run(context, frame);
    }
    *++context.sp = result;
}

void ESMachine::constructOnStack(ESContext &context, const ESValue &constructor, int count)
{
    if (!constructor.isObject() || !constructor.object->constructible)
        context.throwTypeError(QStringLiteral("new must be given a constructor object"));
    ESObject *f = constructor.object;
    ESValue *args = context.sp - count + 1;
    if (f->builtinIndex >= 0) {
        if (context.sp + 1 >= context.stackLimit)
            stackTooSmall(context);
        if (count == 0)
            *++context.sp = ESValue();
        ESFrame frame;
        frame.function = f;
        frame.args = args;
        frame.argc = count;
        ESObject *made;
        {
            FrameScope scope(context, frame, args - 1);
            made = f->cls->construct(context, f, count, args);
            if (!made)
                context.throwPlainError(context.toString(constructor) + QStringLiteral(" failed to generate an object"));
        }
        *++context.sp = ESValue::fromObject(made);
        return;
    }
    const ESValue p = context.get(f, context.prototypeAtom);
    ESObject *object = context.newObject(p.isObject() ? p.object : context.objectPrototype, context.objectClass);
    invoke(context, f, ESValue::fromObject(object), count);
    if (!context.sp->isObject())
        *context.sp = ESValue::fromObject(object);
}

ESValue ESMachine::call(ESContext &context, ESObject *function, const ESValue &thisValue, int count,
                        const ESValue *args)
{
    if (count > context.stackLimit - context.sp - 2)
        stackTooSmall(context);
    ESValue *base = context.sp;
    for (int i = 0; i < count; ++i)
        *++context.sp = args[i];
    try {
        invoke(context, function, thisValue, count);
    } catch (...) {
        // The arguments leave the stack however the call ends.
        context.sp = base;
        throw;
    }
    const ESValue result = *context.sp;
    context.sp = base;
    return result;
}

ESObject *ESMachine::construct(ESContext &context, ESObject *constructor, int count, const ESValue *args)
{
    if (count > context.stackLimit - context.sp - 2)
        stackTooSmall(context);
    ESValue *base = context.sp;
    for (int i = 0; i < count; ++i)
        *++context.sp = args[i];
    try {
        constructOnStack(context, ESValue::fromObject(constructor), count);
    } catch (...) {
        context.sp = base;
        throw;
    }
    ESObject *result = context.sp->object;
    context.sp = base;
    return result;
}

ESValue ESMachine::runProgram(ESContext &context, const std::shared_ptr<ESCompiledFunction> &program,
                              const ESValue &thisValue, ESObject *scope)
{
    const std::shared_ptr<ESCompiledFunction> keep = program;
    if (context.sp + program->maxDepth + 8 >= context.stackEnd || context.sp + 1 >= context.stackLimit)
        stackTooSmall(context);
    ESFrame frame;
    frame.thisValue = thisValue;
    frame.scope = scope;
    frame.code = program.get();
    frame.args = context.sp + 1;
    FrameScope guard(context, frame, context.sp);
    return run(context, frame);
}

// GCC merges the identical ends of the instructions (the jump to the next one) into a few shared
// jumps, which the branch predictor can no longer tell apart: kept apart here.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-crossjumping", "no-tree-tail-merge")))
#endif
ESValue ESMachine::run(ESContext &ctx, ESFrame &frame)
{
    const ESCompiledFunction *record = frame.code;
    const uint8_t *const code = record->code.data();
    const uint8_t *pc = code;
    ESValue *sp = ctx.sp;
    ESValue *const args = frame.args;
    ESValue *const locals = frame.locals;
    const int params = record->parameterCount;
    ESObject *const global = ctx.global();

#define PUSH(v) (*++sp = (v))
#define SYNC() (ctx.sp = sp)
// Takes the jump whose target is the operand at `at`; a backward jump (every loop has one) lets
// the host stop the script or count the peripheral's budget.
#define JUMP_TO(at)                                                                   \
    do {                                                                              \
        const uint8_t *target = code + operandAt(at);                                 \
        if (target <= pc) {                                                           \
            SYNC();                                                                   \
            poll(ctx);                                                                \
        }                                                                             \
        pc = target;                                                                  \
    } while (0)
#define ACTIVATION(i) (frame.activation->properties[size_t(i)].value)

    // The short instructions of loops (locals, elements, arithmetic, compare and jump) end with
    // NEXT: a jump straight to the code of the next instruction, one indirect jump per site that
    // the branch predictor follows. The others go back through the switch: ending every case
    // with NEXT makes GCC give this frame about 200 more bytes, and each script call nests one
    // frame here, which would cost about a fifth of the reachable recursion depth. The switch is
    // also the only dispatch where GCC's label addresses are missing.
#if defined(__GNUC__)
#define OP(name, code, format, effect) &&L_##name,
    static const void *const labels[] = {
#include "script/opcodes.def"
    };
#undef OP
#define NEXT()                                                                        \
    do {                                                                              \
        frame.pc = pc;                                                                \
        ctx.sp = sp;                                                                  \
        op = ESOp(*pc);                                                               \
        if (uint8_t(op) < std::size(labels))                                          \
            goto *labels[uint8_t(op)];                                                \
        goto L_bad;                                                                   \
    } while (false)
#define CASE(name) case ESOp::name: L_##name:
#else
#define NEXT() continue
#define CASE(name) case ESOp::name:
#endif

    ESOp op;
    for (;;) {
        try {
            for (;;) {
                frame.pc = pc;
                ctx.sp = sp;
                op = ESOp(*pc);
                switch (op) {
                CASE(NUM)
                    PUSH(ESValue::fromNumber(record->numbers[operandAt(pc + 1)]));
                    pc += 5;
                    NEXT();
                CASE(NUM_0) CASE(NUM_1) CASE(NUM_2) CASE(NUM_3) CASE(NUM_4)
                    PUSH(ESValue::fromNumber(double(*pc - uint8_t(ESOp::NUM_0))));
                    ++pc;
                    NEXT();
                CASE(NUM_M1)
                    PUSH(ESValue::fromNumber(-1));
                    ++pc;
                    break;
                CASE(NULL_)
                    PUSH(ESValue::null());
                    ++pc;
                    break;
                CASE(TRUE)
                CASE(FALSE)
                    PUSH(ESValue::boolean(op == ESOp::TRUE));
                    ++pc;
                    break;
                CASE(UNDEFINED)
                    PUSH(ESValue());
                    ++pc;
                    break;
                CASE(THIS)
                    PUSH(frame.thisValue);
                    ++pc;
                    break;
                CASE(STR)
                    PUSH(ESValue::fromAtom(record->atoms[operandAt(pc + 1)]));
                    pc += 5;
                    break;
                CASE(NEW) {
                    const ESValue f = *sp--;
                    SYNC();
                    ESMachine::constructOnStack(ctx, f, 0);
                    sp = ctx.sp;
                    ++pc;
                    break;
                }
                CASE(NEWA) {
                    // The constructor stays in its slot under the arguments, reachable, until the result
                    // replaces it.
                    const int n = int(operandAt(pc + 1));
                    const ESValue f = sp[-n];
                    SYNC();
                    ESMachine::constructOnStack(ctx, f, n);
                    sp = ctx.sp;
                    sp[-1] = sp[0];
                    --sp;
                    pc += 5;
                    break;
                }
                CASE(DROP)
                    --sp;
                    ++pc;
                    NEXT();
                CASE(DUP)
                    sp[1] = sp[0];
                    ++sp;
                    ++pc;
                    NEXT();
                CASE(VOID)
                    *sp = ESValue();
                    ++pc;
                    break;
                CASE(TYPEOF)
                    *sp = ESValue::fromAtom(atoms::intern(ctx.typeOf(*sp)));
                    ++pc;
                    break;
                CASE(ENUM)
                    *sp = ESValue::fromObject(makeEnumerator(ctx, *sp));
                    ++pc;
                    break;
                CASE(NEXT) {
                    if (!sp->isObject())
                        throw ESFatalError(QStringLiteral("tos isn't a property object"));
                    ESObject *e = sp->object;
                    ESObject *object = e->elements()[0].object;
                    bool found = false;
                    while (e->length < e->elements().size()) {
                        const ESValue name = e->elements()[e->length++];
                        if (ctx.hasProperty(object, name.atom)) {
                            PUSH(name);
                            found = true;
                            break;
                        }
                    }
                    if (found) {
                        pc = code + operandAt(pc + 1);
                        SYNC();
                        poll(ctx);
                    } else {
                        --sp;
                        pc += 5;
                    }
                    break;
                }
                CASE(CLOSURE)
                    PUSH(ESValue::fromObject(ctx.makeClosure(record->functions[operandAt(pc + 1)], frame.scope)));
                    pc += 5;
                    break;
                CASE(MKARRAY) {
                    const int n = int(operandAt(pc + 1));
                    ESObject *a = ctx.arrayFromValues(n, sp - n + 1);
                    sp -= n;
                    PUSH(ESValue::fromObject(a));
                    pc += 5;
                    break;
                }
                CASE(NEWOBJ)
                    PUSH(ESValue::fromObject(ctx.newPlainObject()));
                    ++pc;
                    break;
                CASE(WITH) {
                    ESObject *o = ctx.toObject(*sp);
                    ESObject *link = ctx.newObject(frame.scope, ctx.activationClass);
                    link->internalValue() = ESValue::fromObject(o);
                    frame.scope = link;
                    --sp;
                    ++pc;
                    break;
                }
                CASE(ENDWITH)
                    frame.scope = frame.scope->prototype;
                    ++pc;
                    break;
                CASE(CATCHSCOPE) {
                    ESObject *holder = ctx.newObject(nullptr, ctx.activationClass);
                    holder->internalValue() = ESValue::boolean(true);   // marks a catch scope, not a variable object
                    holder->define(record->atoms[operandAt(pc + 1)], *sp, DontDelete);
                    ESObject *link = ctx.newObject(frame.scope, ctx.activationClass);
                    link->internalValue() = ESValue::fromObject(holder);
                    frame.scope = link;
                    --sp;
                    pc += 5;
                    break;
                }
                CASE(INITF) {
                    ESObject *o = sp[-1].object;
                    o->cls->put(ctx, o, record->atoms[operandAt(pc + 1)], *sp);
                    --sp;
                    pc += 5;
                    break;
                }
                CASE(INITX) {
                    ESObject *o = sp[-1].object;
                    o->cls->putIndex(ctx, o, operandAt(pc + 1), *sp);
                    --sp;
                    pc += 5;
                    break;
                }
                CASE(SETLENGTH)
                    ctx.arrayClass->setLength(ctx, sp->object, operandAt(pc + 1));
                    pc += 5;
                    break;
                CASE(CALLW) CASE(CALLG) CASE(CALLA) CASE(CALLAM) CASE(CALLL)
                CASE(CALLLM) {
                    ESValue fn, self = ESValue::fromObject(global);
                    const int n = int(operandAt(pc + 5));
                    switch (op) {
                    case ESOp::CALLW: {
                        ESAtom *atom = record->atoms[operandAt(pc + 1)];
                        ESProperty *entry = nullptr;
                        ESObject *holder = holderOf(ctx, frame.scope, atom, &entry);
                        if (holder) {
                            fn = entry ? entry->value : ctx.get(holder, atom);
                            if (holder->cls != ctx.activationClass)
                                self = ESValue::fromObject(holder);
                        } else {
                            fn = ctx.getUndeclared(atom);
                        }
                        break;
                    }
                    case ESOp::CALLG:
                        fn = getDeclaredGlobalSlot(ctx, operandAt(pc + 1), false);
                        break;
                    case ESOp::CALLA:
                        fn = args[operandAt(pc + 1)];
                        break;
                    case ESOp::CALLAM:
                        fn = ACTIVATION(operandAt(pc + 1));
                        break;
                    case ESOp::CALLL:
                        fn = locals[operandAt(pc + 1)];
                        break;
                    default:
                        fn = ACTIVATION(params + int(operandAt(pc + 1)));
                        break;
                    }
                    if (!fn.isObject() || !fn.object->isCallable())
                        ctx.throwNotAFunction(calleeName(ctx, *record, op, pc, params));
                    pc += 9;
                    SYNC();
                    ESMachine::invoke(ctx, fn.object, self, n);
                    sp = ctx.sp;
                    break;
                }
                CASE(CALLF) CASE(CALLX) CASE(CALLV) {
                    // The callee's base (and key, or the function itself) lies under the arguments; the
                    // result replaces it.
                    const int n = int(operandAt(pc + (op == ESOp::CALLF ? 5 : 1)));
                    const int under = op == ESOp::CALLX ? 2 : 1;
                    const ESValue self = op == ESOp::CALLV ? ESValue::fromObject(global) : sp[-n - under + 1];
                    ESValue fn;
                    if (op == ESOp::CALLF) {
                        ESAtom *atom = record->atoms[operandAt(pc + 1)];
                        const ESValue *own = self.kind == ESObjectKind && atom->arrayIndex < 0
                            ? plainOwn(ctx, self.object, atom) : nullptr;
                        fn = own ? *own : ctx.getByValue(self, ESValue::fromAtom(atom));
                        pc += 9;
                    } else if (op == ESOp::CALLX) {
                        fn = ctx.getByValue(self, sp[-n]);
                        sp[-n] = fn;   // the key's slot keeps the callee reachable during the call
                        pc += 5;
                    } else {
                        fn = sp[-n];
                        pc += 5;
                    }
                    if (!fn.isObject() || !fn.object->isCallable())
                        ctx.throwNotAFunction(op == ESOp::CALLF ? calleeName(ctx, *record, op, pc - 9, params)
                                                                : QString());
                    SYNC();
                    ESMachine::invoke(ctx, fn.object, self, n);
                    sp = ctx.sp - under;
                    sp[0] = sp[under];
                    break;
                }
                CASE(GETW) {
                    ESAtom *atom = record->atoms[operandAt(pc + 1)];
                    ESProperty *entry = nullptr;
                    ESObject *holder = holderOf(ctx, frame.scope, atom, &entry);
                    if (entry)
                        PUSH(entry->value);
                    else if (holder || pc[5] == uint8_t(ESOp::TYPEOF))
                        PUSH(ctx.get(holder ? holder : global, atom));
                    else
                        PUSH(ctx.getUndeclared(atom));
                    pc += 5;
                    break;
                }
                CASE(GETF)
                    if (sp->kind == ESObjectKind) {
                        ESAtom *atom = record->atoms[operandAt(pc + 1)];
                        const ESValue *own = plainOwn(ctx, sp->object, atom);
                        *sp = own ? *own : sp->object->cls->get(ctx, sp->object, atom);
                    } else {
                        *sp = ctx.getByValue(*sp, ESValue::fromAtom(record->atoms[operandAt(pc + 1)]));
                    }
                    pc += 5;
                    break;
                CASE(GETG) {
                    const uint32_t slot = operandAt(pc + 1);
                    if (slot < global->properties.size()) {
                        const ESProperty &p = global->properties[slot];
                        if (p.key() && !p.value.isHole()) {
                            PUSH(p.value);
                            pc += 5;
                            break;
                        }
                    }
                    PUSH(getDeclaredGlobalSlot(ctx, slot, pc[5] == uint8_t(ESOp::TYPEOF)));
                    pc += 5;
                    break;
                }
                CASE(GETA)
                    PUSH(args[operandAt(pc + 1)]);
                    pc += 5;
                    NEXT();
                CASE(GETL)
                    PUSH(locals[operandAt(pc + 1)]);
                    pc += 5;
                    NEXT();
                CASE(GETAM)
                    PUSH(ACTIVATION(operandAt(pc + 1)));
                    pc += 5;
                    NEXT();
                CASE(GETLM)
                    PUSH(ACTIVATION(params + int(operandAt(pc + 1))));
                    pc += 5;
                    NEXT();
                CASE(GETX)
                    if (const ESValue *e = denseElement(ctx, sp[-1], sp[0]); e && !e->isHole())
                        sp[-1] = *e;
                    else
                        sp[-1] = ctx.getByValue(sp[-1], sp[0]);
                    --sp;
                    ++pc;
                    NEXT();
                CASE(PUTW) {
                    ESAtom *atom = record->atoms[operandAt(pc + 1)];
                    ESProperty *entry = nullptr;
                    ESObject *holder = holderOf(ctx, frame.scope, atom, &entry);
                    if (entry && !(entry->attributes() & ReadOnly))
                        entry->value = *sp;
                    else
                        ctx.put(holder ? holder : global, atom, *sp);
                    --sp;
                    pc += 5;
                    break;
                }
                CASE(DECLW) {
                    // Declarations go to the variable object: the innermost function activation, past
                    // with objects and catch scopes, or the global object.
                    ESAtom *atom = record->atoms[operandAt(pc + 1)];
                    ESObject *head = global;
                    for (ESObject *link = frame.scope; link; link = link->prototype) {
                        ESObject *o = link->internalValue().object;
                        if (o->cls == ctx.activationClass && !o->internalValue().isBoolean()) {
                            head = o;
                            break;
                        }
                    }
                    if (!ctx.hasOwnProperty(head, atom))
                        ctx.put(head, atom, ESValue());
                    pc += 5;
                    break;
                }
                CASE(PUTF) {
                    ESAtom *atom = record->atoms[operandAt(pc + 1)];
                    ESValue *own = sp[-1].kind == ESObjectKind && atom->arrayIndex < 0
                        ? plainOwnWritable(ctx, sp[-1].object, atom) : nullptr;
                    if (own)
                        *own = sp[0];
                    else
                        ctx.putByValue(sp[-1], ESValue::fromAtom(atom), sp[0]);
                    sp -= 2;
                    pc += 5;
                    break;
                }
                CASE(PUTFV)
                    ctx.putByValue(sp[-1], ESValue::fromAtom(record->atoms[operandAt(pc + 1)]), sp[0]);
                    sp[-1] = sp[0];
                    --sp;
                    pc += 5;
                    break;
                CASE(PUTG)
                    if (const uint32_t slot = operandAt(pc + 1); slot < global->properties.size()
                        && global->properties[slot].key() && !global->properties[slot].value.isHole()
                        && !(global->properties[slot].attributes() & ReadOnly))
                        global->properties[slot].value = *sp;
                    else
                        putGlobalSlot(ctx, operandAt(pc + 1), *sp);
                    --sp;
                    pc += 5;
                    break;
                CASE(PUTA)
                    args[operandAt(pc + 1)] = *sp--;
                    pc += 5;
                    NEXT();
                CASE(PUTL)
                    locals[operandAt(pc + 1)] = *sp--;
                    pc += 5;
                    NEXT();
                CASE(PUTAM)
                    ACTIVATION(operandAt(pc + 1)) = *sp--;
                    pc += 5;
                    break;
                CASE(PUTLM)
                    ACTIVATION(params + int(operandAt(pc + 1))) = *sp--;
                    pc += 5;
                    break;
                CASE(PUTX)
                    if (ESValue *e = denseElement(ctx, sp[-2], sp[-1]))
                        *e = sp[0];
                    else
                        ctx.putByValue(sp[-2], sp[-1], sp[0]);
                    sp -= 3;
                    ++pc;
                    NEXT();
                CASE(PUTXV)
                    if (ESValue *e = denseElement(ctx, sp[-2], sp[-1]))
                        *e = sp[0];
                    else
                        ctx.putByValue(sp[-2], sp[-1], sp[0]);
                    sp[-2] = sp[0];
                    sp -= 2;
                    ++pc;
                    NEXT();
                CASE(REGEXP) {
                    SYNC();
                    ESObject *re = ctx.regexpClass->create(ctx, record->atoms[operandAt(pc + 1)]->text, int(operandAt(pc + 5)));
                    PUSH(ESValue::fromObject(re));
                    pc += 9;
                    break;
                }
                CASE(ROT) {
                    const ESValue a = sp[-2];
                    sp[-2] = sp[-1];
                    sp[-1] = sp[0];
                    sp[0] = a;
                    ++pc;
                    break;
                }
                CASE(KEY)
                    if (sp[0].kind == ESObjectKind || sp[-1].isUndefined() || sp[-1].isNull())
                        sp[0] = ctx.memberKey(sp[-1], sp[0], operandAt(pc + 1) != 0);
                    pc += 5;
                    NEXT();
                CASE(REFW) {
                    ESAtom *atom = record->atoms[operandAt(pc + 1)];
                    ESObject *holder = holderOf(ctx, frame.scope, atom);
                    if (!holder) {
                        // A compound assignment reads the name first: an undeclared one fails here.
                        if (operandAt(pc + 5))
                            ctx.getUndeclared(atom);
                        holder = global;
                    }
                    PUSH(ESValue::fromObject(holder));
                    pc += 9;
                    break;
                }
                CASE(DUP2)
                    sp[1] = sp[-1];
                    sp[2] = sp[0];
                    sp += 2;
                    ++pc;
                    break;
                CASE(ADD)
                    if (sp[-1].kind == ESNumber && sp[0].kind == ESNumber)
                        sp[-1].number += sp[0].number;
                    else
                        sp[-1] = add(ctx, sp[-1], sp[0]);
                    --sp;
                    ++pc;
                    NEXT();
                CASE(SUB)
                    if (sp[-1].kind == ESNumber && sp[0].kind == ESNumber)
                        sp[-1].number -= sp[0].number;
                    else
                        sp[-1] = arithmetic(ctx, op, sp[-1], sp[0]);
                    --sp;
                    ++pc;
                    NEXT();
                CASE(MUL)
                    if (sp[-1].kind == ESNumber && sp[0].kind == ESNumber)
                        sp[-1].number *= sp[0].number;
                    else
                        sp[-1] = arithmetic(ctx, op, sp[-1], sp[0]);
                    --sp;
                    ++pc;
                    NEXT();
                CASE(DIV) CASE(MOD) CASE(BITAND) CASE(BITOR) CASE(BITXOR)
                CASE(SHL) CASE(SHR) CASE(USHR)
                    if ((op == ESOp::DIV || op == ESOp::MOD) && sp[-1].kind == ESNumber && sp[0].kind == ESNumber) {
                        sp[-1].number = op == ESOp::DIV ? sp[-1].number / sp[0].number
                                                        : numberRemainder(sp[-1].number, sp[0].number);
                    } else if (isInt32(sp[-1]) && isInt32(sp[0])) {
                        // Whole operands in range convert to themselves; the rest take the full rules.
                        const int32_t a = int32_t(sp[-1].number), b = int32_t(sp[0].number);
                        switch (op) {
                        case ESOp::BITAND: sp[-1].number = a & b; break;
                        case ESOp::BITOR: sp[-1].number = a | b; break;
                        case ESOp::BITXOR: sp[-1].number = a ^ b; break;
                        case ESOp::SHL: sp[-1].number = int32_t(uint32_t(a) << (uint32_t(b) & 31)); break;
                        case ESOp::SHR: sp[-1].number = a >> (uint32_t(b) & 31); break;
                        case ESOp::USHR: sp[-1].number = uint32_t(a) >> (uint32_t(b) & 31); break;
                        default: sp[-1] = arithmetic(ctx, op, sp[-1], sp[0]); break;
                        }
                    } else {
                        sp[-1] = arithmetic(ctx, op, sp[-1], sp[0]);
                    }
                    --sp;
                    ++pc;
                    break;
                CASE(ADDX) CASE(SUBX) CASE(MULX) CASE(DIVX) CASE(MODX)
                CASE(BITANDX) CASE(BITORX) CASE(BITXORX) CASE(SHLX) CASE(SHRX)
                CASE(USHRX) {
                    // A present element of a dense array is read and written in place. The operation
                    // may run script (valueOf), which can move or shrink the elements, so the slot is
                    // looked up again for the write.
                    const ESValue *e = denseElement(ctx, sp[-1], sp[0]);
                    ESValue v;
                    if (e && e->kind == ESNumber && sp[-2].kind == ESNumber
                        && (op == ESOp::ADDX || op == ESOp::SUBX || op == ESOp::MULX)) {
                        const double a = e->number, b = sp[-2].number;
                        v = ESValue::fromNumber(op == ESOp::ADDX ? a + b : op == ESOp::SUBX ? a - b : a * b);
                    } else {
                        const ESValue old = e && !e->isHole() ? *e : ctx.getByValue(sp[-1], sp[0]);
                        v = arithmetic(ctx, ESOp(uint8_t(op) - 1), old, sp[-2]);
                    }
                    if (ESValue *w = denseElement(ctx, sp[-1], sp[0]))
                        *w = v;
                    else
                        ctx.putByValue(sp[-1], sp[0], v);
                    sp -= 2;
                    *sp = v;
                    ++pc;
                    break;
                }
                CASE(INCG) CASE(DECG) {
                    const uint32_t slot = operandAt(pc + 1);
                    const double d = ctx.toNumber(getDeclaredGlobalSlot(ctx, slot, false));
                    putGlobalSlot(ctx, slot, ESValue::fromNumber(op == ESOp::INCG ? d + 1 : d - 1));
                    pc += 5;
                    break;
                }
                CASE(INCA) CASE(DECA) CASE(INCL) CASE(DECL) CASE(INCM)
                CASE(DECAM) CASE(INCLM) CASE(DECLM) {
                    const uint32_t i = operandAt(pc + 1);
                    ESValue &v = op == ESOp::INCA || op == ESOp::DECA ? args[i]
                                 : op == ESOp::INCL || op == ESOp::DECL ? locals[i]
                                 : op == ESOp::INCM || op == ESOp::DECAM ? ACTIVATION(i)
                                                                         : ACTIVATION(params + int(i));
                    const double d = v.kind == ESNumber ? v.number : ctx.toNumber(v);
                    const bool up = op == ESOp::INCA || op == ESOp::INCL || op == ESOp::INCM || op == ESOp::INCLM;
                    v = ESValue::fromNumber(up ? d + 1 : d - 1);
                    pc += 5;
                    break;
                }
                CASE(PREINCX) CASE(POSTINCX) CASE(PREDECX) CASE(POSTDECX) {
                    ESValue *e = denseElement(ctx, sp[-1], sp[0]);
                    const double old = e && e->kind == ESNumber ? e->number
                                                                : ctx.toNumber(ctx.getByValue(sp[-1], sp[0]));
                    const double now = op == ESOp::PREINCX || op == ESOp::POSTINCX ? old + 1 : old - 1;
                    // The conversion may have run script that moved the elements: look again.
                    if (!e || e->kind != ESNumber)
                        e = denseElement(ctx, sp[-1], sp[0]);
                    if (e)
                        *e = ESValue::fromNumber(now);
                    else
                        ctx.putByValue(sp[-1], sp[0], ESValue::fromNumber(now));
                    --sp;
                    *sp = ESValue::fromNumber(op == ESOp::PREINCX || op == ESOp::PREDECX ? now : old);
                    ++pc;
                    break;
                }
                CASE(DELETEW) {
                    ESAtom *atom = record->atoms[operandAt(pc + 1)];
                    ESObject *holder = holderOf(ctx, frame.scope, atom);
                    ESObject *o = holder ? holder : global;
                    PUSH(ESValue::boolean(o->cls->deleteProperty(ctx, o, atom)));
                    pc += 5;
                    break;
                }
                CASE(DELETEX) {
                    ESObject *o = ctx.toObject(sp[-1]);
                    sp[-1] = ESValue::fromObject(o);
                    sp[-1] = ESValue::boolean(o->cls->deleteProperty(ctx, o, ctx.atomFor(sp[0])));
                    --sp;
                    ++pc;
                    break;
                }
                CASE(LT)
                CASE(LE)
                    if (sp[-1].kind == ESNumber && sp[0].kind == ESNumber) {
                        const bool r = op == ESOp::LE ? sp[-1].number <= sp[0].number : sp[-1].number < sp[0].number;
                        // A loop's condition: the jump that follows is taken here, without the boolean.
                        if (pc[1] == uint8_t(ESOp::JT)) {
                            sp -= 2;
                            if (r) {
                                JUMP_TO(pc + 2);
                            } else {
                                pc += 6;
                            }
                            NEXT();
                        }
                        sp[-1] = ESValue::boolean(r);
                    } else
                        sp[-1] = ESValue::boolean(compare(ctx, sp[-1], sp[0], op == ESOp::LE));
                    --sp;
                    ++pc;
                    NEXT();
                CASE(EQ)
                CASE(NE) {
                    bool eq;
                    if (sp[-1].kind == ESNumber && sp[0].kind == ESNumber)
                        eq = sp[-1].number == sp[0].number;
                    else
                        eq = ctx.equals(sp[-1], sp[0]);
                    sp[-1] = ESValue::boolean(op == ESOp::EQ ? eq : !eq);
                    --sp;
                    ++pc;
                    break;
                }
                CASE(IDENTITY)
                CASE(NOTIDENTITY) {
                    const bool eq = ESContext::strictEquals(sp[-1], sp[0]);
                    sp[-1] = ESValue::boolean(op == ESOp::IDENTITY ? eq : !eq);
                    --sp;
                    ++pc;
                    break;
                }
                CASE(IN) {
                    if (!sp->isObject())
                        ctx.throwTypeError(QStringLiteral("invalid 'in' operand"));
                    sp[-1] = ESValue::boolean(ctx.hasProperty(sp->object, ctx.atomFor(sp[-1])));
                    --sp;
                    ++pc;
                    break;
                }
                CASE(INSTANCEOF) {
                    if (!sp->isObject() || !sp->object->isCallable())
                        ctx.throwTypeError(QStringLiteral("invalid 'instanceof' operand"));
                    const ESValue p = ctx.get(sp->object, ctx.prototypeAtom);
                    if (!p.isObject())
                        ctx.throwTypeError(QStringLiteral("'prototype' of the 'instanceof' operand is not an object"));
                    bool result = false;
                    if (sp[-1].isObject())
                        for (ESObject *o = sp[-1].object->prototype; o && !result; o = o->prototype)
                            result = o == p.object;
                    sp[-1] = ESValue::boolean(result);
                    --sp;
                    ++pc;
                    break;
                }
                CASE(LOGNOT)
                    *sp = ESValue::boolean(!truthy(ctx, *sp));
                    ++pc;
                    break;
                CASE(BITNOT)
                    *sp = ESValue::fromNumber(~toInt32(ctx, *sp));
                    ++pc;
                    break;
                CASE(POS)
                CASE(TONUM)
                    if (sp->kind != ESNumber)
                        *sp = ESValue::fromNumber(ctx.toNumber(*sp));
                    ++pc;
                    break;
                CASE(NEG)
                    *sp = ESValue::fromNumber(-ctx.toNumber(*sp));
                    ++pc;
                    break;
                CASE(SWAP)
                    std::swap(sp[0], sp[-1]);
                    ++pc;
                    break;
                CASE(LOGAND)
                CASE(LOGOR)
                    if (truthy(ctx, *sp) == (op == ESOp::LOGOR)) {
                        pc = code + operandAt(pc + 1);
                    } else {
                        --sp;
                        pc += 5;
                    }
                    break;
                CASE(J) {
                    JUMP_TO(pc + 1);
                    NEXT();
                }
                CASE(JT)
                CASE(JF) {
                    const bool b = truthy(ctx, *sp);
                    --sp;
                    if (b == (op == ESOp::JT)) {
                        JUMP_TO(pc + 1);
                    } else {
                        pc += 5;
                    }
                    break;
                }
                CASE(JT_DROP)
                    if (truthy(ctx, *sp)) {
                        sp -= 2;
                        pc = code + operandAt(pc + 1);
                    } else {
                        --sp;
                        pc += 5;
                    }
                    break;
                CASE(JLT) {
                    const bool less = compare(ctx, sp[-1], sp[0], false);
                    sp -= 2;
                    if (less) {
                        JUMP_TO(pc + 1);
                    } else {
                        pc += 5;
                    }
                    break;
                }
                CASE(RET)
                    return *sp;
                CASE(RETU)
                    return ESValue();
                CASE(THROW)
                    ctx.noteThrow();
                    throw ESException(*sp);
                CASE(TRY)
                    ctx.handlers.push_back(ESHandler{code + operandAt(pc + 1), sp, frame.scope, &frame});
                    pc += 5;
                    break;
                CASE(ENDTRY)
                    ctx.handlers.pop_back();
                    ++pc;
                    break;
                CASE(SETRESULT)
                    frame.completion = *sp--;
                    ++pc;
                    break;
                CASE(GETRESULT)
                    PUSH(frame.completion);
                    ++pc;
                    break;
                CASE(CALLEE)
                    PUSH(ESValue::fromObject(frame.function));
                    ++pc;
                    break;
                CASE(ARGUMENTS)
                    PUSH(ESValue::fromObject(makeArguments(ctx, frame)));
                    ++pc;
                    break;
                CASE(INC) CASE(DEC)
                default:
#if defined(__GNUC__)
                L_bad:
#endif
                    throw ESFatalError(QStringLiteral("bad opcode %1").arg(int(*pc)));
                }
            }
        } catch (const ESException &e) {
            if (ctx.handlers.size() <= frame.handlerBase)
                throw;
            const ESHandler h = ctx.handlers.back();
            ctx.handlers.pop_back();
            ctx.frame = &frame;
            sp = h.sp;
            frame.scope = h.scope;
            PUSH(e.value());
            pc = h.target;
        } catch (const zim::common::HException &e) {
            if (ctx.handlers.size() <= frame.handlerBase)
                throw;
            const ESHandler h = ctx.handlers.back();
            ctx.handlers.pop_back();
            ctx.frame = &frame;
            sp = h.sp;
            frame.scope = h.scope;
            PUSH(ESValue::fromObject(ctx.makeError(ctx.errorClass, e.message())));
            pc = h.target;
        }
    }
#undef PUSH
#undef SYNC
#undef JUMP_TO
#undef ACTIVATION
#undef NEXT
#undef CASE
}

} // namespace zim::script
