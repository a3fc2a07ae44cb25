// The entry of zimprog: builds the program-wide objects, runs one loading job and turns every
// failure into a message on standard error and exit status 1.
#include "common/hexception.h"
#include "common/text.h"
#include "loader/argparse.h"
#include "loader/system.h"
#include "platform/platform.h"
#include "loader/solutionselection.h"
#include "project/environmentsettings.h"
#include "project/macros.h"
#include "project/msp430buildsystem.h"
#include "project/msp430projectsystem.h"
#include "project/propertygroups.h"
#include "project/solutionloaderror.h"
#include "simulator/simulatorregistration.h"

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
        static MSP430ProjectSystem projects(settings.macros());
        static MSP430BuildSystem build(projects, settings);
        build.setDescriptionFiles(QStringLiteral("$(VeltDir)/targets/MSP430F449.xml"),
                                  QStringLiteral("$(VeltDir)/targets/section_placement.xml"));
        settings.macros().insert(QStringLiteral("Platform"), QStringLiteral("MSP430").toLower());
        static SolutionSelection selection(projects, build, PropertyGroups::instance());
        System::instance().setSolutionSelection(selection);

        registerSimulatorTargets();
        return System::instance().run(int(words.size()), words.data());
    } catch (const HException &e) {
        std::fprintf(stderr, "error: %s\n\n", toPlainText(e.message()).toUtf8().constData());
    } catch (const SolutionLoadError &e) {
        if (e.isXmlError())
            std::fprintf(stderr, "load error: bad XML file - %s\n\n", e.secondText().toUtf8().constData());
        else
            std::fprintf(stderr, "load error: %s%s\n\n", e.firstText().toUtf8().constData(),
                         e.secondText().toUtf8().constData());
    } catch (...) {
        std::fputs("error: abnormal program termination\n", stderr);
    }
    std::fflush(stdout);
    return 1;
}
