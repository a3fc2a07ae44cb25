// The entry of zimprog: builds the program-wide objects, runs one loading job and turns every
// failure into a message on standard error and exit status 1.
#include "common/hexception.h"
#include "common/text.h"
#include "loader/argparse.h"
#include "loader/system.h"
#include "platform/heapsettings.h"
#include "platform/platform.h"
#include "project/solutionloaderror.h"
#include "loader/programstate.h"
#include "tevo/tevoregistration.h"

#include <QCoreApplication>
#include <cstdio>
#include <memory>
#include <vector>

int main(int argc, char **argv)
{
    using namespace zim;
    using namespace zim::loader;

    platform::prepareHeap();

    // The words as the process received them; the application object may rearrange argv.
    const std::vector<const char *> words(argv, argv + argc);
    QCoreApplication application(argc, argv);

    // The objects below live until the process ends, made in this order: the error reporter
    // first, so that every later failure has somewhere to go.
    ArgParseReporter reporter(words.empty() ? "" : words[0], stderr);
    std::unique_ptr<ProgramState> state;
    std::unique_ptr<System> system;

    int status = 1;
    try {
        state = std::make_unique<ProgramState>(platform::executablePath());
        zim::tevo::registerTEVOLoadFile(state->loadFileFactory());
        system = std::make_unique<System>(*state, reporter);
        status = system->run(int(words.size()), words.data());
    } catch (const loader::ScriptFailure &e) {
        std::fprintf(stderr, "error: %s\n", e.message().toUtf8().constData());
    } catch (const common::HException &e) {
        std::fprintf(stderr, "error: %s\n\n", common::toPlainText(e.message()).toUtf8().constData());
    } catch (const project::SolutionLoadError &e) {
        if (e.isXmlError())
            std::fprintf(stderr, "load error: bad XML file - %s\n\n", e.secondText().toUtf8().constData());
        else
            std::fprintf(stderr, "load error: %s%s\n\n", e.firstText().toUtf8().constData(),
                         e.secondText().toUtf8().constData());
    } catch (...) {
        std::fputs("error: abnormal program termination\n", stderr);
    }
    std::fflush(stdout);
    return status;
}
