// The description-file preprocessor: conditions, switches, definitions, includes and warnings.
#include "common/hexception.h"
#include "project/xmlpp.h"
#include "solutionfiles.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QStringEncoder>
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
    // The path follows "include file" without a blank.
    EXPECT_EQ(m_warnings[1], "XmlPP::processConditionals(): couldn't open include file" + dir + "/none.xml");
    EXPECT_EQ(m_warnings[2], "XmlPP::processConditionals(): error \"Opening and ending tag mismatch.\" in include file"
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

TEST_F(XmlPPTest, FilesAreDecodedAsTheyDeclare)
{
    const QByteArray latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<part name=\"Caf\xe9 $(Chip)\"/>";
    write(QStringLiteral("part.xml"), latin1);
    EXPECT_EQ(process("<r><include filename=\"part.xml\"/><include filename=\"part.xml\" expand_macros=\"\"/></r>"),
              QString::fromUtf8("<r><part name=\"Caf\u00e9 $(Chip)\"/><part name=\"Caf\u00e9 F449\"/></r>"));
    EXPECT_EQ(process(latin1), QString::fromUtf8("<part name=\"Caf\u00e9 $(Chip)\"/>"));
    // A byte order mark decides before any declaration.
    const QString wide = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?><part name=\"\u00e9 $(Chip)\"/>");
    write(QStringLiteral("wide.xml"),
          QByteArray("\xff\xfe", 2) + QByteArray(QStringEncoder(QStringConverter::Utf16LE)(wide)));
    EXPECT_EQ(process("<r><include filename=\"wide.xml\" expand_macros=\"\"/></r>"),
              QString::fromUtf8("<r><part name=\"\u00e9 F449\"/></r>"));
    EXPECT_TRUE(m_warnings.isEmpty()) << m_warnings.join(QLatin1Char('\n')).toStdString();
}

TEST_F(XmlPPTest, UndecodableIncludesAreWarnings)
{
    write(QStringLiteral("odd.xml"), "<?xml version=\"1.0\" encoding=\"X-NOPE\"?>\n<part/>");
    write(QStringLiteral("bad.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<part n=\"Caf\xe9\"/>");
    EXPECT_EQ(process("<r><include filename=\"odd.xml\"/><include filename=\"odd.xml\" expand_macros=\"\"/>"
                      "<include filename=\"bad.xml\" expand_macros=\"\"/></r>"),
              "<r/>");
    const QString prefix = "XmlPP::processConditionals(): error \"";
    const QString odd = "\" in include file" + m_dir.filePath(QStringLiteral("odd.xml"));
    const QString bad = "\" in include file" + m_dir.filePath(QStringLiteral("bad.xml"));
    EXPECT_EQ(m_warnings, QStringList({prefix + "Encoding X-NOPE is unsupported" + odd + " line:1 column:39",
                                       prefix + "Encoding X-NOPE is unsupported" + odd + " line:1 column:39",
                                       prefix + "Encountered incorrectly encoded content." + bad + " line:2 column:13"}));
    EXPECT_FALSE(m_pp.processFile(m_dir.filePath(QStringLiteral("odd.xml"))));
    EXPECT_EQ(m_pp.errorMessage(), "Encoding X-NOPE is unsupported");
}

TEST_F(XmlPPTest, IncludeFanWithinTheCapMergesEveryCopy)
{
    // 1 + 2 + ... + 256 loads: within the cap, every copy is merged.
    const int files = 9;
    for (int i = 0; i < files; ++i) {
        const QByteArray next = "<include filename=\"f" + QByteArray::number(i + 1) + ".xml\" no_root=\"\"/>";
        write(QStringLiteral("f%1.xml").arg(i), i + 1 < files ? "<f>" + next + next + "</f>" : "<f><leaf/></f>");
    }
    const QString merged = process("<r><include filename=\"f0.xml\" no_root=\"\"/></r>");
    EXPECT_EQ(merged.count(QStringLiteral("<leaf/>")), 256);
}

TEST_F(XmlPPTest, IncludeFanIsCappedByBytes)
{
    // Each copy of an included file counts, whether or not it was read before.
    write(QStringLiteral("wide.xml"), "<w>" + QByteArray(9 * 1024 * 1024, ' ') + "</w>");
    write(QStringLiteral("main.xml"), "<r><include filename=\"wide.xml\"/><include filename=\"wide.xml\"/></r>");
    const QString main = m_dir.filePath(QStringLiteral("main.xml"));
    try {
        m_pp.processFile(main);
        ADD_FAILURE() << "no exception";
    } catch (const zim::common::HException &e) {
        EXPECT_EQ(e.message(), QStringLiteral("the files that \u201C") + main
                                   + QStringLiteral("\u201D includes add up to more than the 16777216 bytes a "
                                                    "description file may have"));
    }
}

TEST_F(XmlPPTest, ElementWithAsManyAttributesAsTheLimitIsRead)
{
    // Exactly the limit still reads: "=" inside values and comments is no attribute.
    QByteArray fine = "<r><e";
    for (int i = 0; i < 1024; ++i)
        fine += " a" + QByteArray::number(i) + "=\"=\"";
    EXPECT_EQ(process(fine + "/><!-- = = = --></r>").count(QLatin1Char('=')), 2 * 1024 + 3);
}

} // namespace
