// Macro expansion and the "name=value" list form.
#include "project/macros.h"

#include "common/hexception.h"
#include "common/text.h"

#include <QDate>
#include <QTime>

namespace zim::project {

namespace {

// A reference whose text produces references again is rescanned; a reference that never
// resolves produces the same text every time, so stop when a pass changes nothing, and in
// any case after this many passes.
constexpr int maxNestedPasses = 32;

QString replacementFor(const MacroMap &macros, const QString &name, const QString &defaultText)
{
    auto it = macros.constFind(name);
    if (it != macros.constEnd())
        return it.value();
    if (name == QLatin1String("Date"))
        return QDate::currentDate().toString(QStringLiteral("d MMMM yyyy"));
    if (name == QLatin1String("Time"))
        return QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
    return defaultText;
}

// One left-to-right pass; nested is set when a reference held a "$".
QString expandOnce(const MacroMap &macros, const QString &text, bool &nested)
{
    QString result;
    result.reserve(text.size());
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('$') || i + 1 >= n || text.at(i + 1) != QLatin1Char('(')) {
            result += c;
            ++i;
            continue;
        }
        i += 2;
        QString collected;
        int depth = 0;
        bool closed = false;
        for (; i < n; ++i) {
            const QChar d = text.at(i);
            if (d == QLatin1Char(')')) {
                if (depth == 0) {
                    closed = true;
                    ++i;
                    break;
                }
                --depth;
            } else if (d == QLatin1Char('(')) {
                ++depth;
            } else if (d == QLatin1Char('$')) {
                nested = true;
            }
            collected += d;
        }
        QString name = collected;
        QString defaultText;
        const qsizetype colon = collected.indexOf(QLatin1Char(':'));
        if (colon >= 0) {
            name = collected.left(colon);
            defaultText = collected.mid(colon + 1);
        } else {
            defaultText = QStringLiteral("$(") + collected + QLatin1Char(')');
        }
        const QString replacement = closed ? replacementFor(macros, name, defaultText) : defaultText;
        if (result.size() + replacement.size() > kMaxExpandedLength)
            throw common::HException(QStringLiteral("macro \u201C") + name
                                     + QStringLiteral("\u201D expands to more than the %1 characters a text may have")
                                           .arg(kMaxExpandedLength));
        result += replacement;
    }
    return result;
}

} // namespace

QString expandMacros(const MacroMap &macros, const QString &text)
{
    QString current = text;
    for (int pass = 0; pass < maxNestedPasses; ++pass) {
        bool nested = false;
        QString next = expandOnce(macros, current, nested);
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
