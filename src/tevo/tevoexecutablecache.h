// The executables read so far, by absolute path and modification time, so that a file loaded
// twice in one run is read once.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <memory>

namespace zim::tevo {

class TEVOModule;

class TEVOExecutableCache
{
public:
    TEVOExecutableCache();
    ~TEVOExecutableCache();

    // The module of the executable fileName: the cached one when the file's modification time
    // (and size) are unchanged, otherwise read anew, through a window, with a TEVOMSP430Reader that keeps loci.
    // Throws HException "Can't access <fileName>" for a missing file and the reader's
    // messages for a malformed one; on failure the previous entry stays.
    std::shared_ptr<TEVOModule> load(const QString &fileName);

    // How many times a file was actually read (for tests).
    int readCount() const { return m_reads; }

private:
    struct Entry
    {
        std::shared_ptr<TEVOModule> module;
        QDateTime modified;
        qint64 size = 0;
    };
    QHash<QString, Entry> m_entries;
    int m_reads = 0;
};

} // namespace zim::tevo
