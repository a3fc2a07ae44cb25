// zimprog-man: writes zimprog(1) at build time from the loader's own usage text and listings,
// made by the same System and registry that the zimprog executable uses.
#include "common/hexception.h"
#include "loader/argparse.h"
#include "loader/programstate.h"
#include "loader/system.h"
#include "manpage/manpage.h"
#include "tevo/tevoregistration.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <cstdio>

int main(int argc, char **argv)
{
    using namespace zim;
    QCoreApplication application(argc, argv);
    const QStringList args = application.arguments();
    if (args.size() != 4) {
        std::fputs("usage: zimprog-man VERSION INSTALLDIR OUTPUT\n", stderr);
        return 2;
    }
    const QString output = args.at(3);
    try {
        // The listings do not depend on where the program lives; the installed path keeps
        // $(VeltDir) what the installed program will see.
        loader::ProgramState state(args.at(2) + QStringLiteral("/bin/zimprog"));
        tevo::registerTEVOLoadFile(state.loadFileFactory());
        loader::ArgParseReporter reporter("zimprog", stderr);
        loader::System system(state, reporter, stdout);

        manpage::ManPageSource source;
        source.usage = system.usageText();
        source.targets = system.targetListing();
        source.fileTypes = system.fileTypeListing();
        source.version = args.at(1);
        source.installDir = args.at(2);
        const QByteArray page = manpage::manPage(source);

        QSaveFile file(output);
        if (!file.open(QIODevice::WriteOnly) || file.write(page) != page.size() || !file.commit())
            throw common::HException(QStringLiteral("cannot write %1: %2").arg(output, file.errorString()));
    } catch (const common::HException &e) {
        std::fprintf(stderr, "zimprog-man: %s\n", e.what());
        return 1;
    }
    return 0;
}
