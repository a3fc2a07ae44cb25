// Texts shared by the loader's messages and listings.
#include "loader/loadertext.h"

#include "common/hexception.h"
#include "target/targetregistry.h"

#include <QByteArray>
#include <cstring>

namespace zim::loader {

namespace {

// The length of the valid UTF-8 sequence at text[i], or 0 when the byte there starts none.
int validSequence(const QByteArray &text, qsizetype i)
{
    const auto byte = uchar(text.at(i));
    const int length = byte < 0x80 ? 1 : (byte & 0xE0) == 0xC0 ? 2 : (byte & 0xF0) == 0xE0 ? 3 : (byte & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    // Overlong forms, surrogates and values past U+10FFFF come back from the decoder changed.
    const QByteArray sequence = text.mid(i, length);
    return QString::fromUtf8(sequence).toUtf8() == sequence ? length : 0;
}

} // namespace

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString targetLines(const target::TargetInterfaceFactory &targets)
{
    QString lines;
    for (const target::TargetRegistryEntry &entry : targets.entries())
        lines += QString::asprintf("  %-21s %s\n", entry.shortName ? entry.shortName : entry.className, entry.description);
    return lines;
}

QString fileNameFromWord(const char *word)
{
    const QByteArray bytes(word);
    bool valid = true;
    QByteArray shown;
    for (qsizetype i = 0; i < bytes.size();) {
        const int length = validSequence(bytes, i);
        if (length) {
            shown += bytes.mid(i, length);
            i += length;
        } else {
            valid = false;
            shown += "\\x" + QByteArray::number(uchar(bytes.at(i)), 16).toUpper().rightJustified(2, '0');
            ++i;
        }
    }
    if (!valid)
        throw common::HException(QStringLiteral("The file name ") + quoted(QString::fromUtf8(shown))
                         + QStringLiteral(" is not valid UTF-8"));
    return QString::fromUtf8(bytes);
}

} // namespace zim::loader
