// EEMTriggerPlanner: which triggers a breakpoint takes and how they are programmed.
#include "msp430/eemtriggerplanner.h"

#include "msp430/eemregisters.h"

#include <iterator>

namespace zim::msp430 {

namespace {

uint32_t triggerRegister(uint32_t trigger, uint32_t offset)
{
    return trigger * eem::kTriggerStride + offset;
}

[[noreturn]] void refuse(const char *text)
{
    throw DebuggerBreakpointFailure(text);
}

uint32_t comparisonBits(uint32_t comparison)
{
    if (comparison >= std::size(eem::kComparisonBits))
        refuse(EEMTriggerPlanner::kNotSupported);
    return eem::kComparisonBits[comparison];
}

// The first n free triggers in ascending order; refuses when there are fewer.
std::vector<uint32_t> freeTriggers(const TriggerTable &table, uint32_t n)
{
    std::vector<uint32_t> found;
    for (uint32_t t = 0; t < table.triggers.size() && found.size() < n; ++t) {
        if (!table.triggers[t])
            found.push_back(t);
    }
    if (found.size() < n)
        refuse(EEMTriggerPlanner::kNoneAvailable);
    return found;
}

bool hasFreeTriggers(const TriggerTable &table, uint32_t n)
{
    uint32_t free = 0;
    for (const auto &entry : table.triggers)
        free += entry ? 0 : 1;
    return free >= n;
}

// What one trigger compares: the address (or value) it is given and its control word, and
// the mask when the trigger has one.
struct TriggerSetting
{
    uint32_t address;
    uint32_t control;
    std::optional<uint32_t> mask;
};

// Programs the triggers in order. Combined triggers break only together (each carries the
// bits of all); otherwise each breaks on its own.
void program(EEMPlan &plan, BreakpointId id, uint32_t reaction, const std::vector<uint32_t> &triggers,
             const std::vector<TriggerSetting> &settings, bool combined)
{
    uint32_t allBits = 0;
    for (uint32_t t : triggers)
        allBits |= 1u << t;
    for (size_t k = 0; k < triggers.size(); ++k) {
        const uint32_t t = triggers[k];
        plan.steps.push_back(EEMStep::setTrigger(t, settings[k].address, reaction));
        plan.table.triggers[t] = id;
        plan.steps.push_back(EEMStep::write(triggerRegister(t, eem::kControlOffset), settings[k].control));
        if (settings[k].mask)
            plan.steps.push_back(EEMStep::write(triggerRegister(t, eem::kMaskOffset), *settings[k].mask));
    }
    for (uint32_t t : triggers)
        plan.steps.push_back(
            EEMStep::write(triggerRegister(t, eem::kCombinationOffset), combined ? allBits : 1u << t));
}

void setSingle(EEMPlan &plan, BreakpointId id, const BreakpointRequest &r, uint32_t access)
{
    const std::vector<uint32_t> t = freeTriggers(plan.table, 1);
    program(plan, id, r.reaction, t, {{r.address, eem::kCompareEqual | access, {}}}, false);
}

void setInsideRange(EEMPlan &plan, BreakpointId id, const BreakpointRequest &r, uint32_t access)
{
    const std::vector<uint32_t> t = freeTriggers(plan.table, 2);
    program(plan, id, r.reaction, t,
            {{r.address, eem::kCompareGreaterOrEqual | access, {}},
             {r.address + r.length - 1, eem::kCompareLessOrEqual | access, {}}},
            true);
}

void setOutsideRange(EEMPlan &plan, BreakpointId id, const BreakpointRequest &r, uint32_t access)
{
    // A range at either end of the address space has nothing beyond that end: a trigger there
    // would wrap round and compare true for every address, so only the other side is watched.
    const uint64_t above = uint64_t(r.address) + r.length;
    const bool hasBelow = r.address != 0;
    const bool hasAbove = above <= 0xFFFFFFFFu;
    if (!hasBelow && !hasAbove)
        refuse(EEMTriggerPlanner::kNotSupported);
    if (!hasBelow || !hasAbove) {
        const std::vector<uint32_t> t = freeTriggers(plan.table, 1);
        program(plan, id, r.reaction, t,
                {hasBelow ? TriggerSetting{r.address - 1, eem::kCompareLessOrEqual | access, {}}
                          : TriggerSetting{uint32_t(above), eem::kCompareGreaterOrEqual | access, {}}},
                false);
        return;
    }
    const std::vector<uint32_t> t = freeTriggers(plan.table, 2);
    program(plan, id, r.reaction, t,
            {{r.address - 1, eem::kCompareLessOrEqual | access, {}},
             {r.address + r.length, eem::kCompareGreaterOrEqual | access, {}}},
            false);
}

void setAddressPlusValue(EEMPlan &plan, BreakpointId id, const BreakpointRequest &r, uint32_t access)
{
    const uint32_t compare = comparisonBits(r.comparison);
    const std::vector<uint32_t> t = freeTriggers(plan.table, 2);
    program(plan, id, r.reaction, t,
            {{r.address, eem::kCompareEqual | access, {}},
             {r.value, compare | access | eem::kDataValueBit, r.mask}},
            true);
}

void setRegister(EEMPlan &plan, uint32_t level, BreakpointId id, const BreakpointRequest &r)
{
    if (level < eem::kComplexTriggerLevel)
        refuse(EEMTriggerPlanner::kNotSupported);
    const uint32_t compare = comparisonBits(r.comparison);
    uint32_t entry = 0;
    while (entry < plan.table.registerTriggers.size() && plan.table.registerTriggers[entry])
        ++entry;
    if (entry == plan.table.registerTriggers.size())
        refuse(EEMTriggerPlanner::kNoneAvailable);
    const uint32_t t = freeTriggers(plan.table, 1).front();

    plan.steps.push_back(EEMStep::setTrigger(t, 0, r.reaction));
    plan.table.triggers[t] = id;
    plan.table.registerTriggers[entry] = id;
    plan.steps.push_back(EEMStep::write(triggerRegister(t, eem::kCombinationOffset),
                                        1u << (eem::kFirstRegisterTrigger + entry)));
    const uint32_t rt = eem::kFirstRegisterTrigger + entry;
    if (r.dataValue)
        plan.steps.push_back(EEMStep::write(triggerRegister(rt, eem::kValueOffset), r.value));
    plan.steps.push_back(EEMStep::write(triggerRegister(rt, eem::kMaskOffset),
                                        r.dataValue ? r.mask : eem::kRegisterTriggerFullMask));
    plan.steps.push_back(EEMStep::write(
        triggerRegister(rt, eem::kControlOffset),
        ((r.address & eem::kRegisterNumberMask) << eem::kRegisterNumberShift) | compare));
}

void setExecute(EEMPlan &plan, uint32_t level, BreakpointId id, const BreakpointRequest &r)
{
    const uint32_t access = eem::kAccessBits[BreakpointRequest::Execute];
    if (!r.outsideRange) {
        // A length of 0 names one address, as a length of 1 does.
        if (r.length <= 1)
            return setSingle(plan, id, r, access);
        if (level < eem::kComplexTriggerLevel)
            refuse(EEMTriggerPlanner::kNotSupported);
        return setInsideRange(plan, id, r, access);
    }
    if (level >= eem::kComplexTriggerLevel && r.length >= 2 && hasFreeTriggers(plan.table, 2))
        return setOutsideRange(plan, id, r, access);
    // The step range: no trigger, the target single-steps while the PC lies inside.
    if (plan.table.special)
        refuse(EEMTriggerPlanner::kNotSupported);
    plan.table.special = id;
}

void setData(EEMPlan &plan, uint32_t level, BreakpointId id, const BreakpointRequest &r)
{
    if (r.kind >= std::size(eem::kAccessBits) || level < eem::kComplexTriggerLevel)
        refuse(EEMTriggerPlanner::kNotSupported);
    const uint32_t access = eem::kAccessBits[r.kind];
    // A value comparison is kept even when the value compared is 0.
    if (r.length <= 2 && !r.outsideRange && r.value == 0 && !r.dataValue)
        return setSingle(plan, id, r, access);
    freeTriggers(plan.table, 2);
    if (r.dataValue) {
        if (r.length > 2)
            refuse(EEMTriggerPlanner::kWordsOnly);
        return setAddressPlusValue(plan, id, r, access);
    }
    if (r.outsideRange)
        return setOutsideRange(plan, id, r, access);
    setInsideRange(plan, id, r, access);
}

} // namespace

TriggerTable TriggerTable::forDevice(uint32_t breakpointCount, uint32_t emulationLevel)
{
    TriggerTable table;
    table.triggers.resize(breakpointCount);
    if (emulationLevel == eem::kRegisterTriggerLevel)
        table.registerTriggers.resize(eem::kRegisterTriggerCount);
    return table;
}

uint32_t TriggerTable::breakpointsInUse() const
{
    uint32_t used = special ? 1 : 0;
    for (const auto &entry : triggers)
        used += entry ? 1 : 0;
    return used;
}

EEMStep EEMStep::setTrigger(uint32_t t, uint32_t address, uint32_t reaction)
{
    return {SetTrigger, t, 0, address, reaction};
}

EEMStep EEMStep::clearTrigger(uint32_t t, uint32_t reaction)
{
    return {ClearTrigger, t, 0, 0, reaction};
}

EEMStep EEMStep::write(uint32_t reg, uint32_t value)
{
    return {WriteRegister, 0, reg, value, 0};
}

EEMPlan EEMTriggerPlanner::set(const TriggerTable &table, uint32_t emulationLevel, BreakpointId id,
                               const BreakpointRequest &request)
{
    if (request.count != 0 && (request.kind != BreakpointRequest::Execute || request.reaction != 0))
        refuse(kCountRefused);
    // Every refusal happens before the copy is changed, so the caller's table stays as it was.
    EEMPlan plan{table, {}};
    if (request.isRegister)
        setRegister(plan, emulationLevel, id, request);
    else if (request.kind == BreakpointRequest::Execute)
        setExecute(plan, emulationLevel, id, request);
    else
        setData(plan, emulationLevel, id, request);
    return plan;
}

EEMPlan EEMTriggerPlanner::clear(const TriggerTable &table, BreakpointId id, uint32_t reaction)
{
    EEMPlan plan{table, {}};
    if (plan.table.special == id) {
        plan.table.special.reset();
        return plan;
    }
    for (uint32_t t = 0; t < plan.table.triggers.size(); ++t) {
        if (plan.table.triggers[t] != id)
            continue;
        plan.steps.push_back(EEMStep::clearTrigger(t, reaction));
        plan.table.triggers[t].reset();
    }
    for (auto &entry : plan.table.registerTriggers) {
        if (entry == id)
            entry.reset();
    }
    return plan;
}

BreakpointRequest EEMTriggerPlanner::pcInRamRequest(uint32_t ramEnd)
{
    BreakpointRequest r;
    r.isRegister = true;
    r.address = 0;
    r.kind = BreakpointRequest::DataWrite;
    r.length = 2;
    r.dataValue = true;
    r.value = ramEnd;
    r.comparison = BreakpointRequest::LessOrEqual;
    return r;
}

} // namespace zim::msp430
