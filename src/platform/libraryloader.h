// Loads a library at run time from a list of candidate paths, resolving every symbol it
// needs at once, and says for each candidate why it could not be used.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QLibrary>
#include <QList>
#include <QString>
#include <memory>
#include <vector>

namespace zim::platform {

// A loaded library and the symbols resolved when it was loaded. Unloads when destroyed:
// resolved addresses must not outlive it.
class LoadedLibrary
{
public:
    LoadedLibrary(std::unique_ptr<QLibrary> library, QHash<QByteArray, void *> symbols,
                  std::vector<std::unique_ptr<QLibrary>> dependencies = {})
        : m_library(std::move(library)), m_symbols(std::move(symbols)), m_dependencies(std::move(dependencies)) {}
    ~LoadedLibrary();

    LoadedLibrary(const LoadedLibrary &) = delete;
    LoadedLibrary &operator=(const LoadedLibrary &) = delete;

    QString path() const { return m_library->fileName(); }
    // The address of a required or optional symbol named at load; nullptr for an optional
    // one the library lacks.
    void *symbol(const QByteArray &name) const { return m_symbols.value(name); }
    template<typename Fn>
    Fn function(const QByteArray &name) const { return reinterpret_cast<Fn>(symbol(name)); }

private:
    std::unique_ptr<QLibrary> m_library;
    QHash<QByteArray, void *> m_symbols;
    // Needed libraries loaded from the library's own folder before it, unloaded after it.
    std::vector<std::unique_ptr<QLibrary>> m_dependencies;
};

// Why one candidate was not used.
struct LibraryLoadFailure
{
    QString path;
    QString reason;
    // “path”: reason
    QString text() const;
};

struct LibraryLoadResult
{
    std::unique_ptr<LoadedLibrary> library;  // null when no candidate could be used
    QList<LibraryLoadFailure> failures;      // one per candidate tried before the one used
    // The failures, one line each, for a message.
    QString failureText() const;
};

struct LibrarySymbols
{
    QList<QByteArray> required;  // a candidate lacking any of these is refused
    QList<QByteArray> optional;  // resolved when present
    // Also look for the library's needed libraries in its own folder, before the dynamic
    // loader's search path, as a vendor's library installed with its companions expects.
    bool searchOwnFolder = false;
};

// Tries the candidates in order and returns the first that loads with every required
// symbol. A candidate with a directory part is checked first for existence and for an ELF
// header that matches this program; a bare name is left to the dynamic loader's search.
// All of the library's own undefined symbols are bound at load, so a missing dependency
// fails here with the dynamic loader's text and not at a later call.
LibraryLoadResult loadLibrary(const QStringList &candidates, const LibrarySymbols &symbols);

} // namespace zim::platform
