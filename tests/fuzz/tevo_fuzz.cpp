// Fuzz target: the TEVO reader and the .hzx load sections must end every input in sections or
// an HException, never a crash, a hang or unbounded memory.
#include "fuzzreader.h"
#include "loadfile/hbytestream.h"
#include "tevo/tevoloadfile.h"
#include "tevo/tevomodule.h"
#include "tevo/tevomsp430reader.h"
#include "tevo/tevosection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzReader(data, size, [&](const QByteArray &input) {
        zim::loadfile::HByteStream stream;
        stream.write(reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()));
        zim::tevo::TEVOMSP430Reader reader(stream, true);
        std::shared_ptr<zim::tevo::TEVOModule> module = reader.readModule(false);
        // Every record of every section, loaded or not, so that packed data is unpacked too;
        // a fragment's count must be the records walked.
        for (zim::tevo::TEVOSection *section : module->sections()) {
            for (zim::tevo::TEVOFragment *fragment : section->fragments()) {
                size_t walked = 0;
                for (zim::tevo::TEVOInsn *record : fragment->records()) {
                    (void)record->address();
                    ++walked;
                }
                if (walked != fragment->count())
                    __builtin_trap();
            }
        }
        auto file = std::make_unique<zim::tevo::TEVOLoadFile>(module);
        for (const auto &section : file->sections().secondarySections)
            (void)section->data();
        return file;
    });
}
