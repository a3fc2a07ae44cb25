// Attribute access of the minimal XML tree's elements.
#include "xml/xmlelement.h"

#include <algorithm>

namespace zim::xml {

void XMLElement::setAttribute(const std::string &name, const std::string &value)
{
    for (Attribute &a : m_attributes) {
        if (a.first == name) {
            a.second = value;
            return;
        }
    }
    m_attributes.emplace_back(name, value);
}

void XMLElement::removeAttribute(const std::string &name)
{
    std::erase_if(m_attributes, [&](const Attribute &a) { return a.first == name; });
}

bool XMLElement::hasAttribute(const std::string &name) const
{
    return attribute(name) != nullptr;
}

const char *XMLElement::attribute(const std::string &name) const
{
    for (const Attribute &a : m_attributes)
        if (a.first == name)
            return a.second.c_str();
    return nullptr;
}

} // namespace zim::xml
