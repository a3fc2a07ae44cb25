// XmlPP: the preprocessor of the description files. Reads a file into a DOM document and
// rewrites it in place: conditions decided against a table of definitions, included files
// merged in, definitions set and expanded. Problems are warnings; processing never stops.
#pragma once

#include "project/macros.h"

#include <QDomDocument>
#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>

namespace zim::project {

class XmlPP
{
public:
    // Starts with the definitions ide, platform, release, build and host. environment holds
    // the macros that included files marked expand_macros are expanded with (not owned).
    explicit XmlPP(const MacroMap &environment);

    void define(const QString &name, const QString &value);
    bool isDefined(const QString &name) const { return m_definitions.contains(name); }
    // An undefined name reads as the empty text.
    QString definition(const QString &name) const { return m_definitions.value(name); }

    // One run reads each file once and merges at most this many included files, which together
    // hold at most common::kMaxSolutionFileSize bytes: a file that includes another one twice,
    // which does the same, would otherwise grow the document exponentially.
    static constexpr int maxIncludeLoads = 1024;

    // Reads and parses fileName and processes its document element. False, with the error
    // texts set, when the file cannot be read or is not well-formed XML. Throws HException
    // when the file is larger than common::kMaxSolutionFileSize or its includes go past the
    // limits above.
    bool processFile(const QString &fileName);
    // The same for text read from fileName elsewhere: includes resolve beside fileName.
    bool processText(const QByteArray &text, const QString &fileName);
    // Processes the children of element, resolving includes against directory.
    void processElement(QDomElement element, const QString &directory);

    QDomDocument &document() { return m_document; }
    // After a failed processFile: "cannot access" or the parser's message, with its position.
    const QString &errorMessage() const { return m_errorMessage; }
    int errorLine() const { return m_errorLine; }
    int errorColumn() const { return m_errorColumn; }

private:
    bool condition(const QDomElement &element) const;
    // The children of the taken case or default of a switch, or a null element.
    QDomElement takenCase(const QDomElement &switchElement) const;
    // Replaces element by its children; returns the first of them, or the node after element.
    static QDomNode unwrap(QDomElement element);
    // Replaces include by the processed content of its file; returns the node to go on with.
    QDomNode include(QDomElement includeElement, const QString &directory);
    // The bytes of an included file, read once per run; false after a warning when it cannot
    // be read or is too large.
    bool readIncluded(const QString &path, QByteArray &bytes);

    const MacroMap &m_environment;
    QMap<QString, QString> m_definitions;
    QDomDocument m_document;
    // Absolute paths of the files being processed, innermost last, to stop include cycles.
    QStringList m_files;
    // The run's included files by canonical path, and what has been merged so far.
    QHash<QString, QByteArray> m_texts;
    int m_includeLoads = 0;
    qint64 m_includedBytes = 0;
    QString m_errorMessage;
    int m_errorLine = 0;
    int m_errorColumn = 0;
};

} // namespace zim::project
