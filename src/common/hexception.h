// HException: the one exception type of loader-level failures, carrying a finished message.
#pragma once

#include <QString>
#include <exception>

namespace zim::common {

class HException : public std::exception
{
public:
    explicit HException(const QString &message) : m_message(message), m_utf8(message.toUtf8()) {}
    explicit HException(const char *message) : HException(QString::fromUtf8(message)) {}

    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

} // namespace zim::common
