// One memory space of a target as the download procedures and scripts reach it. A target
// supplies writeBytes and readBytes; every other operation has a working base version.
// Addresses and counts are in bytes unless said otherwise. Failures throw HException.
#pragma once

#include <QList>
#include <cstdint>
#include <functional>

namespace zim::target {

struct AddressRange
{
    uint32_t first; // inclusive
    uint32_t last;  // inclusive

    bool contains(uint32_t address) const { return address >= first && address <= last; }
    bool operator==(const AddressRange &) const = default;
};

class TargetMemoryInterface
{
public:
    TargetMemoryInterface(bool bigEndian, uint32_t wordSize, bool erasable);
    virtual ~TargetMemoryInterface() = default;

    virtual void writeBytes(uint32_t address, uint32_t count, const uint8_t *data) = 0;
    virtual void readBytes(uint32_t address, uint32_t count, uint8_t *buffer) = 0;
    // last is true for the final block of a memory space's programming.
    virtual void programBytes(uint32_t address, uint32_t count, const uint8_t *data, bool last);
    virtual void programBytes(uint32_t address, uint32_t count, const uint8_t *data);
    virtual void readBackBytes(uint32_t address, uint32_t count, uint8_t *buffer);
    virtual void fillBytes(uint32_t address, uint32_t count, uint8_t value);
    virtual bool verifyBytes(uint32_t address, uint32_t count, const uint8_t *data);

    virtual void beginErase() {}
    virtual void endErase() {}
    // Erases at least [address, address + count); reports the range actually erased.
    virtual void eraseRange(uint32_t address, uint32_t count, uint32_t &start, uint32_t &length);
    virtual void eraseAll() {}
    virtual bool isErasable() const { return m_erasable; }

    // Word arrays in host order; counts are in words.
    virtual void pokeMultUint16(uint32_t address, uint32_t count, const uint16_t *words);
    virtual void peekMultUint16(uint32_t address, uint32_t count, uint16_t *words);
    virtual void fillUint16(uint32_t address, uint32_t count, uint16_t value);
    virtual void pokeMultUint32(uint32_t address, uint32_t count, const uint32_t *words);
    virtual void peekMultUint32(uint32_t address, uint32_t count, uint32_t *words);
    virtual void fillUint32(uint32_t address, uint32_t count, uint32_t value);

    virtual void pokeByte(uint32_t address, uint8_t value);
    virtual uint8_t peekByte(uint32_t address);
    virtual void pokeUint16(uint32_t address, uint16_t value);
    virtual uint16_t peekUint16(uint32_t address);
    virtual void pokeUint32(uint32_t address, uint32_t value);
    virtual uint32_t peekUint32(uint32_t address);
    virtual void pokeWord(uint32_t address, uint64_t value);
    virtual uint64_t peekWord(uint32_t address);
    virtual void pokeSized(uint32_t address, uint32_t size, uint64_t value);
    virtual uint64_t peekSized(uint32_t address, uint32_t size);

    virtual bool isBigEndian() const { return m_bigEndian; }
    // True when one range of the memory map holds address to address + count - 1.
    virtual bool isValidRange(uint32_t address, uint32_t count) const;
    virtual const QList<AddressRange> &memoryMap() const { return m_memoryMap; }
    virtual void memoryNotice() {}

    // Block limits in bytes; -1 means no limit.
    virtual int maxTransferBlock() const { return -1; }
    virtual int maxWriteBlock() const { return -1; }
    virtual int maxReadBlock() const { return -1; }
    virtual int maxCompareBlock() const { return -1; }
    virtual int maxFillBlock() const { return -1; }
    virtual int eraseSegmentSize() const { return -1; }
    virtual int maxVerifyBlock() const { return -1; }

    uint32_t wordSize() const { return m_wordSize; }
    int addressDisplayWidth() const { return m_addressDisplayWidth; }
    void setAddressDisplayWidth(int digits) { m_addressDisplayWidth = digits; }

    // Adds a closed range to the memory map, keeping it ordered by first address.
    void addMemoryRange(uint32_t first, uint32_t last);
    void clearMemoryMap() { m_memoryMap.clear(); }

private:
    template<typename T> void pokeMult(uint32_t address, uint32_t count, const T *words);
    template<typename T> void peekMult(uint32_t address, uint32_t count, T *words);
    uint64_t fromTarget(const uint8_t *bytes, uint32_t size) const;
    void toTarget(uint64_t value, uint8_t *bytes, uint32_t size) const;

    bool m_bigEndian;
    uint32_t m_wordSize;
    QList<AddressRange> m_memoryMap;
    bool m_erasable;
    int m_addressDisplayWidth;
};

// The one erase bracket: beginErase, erase, endErase. When erase throws, endErase still runs
// and a failure of its own is dropped, so that the first failure is the one reported.
void eraseInBracket(TargetMemoryInterface &memory, const std::function<void()> &erase);

} // namespace zim::target
