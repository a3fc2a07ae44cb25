// The load-file factory and its table of types.
#include "loadfile/loadfilefactory.h"

#include "common/hexception.h"
#include "loadfile/binaryloadfile.h"
#include "loadfile/binarywriter.h"
#include "loadfile/elfloadfile.h"
#include "loadfile/hexlistingwriter.h"
#include "loadfile/hexloadfile.h"
#include "loadfile/intelhexloadfile.h"
#include "loadfile/intelhexwriter.h"
#include "loadfile/srecordloadfile.h"
#include "loadfile/srecordwriter.h"
#include "loadfile/tihexloadfile.h"
#include "loadfile/tihexwriter.h"

namespace zim::loadfile {

template <class Reader>
static LoadFileFactory::Creator creatorFor()
{
    return [](const QString &fileName) -> std::unique_ptr<LoadFileInterface> {
        return std::make_unique<Reader>(fileName);
    };
}

LoadFileFactory::LoadFileFactory()
{
    addType({"bin", "*.bin *.rom", "Binary"}, {".bin", ".BIN", ".rom", ".ROM"}, creatorFor<BinaryLoadFile>(),
            std::make_shared<BinaryWriter>());
    addType({"ihex", "*.hex", "Intel Hex"}, {".hex", ".HEX"}, creatorFor<IntelHexLoadFile>(),
            std::make_shared<IntelHexWriter>());
    addType({"hex", "*.lst", "Hex"}, {".lst", ".LST"}, creatorFor<HexLoadFile>(), std::make_shared<HexListingWriter>());
    addType({"tihex", "*.txt", "TI Hex"}, {".txt", ".TXT"}, creatorFor<TIHexLoadFile>(), std::make_shared<TIHexWriter>());
    addType({"srec", "*.s19 *.srec", "Motorola S-Record"}, {".srec", ".SREC", ".s19", ".S19"},
            creatorFor<SRecordLoadFile>(), std::make_shared<SRecordWriter>());
    addType({"elf", "*.elf", "ELF Executable"}, {".elf", ".ELF"}, creatorFor<ElfLoadFile>());
}

LoadFileFactory::~LoadFileFactory() = default;

void LoadFileFactory::addType(const LoadFileType &type, const QStringList &extensions, Creator creator,
                              std::shared_ptr<const LoadFileWriter> writer)
{
    m_entries.push_back({type, extensions, std::move(creator), std::move(writer)});
}

const LoadFileWriter *LoadFileFactory::writer(const QString &typeName) const
{
    for (const Entry &entry : m_entries) {
        if (typeName == QLatin1String(entry.type.typeName))
            return entry.writer.get();
    }
    return nullptr;
}

const LoadFileWriter &LoadFileFactory::requireWriter(const QString &typeName) const
{
    if (const LoadFileWriter *found = writer(typeName))
        return *found;
    for (const Entry &entry : m_entries) {
        if (typeName == QLatin1String(entry.type.typeName))
            throw common::HException(QStringLiteral("cannot write load files of type \"%1\"").arg(typeName));
    }
    throw common::HException(QStringLiteral("unknown file type \"%1\"").arg(typeName));
}

std::vector<LoadFileType> LoadFileFactory::types() const
{
    std::vector<LoadFileType> result;
    for (const Entry &entry : m_entries)
        result.push_back(entry.type);
    return result;
}

std::unique_ptr<LoadFileInterface> LoadFileFactory::create(const QString &fileName, const QString &typeName)
{
    for (const Entry &entry : m_entries) {
        if (typeName == QLatin1String(entry.type.typeName))
            return entry.creator ? entry.creator(fileName) : nullptr;
    }
    return nullptr;
}

QString LoadFileFactory::typeForFileName(const QString &fileName) const
{
    for (const Entry &entry : m_entries) {
        for (const QString &extension : entry.extensions) {
            if (fileName.endsWith(extension, Qt::CaseSensitive))
                return QString::fromLatin1(entry.type.typeName);
        }
    }
    return QString();
}

TEVOLoadFileFactory::TEVOLoadFileFactory()
{
    // The executable type leads the table; it is recognised by typeForFileName below rather
    // than by an extension list.
    m_entries.insert(m_entries.begin(), Entry{{"hzx", "*.hzx", "Halvane Executable"}, {}, nullptr, nullptr});
}

std::unique_ptr<LoadFileInterface> TEVOLoadFileFactory::create(const QString &fileName, const QString &typeName)
{
    return LoadFileFactory::create(fileName, typeName);
}

QString TEVOLoadFileFactory::typeForFileName(const QString &fileName) const
{
    if (fileName.contains(QLatin1String(".hzx"), Qt::CaseSensitive))
        return QStringLiteral("hzx");
    return LoadFileFactory::typeForFileName(fileName);
}

void TEVOLoadFileFactory::setTEVOCreator(Creator creator, std::shared_ptr<const LoadFileWriter> writer)
{
    m_entries.front().creator = std::move(creator);
    m_entries.front().writer = std::move(writer);
}

} // namespace zim::loadfile
