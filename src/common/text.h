// Small text helpers shared by every subsystem.
#pragma once

#include <QString>
#include <QStringList>

// Rich text to plain text as messages are printed: "<p>" becomes a line feed and every
// other tag "<...>" is dropped.
namespace zim::common {

QString toPlainText(const QString &richText);

// The file name without its directory, as messages quote it.
QString fileNameOnly(const QString &path);

// Splits a list on ";" where "\" makes the next character literal; empty items are kept.
QStringList splitEscaped(const QString &text);

} // namespace zim::common
