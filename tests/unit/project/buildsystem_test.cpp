// Build macros and output paths.
#include "project/buildsystem.h"
#include "project/environmentsettings.h"
#include "solutionfiles.h"

namespace {

class BuildMacros : public SolutionFiles
{
protected:
    QString output(const QByteArray &projectBody, const QString &configuration = "Debug", bool absolute = true)
    {
        open("<project Name=\"Blinky\">" + projectBody + "<configuration Name=\"Debug\"/></project>");
        return m_build.outputFilePath(project("Blinky"), configuration, absolute);
    }

    zim::project::EnvironmentSettings m_settings{QStringLiteral(ZIM_BINARY_DIR "/bin/zimprog")};
    zim::project::BuildSystem m_build{m_projects, m_settings};
};

TEST_F(BuildMacros, DefaultExecutableOutputUnderTheProjectDirectory)
{
    EXPECT_EQ(output(""), m_dir.path() + "/Debug/Blinky.hzx");
    EXPECT_EQ(output("", "Debug", false), "Debug/Blinky.hzx");
}

TEST_F(BuildMacros, EmptyOutputDirectoryIsTheCurrentOne)
{
    EXPECT_EQ(output("<configuration Name=\"Common\" build_output_directory=\"\"/>", "Debug", false), "./Blinky.hzx");
}

TEST_F(BuildMacros, ComputedOutDirReplacesAMacrosEntry)
{
    EXPECT_EQ(output("<configuration Name=\"Common\" macros=\"OutDir=mine;Name=x\" "
                     "build_output_file_name=\"$(OutDir)/$(Name).hex\"/>",
                     "Debug", false),
              "Debug/x.hex");
}

TEST_F(BuildMacros, TheMostSpecificMacrosEntryWins)
{
    // The named configuration over an inherited one and "Common", the project over the solution.
    open(R"(<configuration Name="Common" macros="A=solution;B=solution;C=solution;D=solution"/>
<configuration Name="Debug" macros="C=solution debug"/>
<project Name="P">
  <configuration Name="Common" macros="A=common;B=common;B=common2"/>
  <configuration Name="Debug" macros="A=debug"/>
</project>)");
    const zim::project::MacroMap m = m_build.buildMacros(project("P"), "Debug");
    EXPECT_EQ(m.value("A"), "debug");
    EXPECT_EQ(m.value("B"), "common2");
    EXPECT_EQ(m.value("C"), "solution debug");
    EXPECT_EQ(m.value("D"), "solution");
}

TEST_F(BuildMacros, ProjectImportedFromItsOwnFileHasItsOwnDirectory)
{
    write("sub/p.hzp", "<!DOCTYPE Veltrix_Project_File><project Name=\"P\"><configuration Name=\"Debug\" "
                       "build_output_file_name=\"$(ProjectDir)/p.hzx\"/></project>");
    open("<import file_name=\"sub/p.hzp\"/>");
    ASSERT_TRUE(project("P"));
    EXPECT_EQ(m_build.buildMacros(project("P"), "Debug").value("ProjectDir"), path("sub"));
    EXPECT_EQ(m_build.outputFilePath(project("P"), "Debug", true), path("sub") + "/p.hzx");
    EXPECT_EQ(m_build.outputFilePath(project("P"), "Release", true), path("sub") + "/Release/P.hzx");
}

TEST_F(BuildMacros, LibrariesAndKindsWithoutOutput)
{
    EXPECT_EQ(output("<configuration Name=\"Common\" project_type=\"Library\"/>", "Debug", false), "Debug/Blinky.hza");
    EXPECT_EQ(output("<configuration Name=\"Common\" project_type=\"Staging\"/>"), "");
}

TEST_F(BuildMacros, AbsoluteOutputStaysAsWritten)
{
    EXPECT_EQ(output("<configuration Name=\"Common\" build_output_file_name=\"/opt/x.hex\"/>"), "/opt/x.hex");
}

TEST_F(BuildMacros, FileAndSolutionMacros)
{
    open("<project Name=\"P\"><file file_name=\"src/main.c.in\"/><configuration Name=\"Debug\"/></project>",
         "app.v2.hzp");
    const zim::project::MacroMap m = m_build.buildMacros(project("P")->children().first(), "Debug");
    EXPECT_EQ(m.value("InputDir"), "src");
    EXPECT_EQ(m.value("InputName"), "main");
    EXPECT_EQ(m.value("InputExt"), "c.in");
    EXPECT_EQ(m.value("InputPath"), m_dir.path() + "/src/main.c.in");
    EXPECT_EQ(m.value("RelInputPath"), "src/main.c.in");
    EXPECT_EQ(m.value("SolutionName"), "app");
    EXPECT_EQ(m.value("SolutionExt"), "v2.hzp");
    EXPECT_EQ(m.value("ProjectDir"), m_dir.path());
    EXPECT_EQ(m.value("Platform"), "msp430");
    EXPECT_EQ(m.value("IntDir"), "Debug");
    EXPECT_EQ(m.value("OBJ"), ".hzo");
}

} // namespace
