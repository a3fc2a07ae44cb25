// Writing a raw binary image.
#include "loadfile/binarywriter.h"

#include "common/hexception.h"

#include <algorithm>
#include <cstring>

namespace zim::loadfile {

QByteArray BinaryWriter::formatMainMemory(LoadFileInterface &file, const QString &fileName) const
{
    const LoadFileSectionList &sections = file.sections().primarySections;
    uint64_t low = UINT64_MAX, high = 0;
    for (const auto &section : sections) {
        if (!section->size())
            continue;
        low = std::min<uint64_t>(low, section->address());
        high = std::max<uint64_t>(high, uint64_t(section->address()) + section->size());
    }
    if (high == 0)
        return QByteArray();
    // Far-apart sections would make an image of gigabytes; refuse rather than exhaust memory.
    constexpr uint64_t largest = 256u << 20;
    if (high - low > largest)
        throw common::HException(QStringLiteral("cannot write %1: a binary image from 0x%2 to 0x%3 is larger than 256 MB")
                             .arg(fileName)
                             .arg(low, 8, 16, QLatin1Char('0'))
                             .arg(high - 1, 8, 16, QLatin1Char('0')));
    QByteArray image(qsizetype(high - low), char(0xFF));
    for (const auto &section : sections) {
        if (section->size())
            std::memcpy(image.data() + (section->address() - low), section->data(), section->size());
    }
    return image;
}

} // namespace zim::loadfile
