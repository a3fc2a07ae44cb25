// Registers TEVOLoadFile as the factory's "hzx" reader.
#include "tevo/tevoregistration.h"

#include "loadfile/loadfilefactory.h"
#include "tevo/tevoexecutablecache.h"
#include "tevo/tevoloadfile.h"

namespace zim::tevo {

void registerTEVOLoadFile(zim::loadfile::TEVOLoadFileFactory &factory)
{
    auto cache = std::make_shared<TEVOExecutableCache>();
    factory.setTEVOCreator([cache](const QString &fileName) -> std::unique_ptr<zim::loadfile::LoadFileInterface> {
        return std::make_unique<TEVOLoadFile>(fileName, *cache);
    });
}

} // namespace zim::tevo
