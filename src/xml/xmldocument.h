// XMLDocument: the minimal XML reader. Reads a whole text in one pass into elements, text and
// comments, keeping the first error with its line. No entities, character references,
// processing instructions, CDATA or namespaces; attribute values in double quotes only.
#pragma once

#include "xml/xmlelement.h"

#include <memory>
#include <optional>
#include <string>

namespace zim::xml {

class XMLDocument
{
public:
    // With keepText false no text or comment nodes are made.
    explicit XMLDocument(bool keepText = true) : m_keepText(keepText) {}
    XMLDocument(const XMLDocument &) = delete;
    XMLDocument &operator=(const XMLDocument &) = delete;
    virtual ~XMLDocument();

    // Makes the element for a start tag; derived documents make their own element classes.
    // The caller owns the result.
    virtual XMLElement *createElement(const std::string &tagName);

    // Reads the whole file and parses it. When the file cannot be read the error text is
    // "couldn't read " and the file name, and the result is false.
    bool load(const std::string &fileName);
    // Parses a zero-terminated text, replacing any earlier result. True when no error was
    // found; the root is the outermost element that was closed (none when it never was).
    bool parse(const char *text);

    bool keepText() const { return m_keepText; }
    XMLElement *root() const { return m_root.get(); }
    // The name of a "<!DOCTYPE name>" declaration, when there was one.
    const std::optional<std::string> &doctypeName() const { return m_doctypeName; }
    // "bad tagName", "tagName mismatch" or "couldn't read ..."; empty when there was no error.
    const std::string &errorText() const { return m_errorText; }
    // The number of line feeds before the error position.
    int errorLine() const { return m_errorLine; }

private:
    void setError(const std::string &text, int line);

    bool m_keepText;
    std::optional<std::string> m_doctypeName;
    std::unique_ptr<XMLElement> m_root;
    std::string m_errorText;
    int m_errorLine = 0;
};

} // namespace zim::xml
