// ESContext: creation of the well-known objects, the object pool, the mark-and-sweep collector,
// script errors and the evaluation entry points with their cache of compiled texts.
#include "script/escontext.h"

#include <unordered_set>

#include "platform/memoryreservation.h"
#include "script/escompiler.h"
#include "script/esmachine.h"
#include "script/esnativeclasses.h"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <type_traits>

#if defined(__linux__)
#include <pthread.h>
#endif

namespace zim::script {

ESClosure ESContext::nativeCode;

namespace {
constexpr size_t StackSlack = 16384;
// Without a reservation the stack is an ordinary array of this many slots.
constexpr size_t FallbackStackSlots = 65536;
// Native stack kept free below the deepest point the engine recurses to: room for the natives,
// the library code and the error raised between two checks.
constexpr uintptr_t NativeStackHeadroom = 256 * 1024;
// Held from the start and given back when memory runs out, for the error report.
constexpr size_t MemoryReserve = size_t(1) << 20;
// The record pool grows by small chunks at first, so that a short script stays small; past
// SmallChunks of them, by large-page chunks, which a garbage-heavy program fills page by page
// with far fewer faults.
constexpr size_t SmallChunkRecords = 4096;
constexpr size_t SmallChunks = 4;
constexpr size_t LargeChunkBytes = size_t(16) << 20;
constexpr size_t MinimumCollectThreshold = 4096;
// Where the records of a string block begin, after its header, and how many it holds.
constexpr size_t StringCellsOffset = (sizeof(ESStringBlockHeader) + alignof(ESString) - 1) & ~(alignof(ESString) - 1);
constexpr size_t StringBlockCells = (ESStringBlockBytes - StringCellsOffset) / sizeof(ESString);
constexpr size_t CacheEntries = 64;
// Atoms of computed keys made before the first reclaim is tried.
constexpr uint32_t AtomReclaimMinimum = 65536;

// The records of a string block, those handed out so far being live objects.
ESString *stringCells(ESStringBlockHeader *block)
{
    return std::launder(reinterpret_cast<ESString *>(reinterpret_cast<char *>(block) + StringCellsOffset));
}

class ESActivation : public ESClass
{
public:
    ESActivation() : ESClass("activation") {}
};

template<class T, class... A>
T *addClass(std::vector<std::unique_ptr<ESClass>> &classes, A... args)
{
    auto owned = std::make_unique<T>(args...);
    T *raw = owned.get();
    classes.push_back(std::move(owned));
    return raw;
}
} // namespace

namespace {
// The lowest native stack address the engine recurses to on this thread; 0 where unknown.
uintptr_t nativeStackFloor()
{
#if defined(__linux__)
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0)
        return 0;
    void *low = nullptr;
    size_t size = 0;
    const int got = pthread_attr_getstack(&attr, &low, &size);
    pthread_attr_destroy(&attr);
    if (got != 0 || !low)
        return 0;
    return reinterpret_cast<uintptr_t>(low) + std::min<uintptr_t>(NativeStackHeadroom, size / 2);
#else
    return 0;
#endif
}
} // namespace

bool ESContext::nativeStackLow()
{
    static thread_local const uintptr_t floor = nativeStackFloor();
    return reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) < floor;
}

// Zero bytes are undefined values, so fresh mapped memory is a stack of undefined slots.
static_assert(std::is_trivially_copyable_v<ESValue> && std::is_trivially_destructible_v<ESValue>);

struct ESContext::StackMemory
{
    std::optional<platform::MemoryReservation> reservation;
    std::unique_ptr<ESValue[]> fallback;
    size_t slotCount = 0;

    StackMemory()
    {
        reservation = platform::reserveMemory((StackCapacity + StackSlack) * sizeof(ESValue), false);
        if (reservation) {
            slotCount = StackCapacity;
        } else {
            slotCount = FallbackStackSlots;
            fallback = std::make_unique<ESValue[]>(slotCount + StackSlack);
        }
    }
    ~StackMemory()
    {
        if (reservation)
            platform::releaseMemory(*reservation);
    }
    ESValue *base() const
    {
        return reservation ? reinterpret_cast<ESValue *>(reservation->base) : fallback.get();
    }
};


// Memory for records, of which the first `used` have been made; the rest is not touched yet.
struct ESContext::RecordChunk
{
    ESObject *records = nullptr;
    size_t capacity = 0;
    size_t used = 0;
    std::optional<platform::MemoryReservation> reservation;

    explicit RecordChunk(bool large)
    {
        if (large)
            reservation = platform::reserveMemory(LargeChunkBytes, true);
        if (reservation) {
            records = reinterpret_cast<ESObject *>(reservation->base);
            capacity = LargeChunkBytes / sizeof(ESObject);
        } else {
            records = static_cast<ESObject *>(::operator new(SmallChunkRecords * sizeof(ESObject)));
            capacity = SmallChunkRecords;
        }
    }
    ~RecordChunk()
    {
        for (size_t i = 0; i < used; ++i)
            records[i].~ESObject();
        if (reservation)
            platform::releaseMemory(*reservation);
        else
            ::operator delete(records);
    }
    RecordChunk(const RecordChunk &) = delete;
    RecordChunk &operator=(const RecordChunk &) = delete;
};

ESContext::ESContext(ESObject *hostGlobal)
{
    m_stackMemory = std::make_unique<StackMemory>();
    m_memoryReserve.reset(new char[MemoryReserve]);
    stackBase = m_stackMemory->base();
    stackLimit = stackBase + m_stackMemory->slotCount;
    stackEnd = stackLimit + StackSlack;
    sp = stackBase - 1;
    m_byteThreshold = size_t(8) << 20;
    atoms::addHolder(this);

    lengthAtom = atoms::intern("length");
    prototypeAtom = atoms::intern("prototype");
    constructorAtom = atoms::intern("constructor");
    argumentsAtom = atoms::intern("arguments");
    calleeAtom = atoms::intern("callee");
    messageAtom = atoms::intern("message");
    nameAtom = atoms::intern("name");
    valueOfAtom = atoms::intern("valueOf");
    toStringAtom = atoms::intern("toString");
    indexAtom = atoms::intern("index");
    evalAtom = atoms::intern("eval");
    lastIndexAtom = atoms::intern("lastIndex");
    inputAtom = atoms::intern("input");
    for (const char *name : {"null", "true", "false"})
        atoms::intern(name);

    globalClass = addClass<ESNativeGlobal>(m_classes);
    arrayClass = addClass<ESNativeArray>(m_classes);
    functionClass = addClass<ESNativeFunction>(m_classes);
    errorClass = addClass<ESNativeError>(m_classes, "Error");
    evalErrorClass = addClass<ESNativeError>(m_classes, "EvalError");
    rangeErrorClass = addClass<ESNativeError>(m_classes, "RangeError");
    referenceErrorClass = addClass<ESNativeError>(m_classes, "ReferenceError");
    syntaxErrorClass = addClass<ESNativeError>(m_classes, "SyntaxError");
    typeErrorClass = addClass<ESNativeError>(m_classes, "TypeError");
    uriErrorClass = addClass<ESNativeError>(m_classes, "URIError");
    numberClass = addClass<ESNativeNumber>(m_classes);
    stringClass = addClass<ESNativeString>(m_classes);
    booleanClass = addClass<ESNativeBoolean>(m_classes);
    dateClass = addClass<ESNativeDate>(m_classes);
    objectClass = addClass<ESNativeObject>(m_classes);
    mathClass = addClass<ESNativeMath>(m_classes);
    regexpClass = addClass<ESNativeRegExp>(m_classes);
    activationClass = addClass<ESActivation>(m_classes);
    argumentsClass = addClass<ESArguments>(m_classes);

    if (hostGlobal) {
        m_global = hostGlobal;
    } else {
        m_global = newObject(nullptr, globalClass);
        m_global->internalValue() = ESValue::fromAtom(atoms::intern("[object global]"));
    }
    objectPrototype = newObject(nullptr, objectClass);
    functionPrototype = newObject(objectPrototype, functionClass);
    arrayPrototype = newObject(objectPrototype, arrayClass);
    stringPrototype = newObject(objectPrototype, stringClass);
    stringPrototype->internalValue() = ESValue::fromAtom(atoms::intern(""));
    numberPrototype = newObject(objectPrototype, numberClass);
    numberPrototype->internalValue() = ESValue::fromNumber(0);
    booleanPrototype = newObject(objectPrototype, booleanClass);
    booleanPrototype->internalValue() = ESValue::boolean(false);
    datePrototype = newObject(objectPrototype, dateClass);
    datePrototype->internalValue() = ESValue::fromNumber(NaN);
    regexpPrototype = newObject(objectPrototype, objectClass);
    m_global->prototype = objectPrototype;
    setUpNatives();
}

void ESContext::setUpNatives()
{
    ESNativeClass *order[] = {objectClass, booleanClass, arrayClass, globalClass, errorClass, rangeErrorClass,
                              referenceErrorClass, syntaxErrorClass, typeErrorClass, evalErrorClass,
                              numberClass, mathClass, stringClass, functionClass, dateClass, regexpClass,
                              uriErrorClass};
    for (ESNativeClass *cls : order)
        cls->setUp(*this);
    auto empty = std::make_shared<ESCompiledFunction>();
    empty->code.push_back(uint8_t(ESOp::RETU));
    empty->lines.emplace_back(0, 0);
    functionPrototype->callCode = new ESClosure{empty, 0, nullptr};
    functionPrototype->internalValue() = ESValue::fromAtom(atoms::intern("Function.prototype"));
    functionPrototype->define(lengthAtom, ESValue::fromNumber(0), ReadOnly | DontEnum | DontDelete);
}

ESContext::~ESContext()
{
    atoms::removeHolder(this);
    // Host classes may be gone before the context; only the classes the context owns hold
    // per-object data to free.
    std::unordered_set<const ESClass *> owned;
    for (const auto &cls : m_classes)
        owned.insert(cls.get());
    for (auto &chunk : m_chunks) {
        for (size_t i = 0; i < chunk->used; ++i) {
            ESObject &o = chunk->records[i];
            if (!o.inUse)
                continue;
            if (o.cls && owned.count(o.cls))
                o.cls->finalize(&o);
            if (o.callCode && o.callCode != &nativeCode)
                delete o.callCode;
        }
    }
    for (const auto &block : m_stringBlocks) {
        ESString *cells = stringCells(block.get());
        for (size_t i = 0; i < block->used; ++i)
            cells[i].~ESString();
    }
}

void ESContext::StringBlockFree::operator()(ESStringBlockHeader *block) const
{
    ::operator delete(block, std::align_val_t(ESStringBlockBytes));
}

ESString *ESContext::allocateString()
{
    ESString *s = m_freeStrings;
    if (s) {
        m_freeStrings = s->nextFree();
    } else {
        while (m_bumpBlock < m_stringBlocks.size() && m_stringBlocks[m_bumpBlock]->used == StringBlockCells)
            ++m_bumpBlock;
        if (m_bumpBlock == m_stringBlocks.size()) {
            void *memory = ::operator new(ESStringBlockBytes, std::align_val_t(ESStringBlockBytes));
            std::unique_ptr<ESStringBlockHeader, StringBlockFree> block(
                new (memory) ESStringBlockHeader{&m_bytesSinceCollect, 0});
            m_stringBlocks.push_back(std::move(block));
        }
        ESStringBlockHeader &block = *m_stringBlocks[m_bumpBlock];
        s = new (stringCells(&block) + block.used) ESString;
        ++block.used;
    }
    ++m_liveStrings;
    ++m_allocatedSinceCollect;
    return s;
}

ESObject *ESContext::allocateRecord()
{
    ESObject *o = m_freeList;
    if (o) {
        m_freeList = o->nextFree;
        o->nextFree = nullptr;
    } else {
        if (m_chunks.empty() || m_chunks.back()->used == m_chunks.back()->capacity)
            m_chunks.push_back(std::make_unique<RecordChunk>(m_chunks.size() >= SmallChunks));
        RecordChunk &chunk = *m_chunks.back();
        o = new (&chunk.records[chunk.used]) ESObject;
        ++chunk.used;
    }
    o->inUse = true;
    ++m_liveObjects;
    ++m_allocatedSinceCollect;
    return o;
}

ESObject *ESContext::newObject(ESObject *prototype, ESClass *cls)
{
    ESObject *o = allocateRecord();
    o->prototype = prototype;
    o->cls = cls;
    if (cls == arrayClass)
        o->holdElements();
    return o;
}

ESObject *ESContext::newPlainObject()
{
    return newObject(objectPrototype, objectClass);
}

ESObject *ESContext::newArray(uint32_t length)
{
    ESObject *a = newObject(arrayPrototype, arrayClass);
    a->length = length;
    return a;
}

ESValue ESContext::newString(const QString &text)
{
    if (text.size() > MaxStringLength)
        throwRangeError(stringTooLongText());
    ESString *s = allocateString();
    s->makeFlat(text);
    m_bytesSinceCollect += size_t(text.size()) * 2 + sizeof(ESString);
    return ESValue::fromString(s);
}

ESValue ESContext::concat(const ESValue &a, const ESValue &b)
{
    const qsizetype length = (a.kind == ESAtomKind ? a.atom->text.size() : a.string->length)
                             + (b.kind == ESAtomKind ? b.atom->text.size() : b.string->length);
    if (length > MaxStringLength)
        throwRangeError(stringTooLongText());
    if (length < 256)
        return newString(joinedText(a.text(), b.text()));
    auto part = [this](const ESValue &v) -> const ESString * {
        return v.kind == ESStringKind ? v.string : newString(v.atom->text).string;
    };
    // The parts first, so that no record is taken when making one fails.
    const ESString *left = part(a);
    const ESString *right = part(b);
    ESString *s = allocateString();
    s->makeRope(left, right, uint32_t(length));
    m_bytesSinceCollect += sizeof(ESString);
    return ESValue::fromString(s);
}

ESObject *ESContext::makeClosure(const std::shared_ptr<ESCompiledFunction> &function, ESObject *scope)
{
    ESObject *fn = newObject(functionPrototype, functionClass);
    fn->callCode = new ESClosure{function, function->parameterCount, scope};
    fn->constructible = true;
    fn->define(lengthAtom, ESValue::fromNumber(function->parameterCount), ReadOnly | DontEnum | DontDelete);
    ESObject *p = newPlainObject();
    fn->define(prototypeAtom, ESValue::fromObject(p), DontDelete);
    p->define(constructorAtom, ESValue::fromObject(fn), DontEnum);
    return fn;
}

QString ESContext::listing(const ESCompiledFunction &function) const
{
    std::vector<ESAtom *> names;
    for (const ESProperty &p : m_global->properties)
        names.push_back(p.key());
    return function.listing(names);
}

// --- the collector

void ESContext::protect(ESObject *object)
{
    ++m_protected[object];
}

void ESContext::unprotect(ESObject *object)
{
    auto it = m_protected.find(object);
    if (it != m_protected.end() && --it.value() <= 0)
        m_protected.erase(it);
}

void ESContext::mark(const ESValue &v)
{
    if (v.kind == ESObjectKind)
        markObject(v.object);
    else if (v.kind == ESStringKind)
        m_stringMarks.push_back(v.string);
}

void ESContext::markString(const ESString *s)
{
    if (s->marked)
        return;
    s->marked = true;
    if (!s->isRope())
        return;
    std::vector<const ESString *> pending{s->left(), s->right()};
    while (!pending.empty()) {
        const ESString *p = pending.back();
        pending.pop_back();
        if (p->marked)
            continue;
        p->marked = true;
        if (p->isRope()) {
            pending.push_back(p->left());
            pending.push_back(p->right());
        }
    }
}

void ESContext::markObject(ESObject *o)
{
    // Whether the record is marked already is asked when it is taken from the stack, after its
    // memory has been fetched in advance.
    if (o)
        m_markStack.push_back(o);
}

namespace {
// Records and strings are visited this many steps after they are found, with their memory asked
// for in advance, so that the cache misses of a large heap overlap instead of adding up.
constexpr size_t MarkAhead = 8;

inline void prefetchRecord(const ESObject *o)
{
    const char *bytes = reinterpret_cast<const char *>(o);
    for (size_t offset = 0; offset < sizeof(ESObject); offset += 64)
        __builtin_prefetch(bytes + offset);
    __builtin_prefetch(bytes + sizeof(ESObject) - 1);
}
} // namespace

void ESContext::drainMarks()
{
    ESObject *ahead[MarkAhead];
    size_t head = 0;
    size_t count = 0;
    for (;;) {
        while (count < MarkAhead && !m_markStack.empty()) {
            ESObject *next = m_markStack.back();
            m_markStack.pop_back();
            prefetchRecord(next);
            ahead[(head + count) % MarkAhead] = next;
            ++count;
        }
        if (count == 0)
            break;
        ESObject *o = ahead[head];
        head = (head + 1) % MarkAhead;
        --count;
        if (o->marked)
            continue;
        o->marked = true;
        markObject(o->prototype);
        if (o->holdsElements()) {
            for (const ESValue &v : o->elements())
                mark(v);
        } else {
            mark(o->internalValue());
        }
        if (o->callCode)
            markObject(o->callCode->scope);
        for (const ESProperty &p : o->properties)
            mark(p.value);
        if (o->cls)
            o->cls->markExtra(*this, o);
    }
    const size_t strings = m_stringMarks.size();
    for (size_t i = 0; i < strings; ++i) {
        if (i + MarkAhead < strings)
            __builtin_prefetch(m_stringMarks[i + MarkAhead]);
        markString(m_stringMarks[i]);
    }
    m_stringMarks.clear();
}

void ESContext::collectGarbage()
{
    markObject(m_global);
    for (ESObject *o : {objectPrototype, functionPrototype, arrayPrototype, stringPrototype, numberPrototype,
                        booleanPrototype, datePrototype, regexpPrototype})
        markObject(o);
    for (auto &cls : m_classes) {
        if (auto *native = dynamic_cast<ESNativeClass *>(cls.get())) {
            markObject(native->prototype);
            markObject(native->constructor);
        }
    }
    for (ESValue *v = stackBase; v <= sp; ++v)
        mark(*v);
    for (ESFrame *f = frame; f; f = f->previous) {
        markObject(f->function);
        mark(f->thisValue);
        markObject(f->scope);
        markObject(f->activation);
        mark(f->completion);
    }
    for (const ESHandler &h : handlers)
        markObject(h.scope);
    for (auto it = m_protected.cbegin(); it != m_protected.cend(); ++it)
        markObject(it.key());
    for (std::vector<ESValue> *values : m_tempRoots)
        for (const ESValue &v : *values)
            mark(v);
    drainMarks();

    size_t liveBytes = 0;
    for (auto &chunk : m_chunks) {
        for (size_t i = 0; i < chunk->used; ++i) {
            ESObject &o = chunk->records[i];
            if (!o.inUse)
                continue;
            if (o.marked) {
                o.marked = false;
                if (o.holdsElements())
                    liveBytes += o.elements().capacity() * sizeof(ESValue);
                continue;
            }
            if (o.cls)
                o.cls->finalize(&o);
            if (o.callCode && o.callCode != &nativeCode)
                delete o.callCode;
            o.clear();
            o.inUse = false;
            o.nextFree = m_freeList;
            m_freeList = &o;
            --m_liveObjects;
        }
    }
    // The free list is made afresh, from the last record back, so that it hands records out in
    // order from the first block; the free records after a block's last live one are not listed
    // but taken again from the block's end. Live strings thus gather in the first blocks, and
    // after a peak the sweep skips the records of the blocks that emptied.
    m_freeStrings = nullptr;
    for (auto block = m_stringBlocks.rbegin(); block != m_stringBlocks.rend(); ++block) {
        ESString *cells = stringCells(block->get());
        size_t used = 0;
        for (size_t i = (*block)->used; i-- > 0;) {
            ESString &s = cells[i];
            if (s.inUse() && s.marked) {
                s.marked = false;
                liveBytes += size_t(s.ownTextSize()) * 2 + sizeof(ESString);
                if (used == 0)
                    used = i + 1;
                continue;
            }
            if (s.inUse())
                --m_liveStrings;
            s.makeFree(m_freeStrings);
            if (used != 0)
                m_freeStrings = &s;
        }
        (*block)->used = used;
    }
    m_bumpBlock = 0;
    m_allocatedSinceCollect = 0;
    m_bytesSinceCollect = 0;
    m_byteThreshold = std::max(size_t(8) << 20, liveBytes / 2);
    m_collectThreshold = std::max(MinimumCollectThreshold, (m_liveObjects + m_liveStrings) / 2);
    if (atoms::computedSinceReclaim() >= std::max(AtomReclaimMinimum, atoms::count() / 2))
        reclaimAtoms();
}

namespace {
inline void markAtomOf(const ESValue &v)
{
    if (v.kind == ESAtomKind)
        v.atom->marked = true;
}
} // namespace

bool ESContext::runsNative() const
{
    for (const ESFrame *f = frame; f; f = f->previous)
        if (!f->code)
            return true;
    return false;
}

void ESContext::markHeldAtoms()
{
    for (const auto &chunk : m_chunks) {
        for (size_t i = 0; i < chunk->used; ++i) {
            const ESObject &o = chunk->records[i];
            if (!o.inUse)
                continue;
            if (o.holdsElements()) {
                for (const ESValue &v : o.elements())
                    markAtomOf(v);
            } else {
                markAtomOf(o.internalValue());
            }
            for (const ESProperty &p : o.properties) {
                if (p.key())
                    p.key()->marked = true;
                markAtomOf(p.value);
            }
        }
    }
    for (const ESValue *v = stackBase; v <= sp; ++v)
        markAtomOf(*v);
    for (const ESFrame *f = frame; f; f = f->previous) {
        markAtomOf(f->thisValue);
        markAtomOf(f->completion);
    }
    for (const std::vector<ESValue> *values : m_tempRoots)
        for (const ESValue &v : *values)
            markAtomOf(v);
    for (const auto &block : m_stringBlocks) {
        const ESString *cells = stringCells(block.get());
        for (size_t i = 0; i < block->used; ++i)
            if (cells[i].inUse() && cells[i].atom)
                cells[i].atom->marked = true;
    }
    for (ESAtom *atom : m_slotAtoms)
        if (atom)
            atom->marked = true;
}

bool ESContext::reclaimAtoms()
{
    for (void *holder : atoms::holders())
        if (static_cast<ESContext *>(holder)->runsNative())
            return false;
    atoms::clearComputedMarks();
    for (void *holder : atoms::holders())
        static_cast<ESContext *>(holder)->markHeldAtoms();
    atoms::reclaimUnmarked();
    return true;
}

// --- errors

ESObject *ESContext::makeError(ESNativeError *cls, const QString &message)
{
    ESObject *e = newObject(cls->prototype, cls);
    e->define(messageAtom, newString(message), DontEnum);
    return e;
}

void ESContext::throwErrorAtLine(ESNativeError *cls, int line, const QString &message)
{
    if (standard()) {
        // The standard's message is the bare text; the place travels beside it.
        ESObject *error = makeError(cls, message);
        noteErrorPlace(error, line, currentSource());
        throw ESException(ESValue::fromObject(error));
    }
    const QString text = QStringLiteral("line %1: %3").arg(line).arg(message);
    throw ESException(ESValue::fromObject(makeError(cls, text)));
}

void ESContext::throwError(ESNativeError *cls, const QString &message)
{
    throwErrorAtLine(cls, currentLine(), message);
}

void ESContext::throwTypeError(const QString &message)
{
    throwError(typeErrorClass, message);
}

void ESContext::throwRangeError(const QString &message)
{
    throwError(rangeErrorClass, message);
}

void ESContext::throwPlainError(const QString &message)
{
    throwError(errorClass, message);
}

int ESContext::currentLine() const
{
    for (const ESFrame *f = frame; f; f = f->previous)
        if (f->code && f->pc)
            return f->code->lineAt(uint32_t(f->pc - f->code->code.data()));
    return 0;
}

bool ESContext::isError(const ESValue &value) const
{
    if (!value.isObject())
        return false;
    for (ESObject *o = value.object->prototype; o; o = o->prototype)
        if (o == errorClass->prototype)
            return true;
    return false;
}

QString ESContext::uncaughtMessage(const ESValue &value, UncaughtForm form)
{
    const QString prefix = form == UncaughtForm::PeripheralMessage ? QStringLiteral("Uncaught exception: ")
                                                                    : QStringLiteral("uncaught exception - ");
    // Nothing else holds a value thrown out of every frame; the conversions below run script code.
    const ESRoot root(*this, value);
    try {
        const bool hasMessage = form == UncaughtForm::AnyObjectMessage
                                    ? value.isObject() && hasProperty(value.object, messageAtom)
                                    : isError(value);
        if (hasMessage)
            return toString(get(value.object, messageAtom));
        return prefix + toString(value);
    } catch (const ESException &e) {
        // The conversion threw in turn: what it threw is shown instead, once.
        try {
            return prefix + toString(e.value());
        } catch (const ESException &) {
            return prefix + QStringLiteral("the thrown value could not be converted to text");
        }
    }
}

// --- running

ESValue ESContext::call(ESObject *function, const ESValue &thisValue, int count, const ESValue *args)
{
    try {
        return ESMachine::call(*this, function, thisValue, count, args);
    } catch (const std::bad_alloc &) {
        outOfMemory();
    }
}

ESValue ESContext::callValue(const ESValue &function, const ESValue &thisValue, int count, const ESValue *args)
{
    if (!function.isObject() || !function.object->isCallable())
        throwNotAFunction(QString());
    return call(function.object, thisValue, count, args);
}

ESObject *ESContext::construct(ESObject *constructor, int count, const ESValue *args)
{
    try {
        return ESMachine::construct(*this, constructor, count, args);
    } catch (const std::bad_alloc &) {
        outOfMemory();
    }
}

void ESContext::outOfMemory()
{
    m_memoryReserve.reset();
    throw ESFatalError(QStringLiteral("out of memory"));
}

std::shared_ptr<ESCompiledFunction> ESContext::compileCached(const QString &text, bool callerScope)
{
    for (size_t i = m_cache.size(); i-- > 0;) {
        if (m_cache[i].callerScope == callerScope && m_cache[i].text == text) {
            if (i + 1 != m_cache.size())
                std::rotate(m_cache.begin() + long(i), m_cache.begin() + long(i) + 1, m_cache.end());
            return m_cache.back().function;
        }
    }
    std::shared_ptr<ESCompiledFunction> function;
    try {
        ESCompiler compiler(*this);
        function = compiler.compileProgram(text, callerScope);
    } catch (const std::bad_alloc &) {
        outOfMemory();
    }
    if (m_cache.size() >= CacheEntries)
        m_cache.erase(m_cache.begin());
    m_cache.push_back(CacheEntry{text, callerScope, function});
    return function;
}

ESValue ESContext::execute(const QString &text)
{
    std::shared_ptr<ESCompiledFunction> program = compileCached(text, false);
    try {
        return ESMachine::runProgram(*this, program, ESValue::fromObject(m_global), nullptr);
    } catch (const std::bad_alloc &) {
        outOfMemory();
    }
}

ESValue ESContext::evalInCaller(const QString &text)
{
    // The caller is the script frame below the native eval's own frame.
    ESFrame *caller = frame;
    while (caller && !caller->code)
        caller = caller->previous;
    if (!caller)
        return execute(text);
    // Eval code always resolves names at run time, so that its declarations are ordinary deletable
    // properties of the caller's variable object, the global object included.
    std::shared_ptr<ESCompiledFunction> program = compileCached(text, true);
    return ESMachine::runProgram(*this, program, caller->thisValue, caller->scope);
}

ESEvaluation ESContext::evaluate(const QString &text)
{
    if (!frame) {
        maybeCollect();
        m_thrownLine = 0;   // a place noted by an earlier run would mislead the next report
        m_thrownSource.clear();
    }
    ESEvaluation result;
    try {
        result.value = execute(text);
        result.root = ESRoot(*this, result.value);
    } catch (const ESException &e) {
        result.status = ESEvaluation::Thrown;
        result.value = e.value();
        // Rooted before the message runs script code: the host reports the value after it.
        result.root = ESRoot(*this, result.value);
        result.message = uncaughtMessage(e.value(), UncaughtForm::ErrorMessage);
    }
    return result;
}

} // namespace zim::script
