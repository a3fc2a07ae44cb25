// Run-time library loading with a reason for every refused candidate.
#include "platform/libraryloader.h"

#include "platform/elfcheck.h"

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

} // namespace

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
        auto library = std::make_unique<QLibrary>(path);
        library->setLoadHints(QLibrary::ResolveAllSymbolsHint);
        if (!library->load()) {
            result.failures.append({path, loaderText(*library)});
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
            result.failures.append({path, (missing.size() == 1 ? QStringLiteral("missing symbol: ")
                                                               : QStringLiteral("missing symbols: "))
                                              + missing.join(QStringLiteral(", "))});
            continue;
        }
        for (const QByteArray &name : symbols.optional)
            if (void *address = reinterpret_cast<void *>(library->resolve(name.constData())))
                resolved.insert(name, address);
        result.library = std::make_unique<LoadedLibrary>(std::move(library), std::move(resolved));
        return result;
    }
    return result;
}

} // namespace zim::platform
