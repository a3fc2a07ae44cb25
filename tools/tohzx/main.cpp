// tohzx: converts any load file the loader reads into a TEVO executable (.hzx), or traces the
// opcodes of a TEVO file.
#include "common/hexception.h"
#include "loadfile/hbytestream.h"
#include "loadfile/loadfilefactory.h"
#include "tevo/tevomodule.h"
#include "tevo/tevomsp430reader.h"
#include "tevo/tevoregistration.h"
#include "tevo/tevowriter.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <cstdio>

namespace {

const char usage[] =
    "usage: tohzx [-filetype TYPE] [-loadaddress ADDRESS] INPUT OUTPUT.hzx\n"
    "       tohzx -trace FILE.hzx\n"
    "Converts a load file (any type zimprog reads) into a TEVO executable, or prints the\n"
    "opcodes of a TEVO file with the operand stack after each one.\n";

int convert(const QString &input, const QString &output, QString type, bool haveLoadAddress, uint32_t loadAddress)
{
    zim::loadfile::TEVOLoadFileFactory factory;
    zim::tevo::registerTEVOLoadFile(factory);
    if (type.isEmpty())
        type = factory.typeForFileName(input);
    if (type.isEmpty())
        throw zim::common::HException(QStringLiteral("Cannot determine type of file \"%1\"").arg(input));
    std::unique_ptr<zim::loadfile::LoadFileInterface> file = factory.create(input, type);
    if (!file)
        throw zim::common::HException(QStringLiteral("Cannot load file \"%1\"").arg(input));
    if (!file->hasAddresses()) {
        if (!haveLoadAddress)
            throw zim::common::HException(QStringLiteral("no load address specified (-loadaddress option)"));
        file->setLoadAddress(loadAddress);
    }
    const QByteArray bytes = zim::tevo::writeTEVOExecutable(zim::tevo::describeLoadFile(*file));
    QSaveFile out(output);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        throw zim::common::HException(QStringLiteral("cannot write %1: %2").arg(output, out.errorString()));
    return 0;
}

int trace(const QString &input)
{
    zim::loadfile::HFileInputByteStream stream(input);
    zim::tevo::TEVOMSP430Reader reader(stream, false);
    reader.readModule(true, stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList args = application.arguments().mid(1);
    QString type;
    bool haveLoadAddress = false;
    uint32_t loadAddress = 0;
    QStringList files;
    bool tracing = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == QLatin1String("-trace")) {
            tracing = true;
        } else if ((a == QLatin1String("-filetype") || a == QLatin1String("-loadaddress")) && i + 1 < args.size()) {
            const QString value = args.at(++i);
            if (a == QLatin1String("-filetype")) {
                type = value.toLower();
            } else {
                bool ok = false;
                loadAddress = value.toUInt(&ok, 0);
                if (!ok) {
                    std::fprintf(stderr, "tohzx: bad load address %s\n", qPrintable(value));
                    return 2;
                }
                haveLoadAddress = true;
            }
        } else if (a.startsWith(QLatin1Char('-'))) {
            std::fputs(usage, stderr);
            return 2;
        } else {
            files.append(a);
        }
    }
    if ((tracing && files.size() != 1) || (!tracing && files.size() != 2)) {
        std::fputs(usage, stderr);
        return 2;
    }
    try {
        return tracing ? trace(files.at(0)) : convert(files.at(0), files.at(1), type, haveLoadAddress, loadAddress);
    } catch (const zim::common::HException &e) {
        std::fflush(stdout);
        std::fprintf(stderr, "tohzx: %s\n", e.what());
    }
    return 1;
}
