// Reading load files in pieces, with a check that a regular file keeps its length.
#include "loadfile/loadfileinput.h"

#include "common/hexception.h"

#include <algorithm>
#include <cstring>

namespace zim::loadfile {

LoadFileInput::LoadFileInput(const QString &fileName) : m_name(fileName), m_file(fileName)
{
    // Unbuffered: the readers bring their own buffers, and a second copy would only cost time.
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw common::HException(QStringLiteral("cannot open ") + fileName);
    m_sequential = m_file.isSequential();
    if (!m_sequential)
        m_size = uint64_t(std::max<qint64>(m_file.size(), 0));
}

LoadFileInput::LoadFileInput(const QByteArray &bytes, const QString &name)
    : m_name(name), m_bytes(bytes), m_inMemory(true), m_size(uint64_t(bytes.size()))
{
}

void LoadFileInput::fail() const
{
    throw common::HException(QStringLiteral("cannot read ") + m_name);
}

int64_t LoadFileInput::read(char *dest, int64_t max)
{
    if (m_inMemory) {
        const int64_t n = std::min<int64_t>(max, int64_t(m_size - m_consumed));
        if (n > 0)
            std::memcpy(dest, m_bytes.constData() + m_consumed, size_t(n));
        m_consumed += uint64_t(n);
        return n;
    }
    const qint64 n = m_file.read(dest, max);
    if (n < 0)
        fail();
    m_consumed += uint64_t(n);
    // A regular file that grew or shrank since it was opened is no longer the file to load.
    if (!m_sequential && (m_consumed > m_size || (n == 0 && max > 0 && m_consumed != m_size)))
        fail();
    return n;
}

void LoadFileInput::readAt(uint64_t offset, char *dest, uint64_t n)
{
    if (m_sequential || offset > m_size || n > m_size - offset)
        fail();
    if (m_inMemory) {
        if (n)
            std::memcpy(dest, m_bytes.constData() + offset, size_t(n));
        return;
    }
    if (uint64_t(m_file.size()) != m_size || !m_file.seek(qint64(offset)))
        fail();
    while (n > 0) {
        const qint64 got = m_file.read(dest, qint64(std::min<uint64_t>(n, uint64_t(1) << 30)));
        if (got <= 0)
            fail();
        dest += got;
        n -= uint64_t(got);
    }
}

QByteArray LoadFileInput::readAll(uint64_t limit)
{
    QByteArray all;
    const int64_t piece = 1 << 20;
    for (;;) {
        // Room for one more piece, or for one byte past the limit, whichever comes first.
        const uint64_t room = std::min<uint64_t>(piece, limit + 1 - uint64_t(all.size()));
        const qsizetype used = all.size();
        all.resize(used + qsizetype(room));
        const int64_t n = read(all.data() + used, int64_t(room));
        all.resize(used + qsizetype(n));
        if (n == 0 || uint64_t(all.size()) > limit)
            return all;
    }
}

} // namespace zim::loadfile
