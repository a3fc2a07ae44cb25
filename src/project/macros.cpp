// Macro expansion and the "name=value" list form.
#include "project/macros.h"

#include "common/hexception.h"
#include "common/text.h"

#include <QDate>
#include <QHash>
#include <QTime>

namespace zim::project {

namespace {

// A reference whose text produces references again is rescanned; a reference that never
// resolves produces the same text every time, so stop when a pass changes nothing, and in
// any case after this many passes.
constexpr int maxNestedPasses = 32;

// The macros by name, looked up by views into the text so that a reference costs no copy of
// its name. The views point into the keys of the map given, which outlives the index.
using MacroIndex = QHash<QStringView, QString>;

MacroIndex indexOf(const MacroMap &macros)
{
    MacroIndex index;
    index.reserve(macros.size());
    for (auto it = macros.cbegin(); it != macros.cend(); ++it)
        index.insert(QStringView(it.key()), it.value());
    return index;
}

// The text that replaces the reference "$(" + collected + ")", or its unterminated form.
QString replacementFor(const MacroIndex &macros, QStringView collected, bool closed, QStringView &name)
{
    const qsizetype colon = collected.indexOf(QLatin1Char(':'));
    name = colon >= 0 ? collected.left(colon) : collected;
    if (closed) {
        auto it = macros.constFind(name);
        if (it != macros.constEnd())
            return it.value();
        if (name == QLatin1String("Date"))
            return QDate::currentDate().toString(QStringLiteral("d MMMM yyyy"));
        if (name == QLatin1String("Time"))
            return QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
    }
    if (colon >= 0)
        return collected.mid(colon + 1).toString();
    QString written = QStringLiteral("$(");
    written += collected;
    written += QLatin1Char(')');
    return written;
}

// One left-to-right pass; nested is set when a reference held a "$". Text between references
// is copied in runs, so that a long text costs one copy rather than one append per character.
QString expandOnce(const MacroIndex &macros, const QString &text, bool &nested)
{
    QString result;
    result.reserve(text.size());
    const qsizetype n = text.size();
    const QLatin1StringView open("$(");
    qsizetype i = 0;
    while (i < n) {
        const qsizetype reference = text.indexOf(open, i);
        if (reference < 0) {
            result += QStringView(text).mid(i);
            break;
        }
        result += QStringView(text).mid(i, reference - i);
        i = reference + 2;
        const qsizetype start = i;
        int depth = 0;
        bool closed = false;
        for (; i < n; ++i) {
            const QChar d = text.at(i);
            if (d == QLatin1Char(')')) {
                if (depth == 0) {
                    closed = true;
                    break;
                }
                --depth;
            } else if (d == QLatin1Char('(')) {
                ++depth;
            } else if (d == QLatin1Char('$')) {
                nested = true;
            }
        }
        const QStringView collected = QStringView(text).mid(start, i - start);
        if (closed)
            ++i;
        QStringView name;
        const QString replacement = replacementFor(macros, collected, closed, name);
        if (result.size() + replacement.size() > kMaxExpandedLength)
            throw common::HException(QStringLiteral("macro \u201C") + name.toString()
                                     + QStringLiteral("\u201D expands to more than the %1 characters a text may have")
                                           .arg(kMaxExpandedLength));
        result += replacement;
    }
    return result;
}

} // namespace

QString expandMacros(const MacroMap &macros, const QString &text)
{
    const MacroIndex index = indexOf(macros);
    QString current = text;
    for (int pass = 0; pass < maxNestedPasses; ++pass) {
        bool nested = false;
        QString next = expandOnce(index, current, nested);
        if (!nested || next == current)
            return next;
        current = next;
    }
    return current;
}

MacroMap parseMacroList(const QString &list)
{
    const QStringList items = common::splitEscaped(list);
    MacroMap macros;
    for (const QString &it : std::as_const(items)) {
        if (it.isEmpty())
            continue;
        const qsizetype eq = it.indexOf(QLatin1Char('='));
        if (eq < 0)
            macros.insert(it, QString());
        else
            macros.insert(it.left(eq), it.mid(eq + 1));
    }
    return macros;
}

} // namespace zim::project
