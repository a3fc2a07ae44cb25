// ESCompiledFunction: the bytecode record of one program or function, and its listing.
#pragma once

#include "script/esvalue.h"

#include <QString>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace zim::script {

enum class ESOp : uint8_t {
#define OP(name, code, format, effect) name = code,
#include "script/opcodes.def"
#undef OP
};

enum class ESOperandFormat {
    NONE, CONST, ATOM, SLOT, ARG, LOCAL, COUNT, FUNC, JUMP, ATOM_COUNT, SLOT_COUNT, ARG_COUNT, LOCAL_COUNT
};

struct ESOpInfo
{
    const char *name;
    ESOperandFormat format;
    const char *effect;
};
// Every operand is one 32-bit word in the machine's byte order, so that no count, index or code
// offset of a large function is cut short.
constexpr int OperandSize = 4;
inline uint32_t operandAt(const uint8_t *p)
{
    uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// Null name for a byte outside the table.
const ESOpInfo &opInfo(uint8_t code);
int operandBytes(ESOperandFormat format);

struct ESVariable
{
    ESAtom *atom;
    uint32_t flags;   // bit 3: a parameter
};

struct ESCompiledFunction
{
    std::vector<uint8_t> code;
    // (code offset, line) at each instruction start, in offset order.
    std::vector<std::pair<uint32_t, int>> lines;
    std::vector<double> numbers;
    std::vector<ESAtom *> atoms;         // atom operands index this table
    std::vector<ESVariable> variables;   // parameters first
    int parameterCount = 0;
    int localCount = 0;
    int maxDepth = 0;                    // deepest expression stack the code can build
    std::vector<std::shared_ptr<ESCompiledFunction>> functions;
    bool usesArguments = false;
    bool captured = false;
    bool isProgram = false;
    ESAtom *name = nullptr;
    // The file the code was loaded from, for the error texts of the standard dialect; empty for
    // the main text.
    QString source;
    // The atom each referenced global slot was reserved for.
    std::vector<std::pair<uint32_t, ESAtom *>> slotAtoms;

    int lineAt(uint32_t offset) const;
    // The diagnostic listing: one "%04x: " line per instruction. slotName gives a global slot's name.
    QString listing(const std::vector<ESAtom *> &globalSlotNames) const;
};

} // namespace zim::script
