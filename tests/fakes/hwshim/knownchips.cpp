// The devices the shim's emulations know.
#include "knownchips.h"

#include <cstdint>

namespace zim::hwshim {
namespace {

struct KnownChip
{
    const char *name;
    uint8_t id0, id1;
    uint32_t ramEnd, infoSegmentSize, flashStart;
    bool family2xx;
};

constexpr KnownChip kChips[] = {
    {"MSP430F149", 0xF1, 0x49, 0x9FF, 128, 0x1100, false},
    {"MSP430F1232", 0x12, 0x32, 0x2FF, 128, 0xE000, false},
    {"MSP430F1611", 0xF1, 0x6C, 0x9FF, 128, 0x4000, false},
    {"MSP430F2274", 0xF2, 0x27, 0x5FF, 64, 0x8000, true},
    {"MSP430F449", 0xF4, 0x49, 0x9FF, 128, 0x1100, false},
};

} // namespace

bool knownChip(const std::string &name, fakes::SimJtagChip &chip)
{
    for (const KnownChip &known : kChips) {
        if (name != known.name)
            continue;
        chip = fakes::SimJtagChip();
        chip.name = name;
        chip.idBytes = {known.id0, known.id1, 0, 0, 0, 0, 0};
        chip.ramEnd = known.ramEnd;
        chip.infoSegmentSize = known.infoSegmentSize;
        chip.flashStart = known.flashStart;
        chip.family2xx = known.family2xx;
        return true;
    }
    return false;
}

std::string knownChipNames()
{
    std::string names;
    for (const KnownChip &known : kChips)
        names += std::string(" ") + known.name;
    return names;
}

} // namespace zim::hwshim
