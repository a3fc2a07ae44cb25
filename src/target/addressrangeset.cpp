// A set of closed address ranges that merges overlapping ranges.
#include "target/addressrangeset.h"

#include <QtGlobal>
#include <algorithm>

namespace zim::target {

void AddressRangeSet::add(const AddressRange &range)
{
    Q_ASSERT(range.first <= range.last);
    uint32_t first = range.first;
    uint32_t last = range.last;
    auto it = m_ranges.upper_bound(first);
    if (it != m_ranges.begin()) {
        auto before = std::prev(it);
        if (before->second >= first)
            it = before;
    }
    // Every range from it on that starts inside [first, last] shares an address with it.
    while (it != m_ranges.end() && it->first <= last) {
        first = std::min(first, it->first);
        last = std::max(last, it->second);
        it = m_ranges.erase(it);
    }
    m_ranges.emplace(first, last);
}

std::optional<AddressRange> AddressRangeSet::find(uint32_t address) const
{
    auto it = m_ranges.upper_bound(address);
    if (it == m_ranges.begin())
        return std::nullopt;
    --it;
    if (address > it->second)
        return std::nullopt;
    return AddressRange{it->first, it->second};
}

std::vector<AddressRange> AddressRangeSet::ranges() const
{
    std::vector<AddressRange> out;
    out.reserve(m_ranges.size());
    for (const auto &[first, last] : m_ranges)
        out.push_back({first, last});
    return out;
}

uint64_t AddressRangeSet::byteCount() const
{
    uint64_t count = 0;
    for (const auto &[first, last] : m_ranges)
        count += uint64_t(last) - first + 1;
    return count;
}

} // namespace zim::target
