// TargetInterface: the loader's handle on one way of reaching an MSP430. One facade for every
// target: it holds the driver's DevicePort and does over it what is the same for all of them:
// the state it reports, the two common properties, the script methods, the download, verify
// and upload procedures with their brackets, the erase protocol and the project's reset and
// attach scripts. Failures of operations are HExceptions.
#pragma once

#include "script/esclass.h"
#include "target/deviceport.h"
#include "target/objecttreeobject.h"
#include "target/progressreport.h"
#include "target/veltobjectpropertyvalue.h"

#include <QList>
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

class TargetEnvironment;
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
    using TargetState = DevicePort::TargetState;
    static constexpr uint32_t FlagEraseAll = DevicePort::FlagEraseAll;
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

    // environment supplies the project selection and script system of the reset and attach
    // scripts (not owned; nullptr: the target runs none).
    TargetInterface(std::unique_ptr<DevicePort> port, const QString &name, TargetEnvironment *environment = nullptr);
    ~TargetInterface() override;

    DevicePort &port() const { return *m_port; }
    // The port as the driver class T, or nullptr.
    template<typename T> T *portAs() const { return qobject_cast<T *>(m_port.get()); }

    QString deviceType() const { return m_port->deviceType(); }
    bool loaderEraseAll() const { return m_eraseAll; }
    void setLoaderEraseAll(bool eraseAll) { m_eraseAll = eraseAll; }

    // Presentation: the facade's properties first, then the port's, each list in declaration
    // order from the most basic class on. propertyOwner is the object that holds a property.
    QList<const QObject *> propertyObjects() const;
    QObject *propertyOwner(const QString &property) const;
    bool describeProperty(const QString &property, PropertyRecord &record) const override;
    bool isPropertyVisible(const QString &property) const;
    // The binding that presents the property, or nullptr.
    const VeltObjectPropertyValue *propertyDefinition(const QString &property) const;

    // Connection; these hide QObject::connect/disconnect, so signal wiring names
    // QObject::connect explicitly.
    void prepareConnect() { m_port->prepareConnect(); }
    void connect() { m_port->connect(); }
    void disconnect() { m_port->disconnect(); }
    bool isConnected() const { return m_port->isConnected(); }
    bool isActive() const { return isConnected(); }

    TargetMemoryInterface *mainMemory() { return m_port->mainMemory(); }
    TargetMemoryInterface *memory() { return m_port->memory(); }
    TargetMemoryInterface *secondMemory() { return m_port->secondMemory(); }
    TargetRegisterInterface *registers() { return m_port->registers(); }
    uint32_t flags() const { return m_port->flags(); }

    bool reset(bool stop) { return m_port->reset(stop); }
    bool go() { return m_port->go(); }
    bool run(uint32_t address, bool release) { return m_port->run(address, release); }
    bool stop() { return m_port->stop(); }
    bool waitForStop(int timeoutMs) { return m_port->waitForStop(timeoutMs); }

    // The project's reset and attach scripts, run in the loader's script system with the
    // target script file of the project before them. True at once when the project gives no
    // script (or there is no project); a failing script is an HException. A reset or attach
    // that a running target script causes runs no script again.
    bool runResetScript();
    bool runAttachScript();
    // The path of that target script file for the run's project and configuration; empty
    // without a project, configuration or file.
    QString targetScriptFilePath() const;

    // Bracket a load; calls nest (the loader brackets download and verify, which bracket themselves).
    void beginLoad() { m_port->beginLoad(); }
    void endLoad() { m_port->endLoad(); }

    void download(loadfile::LoadFileInterface &file, const QString &fileName, bool check);
    // Reads back the ranges of file's sections into a new load file of the same layout.
    std::unique_ptr<loadfile::LoadFileInterface> upload(loadfile::LoadFileInterface &file, const QString &fileName);
    // Throws when a section does not lie inside one range of its memory's map.
    void checkSectionsFit(loadfile::LoadFileInterface &file);
    bool verify(loadfile::LoadFileInterface &file, const QString &fileName);

    // Defines the global TargetInterface of context (not enumerable) with the script methods.
    // Any number of contexts may hold the target at once; the target must outlive them or
    // stay alive while their objects can still be called (see hasScriptObjects).
    void addScriptMethods(script::ESContext *context);
    // True once addScriptMethods has put the target into a context.
    bool hasScriptObjects() const { return m_hasScriptObjects; }
    // The dispatch of the script methods; failures are HExceptions or script errors.
    void call(script::ESContext &context, script::ESObject *function, const script::ESValue &thisValue, int count,
              script::ESValue *args) override;
    bool eraseAllBeforeDownload() const { return m_eraseAll; }
    bool canDownload() { return m_port->canDownload(); }
    QString formatAddress(uint32_t address) const { return m_port->formatAddress(address); }

public slots:
    void raiseInterrupt(int n) { m_port->raiseInterrupt(n); }

signals:
    void stateChanged(zim::target::DevicePort::TargetState state);
    void commRXReady();
    void progress(const zim::target::ProgressReport &report);
    void message(const QString &text);
    void message(const QString &text, int kind);
    void error(const QString &text);
    void success(const QString &text);
    void beginGroup(const QString &text, int kind);
    void endGroup(const QString &text);

private:
    // runResetScript and runAttachScript: the script text of property, announced by
    // announcement, after the contents of the project's target script file.
    bool runTargetScript(const project::PropertyValue &property, const QString &announcement);
    script::ESValue callScriptMethod(script::ESContext &context, ScriptMethod method, int count, script::ESValue *args);
    TargetMemoryInterface &scriptMemory();

    std::unique_ptr<DevicePort> m_port;
    TargetEnvironment *m_environment;
    bool m_hasScriptObjects = false;
    bool m_runningTargetScript = false;
    bool m_eraseAll = false;
    std::unique_ptr<VeltObjectPropertyValue> m_deviceTypeBinding;
    std::unique_ptr<VeltObjectPropertyValue> m_eraseAllBinding;
};

// Program-wide definitions of the two properties every target has.
struct TargetPropertyDefinitions
{
    static const project::PropertyValue &deviceType();
    static const project::PropertyValue &eraseAll();
};

} // namespace zim::target
