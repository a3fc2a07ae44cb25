// The Loader and the run sequence of System against a fake target registered in place of the
// simulator: what is called on the target, in which order, and what ends a run.
#include "fakes/teststate.h"
#include "capture.h"
#include "common/hexception.h"
#include "fakes/faketarget.h"
#include "loader/loader.h"
#include "loader/system.h"
#include "loadfile/loadfilefactory.h"
#include "target/targetregistry.h"

#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;

namespace {

// Keeps the FakeTarget most recently made by the registry.
QPointer<FakeTarget> lastTarget;

void useFakeTargets(zim::loader::ProgramState &state)
{
    replaceTarget(state, "MSP430Monitor", [&state] {
        auto target = std::make_unique<FakeTarget>(&state);
        lastTarget = target.get();
        return target;
    });
}

// The target-level events of the log (no memory calls).
std::vector<std::string> targetEvents(const QStringList &log)
{
    std::vector<std::string> events;
    for (const QString &line : log)
        if (!line.startsWith(QLatin1String("main.")))
            events.push_back(line.toStdString());
    return events;
}

struct RunFixture : testing::Test
{
    CapturedStream out;
    CapturedStream err;
    zim::loader::ArgParseReporter reporter{"zimprog", err.file()};
    uint64_t now = 0;
    TestState state;
    zim::loader::System system{state, reporter, out.file(), [this] { return now; }};
    QTemporaryDir dir;
    QString a;
    QString b;

    void SetUp() override
    {
        useFakeTargets(state);
        a = write("a.hex", ":0411000001020304E1\n:00000001FF\n");
        b = write("b.hex", ":04200000AABBCCDDCE\n:00000001FF\n");
    }

    QString write(const char *name, const QByteArray &content)
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }

    int run(std::vector<std::string> args)
    {
        args.insert(args.begin(), "zimprog");
        std::vector<const char *> words;
        for (const std::string &s : args)
            words.push_back(s.c_str());
        return system.run(int(words.size()), words.data());
    }
};

TEST_F(RunFixture, NoDownloadNoVerifyStillResetsBracketsRunsAndDisconnects)
{
    EXPECT_EQ(run({"-target", "sim", "-nodownload", "-noverify", a.toStdString(), b.toStdString()}), 0);
    ASSERT_TRUE(lastTarget);
    EXPECT_THAT(targetEvents(lastTarget->log),
                ElementsAre("connect", "reset 1", "beginLoad", "endLoad", "run 0 1", "reset 1", "beginLoad", "endLoad",
                            "run 0 1", "disconnect"));
}

TEST_F(RunFixture, DownloadAndVerifyNestInsideTheLoadBracket)
{
    EXPECT_EQ(run({"-target", "sim", "-quiet", a.toStdString()}), 0);
    ASSERT_TRUE(lastTarget);
    EXPECT_THAT(targetEvents(lastTarget->log),
                ElementsAre("connect", "reset 1", "beginLoad", "beginLoad", "endLoad", "beginLoad", "endLoad", "endLoad",
                            "run 0 1", "disconnect"));
    EXPECT_EQ(lastTarget->main.bytes.at(0x1103), 4);
    EXPECT_EQ(out.text(), "");
}

TEST_F(RunFixture, FailedVerificationOfTheSecondFileStopsWithoutDisconnecting)
{
    useFakeTargets(state);
    system.loader().SetTarget(QStringLiteral("sim"));
    lastTarget->main.stuck = zim::target::AddressRange{0x2002, 0x2002};
    const std::vector<std::string> args{"-quiet", a.toStdString(), b.toStdString()};
    EXPECT_THAT([&] { run(args); },
                testing::ThrowsMessage<zim::common::HException>(
                    testing::StrEq(("Verification of " + b + " has failed").toStdString())));
    EXPECT_TRUE(lastTarget->isConnected());
    EXPECT_EQ(lastTarget->main.bytes.at(0x1100), 1);
    EXPECT_EQ(targetEvents(lastTarget->log).back(), "endLoad");
}

// A Loader over a state of its own, whose simulator entry makes FakeTargets.
struct OwnLoader
{
    CapturedStream out;
    zim::loader::ConsoleOutput console{out.file()};
    TestState state;
    zim::loader::Loader loader{console, state};

    OwnLoader()
    {
        replaceTarget(state, "MSP430Monitor", [this] { return std::make_unique<FakeTarget>(&state); });
    }
};

TEST(LoaderOperations, RefuseWithoutTargetConnectionOrFile)
{
    OwnLoader own;
    zim::loader::Loader &loader = own.loader;
    const auto refuses = [](auto operation, const char *message) {
        EXPECT_THAT(operation, testing::ThrowsMessage<zim::common::HException>(testing::StrEq(message)));
    };
    refuses([&] { loader.ConnectTarget(); }, "No target selected");
    loader.SetTarget(QStringLiteral("MSP430Monitor"));
    refuses([&] { loader.Download(); }, "Target is not connected");
    refuses([&] { loader.Verify(); }, "Target is not connected");
    refuses([&] { loader.DisconnectTarget(); }, "Target is not connected");
    EXPECT_TRUE(loader.ConnectTarget());
    refuses([&] { loader.ConnectTarget(); }, "Target already connected");
    refuses([&] { loader.Download(); }, "No load file selected");
}

// Records whether it was still connected when destroyed.
class TrackedPort : public FakePort
{
public:
    explicit TrackedPort(std::vector<std::string> &events) : FakePort(false), m_events(events) {}
    ~TrackedPort() override { m_events.push_back(connected ? "destroyed connected" : "destroyed"); }
    void disconnect() override
    {
        m_events.push_back("disconnect");
        FakePort::disconnect();
    }

private:
    std::vector<std::string> &m_events;
};

TEST(LoaderOperations, SetTargetDisconnectsAndDestroysTheOldOne)
{
    std::vector<std::string> events;
    {
        OwnLoader own;
        replaceTarget(own.state, "MSP430Monitor", [&] {
            events.push_back("created");
            return std::make_unique<FakeTarget>(std::make_unique<TrackedPort>(events), &own.state);
        });
        zim::loader::Loader &loader = own.loader;
        loader.SetTarget(QStringLiteral("sim"));
        loader.ConnectTarget();
        loader.SetTarget(QStringLiteral("MSP430Monitor"));
        EXPECT_FALSE(loader.target().isConnected());
        EXPECT_THAT([&] { loader.SetTarget(QStringLiteral("SIM")); },
                    testing::ThrowsMessage<zim::common::HException>(testing::StartsWith("unknown target \"SIM\"\n\nTarget interfaces:\n\n"
                                                                           "  sim                   MSP430 Core Simulator\n")));
        // The old target is gone before the name is looked up.
        EXPECT_FALSE(loader.hasTarget());
    }
    EXPECT_THAT(events, ElementsAre("created", "disconnect", "destroyed", "created", "destroyed"));
}

TEST(LoaderOperations, SetLoadFileKeepsNothingOnFailureAndHonoursTheFileType)
{
    QTemporaryDir dir;
    auto path = [&](const char *name) { return dir.filePath(QString::fromLatin1(name)); };
    auto make = [&](const char *name, const QByteArray &content) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    };
    make("bad.hex", ":zz\n");
    make("prog.bin", "abcd");

    OwnLoader own;
    zim::loader::Loader &loader = own.loader;
    EXPECT_THAT([&] { loader.SetLoadFile(path("bad.hex")); }, testing::Throws<zim::common::HException>());
    EXPECT_FALSE(loader.hasLoadFile());

    loader.setLoadAddress(0x1100);
    loader.SetLoadFile(path("prog.bin"));
    EXPECT_EQ(loader.loadFile().sections().primarySections.at(0)->address(), 0x1100u);

    // A type given with -filetype wins over the extension; an unknown type's reader is missing.
    loader.setFileType(QStringLiteral("hzx"));
    EXPECT_THAT([&] { loader.SetLoadFile(path("prog.bin")); },
                testing::ThrowsMessage<zim::common::HException>(testing::StrEq("Cannot load file \"prog.bin\"")));
}

} // namespace
