// EEMStateStorage: the control values and the read-out order of the EEM state storage (trace).
#pragma once

#include <cstdint>
#include <optional>

namespace zim::msp430 {

// Control register values, each computed from the value the control register holds now.
class EEMStateStorage
{
public:
    // 13 when the emulation level offers state storage, else 0.
    static uint32_t capability(uint32_t emulationLevel);
    static uint32_t withEnabled(uint32_t control, bool enabled);
    // The value that restarts the storage.
    static uint32_t resetValue(uint32_t control);
    static uint32_t withStopWhenFull(uint32_t control, bool stopWhenFull);
    // Mode 1, 4 or 8; throws HException for any other mode.
    static uint32_t withMode(uint32_t control, uint32_t mode);
    // 1, 4 or 8; 0 when the mode bits name none of them.
    static uint32_t modeOf(uint32_t control);
};

// Walks the stored entries: which index words to write before each of the two reads of the
// data register.
class StateStorageCursor
{
public:
    struct EntryRead
    {
        uint32_t entry;
        // Written to the index register before the first and the second data word is read.
        uint32_t firstIndex;
        uint32_t secondIndex;
    };

    // From the status register and the write-index register: nothing when nothing was
    // stored, the entries 0 up to the write index when the buffer has not wrapped, all eight
    // from the write index on when it has.
    void begin(uint32_t status, uint32_t writeIndexRegister);
    uint32_t remaining() const { return m_remaining; }
    uint32_t nextEntry() const { return m_next; }
    std::optional<EntryRead> next();

private:
    uint32_t m_next = 0;
    uint32_t m_remaining = 0;
};

} // namespace zim::msp430
