// In-memory byte buffers with a read cursor, used by the TEVO reader.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>

// An owned byte buffer with a read cursor. A fresh stream has 1024 bytes of room and no data;
// write() appends data, growing the buffer as needed.
namespace zim::loadfile {

class HByteStream
{
public:
    HByteStream();
    HByteStream(const HByteStream &) = delete;
    HByteStream &operator=(const HByteStream &) = delete;
    virtual ~HByteStream();

    bool atEnd() const { return m_cursor >= m_end; }
    // Bytes left between the cursor and the end of the data.
    size_t available() const { return size_t(m_end - m_cursor); }
    // Offset of the cursor from the first byte.
    size_t position() const { return size_t(m_cursor - m_buffer.get()); }
    size_t size() const { return size_t(m_end - m_buffer.get()); }
    const uint8_t *data() const { return m_buffer.get(); }
    const uint8_t *cursor() const { return m_cursor; }

    // The next byte; the caller checks atEnd() first.
    uint8_t readByte();
    // Copies n bytes to dest and advances; false (nothing read) when fewer than n remain.
    bool read(uint8_t *dest, size_t n);
    // Advances by n bytes; false (cursor unchanged) when fewer than n remain.
    bool skip(size_t n);
    // Appends n bytes at the end of the data.
    void write(const uint8_t *src, size_t n);

protected:
    // Replaces the buffer by one of exactly capacity bytes, holding no data.
    void reset(size_t capacity);
    uint8_t *buffer() { return m_buffer.get(); }
    void setDataSize(size_t n) { m_end = m_buffer.get() + n; }

private:
    std::unique_ptr<uint8_t[]> m_buffer;
    uint8_t *m_end;
    uint8_t *m_cursor;
    uint8_t *m_capacityEnd;
};

// A stream over the whole contents of a file, read at construction; a pipe or device is read
// to its end. Throws HException
// "can't open file <name>" or "can't read file <name>".
class HFileInputByteStream : public HByteStream
{
public:
    explicit HFileInputByteStream(const QString &fileName);
};

} // namespace zim::loadfile
