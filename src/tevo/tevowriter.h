// Writing TEVO executables: an opcode emitter over the reader's opcode table, and executables
// made from a description of sections and records or from any load file.
#pragma once

#include "tevo/tevoopcode.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <cstdint>

namespace zim::loadfile { class LoadFileInterface; }

namespace zim::tevo {

// Emits opcodes and operands. Strings go to one string pool that finish() places in front of
// the body. The operand stack depth is tracked from the opcode table.
class TEVOWriter
{
public:
    // The opcode alone; its operands must already be on the stack.
    void op(TEVOOpcode opcode);
    // LIT0..LIT7 or the shortest LITX.
    void constant(uint64_t value);
    // LITX with exactly count value bytes (count may exceed 8).
    void constantBytes(const QByteArray &bigEndianBytes);
    // MKSTRING of bytes placed in the pool (each distinct byte string once).
    void string(const QByteArray &bytes);
    // MKSTRING (offset to the first zero byte) of a zero-terminated pool string.
    void stringZ(const QByteArray &bytes);
    // Bytes outside the opcode structure, for making malformed streams.
    void raw(const QByteArray &bytes) { m_body += bytes; }

    // Stack depth by the opcode table (INSN counted with three operands).
    int depth() const { return m_depth; }
    uint32_t poolSize() const { return uint32_t(m_pool.size()); }

    // The stream: STRINGPOOL with the pool (when not empty), then the body. Throws HException
    // when the pool exceeds the 16 MB the format allows.
    QByteArray finish() const;

private:
    uint32_t poolOffset(const QByteArray &bytes);

    QByteArray m_body;
    QByteArray m_pool;
    QHash<QByteArray, uint32_t> m_offsets;
    int m_depth = 0;
};

// One record of a described executable.
struct TEVORecordPlan
{
    enum Kind {
        Insn,      // code, first/second operand present, bytes (SETBYTES)
        Data,      // DEFBYTES: size 1..4, value
        Address,   // DEFADDR: value (2 bytes)
        Align,     // count = n
        Fill,      // count, value
        Space,     // count
        Origin,    // value
        Marker,    // number, name (may be empty)
        Locus,     // name = file, number = line
        Init,      // name = section
        Local,     // value
        LinkIf,    // value
        EndLinkIf,
        Break      // ends the fragment
    };
    Kind kind = Insn;
    uint32_t address = 0xFFFFFFFF;
    uint32_t code = 0;
    bool first = false;
    bool second = false;
    QByteArray bytes;
    uint64_t value = 0;
    uint32_t count = 0;
    uint32_t size = 0;
    uint32_t number = 0;
    QByteArray name;
};

struct TEVOSectionPlan
{
    QByteArray name;
    uint32_t flags = 0;
    QList<TEVORecordPlan> records;
};

struct TEVOExecutablePlan
{
    QList<TEVOSectionPlan> sections;
    // Adds the opcodes that loading skips: types, symbols, scopes, attributes, libraries,
    // code-generation and linking bookkeeping, stack adjustments and aliases.
    bool bookkeeping = true;
};

// The executable of a description. Sections are written in order, each reached through an
// alias after its first definition.
QByteArray writeTEVOExecutable(const TEVOExecutablePlan &plan);

// The description of a load file: each primary section becomes records of a loadable section
// of kind 0 of the same name, each secondary one of kind 6; bytes are cut into instruction
// records of 8, 6, 4 and 2 bytes and a final 1-byte data record.
TEVOExecutablePlan describeLoadFile(loadfile::LoadFileInterface &file);

// Records for bytes at address, as describeLoadFile cuts them.
QList<TEVORecordPlan> recordsForBytes(uint32_t address, const uint8_t *bytes, uint32_t size);

} // namespace zim::tevo
