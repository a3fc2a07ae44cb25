// Raw binary load files.
#include "loadfile/binaryloadfile.h"

#include "common/hexception.h"

#include <QFile>

BinaryLoadFile::BinaryLoadFile(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw HException(QStringLiteral("cannot open ") + fileName);
    const qint64 length = file.size();
    if (length > 0xFFFFFFFF)
        throw HException(QStringLiteral("cannot read ") + fileName);
    m_bytes = file.read(length);
    if (m_bytes.size() != length)
        throw HException(QStringLiteral("cannot read ") + fileName);
}

std::unique_ptr<BinaryLoadFile> BinaryLoadFile::fromBytes(const QByteArray &bytes)
{
    std::unique_ptr<BinaryLoadFile> file(new BinaryLoadFile);
    file->m_bytes = bytes;
    return file;
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
    m_sections.primarySections.push_back(std::make_unique<StandardLoadFileSection>(
        "data", m_loadAddress, uint32_t(m_bytes.size()), reinterpret_cast<const uint8_t *>(m_bytes.constData())));
    return true;
}
