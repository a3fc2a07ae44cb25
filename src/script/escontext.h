// ESContext: one interpreter instance. Owns the value stack, the native classes, the object
// pool and every object made in it; reclaims unreachable objects and strings by mark and sweep.
#pragma once

#include "script/esclass.h"
#include "script/esexception.h"
#include "script/esobject.h"
#include "script/esroot.h"
#include "script/esvalue.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace zim::script {

struct ESCompiledFunction;
class ESNativeClass;
class ESNativeGlobal;
class ESNativeObject;
class ESNativeFunction;
class ESNativeArray;
class ESNativeString;
class ESNativeNumber;
class ESNativeBoolean;
class ESNativeDate;
class ESNativeMath;
class ESNativeRegExp;
class ESNativeError;
class ESArguments;

// One activation of the machine: a script function, a program, or a native call.
struct ESFrame
{
    ESFrame *previous = nullptr;
    ESObject *function = nullptr;
    ESValue thisValue;
    ESObject *scope = nullptr;            // head of the scope chain (links), null for none
    const ESCompiledFunction *code = nullptr;
    const uint8_t *pc = nullptr;          // start of the instruction being run
    ESValue *args = nullptr;              // first argument slot
    int argc = 0;                         // after padding to the parameter count
    int passed = 0;                       // as the caller gave them
    ESValue *locals = nullptr;
    ESObject *activation = nullptr;       // the variables of a captured function
    ESValue completion;                   // a program's completion value
    size_t handlerBase = 0;
};

// A try handler: where to continue, and the state to restore.
struct ESHandler
{
    const uint8_t *target;
    ESValue *sp;
    ESObject *scope;
    ESFrame *frame;
};

// The language a context speaks. The loader dialect is the one of reset and attach scripts,
// peripheral files and the loader's script objects; the standard dialect is ECMAScript 3 as
// published, with the ES5 built-ins everyday code calls, for script files run on their own.
enum class ESDialect { Loader, Standard };

// What a host evaluation gives back. The value stays alive as long as the evaluation is held, so
// that a host may still convert it after running other script code.
struct ESEvaluation
{
    enum Status { Completed = 0, Thrown = 4 };
    Status status = Completed;
    ESValue value;
    QString message;
    ESRoot root;
};

class ESContext
{
public:
    // The value slots the machine's stack may grow to. The memory behind them is taken page by
    // page as the stack deepens; a run that needs more ends with a RangeError.
    static constexpr size_t StackCapacity = size_t(1) << 20;
    // Machine frames (script and native calls) that may be active at once.
    static constexpr int MaxFrames = 100000;
    // What a script sees when either limit, or the thread's native stack, runs out.
    static QString stackOverflowText() { return QStringLiteral("virtual machine stack too small"); }
    // The longest string a script can make; a longer one is a RangeError.
    static constexpr qsizetype MaxStringLength = qsizetype(1) << 28;
    static_assert(MaxStringLength <= qsizetype(UINT32_MAX), "a string's length is kept in 32 bits");
    static QString stringTooLongText() { return QStringLiteral("string too long"); }
    // Memory exhausted while the engine ran: the run ends with a fault no script can catch. The
    // entry points turn std::bad_alloc into this, so that every host reports it as an error; the
    // memory held in reserve is given back first so that the report itself can be made.
    [[noreturn]] void outOfMemory();

    explicit ESContext(ESObject *hostGlobal = nullptr);
    virtual ~ESContext();
    ESContext(const ESContext &) = delete;
    ESContext &operator=(const ESContext &) = delete;

    // Asked by the machine at every backward jump and call; false ends the run as if by return.
    virtual bool keepRunning() { return true; }

    // --- dialect
    ESDialect dialect() const { return m_dialect; }
    bool standard() const { return m_dialect == ESDialect::Standard; }
    // Switches the dialect; the first switch to the standard dialect adds its built-ins.
    void setDialect(ESDialect dialect);
    // Runs a stretch of host work in one dialect and restores the previous one.
    class DialectScope
    {
    public:
        DialectScope(ESContext &context, ESDialect dialect) : m_context(context), m_saved(context.dialect())
        {
            context.setDialect(dialect);
        }
        ~DialectScope() { m_context.m_dialect = m_saved; }
        DialectScope(const DialectScope &) = delete;
        DialectScope &operator=(const DialectScope &) = delete;

    private:
        ESContext &m_context;
        ESDialect m_saved;
    };
    // The dialect a script text asks for: the loader dialect when its first statement is the
    // directive "use loader", otherwise the given default.
    static ESDialect requestedDialect(const QString &text, ESDialect fallback);

    // --- objects and strings
    ESObject *newObject(ESObject *prototype, ESClass *cls);
    ESObject *newPlainObject();
    ESObject *newArray(uint32_t length = 0);
    ESValue newString(const QString &text);
    // a + b for two strings of either kind.
    ESValue concat(const ESValue &a, const ESValue &b);
    ESObject *wrap(const ESValue &primitive);
    ESValue unwrap(const ESValue &value) const;
    ESObject *arrayFromValues(int count, const ESValue *values);
    ESObject *arrayFromBytes(const QByteArray &bytes);
    ESObject *arrayFromWords16(const std::vector<uint16_t> &words);
    ESObject *arrayFromWords32(const std::vector<uint32_t> &words);
    QByteArray bytesFromArray(const ESValue &value);
    std::vector<uint16_t> words16FromArray(const ESValue &value);
    std::vector<uint32_t> words32FromArray(const ESValue &value);
    bool isArray(const ESValue &value) const;

    // --- property access with full class behaviour
    ESValue get(ESObject *object, ESAtom *atom) { return object->cls->get(*this, object, atom); }
    void put(ESObject *object, ESAtom *atom, const ESValue &value) { object->cls->put(*this, object, atom, value); }
    ESValue getByValue(const ESValue &object, const ESValue &key);
    void putByValue(const ESValue &object, const ESValue &key, const ESValue &value);
    bool hasProperty(ESObject *object, ESAtom *atom);
    // The key of object[key] as a member reference takes it: a TypeError for an undefined or null
    // object (worded for a read or a write), else the key as a primitive (an object key converted
    // to its string once).
    ESValue memberKey(const ESValue &object, const ESValue &key, bool read);
    bool hasOwnProperty(ESObject *object, ESAtom *atom);

    // --- atoms
    ESAtom *atomFor(const ESValue &value);

    // --- conversions
    bool toBoolean(const ESValue &v);
    double toNumber(const ESValue &v);
    QString toString(const ESValue &v);
    ESValue toStringValue(const ESValue &v);
    ESObject *toObject(const ESValue &v);
    ESValue toPrimitive(const ESValue &v, int hint = 6);
    ESValue defaultValue(ESObject *object, int hint);
    double toInteger(const ESValue &v);
    uint32_t toUint32(const ESValue &v);
    int32_t toInt32(const ESValue &v) { return int32_t(toUint32(v)); }
    bool equals(const ESValue &a, const ESValue &b);
    static bool strictEquals(const ESValue &a, const ESValue &b);
    QString typeOf(const ESValue &v) const;
    // Number formatting: %g with six digits for fractions, integral values in the radix.
    static QString formatNumber(double value, int radix = 10);
    // The shortest text that reads back as the same number, in the standard's layout.
    static QString formatShortest(double value);
    // A number's string form in this context's dialect.
    QString numberText(double value) const { return standard() ? formatShortest(value) : formatNumber(value); }
    // The string-to-number rule: white space trimmed, "0x" hexadecimal, else a decimal literal.
    static double parseNumber(const QString &text);
    static bool isWhiteSpace(QChar c);

    // --- errors
    // Raises a script error of the class ("line N: message"); never returns.
    [[noreturn]] void throwError(ESNativeError *errorClass, const QString &message);
    [[noreturn]] void throwErrorAtLine(ESNativeError *errorClass, int line, const QString &message);
    [[noreturn]] void throwTypeError(const QString &message);
    [[noreturn]] void throwRangeError(const QString &message);
    [[noreturn]] void throwPlainError(const QString &message);
    // Makes an error object of the class with the message unchanged.
    ESObject *makeError(ESNativeError *errorClass, const QString &message);
    int currentLine() const;
    // The file name of the running code when it came from a loaded file, else empty.
    QString currentSource() const;
    // Calling a value that is not a function; name says what was called (may be empty).
    [[noreturn]] void throwNotAFunction(const QString &name);
    // Reading a name that no scope holds: undefined in the loader dialect, a ReferenceError in
    // the standard dialect.
    ESValue getUndeclared(ESAtom *name);
    // Line and file of an error object, as its properties lineNumber and fileName.
    void noteErrorPlace(ESObject *error, int line, const QString &source);
    // Where the value being thrown now was thrown (for the report of an uncaught throw).
    void noteThrow()
    {
        m_thrownLine = currentLine();
        m_thrownSource = currentSource();
    }
    // The report of a value thrown and not caught in the standard dialect: where, the error's
    // name and its message; no line break at the end.
    QString standardUncaughtMessage(const ESValue &value);
    bool isError(const ESValue &value) const;
    // How a host words a value thrown and not caught. The loader's script objects take the
    // "message" of any object; the script systems and the peripheral bridge only that of an
    // Error, and the peripheral bridge prefixes other values its own way.
    enum class UncaughtForm {
        AnyObjectMessage,   // an object's "message", else "uncaught exception - " and the value
        ErrorMessage,       // an Error's "message", else "uncaught exception - " and the value
        PeripheralMessage,  // an Error's "message", else "Uncaught exception: " and the value
    };
    // The host's message for a value thrown and not caught, in the given form. Never throws:
    // when the conversion throws in turn, the value it threw is shown instead, and when that
    // throws as well, a fixed text.
    QString uncaughtMessage(const ESValue &value, UncaughtForm form = UncaughtForm::AnyObjectMessage);

    // --- running code
    ESValue call(ESObject *function, const ESValue &thisValue, int count, const ESValue *args);
    ESValue callValue(const ESValue &function, const ESValue &thisValue, int count, const ESValue *args);
    ESObject *construct(ESObject *constructor, int count, const ESValue *args);
    // Compiles (or takes from the cache) and runs a program; script throws are reported in the result.
    ESEvaluation evaluate(const QString &text);
    // Compiles and runs a program; script throws pass on as ESException.
    ESValue execute(const QString &text);
    // execute for a file's text: errors made in its code name the file in the standard dialect.
    ESValue executeFile(const QString &text, const QString &name);
    // eval as the standard has it: in the scope and with the `this` of the caller.
    ESValue evalInCaller(const QString &text);
    std::shared_ptr<ESCompiledFunction> compileCached(const QString &text, bool callerScope);
    // A script function object for a compiled record, closing over the scope chain.
    ESObject *makeClosure(const std::shared_ptr<ESCompiledFunction> &function, ESObject *scope);
    // The bytecode listing of a record, with the global slot names of this context.
    QString listing(const ESCompiledFunction &function) const;

    // Global slots: the atom each slot was reserved for, so that a deleted and re-made global is
    // still found by name.
    void noteGlobalSlot(uint32_t slot, ESAtom *atom)
    {
        if (m_slotAtoms.size() <= slot)
            m_slotAtoms.resize(slot + 1, nullptr);
        m_slotAtoms[slot] = atom;
    }
    ESAtom *globalSlotAtom(uint32_t slot) const { return slot < m_slotAtoms.size() ? m_slotAtoms[slot] : nullptr; }
    // The call code of every native function object.
    static ESClosure nativeCode;

    // --- collector
    // Host-held objects stay alive while protected (counted).
    void protect(ESObject *object);
    void unprotect(ESObject *object);
    void collectGarbage();
    // A collection when enough was allocated since the last one; only at safe points.
    void maybeCollect()
    {
        if (m_allocatedSinceCollect > m_collectThreshold || m_bytesSinceCollect > m_byteThreshold)
            collectGarbage();
    }
    // Memory an object took beyond its record (element storage): it counts toward the next
    // collection as string text does, so that a loop making large garbage arrays stays bounded.
    void chargeAllocation(size_t bytes) { m_bytesSinceCollect += bytes; }
    size_t liveObjects() const { return m_liveObjects; }
    // Frees the atoms of computed keys that no context of the process holds. Done only while no
    // native of any context is running, as a native may keep atoms where no scan reaches; false
    // when it could not be done now.
    bool reclaimAtoms();
    size_t liveStrings() const { return m_liveStrings; }

    // Roots for values a native keeps in C++ storage while it calls back into scripts.
    struct TempRoot
    {
        TempRoot(ESContext &c, std::vector<ESValue> &values) : context(c) { c.m_tempRoots.push_back(&values); }
        ~TempRoot() { context.m_tempRoots.pop_back(); }
        ESContext &context;
    };

    // --- the well-known objects and classes
    ESObject *global() const { return m_global; }
    ESObject *objectPrototype = nullptr;
    ESObject *functionPrototype = nullptr;
    ESObject *arrayPrototype = nullptr;
    ESObject *stringPrototype = nullptr;
    ESObject *numberPrototype = nullptr;
    ESObject *booleanPrototype = nullptr;
    ESObject *datePrototype = nullptr;
    ESObject *regexpPrototype = nullptr;

    ESNativeGlobal *globalClass = nullptr;
    ESNativeObject *objectClass = nullptr;
    ESNativeFunction *functionClass = nullptr;
    ESNativeArray *arrayClass = nullptr;
    ESNativeString *stringClass = nullptr;
    ESNativeNumber *numberClass = nullptr;
    ESNativeBoolean *booleanClass = nullptr;
    ESNativeDate *dateClass = nullptr;
    ESNativeMath *mathClass = nullptr;
    ESNativeRegExp *regexpClass = nullptr;
    ESNativeError *errorClass = nullptr;
    ESNativeError *evalErrorClass = nullptr;
    ESNativeError *rangeErrorClass = nullptr;
    ESNativeError *referenceErrorClass = nullptr;
    ESNativeError *syntaxErrorClass = nullptr;
    ESNativeError *typeErrorClass = nullptr;
    ESNativeError *uriErrorClass = nullptr;
    ESClass *activationClass = nullptr;
    ESArguments *argumentsClass = nullptr;

    // Well-known atoms.
    ESAtom *lengthAtom, *prototypeAtom, *constructorAtom, *argumentsAtom, *calleeAtom, *messageAtom,
        *nameAtom, *valueOfAtom, *toStringAtom, *indexAtom, *evalAtom, *lastIndexAtom, *inputAtom;

    // The directories load searches after the name as given.
    QStringList loadPath;

    // --- native recursion
    // True when the thread's native stack is nearly used up. Every recursion of the engine (machine
    // frames, the parser, the code generator, conversions of nested values) asks this before it goes
    // deeper, so that no script can run the process out of stack whatever the system's stack size.
    static bool nativeStackLow();
    // A RangeError at the current line when the native stack or the frame count is exhausted.
    void checkNativeStack()
    {
        if (frameDepth >= MaxFrames || nativeStackLow())
            throwRangeError(stackOverflowText());
    }

    // For the long loops of natives: the stop request and the keep-running hook, asked as often as
    // the machine asks them in a script's loops.
    void pollNative()
    {
        if ((++pollCounter & 63) == 0 || stopRequested) {
            if (stopRequested || !keepRunning())
                throw ESFatalError(QStringLiteral("script stopped"));
        }
    }

    // --- machine state (used by the machine and the collector)
    ESValue *stackBase = nullptr;      // first slot
    ESValue *stackLimit = nullptr;     // logical end (StackCapacity)
    ESValue *stackEnd = nullptr;       // physical end
    ESValue *sp = nullptr;             // top of stack (stackBase - 1 when empty)
    ESFrame *frame = nullptr;
    std::vector<ESHandler> handlers;
    // Lets a host raise a stop from outside a run (the keep-running hook reads it).
    volatile bool stopRequested = false;
    // Counts instructions between keep-running checks.
    uint32_t pollCounter = 0;
    // Frames of the machine now running, at most MaxFrames.
    int frameDepth = 0;

private:
    friend class ESMachine;
    void setUpNatives();
    void mark(const ESValue &v);
    void markObject(ESObject *o);
    void markString(const ESString *s);
    void drainMarks();
    // Marks every atom this context holds: keys and values of all its objects, whether reachable
    // or not yet swept, its stack and frames, and its strings' interned forms.
    void markHeldAtoms();
    bool runsNative() const;
    ESObject *allocateRecord();
    ESString *allocateString();

    void setUpStandardNatives();

    // The value stack's memory: a reservation backed as it is touched, or an ordinary array
    // where the system has no such reservations.
    struct StackMemory;
    std::unique_ptr<StackMemory> m_stackMemory;
    std::unique_ptr<char[]> m_memoryReserve;
    ESObject *m_global = nullptr;
    ESDialect m_dialect = ESDialect::Loader;
    bool m_standardNatives = false;
    int m_thrownLine = 0;
    QString m_thrownSource;
    std::vector<std::unique_ptr<ESClass>> m_classes;
    struct RecordChunk;
    std::vector<std::unique_ptr<RecordChunk>> m_chunks;
    ESObject *m_freeList = nullptr;
    // String records come from blocks the context keeps, so that the many short strings a
    // program makes and drops cost no allocator call of their own. A collection sweeps the
    // blocks themselves, each record saying whether it is in use.
    struct StringBlockFree
    {
        void operator()(ESStringBlockHeader *block) const;
    };
    std::vector<std::unique_ptr<ESStringBlockHeader, StringBlockFree>> m_stringBlocks;
    ESString *m_freeStrings = nullptr;
    // The first block that may have room at its end.
    size_t m_bumpBlock = 0;
    size_t m_liveStrings = 0;
    size_t m_liveObjects = 0;
    size_t m_allocatedSinceCollect = 0;
    size_t m_collectThreshold = 50000;
    size_t m_bytesSinceCollect = 0;
    size_t m_byteThreshold = 0;
    std::vector<ESObject *> m_markStack;
    std::vector<const ESString *> m_stringMarks;
    QHash<ESObject *, int> m_protected;
    std::vector<std::vector<ESValue> *> m_tempRoots;
    // Compiled texts, most recently used last.
    struct CacheEntry
    {
        QString text;
        bool callerScope;
        std::shared_ptr<ESCompiledFunction> function;
    };
    std::vector<CacheEntry> m_cache;
    // Records in use by running frames stay alive through these references.
    std::vector<ESAtom *> m_slotAtoms;
};

} // namespace zim::script
