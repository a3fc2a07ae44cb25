// The child list operations of the minimal XML tree.
#include "xml/xmlelement.h"

#include <gtest/gtest.h>

#include <string>

using namespace zim::xml;

namespace {

std::string names(const zim::xml::XMLNode &parent)
{
    std::string out;
    for (const zim::xml::XMLNode *n = parent.firstChild(); n; n = n->nextSibling()) {
        EXPECT_EQ(n->parent(), &parent);
        out += static_cast<const zim::xml::XMLElement *>(n)->tagName();
    }
    return out;
}

TEST(XMLNode, AppendPrependRemoveReplace)
{
    zim::xml::XMLElement p("p");
    auto *a = new zim::xml::XMLElement("a");
    auto *b = new zim::xml::XMLElement("b");
    auto *c = new zim::xml::XMLElement("c");
    p.appendChild(b);
    p.prependChild(a);
    p.appendChild(c);
    EXPECT_EQ(names(p), "abc");
    p.removeChild(c);
    EXPECT_EQ(names(p), "ab");
    EXPECT_EQ(c->parent(), nullptr);
    p.replaceChild(b, c);
    EXPECT_EQ(names(p), "ac");
    EXPECT_EQ(p.lastChild(), c);
    delete b;
    zim::xml::XMLElement other("o");
    p.removeChild(&other); // not a child: nothing happens
    EXPECT_EQ(names(p), "ac");
}

TEST(XMLNode, InsertChildrenAfterChildOrAtEnd)
{
    zim::xml::XMLElement p("p");
    auto *a = new zim::xml::XMLElement("a");
    p.appendChild(a);
    p.appendChild(new zim::xml::XMLElement("d"));
    zim::xml::XMLElement chain("chain");
    chain.appendChild(new zim::xml::XMLElement("b"));
    chain.appendChild(new zim::xml::XMLElement("c"));
    p.insertChildren(a, chain.takeChildren());
    EXPECT_EQ(names(p), "abcd");
    EXPECT_EQ(chain.firstChild(), nullptr);

    zim::xml::XMLElement more("more");
    more.appendChild(new zim::xml::XMLElement("e"));
    zim::xml::XMLElement stranger("s");
    p.insertChildren(&stranger, more.takeChildren()); // not a child: at the end
    EXPECT_EQ(names(p), "abcde");
    p.appendChild(new zim::xml::XMLElement("f"));
    EXPECT_EQ(names(p), "abcdef");
}

} // namespace
