// TargetInterface: the loader's handle on one way of reaching an MSP430. Concrete targets
// supply connection, reset and run control and their memory interfaces; download, verify
// and upload work through those memory interfaces for every target alike.
// Failures of operations are HExceptions.
#pragma once

#include "script/esclass.h"
#include "target/objecttreeobject.h"
#include "target/veltobjectpropertyvalue.h"

#include <QString>
#include <cstdint>
#include <memory>

namespace zim::loadfile {
class LoadFileInterface;
}
namespace zim::project {
class PropertyValue;
}

namespace zim::target {

class ProgramState;
class TargetMemoryInterface;
class TargetRegisterInterface;

// The script class "TargetInterface": scripts reach a target through the methods that
// addScriptMethods publishes, each call dispatched on its member number.
class TargetInterface : public ObjectTreeObject, public script::ESClass
{
    Q_OBJECT
    Q_PROPERTY(QString device_id READ deviceType)
    Q_PROPERTY(bool loaderEraseAll READ loaderEraseAll WRITE setLoaderEraseAll)

public:
    enum TargetState {
        TargetConnected = 0,
        TargetDisconnected = 1,
        TargetNotConnected = 2,
        TargetRunning = 3,
        TargetStopped = 4,
    };
    Q_ENUM(TargetState)

    // Flag bit: the target offers the Erase All property.
    static constexpr uint32_t FlagEraseAll = 0x100;
    // Message kinds carried by message(text, kind).
    static constexpr int MessageCompletion = 0x100;
    static constexpr int MessageFailure = 0x104;

    // The member numbers of the script methods.
    enum class ScriptMethod {
#define TARGET_SCRIPT_METHOD(name, number, arity) name = number,
#include "target/targetscriptmethods.def"
#undef TARGET_SCRIPT_METHOD
    };
    // The most elements one script call moves to or from the target: more would only exhaust
    // memory.
    static constexpr uint32_t kMaxScriptTransfer = 0x100000;

    TargetInterface(uint32_t flags, QObject *parent, const QString &name);
    ~TargetInterface() override;

    // The program state whose project selection and script system the reset and attach
    // scripts use; the registry sets it on every target it makes. Not owned.
    void setProgramState(ProgramState *state) { m_programState = state; }

    QString deviceType() const { return m_deviceType; }
    bool loaderEraseAll() const { return m_eraseAll; }
    void setLoaderEraseAll(bool eraseAll) { m_eraseAll = eraseAll; }

    // Presentation.
    virtual bool isActive() const { return isConnected(); }
    bool describeProperty(const QString &property, PropertyRecord &record) const override;
    virtual bool isPropertyVisible(const QString &property) const;
    // The binding that presents the property, or nullptr.
    virtual const VeltObjectPropertyValue *propertyDefinition(const QString &property) const;

    // Connection; these hide QObject::connect/disconnect, so signal wiring inside targets
    // names QObject::connect explicitly.
    virtual void connect() = 0;
    virtual void disconnect() = 0;
    virtual bool isConnected() const = 0;

    // Memory space 0, the memory scripts use, memory space 1 (or nullptr), the registers (or nullptr).
    virtual TargetMemoryInterface *mainMemory() = 0;
    virtual TargetMemoryInterface *memory() = 0;
    virtual TargetMemoryInterface *secondMemory() { return nullptr; }
    virtual TargetRegisterInterface *registers() { return nullptr; }

    virtual uint32_t flags() const { return m_flags; }

    // Run control. reset(true) leaves the device stopped; reset(false) lets it run.
    virtual bool reset(bool stop) = 0;
    virtual bool go() = 0;
    // Starts the loaded program; release leaves the device running without the debugger.
    virtual bool run(uint32_t address, bool release) = 0;
    // The project's reset and attach scripts, run in the loader's script system with the
    // target script file of the project before them. True at once when the project gives no
    // script (or there is no project); a failing script is an HException. A reset or attach
    // that a running target script causes runs no script again.
    virtual bool runResetScript();
    virtual bool runAttachScript();
    // The path of that target script file for the run's project and configuration; empty
    // without a project, configuration or file.
    QString targetScriptFilePath() const;
    virtual bool stop() = 0;
    virtual bool waitForStop(int timeoutMs) = 0;

    // Bracket a load; calls nest (the loader brackets download and verify, which bracket themselves).
    virtual void beginLoad() {}
    virtual void endLoad() {}

    virtual void download(loadfile::LoadFileInterface &file, const QString &fileName, bool check);
    // Reads back the ranges of file's sections into a new load file of the same layout.
    virtual std::unique_ptr<loadfile::LoadFileInterface> upload(loadfile::LoadFileInterface &file, const QString &fileName);
    // Throws when a section does not lie inside one range of its memory's map.
    virtual void checkSectionsFit(loadfile::LoadFileInterface &file);
    virtual bool verify(loadfile::LoadFileInterface &file, const QString &fileName);

    // Defines the global TargetInterface of context (not enumerable) with the script methods.
    // Any number of contexts may hold the target at once; the target must outlive them or
    // stay alive while their objects can still be called (see hasScriptObjects).
    virtual void addScriptMethods(script::ESContext *context);
    // True once addScriptMethods has put the target into a context.
    bool hasScriptObjects() const { return m_hasScriptObjects; }
    // The dispatch of the script methods; failures are HExceptions or script errors.
    void call(script::ESContext &context, script::ESObject *function, const script::ESValue &thisValue, int count,
              script::ESValue *args) override;
    virtual bool eraseAllBeforeDownload() const { return m_eraseAll; }
    virtual bool canDownload() { return true; }
    // "%04x" of the address.
    virtual QString formatAddress(uint32_t address) const;
    virtual void prepareConnect() {}

public slots:
    virtual void raiseInterrupt(int n) { Q_UNUSED(n); }

signals:
    void stateChanged(const TargetInterface::TargetState &state);
    void commRXReady();
    // step, steps, task, units: progress(0, total, task, units) opens a task;
    // progress(done, -1, nullptr, nullptr) reports what is finished.
    void progress(int step, int steps, const char *task, const char *units);
    void message(const QString &text);
    void message(const QString &text, int kind);
    void error(const QString &text);
    void success(const QString &text);
    void beginGroup(const QString &text, int kind);
    void endGroup(const QString &text);

protected:
    void setDeviceType(const QString &type) { m_deviceType = type; }

private:
    // runResetScript and runAttachScript: the script text of property, announced by
    // announcement, after the contents of the project's target script file.
    bool runTargetScript(const project::PropertyValue &property, const QString &announcement);
    script::ESValue callScriptMethod(script::ESContext &context, ScriptMethod method, int count, script::ESValue *args);
    TargetMemoryInterface &scriptMemory();

    uint32_t m_flags;
    ProgramState *m_programState = nullptr;
    bool m_hasScriptObjects = false;
    bool m_runningTargetScript = false;
    QString m_deviceType;
    bool m_eraseAll = false;
    std::unique_ptr<VeltObjectPropertyValue> m_deviceTypeBinding;
    std::unique_ptr<VeltObjectPropertyValue> m_eraseAllBinding;
};

// Targets that can take TEVO executables.
class TEVOTargetInterface : public TargetInterface
{
    Q_OBJECT
public:
    using TargetInterface::TargetInterface;
};

// Program-wide definitions of the two properties every target has.
struct TargetPropertyDefinitions
{
    static const project::PropertyValue &deviceType();
    static const project::PropertyValue &eraseAll();
};

} // namespace zim::target
