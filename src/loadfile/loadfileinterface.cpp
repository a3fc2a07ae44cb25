// The operations every load file shares: section access, merging and sorting.
#include "loadfile/loadfileinterface.h"

#include "common/hexception.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace zim::loadfile {

LoadFileInterface::~LoadFileInterface() = default;

LoadFileSections &LoadFileInterface::sections()
{
    if (!m_sectionsRead) {
        if (!readSections())
            throw common::HException("cannot read sections from load file");
        m_sectionsRead = true;
    }
    return m_sections;
}

static uint32_t totalSize(const LoadFileSectionList &list)
{
    uint32_t total = 0;
    for (const auto &section : list)
        total += section->size();
    return total;
}

uint32_t LoadFileInterface::primarySize()
{
    return totalSize(sections().primarySections);
}

uint32_t LoadFileInterface::secondarySize()
{
    return totalSize(sections().secondarySections);
}

void LoadFileInterface::makeContiguous(uint8_t fill)
{
    LoadFileSectionList &list = sections().primarySections;
    if (list.empty())
        return;
    uint32_t low = 0xFFFFFFFF;
    uint64_t high = 0;
    for (const auto &section : list) {
        low = std::min(low, section->address());
        high = std::max(high, uint64_t(section->address()) + section->size());
    }
    if (low == 0xFFFFFFFF || high == 0)
        return;
    // Ends are taken in 64 bits so that a section running past the top of the address
    // space is reported instead of wrapping around into a short buffer.
    const uint64_t span = high - low;
    if (span > 0xFFFFFFFFu)
        throw common::HException(QStringLiteral("cannot make one section from 0x%1 to 0x%2: the range exceeds 32 bits")
                             .arg(low, 8, 16, QLatin1Char('0'))
                             .arg(high, 9, 16, QLatin1Char('0')));
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[span ? span : 1]);
    if (!buffer)
        throw common::HException(QStringLiteral("not enough memory for one section of %1 bytes").arg(span));
    std::memset(buffer.get(), fill, span);
    for (const auto &section : list) {
        if (section->size())
            std::memcpy(buffer.get() + (section->address() - low), section->data(), section->size());
    }
    list.clear();
    list.push_back(std::make_unique<StandardLoadFileSection>("Contiguous section", low, uint32_t(span),
                                                             buffer.get()));
    m_contiguousBuffers.push_back(std::move(buffer));
}

void LoadFileInterface::sortSections()
{
    auto byAddress = [](const std::unique_ptr<LoadFileSectionInterface> &a,
                        const std::unique_ptr<LoadFileSectionInterface> &b) { return a->address() < b->address(); };
    LoadFileSections &store = sections();
    // Stable, so that sections at the same address keep their file order.
    std::stable_sort(store.primarySections.begin(), store.primarySections.end(), byAddress);
    std::stable_sort(store.secondarySections.begin(), store.secondarySections.end(), byAddress);
}

} // namespace zim::loadfile
