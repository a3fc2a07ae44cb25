// The factory that makes a load-file reader by type name or file name.
#pragma once

#include "loadfile/loadfileinterface.h"
#include "loadfile/loadfilewriter.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

// One entry of the factory's table, as the type listing shows it.
namespace zim::loadfile {

struct LoadFileType
{
    const char *typeName;
    // Space-separated wildcard patterns.
    const char *filter;
    const char *description;
};

// Makes load-file readers and holds the writers of the types that can be written. The table order is the listing order and the order in which
// type names and file extensions are tried.
class LoadFileFactory
{
public:
    // Constructs the reader for one file; throws HException for a missing or malformed file.
    using Creator = std::function<std::unique_ptr<LoadFileInterface>(const QString &fileName)>;

    LoadFileFactory();
    virtual ~LoadFileFactory();

    // A new reader for fileName of the type named exactly typeName (case-sensitive), owned by
    // the caller; null for an unknown type or one whose reader is not registered. The reader's
    // HException propagates for a missing or malformed file.
    virtual std::unique_ptr<LoadFileInterface> create(const QString &fileName, const QString &typeName);
    // The type name for fileName from its extension (case-sensitive), or an empty string.
    virtual QString typeForFileName(const QString &fileName) const;

    // The table, in listing order.
    std::vector<LoadFileType> types() const;

    // The writer of the type named exactly typeName; null when that type cannot be written.
    const LoadFileWriter *writer(const QString &typeName) const;
    // The same, throwing HException "cannot write load files of type ..." for a type without a
    // writer and "unknown file type ..." for a name that is not in the table.
    const LoadFileWriter &requireWriter(const QString &typeName) const;

    // Appends a type to the table. extensions are the case-sensitive endings that
    // typeForFileName recognises for it (".elf", ".ELF"), tried after those of earlier entries.
    // writer is null for a type that can only be read.
    void addType(const LoadFileType &type, const QStringList &extensions, Creator creator,
                 std::shared_ptr<const LoadFileWriter> writer = nullptr);

protected:
    struct Entry
    {
        LoadFileType type;
        QStringList extensions;
        Creator creator;
        std::shared_ptr<const LoadFileWriter> writer;
    };
    std::vector<Entry> m_entries;
};

// The factory the program uses: the TEVO executable type "hzx" comes first. Its reader lives
// above this library and is registered with setTEVOCreator() at start-up; until then create()
// gives null for "hzx" and the type cannot be written.
class TEVOLoadFileFactory : public LoadFileFactory
{
public:
    TEVOLoadFileFactory();

    std::unique_ptr<LoadFileInterface> create(const QString &fileName, const QString &typeName) override;
    // Any name containing ".hzx" (case-sensitive, anywhere) is a TEVO executable.
    QString typeForFileName(const QString &fileName) const override;

    // The reader of "hzx" and, when given, its writer.
    void setTEVOCreator(Creator creator, std::shared_ptr<const LoadFileWriter> writer = nullptr);
};

} // namespace zim::loadfile
