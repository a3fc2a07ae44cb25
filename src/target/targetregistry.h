// The registry of target interfaces: one row of data per target (names, description and the
// function that makes it), given by the program's composition root in listing order.
#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <memory>

namespace zim::target {

class TargetInterface;

struct TargetRegistryEntry
{
    const char *className;
    const char *shortName; // nullptr when the class has none
    const char *description;
    bool needsSolution;
    // Makes a new target.
    std::function<std::unique_ptr<TargetInterface>()> create;
};

class TargetInterfaceFactory
{
public:
    TargetInterfaceFactory() = default;
    explicit TargetInterfaceFactory(QList<TargetRegistryEntry> entries) : m_entries(std::move(entries)) {}

    // A new target of exactly that class name (case-sensitive), or nullptr for an unknown
    // class or one that cannot be made.
    std::unique_ptr<TargetInterface> create(const QString &className) const;

    const QList<TargetRegistryEntry> &entries() const { return m_entries; }
    // The class name of the first entry whose short name equals name exactly, or an empty string.
    QString classForShortName(const QString &name) const;

private:
    QList<TargetRegistryEntry> m_entries;
};

} // namespace zim::target
