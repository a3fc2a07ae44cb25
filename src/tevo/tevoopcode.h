// The TEVO opcode numbers and their table entries (name and stack effect), from tevoopcodes.def.
#pragma once

#include <array>
#include <cstdint>

namespace zim::tevo {

enum class TEVOOpcode : uint8_t {
#define TEVO_OPCODE(value, id, name, pops, pushes, section) id = value,
#include "tevo/tevoopcodes.def"
#undef TEVO_OPCODE
};

struct TEVOOpcodeInfo
{
    uint8_t value;
    const char *name;   // "" for the opcodes without a name
    uint8_t pops;
    uint8_t pushes;
    bool needsSection;
    bool known;
};

// The table by opcode byte; built at compile time so that the reader's lookup per opcode is
// one load.
struct TEVOOpcodeTable
{
    // What the reader checks before each opcode, one byte per opcode: 0 for an unknown tag.
    static constexpr uint8_t knownBit = 1;
    static constexpr uint8_t needsSectionBit = 2;

    std::array<TEVOOpcodeInfo, 256> entries{};
    std::array<uint8_t, 256> checks{};

    constexpr TEVOOpcodeTable()
    {
#define TEVO_OPCODE(value, id, name, pops, pushes, section)                                                   \
    entries[value] = TEVOOpcodeInfo{value, name, pops, pushes, section != 0, true};                          \
    checks[value] = knownBit | (section ? needsSectionBit : 0);
#include "tevo/tevoopcodes.def"
#undef TEVO_OPCODE
    }
};

inline constexpr TEVOOpcodeTable tevoOpcodeTable;

// The table entry of an opcode byte, or null for an unknown tag.
inline const TEVOOpcodeInfo *tevoOpcodeInfo(uint8_t value)
{
    const TEVOOpcodeInfo &info = tevoOpcodeTable.entries[value];
    return info.known ? &info : nullptr;
}

} // namespace zim::tevo
