// The entry of zimprog: builds the program-wide objects, runs one loading job and turns every
// failure into a message on standard error and exit status 1.
#include "common/hexception.h"
#include "common/text.h"
#include "loader/argparse.h"
#include "loader/system.h"
#include "loadfile/loadfilefactory.h"
#include "platform/platform.h"
#include "project/environmentsettings.h"
#include "project/macros.h"
#include "simulator/simulatorregistration.h"
#include "tevo/tevoregistration.h"

#include <QCoreApplication>
#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    // The words as the process received them; the application object may rearrange argv.
    const std::vector<const char *> words(argv, argv + argc);
    QCoreApplication application(argc, argv);

    // Lives until the process ends, as do the objects below.
    static ArgParseReporter reporter(words.empty() ? "" : words[0], stderr);

    try {
        static EnvironmentSettings settings;
        // The project system and the build system, with its default description files
        // "$(VeltDir)/targets/MSP430F449.xml" and "$(VeltDir)/targets/section_placement.xml",
        // are made here once they exist.
        settings.macros().insert(QStringLiteral("Platform"), QStringLiteral("MSP430").toLower());

        registerSimulatorTargets();
        zim::tevo::registerTEVOLoadFile(loadFileFactory());
        return System::instance().run(int(words.size()), words.data());
    } catch (const HException &e) {
        std::fprintf(stderr, "error: %s\n\n", toPlainText(e.message()).toUtf8().constData());
    } catch (...) {
        // Solution load errors get their "load error: " lines here once solutions can be opened.
        std::fputs("error: abnormal program termination\n", stderr);
    }
    std::fflush(stdout);
    return 1;
}
