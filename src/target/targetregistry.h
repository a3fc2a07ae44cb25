// The registry of target interfaces: creates them by class name, finds class names by short
// name, and lists them for the usage text. Target folders register their creators at start-up.
#pragma once

#include <QList>
#include <QObject>
#include <functional>

namespace zim::target {

class ProgramState;
class TargetInterface;

struct TargetRegistryEntry
{
    const char *className;
    const char *shortName; // nullptr when the class has none
    const char *description;
    bool needsSolution;
};

class TargetInterfaceFactory
{
public:
    // Makes a target that reads its settings from state.
    using Creator = std::function<TargetInterface *(ProgramState &state, QObject *parent)>;

    virtual ~TargetInterfaceFactory() = default;
    // A new target of exactly that class name (case-sensitive), or nullptr.
    virtual TargetInterface *create(const QString &className, ProgramState &state, QObject *parent);

    const QList<TargetRegistryEntry> &entries() const { return m_entries; }
    // The class name of the first entry whose short name equals name exactly, or an empty string.
    QString classForShortName(const QString &name) const;

    // Lets the folder that implements className construct it. A listed class without a creator
    // is created as nothing.
    void registerCreator(const char *className, Creator creator);

protected:
    QList<TargetRegistryEntry> m_entries;
    QList<std::pair<QString, Creator>> m_creators;
};

class MSP430TargetInterfaceFactory : public TargetInterfaceFactory
{
public:
    MSP430TargetInterfaceFactory();
    TargetInterface *create(const QString &className, ProgramState &state, QObject *parent) override;
};

} // namespace zim::target
