// Identification of a JTAG-reached MSP430 by its ID bytes and fuses against the device table.
#include "msp430/deviceidentification.h"

#include <vector>

namespace zim::msp430 {

namespace {

uint32_t memorySize(MSP430DeviceDatabase *db)
{
    uint32_t size = db->flashEnd() - db->flashStart() + 1 + db->ramEnd() - db->ramStart() + 1;
    if (db->ram2End() > db->ram2Start())
        size += db->ram2End() - db->ram2Start() + 1;
    return size;
}
} // namespace

DeviceChoice chooseMSP430Device(MSP430DeviceDatabase *devices, const uint8_t idBytes[16],
                                const std::function<int()> &fuse, const QStringList &namedDevices)
{
    static const int offsets[7] = {0x0, 0x1, 0x2, 0x3, 0x8, 0x9, 0xD};
    std::vector<int> matches;
    int fuseByte = -2;
    for (int i = 0; i < devices->count(); ++i) {
        int pattern[9];
        devices->identificationPattern(i, pattern);
        bool match = true;
        for (int k = 0; k < 7 && match; ++k)
            match = pattern[k] < 0 || pattern[k] == idBytes[offsets[k]];
        if (match && pattern[7] >= 0) {
            if (fuseByte == -2)
                fuseByte = fuse();
            match = fuseByte >= 0 && (fuseByte & pattern[8]) == (pattern[7] & pattern[8]);
        }
        if (match)
            matches.push_back(i);
    }
    DeviceChoice choice;
    if (matches.empty())
        return choice;
    if (matches.size() == 1) {
        choice.index = matches.front();
        return choice;
    }
    QStringList names;
    for (int i : matches)
        names.append(QString::fromUtf8(devices->name(i)));
    for (int i : matches) {
        if (namedDevices.contains(QString::fromUtf8(devices->name(i)))) {
            choice.index = i;
            choice.reason = QStringLiteral("Identified %1, named by the run, among devices with the same ID bytes (%2)")
                                .arg(QString::fromUtf8(devices->name(i)), names.join(QStringLiteral(", ")));
            return choice;
        }
    }
    uint32_t best = 0;
    for (int i : matches) {
        devices->select(i);
        const uint32_t size = memorySize(devices);
        if (choice.index < 0 || size > best) {
            choice.index = i;
            best = size;
        }
    }
    choice.reason = QStringLiteral("Identified %1, the largest memory among devices with the same ID bytes (%2); "
                                   "name the device to choose another")
                        .arg(QString::fromUtf8(devices->name(choice.index)), names.join(QStringLiteral(", ")));
    return choice;
}

} // namespace zim::msp430
