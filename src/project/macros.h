// Macro references "$(name)" and "$(name:default)" in property values, and the "name=value" list form.
#pragma once

#include <QMap>
#include <QString>

namespace zim::project {

using MacroMap = QMap<QString, QString>;

// Expands every reference in text. Never fails: an undefined macro stays as written, an
// unterminated reference becomes its default text. References that produce references are
// expanded again, at most a bounded number of times.
QString expandMacros(const MacroMap &macros, const QString &text);

// Parses "A=1;B=x\;y;C=a=b": items split on ";" with "\" making the next character literal,
// empty items dropped, each split at its first "=".
MacroMap parseMacroList(const QString &list);

} // namespace zim::project
