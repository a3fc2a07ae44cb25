// The TEVO opcode numbers and their table entries (name and stack effect), from tevoopcodes.def.
#pragma once

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
};

// The table entry of an opcode byte, or null for an unknown tag.
const TEVOOpcodeInfo *tevoOpcodeInfo(uint8_t value);

} // namespace zim::tevo
