// The option parser: option kinds, errors, indirect files and line splitting.
#include "capture.h"
#include "common/hexception.h"
#include "loader/argparse.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;

namespace {

// Records every handler call and collected word as one event.
class RecordingParse : public ArgParse
{
public:
    explicit RecordingParse(ArgParseReporter &reporter) : ArgParse(reporter)
    {
        addFlag("-v", [this](const char *option, const char *argument) { record(option, argument); });
        OptionRecord next;
        next.kind = OptionRecord::NextWord;
        next.hasHandler = true;
        next.handler = [this](const char *option, const char *argument) { record(option, argument); };
        addOption("-o", next);
        OptionRecord prefix;
        prefix.kind = OptionRecord::Prefix;
        prefix.hasHandler = true;
        prefix.handler = [this](const char *option, const char *argument) { record(option, argument); };
        addOption("-D", prefix);
        OptionRecord variable;
        variable.kind = OptionRecord::NextWord;
        variable.argumentVariable = &name;
        variable.seenFlag = &nameSeen;
        addOption("-name", variable);
    }

    void argument(const char *word) override { events.push_back(std::string("file ") + word); }

    std::vector<std::string> events;
    const char *name = nullptr;
    bool nameSeen = false;

private:
    void record(const char *option, const char *argument)
    {
        events.push_back(std::string(option) + (argument ? std::string(" [") + argument + "]" : std::string()));
    }
};

struct ParserFixture : testing::Test
{
    CapturedStream err;
    ArgParseReporter reporter{"prog", err.file()};
    RecordingParse parser{reporter};
    QTemporaryDir dir;

    void parse(std::vector<const char *> words) { parser.parse(int(words.size()), words.data()); }

    // Writes an indirect file and returns its path as the parser is given it.
    std::string file(const char *name, const QByteArray &content)
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path.toStdString();
    }
};

TEST_F(ParserFixture, OptionKindsAndFiles)
{
    parse({"-v", "-o", "out", "-Dx=1", "-D", "a.hex", "-name", "n"});
    EXPECT_THAT(parser.events, ElementsAre("-v", "-o [out]", "-D [x=1]", "-D []", "file a.hex"));
    EXPECT_TRUE(parser.nameSeen);
    EXPECT_STREQ(parser.name, "n");
    EXPECT_EQ(err.text(), "");
}

TEST_F(ParserFixture, MatchingIsCaseSensitiveAndUnknownOptionsAreNotFiles)
{
    parse({"-V", "-", "b.hex"});
    EXPECT_THAT(parser.events, ElementsAre("file b.hex"));
    EXPECT_EQ(err.text(), "prog: unrecognised option -V\nprog: unrecognised option -\n");
    EXPECT_EQ(reporter.errorCount(), 2);
}

TEST_F(ParserFixture, MissingArgumentEndsTheParse)
{
    parse({"-v", "-o"});
    EXPECT_THAT(parser.events, ElementsAre("-v"));
    EXPECT_EQ(err.text(), "prog: expected argument for option -o\n");
}

TEST_F(ParserFixture, LaterRegistrationReplacesEarlier)
{
    parser.addFlag("-o", [&](const char *, const char *argument) { parser.events.push_back(argument ? "arg" : "flag"); });
    parse({"-o", "x"});
    EXPECT_THAT(parser.events, ElementsAre("flag", "file x"));
}

TEST_F(ParserFixture, HandlerFailureEndsTheParse)
{
    parser.addFlag("-x", [](const char *, const char *) { throw HException(QStringLiteral("bad")); });
    EXPECT_THROW(parse({"-x", "a.hex"}), HException);
    EXPECT_TRUE(parser.events.empty());
}

TEST_F(ParserFixture, IndirectFileWordsStandWhereTheAtWordStands)
{
    const std::string path = file("args.txt", "# comment -v\n-o \"my file.hex\"  b\tc\n\n\"abc\"def \"\" -v\n");
    const std::string at = "@" + path;
    parse({"first", at.c_str(), "last"});
    EXPECT_THAT(parser.events, ElementsAre("file first", "-o [my file.hex]", "file b\tc", "file abc", "file def",
                                           "file ", "-v", "file last"));
    EXPECT_EQ(err.text(), "");
}

TEST_F(ParserFixture, QuoteInsideAWordIsOrdinary)
{
    const std::string at = "@" + file("q.txt", "ab\"cd e\n");
    parse({at.c_str()});
    EXPECT_THAT(parser.events, ElementsAre("file ab\"cd", "file e"));
}

TEST_F(ParserFixture, UnterminatedStringDropsTheWholeLine)
{
    const std::string path = file("bad.txt", "-v\n-o x \"never closed\n-v\n");
    const std::string at = "@" + path;
    parse({at.c_str()});
    EXPECT_THAT(parser.events, ElementsAre("-v", "-v"));
    EXPECT_EQ(err.text(), "prog: unterminated string in indirect file " + path + "(2)\n");
}

TEST_F(ParserFixture, EachLineIsParsedByItself)
{
    const std::string at = "@" + file("split.txt", "-o\nvalue\n");
    parse({at.c_str()});
    EXPECT_THAT(parser.events, ElementsAre("file value"));
    EXPECT_EQ(err.text(), "prog: expected argument for option -o\n");
}

TEST_F(ParserFixture, CarriageReturnsEndLinesAsInTextMode)
{
    const std::string at = "@" + file("crlf.txt", "-o out.hex\r\n-v\r\n");
    parse({at.c_str()});
    EXPECT_THAT(parser.events, ElementsAre("-o [out.hex]", "-v"));
}

TEST_F(ParserFixture, LongLinesAreReadInPiecesOf1023Characters)
{
    // 1023 characters fill the buffer; the rest of the line is read as a line of its own.
    const QByteArray first = QByteArray(1020, 'a') + " bc";
    const std::string at = "@" + file("long.txt", first + "def\n");
    parse({at.c_str()});
    EXPECT_THAT(parser.events, ElementsAre("file " + std::string(1020, 'a'), "file bc", "file def"));
}

TEST_F(ParserFixture, AtMost256WordsAreTakenFromALine)
{
    QByteArray line;
    // Short words, so that the whole line fits in one read.
    for (int i = 0; i < 300; ++i)
        line += QByteArray::number(i % 10) + " ";
    const std::string path = file("many.txt", line + "\n-v\n");
    const std::string at = "@" + path;
    parse({at.c_str()});
    ASSERT_EQ(parser.events.size(), 257u);
    EXPECT_EQ(parser.events[255], "file 5");
    EXPECT_EQ(parser.events[256], "-v");
    EXPECT_EQ(err.text(), "prog: too many words in indirect file " + path + "(1), only the first 256 are used\n");
}

TEST_F(ParserFixture, SelfIncludingFileStopsAtDepth100AndOuterLevelsGoOn)
{
    const std::string path = file("self.txt", "");
    file("self.txt", QByteArray("@") + QByteArray::fromStdString(path) + "\n-v\n");
    const std::string at = "@" + path;
    parse({at.c_str(), "after"});
    EXPECT_EQ(err.text(), "prog: too many indirect files\n");
    ASSERT_EQ(parser.events.size(), 101u);
    EXPECT_EQ(std::count(parser.events.begin(), parser.events.end(), "-v"), 100);
    EXPECT_EQ(parser.events.back(), "file after");

    // The depth is back to 0: the same file can be read again to the full depth.
    parse({at.c_str()});
    EXPECT_EQ(std::count(parser.events.begin(), parser.events.end(), "-v"), 200);
}

TEST_F(ParserFixture, MissingIndirectFileGivesTheSystemReason)
{
    const std::string path = dir.filePath(QStringLiteral("none.txt")).toStdString();
    const std::string at = "@" + path;
    parse({at.c_str(), "x"});
    EXPECT_EQ(err.text(), "prog: can't open indirect file " + path + ": No such file or directory\n");
    EXPECT_THAT(parser.events, ElementsAre("file x"));
}

TEST_F(ParserFixture, ArgumentsFromIndirectFilesOutliveTheirLine)
{
    const std::string at = "@" + file("n.txt", "-name kept\n-o other\n");
    parse({at.c_str()});
    ASSERT_NE(parser.name, nullptr);
    EXPECT_STREQ(parser.name, "kept");
}

} // namespace
