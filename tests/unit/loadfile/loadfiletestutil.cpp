// Helpers for the load-file tests.
#include "loadfiletestutil.h"

#include "loadfile/loadfilesection.h"

#include <QFile>
#include <cctype>
#include <ostream>

void PrintTo(const SectionData &section, std::ostream *os)
{
    *os << std::hex << "{0x" << section.address << ":";
    for (uint8_t b : section.bytes)
        *os << ' ' << int(b);
    *os << std::dec << "}";
}

LayoutLoadFile::LayoutLoadFile(const std::vector<SectionData> &layout, bool hasStart, uint32_t start)
    : m_hasStart(hasStart), m_start(start)
{
    for (const SectionData &s : layout) {
        auto section = std::make_unique<zim::loadfile::ExpandingLoadFileSection>("", s.address);
        std::copy(s.bytes.begin(), s.bytes.end(), section->append(uint32_t(s.bytes.size())));
        m_sections.primarySections.push_back(std::move(section));
    }
}

std::vector<SectionData> primaryOf(zim::loadfile::LoadFileInterface &file)
{
    std::vector<SectionData> result;
    for (const auto &section : file.sections().primarySections)
        result.push_back({section->address(),
                          std::vector<uint8_t>(section->data(), section->data() + section->size())});
    return result;
}

std::map<uint32_t, uint8_t> memoryOf(zim::loadfile::LoadFileInterface &file)
{
    std::map<uint32_t, uint8_t> memory;
    for (const auto &section : file.sections().primarySections) {
        for (uint32_t i = 0; i < section->size(); ++i)
            memory[section->address() + i] = section->data()[i];
    }
    return memory;
}

QString TempFiles::write(const QString &name, const QByteArray &contents)
{
    const QString fileName = m_dir.filePath(name);
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        return QString();
    return fileName;
}

std::string testName(const char *what)
{
    std::string name;
    for (const char *c = what; *c; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
}
