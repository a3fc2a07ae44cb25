// Program generation: instructions are chosen first, laid out, then their label references resolved.
#include "programgenerator.h"

#include <QStringList>

namespace {

constexpr unsigned PC = 0, SP = 1, SR = 2, CG = 3;
// Word pointers (always even), the byte pointer, and the data registers that results go to.
constexpr unsigned kWordPointers[] = {4, 5, 6};
constexpr unsigned kBytePointer = 7;
constexpr unsigned kFirstData = 8;
constexpr uint16_t kFlagMask = 0x0107; // C, Z, N, V

enum FormatI : unsigned { MOV = 4, ADD, ADDC, SUBC, SUB, CMP, DADD, BIT, BIC, BIS, XOR, AND };

uint16_t formatI(unsigned op, bool byte, unsigned rs, unsigned as, unsigned rd, unsigned ad)
{
    return uint16_t(op << 12 | rs << 8 | ad << 7 | unsigned(byte) << 6 | as << 4 | rd);
}

uint16_t formatII(unsigned group, unsigned as, unsigned reg)
{
    return uint16_t(group << 6 | as << 4 | reg);
}

uint16_t toBcd(unsigned value, int digits)
{
    unsigned result = 0;
    for (int i = 0; i < digits; ++i, value /= 10)
        result |= (value % 10) << (4 * i);
    return uint16_t(result);
}

} // namespace

// An extension word: a literal, an address made PC-relative (symbolic mode), or the address
// of an instruction counted from the current one.
struct ProgramGenerator::Ext
{
    enum Kind { Literal, Symbolic, ItemAddress } kind = Literal;
    uint16_t value = 0; // literal, symbolic target, or item offset
};

struct ProgramGenerator::Item
{
    uint16_t opcode = 0;
    std::vector<Ext> exts;
    int jumpSkip = -1; // for jumps: groups skipped
    bool groupStart = false; // first instruction of a group that must run as a whole
};

struct ProgramGenerator::Operand
{
    unsigned reg = 0;
    unsigned mode = 0; // As, or Ad for destinations
    std::vector<Ext> exts;
};

ProgramGenerator::Operand ProgramGenerator::memoryOperand(bool byte)
{
    const unsigned pointer = byte ? (chance(50) ? kBytePointer : kWordPointers[pick(3)]) : kWordPointers[pick(3)];
    const uint16_t address = uint16_t(0x0200 + (byte ? pick(0x600) : 2 * pick(0x300)));
    switch (pick(3)) {
    case 0: { // x(Rn)
        int offset = int(pick(129)) - 64;
        if (!byte)
            offset &= ~1;
        return {pointer, 1, {{Ext::Literal, uint16_t(offset)}}};
    }
    case 1: // &abs
        return {SR, 1, {{Ext::Literal, address}}};
    default: // symbolic
        return {PC, 1, {{Ext::Symbolic, address}}};
    }
}

ProgramGenerator::Operand ProgramGenerator::source(bool byte)
{
    switch (pick(8)) {
    case 0: { // a register, sometimes PC or SR
        static constexpr unsigned kSources[] = {4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 8, 9, 10, 11, PC, SR};
        return {kSources[pick(std::size(kSources))], 0, {}};
    }
    case 1: { // constant generators
        static constexpr std::pair<unsigned, unsigned> kConstants[] = {{CG, 0}, {CG, 1}, {CG, 2}, {CG, 3}, {SR, 2}, {SR, 3}};
        const auto [reg, as] = kConstants[pick(std::size(kConstants))];
        return {reg, as, {}};
    }
    case 2: // immediate
        return {PC, 3, {{Ext::Literal, word()}}};
    case 3: // @Rn
        return {byte ? (chance(50) ? kBytePointer : kWordPointers[pick(3)]) : kWordPointers[pick(3)], 2, {}};
    case 4: // @Rn+: byte steps only on the byte pointer, so the word pointers stay even
        return {byte ? kBytePointer : kWordPointers[pick(3)], 3, {}};
    default:
        return memoryOperand(byte);
    }
}

ProgramGenerator::Operand ProgramGenerator::destination(bool byte, bool registerAllowed)
{
    if (registerAllowed && chance(60))
        return {kFirstData + pick(8), 0, {}};
    return memoryOperand(byte);
}

void ProgramGenerator::addRandomInstruction(std::vector<Item> &items)
{
    const size_t first = items.size();
    addGroup(items);
    items[first].groupStart = true;
}

void ProgramGenerator::addGroup(std::vector<Item> &items)
{
    const unsigned kind = pick(100);
    const bool byte = chance(35);
    if (kind < 50) { // format I
        static constexpr unsigned kOps[] = {MOV, ADD, ADDC, SUBC, SUB, CMP, BIT, BIC, BIS, XOR, AND};
        const unsigned op = kOps[pick(std::size(kOps))];
        Operand src = source(byte);
        Operand dst = destination(byte, true);
        Item item{formatI(op, byte, src.reg, src.mode, dst.reg, dst.mode), src.exts};
        item.exts.insert(item.exts.end(), dst.exts.begin(), dst.exts.end());
        items.push_back(item);
    } else if (kind < 62) { // RRC, RRA, SWPB, SXT
        static constexpr unsigned kGroups[] = {0x40, 0x44, 0x42, 0x46};
        const unsigned group = kGroups[pick(4)];
        const bool asByte = byte && (group == 0x40 || group == 0x44);
        Operand operand;
        if (chance(50))
            operand = {kFirstData + pick(8), 0, {}};
        else if (chance(30))
            operand = {asByte ? kBytePointer : kWordPointers[pick(3)], 2 + pick(2), {}};
        else
            operand = memoryOperand(asByte);
        items.push_back({formatII(group | unsigned(asByte), operand.mode, operand.reg), operand.exts});
        if (group == 0x40) // RRC's overflow rule differs (see the exclusions): clear V after it
            items.push_back({formatI(BIC, false, PC, 3, SR, 0), {{Ext::Literal, 0x0100}}});
    } else if (kind < 70) { // PUSH (word only, see the exclusions), then sometimes POP
        Operand src = source(false);
        items.push_back({formatII(0x48, src.mode, src.reg), src.exts});
        if (chance(60))
            items.push_back({formatI(MOV, false, SP, 3, kFirstData + pick(8), 0), {}});
    } else if (kind < 76) { // CALL forms that continue with the next instruction
        switch (pick(3)) {
        case 0:
            items.push_back({formatII(0x4A, 3, PC), {{Ext::ItemAddress, 1}}});
            break;
        case 1:
            items.push_back({formatI(MOV, false, PC, 3, 15, 0), {{Ext::ItemAddress, 2}}});
            items.push_back({formatII(0x4A, 0, 15), {}});
            break;
        default: {
            const uint16_t cell = uint16_t(0x0200 + 2 * pick(0x300));
            items.push_back({formatI(MOV, false, PC, 3, SR, 1), {{Ext::ItemAddress, 2}, {Ext::Literal, cell}}});
            items.push_back({formatII(0x4A, 1, SR), {{Ext::Literal, cell}}});
            break;
        }
        }
    } else if (kind < 79) { // RETI to the next instruction with chosen flags
        items.push_back({formatII(0x48, 3, PC), {{Ext::ItemAddress, 3}}});
        items.push_back({formatII(0x48, 3, PC), {{Ext::Literal, uint16_t(word() & kFlagMask)}}});
        items.push_back({0x1300, {}});
    } else if (kind < 83) { // DADD on valid BCD with a known carry
        const int digits = byte ? 2 : 4;
        const unsigned limit = byte ? 100 : 10000;
        const unsigned carry = pick(2);
        unsigned a = pick(limit), b = pick(limit);
        // A decimal sum that wraps to exactly zero is excluded (see the exclusions).
        if ((a + b + carry) % limit == 0 && a + b + carry != 0)
            b = (b + 1) % limit;
        items.push_back({formatI(MOV, false, PC, 3, 15, 0), {{Ext::Literal, toBcd(a, digits)}}});
        items.push_back({formatI(carry ? BIS : BIC, false, CG, 1, SR, 0), {}}); // SETC / CLRC
        items.push_back({formatI(DADD, byte, PC, 3, 15, 0), {{Ext::Literal, toBcd(b, digits)}}});
        items.push_back({formatI(BIC, false, PC, 3, SR, 0), {{Ext::Literal, 0x0100}}});
    } else if (kind < 87) { // set the flags
        items.push_back({formatI(MOV, false, PC, 3, SR, 0), {{Ext::Literal, uint16_t(word() & kFlagMask)}}});
    } else { // conditional and unconditional jumps forward
        Item jump{uint16_t(0x2000 | pick(8) << 10), {}};
        jump.jumpSkip = int(pick(4));
        items.push_back(jump);
    }
}

GeneratedProgram ProgramGenerator::next(int instructions)
{
    GeneratedProgram program;
    program.ram.resize(GeneratedProgram::kRamSize);
    for (uint8_t &byte : program.ram)
        byte = uint8_t(pick(256));

    std::vector<Item> items;
    items.push_back({formatI(MOV, false, PC, 3, SP, 0), {{Ext::Literal, 0x0900}}});
    for (unsigned reg = 4; reg < 16; ++reg) {
        const uint16_t value = reg < kFirstData ? uint16_t(0x0300 + 2 * pick(0x180)) : word();
        items.push_back({formatI(MOV, false, PC, 3, reg, 0), {{Ext::Literal, value}}});
    }
    items.push_back({formatI(MOV, false, PC, 3, SR, 0), {{Ext::Literal, uint16_t(word() & kFlagMask)}}});
    while (int(items.size()) < instructions)
        addRandomInstruction(items);
    items.push_back({0x3FFF, {}}); // JMP $
    items.back().groupStart = true;

    // Lay out, then resolve label references, symbolic offsets and jump offsets.
    std::vector<uint32_t> addresses;
    uint32_t address = GeneratedProgram::kCodeStart;
    for (const Item &item : items) {
        addresses.push_back(address);
        address += 2 * uint32_t(1 + item.exts.size());
    }
    for (size_t i = 0; i < items.size(); ++i) {
        const Item &item = items[i];
        uint16_t opcode = item.opcode;
        if (item.jumpSkip >= 0) {
            // Jumps land only on the start of a group, so that groups keep their set-up.
            size_t target = i + 1;
            for (int skipped = 0; target < items.size() - 1; ++target) {
                if (items[target].groupStart && skipped++ == item.jumpSkip)
                    break;
            }
            const int32_t offset = (int32_t(addresses[target]) - int32_t(addresses[i] + 2)) / 2;
            opcode = uint16_t((opcode & 0xFC00) | (offset & 0x3FF));
        }
        program.code.push_back(opcode);
        for (size_t e = 0; e < item.exts.size(); ++e) {
            const Ext &ext = item.exts[e];
            const uint32_t at = addresses[i] + 2 * uint32_t(1 + e);
            switch (ext.kind) {
            case Ext::Literal:
                program.code.push_back(ext.value);
                break;
            case Ext::Symbolic:
                program.code.push_back(uint16_t(ext.value - at));
                break;
            case Ext::ItemAddress:
                program.code.push_back(uint16_t(addresses[std::min(items.size() - 1, i + ext.value)]));
                break;
            }
        }
    }
    program.steps = int(items.size()) + 2;
    return program;
}

QString GeneratedProgram::intelHex() const
{
    QStringList lines;
    auto addRecords = [&](uint32_t base, const std::vector<uint8_t> &bytes) {
        for (size_t i = 0; i < bytes.size(); i += 16) {
            const size_t n = std::min<size_t>(16, bytes.size() - i);
            const uint32_t at = base + uint32_t(i);
            std::vector<uint8_t> record = {uint8_t(n), uint8_t(at >> 8), uint8_t(at), 0};
            record.insert(record.end(), bytes.begin() + long(i), bytes.begin() + long(i + n));
            uint8_t sum = 0;
            QString line = QStringLiteral(":");
            for (uint8_t b : record) {
                sum = uint8_t(sum + b);
                line += QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
            }
            line += QStringLiteral("%1").arg(uint8_t(-sum), 2, 16, QLatin1Char('0')).toUpper();
            lines << line;
        }
    };
    addRecords(kRamStart, ram);
    std::vector<uint8_t> codeBytes;
    for (uint16_t w : code) {
        codeBytes.push_back(uint8_t(w));
        codeBytes.push_back(uint8_t(w >> 8));
    }
    addRecords(kCodeStart, codeBytes);
    addRecords(0xFFFE, {uint8_t(kCodeStart), uint8_t(kCodeStart >> 8)});
    lines << QStringLiteral(":00000001FF");
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
