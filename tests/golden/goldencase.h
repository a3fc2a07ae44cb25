// One golden command-line case: the arguments, the files to lay out before the run and what
// the run must print and leave behind.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <ostream>

struct GoldenExpectation
{
    enum Match { Exact, Regex };
    QString what;      // "stdout", "stderr" or a file name
    Match match = Exact;
    QByteArray text;
    QString from;        // set: the expected text is this file's content (no text in the case)
    bool noeol = false;  // the expected text's final newline is not part of it
};

struct GoldenInput
{
    QString name;
    QByteArray content;
};

// A node other than a regular file laid out before the run: a symbolic link to target, or a
// FIFO (empty target) that the harness holds open for reading. After the run it must still be
// the same node; a "file" expectation of a FIFO's name checks the bytes written into it.
struct GoldenNode
{
    QString name;
    QString linkTarget;  // empty: a FIFO
};

struct GoldenCase
{
    QString name;        // path below cases/ without the extension
    QString argsLine;
    QString cwd;         // empty: the case's own temporary directory
    QString stdoutFile;  // empty: standard output is captured; else it goes to this path (/dev/full)
    // Set: the executable runs from a copy in the case's bin/, so that the installation
    // directory, and with it targets/, is the case's own temporary directory.
    bool ownInstall = false;
    int status = 0;
    QList<QPair<QString, QString>> env;  // env: NAME=value lines, set for the run after substitution
    QString fileSizeLimit;  // set: the run's file size limit, in the shell's ulimit -f blocks of 1024 bytes
    QList<GoldenInput> inputs;
    QList<GoldenNode> nodes;
    QList<GoldenExpectation> expectations;
    QString parseError;  // set when the case file itself is malformed
};

// Test names and failure reports show a case by its name.
inline void PrintTo(const GoldenCase &c, std::ostream *os) { *os << c.name.toStdString(); }

// Reads a case file; problems are reported through parseError.
GoldenCase readGoldenCase(const QString &path, const QString &name);
// Splits a line into words the way a shell would for plain quoting: blanks separate words,
// double and single quotes group, and are removed.
QStringList splitShellWords(const QString &line);
// Parses hexadecimal digits, ignoring white space.
QByteArray parseHexBytes(const QByteArray &text);
