// Writing TEVO streams from descriptions and load files.
#include "tevo/tevowriter.h"

#include "common/hexception.h"
#include "loadfile/loadfileinterface.h"
#include "tevo/tevosection.h"

#include <algorithm>

namespace zim::tevo {

namespace {

constexpr uint32_t maxPoolSize = 0xFFFFFF;
// Alias numbers of the writer: the module, then one per section.
constexpr uint32_t moduleAlias = 1;
constexpr uint32_t firstSectionAlias = 16;

} // namespace

void TEVOWriter::op(TEVOOpcode opcode)
{
    const TEVOOpcodeInfo *info = tevoOpcodeInfo(uint8_t(opcode));
    Q_ASSERT(info);
    m_body += char(uint8_t(opcode));
    m_depth += int(info->pushes) - int(info->pops);
}

void TEVOWriter::constant(uint64_t value)
{
    if (value < 8) {
        op(TEVOOpcode(uint8_t(value)));
        return;
    }
    QByteArray bytes;
    while (value) {
        bytes.prepend(char(value & 0xFF));
        value >>= 8;
    }
    constantBytes(bytes);
}

void TEVOWriter::constantBytes(const QByteArray &bigEndianBytes)
{
    Q_ASSERT(bigEndianBytes.size() <= 255);
    op(TEVOOpcode::LITX);
    m_body += char(bigEndianBytes.size());
    m_body += bigEndianBytes;
}

uint32_t TEVOWriter::poolOffset(const QByteArray &bytes)
{
    auto it = m_offsets.constFind(bytes);
    if (it != m_offsets.constEnd())
        return it.value();
    const uint32_t offset = uint32_t(m_pool.size());
    m_pool += bytes;
    m_offsets.insert(bytes, offset);
    return offset;
}

void TEVOWriter::string(const QByteArray &bytes)
{
    constant(poolOffset(bytes));
    constant(uint32_t(bytes.size()));
    op(TEVOOpcode::MKSTRING);
}

void TEVOWriter::stringZ(const QByteArray &bytes)
{
    constant(poolOffset(bytes + '\0'));
    op(TEVOOpcode::MKSTRINGZ);
}

QByteArray TEVOWriter::finish() const
{
    if (m_pool.size() > qsizetype(maxPoolSize))
        throw common::HException(QStringLiteral("TEVO string pool of %1 bytes is larger than the 16 MB a file may hold")
                             .arg(m_pool.size()));
    if (m_pool.isEmpty())
        return m_body;
    TEVOWriter head;
    head.constant(uint32_t(m_pool.size()));
    head.op(TEVOOpcode::STRINGPOOL);
    return head.m_body + m_pool + m_body;
}

namespace {

// Types, symbols, scopes and the other opcodes that a loader reads past. Leaves the stack
// as it found it.
void writeBookkeeping(TEVOWriter &w)
{
    w.string("rt430");
    w.op(TEVOOpcode::LIBRARY);
    w.string("1.0");
    w.string("version");
    w.op(TEVOOpcode::ATTRIBUTE);
    w.op(TEVOOpcode::PROTECTED);
    w.op(TEVOOpcode::NOP);
    w.op(TEVOOpcode::PTR_REP0);
    w.op(TEVOOpcode::PTR_REP1);
    w.constant(5);
    w.op(TEVOOpcode::LINK_ORDER_PRIORITY);

    // Types: a structure with a dynamic and a static field, and one of each other kind.
    w.constant(4);
    w.op(TEVOOpcode::STRUC);             // st
    w.string("count");
    w.constant(0);
    w.constant(16);
    w.constant(2);
    w.op(TEVOOpcode::INT);
    w.op(TEVOOpcode::DYNAMIC_FIELD);     // st
    w.op(TEVOOpcode::DUP);
    w.string("shared");
    w.constant(0x200);
    w.constant(1);
    w.op(TEVOOpcode::CHAR);
    w.op(TEVOOpcode::STATIC_FIELD);      // st
    w.op(TEVOOpcode::DROP);
    w.constant(2);
    w.op(TEVOOpcode::UNSIGNED);
    w.op(TEVOOpcode::MEMSPACE1);
    w.constant(8);
    w.op(TEVOOpcode::FLOAT);
    w.op(TEVOOpcode::PTR);
    w.constant(10);
    w.op(TEVOOpcode::ARRAY);
    w.op(TEVOOpcode::MEMBER);
    w.op(TEVOOpcode::DROP);
    w.op(TEVOOpcode::STRUC_OLD);
    w.constant(0);
    w.op(TEVOOpcode::UNTYPED);
    w.constant(3);
    w.op(TEVOOpcode::COUNTED_ARRAY);
    w.op(TEVOOpcode::DROP);
    w.constant(7);
    w.op(TEVOOpcode::FORWARDTYPE);
    w.op(TEVOOpcode::DROP);

    // A public function symbol in its scope, with a type, a source position and the
    // code-generation marks.
    w.constant(moduleAlias);
    w.op(TEVOOpcode::ALIAS);
    w.constant(0x4400);
    w.constant(0x4410);
    w.op(TEVOOpcode::SCOPE_FUNCTION);    // fs
    w.op(TEVOOpcode::DUP);               // fs fs
    w.string("main");
    w.op(TEVOOpcode::MKSYMBOL);          // fs fs s
    w.op(TEVOOpcode::DUP);
    w.op(TEVOOpcode::PUBLIC);
    w.op(TEVOOpcode::DUP);
    w.constant(0x4400);
    w.constant(0x10);
    w.op(TEVOOpcode::ADD);
    w.op(TEVOOpcode::SYMBOLDEF);
    w.op(TEVOOpcode::DUP);
    w.constant(0);
    w.constant(1);
    w.constant(2);
    w.op(TEVOOpcode::FUNCTION);
    w.string("argc");
    w.op(TEVOOpcode::MKSYMBOL);
    w.op(TEVOOpcode::PARAMIN);
    w.string("result");
    w.op(TEVOOpcode::MKSYMBOL);
    w.op(TEVOOpcode::PARAMOUT);
    w.op(TEVOOpcode::SETTYPE);           // fs fs s
    w.op(TEVOOpcode::DUP);
    w.constant(3);
    w.op(TEVOOpcode::CODELET);
    w.constant(5);
    w.op(TEVOOpcode::PATCHABLE);
    w.constant(6);
    w.op(TEVOOpcode::PATCHED);
    w.string("main.c");
    w.op(TEVOOpcode::MKFILENAME);
    w.constant(12);
    w.op(TEVOOpcode::SYMBOL_LOCUS);      // fs fs s
    w.op(TEVOOpcode::SETSCOPE);          // fs s
    w.op(TEVOOpcode::SET_FCT_SYMBOL);    //
    w.constant(moduleAlias);
    w.op(TEVOOpcode::ALIAS);
    w.string("limit");
    w.op(TEVOOpcode::MKSYMBOL);
    w.op(TEVOOpcode::DUP);
    w.constant(0x100);
    w.constant(1);
    w.op(TEVOOpcode::SHL);
    w.op(TEVOOpcode::SYMBOLDEF);
    w.string("LIMIT");
    w.op(TEVOOpcode::SETNAME);
    w.op(TEVOOpcode::DROP);
    w.constant(0x4400);
    w.constant(0x4402);
    w.op(TEVOOpcode::SCOPE_BLOCK);
    w.op(TEVOOpcode::DROP);
}

void writeOperand(TEVOWriter &w, bool present, int which)
{
    if (!present) {
        w.op(TEVOOpcode::NULL_);
        return;
    }
    if (which == 1) {
        w.constant(0x1234);
        return;
    }
    w.constant(4);
    w.op(TEVOOpcode::REGISTER);
}

void writeRecord(TEVOWriter &w, const TEVORecordPlan &r, bool bookkeeping)
{
    if (r.kind == TEVORecordPlan::Break) {
        w.op(TEVOOpcode::BREAK);
        return;
    }
    w.constant(r.address);
    w.op(TEVOOpcode::SETPC);
    switch (r.kind) {
    case TEVORecordPlan::Insn:
        if (bookkeeping) {
            w.constant(2);
            w.op(TEVOOpcode::ADJUST_STACK);
        }
        if (!r.first && !r.second) {
            w.op(TEVOOpcode::NULL_NULL);
        } else {
            writeOperand(w, r.first, 1);
            writeOperand(w, r.second, 2);
        }
        w.constant(r.code);
        w.op(bookkeeping && (r.address & 2) ? TEVOOpcode::INSN_MARKED : TEVOOpcode::INSN);
        w.string(r.bytes);
        w.op(TEVOOpcode::SETBYTES);
        if (bookkeeping) {
            w.constant(1);
            w.op(TEVOOpcode::INSTRUMENTATION_DATA);
            w.constant(0);
            w.op(TEVOOpcode::SET_INSN_ATTRIBUTE);
        }
        break;
    case TEVORecordPlan::Data:
        w.constant(r.value);
        w.constant(r.size);
        w.op(TEVOOpcode::DEFBYTES);
        break;
    case TEVORecordPlan::Address:
        // Written as a sum so that an expression travels through the stream.
        w.constant(r.value - 1);
        w.constant(1);
        w.op(TEVOOpcode::ADD);
        w.op(TEVOOpcode::DEFADDR);
        break;
    case TEVORecordPlan::Align:
        w.constant(r.count);
        w.op(TEVOOpcode::ALIGN);
        break;
    case TEVORecordPlan::Fill:
        w.constant(r.count);
        w.constant(r.value);
        w.op(TEVOOpcode::FILL);
        break;
    case TEVORecordPlan::Space:
        w.constant(r.count);
        w.op(TEVOOpcode::SPACE);
        break;
    case TEVORecordPlan::Origin:
        w.constant(r.value);
        w.op(TEVOOpcode::ORIGIN);
        break;
    case TEVORecordPlan::Marker:
        if (r.name.isEmpty())
            w.op(TEVOOpcode::NULL_);
        else
            w.stringZ(r.name);
        w.constant(r.number);
        w.op(TEVOOpcode::MARKERDEF);
        break;
    case TEVORecordPlan::Locus:
        w.string(r.name);
        w.op(TEVOOpcode::MKFILENAME);
        w.constant(r.number);
        w.op(TEVOOpcode::LOCUS);
        break;
    case TEVORecordPlan::Init:
        w.string(r.name);
        w.op(TEVOOpcode::INIT);
        break;
    case TEVORecordPlan::Local:
        w.constant(r.value);
        w.op(TEVOOpcode::LOCAL_INSN);
        break;
    case TEVORecordPlan::LinkIf:
        w.constant(r.value);
        w.op(TEVOOpcode::LINKIF);
        break;
    case TEVORecordPlan::EndLinkIf:
        w.op(TEVOOpcode::ENDLINKIF);
        break;
    case TEVORecordPlan::Break:
        break;
    }
}

// The bytes a record occupies at its address, as far as the description tells (an INIT
// record's size is that of a section laid out later: none here).
uint64_t plannedSize(const TEVORecordPlan &r)
{
    switch (r.kind) {
    case TEVORecordPlan::Insn: return uint64_t(r.bytes.size());
    case TEVORecordPlan::Data: return r.size;
    case TEVORecordPlan::Address: return 2;
    case TEVORecordPlan::Fill:
    case TEVORecordPlan::Space: return r.count;
    default: return 0;
    }
}

// The module scope with the address range its records span: from the lowest address to one
// past the highest byte (0 to 0 without any).
void writeModuleScope(TEVOWriter &w, const TEVOExecutablePlan &plan)
{
    uint64_t low = UINT64_MAX;
    uint64_t high = 0;
    for (const TEVOSectionPlan &section : plan.sections) {
        for (const TEVORecordPlan &record : section.records) {
            if (record.kind == TEVORecordPlan::Break || record.address == 0xFFFFFFFF)
                continue;
            low = std::min<uint64_t>(low, record.address);
            high = std::max<uint64_t>(high, record.address + plannedSize(record));
        }
    }
    if (low > high)
        low = high = 0;
    w.op(TEVOOpcode::NULL_);
    w.constant(low);
    w.constant(high);
    w.op(TEVOOpcode::SCOPE_MODULE);
}

} // namespace

QByteArray writeTEVOExecutable(const TEVOExecutablePlan &plan)
{
    TEVOWriter w;
    writeModuleScope(w, plan);
    w.constant(moduleAlias);
    w.op(TEVOOpcode::MKALIAS);
    if (plan.bookkeeping)
        writeBookkeeping(w);

    QHash<QByteArray, uint32_t> aliases;
    for (const TEVOSectionPlan &section : plan.sections) {
        auto it = aliases.constFind(section.name);
        if (it == aliases.constEnd()) {
            const uint32_t alias = firstSectionAlias + uint32_t(aliases.size());
            aliases.insert(section.name, alias);
            w.string(section.name);
            w.op(TEVOOpcode::MKSECTION);
            w.constant(alias);
            w.op(TEVOOpcode::MKALIAS);
            it = aliases.constFind(section.name);
        }
        w.constant(it.value());
        w.op(TEVOOpcode::ALIAS);
        w.op(TEVOOpcode::SECTION);
        w.constant(section.flags);
        w.op(TEVOOpcode::SETFLAGS);
        for (const TEVORecordPlan &record : section.records)
            writeRecord(w, record, plan.bookkeeping);
        if (plan.bookkeeping)
            w.op(TEVOOpcode::CLEAR_LOCUS);
    }
    if (plan.bookkeeping)
        w.op(TEVOOpcode::END_OF_INFO);
    Q_ASSERT(w.depth() == 0);
    return w.finish();
}

QList<TEVORecordPlan> recordsForBytes(uint32_t address, const uint8_t *bytes, uint32_t size)
{
    QList<TEVORecordPlan> records;
    uint32_t at = 0;
    while (at < size) {
        const uint32_t left = size - at;
        TEVORecordPlan r;
        r.address = address + at;
        if (left == 1) {
            r.kind = TEVORecordPlan::Data;
            r.size = 1;
            r.value = bytes[at];
        } else {
            // Instruction codes whose size class is exactly the bytes they carry.
            const uint32_t n = left >= 8 ? 8 : left >= 6 ? 6 : left >= 4 ? 4 : 2;
            r.kind = TEVORecordPlan::Insn;
            r.code = n == 8 ? 0x20000 : n == 6 ? 0x10000 : 0x4000;
            r.first = n == 4;
            r.bytes = QByteArray(reinterpret_cast<const char *>(bytes + at), n);
        }
        at += r.kind == TEVORecordPlan::Data ? 1 : uint32_t(r.bytes.size());
        records.append(r);
    }
    return records;
}

TEVOExecutablePlan describeLoadFile(loadfile::LoadFileInterface &file)
{
    TEVOExecutablePlan plan;
    plan.bookkeeping = false;
    auto add = [&plan](const loadfile::LoadFileSectionList &list, uint32_t kind) {
        for (const auto &section : list) {
            TEVOSectionPlan s;
            s.name = QByteArray(section->name());
            if (kind)
                s.name += "_2";
            s.flags = TEVOSection::loadableFlag | kind;
            s.records = recordsForBytes(section->address(), section->data(), section->size());
            plan.sections.append(s);
        }
    };
    loadfile::LoadFileSections &sections = file.sections();
    add(sections.primarySections, 0);
    add(sections.secondarySections, TEVOSection::secondSpaceKind);
    return plan;
}

} // namespace zim::tevo
