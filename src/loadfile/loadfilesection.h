// The sections of a load file: runs of bytes with a target start address.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <memory>
#include <vector>

// One run of bytes destined for consecutive target addresses.
namespace zim::loadfile {

class SectionArena;

class LoadFileSectionInterface
{
public:
    virtual ~LoadFileSectionInterface() = default;
    virtual const char *name() const = 0;
    virtual uint32_t address() const = 0;
    // Number of bytes at data().
    virtual uint32_t size() const = 0;
    // The bytes; may be null when size() is 0.
    virtual const uint8_t *data() const = 0;
};

// A section over bytes it does not own: whoever made the buffer keeps it alive at least as
// long as the section (normally the load file that owns both). The name is copied.
class StandardLoadFileSection : public LoadFileSectionInterface
{
public:
    StandardLoadFileSection(const char *name, uint32_t address, uint32_t size, const uint8_t *data);

    const char *name() const override { return m_name.constData(); }
    uint32_t address() const override { return m_address; }
    uint32_t size() const override { return m_size; }
    const uint8_t *data() const override { return m_data; }

protected:
    QByteArray m_name;
    uint32_t m_address;
    uint32_t m_size;
    const uint8_t *m_data;
};

// A section that starts empty and grows at its end; it owns its buffer, or its share of an
// arena together with the arena itself. The text readers build every section they make from
// this class.
class ExpandingLoadFileSection final : public StandardLoadFileSection
{
public:
    ExpandingLoadFileSection(const char *name, uint32_t address);
    // A section that grows in the room left in arena, which it holds until it is destroyed.
    ExpandingLoadFileSection(const char *name, uint32_t address, std::shared_ptr<SectionArena> arena);
    ExpandingLoadFileSection(const ExpandingLoadFileSection &) = delete;
    ExpandingLoadFileSection &operator=(const ExpandingLoadFileSection &) = delete;
    ~ExpandingLoadFileSection() override;

    // Grows the section by n bytes and returns the first of them, not yet set, for the caller
    // to fill. The pointer (and data()) stays valid until the next append. Throws HException
    // when memory runs out.
    uint8_t *append(uint32_t n)
    {
        if (n > m_capacity - m_size)
            return appendElsewhere(n);
        uint8_t *bytes = m_buffer + m_size;
        m_size += n;
        return bytes;
    }
    // Says that the section will not grow any more for now: the room it holds in an arena
    // goes back for the next section. A later append still works, at the cost of a copy.
    void close();
    // Places a section that is still empty at another start address.
    void moveTo(uint32_t address);

private:
    // append() when the room is used up: grows into a buffer of the section's own.
    uint8_t *appendElsewhere(uint32_t n);

    uint8_t *m_buffer = nullptr;
    size_t m_capacity = 0;
    // Set while the bytes lie in an arena rather than in a buffer of the section's own.
    std::shared_ptr<SectionArena> m_arena;
    bool m_claiming = false;
};

// A section that owns a zero-filled buffer of its size, made to receive bytes read back
// from a target.
class UploadLoadFileSection : public StandardLoadFileSection
{
public:
    UploadLoadFileSection(const char *name, uint32_t address, uint32_t size);

    uint8_t *writableData() { return m_buffer.get(); }

private:
    std::unique_ptr<uint8_t[]> m_buffer;
};

using LoadFileSectionList = std::vector<std::unique_ptr<LoadFileSectionInterface>>;

// The section store of a load file. Both lists own their sections.
struct LoadFileSections
{
    // Sections for the target's main memory; every text and binary format fills only this.
    LoadFileSectionList primarySections;
    // Sections for the target's second memory space.
    LoadFileSectionList secondarySections;
};

} // namespace zim::loadfile
