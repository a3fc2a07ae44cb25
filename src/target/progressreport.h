// ProgressReport: one step of a target's long work (erasing, programming, verifying,
// uploading) as data: which phase, how much of how much, in which unit.
#pragma once

#include <QMetaType>
#include <cstdint>

namespace zim::target {

struct ProgressReport
{
    enum class Phase {
        EraseAll,       // one erase of a whole memory space
        Erase,          // the ranges a download clears, in bytes
        EraseSegments,  // the FLASH segments a JTAG target erases, in sectors
        Program,
        Verify,
        Upload,
        PowerCycle,     // a JTAG target switching its supply off and on to reach the device
    };
    enum class Unit { None, Bytes, Sectors };

    Phase phase = Phase::Program;
    // The memory space the work is on (0 main, 1 second).
    int space = 0;
    // A report that opens its phase: done is 0 and total is the amount the phase will do.
    bool opens = false;
    uint32_t done = 0;
    uint32_t total = 0;
    Unit unit = Unit::Bytes;

    static ProgressReport open(Phase phase, uint32_t total, Unit unit, int space = 0)
    {
        return {phase, space, true, 0, total, unit};
    }
    static ProgressReport advance(Phase phase, uint32_t done, uint32_t total, Unit unit, int space = 0)
    {
        return {phase, space, false, done, total, unit};
    }
    bool operator==(const ProgressReport &) const = default;
};

// The title a console shows for the phase: "Erasing", "Programming", "Erasing entire FLASH
// memory", ...
const char *progressTitle(const ProgressReport &report);
// "bytes", "sectors", or nullptr.
const char *progressUnit(ProgressReport::Unit unit);

} // namespace zim::target

Q_DECLARE_METATYPE(zim::target::ProgressReport)
