// Appending records to a section and laying it out.
#include "tevo/tevosection.h"

#include "tevo/tevoinsn.h"
#include "tevo/tevomodule.h"

#include <algorithm>

namespace zim::tevo {

void TEVOSection::startFragment()
{
    m_current = m_module->pool().make<TEVOFragment>(this);
    m_fragments.push_back(m_current);
}

void TEVOFragment::unpack() const
{
    TEVOPool &pool = m_section->module()->pool();
    TEVOInsn *first = nullptr;
    TEVOInsn *last = nullptr;
    size_t count = 0;
    auto link = [&](TEVOInsn *record) {
        if (last)
            last->m_link = reinterpret_cast<uintptr_t>(record);
        else
            first = record;
        last = record;
        ++count;
    };
    for (TEVOInsn *record = m_first; record;) {
        const uintptr_t following = record->m_link;
        if (record->recordKind() == TEVOInsn::RecordKind::Packed) {
            const auto *run = static_cast<const TEVOPackedData *>(record);
            run->forEachRecord([&](uint32_t address, uint32_t value, uint32_t size) {
                auto *data = pool.make<TEVODefBytesInsn>(int64_t(value), size, run->isBigEndian());
                data->setAddress(address);
                data->setLocus(run->locus());
                link(data);
            });
        } else {
            link(record);
        }
        record = (following & TEVOInsn::fragmentTag)
                     ? nullptr
                     : reinterpret_cast<TEVOInsn *>(following & ~TEVOInsn::packedTag);
    }
    if (last)
        last->m_link = reinterpret_cast<uintptr_t>(this) | TEVOInsn::fragmentTag;
    m_first = first;
    m_last = last;
    m_count = count;
    m_packed = false;
}

void TEVOSection::layout()
{
    if (m_laidOut || m_busy)
        return;
    m_busy = true;
    uint32_t start = 0xFFFFFFFF;
    uint64_t end = 0;
    for (TEVOFragment *fragment : m_fragments) {
        for (TEVOInsn *record = fragment->first(); record; record = record->next()) {
            if (record->address() == TEVOInsn::noAddress || record->isSizeless())
                continue;
            const uint32_t size = record->size();
            if (size < 1)
                continue;
            start = std::min(start, record->address());
            end = std::max(end, uint64_t(record->address()) + size);
        }
    }
    m_start = start;
    m_end = end;
    m_laidOut = true;
    m_busy = false;
}

} // namespace zim::tevo
