// Load files written as TEVO executables.
#include "tevo/tevoexecutablewriter.h"

#include "common/hexception.h"
#include "tevo/tevowriter.h"

namespace zim::tevo {

QByteArray TEVOExecutableWriter::contents(zim::loadfile::LoadFileInterface &file, const QString &fileName) const
{
    try {
        return writeTEVOExecutable(describeLoadFile(file));
    } catch (const common::HException &e) {
        throw common::HException(QStringLiteral("cannot write %1: %2").arg(fileName, e.message()));
    }
}

} // namespace zim::tevo
