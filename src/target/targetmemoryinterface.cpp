// Base versions of the memory operations, all built on writeBytes and readBytes.
#include "target/targetmemoryinterface.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace zim::target {

namespace {
constexpr uint32_t fillBlockLimit = 256;
constexpr uint32_t verifyBlockLimit = 1024;
constexpr uint32_t wordBlockBytes = 256;
}

TargetMemoryInterface::TargetMemoryInterface(bool bigEndian, uint32_t wordSize, bool erasable)
    : m_bigEndian(bigEndian), m_wordSize(wordSize), m_erasable(erasable), m_addressDisplayWidth(int(wordSize * 2))
{
}

void TargetMemoryInterface::programBytes(uint32_t address, uint32_t count, const uint8_t *data, bool)
{
    programBytes(address, count, data);
}

void TargetMemoryInterface::programBytes(uint32_t address, uint32_t count, const uint8_t *data)
{
    writeBytes(address, count, data);
}

void TargetMemoryInterface::readBackBytes(uint32_t address, uint32_t count, uint8_t *buffer)
{
    readBytes(address, count, buffer);
}

void TargetMemoryInterface::fillBytes(uint32_t address, uint32_t count, uint8_t value)
{
    uint8_t block[fillBlockLimit];
    std::memset(block, value, sizeof block);
    while (count) {
        const uint32_t k = std::min(count, fillBlockLimit);
        writeBytes(address, k, block);
        address += k;
        count -= k;
    }
}

bool TargetMemoryInterface::verifyBytes(uint32_t address, uint32_t count, const uint8_t *data)
{
    uint8_t block[verifyBlockLimit];
    while (count) {
        const uint32_t k = std::min(count, verifyBlockLimit);
        readBackBytes(address, k, block);
        if (std::memcmp(block, data, k) != 0)
            return false;
        address += k;
        data += k;
        count -= k;
    }
    return true;
}

void TargetMemoryInterface::eraseRange(uint32_t address, uint32_t count, uint32_t &start, uint32_t &length)
{
    start = address;
    length = count;
}

uint64_t TargetMemoryInterface::fromTarget(const uint8_t *bytes, uint32_t size) const
{
    uint64_t value = 0;
    for (uint32_t i = 0; i < size; ++i) {
        const uint32_t shift = 8 * (m_bigEndian ? size - 1 - i : i);
        value |= uint64_t(bytes[i]) << shift;
    }
    return value;
}

void TargetMemoryInterface::toTarget(uint64_t value, uint8_t *bytes, uint32_t size) const
{
    for (uint32_t i = 0; i < size; ++i) {
        const uint32_t shift = 8 * (m_bigEndian ? size - 1 - i : i);
        bytes[i] = uint8_t(value >> shift);
    }
}

// Words travel in blocks of 256 bytes so that long arrays need no large buffer.
template<typename T>
void TargetMemoryInterface::pokeMult(uint32_t address, uint32_t count, const T *words)
{
    uint8_t block[wordBlockBytes];
    constexpr uint32_t size = sizeof(T);
    while (count) {
        const uint32_t n = std::min(count, wordBlockBytes / size);
        for (uint32_t i = 0; i < n; ++i)
            toTarget(words[i], block + i * size, size);
        writeBytes(address, n * size, block);
        address += n * size;
        words += n;
        count -= n;
    }
}

template<typename T>
void TargetMemoryInterface::peekMult(uint32_t address, uint32_t count, T *words)
{
    uint8_t block[wordBlockBytes];
    constexpr uint32_t size = sizeof(T);
    while (count) {
        const uint32_t n = std::min(count, wordBlockBytes / size);
        readBytes(address, n * size, block);
        for (uint32_t i = 0; i < n; ++i)
            words[i] = T(fromTarget(block + i * size, size));
        address += n * size;
        words += n;
        count -= n;
    }
}

void TargetMemoryInterface::pokeMultUint16(uint32_t address, uint32_t count, const uint16_t *words)
{
    pokeMult(address, count, words);
}

void TargetMemoryInterface::peekMultUint16(uint32_t address, uint32_t count, uint16_t *words)
{
    peekMult(address, count, words);
}

void TargetMemoryInterface::pokeMultUint32(uint32_t address, uint32_t count, const uint32_t *words)
{
    pokeMult(address, count, words);
}

void TargetMemoryInterface::peekMultUint32(uint32_t address, uint32_t count, uint32_t *words)
{
    peekMult(address, count, words);
}

void TargetMemoryInterface::fillUint16(uint32_t address, uint32_t count, uint16_t value)
{
    std::vector<uint16_t> words(std::min<uint32_t>(count, wordBlockBytes / 2), value);
    while (count) {
        const uint32_t n = std::min<uint32_t>(count, uint32_t(words.size()));
        pokeMultUint16(address, n, words.data());
        address += n * 2;
        count -= n;
    }
}

void TargetMemoryInterface::fillUint32(uint32_t address, uint32_t count, uint32_t value)
{
    std::vector<uint32_t> words(std::min<uint32_t>(count, wordBlockBytes / 4), value);
    while (count) {
        const uint32_t n = std::min<uint32_t>(count, uint32_t(words.size()));
        pokeMultUint32(address, n, words.data());
        address += n * 4;
        count -= n;
    }
}

void TargetMemoryInterface::pokeByte(uint32_t address, uint8_t value)
{
    writeBytes(address, 1, &value);
}

uint8_t TargetMemoryInterface::peekByte(uint32_t address)
{
    uint8_t value = 0;
    readBytes(address, 1, &value);
    return value;
}

void TargetMemoryInterface::pokeUint16(uint32_t address, uint16_t value)
{
    pokeSized(address, 2, value);
}

uint16_t TargetMemoryInterface::peekUint16(uint32_t address)
{
    return uint16_t(peekSized(address, 2));
}

void TargetMemoryInterface::pokeUint32(uint32_t address, uint32_t value)
{
    pokeSized(address, 4, value);
}

uint32_t TargetMemoryInterface::peekUint32(uint32_t address)
{
    return uint32_t(peekSized(address, 4));
}

void TargetMemoryInterface::pokeWord(uint32_t address, uint64_t value)
{
    pokeSized(address, m_wordSize, value);
}

uint64_t TargetMemoryInterface::peekWord(uint32_t address)
{
    return peekSized(address, m_wordSize);
}

void TargetMemoryInterface::pokeSized(uint32_t address, uint32_t size, uint64_t value)
{
    uint8_t bytes[8];
    size = std::min<uint32_t>(size, 8);
    toTarget(value, bytes, size);
    writeBytes(address, size, bytes);
}

uint64_t TargetMemoryInterface::peekSized(uint32_t address, uint32_t size)
{
    uint8_t bytes[8] = {};
    size = std::min<uint32_t>(size, 8);
    readBytes(address, size, bytes);
    return fromTarget(bytes, size);
}

bool TargetMemoryInterface::isValidRange(uint32_t address, uint32_t count) const
{
    const uint64_t last = uint64_t(address) + (count ? count - 1 : 0);
    return std::any_of(m_memoryMap.begin(), m_memoryMap.end(), [&](const AddressRange &r) {
        return address >= r.first && last <= r.last;
    });
}

void TargetMemoryInterface::addMemoryRange(uint32_t first, uint32_t last)
{
    const AddressRange range{first, last};
    auto pos = std::upper_bound(m_memoryMap.begin(), m_memoryMap.end(), range,
                                [](const AddressRange &a, const AddressRange &b) { return a.first < b.first; });
    m_memoryMap.insert(pos, range);
}

void eraseInBracket(TargetMemoryInterface &memory, const std::function<void()> &erase)
{
    memory.beginErase();
    try {
        erase();
    } catch (...) {
        try {
            memory.endErase();
        } catch (...) {
        }
        throw;
    }
    memory.endErase();
}

} // namespace zim::target
