// A small command-line parser with indirect files.
#include "loader/argparse.h"

#include "common/hexception.h"
#include "platform/filestatus.h"

#include <QString>
#include <cerrno>
#include <cstring>

namespace zim::loader {

ArgParseReporter::ArgParseReporter(const char *programName, FILE *stream)
    : m_programName(programName ? programName : ""), m_stream(stream)
{
}

ArgParse::ArgParse(ArgParseReporter &reporter) : m_reporter(reporter) {}

ArgParse::~ArgParse() = default;

void ArgParse::addOption(const char *option, const OptionRecord &record)
{
    m_options[option] = record;
}

FILE *ArgParse::error()
{
    m_reporter.countError();
    std::fputs(m_reporter.programName().c_str(), m_reporter.stream());
    std::fputs(": ", m_reporter.stream());
    return m_reporter.stream();
}

void ArgParse::reportError(const std::string &message)
{
    FILE *stream = error();
    std::fputs(message.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void ArgParse::handle(const std::string &option, const OptionRecord &record, const char *argument)
{
    if (record.endsOptions)
        m_optionsEnded = true;
    if (record.handler)
        record.handler(option.c_str(), argument);
}

void ArgParse::parse(int count, const char *const *words)
{
    for (int i = 0; i < count; ++i) {
        const char *word = words[i];
        if (m_optionsEnded) {
            restArgument(word);
            continue;
        }
        auto exact = m_options.find(word);
        if (exact != m_options.end()) {
            const OptionRecord &record = exact->second;
            const char *argument = nullptr;
            if (record.kind == OptionRecord::NextWord) {
                if (i + 1 >= count) {
                    reportError("expected argument for option " + exact->first);
                    return;
                }
                argument = words[++i];
            } else if (record.kind == OptionRecord::Prefix) {
                argument = word + std::strlen(word);
            }
            // Copies: a handler may replace the table entry it was called through.
            const std::string option = exact->first;
            const OptionRecord current = record;
            handle(option, current, argument);
            continue;
        }

        bool handled = false;
        for (const auto &[option, record] : m_options) {
            if (record.kind == OptionRecord::Prefix && std::strncmp(word, option.c_str(), option.size()) == 0) {
                const std::string name = option;
                const OptionRecord current = record;
                handle(name, current, word + name.size());
                handled = true;
                break;
            }
        }
        if (handled)
            continue;

        if (word[0] == '@')
            readIndirectFile(word + 1);
        else if (word[0] == '-')
            reportError(std::string("unrecognised option ") + word);
        else
            argument(word);
    }
}

void ArgParse::readIndirectFile(const char *fileName)
{
    if (m_indirectDepth == maxIndirectDepth) {
        reportError("too many indirect files");
        return;
    }
    FILE *file = std::fopen(fileName, "r");
    if (!file) {
        const int err = errno;
        reportError(std::string("can't open indirect file ") + fileName + ": " + std::strerror(err));
        return;
    }
    ++m_indirectDepth;
    // The depth and the file must be restored however the words of the file end the parse.
    struct Close
    {
        FILE *file;
        int &depth;
        ~Close()
        {
            std::fclose(file);
            --depth;
        }
    } close{file, m_indirectDepth};

    if (platform::isDirectory(file))
        throw common::HException(QStringLiteral("cannot read indirect file %1: %2")
                             .arg(QString::fromLocal8Bit(fileName), QString::fromLocal8Bit(std::strerror(EISDIR))));

    // The whole file is read and checked before any of its words acts, so that a file that
    // cannot be used is refused as a whole. Lines of at most 1023 characters; a longer line is
    // read as several lines. The bytes are counted here rather than by their text, which a NUL
    // byte would cut short.
    std::vector<std::string> lines;
    long size = 0;
    for (;;) {
        char buffer[1024];
        size_t length = 0;
        int c = 0;
        while (length < sizeof buffer - 1 && (c = std::getc(file)) != EOF) {
            buffer[length++] = char(c);
            if (c == '\n')
                break;
        }
        if (c == EOF && std::ferror(file)) {
            const int readError = errno ? errno : EIO;
            throw common::HException(QStringLiteral("cannot read indirect file %1: %2")
                                         .arg(QString::fromLocal8Bit(fileName), QString::fromLocal8Bit(std::strerror(readError))));
        }
        if (length == 0)
            break;
        size += long(length);
        if (size > maxIndirectFileSize)
            throw common::HException(QStringLiteral("indirect file %1 is larger than 1 MB").arg(QString::fromLocal8Bit(fileName)));
        lines.emplace_back(buffer, length);
    }
    // The words are C strings: a NUL byte would silently end its line there.
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find('\0') != std::string::npos)
            throw common::HException(QStringLiteral("cannot read indirect file %1: line %2 holds a NUL byte")
                                         .arg(QString::fromLocal8Bit(fileName))
                                         .arg(i + 1));
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i][0] == '#')
            continue;
        std::vector<const char *> words;
        if (!splitLine(fileName, int(i + 1), lines[i].c_str(), words) || words.empty())
            continue;
        parse(int(words.size()), words.data());
    }
}

bool ArgParse::splitLine(const char *fileName, int lineNumber, const char *text, std::vector<const char *> &words)
{
    std::vector<std::string> found;
    bool tooMany = false;
    const char *p = text;
    for (;;) {
        while (*p == ' ')
            ++p;
        // Text mode: a carriage return before the line feed belongs to the line end, not to the last word.
        if (*p == '\0' || *p == '\n' || (p[0] == '\r' && (p[1] == '\n' || p[1] == '\0')))
            break;
        std::string word;
        if (*p == '"') {
            const char *close = p + 1;
            while (*close != '"' && *close != '\n' && *close != '\0')
                ++close;
            if (*close != '"') {
                reportError(std::string("unterminated string in indirect file ") + fileName + "("
                            + std::to_string(lineNumber) + ")");
                return false;
            }
            word.assign(p + 1, close);
            p = close + 1;
        } else {
            const char *end = p;
            while (*end != ' ' && *end != '\n' && *end != '\0' && !(end[0] == '\r' && (end[1] == '\n' || end[1] == '\0')))
                ++end;
            word.assign(p, end);
            p = end;
        }
        if (int(found.size()) == maxWordsPerLine)
            tooMany = true;
        else
            found.push_back(std::move(word));
    }
    if (tooMany)
        reportError(std::string("too many words in indirect file ") + fileName + "(" + std::to_string(lineNumber)
                    + "), only the first " + std::to_string(maxWordsPerLine) + " are used");
    if (m_words.size() + found.size() > size_t(maxIndirectWords))
        throw common::HException(QStringLiteral("indirect files hold more than %1 words").arg(maxIndirectWords));
    for (std::string &word : found) {
        m_words.push_back(std::move(word));
        words.push_back(m_words.back().c_str());
    }
    return true;
}

} // namespace zim::loader
