// The opcode table as a lookup by opcode byte.
#include "tevo/tevoopcode.h"

#include <array>

namespace zim::tevo {

namespace {

struct OpcodeTable
{
    std::array<TEVOOpcodeInfo, 256> entries{};
    std::array<bool, 256> known{};

    constexpr OpcodeTable()
    {
#define TEVO_OPCODE(value, id, name, pops, pushes, section)                                                   \
    entries[value] = TEVOOpcodeInfo{value, name, pops, pushes, section != 0};                                  \
    known[value] = true;
#include "tevo/tevoopcodes.def"
#undef TEVO_OPCODE
    }
};

constexpr OpcodeTable table;

} // namespace

const TEVOOpcodeInfo *tevoOpcodeInfo(uint8_t value)
{
    return table.known[value] ? &table.entries[value] : nullptr;
}

} // namespace zim::tevo
