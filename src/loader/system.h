// System: the loader's command line. Registers the program's options, keeps the settings the
// run sequence reads, collects the load file names, and runs one loading job.
#pragma once

#include "loader/argparse.h"
#include "loader/loader.h"
#include "loader/solutionselection.h"
#include "target/uploadedloadfile.h"

#include <QString>
#include <QStringList>
#include <cstdio>
#include <functional>
#include <memory>

class System : public ArgParse
{
public:
    // The program uses instance(); tests make their own with their own streams. out receives
    // listings, the usage text and progress (not owned).
    System(ArgParseReporter &reporter, FILE *out = stdout, TextProgressBar::Clock clock = TextProgressBar::Clock());
    ~System() override;

    // The one System of the process, made on first use with the shared reporter, never destroyed.
    static System &instance();

    // The run sequence over the whole argument vector (program name first). Returns the exit
    // status; failures are HExceptions for the entry to report.
    int run(int count, const char *const *words);

    void argument(const char *word) override;

    Loader &loader() { return m_loader; }
    bool quiet() const { return m_quiet; }
    bool verbose() const { return m_verbose; }
    bool download() const { return m_download; }
    bool verify() const { return m_verify; }
    bool help() const { return m_help; }
    bool disconnect() const { return m_disconnect; }
    const QStringList &files() const { return m_files; }
    const QString &targetName() const { return m_targetName; }
    const QString &solutionPath() const { return m_solutionPath; }
    const QString &projectName() const { return m_projectName; }
    const QString &configName() const { return m_configName; }
    // The project selected from the solution; nullptr without one.
    ProjectElement *currentProject() const { return m_selection ? m_selection->currentProject() : nullptr; }
    const QString &deviceName() const { return m_deviceName; }
    // What opens solutions and chooses the device (not owned). Without one, -solution and
    // -device fail.
    void setSolutionSelection(SolutionSelection &selection) { m_selection = &selection; }
    SolutionSelection *solutionSelection() const { return m_selection; }
    const QString &uploadPath() const { return m_uploadPath; }

    // The usage text, ending with the examples for the registry's first entries.
    QByteArray usageText() const;
    // "Target Interfaces:" and "File Types:" listings.
    static QByteArray targetListing();
    static QByteArray fileTypeListing();

private:
    void registerOptions();
    void addArgumentOption(const char *option, std::function<void(const char *argument)> handler);
    void print(const QByteArray &text);

    void setTarget(const char *name);
    void setProperty(const char *argument);
    void setFileType(const char *type);
    void setLoadAddress(const char *text);
    void listDevices();

    // Opens the solution and selects the project configuration, or checks that the target
    // needs none; then the device, and the project's output file when no file was named.
    void selectSolution();
    // The file type of the -upload file; throws as for load files.
    QString uploadType() const;
    void loadOne(const QString &fileName);

    FILE *m_out;
    // The Console script object and the ConsoleScriptSystem join the Loader here.
    Loader m_loader;
    bool m_quiet = false;
    bool m_verbose = false;
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
    SolutionSelection *m_selection = nullptr;
    // What -upload has read back so far, written out before disconnecting.
    std::unique_ptr<UploadedLoadFile> m_uploaded;
};
