// Start-up registration of the TEVO executable reader and writer with the load-file factory.
#pragma once

namespace zim::loadfile { class TEVOLoadFileFactory; }

namespace zim::tevo {

// Lets factory create and write "hzx" load files. The executable cache they share is owned by the
// registered creator and lives as long as the factory.
void registerTEVOLoadFile(zim::loadfile::TEVOLoadFileFactory &factory);

} // namespace zim::tevo
