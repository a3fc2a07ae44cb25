// XMLElement: an element of the minimal XML tree: its tag name and its ordered attributes.
#pragma once

#include "xml/xmlnode.h"

#include <string>
#include <utility>
#include <vector>

namespace zim::xml {

class XMLElement : public XMLNode
{
public:
    using Attribute = std::pair<std::string, std::string>; // name, value

    explicit XMLElement(std::string tagName = std::string()) : m_tagName(std::move(tagName)) {}

    virtual void setTagName(const std::string &tagName) { m_tagName = tagName; }
    virtual const std::string &tagName() const { return m_tagName; }

    // Replaces the value of the attribute of that name, or appends a new attribute. Names
    // compare case-sensitively.
    virtual void setAttribute(const std::string &name, const std::string &value);
    virtual void removeAttribute(const std::string &name);
    virtual bool hasAttribute(const std::string &name) const;
    // The value, or nullptr when there is no attribute of that name.
    virtual const char *attribute(const std::string &name) const;
    // Data that derived element classes attach; none here.
    virtual void *extension() { return nullptr; }

    const std::vector<Attribute> &attributes() const { return m_attributes; }
    int attributeCount() const { return int(m_attributes.size()); }

private:
    std::string m_tagName;
    std::vector<Attribute> m_attributes;
};

} // namespace zim::xml
