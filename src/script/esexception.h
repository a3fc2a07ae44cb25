// The engine's two exceptions: a script-level throw and an engine-internal fault.
#pragma once

#include "script/esvalue.h"

#include <QString>
#include <exception>

namespace zim::script {

// A value thrown by a script or raised as a script error; catchable by script try/catch.
class ESException : public std::exception
{
public:
    explicit ESException(const ESValue &value) : m_value(value) {}
    const ESValue &value() const { return m_value; }
    const char *what() const noexcept override { return "script exception"; }

private:
    ESValue m_value;
};

// An engine fault that no script can catch ("virtual machine stack too small", ...).
class ESFatalError : public std::exception
{
public:
    explicit ESFatalError(const QString &text) : m_text(text), m_utf8(text.toUtf8()) {}
    const QString &text() const { return m_text; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_text;
    QByteArray m_utf8;
};

} // namespace zim::script
