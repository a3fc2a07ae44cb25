// The option parser: option kinds, errors, indirect files and line splitting.
#include "capture.h"
#include "common/hexception.h"
#include "loader/argparse.h"

#include <QFile>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;

namespace {

// Records every handler call and collected word as one event.
class RecordingParse : public zim::loader::ArgParse
{
public:
    explicit RecordingParse(zim::loader::ArgParseReporter &reporter) : zim::loader::ArgParse(reporter)
    {
        auto recorded = [this](const char *option, const char *argument) { record(option, argument); };
        add("-v", zim::loader::OptionRecord::NoArgument, recorded);
        add("-o", zim::loader::OptionRecord::NextWord, recorded);
        add("-D", zim::loader::OptionRecord::Prefix, recorded);
        add("-name", zim::loader::OptionRecord::NextWord, [this](const char *, const char *argument) {
            name = argument;
            nameSeen = true;
        });
        add("-run", zim::loader::OptionRecord::NextWord, recorded, true);
    }

    void add(const char *option, int kind, zim::loader::OptionRecord::Handler handler, bool endsOptions = false)
    {
        zim::loader::OptionRecord r;
        r.kind = kind;
        r.handler = std::move(handler);
        r.endsOptions = endsOptions;
        addOption(option, r);
    }

    void argument(const char *word) override { events.push_back(std::string("file ") + word); }
    void restArgument(const char *word) override { events.push_back(std::string("rest ") + word); }

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
    zim::loader::ArgParseReporter reporter{"prog", err.file()};
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

TEST_F(ParserFixture, HandlerFailureEndsTheParse)
{
    parser.add("-x", zim::loader::OptionRecord::NoArgument,
               [](const char *, const char *) { throw zim::common::HException(QStringLiteral("bad")); });
    EXPECT_THROW(parse({"-x", "a.hex"}), zim::common::HException);
    EXPECT_TRUE(parser.events.empty());
}

// A case's description as a test name.
std::string testName(const char *what)
{
    std::string name = what;
    for (char &c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

struct IndirectCase
{
    const char *what;
    QByteArray content;
    std::vector<std::string> events;
    std::string error; // "@" stands for the file's path
};

// Printed by its fields: the raw bytes would include padding.
void PrintTo(const IndirectCase &c, std::ostream *os)
{
    *os << c.what;
}

// 300 one-character words on one line, then -v: only the first 256 words are taken.
IndirectCase tooManyWords()
{
    IndirectCase c{"256 words", {}, {}, "prog: too many words in indirect file @(1), only the first 256 are used\n"};
    for (int i = 0; i < 300; ++i) {
        c.content += QByteArray::number(i % 10) + " ";
        if (i < 256)
            c.events.push_back("file " + std::to_string(i % 10));
    }
    c.content += "\n-v\n";
    c.events.push_back("-v");
    return c;
}

class IndirectFile : public ParserFixture, public testing::WithParamInterface<IndirectCase> {};

TEST_P(IndirectFile, WordsStandWhereTheAtWordStands)
{
    const std::string path = file("args.txt", GetParam().content);
    const std::string at = "@" + path;
    parse({"first", at.c_str(), "last"});
    std::vector<std::string> expected{"file first"};
    expected.insert(expected.end(), GetParam().events.begin(), GetParam().events.end());
    expected.push_back("file last");
    EXPECT_EQ(parser.events, expected);
    // A word kept from an indirect file must not point into its line buffer.
    EXPECT_STREQ(parser.nameSeen ? parser.name : "kept", "kept");
    QString error = QString::fromStdString(GetParam().error);
    EXPECT_EQ(err.text(), error.replace(QLatin1Char('@'), QString::fromStdString(path)).toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IndirectFile,
    testing::Values(
        IndirectCase{"quotes and comments", "# comment -v\n-o \"my file.hex\"  b\tc\n\n\"abc\"def \"\" -v\n",
                     {"-o [my file.hex]", "file b\tc", "file abc", "file def", "file ", "-v"}, ""},
        IndirectCase{"a quote inside a word is ordinary", "ab\"cd e\n", {"file ab\"cd", "file e"}, ""},
        // The words before the string are dropped with it: the run does not go on with half a line.
        IndirectCase{"an unterminated string drops its line", "-v\n-o x \"never closed\n-v\n", {"-v", "-v"},
                     "prog: unterminated string in indirect file @(2)\n"},
        IndirectCase{"carriage returns end lines", "-o out.hex\r\n-v\r\n", {"-o [out.hex]", "-v"}, ""},
        // 1023 characters fill the buffer; the rest of the line is read as a line of its own.
        IndirectCase{"long lines are read in pieces", QByteArray(1020, 'a') + " bcdef\n",
                     {"file " + std::string(1020, 'a'), "file bc", "file def"}, ""},
        IndirectCase{"arguments outlive their line", "-name kept\n-o other\n", {"-o [other]"}, ""},
        tooManyWords()),
    [](const testing::TestParamInfo<IndirectCase> &info) { return testName(info.param.what); });

// 100,001 words over lines of 200 fail the parse.
TEST_F(ParserFixture, MoreWordsThanTheLimitInAllIndirectFilesFailTheParse)
{
    QByteArray content;
    for (int i = 0; i <= zim::loader::ArgParse::maxIndirectWords; ++i)
        content += (i % 200 == 199) ? "w\n" : "w ";
    const std::string at = "@" + file("args.txt", content);
    EXPECT_THAT([&] { parse({at.c_str()}); },
                testing::ThrowsMessage<zim::common::HException>(testing::StrEq("indirect files hold more than 100000 words")));
}

// The words after an option that ends the options are taken as they stand, from the rest of an
// indirect file and from the words after it alike.
TEST_F(ParserFixture, AnOptionThatEndsTheOptionsPassesEveryLaterWordOn)
{
    const std::string path = file("args.txt", "-v -run x.js a\n-v @more\n");
    const std::string at = "@" + path;
    parse({"first", at.c_str(), "-o", "last"});
    EXPECT_THAT(parser.events, ElementsAre("file first", "-v", "-run [x.js]", "rest a", "rest -v", "rest @more",
                                           "rest -o", "rest last"));
    EXPECT_EQ(err.text(), "");
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

} // namespace
