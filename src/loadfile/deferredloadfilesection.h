// A section whose bytes stay in the file until they are first asked for.
#pragma once

#include "loadfile/loadfilesection.h"

#include <memory>

namespace zim::loadfile {

class LoadFileInput;

// The size bytes at an offset of a load file's input. The bytes are read on the first call of
// data(), so that a file the target refuses for its addresses costs neither the time nor the
// memory of reading it. The section shares the input and keeps it open. data() throws
// HException "cannot read <name>" when the file no longer holds the bytes.
class DeferredLoadFileSection : public StandardLoadFileSection
{
public:
    DeferredLoadFileSection(const char *name, uint32_t address, uint32_t size, std::shared_ptr<LoadFileInput> input,
                            uint64_t offset);

    const uint8_t *data() const override;

private:
    std::shared_ptr<LoadFileInput> m_input;
    uint64_t m_offset;
    mutable std::unique_ptr<uint8_t[]> m_buffer;
};

} // namespace zim::loadfile
