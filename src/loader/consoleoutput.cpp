// Checked writes to the loader's standard output.
#include "loader/consoleoutput.h"

#include "common/hexception.h"

#include <cerrno>
#include <cstring>

namespace zim::loader {

void ConsoleOutput::print(const QByteArray &text)
{
    write(text);
    flush();
    if (m_error)
        fail(m_error);
}

void ConsoleOutput::write(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_stream) != size_t(bytes.size()))
        remember(errno);
}

void ConsoleOutput::writeLine(const QString &text)
{
    write(text.toUtf8() + '\n');
    flush();
}

void ConsoleOutput::flush()
{
    errno = 0;
    if (std::fflush(m_stream) != 0)
        remember(errno);
}

void ConsoleOutput::check()
{
    flush();
    if (!m_error && std::ferror(m_stream))
        remember(EIO);
    if (m_error)
        fail(m_error);
}

void ConsoleOutput::remember(int error)
{
    if (!m_error)
        m_error = error ? error : EIO;
}

void ConsoleOutput::fail(int error) const
{
    throw common::HException(QStringLiteral("cannot write to standard output: ") + QString::fromLocal8Bit(std::strerror(error)));
}

} // namespace zim::loader
