// Registers TEVOLoadFile as the factory's "hzx" reader and TEVOExecutableWriter as its writer.
#include "tevo/tevoregistration.h"

#include "loadfile/loadfilefactory.h"
#include "tevo/tevoexecutablecache.h"
#include "tevo/tevoexecutablewriter.h"
#include "tevo/tevoloadfile.h"

namespace zim::tevo {

void registerTEVOLoadFile(zim::loadfile::TEVOLoadFileFactory &factory)
{
    auto cache = std::make_shared<TEVOExecutableCache>();
    factory.setTEVOCreator([cache](const QString &fileName) -> std::unique_ptr<zim::loadfile::LoadFileInterface> {
        return std::make_unique<TEVOLoadFile>(fileName, *cache);
    }, std::make_shared<TEVOExecutableWriter>());
}

} // namespace zim::tevo
