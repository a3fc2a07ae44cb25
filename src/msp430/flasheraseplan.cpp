// FlashErasePlan: segment groups, marking and the erase sequence of a download.
#include "msp430/flasheraseplan.h"

#include "common/hexception.h"

#include <algorithm>

namespace zim::msp430 {

namespace {

QString hex4(uint64_t value)
{
    return QString::number(value, 16).rightJustified(4, QLatin1Char('0'));
}

} // namespace

FlashSegmentGroup::FlashSegmentGroup(uint32_t start, uint32_t segmentSize, uint32_t count)
    : m_start(start), m_segmentSize(segmentSize), m_count(count), m_marks(count / 8 + 1, 0)
{
}

bool FlashSegmentGroup::isMarked(uint32_t index) const
{
    return index < m_count && (m_marks[index / 8] & (1u << (index % 8))) != 0;
}

uint32_t FlashSegmentGroup::mark(uint32_t first, uint32_t last)
{
    uint32_t added = 0;
    for (uint32_t i = 0; i < m_count; ++i) {
        // 64 bits, so that a segment ending at the top of the address space cannot wrap.
        const uint64_t segFirst = uint64_t(m_start) + uint64_t(i) * m_segmentSize;
        const uint64_t segLast = segFirst + m_segmentSize - 1;
        if (segFirst > last || segLast < first || isMarked(i))
            continue;
        m_marks[i / 8] |= uint8_t(1u << (i % 8));
        ++added;
    }
    return added;
}

FlashErasePlan::FlashErasePlan(const FlashLayout &layout) : m_layout(layout)
{
    const uint32_t infoSize = layout.infoSegmentSize;
    uint32_t infoCount = infoSize == 64 ? 4 : 2;
    if (infoSize != 0 && layout.infoEnd >= layout.infoStart) {
        // Information memories of 512 bytes (0x1800-0x19ff) are planned whole.
        const uint64_t bytes = uint64_t(layout.infoEnd) - layout.infoStart + 1;
        infoCount = std::max<uint32_t>(infoCount, uint32_t((bytes + infoSize - 1) / infoSize));
    } else if (infoSize == 0) {
        infoCount = 0;
    }
    m_groups.emplace_back(layout.infoStart, infoSize, infoCount);

    // The first main segment is split off where main FLASH does not start on a real segment.
    const uint32_t offset = layout.flashStart % kMainSegmentSize;
    uint32_t mainStart = layout.flashStart;
    if (offset != 0) {
        m_groups.emplace_back(layout.flashStart, kMainSegmentSize - offset, 1);
        mainStart = layout.flashStart - offset + kMainSegmentSize;
    } else {
        m_groups.emplace_back(0x1100, 256, 1);
    }
    const uint32_t mainCount = mainStart < kReachLimit ? (kReachLimit - mainStart) / kMainSegmentSize : 0;
    m_groups.emplace_back(mainStart, kMainSegmentSize, mainCount);
}

void FlashErasePlan::checkReachable(uint32_t address, uint32_t count) const
{
    if (count == 0 || m_layout.flashEnd < kReachLimit)
        return;
    const uint64_t last = uint64_t(address) + count - 1;
    const uint64_t flashFirst = std::max(m_layout.flashStart, kReachLimit);
    const uint64_t first = std::max<uint64_t>(address, flashFirst);
    const uint64_t end = std::min<uint64_t>(last, m_layout.flashEnd);
    if (first > end)
        return;
    throw common::HException(
        QStringLiteral("FLASH 0x%1\u20140x%2 lies above 0xffff, out of reach of segment erase: erase all "
                       "FLASH with -setprop \"Erase All=yes\" or load through the msp430_dll target")
            .arg(hex4(first), hex4(end)));
}

void FlashErasePlan::eraseRange(uint32_t address, uint32_t count, uint32_t *start, uint32_t *length)
{
    if (start)
        *start = address;
    if (length)
        *length = count;
    if (count == 0)
        return;
    checkReachable(address, count);
    const uint64_t last64 = uint64_t(address) + count - 1;
    const uint32_t last = uint32_t(std::min<uint64_t>(last64, 0xFFFFFFFFu));
    for (FlashSegmentGroup &group : m_groups)
        m_marked += group.mark(address, last);
}

std::vector<FlashSegmentErase> FlashErasePlan::erases() const
{
    std::vector<FlashSegmentErase> result;
    result.reserve(m_marked);
    int progress = 0;
    for (const FlashSegmentGroup &group : m_groups) {
        for (uint32_t i = 0; i < group.count(); ++i) {
            if (!group.isMarked(i))
                continue;
            const uint32_t first = group.segmentStart(i);
            const uint32_t end = first + group.segmentSize() - 1;
            result.push_back({first, group.segmentSize(), segmentMessage(first, end), ++progress});
        }
    }
    return result;
}

QString FlashErasePlan::segmentMessage(uint32_t start, uint32_t end)
{
    return QStringLiteral("Erasing segment 0x%1 - 0x%2").arg(hex4(start), hex4(end));
}

} // namespace zim::msp430
