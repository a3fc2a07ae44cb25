// Run-time library loading with a reason for every refused candidate.
#include "platform/libraryloader.h"

#include "platform/elfcheck.h"

#include <QFileInfo>
#include <QStringList>

namespace zim::platform {

namespace {

// QLibrary wraps the dynamic loader's text as "Cannot load library PATH: (TEXT)"; the
// loader's text alone is what the user needs.
QString loaderText(const QLibrary &library)
{
    QString text = library.errorString().trimmed();
    const QString prefix = QStringLiteral("Cannot load library ") + library.fileName() + QStringLiteral(": ");
    if (!text.startsWith(prefix))
        return text;
    text = text.mid(prefix.size()).trimmed();
    if (text.startsWith(QLatin1Char('(')) && text.endsWith(QLatin1Char(')')))
        text = text.mid(1, text.size() - 2);
    return text;
}

// Loads, depth first, every library that path needs and that lies in path's own folder, so
// that the dynamic loader finds them already loaded. visited stops a cycle; what fails to load
// is left for the dynamic loader to report when path itself is loaded.
void loadNeighbours(const QString &path, QStringList &visited, std::vector<std::unique_ptr<QLibrary>> &loaded)
{
    const QString folder = QFileInfo(path).absolutePath();
    for (const QString &name : elfNeededLibraries(path)) {
        const QString neighbour = folder + QLatin1Char('/') + name;
        if (name.contains(QLatin1Char('/')) || visited.contains(neighbour) || !QFileInfo(neighbour).isFile())
            continue;
        visited.append(neighbour);
        loadNeighbours(neighbour, visited, loaded);
        auto library = std::make_unique<QLibrary>(neighbour);
        library->setLoadHints(QLibrary::ResolveAllSymbolsHint | QLibrary::ExportExternalSymbolsHint);
        if (library->load())
            loaded.push_back(std::move(library));
    }
}

} // namespace

LoadedLibrary::~LoadedLibrary()
{
    m_library->unload();
    while (!m_dependencies.empty()) {
        m_dependencies.back()->unload();
        m_dependencies.pop_back();
    }
}

QString LibraryLoadFailure::text() const
{
    return QStringLiteral("\u201c") + path + QStringLiteral("\u201d: ") + reason;
}

QString LibraryLoadResult::failureText() const
{
    QStringList lines;
    for (const LibraryLoadFailure &f : failures)
        lines.append(f.text());
    return lines.join(QLatin1Char('\n'));
}

LibraryLoadResult loadLibrary(const QStringList &candidates, const LibrarySymbols &symbols)
{
    LibraryLoadResult result;
    for (const QString &path : candidates) {
        if (path.isEmpty()) {
            result.failures.append({path, QStringLiteral("empty path")});
            continue;
        }
        if (path.contains(QLatin1Char('/'))) {
            if (const QString problem = elfLoadProblem(path); !problem.isEmpty()) {
                result.failures.append({path, problem});
                continue;
            }
        }
        std::vector<std::unique_ptr<QLibrary>> dependencies;
        if (symbols.searchOwnFolder && path.contains(QLatin1Char('/'))) {
            QStringList visited{QFileInfo(path).absoluteFilePath()};
            loadNeighbours(path, visited, dependencies);
        }
        auto library = std::make_unique<QLibrary>(path);
        library->setLoadHints(QLibrary::ResolveAllSymbolsHint);
        if (!library->load()) {
            result.failures.append({path, loaderText(*library)});
            for (auto it = dependencies.rbegin(); it != dependencies.rend(); ++it)
                (*it)->unload();
            continue;
        }
        QHash<QByteArray, void *> resolved;
        QStringList missing;
        for (const QByteArray &name : symbols.required) {
            if (void *address = reinterpret_cast<void *>(library->resolve(name.constData())))
                resolved.insert(name, address);
            else
                missing.append(QString::fromLatin1(name));
        }
        if (!missing.isEmpty()) {
            library->unload();
            for (auto it = dependencies.rbegin(); it != dependencies.rend(); ++it)
                (*it)->unload();
            result.failures.append({path, (missing.size() == 1 ? QStringLiteral("missing symbol: ")
                                                               : QStringLiteral("missing symbols: "))
                                              + missing.join(QStringLiteral(", "))});
            continue;
        }
        for (const QByteArray &name : symbols.optional)
            if (void *address = reinterpret_cast<void *>(library->resolve(name.constData())))
                resolved.insert(name, address);
        result.library = std::make_unique<LoadedLibrary>(std::move(library), std::move(resolved), std::move(dependencies));
        return result;
    }
    return result;
}

} // namespace zim::platform
