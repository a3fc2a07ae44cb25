// The one-pass parser of the minimal XML reader and reading a file into it.
#include "xml/xmldocument.h"

#include "xml/xmldata.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace zim::xml {

namespace {

constexpr size_t kMaxErrorText = 1023;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Names of tags and attributes; the DOCTYPE keyword and name use the narrower set.
bool isNameChar(char c)
{
    return isLetter(c) || isDigit(c) || c == '_' || c == '-' || c == '.' || c == ':';
}

bool isWordChar(char c)
{
    return isLetter(c) || isDigit(c) || c == '_';
}

const char *skipSpace(const char *p)
{
    while (isSpace(*p))
        ++p;
    return p;
}

const char *skipTo(const char *p, char wanted)
{
    while (*p && *p != wanted)
        ++p;
    return p;
}

std::string readWhile(const char *&p, bool (*accept)(char))
{
    const char *start = p;
    while (*p && accept(*p))
        ++p;
    return std::string(start, p);
}

int lineOf(const char *text, const char *at)
{
    return int(std::count(text, at, '\n'));
}

// The elements still open; they are not linked into the tree until they close, so each is
// deleted on its own when parsing stops early.
class OpenElements
{
public:
    ~OpenElements() { clear(); }
    void clear()
    {
        for (XMLElement *e : m_stack)
            delete e;
        m_stack.clear();
    }
    bool empty() const { return m_stack.empty(); }
    XMLElement *top() const { return m_stack.back(); }
    void push(XMLElement *e) { m_stack.push_back(e); }
    XMLElement *pop()
    {
        XMLElement *e = m_stack.back();
        m_stack.pop_back();
        return e;
    }

private:
    std::vector<XMLElement *> m_stack;
};

} // namespace

XMLDocument::~XMLDocument() = default;

XMLElement *XMLDocument::createElement(const std::string &tagName)
{
    return new XMLElement(tagName);
}

void XMLDocument::setError(const std::string &text, int line)
{
    m_errorText = text.substr(0, kMaxErrorText);
    m_errorLine = line;
}

bool XMLDocument::load(const std::string &fileName)
{
    std::FILE *file = std::fopen(fileName.c_str(), "rb");
    if (!file) {
        m_root.reset();
        setError("couldn't read " + fileName, 0);
        return false;
    }
    std::string text;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        m_root.reset();
        setError("couldn't read " + fileName, 0);
        return false;
    }
    return parse(text.c_str());
}

bool XMLDocument::parse(const char *text)
{
    m_root.reset();
    m_doctypeName.reset();
    m_errorText.clear();
    m_errorLine = 0;

    OpenElements open;
    auto fail = [&](const char *message, const char *at) {
        open.clear();
        setError(message, lineOf(text, at));
        return false;
    };
    auto close = [&] {
        XMLElement *element = open.pop();
        if (!open.empty())
            open.top()->appendChild(element);
        else
            m_root.reset(element);
    };

    const char *p = text;
    for (;;) {
        p = skipSpace(p);
        if (*p != '<')
            break;
        p = skipSpace(p + 1);

        if (p[0] == '!' && p[1] != '-') {
            ++p;
            const std::string keyword = readWhile(p, isWordChar);
            bool declared = false;
            if (std::strncmp("DOCTYPE", keyword.c_str(), keyword.size()) == 0 && keyword.size() <= 7) {
                p = skipSpace(p);
                std::string name = readWhile(p, isWordChar);
                p = skipSpace(p);
                if (!name.empty() && *p == '>') {
                    m_doctypeName = std::move(name);
                    ++p;
                    declared = true;
                }
            }
            if (!declared)
                p = skipTo(p, '<');
        } else if (p[0] == '!') {
            if (p[1] == '-' && p[2] == '-') {
                const char *start = p + 3;
                const char *dashes = std::strstr(start, "--");
                if (!dashes) {
                    p = start + std::strlen(start);
                } else if (dashes[2] == '>') {
                    if (m_keepText && !open.empty())
                        open.top()->appendChild(new XMLComment(std::string(start, dashes)));
                    p = dashes + 3;
                } else {
                    p = skipTo(dashes + 2, '<');
                }
            } else {
                p = skipTo(p, '<');
            }
        } else if (p[0] == '/') {
            ++p;
            const char *nameAt = p;
            const std::string name = readWhile(p, isNameChar);
            // Only the open element's name is compared, over its own length: "</ab>" closes "<a>".
            if (open.empty() || name.compare(0, open.top()->tagName().size(), open.top()->tagName()) != 0)
                return fail("tagName mismatch", nameAt);
            p = skipSpace(p);
            if (*p != '>')
                return fail("tagName mismatch", p);
            ++p;
            close();
        } else {
            open.push(createElement(readWhile(p, isNameChar)));
            bool skipped = false;
            for (;;) {
                p = skipSpace(p);
                if (*p == '\0' || *p == '/' || *p == '>')
                    break;
                if (!isLetter(*p) && *p != '_')
                    return fail("bad tagName", p);
                const std::string name = readWhile(p, isNameChar);
                p = skipSpace(p);
                if (*p != '=')
                    continue;
                p = skipSpace(p + 1);
                if (*p != '"') {
                    // Single quotes and bare values are not understood: the rest of the tag goes.
                    p = skipTo(p, '<');
                    skipped = true;
                    break;
                }
                const char *value = p + 1;
                const char *end = skipTo(value, '"');
                open.top()->setAttribute(name, std::string(value, end));
                p = *end ? end + 1 : end;
            }
            if (!skipped) {
                if (*p == '>') {
                    ++p;
                } else if (*p == '/') {
                    ++p;
                    if (*p == '>') {
                        ++p;
                        close();
                    } else {
                        p = skipTo(p, '<');
                    }
                }
            }
        }

        const char *start = p;
        p = skipTo(p, '<');
        if (m_keepText && !open.empty() && p != start) {
            std::string data(start, p);
            std::erase(data, '\r');
            open.top()->appendChild(new XMLData(std::move(data)));
        }
    }
    return true;
}

} // namespace zim::xml
