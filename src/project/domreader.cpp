// Parsing into the toolkit's DOM with a nesting limit checked first by a streaming pass.
#include "project/domreader.h"

#include <QXmlStreamReader>

namespace zim::project {

bool DomReader::check(const QByteArray &text, QString &doctype, Error &error)
{
    // The DOM and the code that walks it work recursively; a streaming pass over the text
    // keeps hostile nesting away from them.
    QXmlStreamReader stream(text);
    int depth = 0;
    while (!stream.atEnd()) {
        const QXmlStreamReader::TokenType token = stream.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > maxDepth) {
            error.message = QStringLiteral("elements nested deeper than %1 levels").arg(maxDepth);
            error.line = int(stream.lineNumber());
            error.column = int(stream.columnNumber());
            return false;
        }
        if (token == QXmlStreamReader::EndElement)
            --depth;
        if (token == QXmlStreamReader::DTD)
            doctype = stream.dtdName().toString();
    }
    if (stream.hasError()) {
        error.message = stream.errorString();
        error.line = int(stream.lineNumber());
        error.column = int(stream.columnNumber());
        return false;
    }
    return true;
}

bool DomReader::read(const QByteArray &text, QDomDocument &document, Error &error)
{
    QString doctype;
    if (!check(text, doctype, error))
        return false;
    return document.setContent(text, false, &error.message, &error.line, &error.column);
}

} // namespace zim::project
