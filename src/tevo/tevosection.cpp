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

void TEVOSection::layout()
{
    if (m_laidOut || m_busy)
        return;
    m_busy = true;
    uint32_t start = 0xFFFFFFFF;
    uint64_t end = 0;
    for (TEVOFragment *fragment : m_fragments) {
        for (TEVOInsn *record = fragment->first(); record; record = record->next()) {
            if (record->address() == TEVOInsn::noAddress)
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
