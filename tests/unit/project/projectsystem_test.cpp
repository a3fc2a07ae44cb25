// Solution loading and the configuration and property lookups of the project system.
#include "common/boundedread.h"
#include "project/propertyvalue.h"
#include "project/solutionloaderror.h"
#include "solutionfiles.h"

#include <unistd.h>

namespace {

const zim::project::PropertyValue kText("p", 0, "", "P", "", "default", zim::project::PropertyValue::Text);
const zim::project::PropertyValue kList("macros", 0, "", "M", "", "", zim::project::PropertyValue::Accumulating);

// A solution whose lookups the tests below walk: solution configurations "Common", "Debug"
// and "ARM Debug" (inheriting ARM and Debug), a project with its own levels, and a file.
const QByteArray kLevels = R"(
  <configuration Name="Common" p="solution common" macros="S=1"/>
  <configuration Name="ARM Debug" inherited_configurations="ARM;Debug" macros="AD=1"/>
  <configuration Name="Debug" hidden="" macros="D=1"/>
  <project Name="App">
    <configuration Name="Common" q="project common" r="project common" macros="P=1"/>
    <configuration Name="Debug" q="project debug" e=""/>
    <configuration Name="ARM" r="project arm" q="project arm"/>
    <configuration Name="Release"/>
    <folder Name="Src">
      <file file_name="main.c"/>
    </folder>
  </project>
)";

class Lookups : public SolutionFiles
{
protected:
    void SetUp() override
    {
        SolutionFiles::SetUp();
        open(kLevels);
    }
    zim::project::ProjectElement *file() const { return project("App")->children().first()->children().first(); }
    QString value(const QString &name, const QString &configuration)
    {
        const zim::project::PropertyValue property(name, 0, "", "", "", "default", zim::project::PropertyValue::Text);
        return m_projects.propertyValue(file(), property, configuration);
    }
};

// The named configuration wins over Common, an inherited one over Common but not over the named
// one (ARM comes first in the inherited list), Common asks only Common, an empty value stops the
// search, and the parents and then the default answer what no level of the element holds.
TEST_F(Lookups, LevelsAreAskedInTheirOrder)
{
    EXPECT_EQ(value("q", "Debug"), "project debug");
    EXPECT_EQ(value("q", "Release"), "project common");
    EXPECT_EQ(value("r", "ARM Debug"), "project arm");
    EXPECT_EQ(value("q", "ARM Debug"), "project arm");
    EXPECT_EQ(value("q", "Common"), "project common");
    EXPECT_EQ(value("e", "Debug"), "");
    EXPECT_EQ(value("p", "Debug"), "solution common");
    EXPECT_EQ(value("absent", "Debug"), "default");
}

TEST_F(Lookups, AccumulatingListsGatherEveryLevelFromTheElementUp)
{
    EXPECT_EQ(m_projects.propertyValue(file(), kList, "Debug"), "P=1;D=1;S=1");
    EXPECT_EQ(m_projects.propertyValue(file(), kList, "ARM Debug"), "P=1;AD=1;D=1;S=1");
}

TEST_F(Lookups, ConfigurationNamesLeaveOutHiddenAndCommonAndRepeat)
{
    QStringList names;
    m_projects.configurationNames(project("App"), false, names);
    EXPECT_EQ(names, (QStringList{"ARM", "Debug", "Release", "ARM Debug"}));
    names.clear();
    m_projects.configurationNames(m_projects.solutionElement(), true, names);
    EXPECT_EQ(names, (QStringList{"ARM Debug", "Debug"}));
}

class Loading : public SolutionFiles
{
protected:
    // The texts of the failure of opening the solution s.hzp.
    QString failure(const QByteArray &text)
    {
        write("s.hzp", text);
        try {
            m_projects.openSolution(path("s.hzp"));
        } catch (const zim::project::SolutionLoadError &e) {
            EXPECT_FALSE(m_projects.hasSolution());
            return QString((e.isXmlError() ? "xml " : "") + e.firstText() + "|" + e.secondText()).replace(m_dir.path(), "DIR");
        }
        return "opened";
    }
};

TEST_F(Loading, RefusesOtherDocumentTypes)
{
    EXPECT_EQ(failure("<!DOCTYPE Other>\n<solution/>"), "DIR/s.hzp| not a solution file");
    EXPECT_EQ(failure("<solution/>"), "DIR/s.hzp| not a solution file");
}

TEST_F(Loading, ReportsXmlErrorsWithPosition)
{
    write("s.hzp", "<!DOCTYPE Veltrix_Project_File>\n<solution>\n<a b=c/></solution>");
    try {
        m_projects.openSolution(path("s.hzp"));
        FAIL() << "opened";
    } catch (const zim::project::SolutionLoadError &e) {
        EXPECT_TRUE(e.isXmlError());
        EXPECT_EQ(e.line(), 3);
        EXPECT_GT(e.column(), 0);
    }
}

TEST_F(Loading, RefusesDeepNestingAsAnXmlError)
{
    EXPECT_EQ(failure("<!DOCTYPE Veltrix_Project_File>\n" + QByteArray("<folder>").repeated(100000)),
              "xml DIR/s.hzp|elements nested deeper than 1000 levels");
}

TEST_F(Loading, ImportsRelativeToTheImportingFileAndFindsTheirProjects)
{
    write("sub/lib.hzp", "<!DOCTYPE Veltrix_Project_File><solution version=\"2\"><project Name=\"Lib\"/></solution>");
    write("sub/s.hzp", "<!DOCTYPE Veltrix_Project_File><solution version=\"2\"><project Name=\"App\"/>"
                       "<import file_name=\"$(Missing:lib).hzp\"/></solution>");
    m_projects.openSolution(path("sub/s.hzp"));
    EXPECT_EQ(m_projects.projects().keys(), (QStringList{"App", "Lib"}));
    zim::project::ProjectElement *imported = m_projects.solutionElement()->children().last();
    EXPECT_TRUE(imported->isImported());
    EXPECT_EQ(imported->property("file_name"), "$(Missing:lib).hzp");
    EXPECT_EQ(imported->filePath(), path("sub/lib.hzp"));
}

// Every project element of the tree under element.
int countProjects(const zim::project::ProjectElement *element, const QString &name)
{
    int n = element->type() == zim::project::ProjectElement::Project && element->name() == name ? 1 : 0;
    for (const zim::project::ProjectElement *c : element->children())
        n += countProjects(c, name);
    return n;
}

TEST_F(Loading, AFileImportedFromTwoPlacesIsReadInOnce)
{
    write("common.hzp", "<!DOCTYPE Veltrix_Project_File><solution version=\"2\"><project Name=\"C\"/></solution>");
    write("a.hzp", "<!DOCTYPE Veltrix_Project_File><solution version=\"2\"><import file_name=\"common.hzp\"/></solution>");
    write("b.hzp", "<!DOCTYPE Veltrix_Project_File><solution version=\"2\"><import file_name=\"./common.hzp\"/></solution>");
    EXPECT_EQ(failure("<!DOCTYPE Veltrix_Project_File><solution version=\"2\"><import file_name=\"a.hzp\"/>"
                      "<import file_name=\"b.hzp\"/></solution>"),
              "opened");
    EXPECT_EQ(countProjects(m_projects.solutionElement(), "C"), 1);
    EXPECT_TRUE(project("C"));
}

TEST_F(Loading, ImportsThatFanOutLoadEveryFileOnce)
{
    // Each file imports the next one twice: read in again at every import this would be 2^26 files.
    constexpr int kFiles = 27;
    for (int i = 1; i < kFiles; ++i) {
        const QByteArray next = "f" + QByteArray::number(i + 1) + ".hzp";
        write(QString("f%1.hzp").arg(i),
              "<!DOCTYPE Veltrix_Project_File><solution version=\"2\"><project Name=\"P" + QByteArray::number(i)
                  + "\"/><import file_name=\"" + next + "\"/><import file_name=\"" + next + "\"/></solution>");
    }
    write(QString("f%1.hzp").arg(kFiles),
          "<!DOCTYPE Veltrix_Project_File><solution version=\"2\"><project Name=\"P27\"/></solution>");
    m_projects.openSolution(path("f1.hzp"));
    EXPECT_EQ(m_projects.projects().size(), kFiles);
    EXPECT_EQ(countProjects(m_projects.solutionElement(), "P27"), 1);
}

TEST_F(Loading, ImportLargerThanTheCeilingIsRefused)
{
    QFile big(path("big.hzp"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(zim::common::kMaxSolutionFileSize + 1));
    EXPECT_EQ(failure("<!DOCTYPE Veltrix_Project_File><solution version=\"2\"><import file_name=\"big.hzp\"/></solution>"),
              "|file \u201CDIR/big.hzp\u201D is larger than the 16777216 bytes a solution file may have");
}

TEST_F(Loading, ImportThroughALinkLoopCannotBeAccessed)
{
    ASSERT_TRUE(QFile::link(path("loop.hzp"), path("loop.hzp")));
    EXPECT_EQ(failure("<!DOCTYPE Veltrix_Project_File><solution version=\"2\"><import file_name=\"loop.hzp\"/></solution>"),
              "DIR/loop.hzp| cannot access: Too many levels of symbolic links");
}

TEST_F(Loading, SolutionInAFolderThatCannotBeEnteredCannotBeAccessed)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root, which may enter every folder";
    write("closed/s.hzp", "<!DOCTYPE Veltrix_Project_File><solution version=\"2\"/>");
    ASSERT_TRUE(QFile::setPermissions(path("closed"), QFileDevice::Permissions()));
    try {
        m_projects.openSolution(path("closed/s.hzp"));
        ADD_FAILURE() << "opened";
    } catch (const zim::project::SolutionLoadError &e) {
        EXPECT_EQ(e.firstText() + e.secondText(), path("closed/s.hzp") + " cannot access: Permission denied");
    }
    QFile::setPermissions(path("closed"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(Loading, ConvertsFilesWithoutVersion)
{
    write("s.hzp", R"(<!DOCTYPE Veltrix_Project_File>
<solution Name="S">
  <project Name="A" uuid="u-a"><folder Name="Src" filter="c;h"/></project>
  <project Name="B" uuid="u-b"><configuration Name="Debug" project_dependencies="u-a;u-x"/></project>
</solution>)");
    m_projects.openSolution(path("s.hzp"));
    zim::project::ProjectElement *folder = project("A")->children().first();
    EXPECT_FALSE(folder->hasProperty("filter"));
    ASSERT_TRUE(folder->configuration("Common"));
    EXPECT_EQ(folder->configuration("Common")->property("filter"), "c;h");
    EXPECT_FALSE(project("A")->hasProperty("uuid"));
    EXPECT_EQ(project("B")->configuration("Debug")->property("project_dependencies"), "A;u-x");
}

TEST_F(Loading, TemplatesFillInWhatTheProjectLeavesOpen)
{
    write("targets/project_templates.xml", R"(<projects><if platform="MSP430">
  <project name="Exe" type="Executable">
    <configuration Name="Debug" opt="None" kept="template"/>
    <property name="Target" value="MSP430F449"/>
    <folder Name="Source Files"/>
    <configurations><configuration name="ARM Debug" inherited_configurations="ARM;Debug"/></configurations>
  </project></if></projects>)");
    open(R"(<project Name="P" template_name="Exe"><configuration Name="Debug" kept="project"/></project>)");
    zim::project::ProjectElement *p = project("P");
    EXPECT_EQ(p->configuration("Debug")->property("opt"), "None");
    EXPECT_EQ(p->configuration("Debug")->property("kept"), "project");
    EXPECT_EQ(p->configuration("Common")->property("project_type"), "Executable");
    EXPECT_EQ(p->configuration("Common")->property("Target"), "MSP430F449");
    ASSERT_EQ(p->children().size(), 1);
    EXPECT_EQ(p->children().first()->name(), "Source Files");
    EXPECT_EQ(m_projects.solutionElement()->inheritedConfigurations().value("ARM Debug"), (QStringList{"ARM", "Debug"}));

    EXPECT_THROW(open(R"(<project Name="P" template_name="Nope"/>)"), zim::project::SolutionLoadError);
    EXPECT_FALSE(m_projects.hasSolution());
}

TEST_F(Loading, TemplateHoldingAProjectThatNamesATemplateServesManyProjects)
{
    write("targets/project_templates.xml", R"(<projects>
  <project name="Exe" type="Executable">
    <folder Name="Nested"><project Name="Inner" template_name="Exe"/></folder>
  </project></projects>)");
    QByteArray body;
    for (int i = 1; i <= 5; ++i)
        body += "<project Name=\"P" + QByteArray::number(i) + "\" template_name=\"Exe\"/>";
    open(body);
    for (int i = 1; i <= 5; ++i) {
        zim::project::ProjectElement *p = project(QString("P%1").arg(i));
        ASSERT_TRUE(p);
        ASSERT_EQ(p->children().size(), 1);
        EXPECT_EQ(p->children().first()->name(), "Nested");
        EXPECT_EQ(p->configuration("Common")->property("project_type"), "Executable");
    }
}

} // namespace
