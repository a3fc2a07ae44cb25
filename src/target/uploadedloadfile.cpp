// A load file made of sections read back from a target.
#include "target/uploadedloadfile.h"

namespace zim::target {

UploadedLoadFile::UploadedLoadFile()
{
    // The lists are filled by whoever reads the target; there is nothing to read from a file.
    m_sectionsRead = true;
}

void UploadedLoadFile::setStartAddress(uint32_t address)
{
    m_startAddress = address;
    m_hasStartAddress = true;
}

void UploadedLoadFile::appendSection(int space, std::unique_ptr<loadfile::LoadFileSectionInterface> section)
{
    (space == 0 ? m_sections.primarySections : m_sections.secondarySections).push_back(std::move(section));
}

void UploadedLoadFile::takeSections(loadfile::LoadFileInterface &other)
{
    loadfile::LoadFileSections &from = other.sections();
    for (auto &section : from.primarySections)
        m_sections.primarySections.push_back(std::move(section));
    for (auto &section : from.secondarySections)
        m_sections.secondarySections.push_back(std::move(section));
    from.primarySections.clear();
    from.secondarySections.clear();
    if (!m_hasStartAddress && other.hasStartAddress())
        setStartAddress(other.startAddress());
}

} // namespace zim::target
