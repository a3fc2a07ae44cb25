// The manual page writer: roff escaping, entries taken from the usage column and the
// listings, and texts out of layout refused rather than dropped.
#include "common/hexception.h"
#include "manpage/manpage.h"

#include <gtest/gtest.h>

using zim::manpage::manPage;
using zim::manpage::ManPageSource;
using zim::manpage::roffText;

namespace {

ManPageSource source(const QByteArray &options, const QByteArray &examples)
{
    ManPageSource s;
    s.usage = "Title - Release 1.4\n"
              "zimprog: a loader\n"
              "\n"
              "Usage: zimprog [options] [files...]\n"
              "\n"
              "Options:\n"
              + options + "\nExamples\n--------\n\n" + examples;
    s.targets = "Target Interfaces:\n\n  sim                   MSP430 Core Simulator\n  msp430_dll            TI MSP430.dll Interface\n\n";
    s.fileTypes = "File Types:\n\n  ihex                  Intel Hex File\n\n";
    s.version = "1.4.0";
    s.installDir = "/usr/lib/zimprog";
    return s;
}

const QByteArray kOptions = "  -target 'target'      The target interface to use\n"
                            "  -setprop 'prop'='val' Set a target property 'prop' to 'val'\n"
                            "  -help                 Print options help\n";
const QByteArray kExamples = "  Download MyApp.hex using target interface \"sim\":\n\n"
                             "    zimprog -target sim MyApp.hex\n\n";

QString failureOf(const ManPageSource &s)
{
    try {
        manPage(s);
    } catch (const zim::common::HException &e) {
        return e.message();
    }
    return QStringLiteral("no failure");
}

} // namespace

TEST(ManPage, RoffTextEscapesWhatRoffWouldInterpret)
{
    EXPECT_EQ(roffText("-target a\\b"), "\\-target a\\eb");
    EXPECT_EQ(roffText(".TH at the start"), "\\&.TH at the start");
    EXPECT_EQ(roffText("'quoted' at the start"), "\\&'quoted' at the start");
    EXPECT_EQ(roffText("a .period inside"), "a .period inside");
}

TEST(ManPage, EveryOptionTargetFileTypeAndExampleHasItsEntry)
{
    const QByteArray page = manPage(source(kOptions, kExamples));
    EXPECT_TRUE(page.startsWith(".TH ZIMPROG 1 \"\" \"zimprog 1.4.0\" \"User Commands\"\n.SH NAME\nzimprog \\- a loader\n"));
    EXPECT_TRUE(page.contains(".TP\n\\fB\\-target\\fR \\fI\\&'target'\\fR\nThe target interface to use\n"));
    EXPECT_TRUE(page.contains(".TP\n\\fB\\-setprop\\fR \\fI\\&'prop'='val'\\fR\nSet a target property 'prop' to 'val'\n"));
    EXPECT_TRUE(page.contains(".TP\n\\fB\\-help\\fR\nPrint options help\n"));
    EXPECT_TRUE(page.contains(".TP\n\\fBmsp430_dll\\fR\nTI MSP430.dll Interface\n"));
    EXPECT_TRUE(page.contains(".TP\n\\fBihex\\fR\nIntel Hex File\n"));
    EXPECT_TRUE(page.contains(".PP\nDownload MyApp.hex using target interface \"sim\":\n.PP\n.RS 4\n.nf\n"
                              "zimprog \\-target sim MyApp.hex\n.fi\n.RE\n"));
    EXPECT_TRUE(page.contains("\\fI/usr/lib/zimprog/targets/\\fR\n"));
}

TEST(ManPage, TextsOutOfLayoutStopTheBuildNamingTheLine)
{
    // An option wider than the column: its help would be split in the wrong place.
    EXPECT_EQ(failureOf(source("  -averyveryverylongoption The help\n", kExamples)),
              "manual page: usage line outside the option column: \"  -averyveryverylongoption The help\"");
    EXPECT_EQ(failureOf(source("", kExamples)), "manual page: usage text without options: \"Options:\"");
    EXPECT_EQ(failureOf(source(kOptions, "    zimprog -target sim MyApp.hex\n")),
              "manual page: example command without its description: \"    zimprog -target sim MyApp.hex\"");
    EXPECT_EQ(failureOf(source(kOptions, "  Download MyApp.hex:\n\n")),
              "manual page: example description without its command: \"Download MyApp.hex:\"");

    ManPageSource noHeading = source(kOptions, kExamples);
    noHeading.targets = "  sim                   MSP430 Core Simulator\n";
    EXPECT_EQ(failureOf(noHeading), "manual page: listing without its heading: \"  sim                   MSP430 Core Simulator\"");
    ManPageSource noUsage = source(kOptions, kExamples);
    noUsage.usage.replace("Usage: zimprog [options] [files...]", "Usage: zimprog [files]");
    EXPECT_EQ(failureOf(noUsage), "manual page: usage text without its usage line: \"Usage: zimprog [options] [files...]\"");
}
