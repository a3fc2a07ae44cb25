// SolutionLoadError: the failure of opening a solution file, with the texts the entry prints
// as "load error: " lines.
#pragma once

#include <QString>
#include <exception>

namespace zim::project {

class SolutionLoadError : public std::exception
{
public:
    // A file-level failure: the entry prints first and second text together, for example the
    // file name and " does not exist".
    SolutionLoadError(const QString &first, const QString &second)
        : m_first(first), m_second(second), m_utf8((first + second).toUtf8())
    {
    }
    // An XML parse error of file: the entry prints the parser's message.
    SolutionLoadError(const QString &file, const QString &message, int line, int column)
        : m_first(file), m_isXmlError(true), m_second(message), m_line(line), m_column(column),
          m_utf8(message.toUtf8())
    {
    }

    const QString &firstText() const noexcept { return m_first; }
    bool isXmlError() const noexcept { return m_isXmlError; }
    const QString &secondText() const noexcept { return m_second; }
    int line() const noexcept { return m_line; }
    int column() const noexcept { return m_column; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_first;
    bool m_isXmlError = false;
    QString m_second;
    int m_line = 0;
    int m_column = 0;
    QByteArray m_utf8;
};

} // namespace zim::project
