// The load file over a linked TEVO executable (.hzx).
#pragma once

#include "loadfile/loadfileinterface.h"

#include <QString>
#include <memory>

namespace zim::tevo {

class TEVOExecutableCache;
class TEVOModule;

// Reads the module through the executable cache and, on first use of the sections, cuts every
// loadable section into runs of contiguous bytes: kind-6 sections go to the secondary list,
// all others to the primary list. All load sections point into one buffer the file owns.
class TEVOLoadFile : public zim::loadfile::LoadFileInterface
{
public:
    // Throws HException "Can't access <fileName>" or the reader's message.
    TEVOLoadFile(const QString &fileName, TEVOExecutableCache &cache);
    // Over a module already read.
    explicit TEVOLoadFile(std::shared_ptr<TEVOModule> module);
    ~TEVOLoadFile() override;

    bool hasStartAddress() const override { return true; }
    void setStartAddress(uint32_t) override {}
    // The lowest start of the loadable sections that are not kind 6 (a section without bytes
    // counts as 0); 0xFFFFFFFF without such a section.
    uint32_t startAddress() const override;
    bool hasAddresses() const override { return true; }
    void setLoadAddress(uint32_t) override {}
    TEVOModule *objectModule() override { return m_module.get(); }
    // Throws HException for a record whose bytes cannot be made (an expression error, missing
    // instruction bytes, no address), for bytes past the end of the address space and for
    // more than TEVOSection::maxLoadBytes in all.
    bool readSections() override;

private:
    // Cuts the sections in one walk over their records, growing the buffer as it goes, and
    // lays out each section it walks that is not laid out yet.
    void cut();

    // The module is shared with the cache, which may replace its entry while this file lives.
    std::shared_ptr<TEVOModule> m_module;
    std::unique_ptr<uint8_t[]> m_buffer;
};

} // namespace zim::tevo
