// Identification of a JTAG-reached MSP430: the device record its ID bytes and fuses match,
// with a rule for the records that share both.
#pragma once

#include "msp430/msp430devicedatabase.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

namespace zim::msp430 {

struct DeviceChoice
{
    // The record taken, -1 when none matches.
    int index = -1;
    // Why, when more than one record matched; empty otherwise.
    QString reason;
};

// The record chosen among those whose identification pattern matches idBytes (the 16 bytes
// from 0x0FF0): the one whose name is among namedDevices, else the one with the most memory,
// so that no device gets a smaller sibling's limits. fuse reads the fuse byte (or -1), only
// when a record compares fuses. Leaves devices with the last record it looked at selected.
DeviceChoice chooseMSP430Device(MSP430DeviceDatabase *devices, const uint8_t idBytes[16],
                                const std::function<int()> &fuse, const QStringList &namedDevices);

} // namespace zim::msp430
