// The host bridge and the script system: property access by name, the Script object and how
// failures reach the host.
#include "scripttestutil.h"

#include "common/hexception.h"
#include "script/builtinscript.h"
#include "script/esqobject.h"
#include "script/scriptsystem.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace zim::script;

namespace {

class Gadget : public zim::script::ESQObject
{
    Q_OBJECT
    Q_PROPERTY(Mode mode MEMBER m_mode)
    Q_PROPERTY(bool enabled MEMBER m_enabled)
    Q_PROPERTY(QStringList lines MEMBER m_lines)
    Q_PROPERTY(int level MEMBER m_level)
public:
    enum Mode { Slow, Fast };
    Q_ENUM(Mode)
    Mode m_mode = Slow;
    bool m_enabled = true;
    QStringList m_lines{QStringLiteral("a"), QStringLiteral("b")};
    int m_level = 0;

protected:
    zim::script::ESValue callMethod(zim::script::ESContext &context, int number, int count, zim::script::ESValue *args) override
    {
        if (number == 2)
            throw zim::common::HException(QStringLiteral("host failed"));
        return zim::script::ESQObject::callMethod(context, number, count, args);
    }

public:
    zim::script::ESObject *registerObject(zim::script::ESContext &context) override
    {
        zim::script::ESObject *o = zim::script::ESQObject::registerObject(context);
        addMethod(context, o, "Fail", 0, 2);
        return o;
    }
};

class Bridge : public testing::Test
{
protected:
    void SetUp() override { gadget.registerObject(system.context()); }
    QString run(const char *text) { return scripttest::run(system.context(), QString::fromUtf8(text)); }
    zim::script::ScriptSystem system;
    Gadget gadget;
};

TEST_F(Bridge, SetsEnumerationsByKey)
{
    run("Gadget.SetProperty('mode', 'Fast')");
    EXPECT_EQ(gadget.m_mode, Gadget::Fast);
    EXPECT_THROW(system.evaluate("Gadget.SetProperty('mode', 'Medium')"), zim::common::HException);
    try {
        system.evaluate("Gadget.SetProperty('mode', 'Medium')");
    } catch (const zim::common::HException &e) {
        EXPECT_EQ(e.message(), QStringLiteral("invalid enum value: Medium"));
    }
}

TEST_F(Bridge, BooleanIsTrueOnlyForLowerCaseTrue)
{
    run("Gadget.SetProperty('enabled', 'True')");
    EXPECT_FALSE(gadget.m_enabled);
    run("Gadget.SetProperty('enabled', true)");
    EXPECT_TRUE(gadget.m_enabled);
}

TEST_F(Bridge, StringListsJoinWithLineFeeds)
{
    EXPECT_EQ(run("Gadget.GetProperty('lines')"), "a\nb");
    run("Gadget.SetProperty('level', -2)");
    EXPECT_EQ(gadget.m_level, -2);
    EXPECT_EQ(run("try { Gadget.GetProperty('nothing') } catch (e) { e.message }"), "unknown property: nothing");
}

TEST_F(Bridge, HostFailureIsCatchableWithTheHostText)
{
    EXPECT_EQ(run("try { Gadget.Fail(); } catch (e) { (e instanceof Error) + ' ' + e.message }"), "true host failed");
    try {
        system.evaluate("Gadget.Fail()");
        FAIL() << "no failure";
    } catch (const zim::common::HException &e) {
        EXPECT_EQ(e.message(), QStringLiteral("host failed"));
    }
}

TEST_F(Bridge, UncaughtValuesBecomeHostErrors)
{
    try {
        system.evaluate("throw 42");
        FAIL() << "no failure";
    } catch (const zim::common::HException &e) {
        EXPECT_EQ(e.message(), QStringLiteral("uncaught exception - 42"));
    }
    try {
        system.evaluate("throw new Error('bad reset')");
        FAIL() << "no failure";
    } catch (const zim::common::HException &e) {
        EXPECT_EQ(e.message(), QStringLiteral("bad reset"));
    }
}

// Every script system and the peripheral scripts report these through the same conversion; the
// script system takes the message of Error objects only.
TEST_F(Bridge, UncaughtObjectsGiveTheirMessageAndAValueThatCannotBeShownStillGivesAMessage)
{
    auto messageOf = [this](const char *text) {
        try {
            system.evaluate(QString::fromLatin1(text));
        } catch (const zim::common::HException &e) {
            return e.message();
        }
        return QStringLiteral("no failure");
    };
    EXPECT_EQ(messageOf("throw new Error('an error')"), QStringLiteral("an error"));
    EXPECT_EQ(messageOf("throw { message: 'plain object' }"), QStringLiteral("uncaught exception - [object Object]"));
    EXPECT_EQ(messageOf("throw { toString: function() { throw 1; } }"), QStringLiteral("uncaught exception - 1"));
    EXPECT_EQ(messageOf("throw { toString: function() { throw { toString: function() { throw 2; } }; } }"),
              QStringLiteral("uncaught exception - the thrown value could not be converted to text"));
}

TEST(BuiltinScriptObject, EchoAndArguments)
{
    QStringList echoed;
    zim::script::BuiltinScript builtin([&echoed](const QString &text) { echoed << text; });
    zim::script::ESContext context;
    builtin.setUp(context, {QStringLiteral("one"), QStringLiteral("two")});
    EXPECT_EQ(scripttest::run(context, "Script.Echo(WScript.Arguments.length); Script.Arguments[1]"), "two");
    EXPECT_EQ(echoed, QStringList{QStringLiteral("2")});
}

} // namespace

#include "bridge_test.moc"
