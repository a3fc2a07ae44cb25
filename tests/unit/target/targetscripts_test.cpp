// The target as a script object (dispatch to the memory interface, failures)
// and the lookup of the project's reset and attach scripts.
#include "common/hexception.h"
#include "fakes/faketarget.h"
#include "fakes/testenvironment.h"
#include "project/projectsystem.h"
#include "script/escontext.h"
#include "script/esnativeclasses.h"
#include "target/targetscripthost.h"

#include <QFile>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;
using testing::HasSubstr;
using zim::script::ESContext;
using zim::script::ESEvaluation;

namespace {

// The completion value as text, the thrown script value's message, or the HException's text.
QString run(ESContext &context, const QString &text)
{
    try {
        const ESEvaluation result = context.evaluate(text);
        if (result.status == ESEvaluation::Thrown)
            return QStringLiteral("thrown: ") + result.message;
        return context.toString(result.value);
    } catch (const zim::common::HException &e) {
        return QStringLiteral("failed: ") + e.message();
    }
}

struct ScriptTarget : testing::Test
{
    FakeTarget target;
    ESContext context;

    void SetUp() override
    {
        target.connected = true;
        target.addScriptMethods(&context);
    }
    QString eval(const QString &text) { return run(context, text); }
};

TEST_F(ScriptTarget, GlobalIsNotEnumerable)
{
    EXPECT_EQ(eval("var seen = false; for (var n in this) if (n == 'TargetInterface') seen = true; seen"), "false");
    EXPECT_EQ(eval("typeof TargetInterface"), "object");
}

TEST_F(ScriptTarget, WordsAreWrittenAndReadInTheMemorysByteOrder)
{
    EXPECT_EQ(eval("TargetInterface.pokeUint32(0x200, 0x12345678); TargetInterface.peekUint16(0x202)"),
              QString::number(0x1234));
    EXPECT_EQ(eval("TargetInterface.peekBytes(0x200, 4)"), "120,86,52,18");
    EXPECT_EQ(eval("TargetInterface.peekUint32(0x200)"), QString::number(0x12345678));
    EXPECT_EQ(eval("TargetInterface.pokeByte(0x210, 0x1FF); TargetInterface.peekByte(0x210)"), "255");
}

TEST_F(ScriptTarget, ArraysGoThroughTheMultipleWordOperations)
{
    EXPECT_EQ(eval("TargetInterface.pokeMultUint16(0x300, [1, 0xABCD]); TargetInterface.peekBytes(0x300, 4)"),
              "1,0,205,171");
    EXPECT_EQ(eval("TargetInterface.pokeMultUint32(0x400, [0x01020304]); TargetInterface.peekMultUint16(0x400, 2)"),
              QStringLiteral("%1,%2").arg(0x0304).arg(0x0102));
    EXPECT_EQ(eval("TargetInterface.pokeBytes(0x500, [9, 8, 7]); TargetInterface.peekMultUint32(0x500, 1)"),
              QString::number(0xFF070809u));
}

TEST_F(ScriptTarget, TwoContextsReachTheSameTarget)
{
    ESContext other;
    target.addScriptMethods(&other);
    EXPECT_EQ(eval("TargetInterface.pokeByte(0x220, 42)"), "undefined");
    EXPECT_EQ(run(other, "TargetInterface.peekByte(0x220)"), "42");
}

TEST_F(ScriptTarget, MemoryMethodsOfADisconnectedTargetFail)
{
    target.connected = false;
    EXPECT_EQ(eval("TargetInterface.peekByte(0)"), "failed: Target is not connected");
    EXPECT_EQ(eval("TargetInterface.pokeBytes(0, [1])"), "failed: Target is not connected");
}

TEST_F(ScriptTarget, CountsBeyondTheTransferLimitFailBeforeAnythingIsMoved)
{
    EXPECT_THAT(eval("TargetInterface.peekBytes(0, 1e12)").toStdString(), HasSubstr("peekBytes: a count of"));
    EXPECT_THAT(eval("TargetInterface.peekMultUint32(0, -1)").toStdString(), HasSubstr("outside 0 to"));
    EXPECT_THAT(eval("var a = []; a.length = 4000000000; TargetInterface.pokeBytes(0, a)").toStdString(),
                HasSubstr("pokeBytes: a count of 4000000000"));
    EXPECT_THAT(eval("TargetInterface.pokeBytes(0, 5)").toStdString(), HasSubstr("array argument expected"));
}

TEST_F(ScriptTarget, EraseIsBracketedAlsoWhenItFails)
{
    target.main.failAt = 0x1000;
    target.log.clear();
    EXPECT_EQ(eval("TargetInterface.eraseBytes(0x1000, 16)"), "failed: write failed at 0x1000");
    EXPECT_THAT(target.log, ElementsAre("main.beginErase", "main.eraseRange 1000 16", "main.endErase"));
}

TEST_F(ScriptTarget, ReadBinaryGivesTheFileBytesOrNamesTheFile)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("data.bin"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(QByteArray("\x00\x7f\xff", 3)), 3);
    file.close();
    EXPECT_EQ(eval(QStringLiteral("TargetInterface.readBinary('%1')").arg(file.fileName())), "0,127,255");
    EXPECT_THAT(eval(QStringLiteral("TargetInterface.readBinary('%1')").arg(dir.filePath("missing"))).toStdString(),
                HasSubstr("failed: cannot open file \u201C"));
}

// --- reset and attach scripts

// Records what it is asked to evaluate; evaluating may call back into the target.
class RecordingHost : public zim::target::TargetScriptHost
{
public:
    zim::project::ProjectElement *project = nullptr;
    QString configuration;
    QStringList evaluated;
    std::function<void()> onEvaluate;

    zim::project::ProjectElement *currentProject() const override { return project; }
    const QString &configName() const override { return configuration; }
    bool evaluateScript(const QString &text, const QString &) override
    {
        evaluated.append(text);
        if (onEvaluate)
            onEvaluate();
        return true;
    }
};

struct ResetScripts : testing::Test
{
    TestEnvironment state;
    RecordingHost host;
    FakeTarget target{&state};
    QStringList messages;
    QTemporaryDir dir;

    void SetUp() override
    {
        state.setScriptHost(&host);
        QObject::connect(&target, qOverload<const QString &>(&zim::target::TargetInterface::message), &target,
                         [this](const QString &text) { messages.append(text); });
    }

    void write(const QString &name, const QByteArray &text)
    {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(text), text.size());
    }

    // Opens a solution of one project P whose Common configuration has the attributes given
    // and whose body follows it; selects P in Debug.
    void openProject(const QByteArray &attributes, const QByteArray &body)
    {
        write("s.hzp", "<!DOCTYPE Veltrix_Project_File>\n<solution Name=\"S\" version=\"2\">\n<project Name=\"P\">\n"
                       "<configuration Name=\"Common\" " + attributes + "/>\n<configuration Name=\"Debug\"/>\n" + body
                           + "</project>\n</solution>\n");
        state.projectSystem().openSolution(dir.filePath("s.hzp"));
        host.project = state.projectSystem().findInSolution(state.projectSystem().solutionElement(), "P");
        ASSERT_NE(host.project, nullptr);
        host.configuration = QStringLiteral("Debug");
    }
};

TEST_F(ResetScripts, WithoutAProjectTheEmptyDefaultSucceedsAtOnce)
{
    EXPECT_TRUE(target.runResetScript());
    EXPECT_TRUE(target.runAttachScript());
    EXPECT_TRUE(host.evaluated.isEmpty());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ResetScripts, WithoutAConfigurationTheProjectIsNotAsked)
{
    openProject("target_reset_script=\"go()\"", "");
    host.configuration.clear();
    EXPECT_TRUE(target.runResetScript());
    EXPECT_TRUE(host.evaluated.isEmpty());
}

TEST_F(ResetScripts, AnExcludedScriptFileIsPassedOver)
{
    write("first.js", "first");
    write("second.s", "; not a script");
    openProject("target_reset_script=\"go()\"",
                "<file file_name=\"first.js\"><configuration Name=\"Debug\" build_exclude_from_build=\"Yes\"/></file>\n"
                "<file file_name=\"second.s\"/>\n");
    EXPECT_TRUE(target.runResetScript());
    EXPECT_THAT(host.evaluated, ElementsAre("\ngo()"));
    EXPECT_THAT(messages, ElementsAre("Executing reset script go()"));
}
TEST_F(ResetScripts, AFileTypeGivenInTheProjectWinsOverTheExtension)
{
    write("reset.txt", "typed");
    write("other.js", "by extension");
    openProject("target_attach_script=\"attach()\"",
                "<file file_name=\"reset.txt\" file_type=\"Reset Script\"/>\n<file file_name=\"other.js\"/>\n");
    EXPECT_TRUE(target.runAttachScript());
    EXPECT_THAT(host.evaluated, ElementsAre("typed\nattach()"));
    EXPECT_EQ(messages.value(0), "Executing attach script attach()");
}

TEST_F(ResetScripts, AnUnreadableScriptFileIsNamed)
{
    openProject("target_reset_script=\"go()\"", "<file file_name=\"gone.js\"/>\n");
    try {
        target.runResetScript();
        FAIL() << "no failure";
    } catch (const zim::common::HException &e) {
        EXPECT_THAT(e.message().toStdString(), HasSubstr("cannot open target script file \u201C"));
    }
    EXPECT_TRUE(host.evaluated.isEmpty());
}

TEST_F(ResetScripts, AResetCausedByTheScriptRunsNoScriptAgain)
{
    openProject("target_reset_script=\"TargetInterface.reset()\"", "");
    host.onEvaluate = [this] { EXPECT_TRUE(target.runResetScript()); };
    EXPECT_TRUE(target.runResetScript());
    EXPECT_EQ(host.evaluated.size(), 1);
    // The guard is lifted afterwards.
    host.onEvaluate = nullptr;
    EXPECT_TRUE(target.runResetScript());
    EXPECT_EQ(host.evaluated.size(), 2);
}

} // namespace
