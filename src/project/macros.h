// Macro references "$(name)" and "$(name:default)" in property values, and the "name=value" list form.
#pragma once

#include <QMap>
#include <QString>

namespace zim::project {

using MacroMap = QMap<QString, QString>;

// The longest text an expansion may produce, in characters: twice the largest file the program
// reads whole, so that expanding any such file has room, while a macro that doubles itself on
// every nested pass stops long before it exhausts memory.
inline constexpr qsizetype kMaxExpandedLength = 32 * 1024 * 1024;

// Expands every reference in text: an undefined macro stays as written, an unterminated
// reference becomes its default text. References that produce references are expanded again,
// at most a bounded number of times. Throws HException naming the macro whose value would
// make the result longer than kMaxExpandedLength.
QString expandMacros(const MacroMap &macros, const QString &text);

// Parses "A=1;B=x\;y;C=a=b": items split on ";" with "\" making the next character literal,
// empty items dropped, each split at its first "=".
MacroMap parseMacroList(const QString &list);

} // namespace zim::project
