// The opcode table as data, line lookup and the bytecode listing of a compiled record.
#include "script/escompiledfunction.h"

#include <algorithm>

namespace zim::script {

namespace {

struct OpTable
{
    ESOpInfo info[256];
    OpTable()
    {
        for (ESOpInfo &i : info)
            i = ESOpInfo{nullptr, ESOperandFormat::NONE, nullptr};
#define OP(name, code, format, effect) info[code] = ESOpInfo{#name, ESOperandFormat::format, effect};
#include "script/opcodes.def"
#undef OP
    }
};

const OpTable &opTable()
{
    static const OpTable table;
    return table;
}

} // namespace

const ESOpInfo &opInfo(uint8_t code)
{
    return opTable().info[code];
}

int operandBytes(ESOperandFormat format)
{
    switch (format) {
    case ESOperandFormat::NONE:
        return 0;
    case ESOperandFormat::ATOM_COUNT:
    case ESOperandFormat::SLOT_COUNT:
    case ESOperandFormat::ARG_COUNT:
    case ESOperandFormat::LOCAL_COUNT:
        return 2 * OperandSize;
    default:
        return OperandSize;
    }
}

int ESCompiledFunction::lineAt(uint32_t offset) const
{
    auto it = std::upper_bound(lines.begin(), lines.end(), offset,
                               [](uint32_t o, const std::pair<uint32_t, int> &e) { return o < e.first; });
    if (it == lines.begin())
        return lines.empty() ? 0 : lines.front().second;
    return std::prev(it)->second;
}

QString ESCompiledFunction::listing(const std::vector<ESAtom *> &globalSlotNames) const
{
    QString out;
    size_t pc = 0;
    auto varName = [this](unsigned index, bool local) -> QString {
        const size_t i = local ? size_t(parameterCount) + index : index;
        return i < variables.size() && variables[i].atom ? variables[i].atom->text : QStringLiteral("?");
    };
    auto atomText = [this](unsigned index) {
        return index < atoms.size() ? atoms[index]->text : QStringLiteral("?");
    };
    auto slotName = [&](unsigned slot) -> QString {
        return slot < globalSlotNames.size() && globalSlotNames[slot] ? globalSlotNames[slot]->text
                                                                       : QStringLiteral("(null)");
    };
    while (pc < code.size()) {
        const ESOpInfo &info = opInfo(code[pc]);
        out += QString::asprintf("%04x: ", unsigned(pc));
        if (!info.name) {
            out += QString::asprintf("?%d\n", code[pc]);
            ++pc;
            continue;
        }
        QString name = QString::fromLatin1(info.name);
        if (name.endsWith(QLatin1Char('_')))
            name.chop(1);
        const int bytes = operandBytes(info.format);
        if (pc + 1 + size_t(bytes) > code.size()) {
            out += name + QStringLiteral("\t?\n");
            break;
        }
        const unsigned a = bytes >= OperandSize ? operandAt(&code[pc + 1]) : 0;
        const unsigned b = bytes >= 2 * OperandSize ? operandAt(&code[pc + 1 + OperandSize]) : 0;
        switch (info.format) {
        case ESOperandFormat::NONE:
            out += name;
            break;
        case ESOperandFormat::CONST:
            out += name + QString::asprintf("\t%g", a < numbers.size() ? numbers[a] : 0.0);
            break;
        case ESOperandFormat::ATOM:
            out += name + QLatin1Char('\t') + atomText(a);
            break;
        case ESOperandFormat::SLOT:
            out += name + QLatin1Char('\t') + slotName(a) + QString::asprintf(" [idx=%d]", a);
            break;
        case ESOperandFormat::ARG:
        case ESOperandFormat::LOCAL:
            out += name + QLatin1Char('\t') + varName(a, info.format == ESOperandFormat::LOCAL);
            break;
        case ESOperandFormat::COUNT:
        case ESOperandFormat::FUNC:
            out += name + QString::asprintf("\t#%d", a);
            break;
        case ESOperandFormat::JUMP:
            out += name + QString::asprintf("\t%04x", a);
            break;
        case ESOperandFormat::ATOM_COUNT:
            out += name + QLatin1Char('\t') + atomText(a) + QString::asprintf(", #%d", b);
            break;
        case ESOperandFormat::SLOT_COUNT:
            out += name + QLatin1Char('\t') + slotName(a) + QString::asprintf(" [idx=%d]", a)
                   + QString::asprintf(", #%d", b);
            break;
        case ESOperandFormat::ARG_COUNT:
        case ESOperandFormat::LOCAL_COUNT:
            out += name + QLatin1Char('\t') + varName(a, info.format == ESOperandFormat::LOCAL_COUNT)
                   + QString::asprintf(", #%d", b);
            break;
        }
        out += QLatin1Char('\n');
        pc += 1 + size_t(operandBytes(info.format));
    }
    return out;
}

} // namespace zim::script
