// FlashErasePlan: which FLASH segments a download has to erase, and the erases that follow.
#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace zim::msp430 {

// The device limits a plan is built from (inclusive ends).
struct FlashLayout
{
    uint32_t infoStart = 0;
    uint32_t infoEnd = 0;
    // 64 or 128.
    uint32_t infoSegmentSize = 0;
    uint32_t flashStart = 0;
    uint32_t flashEnd = 0;
};

// A run of equal segments with one mark bit per segment.
class FlashSegmentGroup
{
public:
    FlashSegmentGroup(uint32_t start, uint32_t segmentSize, uint32_t count);

    uint32_t start() const { return m_start; }
    uint32_t segmentSize() const { return m_segmentSize; }
    uint32_t count() const { return m_count; }
    uint32_t segmentStart(uint32_t index) const { return m_start + index * m_segmentSize; }
    bool isMarked(uint32_t index) const;
    // Marks every segment that shares a byte with first..last; answers how many were not
    // marked before.
    uint32_t mark(uint32_t first, uint32_t last);

private:
    uint32_t m_start;
    uint32_t m_segmentSize;
    uint32_t m_count;
    // Bit i % 8 of byte i / 8 marks segment i.
    std::vector<uint8_t> m_marks;
};

// One segment erase as endErase performs it: the segment, the message shown before it and
// the progress value reported after it.
struct FlashSegmentErase
{
    uint32_t start = 0;
    uint32_t length = 0;
    QString message;
    int progress = 0;
};

// Three groups: information memory, the partial first main segment and main memory.
//
// Segment erase on these devices erases the whole 512-byte segment, aligned to 512, that
// holds the address it is given. Main FLASH that starts inside such a segment (0x1100, 0x2100,
// 0x2500, 0x3100 in the device table) therefore gets its first piece, from flashStart up to
// the next 512 boundary, as the partial group, and the main group starts on that boundary.
// Every planned main segment is then exactly one real segment and a range marks every real
// segment it touches. Devices whose main FLASH starts on a boundary keep the partial group at
// 0x1100 (256 bytes). Information memory is planned up to infoEnd, at least 256 bytes.
// Segment erase only reaches addresses up to 0xffff: FLASH above that is refused by
// checkReachable, never wrapped.
class FlashErasePlan
{
public:
    static constexpr uint32_t kMainSegmentSize = 512;
    static constexpr uint32_t kReachLimit = 0x10000;
    static constexpr const char *kProgressTitle = "Erasing FLASH memory";
    static constexpr const char *kProgressUnit = "sectors";

    explicit FlashErasePlan(const FlashLayout &layout);

    const FlashSegmentGroup &information() const { return m_groups[0]; }
    const FlashSegmentGroup &partial() const { return m_groups[1]; }
    const FlashSegmentGroup &main() const { return m_groups[2]; }
    const std::vector<FlashSegmentGroup> &groups() const { return m_groups; }

    // Throws HException when address..address + count - 1 holds FLASH above 0xffff.
    void checkReachable(uint32_t address, uint32_t count) const;
    // Checks the range, then marks the segments it overlaps; start and length, when given,
    // receive address and count. A zero count marks nothing.
    void eraseRange(uint32_t address, uint32_t count, uint32_t *start = nullptr,
                    uint32_t *length = nullptr);
    uint32_t markedCount() const { return m_marked; }
    // The marked segments in erase order (information, partial, main; ascending within a
    // group), each with its message and the progress value after it; the progress starts at
    // 0 of markedCount() with kProgressTitle and kProgressUnit.
    std::vector<FlashSegmentErase> erases() const;

    // "Erasing segment 0x1000 - 0x107f".
    static QString segmentMessage(uint32_t start, uint32_t end);

private:
    FlashLayout m_layout;
    std::vector<FlashSegmentGroup> m_groups;
    uint32_t m_marked = 0;
};

} // namespace zim::msp430
