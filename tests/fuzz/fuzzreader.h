// The body shared by the reader fuzz targets: every input must end in sections whose bytes
// can all be read, or in an HException with a message; anything else is a finding.
#pragma once

#include "common/hexception.h"
#include "loadfile/loadfileinterface.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

template<typename Open>
int fuzzReader(const uint8_t *data, size_t size, Open open)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        auto file = open(input);
        uint64_t sum = 0;
        // Touch every byte so that a section pointing outside its buffer shows up.
        for (const auto &section : file->sections().primarySections) {
            for (uint32_t i = 0; i < section->size(); ++i)
                sum += section->data()[i];
        }
        (void)file->startAddress();
        return int(sum & 0);
    } catch (const zim::common::HException &e) {
        if (e.message().isEmpty())
            __builtin_trap();
    }
    return 0;
}
