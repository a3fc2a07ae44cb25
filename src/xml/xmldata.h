// XMLData and XMLComment: the text and comment nodes of the minimal XML tree, each holding
// one owned text.
#pragma once

#include "xml/xmlnode.h"

#include <string>

namespace zim::xml {

class XMLData : public XMLNode
{
public:
    explicit XMLData(std::string text = std::string()) : m_text(std::move(text)) {}

    virtual void setText(const std::string &text) { m_text = text; }
    virtual const std::string &text() const { return m_text; }

private:
    std::string m_text;
};

class XMLComment : public XMLNode
{
public:
    explicit XMLComment(std::string text = std::string()) : m_text(std::move(text)) {}

    virtual void setText(const std::string &text) { m_text = text; }
    virtual const std::string &text() const { return m_text; }

private:
    std::string m_text;
};

} // namespace zim::xml
