// Whole-file reads with a ceiling.
#include "common/boundedread.h"

#include "common/hexception.h"

#include <QFile>
#include <QIODevice>

#include <algorithm>

namespace zim::common {

bool readAllBounded(QIODevice &device, qint64 limit, QByteArray &out, bool *tooLarge)
{
    *tooLarge = false;
    out.clear();
    // A regular file says its size; a device, a FIFO or a file that grows under us does not,
    // so the loop reads in blocks and stops one byte past the ceiling.
    constexpr qint64 kBlock = 64 * 1024;
    for (;;) {
        const qint64 want = std::min(kBlock, limit + 1 - out.size());
        if (want <= 0) {
            *tooLarge = true;
            out.clear();
            return false;
        }
        const qsizetype at = out.size();
        out.resize(at + want);
        const qint64 got = device.read(out.data() + at, want);
        if (got < 0) {
            out.clear();
            return false;
        }
        out.resize(at + got);
        if (got == 0)
            return true;
    }
}

QString tooLargeMessage(const QString &path, qint64 limit, const QString &reader)
{
    return QStringLiteral("file \u201C") + path + QStringLiteral("\u201D is larger than the %1 bytes ").arg(limit)
           + reader;
}

QByteArray readWholeFile(const QString &path, qint64 limit, const QString &noun, const QString &reader)
{
    QFile file(path);
    const auto failure = [&](const char *verb) {
        return HException(QStringLiteral("cannot %1 %2 \u201C").arg(QLatin1String(verb), noun) + path
                          + QStringLiteral("\u201D: ") + file.errorString());
    };
    if (!file.open(QIODevice::ReadOnly))
        throw failure("open");
    QByteArray bytes;
    bool tooLarge = false;
    if (!readAllBounded(file, limit, bytes, &tooLarge)) {
        if (tooLarge)
            throw HException(tooLargeMessage(path, limit, reader));
        throw failure("read");
    }
    return bytes;
}

} // namespace zim::common
