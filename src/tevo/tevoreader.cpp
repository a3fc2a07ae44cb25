// Executing a TEVO stream opcode by opcode.
#include "tevo/tevoreader.h"

#include "common/hexception.h"
#include "loadfile/hbytestream.h"
#include "tevo/tevodatashape.h"
#include "tevo/tevoexpr.h"
#include "tevo/tevoinsn.h"
#include "tevo/tevomodule.h"
#include "tevo/tevoopcode.h"
#include "tevo/tevopackeddata.h"
#include "tevo/tevosection.h"
#include "tevo/tevosymbol.h"
#include "tevo/tevotype.h"

#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace zim::tevo {

namespace {

// Out of line and cold, so that the checks before them cost the hot paths a compare each.
[[noreturn]] Q_NEVER_INLINE Q_DECL_COLD_FUNCTION void fail(const char *message)
{
    throw common::HException(QString::fromLatin1(message));
}

[[noreturn]] Q_NEVER_INLINE Q_DECL_COLD_FUNCTION void typeError(const char *kind)
{
    throw common::HException(QStringLiteral("bad object file: operand type error (%1 expected)").arg(QLatin1String(kind)));
}

} // namespace

TEVOReader::TEVOReader(loadfile::HByteStream &stream, bool keepLocus)
    : m_stream(&stream), m_cursor(stream.cursor()), m_end(stream.data() + stream.size()),
      m_consumed(stream.size() - stream.position()), m_size(m_consumed), m_keepLocus(keepLocus)
{
}

TEVOReader::TEVOReader(QFile &file, bool keepLocus)
    : m_file(&file), m_window(new uint8_t[chunkSize]), m_size(size_t(std::max<qint64>(0, file.size() - file.pos()))),
      m_keepLocus(keepLocus)
{
}

TEVOReader::~TEVOReader() = default;

// Input ---------------------------------------------------------------------------------

bool TEVOReader::refill()
{
    if (!m_file)
        return false;
    const qint64 got = m_file->read(reinterpret_cast<char *>(m_window.get()), qint64(chunkSize));
    if (got < 0)
        throw common::HException(QStringLiteral("can't read file ") + m_file->fileName());
    m_cursor = m_window.get();
    m_end = m_cursor + got;
    m_consumed += size_t(got);
    return got > 0;
}

uint8_t TEVOReader::nextByte()
{
    if (m_cursor == m_end && !refill())
        fail("premature end of TEVO file");
    return *m_cursor++;
}

void TEVOReader::readPool(uint8_t *dest, uint32_t size)
{
    while (size) {
        if (m_cursor == m_end && !refill())
            fail("premature end of TEVO file");
        const uint32_t n = uint32_t(std::min<size_t>(size, size_t(m_end - m_cursor)));
        std::memcpy(dest, m_cursor, n);
        m_cursor += n;
        dest += n;
        size -= n;
    }
}

// Operand stack -------------------------------------------------------------------------

void TEVOReader::push(TEVOObject *object)
{
    if (m_depth >= maxStack)
        fail("bad object file: reader stack overflow");
    Entry &e = m_stack[m_depth++];
    e.object = object;
    e.tag = Entry::Object;
}

Q_ALWAYS_INLINE void TEVOReader::pushConstant(uint64_t value)
{
    if (m_depth >= maxStack)
        fail("bad object file: reader stack overflow");
    Entry &e = m_stack[m_depth++];
    e.value = int64_t(value);
    e.tag = Entry::Constant;
}

void TEVOReader::pushString(const uint8_t *bytes, uint32_t size)
{
    if (m_depth >= maxStack)
        fail("bad object file: reader stack overflow");
    Entry &e = m_stack[m_depth++];
    e.bytes = bytes;
    e.size = size;
    e.tag = Entry::String;
}

Q_ALWAYS_INLINE TEVOReader::Entry TEVOReader::popEntry()
{
    if (m_depth <= 0)
        fail("bad object file: reader empty stack");
    return m_stack[--m_depth];
}

TEVOObject *TEVOReader::materialize(const Entry &e)
{
    switch (e.tag) {
    case Entry::Constant:
        return constant(uint64_t(e.value));
    case Entry::String:
        return m_module->pool().make<TEVOString>(e.bytes, e.size);
    case Entry::Object:
        break;
    }
    return e.object;
}

TEVOObject *TEVOReader::pop()
{
    return materialize(popEntry());
}

TEVOReader::Bytes TEVOReader::popBytes()
{
    const Entry e = popEntry();
    if (e.tag == Entry::String)
        return Bytes{e.bytes, e.size};
    TEVOObject *o = materialize(e);
    if (!o || o->kind() != TEVOObject::Kind::String)
        typeError("string");
    auto *string = static_cast<TEVOString *>(o);
    return Bytes{string->data(), string->size()};
}

TEVOSymbol *TEVOReader::popSymbol()
{
    TEVOObject *o = pop();
    if (!o || o->kind() != TEVOObject::Kind::Symbol)
        fail("operand type error: symbol expected");
    return static_cast<TEVOSymbol *>(o);
}

TEVOType *TEVOReader::popType()
{
    TEVOObject *o = pop();
    if (!o || o->kind() != TEVOObject::Kind::Type)
        typeError("type");
    return static_cast<TEVOType *>(o);
}

TEVOSection *TEVOReader::popSection()
{
    TEVOObject *o = pop();
    if (!o || o->kind() != TEVOObject::Kind::Section)
        typeError("section");
    return static_cast<TEVOSection *>(o);
}

TEVOString *TEVOReader::popString(bool nullAllowed)
{
    TEVOObject *o = pop();
    if (!o && nullAllowed)
        return nullptr;
    if (!o || o->kind() != TEVOObject::Kind::String)
        typeError("string");
    return static_cast<TEVOString *>(o);
}

TEVOScope *TEVOReader::popScope(bool nullAllowed)
{
    TEVOObject *o = pop();
    if (!o && nullAllowed)
        return nullptr;
    if (!o || o->kind() != TEVOObject::Kind::Scope)
        typeError("scope");
    return static_cast<TEVOScope *>(o);
}

TEVOExpr *TEVOReader::popExpr(bool nullAllowed)
{
    TEVOObject *o = pop();
    if (!o && nullAllowed)
        return nullptr;
    if (!o || o->kind() != TEVOObject::Kind::Expr)
        typeError("expression");
    return static_cast<TEVOExpr *>(o);
}

TEVOFilename *TEVOReader::popFile()
{
    TEVOObject *o = pop();
    if (!o || o->kind() != TEVOObject::Kind::Filename)
        typeError("file");
    return static_cast<TEVOFilename *>(o);
}

int64_t TEVOReader::popConstantValue()
{
    const Entry e = popEntry();
    if (e.tag == Entry::Constant)
        return e.value;
    TEVOObject *o = materialize(e);
    if (!o || o->kind() != TEVOObject::Kind::Expr
        || static_cast<TEVOExpr *>(o)->exprKind() != TEVOExpr::ExprKind::Const)
        typeError("constant expression");
    return static_cast<TEVOConstExpr *>(o)->value();
}

uint32_t TEVOReader::popConstant(uint32_t low, uint32_t high)
{
    const uint64_t value = uint64_t(popConstantValue());
    if (value > 0xFFFFFFFFu || value < low || value > high)
        fail("bad object file: operand value error (constant out of range)");
    return uint32_t(value);
}

TEVOConstExpr *TEVOReader::constant(uint64_t value)
{
    // The eight small constants are shared: a stream of LIT/DROP pairs allocates nothing.
    if (value < 8)
        return m_small[value];
    return m_module->pool().make<TEVOConstExpr>(int64_t(value));
}

Q_ALWAYS_INLINE void TEVOReader::append(TEVOInsn *record)
{
    record->setAddress(m_address);
    record->setLocus(m_pendingLocus);
    m_section->append(record);
}

Q_ALWAYS_INLINE void TEVOReader::appendConstantData(uint64_t value, uint32_t size)
{
    if (!TEVOPackedData::fits(value)) {
        append(m_module->pool().make<TEVODefBytesInsn>(int64_t(value), size, m_bigEndian));
        return;
    }
    if (m_run && m_run->locus() == m_pendingLocus && m_section->lastRecord() == m_run
        && m_run->add(m_module->pool(), m_address, uint32_t(value), size))
        return;
    m_run = TEVOPackedData::make(m_module->pool(), m_bigEndian, m_address, uint32_t(value), size);
    append(m_run);
}

void TEVOReader::appendInstruction(bool marked)
{
    TEVOProcessorInsn *insn = readInstruction();
    insn->setMarkedInsn(marked);
    insn->setStackAdjustment(m_stackAdjustment);
    append(insn);
    m_lastInsn = insn;
    if (!m_keepLocus)
        m_pendingLocus = nullptr;
}

TEVOProcessorInsn &TEVOReader::lastInstruction()
{
    if (!m_lastInsn)
        fail("bad object file: no instruction defined");
    return *m_lastInsn;
}

std::unique_ptr<TEVOModule> TEVOReader::readModule(bool trace, std::FILE *traceOut)
{
    m_module = std::make_unique<TEVOModule>();
    m_module->setProcessor(processorName(), isBigEndian());
    for (int i = 0; i < 8; ++i)
        m_small[i] = m_module->pool().make<TEVOConstExpr>(i);
    m_module->pool().expect(m_size);
    m_bigEndian = isBigEndian();
    m_trace = trace;
    m_traceOut = traceOut;

    run();
    if (m_stream)
        m_stream->skip(m_stream->available());
    if (m_depth != 0)
        fail("bad object file: stack not empty at EOF");
    if (!m_moduleScopeMade)
        fail("bad object file: no module defined");
    m_module->bindMarkers();
    m_section = nullptr;
    m_run = nullptr;
    m_lastInsn = nullptr;
    m_pendingLocus = nullptr;
    return std::move(m_module);
}

// Opcodes -------------------------------------------------------------------------------

// One loop and one switch for every opcode, with and without trace. The cases take their
// operands through the inline pops, which handle plain constants in place and leave the rest,
// and every error, to the general pops.
void TEVOReader::run()
{
    TEVOPool &pool = m_module->pool();
    for (;;) {
        if (m_cursor == m_end && !refill())
            return;
        const uint8_t op = *m_cursor++;
        if (m_trace)
            traceOpcode(position() - 1, op);
        const uint8_t checks = tevoOpcodeTable.checks[op];
        if (checks != TEVOOpcodeTable::knownBit) {
            if (!checks)
                fail("bad object file: unknown tag");
            if (!m_section)
                fail("bad object file: no defined section");
        }

        switch (TEVOOpcode(op)) {
        case TEVOOpcode::LIT0: case TEVOOpcode::LIT1: case TEVOOpcode::LIT2: case TEVOOpcode::LIT3:
        case TEVOOpcode::LIT4: case TEVOOpcode::LIT5: case TEVOOpcode::LIT6: case TEVOOpcode::LIT7:
            if (!m_trace && fusedConstants())
                break;
            pushConstant(op);
            break;
        case TEVOOpcode::LITX: {
            if (!m_trace && fusedConstants())
                break;
            uint64_t value = 0;
            const uint8_t *c = m_cursor;
            const size_t available = size_t(m_end - c);
            if (available > 8 && c[0] <= 8) {
                // The count and eight bytes after it are in the window: one load, with the
                // bytes past the constant shifted out.
                const uint8_t count = c[0];
                value = count ? qFromBigEndian<quint64>(c + 1) >> (64 - 8 * count) : 0;
                m_cursor = c + 1 + count;
            } else if (available && c[0] < available) {
                // The count and all its bytes are in the window: read them in place.
                const uint8_t count = c[0];
                for (unsigned i = 1; i <= count; ++i)
                    value = (value << 8) | c[i];
                m_cursor = c + 1 + count;
            } else {
                const uint8_t count = nextByte();
                for (int i = 0; i < count; ++i)
                    value = (value << 8) | nextByte();
            }
            pushConstant(value);
            break;
        }
        case TEVOOpcode::NULL_:
            push(nullptr);
            break;
        case TEVOOpcode::NULL_NULL:
            push(nullptr);
            push(nullptr);
            break;
        case TEVOOpcode::ADD: case TEVOOpcode::SUB: case TEVOOpcode::MUL: case TEVOOpcode::DIV:
        case TEVOOpcode::MOD: case TEVOOpcode::AND: case TEVOOpcode::OR: case TEVOOpcode::XOR:
        case TEVOOpcode::SHL: case TEVOOpcode::SHR: case TEVOOpcode::EQ: case TEVOOpcode::NE:
        case TEVOOpcode::GT: case TEVOOpcode::LT: case TEVOOpcode::GE: case TEVOOpcode::LE:
        case TEVOOpcode::LAND: case TEVOOpcode::LOR: case TEVOOpcode::ASHR: case TEVOOpcode::BINOP:
        case TEVOOpcode::TEVO_WORD_ADDRESS: {
            TEVOExpr *right = popExpr();
            TEVOExpr *left = popExpr();
            push(pool.make<TEVOBinaryExpr>(op, left, right));
            break;
        }
        case TEVOOpcode::MKSYMBOL: {
            TEVOSymbol *symbol = pool.make<TEVOSymbol>(popString());
            m_module->addToSymbolList(symbol);
            push(symbol);
            break;
        }
        case TEVOOpcode::SYMBOLVAL:
            push(pool.make<TEVOSymbolExpr>(popSymbol()));
            break;
        case TEVOOpcode::ALIAS: {
            const uint32_t n = takeConstant(0, 0xFFFFFFFF);
            auto it = m_module->aliases().constFind(n);
            if (it == m_module->aliases().constEnd())
                fail("bad object file: alias not defined");
            push(it.value());
            break;
        }
        case TEVOOpcode::MKALIAS: {
            const uint32_t n = takeConstant(0, 0xFFFFFFFF);
            TEVOObject *object = pop();
            if (m_module->aliases().contains(n))
                fail("bad object file: alias defined more than once");
            m_module->aliases().insert(n, object);
            break;
        }
        case TEVOOpcode::MKSTRINGZ: {
            const uint32_t offset = takeConstant(0, m_poolSize);
            const uint8_t *start = m_pool + offset;
            const void *zero = offset < m_poolSize ? std::memchr(start, 0, m_poolSize - offset) : nullptr;
            const uint32_t length = zero ? uint32_t(static_cast<const uint8_t *>(zero) - start) : m_poolSize - offset;
            pushString(start, length);
            break;
        }
        case TEVOOpcode::MKSTRING: {
            const uint32_t length = takeConstant(0, m_poolSize);
            const uint32_t offset = takeConstant(0, m_poolSize);
            if (uint64_t(offset) + length > m_poolSize)
                fail("bad object file: operand value error (constant out of range)");
            pushString(m_pool + offset, length);
            break;
        }
        case TEVOOpcode::MARKERDEF: {
            const uint32_t n = takeConstant(0, 0xFFFFFFFF);
            TEVOString *name = popString(true);
            TEVOMarker *marker = m_module->markerToPlace(n);
            if (name)
                marker->setName(name);
            append(marker);
            break;
        }
        case TEVOOpcode::MARKERREF: {
            TEVOMarkerExpr *expr = pool.make<TEVOMarkerExpr>(m_module->marker(takeConstant(0, 0xFFFFFFFF)));
            m_module->addMarkerExpr(expr);
            push(expr);
            break;
        }
        case TEVOOpcode::STRINGPOOL: {
            const uint32_t size = takeConstant(0, 0xFFFFFF);
            // Checked before allocating, so a pool larger than the file costs nothing.
            if (m_size - position() < size)
                fail("premature end of TEVO file");
            uint8_t *bytes = pool.allocateBytes(size);
            readPool(bytes, size);
            m_pool = bytes;
            m_poolSize = size;
            break;
        }
        case TEVOOpcode::SECTION:
            m_section = popSection();
            break;
        case TEVOOpcode::MKSECTION:
            push(m_module->section(popString()));
            break;
        case TEVOOpcode::SYMBOLDEF: {
            TEVOExpr *expr = popExpr();
            popSymbol()->setDefinition(expr);
            break;
        }
        case TEVOOpcode::SETTYPE: {
            TEVOType *type = popType();
            if (TEVOObject *object = pop())
                m_module->setTypeOf(object, type);
            break;
        }
        case TEVOOpcode::SETNAME: {
            TEVOString *name = popString();
            TEVOObject *object = pop();
            if (object)
                object->setName(name);
            push(object);
            break;
        }
        case TEVOOpcode::DEFBYTES: {
            const uint32_t size = takeConstant(1, 4);
            if (m_depth > 0 && m_stack[m_depth - 1].tag == Entry::Constant)
                appendConstantData(uint64_t(popEntry().value), size);
            else
                append(pool.make<TEVODefBytesInsn>(popExpr(), size, m_bigEndian));
            break;
        }
        case TEVOOpcode::INSN:
        case TEVOOpcode::INSN_MARKED:
            appendInstruction(op == uint8_t(TEVOOpcode::INSN_MARKED));
            break;
        case TEVOOpcode::FILL: {
            const uint64_t value = uint64_t(takeConstantValue());
            const uint32_t count = takeConstant(0, 0xFFFFFFFF);
            append(pool.make<TEVOFillInsn>(count, value));
            break;
        }
        case TEVOOpcode::ALIGN:
            append(pool.make<TEVOAlignInsn>(takeConstant(0, 0xFFFFFFFF)));
            break;
        case TEVOOpcode::ORIGIN:
            append(pool.make<TEVOOriginInsn>(takeConstant(0, 0xFFFFFFFF)));
            break;
        case TEVOOpcode::BREAK:
            if (m_section)
                m_section->breakFragment();
            break;
        case TEVOOpcode::PUBLIC:
            m_module->addPublic(popSymbol());
            break;
        case TEVOOpcode::LOCUS: {
            const uint32_t line = takeConstant(0, 0xFFFFFFFF);
            TEVOLocus *locus = pool.make<TEVOLocus>(popFile(), line);
            append(locus);
            m_pendingLocus = locus;
            break;
        }
        case TEVOOpcode::MKFILENAME:
            push(pool.make<TEVOFilename>(popString()));
            break;
        case TEVOOpcode::SETPC:
            m_address = takeConstant(0, 0xFFFFFFFF);
            break;
        case TEVOOpcode::SETBYTES: {
            const Bytes bytes = popBytes();
            lastInstruction().setStoredBytes(bytes.data, bytes.size);
            break;
        }
        case TEVOOpcode::CHAR:
        case TEVOOpcode::INT:
            push(pool.make<TEVOType>(TEVOType::TypeKind::Unsigned, takeConstant(0, 0xFFFFFFFF)));
            break;
        case TEVOOpcode::UNSIGNED:
            push(pool.make<TEVOType>(TEVOType::TypeKind::Int, takeConstant(0, 0xFFFFFFFF)));
            break;
        case TEVOOpcode::STRUC_OLD:
            push(pool.make<TEVOType>(TEVOType::TypeKind::Structure, 0));
            break;
        case TEVOOpcode::ARRAY: {
            const uint32_t count = takeConstant(0, 0xFFFFFFFF);
            TEVOType *array = pool.make<TEVOType>(TEVOType::TypeKind::Array, count);
            array->setInner(popType());
            push(array);
            break;
        }
        case TEVOOpcode::COUNTED_ARRAY: {
            const uint32_t count = takeConstant(0, 0xFFFFFFFF);
            TEVOType *second = popType();
            TEVOType *first = popType();
            TEVOType *array = pool.make<TEVOType>(TEVOType::TypeKind::CountedArray, count);
            array->setInner(first, second);
            push(array);
            break;
        }
        case TEVOOpcode::PTR: {
            TEVOType *second = popType();
            TEVOType *first = popType();
            TEVOType *pointer = pool.make<TEVOType>(TEVOType::TypeKind::Pointer, 0);
            pointer->setInner(first, second);
            push(pointer);
            break;
        }
        case TEVOOpcode::UNTYPED:
            push(pool.make<TEVOType>(TEVOType::TypeKind::Untyped, takeConstant(0, 0xFFFFFFFF)));
            break;
        case TEVOOpcode::FLOAT:
            push(pool.make<TEVOType>(TEVOType::TypeKind::Float, takeConstant(0, 0xFFFFFFFF)));
            break;
        case TEVOOpcode::FUNCTION:
            takeConstantValue();
            takeConstantValue();
            takeConstantValue();
            push(pool.make<TEVOType>(TEVOType::TypeKind::Function, 0));
            break;
        case TEVOOpcode::MEMBER: {
            TEVOType *member = pool.make<TEVOType>(TEVOType::TypeKind::Member, 0);
            member->setInner(popType());
            push(member);
            break;
        }
        case TEVOOpcode::STATIC_FIELD: {
            TEVOType *type = popType();
            TEVOExpr *address = popExpr(true);
            TEVOString *name = popString();
            popType()->addField({name, type, address, 0, 0});
            break;
        }
        case TEVOOpcode::DYNAMIC_FIELD: {
            TEVOType *type = popType();
            const uint64_t bits = uint64_t(takeConstantValue());
            const uint64_t offset = uint64_t(takeConstantValue());
            TEVOString *name = popString();
            TEVOType *structure = popType();
            structure->addField({name, type, nullptr, offset, bits});
            push(structure);
            break;
        }
        case TEVOOpcode::PARAMIN:
        case TEVOOpcode::PARAMOUT: {
            TEVOSymbol *symbol = popSymbol();
            TEVOType *function = popType();
            function->addParameter(symbol, op == uint8_t(TEVOOpcode::PARAMOUT));
            push(function);
            break;
        }
        case TEVOOpcode::LIBRARY:
            m_module->addLibrary(popString());
            break;
        case TEVOOpcode::SETSCOPE: {
            TEVOSymbol *symbol = popSymbol();
            TEVOScope *scope = popScope();
            symbol->setScope(scope);
            scope->addSymbol(symbol);
            push(symbol);
            break;
        }
        case TEVOOpcode::SCOPE_BLOCK:
        case TEVOOpcode::SCOPE_FUNCTION:
        case TEVOOpcode::SCOPE_MODULE: {
            TEVOExpr *high = popExpr();
            TEVOExpr *low = popExpr();
            TEVOScope *parent = popScope(true);
            TEVOScope *scope;
            if (op == uint8_t(TEVOOpcode::SCOPE_MODULE) && !m_moduleScopeMade) {
                // The first module scope is the module itself.
                scope = m_module.get();
                m_moduleScopeMade = true;
            } else {
                const auto kind = op == uint8_t(TEVOOpcode::SCOPE_BLOCK)      ? TEVOScope::ScopeKind::Block
                                  : op == uint8_t(TEVOOpcode::SCOPE_FUNCTION) ? TEVOScope::ScopeKind::Function
                                                                              : TEVOScope::ScopeKind::Module;
                scope = pool.make<TEVOScope>(kind);
            }
            scope->setRange(parent == scope ? nullptr : parent, low, high);
            push(scope);
            break;
        }
        case TEVOOpcode::DUP: {
            // A string becomes one object first, so that both copies are the same object.
            const Entry e = popEntry();
            if (e.tag == Entry::Constant) {
                pushConstant(uint64_t(e.value));
                pushConstant(uint64_t(e.value));
            } else {
                TEVOObject *object = materialize(e);
                push(object);
                push(object);
            }
            break;
        }
        case TEVOOpcode::DROP:
            popEntry();
            break;
        case TEVOOpcode::SPACE:
            append(pool.make<TEVOSpaceInsn>(popExpr()));
            break;
        case TEVOOpcode::ATTRIBUTE: {
            TEVOString *name = popString();
            TEVOString *value = popString();
            m_module->setAttribute(name, value);
            break;
        }
        case TEVOOpcode::FORWARDTYPE: {
            const uint32_t n = takeConstant(0, 0xFFFFFFFF);
            TEVOType *forward = pool.make<TEVOType>(TEVOType::TypeKind::Forward, 0);
            forward->setQualifier(n);
            push(forward);
            break;
        }
        case TEVOOpcode::NOP:
        case TEVOOpcode::END_OF_INFO:
        case TEVOOpcode::PTR_REP0:
        case TEVOOpcode::PTR_REP1:
            break;
        case TEVOOpcode::PROTECTED:
            m_module->setProtected(true);
            break;
        case TEVOOpcode::CODELET:
            takeConstantValue();
            popSymbol();
            break;
        case TEVOOpcode::STRUC:
            push(pool.make<TEVOType>(TEVOType::TypeKind::Structure, takeConstant(0, 0xFFFFFFFF)));
            break;
        case TEVOOpcode::LINK_ORDER_PRIORITY:
            takeConstantValue();
            break;
        case TEVOOpcode::PATCHABLE: {
            takeConstantValue();
            TEVOSymbol *symbol = popSymbol();
            symbol->setPatchable(true);
            push(symbol);
            break;
        }
        case TEVOOpcode::INSTRUMENTATION_DATA: {
            const uint32_t value = takeConstant(0, 0xFFFFFFFF);
            lastInstruction().setInstrumentation(value);
            break;
        }
        case TEVOOpcode::PATCHED: {
            takeConstantValue();
            push(popSymbol());
            break;
        }
        case TEVOOpcode::REGISTER:
            push(pool.make<TEVORegisterExpr>(int(takeConstant(0, 0x7FFFFFFF))));
            break;
        case TEVOOpcode::LOCAL_INSN:
            append(pool.make<TEVOLocalInsn>(popExpr()));
            break;
        case TEVOOpcode::SETFLAGS:
            m_section->setFlags(takeConstant(0, 0xFFFFFFFF));
            break;
        case TEVOOpcode::CLEAR_LOCUS:
            m_pendingLocus = nullptr;
            break;
        case TEVOOpcode::SET_FCT_SYMBOL: {
            TEVOSymbol *symbol = popSymbol();
            TEVOScope *scope = popScope();
            scope->setFunctionSymbol(symbol);
            symbol->setFunctionScope(scope);
            break;
        }
        case TEVOOpcode::ADJUST_STACK:
            m_stackAdjustment = int32_t(takeConstant(0, 0xFFFFFFFF));
            break;
        case TEVOOpcode::INIT:
            append(pool.make<TEVOInitInsn>(m_module.get(), popString()));
            break;
        case TEVOOpcode::SYMBOL_LOCUS: {
            const uint32_t line = takeConstant(0, 0xFFFFFFFF);
            TEVOFilename *file = popFile();
            TEVOSymbol *symbol = popSymbol();
            symbol->setLocus(file, line);
            push(symbol);
            break;
        }
        case TEVOOpcode::SET_INSN_ATTRIBUTE: {
            const uint32_t word = takeConstant(0, 0xFFFFFFFF);
            if (m_lastInsn)
                m_lastInsn->setAttribute(word);
            break;
        }
        case TEVOOpcode::DEFADDR:
            if (m_depth > 0 && m_stack[m_depth - 1].tag == Entry::Constant)
                append(pool.make<TEVODefAddrInsn>(popEntry().value, 2, m_bigEndian));
            else
                append(pool.make<TEVODefAddrInsn>(popExpr(), 2, m_bigEndian));
            break;
        case TEVOOpcode::MEMSPACE0: case TEVOOpcode::MEMSPACE1:
        case TEVOOpcode::MEMSPACE2: case TEVOOpcode::MEMSPACE3: {
            TEVOType *qualified = pool.make<TEVOType>(TEVOType::TypeKind::Qualified, 0);
            qualified->setInner(popType());
            qualified->setQualifier(op - uint8_t(TEVOOpcode::MEMSPACE0));
            push(qualified);
            break;
        }
        case TEVOOpcode::LINKIF:
            append(pool.make<TEVOLinkIf>(popExpr()));
            break;
        case TEVOOpcode::ENDLINKIF:
            append(pool.make<TEVOEndLinkIf>());
            break;
        }
        if (m_trace)
            traceStack();
    }
}

// The sequences that most of an executable is made of, executed without the operand stack and
// without a dispatch per opcode: a constant followed by the opcode that consumes it (SETPC,
// ADJUST_STACK, INSTRUMENTATION_DATA, the instruction attribute), constant data (v LITk
// DEFBYTES), and a pool string (offset length MKSTRING) with what takes it next (SETBYTES, or
// MKFILENAME line LOCUS); the null operands of instructions and any other constant are pushed
// in place, so that a run of records is read without going back to the dispatch. Each is taken
// only where the general path could not fail on it, so every error still comes from there with
// its message, and the module built is the same.
bool TEVOReader::fusedConstants()
{
    // The longest sequence read below: three constants of ten bytes and four opcodes.
    constexpr ptrdiff_t longest = 3 * 10 + 4;
    // A constant (LIT or LITX) at p: its value, and the byte after it in `after`. False for
    // anything else.
    auto constantAt = [](const uint8_t *p, uint64_t &value, const uint8_t *&after) {
        if (p[0] < 8) {
            value = p[0];
            after = p + 1;
            return true;
        }
        if (p[0] != uint8_t(TEVOOpcode::LITX) || p[1] > 8)
            return false;
        const uint8_t count = p[1];
        value = count ? qFromBigEndian<quint64>(p + 2) >> (64 - 8 * count) : 0;
        after = p + 2 + count;
        return true;
    };

    // The opcode just read is a constant.
    const uint8_t *p = m_cursor - 1;
    const uint8_t *const start = p;
    while (m_end - p >= longest) {
        // The null operands of an instruction.
        if (p[0] == uint8_t(TEVOOpcode::NULL_) || p[0] == uint8_t(TEVOOpcode::NULL_NULL)) {
            const int nulls = p[0] == uint8_t(TEVOOpcode::NULL_NULL) ? 2 : 1;
            if (m_depth + nulls > maxStack)
                break;
            for (int i = 0; i < nulls; ++i) {
                Entry &e = m_stack[m_depth++];
                e.object = nullptr;
                e.tag = Entry::Object;
            }
            p += 1;
            continue;
        }
        uint64_t value;
        const uint8_t *q;
        if (!constantAt(p, value, q))
            break;
        switch (TEVOOpcode(q[0])) {
        case TEVOOpcode::SETPC:
            if (value > 0xFFFFFFFFu || m_depth >= maxStack)
                goto done;
            m_address = uint32_t(value);
            p = q + 1;
            continue;
        case TEVOOpcode::ADJUST_STACK:
            if (value > 0xFFFFFFFFu || m_depth >= maxStack)
                goto done;
            m_stackAdjustment = int32_t(uint32_t(value));
            p = q + 1;
            continue;
        case TEVOOpcode::INSTRUMENTATION_DATA:
            if (value > 0xFFFFFFFFu || m_depth >= maxStack || !m_lastInsn)
                goto done;
            m_lastInsn->setInstrumentation(uint32_t(value));
            p = q + 1;
            continue;
        case TEVOOpcode::SET_INSN_ATTRIBUTE:
            if (value > 0xFFFFFFFFu || m_depth >= maxStack)
                goto done;
            if (m_lastInsn)
                m_lastInsn->setAttribute(uint32_t(value));
            p = q + 1;
            continue;
        case TEVOOpcode::INSN:
        case TEVOOpcode::INSN_MARKED:
            // The instruction code: the processor's reader takes it and the operands from the
            // stack.
            if (m_depth >= maxStack || !m_section)
                goto done;
            pushConstant(value);
            appendInstruction(q[0] == uint8_t(TEVOOpcode::INSN_MARKED));
            p = q + 1;
            continue;
        default:
            break;
        }
        // Two constants and what they make.
        uint64_t second;
        const uint8_t *r;
        if (!constantAt(q, second, r) || m_depth + 2 > maxStack
            || (r[0] == uint8_t(TEVOOpcode::DEFBYTES) ? second < 1 || second > 4 || !m_section
                                                       : r[0] != uint8_t(TEVOOpcode::MKSTRING) || value > m_poolSize
                                                             || second > m_poolSize || value + second > m_poolSize)) {
            // Anything else: the constant goes onto the stack as LIT or LITX would put it,
            // and what follows it is read from there on.
            if (m_depth >= maxStack)
                break;
            pushConstant(value);
            p = q;
            continue;
        }
        if (r[0] == uint8_t(TEVOOpcode::DEFBYTES)) {
            appendConstantData(value, uint32_t(second));
            p = packedRecords(r + 1);
            continue;
        }
        const uint8_t *bytes = m_pool + value;
        const uint32_t length = uint32_t(second);
        p = r + 1;
        if (p[0] == uint8_t(TEVOOpcode::SETBYTES) && m_lastInsn) {
            m_lastInsn->setStoredBytes(bytes, length);
            p += 1;
            continue;
        }
        uint64_t line;
        const uint8_t *t;
        if (p[0] == uint8_t(TEVOOpcode::MKFILENAME) && m_section && constantAt(p + 1, line, t)
            && t[0] == uint8_t(TEVOOpcode::LOCUS) && line <= 0xFFFFFFFFu) {
            TEVOPool &pool = m_module->pool();
            // The file name never reaches the stack here, so no opcode can rename it: loci of
            // one file share one name object.
            if (bytes != m_locusFileBytes || length != m_locusFileLength) {
                m_locusFile = pool.make<TEVOFilename>(pool.make<TEVOString>(bytes, length));
                m_locusFileBytes = bytes;
                m_locusFileLength = length;
            }
            TEVOLocus *locus = pool.make<TEVOLocus>(m_locusFile, uint32_t(line));
            append(locus);
            m_pendingLocus = locus;
            p = t + 1;
            continue;
        }
        pushString(bytes, length);
    }
done:
    m_cursor = p == start ? m_cursor : p;
    return p != start;
}

// Right after a constant data record has gone into a packed run: the data records that follow
// it in the form LITX a SETPC (LIT v | LITX v) LITk DEFBYTES, with addresses and values of up
// to four bytes, go into the same run while its pool block has room and they continue its
// layout. Returns where the records taken end.
const uint8_t *TEVOReader::packedRecords(const uint8_t *p)
{
    if (!m_run || m_section->lastRecord() != m_run)
        return p;
    // The most bytes one record is read from, with the eight-byte loads of its constants.
    constexpr ptrdiff_t longest = 24;
    // n bytes (up to 4) of the big-endian number at c, from an eight-byte load.
    auto number = [](const uint8_t *c, uint32_t n) { return uint32_t((qFromBigEndian<quint64>(c) >> 1) >> (63 - 8 * n)); };
    constexpr uint8_t litx = uint8_t(TEVOOpcode::LITX);
    constexpr uint8_t setpc = uint8_t(TEVOOpcode::SETPC);
    constexpr uint8_t defbytes = uint8_t(TEVOOpcode::DEFBYTES);

    // Below, a record at p is LITX na a SETPC, then q points at its value: LIT v or LITX nv v,
    // and then r at LITk DEFBYTES.
    TEVOPool &pool = m_module->pool();
    const uint8_t *const end = m_end;
    size_t room;
    if (m_run->isConsecutive()) {
        uint32_t *const values = m_run->freeValues(pool, room);
        uint32_t *const limit = values + room;
        uint32_t *out = values;
        uint64_t next = m_run->nextAddress();
        const uint32_t step = m_run->consecutiveSize();
        // The records come in stretches of one shape (the byte counts of address and value):
        // within one, each record is matched whole against the address it must have and the
        // next one's place is known before this one's bytes are loaded. A change of shape, an
        // address that needs another byte for instance, is learnt again.
        TEVODataShape shape;
        while (end - p >= TEVODataShape::readLength && shape.learn(p, step)) {
            const uint64_t byWindow = uint64_t(end - p - TEVODataShape::readLength) / shape.length() + 1;
            const uint64_t n = std::min({uint64_t(limit - out), byWindow, shape.recordsFrom(next, step)});
            uint64_t i = 0;
            for (; i < n && shape.matches(p, next); ++i) {
                out[i] = shape.value(p);
                p += shape.length();
                next += step;
            }
            out += i;
            if (i == 0 || out == limit)
                break;
        }
        if (out != values) {
            m_run->commit(pool, uint32_t(out - values));
            m_address = uint32_t(next - step);
        }
    } else {
        TEVOPackedData::Entry *const entries = m_run->freeEntries(pool, room);
        TEVOPackedData::Entry *const limit = entries + room;
        TEVOPackedData::Entry *out = entries;
        while (out < limit && end - p >= longest) {
            if (p[0] != litx || p[1] > 4)
                break;
            const uint8_t *q = p + 2 + p[1];
            const uint32_t a = number(p + 2, p[1]);
            if (q[0] != setpc || a > TEVOPackedData::maxAddress)
                break;
            uint32_t v;
            const uint8_t *r;
            if (q[1] < 8) {
                v = q[1];
                r = q + 2;
            } else if (q[1] == litx && q[2] <= 4) {
                v = number(q + 3, q[2]);
                r = q + 3 + q[2];
            } else {
                break;
            }
            if (uint32_t(r[0]) - 1 > 3 || r[1] != defbytes)
                break;
            *out++ = TEVOPackedData::Entry::of(a, v, r[0]);
            p = r + 2;
        }
        if (out != entries) {
            m_run->commit(pool, uint32_t(out - entries));
            m_address = out[-1].address();
        }
    }
    return p;
}

// Trace ---------------------------------------------------------------------------------

void TEVOReader::traceOpcode(size_t offset, uint8_t op)
{
    const TEVOOpcodeInfo *info = tevoOpcodeInfo(op);
    if (info && info->name[0])
        std::fprintf(m_traceOut, "%06zx %s\n", offset, info->name);
    else
        std::fprintf(m_traceOut, "%06zx tag=0x%02x\n", offset, unsigned(op));
}

void TEVOReader::traceStack()
{
    QByteArray line = "\t[";
    for (int i = 0; i < m_depth; ++i) {
        if (i)
            line += ' ';
        if (m_stack[i].tag == Entry::Constant) {
            line += "n:" + TEVOConstExpr(m_stack[i].value).text();
            continue;
        }
        if (m_stack[i].tag == Entry::String) {
            line += "str:" + QByteArray(reinterpret_cast<const char *>(m_stack[i].bytes), qsizetype(m_stack[i].size));
            continue;
        }
        TEVOObject *o = m_stack[i].object;
        if (!o) {
            line += "null";
            continue;
        }
        switch (o->kind()) {
        case TEVOObject::Kind::Expr: {
            auto *expr = static_cast<TEVOExpr *>(o);
            if (expr->exprKind() == TEVOExpr::ExprKind::Const)
                line += "n:" + expr->text();
            else if (expr->exprKind() == TEVOExpr::ExprKind::Marker)
                line += "mkr " + expr->text();
            else
                line += "unk " + expr->text();
            break;
        }
        case TEVOObject::Kind::String:
            line += "str:" + static_cast<TEVOString *>(o)->bytes();
            break;
        case TEVOObject::Kind::Symbol:
            line += "sym:" + nameText(o->name());
            break;
        case TEVOObject::Kind::Type: {
            auto *type = static_cast<TEVOType *>(o);
            line += (type->typeKind() == TEVOType::TypeKind::Function ? "fcn " : "typ ") + nameText(type->name());
            break;
        }
        case TEVOObject::Kind::Scope:
            line += "scp " + nameText(o->name());
            break;
        default:
            line += "unk " + nameText(o->name());
            break;
        }
    }
    line += "]\n";
    std::fputs(line.constData(), m_traceOut);
}

} // namespace zim::tevo
