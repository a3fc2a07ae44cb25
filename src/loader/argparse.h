// A small command-line parser: a table of options that call handlers or set variables, and
// indirect files ("@file") whose words are parsed as if they stood on the command line.
#pragma once

#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

// Where parse errors go: the program name as the argument vector gave it, the error stream
// and a count that nothing reads back (an error never stops a run by itself).
namespace zim::loader {

class ArgParseReporter
{
public:
    // stream is not owned.
    ArgParseReporter(const char *programName, FILE *stream);

    const std::string &programName() const { return m_programName; }
    FILE *stream() const { return m_stream; }
    int errorCount() const { return m_errorCount; }
    void countError() { ++m_errorCount; }

private:
    std::string m_programName;
    FILE *m_stream;
    int m_errorCount = 0;
};

struct OptionRecord
{
    // argument is nullptr for options of kind NoArgument.
    using Handler = std::function<void(const char *option, const char *argument)>;

    enum Kind {
        NoArgument = 0,   // the option stands alone
        NextWord = 1,     // the next word is the argument
        Prefix = 2,       // the rest of the same word is the argument
    };

    int kind = NoArgument;
    Handler handler;
    // Every word after this option (and its argument), in indirect files and on the command
    // line alike, goes to restArgument() as it stands: no options, no indirect files.
    bool endsOptions = false;
};

class ArgParse
{
public:
    // Indirect files may nest this deep.
    static constexpr int maxIndirectDepth = 100;
    // Words taken from one line of an indirect file.
    static constexpr int maxWordsPerLine = 256;
    // Bytes read from one indirect file, and words kept from all of them, before the parse
    // fails: endless or huge inputs such as devices are refused rather than read for ever.
    static constexpr long maxIndirectFileSize = 1 << 20;
    static constexpr int maxIndirectWords = 100000;

    explicit ArgParse(ArgParseReporter &reporter);
    virtual ~ArgParse();

    // A second registration under the same text replaces the first.
    void addOption(const char *option, const OptionRecord &record);

    // Walks the words in order. Handlers may throw HException, which ends the parse.
    void parse(int count, const char *const *words);

    // Called for every word that is neither an option nor an indirect file.
    virtual void argument(const char *word) = 0;
    // Called for every word after an option that ends the options; argument() by default.
    virtual void restArgument(const char *word) { argument(word); }
    // Counts an error and writes "<program>: " to the error stream, which it returns for the
    // caller to write the message and a line end to.
    virtual FILE *error();

    // Parser errors for a file that cannot be opened or nests too deep; throws HException for
    // a directory, a read error, a NUL byte (which no word can hold), a file larger than
    // maxIndirectFileSize and more than maxIndirectWords words in all.
    void readIndirectFile(const char *fileName);
    // Splits one line into at most maxWordsPerLine words, stored for the whole run and
    // appended to words. Returns false, having reported it, when a quoted word is not closed.
    bool splitLine(const char *fileName, int lineNumber, const char *text, std::vector<const char *> &words);

protected:
    ArgParseReporter &reporter() { return m_reporter; }
    // Writes one error line through error().
    void reportError(const std::string &message);

private:
    void handle(const std::string &option, const OptionRecord &record, const char *argument);

    std::map<std::string, OptionRecord> m_options;
    int m_indirectDepth = 0;
    bool m_optionsEnded = false;
    ArgParseReporter &m_reporter;
    // Words read from indirect files; option arguments point into them for the whole run.
    std::deque<std::string> m_words;
};

} // namespace zim::loader
