// DomReader: parses description and solution files into the toolkit's DOM, refusing documents
// nested deeper than the tree code is willing to walk.
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

    struct Error
    {
        QString message;
        int line = 0;
        int column = 0;
    };

    // Parses text into document; false with error filled in when it is not well-formed XML
    // or nests deeper than maxDepth.
    static bool read(const QByteArray &text, QDomDocument &document, Error &error);
    // Checks that text is well-formed XML nested no deeper than maxDepth, without building
    // anything; doctype receives the document type name.
    static bool check(const QByteArray &text, QString &doctype, Error &error);
};

} // namespace zim::project
