// The Loader: owns the selected target interface and the current load file, and offers the
// operations a loading job is made of (connect, load, download, verify, reset, disconnect).
// Every operation throws HException with a finished message on failure.
#pragma once

#include "loader/consoleoutput.h"
#include "loader/textprogressbar.h"

#include <QFileInfo>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

namespace zim::loadfile {
class LoadFileInterface; class TEVOLoadFileFactory;
}
namespace zim::target {
class MSP430TargetInterfaceFactory; class ProgramState; class TargetInterface;
}

namespace zim::loader {


class Loader : public QObject
{
    Q_OBJECT
public:
    // out receives progress and messages and decides which are shown; targets and load files
    // are made through state's registry and factory. Neither is owned. clock as for
    // TextProgressBar.
    Loader(ConsoleOutput &out, target::ProgramState &state, TextProgressBar::Clock clock = TextProgressBar::Clock(),
           QObject *parent = nullptr);
    ~Loader() override;

    // "No target selected" / "No load file selected" when there is none.
    target::TargetInterface &target() const;
    loadfile::LoadFileInterface &loadFile() const;
    bool hasTarget() const { return m_target != nullptr; }
    bool hasLoadFile() const { return m_loadFile != nullptr; }
    // The path of the current load file as it was given.
    QString loadFilePath() const { return m_fileInfo.filePath(); }

    // Replaces the target by a new one of class name, or of the class whose short name is name.
    // Throws "unknown target ..." with the list of targets for a name the registry does not
    // know, and "target ... is not available in this version of zimprog" for a listed target
    // that this build cannot make.
    void SetTarget(const QString &name);
    bool ConnectTarget();
    void DisconnectTarget();
    // Makes the file at path the current load file.
    void SetLoadFile(const QString &path);
    void Download();
    bool Verify();
    void ResetTarget();

    // The factory's own spelling of a type name; empty: chosen from the file name.
    void setFileType(const QString &type) { m_fileType = type; }
    QString fileType() const { return m_fileType; }
    // Also records that a load address was given.
    void setLoadAddress(uint32_t address);
    uint32_t loadAddress() const { return m_loadAddress; }
    bool loadAddressGiven() const { return m_loadAddressGiven; }
    void setArguments(const QStringList &arguments) { m_arguments = arguments; }
    const QStringList &arguments() const { return m_arguments; }

    target::MSP430TargetInterfaceFactory &targetFactory() const;
    loadfile::TEVOLoadFileFactory &loadFileFactory() const;

public slots:
    void message(const QString &text);
    void progress(int step, int steps, const char *task, const char *units);

private:
    target::TargetInterface &connectedTarget() const;

    std::unique_ptr<target::TargetInterface> m_target;
    std::unique_ptr<loadfile::LoadFileInterface> m_loadFile;
    QFileInfo m_fileInfo;
    uint32_t m_loadAddress = 0;
    bool m_loadAddressGiven = false;
    ConsoleOutput &m_out;
    target::ProgramState &m_state;
    TextProgressBar m_progressBar;
    QStringList m_arguments;
    QString m_fileType;
};

} // namespace zim::loader
