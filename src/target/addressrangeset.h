// AddressRangeSet: a set of closed address ranges of one memory space, used for the segments
// a download has erased and for the ranges several load files have loaded.
#pragma once

#include "target/targetmemoryinterface.h"

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

// Ranges kept in ascending order. Ranges that share at least one address merge into one; ranges
// that only touch stay apart, so that where nothing overlaps the boundaries of what was added
// (one erase, one section) survive.
namespace zim::target {

class AddressRangeSet
{
public:
    void add(const AddressRange &range);
    // The range that holds address, if any.
    std::optional<AddressRange> find(uint32_t address) const;

    std::vector<AddressRange> ranges() const;
    // Bytes covered by all ranges together.
    uint64_t byteCount() const;
    bool isEmpty() const { return m_ranges.empty(); }
    void clear() { m_ranges.clear(); }

    bool operator==(const AddressRangeSet &) const = default;

private:
    std::map<uint32_t, uint32_t> m_ranges; // first -> last, both inclusive
};

} // namespace zim::target
