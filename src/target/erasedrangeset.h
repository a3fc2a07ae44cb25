// The ranges a segment erase has already cleared during one memory space of a download, so
// that a segment shared by several sections is erased once.
#pragma once

#include "target/targetmemoryinterface.h"

#include <map>
#include <optional>

class ErasedRangeSet
{
public:
    // The erased range that holds address, if any.
    std::optional<AddressRange> find(uint32_t address) const
    {
        auto it = m_ranges.upper_bound(address);
        if (it == m_ranges.begin())
            return std::nullopt;
        --it;
        if (address > it->second)
            return std::nullopt;
        return AddressRange{it->first, it->second};
    }

    // Adds [first, last]; an overlapping range already held is kept as it is.
    void add(const AddressRange &range)
    {
        auto [it, inserted] = m_ranges.try_emplace(range.first, range.last);
        if (!inserted && it->second < range.last)
            it->second = range.last;
    }

    void clear() { m_ranges.clear(); }
    bool isEmpty() const { return m_ranges.empty(); }

private:
    std::map<uint32_t, uint32_t> m_ranges; // first -> last, both inclusive
};
