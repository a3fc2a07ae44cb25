// Parsing into the toolkit's DOM, with the element width and nesting limits checked first.
#include "project/domreader.h"

#include <QStringDecoder>
#include <QXmlStreamReader>

namespace zim::project {

namespace {

// The line and column (both from 1) of position in text, for errors found outside the parser.
template<typename Char>
void setPosition(const Char *text, qsizetype position, DomReader::Error &error)
{
    error.line = 1;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < position; ++i) {
        if (text[i] == Char('\n')) {
            ++error.line;
            lineStart = i + 1;
        }
    }
    error.column = int(position - lineStart + 1);
}

// Finds a tag with more than maxAttributes attributes in one linear pass, counting the "="
// signs outside quotes between "<" and ">". Comments, CDATA sections, processing
// instructions and declarations are stepped over. It runs on bytes as well as on decoded text:
// in a UTF-16 document the markup characters still stand out as bytes of their own.
template<typename Char>
bool checkWidth(const Char *text, qsizetype size, DomReader::Error &error)
{
    auto startsWith = [&](qsizetype at, const char *word) {
        for (qsizetype i = 0; word[i]; ++i)
            if (at + i >= size || text[at + i] != Char(word[i]))
                return false;
        return true;
    };
    auto skipPast = [&](qsizetype at, const char *end) {
        while (at < size && !startsWith(at, end))
            ++at;
        return at;
    };
    qsizetype i = 0;
    while (i < size) {
        if (text[i] != Char('<')) {
            ++i;
            continue;
        }
        if (startsWith(i, "<!--")) {
            i = skipPast(i + 4, "-->");
            continue;
        }
        if (startsWith(i, "<![CDATA[")) {
            i = skipPast(i + 9, "]]>");
            continue;
        }
        if (startsWith(i, "<?")) {
            i = skipPast(i + 2, "?>");
            continue;
        }
        const qsizetype start = i;
        const bool tag = !startsWith(i, "<!");
        int signs = 0;
        Char quote = 0;
        for (++i; i < size; ++i) {
            const Char c = text[i];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == Char('"') || c == Char('\'')) {
                quote = c;
            } else if (c == Char('=')) {
                ++signs;
            } else if (c == Char('>') || c == Char('<')) {
                break;
            }
        }
        if (tag && signs > DomReader::maxAttributes) {
            error.message = QStringLiteral("element with more than %1 attributes").arg(DomReader::maxAttributes);
            setPosition(text, start, error);
            return false;
        }
    }
    return true;
}

// The streaming pass: the DOM and the code that walks it work recursively, and a streaming
// pass over the text keeps hostile nesting away from them.
bool checkDepth(QXmlStreamReader &stream, QString &doctype, DomReader::Error &error)
{
    int depth = 0;
    while (!stream.atEnd()) {
        const QXmlStreamReader::TokenType token = stream.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > DomReader::maxDepth) {
            error.message = QStringLiteral("elements nested deeper than %1 levels").arg(DomReader::maxDepth);
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

} // namespace

bool DomReader::check(const QByteArray &text, QString &doctype, Error &error)
{
    if (!checkWidth(text.constData(), text.size(), error))
        return false;
    QXmlStreamReader stream(text);
    return checkDepth(stream, doctype, error);
}

bool DomReader::check(const QString &text, QString &doctype, Error &error)
{
    if (!checkWidth(text.utf16(), text.size(), error))
        return false;
    QXmlStreamReader stream(text);
    return checkDepth(stream, doctype, error);
}

bool DomReader::read(const QByteArray &text, QDomDocument &document, Error &error)
{
    QString doctype;
    if (!check(text, doctype, error))
        return false;
    return document.setContent(text, false, &error.message, &error.line, &error.column);
}

bool DomReader::read(const QString &text, QDomDocument &document, Error &error)
{
    QString doctype;
    if (!check(text, doctype, error))
        return false;
    return document.setContent(text, false, &error.message, &error.line, &error.column);
}

bool DomReader::decode(const QByteArray &bytes, QString &text, Error &error)
{
    QByteArray encoding = QByteArrayLiteral("UTF-8");
    if (const auto marked = QStringConverter::encodingForData(bytes, u'<')) {
        encoding = QStringConverter::nameForEncoding(*marked);
    } else if (bytes.startsWith("<?xml")) {
        // The parser reads the declaration as the first token and checks its encoding name.
        QXmlStreamReader stream(bytes);
        stream.readNext();
        if (stream.hasError()) {
            error.message = stream.errorString();
            error.line = int(stream.lineNumber());
            error.column = int(stream.columnNumber());
            return false;
        }
        if (!stream.documentEncoding().isEmpty())
            encoding = stream.documentEncoding().toLatin1();
    }
    QStringDecoder decoder(encoding.constData());
    if (!decoder.isValid()) {
        error.message = QStringLiteral("Encoding %1 is unsupported").arg(QString::fromLatin1(encoding));
        error.line = error.column = 1;
        return false;
    }
    text = decoder.decode(bytes);
    if (decoder.hasError()) {
        // The parser's own words for the same fault in a document it decodes itself.
        error.message = QStringLiteral("Encountered incorrectly encoded content.");
        const qsizetype at = text.indexOf(QChar::ReplacementCharacter);
        setPosition(text.utf16(), at < 0 ? text.size() : at, error);
        text.clear();
        return false;
    }
    return true;
}

} // namespace zim::project
