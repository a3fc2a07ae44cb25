// The loader's script system as scripts see it: the Loader and Console objects with their
// properties and failure texts, the conversion of uncaught script exceptions into loader
// errors, the target following Loader.SetTarget, and stopping a runaway script.
#include "capture.h"
#include "common/hexception.h"
#include "fakes/faketarget.h"
#include "fakes/teststate.h"
#include "loader/system.h"
#include "script/esnativeclasses.h"

#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>


namespace {

// A script function that runs a host action, so that a test can act while a script runs.
class HostAction : public zim::script::ESClass
{
public:
    explicit HostAction(std::function<void()> action) : ESClass("HostAction"), m_action(std::move(action)) {}
    void call(zim::script::ESContext &, zim::script::ESObject *, const zim::script::ESValue &, int,
              zim::script::ESValue *args) override
    {
        m_action();
        args[0] = zim::script::ESValue();
    }

private:
    std::function<void()> m_action;
};

struct LoaderScripts : testing::Test
{
    CapturedStream out;
    CapturedStream err;
    zim::loader::ArgParseReporter reporter{"zimprog", err.file()};
    TestState state;
    zim::loader::System system{state, reporter, out.file(), [] { return uint64_t(0); }};
    std::vector<FakeTarget *> made;
    QTemporaryDir dir;

    void SetUp() override
    {
        replaceTarget(state, "MSP430Monitor", [this] {
            auto target = std::make_unique<FakeTarget>(&state);
            made.push_back(target.get());
            return target;
        });
    }

    // The completion value as text, or "error: " and the HException's message.
    std::string eval(const QString &text)
    {
        try {
            system.scriptSystem().evaluateText(QStringLiteral("var result = (function () {\n") + text
                                               + QStringLiteral("\n})();"));
            zim::script::ESContext &context = system.scriptSystem().context();
            return context.toString(context.execute(QStringLiteral("result"))).toStdString();
        } catch (const zim::common::HException &e) {
            return "error: " + e.message().toStdString();
        }
    }
    // The message a top-level script text fails with, or "completed".
    std::string failure(const QString &text)
    {
        try {
            system.scriptSystem().evaluateText(text);
            return "completed";
        } catch (const zim::common::HException &e) {
            return e.message().toStdString();
        }
    }
    void define(const char *name, HostAction &action)
    {
        zim::script::ESContext &context = system.scriptSystem().context();
        zim::script::makeNativeFunction(context, &action, context.global(), name, QString::fromLatin1(name), 0, 0);
    }
};

TEST_F(LoaderScripts, TargetReadsEmptyEvenAfterASelection)
{
    EXPECT_EQ(eval("Loader.SetTarget('sim'); return '[' + Loader.GetProperty('target') + ']';"), "[]");
    EXPECT_EQ(eval("Loader.SetProperty('target', 'sim'); return '[' + Loader.GetProperty('target') + ']';"), "[]");
    EXPECT_EQ(made.size(), 2u);
}

TEST_F(LoaderScripts, LoadFileAndLoadAddressProperties)
{
    QFile file(dir.filePath("raw.bin"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write("\x01\x02", 2), 2);
    file.close();
    EXPECT_EQ(eval("return '[' + Loader.GetProperty('loadFile') + ']';"), "[]");
    // A raw file needs the load address first; the failed load keeps no path.
    EXPECT_EQ(eval(QStringLiteral("Loader.SetProperty('loadFile', '%1');").arg(file.fileName())),
              "error: no load address specified (-loadaddress option)");
    EXPECT_EQ(eval("return '[' + Loader.GetProperty('loadFile') + ']';"), "[]");
    EXPECT_EQ(eval(QStringLiteral("Loader.SetProperty('loadAddress', 0x1100); Loader.SetLoadFile('%1');"
                                  "return Loader.GetProperty('loadAddress') + ' ' + Loader.GetProperty('loadFile');")
                       .arg(file.fileName())),
              (QString::number(0x1100) + QLatin1Char(' ') + file.fileName()).toStdString());
    EXPECT_TRUE(system.loader().loadAddressGiven());
}

TEST_F(LoaderScripts, ArgumentsAreEmptyUnlessSetAndANewArrayEachTime)
{
    EXPECT_EQ(eval("return Loader.GetArguments().length;"), "0");
    system.loader().setArguments({QStringLiteral("a b"), QStringLiteral("-c")});
    EXPECT_EQ(eval("var a = Loader.GetArguments(); a[0] = 'x'; return Loader.GetArguments().join('|');"), "a b|-c");
}

struct FailureCase
{
    const char *name;
    const char *script;
    const char *message;
};

class LoaderFailures : public LoaderScripts, public testing::WithParamInterface<FailureCase>
{
};

TEST_P(LoaderFailures, EndTheScriptWithTheLoadersText)
{
    EXPECT_EQ(failure(QString::fromLatin1(GetParam().script)), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LoaderFailures,
    testing::Values(
        FailureCase{"SetTargetPropertyWithoutTarget", "Loader.SetTargetProperty('loaderEraseAll', true)",
                    "No target selected"},
        FailureCase{"ResetDisconnected", "Loader.SetTarget('sim'); Loader.ResetTarget()", "Target is not connected"},
        FailureCase{"UnknownTargetProperty", "Loader.SetTarget('sim'); Loader.GetTargetProperty('nothing')",
                    "unknown property: nothing"},
        FailureCase{"ThrownObjectWithMessage", "throw {message: 'from an object'}", "from an object"},
        FailureCase{"ThrownObjectWithoutMessage", "throw {code: 1}", "uncaught exception - [object Object]"},
        // What escapes is the value that the conversion of the thrown object threw in turn.
        FailureCase{"ThrownObjectWhoseTextThrows", "throw {toString: function () { throw 1; }}",
                    "uncaught exception - 1"}),
    [](const testing::TestParamInfo<FailureCase> &info) { return std::string(info.param.name); });

TEST_F(LoaderScripts, TheSelectedTargetIsTheScriptsTargetInterface)
{
    EXPECT_EQ(eval("Loader.SetTarget('sim'); Loader.ConnectTarget(); TargetInterface.pokeByte(0x200, 7);"
                   "return TargetInterface.peekByte(0x200) + ' ' + Loader.GetTargetProperty('loaderEraseAll');"),
              "7 false");
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0]->main.bytes.at(0x200), 7);
}

TEST_F(LoaderScripts, AReplacedTargetStaysCallableFromOldReferences)
{
    EXPECT_EQ(eval("Loader.SetTarget('sim'); Loader.ConnectTarget(); var old = TargetInterface;"
                   "Loader.SetTarget('sim'); old.message('still there'); return old.peekByte(0);"),
              "error: Target is not connected");
    system.scriptSystem().context().collectGarbage();
    EXPECT_EQ(made.size(), 2u);
    EXPECT_FALSE(made[0]->isConnected());
}

TEST_F(LoaderScripts, CtrlCStopsARunawayScriptWithAnError)
{
    HostAction interrupt([] { std::raise(SIGINT); });
    define("interrupt", interrupt);
    EXPECT_EQ(failure("interrupt(); while (true) {}"), "script interrupted by Ctrl-C");
    // The next evaluation starts afresh.
    EXPECT_EQ(failure("var n = 0; for (var i = 0; i < 1000; i++) n++;"), "completed");
}

TEST_F(LoaderScripts, RequestStopEndsTheScriptWithAnError)
{
    HostAction stop([this] { system.scriptSystem().requestStop(); });
    define("stop", stop);
    EXPECT_EQ(failure("stop(); for (;;) {}"), "script stopped on request");
    EXPECT_EQ(failure("1"), "completed");
}

} // namespace
