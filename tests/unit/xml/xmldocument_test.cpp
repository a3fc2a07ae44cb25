// The minimal XML reader: what it builds from a text, its quirks and its errors.
#include "xml/xmldata.h"
#include "xml/xmldocument.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace zim::xml;

namespace {

// The tree as text: elements as tags with their attributes, text in [brackets], comments as
// <!--...-->. Walks with its own stack, so deep trees print too.
std::string show(const zim::xml::XMLNode *root)
{
    std::string out;
    std::vector<std::pair<const zim::xml::XMLNode *, bool>> stack{{root, false}}; // node, closing
    while (!stack.empty()) {
        const auto [n, closing] = stack.back();
        stack.pop_back();
        auto *e = dynamic_cast<const zim::xml::XMLElement *>(n);
        if (closing) {
            out += "</" + e->tagName() + ">";
            continue;
        }
        if (e) {
            out += "<" + e->tagName();
            for (const auto &[name, value] : e->attributes())
                out += " " + name + "=\"" + value + "\"";
            out += ">";
            stack.emplace_back(n, true);
            std::vector<const zim::xml::XMLNode *> children;
            for (const zim::xml::XMLNode *c = n->firstChild(); c; c = c->nextSibling())
                children.push_back(c);
            for (auto it = children.rbegin(); it != children.rend(); ++it)
                stack.emplace_back(*it, false);
        } else if (auto *d = dynamic_cast<const zim::xml::XMLData *>(n)) {
            out += "[" + d->text() + "]";
        } else if (auto *c = dynamic_cast<const zim::xml::XMLComment *>(n)) {
            out += "<!--" + c->text() + "-->";
        }
    }
    return out;
}

struct ParseCase
{
    const char *name;
    const char *text;
    bool keepText;
    const char *tree; // the root as shown, "" for none
};

class Parsing : public testing::TestWithParam<ParseCase>
{
};

TEST_P(Parsing, BuildsTree)
{
    zim::xml::XMLDocument doc(GetParam().keepText);
    ASSERT_TRUE(doc.parse(GetParam().text)) << doc.errorText();
    EXPECT_EQ(doc.root() ? show(doc.root()) : std::string(), GetParam().tree);
}

INSTANTIATE_TEST_SUITE_P(
    Quirks, Parsing,
    testing::Values(
        ParseCase{"AttributesInOrder", "<a x=\"1\" y = \"2\" x=\"3\"/>", true, "<a x=\"3\" y=\"2\"></a>"},
        ParseCase{"CommentBeforeRootIsDropped", "<!--c--><a/>", true, "<a></a>"},
        ParseCase{"CommentInsideKept", "<a><!-- c --></a>", true, "<a><!-- c --></a>"},
        ParseCase{"CommentWithoutClosingAngleSkipsToNextTag", "<a><!-- x -- y --><b/></a>", true,
                  "<a><b></b></a>"},
        ParseCase{"SingleQuotesGiveNoValueAndSkipTheTag", "<r><a x='1' y=\"2\">t</a></r>", true, "<r><a></a></r>"},
        ParseCase{"EntityTextStays", "<a>1 &lt; 2</a>", true, "<a>[1 &lt; 2]</a>"},
        ParseCase{"WhiteSpaceBetweenElementsIsText", "<a>\n <b/>\n</a>", true, "<a>[\n ]<b></b>[\n]</a>"},
        ParseCase{"CarriageReturnsRemovedFromText", "<a>x\r\ny</a>", true, "<a>[x\ny]</a>"},
        ParseCase{"NoTextWithoutKeepText", "<a>x<!--c--><b/>y</a>", false, "<a><b></b></a>"},
        ParseCase{"LongerEndTagAccepted", "<a></ab>", true, "<a></a>"},
        ParseCase{"RootNeverClosedLeavesNoRoot", "<a><b/>", true, ""},
        ParseCase{"ChildrenInDocumentOrder", "<a>x<b>y</b>z<c/></a>", true, "<a>[x]<b>[y]</b>[z]<c></c></a>"},
        ParseCase{"AttributeWithoutValueIgnored", "<a hidden b=\"1\"/>", true, "<a b=\"1\"></a>"},
        ParseCase{"LeadingTextEndsParsing", "text<a/>", true, ""},
        ParseCase{"EmptyDocument", "", true, ""}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(XMLDocument, ReadsDoctypeName)
{
    zim::xml::XMLDocument doc;
    ASSERT_TRUE(doc.parse("<!DOCTYPE Veltrix_Project_File>\n<solution/>"));
    ASSERT_TRUE(doc.doctypeName());
    EXPECT_EQ(*doc.doctypeName(), "Veltrix_Project_File");
    ASSERT_TRUE(doc.parse("<!DOC Short>\n<a/>"));
    EXPECT_EQ(doc.doctypeName().value_or(""), "Short");
    ASSERT_TRUE(doc.parse("<!DOCTYPE html PUBLIC \"x\"><a/>"));
    EXPECT_FALSE(doc.doctypeName());
    EXPECT_TRUE(doc.root());
}

struct ErrorCase
{
    const char *name;
    const char *text;
    const char *error;
    int line;
};

class Errors : public testing::TestWithParam<ErrorCase>
{
};

TEST_P(Errors, ReportsTextAndLine)
{
    zim::xml::XMLDocument doc;
    EXPECT_FALSE(doc.parse(GetParam().text));
    EXPECT_EQ(doc.errorText(), GetParam().error);
    EXPECT_EQ(doc.errorLine(), GetParam().line);
    EXPECT_EQ(doc.root(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Parser, Errors,
    testing::Values(ErrorCase{"AttributeStartingWithDigit", "<a\n\n 1x=\"2\"/>", "bad tagName", 2},
                    ErrorCase{"ProcessingInstruction", "<?xml version=\"1.0\"?>", "bad tagName", 0},
                    ErrorCase{"EndTagOfOtherElement", "<a>\n<b>\n</a>", "tagName mismatch", 2},
                    ErrorCase{"ShorterEndTag", "<ab></a>", "tagName mismatch", 0},
                    ErrorCase{"EndTagWithNothingOpen", "</a>", "tagName mismatch", 0},
                    ErrorCase{"EndTagWithoutAngle", "<a></a x>", "tagName mismatch", 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(XMLDocument, DeepNestingNeedsNoStack)
{
    constexpr int depth = 200000;
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += "<e>";
    for (int i = 0; i < depth; ++i)
        text += "</e>";
    zim::xml::XMLDocument doc;
    ASSERT_TRUE(doc.parse(text.c_str()));
    int levels = 0;
    for (const zim::xml::XMLNode *n = doc.root(); n; n = n->firstChild())
        ++levels;
    EXPECT_EQ(levels, depth);
    // An unclosed deep document is discarded element by element.
    text.resize(text.size() / 2);
    EXPECT_TRUE(doc.parse(text.c_str()));
    EXPECT_EQ(doc.root(), nullptr);
}

TEST(XMLDocument, LoadReportsUnreadableFile)
{
    zim::xml::XMLDocument doc;
    EXPECT_FALSE(doc.load("no/such/file.xml"));
    EXPECT_EQ(doc.errorText(), "couldn't read no/such/file.xml");
}

TEST(XMLDocument, LoadStopsAtZeroByte)
{
    const std::string path = testing::TempDir() + "xml_zero.xml";
    std::FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    const char bytes[] = "<a>x</a>\0<b/>";
    ASSERT_EQ(std::fwrite(bytes, 1, sizeof bytes - 1, f), sizeof bytes - 1);
    ASSERT_EQ(std::fclose(f), 0);
    zim::xml::XMLDocument doc;
    ASSERT_TRUE(doc.load(path));
    EXPECT_EQ(show(doc.root()), "<a>[x]</a>");
    std::remove(path.c_str());
}

} // namespace
