// ConsoleOutput: the loader's one writer to standard output (listings, progress, script
// output) and the one place that holds -quiet and -verbose. Every write is checked; a run whose output was lost does not end as a success.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>

namespace zim::loader {

class ConsoleOutput
{
public:
    // stream is not owned.
    explicit ConsoleOutput(FILE *stream = stdout) : m_stream(stream) {}

    // -quiet: no progress and no messages; -verbose: target messages as well as progress.
    void setQuiet(bool quiet) { m_quiet = quiet; }
    void setVerbose(bool verbose) { m_verbose = verbose; }
    bool quiet() const { return m_quiet; }
    bool verbose() const { return m_verbose; }
    bool showsProgress() const { return !m_quiet; }
    bool showsMessages() const { return m_verbose && !m_quiet; }

    // Listings and the usage text: written and flushed at once. Throws HException
    // "cannot write to standard output: <reason>" when that fails.
    void print(const QByteArray &text);
    // Progress output: a failure is remembered for check().
    void write(const QByteArray &bytes);
    // Script output: the text in UTF-8 and a line feed, flushed at once so that it keeps its
    // place among the progress output; a failure is remembered for check().
    void writeLine(const QString &text);
    void flush();
    // Throws the first remembered failure, after one more flush.
    void check();

private:
    void remember(int error);
    [[noreturn]] void fail(int error) const;

    FILE *m_stream;
    bool m_quiet = false;
    bool m_verbose = false;
    int m_error = 0;
};

} // namespace zim::loader
