// The Loader: owns the selected target interface and the current load file, and offers the
// operations a loading job is made of (connect, load, download, verify, reset, disconnect).
// Every operation throws HException with a finished message on failure.
#pragma once

#include "loader/consoleoutput.h"
#include "loader/textprogressbar.h"
#include "script/esqobject.h"

#include <QFileInfo>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

namespace zim::loadfile {
class LoadFileInterface; class TEVOLoadFileFactory;
}
namespace zim::target {
class TargetInterfaceFactory; class TargetInterface; struct ProgressReport;
}

namespace zim::loader {

class ProgramState;

// Scripts see the Loader as the global object Loader, with the methods of
// loaderscriptmethods.def and the properties below.
class Loader : public script::ESQObject
{
    Q_OBJECT
    // Writing selects a target; reading always gives the empty string.
    Q_PROPERTY(QString target READ targetProperty WRITE setTargetProperty)
    // Writing makes the file current; reading gives the current load file's path.
    Q_PROPERTY(QString loadFile READ loadFilePath WRITE SetLoadFile)
    Q_PROPERTY(uint loadAddress READ loadAddress WRITE setLoadAddress)

public:
    // The member numbers of the script methods.
    enum class ScriptMethod {
#define LOADER_SCRIPT_METHOD(name, number, arity) name = number,
#include "loader/loaderscriptmethods.def"
#undef LOADER_SCRIPT_METHOD
    };

    // out receives progress and messages and decides which are shown; targets and load files
    // are made through state's registry and factory. Neither is owned. clock as for
    // TextProgressBar.
    Loader(ConsoleOutput &out, ProgramState &state, TextProgressBar::Clock clock = TextProgressBar::Clock(),
           QObject *parent = nullptr);
    ~Loader() override;

    // "No target selected" / "No load file selected" when there is none.
    target::TargetInterface &target() const;
    loadfile::LoadFileInterface &loadFile() const;
    bool hasTarget() const { return m_target != nullptr; }
    bool hasLoadFile() const { return m_loadFile != nullptr; }
    // The path of the current load file as it was given; empty without one.
    QString loadFilePath() const { return m_loadFile ? m_fileInfo.filePath() : QString(); }

    // Replaces the target by a new one of class name, or of the class whose short name is name.
    // Throws "unknown target ..." with the list of targets for a name the registry does not know.
    void SetTarget(const QString &name);
    bool ConnectTarget();
    void DisconnectTarget();
    // Makes the file at path the current load file. After a failure the previous one stays.
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

    // Publishes the Loader in context, which also receives every target that scripts select
    // (the context must outlive the Loader's use of it).
    script::ESObject *registerObject(script::ESContext &context) override;
    // SetTarget as scripts ask for it: the new target joins the Loader's script context.
    void setTargetProperty(const QString &name);
    QString targetProperty() const { return QString(); }

    target::TargetInterfaceFactory &targetFactory() const;
    loadfile::TEVOLoadFileFactory &loadFileFactory() const;

public slots:
    void message(const QString &text);
    void progress(const zim::target::ProgressReport &report);

protected:
    script::ESValue callMethod(script::ESContext &context, int number, int count, script::ESValue *args) override;

private:
    target::TargetInterface &connectedTarget() const;
    // The object of the target or its port that holds the property name.
    QObject *propertyHolder(const QString &name) const;

    std::unique_ptr<target::TargetInterface> m_target;
    // Replaced targets that script contexts may still call: kept, disconnected, until the end.
    std::vector<std::unique_ptr<target::TargetInterface>> m_retiredTargets;
    script::ESContext *m_scriptContext = nullptr;
    std::unique_ptr<loadfile::LoadFileInterface> m_loadFile;
    QFileInfo m_fileInfo;
    uint32_t m_loadAddress = 0;
    bool m_loadAddressGiven = false;
    ConsoleOutput &m_out;
    ProgramState &m_state;
    TextProgressBar m_progressBar;
    QStringList m_arguments;
    QString m_fileType;
};

} // namespace zim::loader
