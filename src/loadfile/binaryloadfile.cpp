// Raw binary load files.
#include "loadfile/binaryloadfile.h"

#include "common/boundedread.h"
#include "common/hexception.h"
#include "loadfile/deferredloadfilesection.h"
#include "loadfile/loadfileinput.h"

namespace zim::loadfile {

namespace {

constexpr uint64_t addressSpace = uint64_t(1) << 32;

} // namespace

BinaryLoadFile::BinaryLoadFile(const QString &fileName) : m_name(fileName)
{
    auto input = std::make_shared<LoadFileInput>(fileName);
    if (input->isSequential()) {
        m_bytes = input->readAll(uint64_t(maxSize));
        m_length = uint64_t(m_bytes.size());
    } else {
        m_length = input->size();
        m_input = std::move(input);
    }
    checkLength();
}

BinaryLoadFile::~BinaryLoadFile() = default;

std::unique_ptr<BinaryLoadFile> BinaryLoadFile::fromBytes(const QByteArray &bytes)
{
    std::unique_ptr<BinaryLoadFile> file(new BinaryLoadFile);
    file->m_bytes = bytes;
    file->m_length = uint64_t(bytes.size());
    file->checkLength();
    return file;
}

void BinaryLoadFile::checkLength()
{
    // An empty image would load nothing and still look like a success.
    if (m_length == 0)
        throw common::HException(QStringLiteral("empty file ") + m_name);
    if (m_length > uint64_t(maxSize))
        throw common::HException(common::tooLargeMessage(m_name, maxSize, QStringLiteral("a binary load file may have")));
}

void BinaryLoadFile::setLoadAddress(uint32_t address)
{
    if (address == m_loadAddress)
        return;
    m_sections.primarySections.clear();
    m_sectionsRead = false;
    m_loadAddress = address;
}

bool BinaryLoadFile::readSections()
{
    if (m_loadAddress + m_length > addressSpace)
        throw common::HException(QStringLiteral("%1 at load address 0x%2 runs past the end of the 32-bit address space")
                             .arg(m_name)
                             .arg(m_loadAddress, 4, 16, QLatin1Char('0')));
    if (m_input) {
        m_sections.primarySections.push_back(
            std::make_unique<DeferredLoadFileSection>("data", m_loadAddress, uint32_t(m_length), m_input, 0));
    } else {
        m_sections.primarySections.push_back(std::make_unique<StandardLoadFileSection>(
            "data", m_loadAddress, uint32_t(m_length), reinterpret_cast<const uint8_t *>(m_bytes.constData())));
    }
    return true;
}

} // namespace zim::loadfile
