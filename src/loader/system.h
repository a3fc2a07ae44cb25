// System: the loader's command line. Registers the program's options, keeps the settings the
// run sequence reads, collects the load file names, and runs one loading job.
#pragma once

#include "loader/argparse.h"
#include "loader/console.h"
#include "loader/consoleoutput.h"
#include "loader/consolescriptsystem.h"
#include "loader/loader.h"
#include "loader/solutionselection.h"
#include "platform/deviceaccess.h"
#include "target/loadedranges.h"
#include "target/targetscripthost.h"

#include <QString>
#include <QStringList>
#include <cstdio>
#include <memory>
#include <vector>

namespace zim::loadfile {
class LoadFileDestination; class LoadFileWriter;
}
namespace zim::loader {

class ProgramState;

// The System is also the targets' way to the project configuration of the run and to the
// loader's script system: it installs itself as the state's script host while it lives.
class System : public ArgParse, public target::TargetScriptHost
{
public:
    // The entry makes one System over the program state; tests make their own with their own
    // state and streams. out receives listings, the usage text, progress and script output
    // (not owned). The constructor publishes Console and Loader in the script system.
    System(ProgramState &state, ArgParseReporter &reporter, FILE *out = stdout,
           TextProgressBar::Clock clock = TextProgressBar::Clock());
    ~System() override;

    // The run sequence over the whole argument vector (program name first). Returns the exit
    // status; failures are HExceptions for the entry to report, among them output that could
    // not be written to standard output.
    int run(int count, const char *const *words);

    void argument(const char *word) override;
    // The words after -script's file: the script's arguments.
    void restArgument(const char *word) override;

    Loader &loader() { return m_loader; }
    ConsoleScriptSystem &scriptSystem() { return m_scripts; }
    // The configuration and project selected from the solution; nullptr without one.
    const QString &configName() const override { return m_configName; }
    project::ProjectElement *currentProject() const override { return m_selection.currentProject(); }
    // Runs text in the loader's script system (TargetScriptHost).
    bool evaluateScript(const QString &text, const QString &name) override;

    // The usage text, its option lines made from the option table, ending with the examples
    // for the registry's first entries.
    QByteArray usageText() const;
    // "Target Interfaces:" and "File Types:" listings.
    QByteArray targetListing() const;
    QByteArray fileTypeListing() const;

private:
    // One row of the option table: the option, what the usage line shows after it, whether
    // it takes the next word as its argument, the usage text, and what it does.
    struct OptionEntry
    {
        const char *option;
        const char *label;
        bool takesArgument;
        // What an empty argument lacks ("a file name"); nullptr where an empty word is a value.
        const char *needs;
        const char *help;
        void (*act)(System &system, const char *argument);
    };
    // In the order of the usage lines.
    static const std::vector<OptionEntry> &optionTable();

    int runSequence(int count, const char *const *words);
    void registerOptions();

    void setTarget(const char *name);
    void setProperty(const char *argument);
    void setFileType(const char *type);
    void setLoadAddress(const char *text);

    // Opens the solution and selects the project configuration, or checks that the target
    // needs none; then the device, and the project's output file when no file was named.
    void selectSolution();
    // -script: the file runs with the words after it as the Loader's arguments.
    void runScript();
    // The writer and the destination of the -upload file, checked before connecting.
    void prepareUpload();
    void finishUpload();
    void loadOne(const QString &fileName);

    ProgramState &m_state;
    // Set when ZIM_DEVICE_SHIM names a device shim; kept for the rest of the run, and
    // destroyed after the loader, whose target may still call through it.
    std::unique_ptr<platform::DeviceAccess> m_devices;
    ConsoleOutput m_output;
    Console m_console;
    Loader m_loader;
    ConsoleScriptSystem m_scripts;
    bool m_download = true;
    bool m_verify = true;
    bool m_help = false;
    bool m_disconnect = true;
    QStringList m_files;
    QString m_targetName;
    QString m_solutionPath;
    QString m_projectName;
    QString m_configName;
    QString m_deviceName;
    QString m_uploadPath;
    // Set up by prepareUpload when -upload was given.
    const loadfile::LoadFileWriter *m_uploadWriter = nullptr;
    std::unique_ptr<loadfile::LoadFileDestination> m_uploadDestination;
    target::LoadedRanges m_uploadRanges;
    // -script: the file to run and the words after it.
    QString m_scriptPath;
    QStringList m_scriptArguments;
    SolutionSelection m_selection;
};

} // namespace zim::loader
