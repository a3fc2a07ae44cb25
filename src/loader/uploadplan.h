// UploadPlan: what -upload reads back. Every load file of the run adds its address ranges;
// once all are loaded the union of the ranges is read back in one go and written to one file.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

class LoadFileInterface;

class UploadPlan
{
public:
    // Adds the ranges of file's sections, memory space by memory space, and its start address
    // when no earlier file had one.
    void add(LoadFileInterface &file);
    bool isEmpty() const { return m_ranges[0].empty() && m_ranges[1].empty(); }

    // A load file with one section per range of the union, ranges that overlap or touch
    // merged, in address order, for the target's read-back to fill.
    std::unique_ptr<LoadFileInterface> layout() const;

private:
    void addRange(int space, uint64_t start, uint64_t end);

    // Per memory space: start -> end (exclusive), disjoint and not touching.
    std::map<uint64_t, uint64_t> m_ranges[2];
    bool m_hasStartAddress = false;
    uint32_t m_startAddress = 0;
};
