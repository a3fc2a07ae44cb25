// The description-file preprocessor: conditions, switches, definitions, includes and warnings.
#include "common/hexception.h"
#include "project/xmlpp.h"
#include "solutionfiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

QStringList *capturedWarnings = nullptr;

void captureWarning(QtMsgType, const QMessageLogContext &, const QString &text)
{
    if (capturedWarnings)
        capturedWarnings->append(text);
}

class XmlPPTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        capturedWarnings = &m_warnings;
        m_previous = qInstallMessageHandler(captureWarning);
    }
    void TearDown() override
    {
        qInstallMessageHandler(m_previous);
        capturedWarnings = nullptr;
    }

    void write(const QString &name, const QByteArray &text)
    {
        QFile f(m_dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(text), text.size());
    }
    // The processed document element, compact.
    QString process(const QByteArray &text)
    {
        write(QStringLiteral("main.xml"), text);
        EXPECT_TRUE(m_pp.processFile(m_dir.filePath(QStringLiteral("main.xml")))) << m_pp.errorMessage().toStdString();
        QString out;
        QTextStream stream(&out);
        m_pp.document().documentElement().save(stream, -1);
        stream.flush();
        return out;
    }

    zim::project::MacroMap m_environment{{QStringLiteral("Chip"), QStringLiteral("F449")}};
    zim::project::XmlPP m_pp{m_environment};
    QTemporaryDir m_dir;
    QStringList m_warnings;
    QtMessageHandler m_previous = nullptr;
};

TEST_F(XmlPPTest, SwitchTakesCaseListingTheValue)
{
    EXPECT_EQ(process("<r><switch name=\"platform\"><case value=\"AVR\"><a/></case>"
                      "<case value=\"ARM,MSP430\"><b/><c/></case><default><d/></default></switch></r>"),
              "<r><b/><c/></r>");
}

TEST_F(XmlPPTest, SwitchFallsBackToDefaultWhereverItStands)
{
    EXPECT_EQ(process("<r><switch name=\"host\"><default><d/></default><case value=\"LINUX\"><a/></case></switch>"
                      "<switch name=\"host\"><case value=\"X\"/></switch></r>"),
              "<r><d/></r>");
}

TEST_F(XmlPPTest, ConditionsDecideAgainstDefinitions)
{
    EXPECT_EQ(process("<r><if release=\"1.3,1.4\"><a/></if><ifnot build=\"RELEASE\"><b/></ifnot>"
                      "<ifdef name=\"late\"><c/></ifdef><define name=\"late\" value=\"1\"/>"
                      "<ifdef name=\"late\"><d><ifndef name=\"late\"><e/></ifndef></d></ifdef>"
                      "<if undefined=\"\"><f/></if></r>"),
              "<r><a/><d/><f/></r>");
    EXPECT_TRUE(m_warnings.isEmpty());
}

TEST_F(XmlPPTest, ExpandsDefinitionsIntoText)
{
    EXPECT_EQ(process("<r><define name=\"chip\" value=\"F449\"/><n>MSP430<expand_definition name=\"chip\"/></n></r>"),
              "<r><n>MSP430F449</n></r>");
}

TEST_F(XmlPPTest, IfNeedsExactlyOneCondition)
{
    EXPECT_EQ(process("<r><if platform=\"MSP430\" host=\"WIN32\"><a/></if><if><b/></if></r>"), "<r/>");
    EXPECT_EQ(m_warnings, QStringList(2, QStringLiteral("XmlPP::processConditionals(): one condition required for <if[not]>")));
}

TEST_F(XmlPPTest, DefineNeedsNameAndValue)
{
    EXPECT_EQ(process("<r><define name=\"x\"/></r>"), "<r/>");
    EXPECT_EQ(m_warnings, QStringList{QStringLiteral("XmlPP::processConditionals(): missing name and/or value in <define>")});
}

TEST_F(XmlPPTest, IncludeWithoutRootInsertsChildrenInOrder)
{
    write(QStringLiteral("part.xml"), "<part><one/><define name=\"inner\" value=\"1\"/><two/><three/></part>");
    EXPECT_EQ(process("<r><a/><include filename=\"part.xml\" no_root=\"\"/><ifdef name=\"inner\"><z/></ifdef></r>"),
              "<r><a/><one/><two/><three/><z/></r>");
}

TEST_F(XmlPPTest, IncludeKeepsRootAndExpandsMacrosOnRequest)
{
    write(QStringLiteral("part.xml"), "<part chip=\"$(Chip)-$(Size)\"/>");
    EXPECT_EQ(process("<r><include filename=\"part.xml\" expand_macros=\"\" macros=\"Size=4;X=y\"/>"
                      "<include filename=\"part.xml\"/></r>"),
              "<r><part chip=\"F449-4\"/><part chip=\"$(Chip)-$(Size)\"/></r>");
}

TEST_F(XmlPPTest, IncludedMacroThatDoublesItselfStopsNamingIt)
{
    write(QStringLiteral("part.xml"), "<part v=\"$(X:$)\"/>");
    write(QStringLiteral("main.xml"), "<r><include filename=\"part.xml\" expand_macros=\"\" macros=\"X=$(X:$)$(X:$)\"/></r>");
    try {
        m_pp.processFile(m_dir.filePath(QStringLiteral("main.xml")));
        FAIL() << "processed";
    } catch (const zim::common::HException &e) {
        EXPECT_TRUE(e.message().startsWith(QString::fromUtf8("macro \u201CX\u201D expands to more than"))) << e.what();
    }
}

TEST_F(XmlPPTest, IncludeProblemsAreWarnings)
{
    write(QStringLiteral("bad.xml"), "<part>\n<open></part>");
    write(QStringLiteral("self.xml"), "<part><include filename=\"self.xml\"/></part>");
    EXPECT_EQ(process("<r><include/><include filename=\"none.xml\"/><include filename=\"bad.xml\"/>"
                      "<include filename=\"self.xml\"/></r>"),
              "<r><part/></r>");
    const QString dir = m_dir.path();
    ASSERT_EQ(m_warnings.size(), 4);
    EXPECT_EQ(m_warnings[0], "XmlPP::processConditionals(): missing filename in <include>");
    EXPECT_EQ(m_warnings[1], "XmlPP::processConditionals(): couldn't open include file " + dir + "/none.xml");
    EXPECT_EQ(m_warnings[2], "XmlPP::processConditionals(): error \"Opening and ending tag mismatch.\" in include file "
                                 + dir + "/bad.xml line:2 column:13");
    EXPECT_TRUE(m_warnings[3].contains("self.xml includes itself"));
}

TEST_F(XmlPPTest, UnreadableAndMalformedFilesFail)
{
    EXPECT_FALSE(m_pp.processFile(m_dir.filePath(QStringLiteral("none.xml"))));
    EXPECT_EQ(m_pp.errorMessage(), "cannot access");
    write(QStringLiteral("deep.xml"), QByteArray("<e>").repeated(100000));
    EXPECT_FALSE(m_pp.processFile(m_dir.filePath(QStringLiteral("deep.xml"))));
    EXPECT_EQ(m_pp.errorMessage(), "elements nested deeper than 1000 levels");
    EXPECT_EQ(m_pp.errorLine(), 1);
}

} // namespace
