// Macro expansion, the macro list form and the installation directory.
#include "project/environmentsettings.h"
#include "project/macros.h"

#include <gtest/gtest.h>

namespace {

const zim::project::MacroMap env{{"Platform", "msp430"}, {"VeltDir", "/opt/velt"}, {"Loop", "$(Loop)"},
                   {"Inner", "Platform"}, {"Self", "x$(Self)"}};

struct ExpandCase
{
    const char *text;
    const char *expected;
};

class ExpandTest : public testing::TestWithParam<ExpandCase> {};

TEST_P(ExpandTest, Expands)
{
    EXPECT_EQ(zim::project::expandMacros(env, QString::fromUtf8(GetParam().text)), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Macros, ExpandTest, testing::Values(
    ExpandCase{"$(VeltDir)/bin/x", "/opt/velt/bin/x"},
    ExpandCase{"$(Undefined)", "$(Undefined)"},                    // left as written
    ExpandCase{"$(Undefined:fallback)", "fallback"},
    ExpandCase{"$(Undefined:$(Platform))", "msp430"},             // default expanded by a nested pass
    ExpandCase{"$(Undefined:a:b)", "a:b"},                        // only the first colon splits
    ExpandCase{"$$(Platform)", "$msp430"},                        // the first dollar is copied
    ExpandCase{"cost $5 (each)", "cost $5 (each)"},
    ExpandCase{"$(Platform", "$(Platform)"},                      // unterminated: its default text
    ExpandCase{"$(a(b)c)", "$(a(b)c)"},                           // parentheses in a name are counted
    ExpandCase{"$($(Inner))", "$($(Inner))"},                     // a name is never expanded itself
    ExpandCase{"$(Loop)", "$(Loop)"},                             // a value that refers to itself stops
    ExpandCase{"$(Self)", "x$(Self)"},                            // a plain pass does not rescan values
    ExpandCase{"$(Nope:$(Nope2))", "$(Nope2)"}));

TEST(Macros, SelfGrowingReferencesStopAfterBoundedPasses)
{
    const zim::project::MacroMap grow{{"G", "$(G:$(G))"}};
    const QString out = zim::project::expandMacros(grow, "$($(G))");
    EXPECT_LT(out.size(), 100000);
}

TEST(Macros, ListForm)
{
    const zim::project::MacroMap m = zim::project::parseMacroList("A=1;B=x\\;y;;C=a=b");
    EXPECT_EQ(m.size(), 3);
    EXPECT_EQ(m.value("A"), "1");
    EXPECT_EQ(m.value("B"), "x;y");
    EXPECT_EQ(m.value("C"), "a=b");
    EXPECT_TRUE(zim::project::parseMacroList(";;").isEmpty());
    EXPECT_EQ(zim::project::parseMacroList("D=\\\\").value("D"), "\\");
}

TEST(EnvironmentSettings, VeltDirFromExecutablePath)
{
    EXPECT_EQ(zim::project::EnvironmentSettings::veltDirFromExecutablePath("C:\\Velt\\BIN\\zimprog.exe"), "C:/Velt");
    EXPECT_EQ(zim::project::EnvironmentSettings::veltDirFromExecutablePath("/usr/local/bin/zimprog"), "/usr/local");
    EXPECT_EQ(zim::project::EnvironmentSettings::veltDirFromExecutablePath("C:\\tools\\zimprog.exe"), "C:/tools/zimprog.exe");
    EXPECT_EQ(zim::project::EnvironmentSettings::veltDirFromExecutablePath("/opt/binaries/zimprog"), "/opt/binaries/zimprog");
}

} // namespace
