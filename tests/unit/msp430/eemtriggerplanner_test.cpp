// EEM trigger allocation and state storage: the exact EEM programming of each breakpoint
// shape, and refusals that leave the table alone and program nothing.
#include "msp430/eemstatestorage.h"
#include "msp430/eemtriggerplanner.h"

#include <gtest/gtest.h>

#include <ostream>

namespace zim::msp430 {
void PrintTo(const EEMStep &s, std::ostream *os)
{
    if (s.kind == EEMStep::SetTrigger)
        *os << "set trigger " << s.trigger << " 0x" << std::hex << s.value << " reaction " << s.reaction;
    else if (s.kind == EEMStep::ClearTrigger)
        *os << "clear trigger " << s.trigger << " reaction " << s.reaction;
    else
        *os << "write 0x" << std::hex << s.registerNumber << " := 0x" << s.value;
}
} // namespace zim::msp430

namespace {

using namespace zim::msp430;
using Steps = std::vector<EEMStep>;
using R = BreakpointRequest;

EEMStep set(uint32_t t, uint32_t address) { return EEMStep::setTrigger(t, address, 0); }
EEMStep w(uint32_t reg, uint32_t value) { return EEMStep::write(reg, value); }

// The monitor side: a table and the log of everything sent to the EEM.
struct Monitor
{
    uint32_t level = 3;
    TriggerTable table = TriggerTable::forDevice(8, 3);
    Steps log;

    void add(BreakpointId id, const R &r)
    {
        EEMPlan plan = EEMTriggerPlanner::set(table, level, id, r);
        table = plan.table;
        log.insert(log.end(), plan.steps.begin(), plan.steps.end());
    }
    // The refusal text; the table and the log must come out untouched.
    std::string refusal(BreakpointId id, const R &r)
    {
        const TriggerTable before = table;
        const size_t logged = log.size();
        try {
            add(id, r);
        } catch (const DebuggerBreakpointFailure &e) {
            EXPECT_TRUE(table == before);
            EXPECT_EQ(log.size(), logged);
            return e.what();
        }
        return "set";
    }
};

R execute(uint32_t address, uint32_t length = 1, bool outside = false)
{
    R r;
    r.address = address;
    r.length = length;
    r.outsideRange = outside;
    return r;
}

TEST(EEMTriggerPlannerTest, SingleExecuteTrigger)
{
    Monitor m;
    m.add(1, execute(0xF000));
    EXPECT_EQ(m.log, (Steps{set(0, 0xF000), w(0x02, 0x00), w(0x06, 0x01)}));
    EXPECT_EQ(m.table.triggers[0], 1u);
    EXPECT_EQ(m.table.breakpointsInUse(), 1u);
}

TEST(EEMTriggerPlannerTest, InsideAndOutsideRanges)
{
    Monitor m;
    m.add(1, execute(0xF000));
    m.log.clear();
    m.add(2, execute(0xF100, 0x10));
    EXPECT_EQ(m.log, (Steps{set(1, 0xF100), w(0x0A, 0x08), set(2, 0xF10F), w(0x12, 0x10), w(0x0E, 0x06),
                            w(0x16, 0x06)}));
    m.log.clear();
    m.add(3, execute(0xF200, 0x10, true));
    EXPECT_EQ(m.log, (Steps{set(3, 0xF1FF), w(0x1A, 0x10), set(4, 0xF210), w(0x22, 0x08), w(0x1E, 0x08),
                            w(0x26, 0x10)}));
    EXPECT_EQ(m.table.breakpointsInUse(), 5u);

    m.log.clear();
    const EEMPlan cleared = EEMTriggerPlanner::clear(m.table, 2, 0);
    EXPECT_EQ(cleared.steps, (Steps{EEMStep::clearTrigger(1, 0), EEMStep::clearTrigger(2, 0)}));
    EXPECT_EQ(cleared.table.breakpointsInUse(), 3u);
}

TEST(EEMTriggerPlannerTest, OutsideRangeFromAddressZeroHasNoLowerTrigger)
{
    // Nothing lies below 0: a lower trigger at 0 - 1 would compare "at most 0xffffffff" and
    // stop on every address.
    Monitor m;
    m.add(1, execute(0x0000, 0x200, true));
    EXPECT_EQ(m.log, (Steps{set(0, 0x0200), w(0x02, 0x08), w(0x06, 0x01)}));
    EXPECT_EQ(m.table.breakpointsInUse(), 1u);
}

TEST(EEMTriggerPlannerTest, DataTriggers)
{
    Monitor m;
    R read;
    read.kind = R::DataRead;
    read.address = 0x0200;
    read.length = 2;
    m.add(1, read);
    EXPECT_EQ(m.log, (Steps{set(0, 0x0200), w(0x02, 0x24), w(0x06, 0x01)}));

    m.log.clear();
    R valued;
    valued.kind = R::DataWrite;
    valued.address = 0x0210;
    valued.length = 2;
    valued.dataValue = true;
    valued.value = 0x1234;
    valued.mask = 0x00FF;
    valued.comparison = R::NotEqual;
    m.add(2, valued);
    EXPECT_EQ(m.log, (Steps{set(1, 0x0210), w(0x0A, 0x26), set(2, 0x1234), w(0x12, 0x3F), w(0x14, 0x00FF),
                            w(0x0E, 0x06), w(0x16, 0x06)}));

    m.log.clear();
    R range = read;
    range.length = 0x20;
    m.add(3, range);
    EXPECT_EQ(m.log, (Steps{set(3, 0x0200), w(0x1A, 0x2C), set(4, 0x021F), w(0x22, 0x34), w(0x1E, 0x18),
                            w(0x26, 0x18)}));
}

TEST(EEMTriggerPlannerTest, RegisterTriggers)
{
    Monitor m;
    R r;
    r.isRegister = true;
    r.address = 5;
    r.kind = R::DataWrite;
    r.dataValue = true;
    r.value = 0x55;
    r.comparison = R::GreaterOrEqual;
    m.add(1, r);
    EXPECT_EQ(m.log, (Steps{set(0, 0), w(0x06, 0x100), w(0x40, 0x55), w(0x44, 0x0000), w(0x42, 0x508)}));

    m.log.clear();
    R any;
    any.isRegister = true;
    any.address = 0x14; // only the low four bits name the register
    m.add(2, any);
    EXPECT_EQ(m.log, (Steps{set(1, 0), w(0x0E, 0x200), w(0x4C, 0xFFFF), w(0x4A, 0x400)}));
    EXPECT_EQ(m.refusal(3, any), "No more breakpoints available");

    // Clearing gives the register trigger back.
    const EEMPlan cleared = EEMTriggerPlanner::clear(m.table, 1, 0);
    EXPECT_EQ(cleared.steps, (Steps{EEMStep::clearTrigger(0, 0)}));
    m.table = cleared.table;
    m.log.clear();
    m.add(3, any);
    EXPECT_EQ(m.log, (Steps{set(0, 0), w(0x06, 0x100), w(0x44, 0xFFFF), w(0x42, 0x400)}));
}

TEST(EEMTriggerPlannerTest, PcInRamBreak)
{
    const R r = EEMTriggerPlanner::pcInRamRequest(0x09FF);
    Monitor high;
    high.add(1, r);
    EXPECT_EQ(high.log, (Steps{set(0, 0), w(0x06, 0x100), w(0x40, 0x09FF), w(0x44, 0), w(0x42, 0x10)}));
    // Without register triggers the break stays off.
    Monitor medium{2, TriggerTable::forDevice(3, 2), {}};
    EXPECT_EQ(medium.refusal(1, r), "No more breakpoints available");
}

TEST(EEMTriggerPlannerTest, RefusalsProgramNothing)
{
    Monitor low{1, TriggerTable::forDevice(2, 1), {}};
    EXPECT_EQ(low.refusal(1, execute(0xF000, 4)), "Breakpoint type not supported");
    R reg;
    reg.isRegister = true;
    EXPECT_EQ(low.refusal(1, reg), "Breakpoint type not supported");
    R data;
    data.kind = R::DataRead;
    data.address = 0x200;
    EXPECT_EQ(low.refusal(1, data), "Breakpoint type not supported");
    // The step range takes the special entry, which holds one breakpoint.
    low.add(1, execute(0xF000, 4, true));
    EXPECT_TRUE(low.log.empty());
    EXPECT_EQ(low.table.special, 1u);
    EXPECT_EQ(low.refusal(2, execute(0xF100, 4, true)), "Breakpoint type not supported");
    low.add(2, execute(0xF000));
    low.add(3, execute(0xF002));
    EXPECT_EQ(low.table.breakpointsInUse(), 3u);
    EXPECT_EQ(low.refusal(4, execute(0xF004)), "No more breakpoints available");

    Monitor m;
    R odd = data;
    odd.kind = 5;
    EXPECT_EQ(m.refusal(1, odd), "Breakpoint type not supported");
    R wide = data;
    wide.length = 4;
    wide.dataValue = true;
    EXPECT_EQ(m.refusal(1, wide), "Data valued breakpoints only supported on words");
    for (BreakpointId id = 1; id <= 7; ++id)
        m.add(id, execute(0xF000 + 2 * id));
    EXPECT_EQ(m.refusal(8, execute(0xE000, 8)), "No more breakpoints available");
}

TEST(EEMTriggerPlannerTest, CountOnlyOnExecuteStop)
{
    Monitor m;
    R data;
    data.kind = R::DataWrite;
    data.address = 0x200;
    data.count = 3;
    EXPECT_EQ(m.refusal(1, data), "Count can only be applied to Execute/Stop CPU breakpoints");
    R reacting = execute(0xF000);
    reacting.count = 2;
    reacting.reaction = 2;
    EXPECT_EQ(m.refusal(1, reacting), "Count can only be applied to Execute/Stop CPU breakpoints");
    reacting.reaction = 0;
    m.add(1, reacting);
    EXPECT_EQ(m.log.size(), 3u);
}

TEST(EEMStateStorageTest, ControlBits)
{
    EXPECT_EQ(EEMStateStorage::capability(3), 13u);
    EXPECT_EQ(EEMStateStorage::capability(2), 0u);
    EXPECT_EQ(EEMStateStorage::withEnabled(0x08, true), 0x09u);
    EXPECT_EQ(EEMStateStorage::withEnabled(0x0F, false), 0x0Eu);
    EXPECT_EQ(EEMStateStorage::resetValue(0x01), 0x41u);
    EXPECT_EQ(EEMStateStorage::withStopWhenFull(0x09, true), 0x01u);
    EXPECT_EQ(EEMStateStorage::withStopWhenFull(0x01, false), 0x09u);
    EXPECT_EQ(EEMStateStorage::withMode(0x01, 1), 0x03u);
    EXPECT_EQ(EEMStateStorage::withMode(0x07, 4), 0x01u);
    EXPECT_EQ(EEMStateStorage::withMode(0x01, 8), 0x07u);
    EXPECT_EQ(EEMStateStorage::modeOf(0x03), 1u);
    EXPECT_EQ(EEMStateStorage::modeOf(0x01), 4u);
    EXPECT_EQ(EEMStateStorage::modeOf(0x07), 8u);
    EXPECT_EQ(EEMStateStorage::modeOf(0x05), 0u);
    EXPECT_THROW(EEMStateStorage::withMode(0, 2), zim::common::HException);
}

TEST(EEMStateStorageTest, ReadOutOrder)
{
    StateStorageCursor cursor;
    cursor.begin(0x000, 3u << 10);
    EXPECT_FALSE(cursor.next());

    cursor.begin(0x100, 3u << 10);
    EXPECT_EQ(cursor.remaining(), 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        const auto e = cursor.next();
        ASSERT_TRUE(e);
        EXPECT_EQ(e->entry, i);
        EXPECT_EQ(e->firstIndex, 4 * i);
        EXPECT_EQ(e->secondIndex, 4 * i + 1);
    }
    EXPECT_FALSE(cursor.next());

    // Wrapped: all eight, oldest first.
    cursor.begin(0x300, 6u << 10);
    std::vector<uint32_t> order;
    while (const auto e = cursor.next())
        order.push_back(e->entry);
    EXPECT_EQ(order, (std::vector<uint32_t>{6, 7, 0, 1, 2, 3, 4, 5}));
}

} // namespace
