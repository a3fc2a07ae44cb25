// Fuzz target: the description-file preprocessor must end every input in a document or an
// error, with warnings at most, never a crash or a hang.
#include "project/xmlpp.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace {

void dropMessages(QtMsgType, const QMessageLogContext &, const QString &)
{
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    qInstallMessageHandler(dropMessages);
    const zim::project::MacroMap environment{{QStringLiteral("VeltDir"), QStringLiteral("/nonexistent")}};
    zim::project::XmlPP pp(environment);
    // Includes name files beside a directory that does not exist: they only warn.
    pp.processText(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)),
                   QStringLiteral("/nonexistent/fuzz.xml"));
    return 0;
}
