// Byte counts as messages and progress output show them.
#include "common/sizetext.h"

namespace zim::common {

QString sizeText(uint32_t n)
{
    if (n < 1024)
        return QStringLiteral("%1 bytes").arg(n);
    const uint32_t kilobytes = n / 1024;
    const uint32_t tenths = ((n % 1024) * 10) / 1024;
    if (tenths == 0)
        return QStringLiteral("%1 KB").arg(groupedNumber(kilobytes));
    return QStringLiteral("%1.%2 KB").arg(groupedNumber(kilobytes)).arg(tenths);
}

QString groupedNumber(uint32_t n)
{
    if (n < 1000)
        return QString::number(n);
    QString text;
    while (n >= 1000) {
        text.prepend(QString::asprintf(",%03u", n % 1000));
        n /= 1000;
    }
    return QString::number(n) + text;
}

} // namespace zim::common
