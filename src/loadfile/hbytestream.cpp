// In-memory byte buffers with a read cursor.
#include "loadfile/hbytestream.h"

#include "common/hexception.h"

#include <QFile>
#include <cstring>

namespace zim::loadfile {

HByteStream::HByteStream()
{
    reset(1024);
}

HByteStream::~HByteStream() = default;

void HByteStream::reset(size_t capacity)
{
    m_buffer.reset(new uint8_t[capacity ? capacity : 1]);
    m_end = m_cursor = m_buffer.get();
    m_capacityEnd = m_buffer.get() + capacity;
}

uint8_t HByteStream::readByte()
{
    Q_ASSERT(!atEnd());
    return *m_cursor++;
}

bool HByteStream::read(uint8_t *dest, size_t n)
{
    if (n > available())
        return false;
    if (n)
        std::memcpy(dest, m_cursor, n);
    m_cursor += n;
    return true;
}

bool HByteStream::skip(size_t n)
{
    if (n > available())
        return false;
    m_cursor += n;
    return true;
}

void HByteStream::write(const uint8_t *src, size_t n)
{
    if (n > size_t(m_capacityEnd - m_end)) {
        const size_t used = size();
        const size_t cursor = position();
        size_t capacity = size_t(m_capacityEnd - m_buffer.get());
        while (capacity - used < n)
            capacity *= 2;
        std::unique_ptr<uint8_t[]> grown(new uint8_t[capacity]);
        if (used)
            std::memcpy(grown.get(), m_buffer.get(), used);
        m_buffer = std::move(grown);
        m_end = m_buffer.get() + used;
        m_cursor = m_buffer.get() + cursor;
        m_capacityEnd = m_buffer.get() + capacity;
    }
    if (n)
        std::memcpy(m_end, src, n);
    m_end += n;
}

HFileInputByteStream::HFileInputByteStream(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw common::HException(QStringLiteral("can't open file ") + fileName);
    if (file.isSequential()) {
        // A pipe or device has no length to take in advance: it is read to its end.
        const QByteArray all = file.readAll();
        const bool failed = file.error() != QFileDevice::NoError;
        file.close();
        if (failed)
            throw common::HException(QStringLiteral("can't read file ") + fileName);
        reset(size_t(all.size()));
        write(reinterpret_cast<const uint8_t *>(all.constData()), size_t(all.size()));
        return;
    }
    const qint64 length = file.size();
    reset(size_t(length));
    const qint64 got = length ? file.read(reinterpret_cast<char *>(buffer()), length) : 0;
    file.close();
    if (got != length)
        throw common::HException(QStringLiteral("can't read file ") + fileName);
    setDataSize(size_t(length));
}

} // namespace zim::loadfile
