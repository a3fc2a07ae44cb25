// Reading executables once per modification.
#include "tevo/tevoexecutablecache.h"

#include "common/hexception.h"
#include "tevo/tevomodule.h"
#include "tevo/tevomsp430reader.h"

#include <QFile>
#include <QFileInfo>

namespace zim::tevo {

TEVOExecutableCache::TEVOExecutableCache() = default;
TEVOExecutableCache::~TEVOExecutableCache() = default;

std::shared_ptr<TEVOModule> TEVOExecutableCache::load(const QString &fileName)
{
    const QFileInfo info(fileName);
    if (!info.exists() || !info.isFile())
        throw common::HException(QStringLiteral("Can't access ") + fileName);
    const QString path = info.absoluteFilePath();
    const QDateTime modified = info.lastModified();
    const qint64 size = info.size();

    auto it = m_entries.find(path);
    if (it != m_entries.end() && it->modified == modified && it->size == size)
        return it->module;

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw common::HException(QStringLiteral("can't open file ") + fileName);
    TEVOMSP430Reader reader(file, true);
    ++m_reads;
    std::shared_ptr<TEVOModule> module = reader.readModule(false);
    // Load files still holding the old module keep it alive through their own reference.
    m_entries.insert(path, Entry{module, modified, size});
    return module;
}

} // namespace zim::tevo
