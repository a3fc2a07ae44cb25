// The child list operations of the minimal XML tree.
#include "xml/xmlelement.h"

#include <gtest/gtest.h>

#include <string>

using namespace zim::xml;

namespace {

std::string names(const XMLNode &parent)
{
    std::string out;
    for (const XMLNode *n = parent.firstChild(); n; n = n->nextSibling()) {
        EXPECT_EQ(n->parent(), &parent);
        out += static_cast<const XMLElement *>(n)->tagName();
    }
    return out;
}

TEST(XMLNode, AppendPrependRemoveReplace)
{
    XMLElement p("p");
    auto *a = new XMLElement("a");
    auto *b = new XMLElement("b");
    auto *c = new XMLElement("c");
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
    XMLElement other("o");
    p.removeChild(&other); // not a child: nothing happens
    EXPECT_EQ(names(p), "ac");
}

TEST(XMLNode, InsertChildrenAfterChildOrAtEnd)
{
    XMLElement p("p");
    auto *a = new XMLElement("a");
    p.appendChild(a);
    p.appendChild(new XMLElement("d"));
    XMLElement chain("chain");
    chain.appendChild(new XMLElement("b"));
    chain.appendChild(new XMLElement("c"));
    p.insertChildren(a, chain.takeChildren());
    EXPECT_EQ(names(p), "abcd");
    EXPECT_EQ(chain.firstChild(), nullptr);

    XMLElement more("more");
    more.appendChild(new XMLElement("e"));
    XMLElement stranger("s");
    p.insertChildren(&stranger, more.takeChildren()); // not a child: at the end
    EXPECT_EQ(names(p), "abcde");
    p.appendChild(new XMLElement("f"));
    EXPECT_EQ(names(p), "abcdef");
}

} // namespace
