// DomReader: parses description and solution files into the toolkit's DOM, refusing documents
// nested deeper, or elements wider, than the tree code and the toolkit's parser handle well.
#pragma once

#include <QByteArray>
#include <QDomDocument>
#include <QString>

namespace zim::project {

class DomReader
{
public:
    // Deeper element nesting is refused as a parse error; real files stay far below it.
    static constexpr int maxDepth = 1000;
    // The toolkit's parser takes time quadratic in the attributes of one element, so wider
    // elements are refused before it sees them; real files have a few dozen at most, and 1024
    // still parse in a few milliseconds.
    static constexpr int maxAttributes = 1024;

    struct Error
    {
        QString message;
        int line = 0;
        int column = 0;
    };

    // Parses text into document; false with error filled in when it is not well-formed XML,
    // nests deeper than maxDepth or has an element with more than maxAttributes attributes.
    // Bytes are decoded as the document declares; text is taken as already decoded.
    static bool read(const QByteArray &text, QDomDocument &document, Error &error);
    static bool read(const QString &text, QDomDocument &document, Error &error);
    // Checks the same without building anything; doctype receives the document type name.
    static bool check(const QByteArray &text, QString &doctype, Error &error);
    static bool check(const QString &text, QString &doctype, Error &error);
    // Decodes bytes in the encoding that their byte order mark or XML declaration names
    // (UTF-8 when neither does). False with error filled in when that encoding is unknown or
    // the bytes are not valid in it.
    static bool decode(const QByteArray &bytes, QString &text, Error &error);
};

} // namespace zim::project
