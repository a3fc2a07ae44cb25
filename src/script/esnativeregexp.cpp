// RegExp: pattern objects backed by QRegularExpression (the standard's pattern syntax translated
// to the library's), with the flags g, i and m, lastIndex, source, exec and test.
#include "script/esnativeclasses.h"

#include "script/esexception.h"

#include <QRegularExpression>

namespace zim::script {

namespace {

struct RegExpData
{
    std::shared_ptr<const ESNativeRegExp::Compiled> compiled;
    QString source;
    bool global = false;
    bool ignoreCase = false;
    bool multiline = false;
    // The last subject made safe for the library: held, so that its text cannot change or be freed
    // while its address is compared, and reused while a loop matches the same string again.
    QString checked;
    QString safe;
};

// Distinct patterns kept compiled; past this many the cache starts again empty.
constexpr qsizetype CompiledCacheSize = 256;

RegExpData *dataOf(ESObject *o)
{
    return static_cast<RegExpData *>(o->data);
}

// The white space and line terminators that \s stands for.
const char *const spaceSet = "\\t\\n\\x{0b}\\f\\r \\x{a0}\\x{1680}\\x{180e}\\x{2000}-\\x{200a}\\x{2028}\\x{2029}"
                             "\\x{202f}\\x{205f}\\x{3000}\\x{feff}";
const char *const lineTerminators = "[\\n\\r\\x{2028}\\x{2029}]";

bool isHex(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
           || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The library reads UTF-16 and refuses a lone surrogate, in the pattern as in the subject: one
// stands for U+FFFD in both (see match), so that it still matches itself.
QString codeUnit(uint32_t u)
{
    if (u >= 0xD800 && u <= 0xDFFF)
        u = QChar::ReplacementCharacter;
    return QStringLiteral("\\x{%1}").arg(u, 0, 16);
}

// The pattern character at i (a surrogate pair as one), i left on its last code unit.
QString patternCharacter(const QString &pattern, qsizetype &i)
{
    const QChar c = pattern[i];
    if (!c.isSurrogate())
        return QString(c);
    if (c.isHighSurrogate() && i + 1 < pattern.size() && pattern[i + 1].isLowSurrogate()) {
        ++i;
        return pattern.mid(i - 1, 2);
    }
    return codeUnit(c.unicode());
}

int countGroups(const QString &pattern)
{
    int groups = 0;
    bool inClass = false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == QLatin1Char('\\'))
            ++i;
        else if (c == QLatin1Char('['))
            inClass = true;
        else if (c == QLatin1Char(']'))
            inClass = false;
        else if (!inClass && c == QLatin1Char('(') && (i + 1 >= pattern.size() || pattern[i + 1] != QLatin1Char('?')))
            ++groups;
    }
    return groups;
}

// Length of a {n}, {n,} or {n,m} quantifier at i, or 0 when the brace is a plain character.
qsizetype quantifierLength(const QString &pattern, qsizetype i)
{
    qsizetype j = i + 1;
    const qsizetype first = j;
    while (j < pattern.size() && isDigit(pattern[j]))
        ++j;
    if (j == first)
        return 0;
    if (j < pattern.size() && pattern[j] == QLatin1Char(',')) {
        ++j;
        while (j < pattern.size() && isDigit(pattern[j]))
            ++j;
    }
    return j < pattern.size() && pattern[j] == QLatin1Char('}') ? j - i + 1 : 0;
}

// One escape (pattern[i] is the backslash) in the library's syntax; i is left on its last character.
QString translateEscape(const QString &pattern, qsizetype &i, bool inClass, int groups)
{
    const QChar e = pattern[++i];
    const char16_t u = e.unicode();
    switch (u) {
    case 'd': case 'D': case 'w': case 'W': case 'f': case 'n': case 'r': case 't':
        return QLatin1Char('\\') + e;
    case 'b': case 'B':
        return inClass ? (u == 'b' ? codeUnit(8) : QStringLiteral("B")) : QLatin1Char('\\') + e;
    case 's':
        return inClass ? QString::fromLatin1(spaceSet) : QStringLiteral("[") + QLatin1String(spaceSet) + QLatin1Char(']');
    case 'S':
        return inClass ? QStringLiteral("\\S") : QStringLiteral("[^") + QLatin1String(spaceSet) + QLatin1Char(']');
    case 'v':
        return codeUnit(0x0B);
    case 'c':
        if (i + 1 < pattern.size() && pattern[i + 1].isLetter() && pattern[i + 1].unicode() < 128)
            return codeUnit(pattern[++i].unicode() % 32);
        return QStringLiteral("\\\\c");
    case 'x':
        if (i + 2 < pattern.size() && isHex(pattern[i + 1]) && isHex(pattern[i + 2])) {
            i += 2;
            return codeUnit(pattern.mid(i - 1, 2).toUInt(nullptr, 16));
        }
        return QStringLiteral("x");
    case 'u':
        if (i + 4 < pattern.size() && isHex(pattern[i + 1]) && isHex(pattern[i + 2]) && isHex(pattern[i + 3])
            && isHex(pattern[i + 4])) {
            i += 4;
            const uint32_t unit = pattern.mid(i - 3, 4).toUInt(nullptr, 16);
            // \uD83D\uDE00 is one character to the library, as the pair it spells.
            if (QChar::isHighSurrogate(unit) && i + 6 < pattern.size() && pattern[i + 1] == QLatin1Char('\\')
                && pattern[i + 2] == QLatin1Char('u')) {
                bool ok = false;
                const uint32_t low = pattern.mid(i + 3, 4).toUInt(&ok, 16);
                if (ok && QChar::isLowSurrogate(low)) {
                    i += 6;
                    return codeUnit(QChar::surrogateToUcs4(char16_t(unit), char16_t(low)));
                }
            }
            return codeUnit(unit);
        }
        return QStringLiteral("u");
    default:
        break;
    }
    if (isDigit(e)) {
        qsizetype j = i;
        while (j + 1 < pattern.size() && isDigit(pattern[j + 1]))
            ++j;
        const int n = pattern.mid(i, j - i + 1).toInt();
        if (!inClass && n > 0 && n <= groups) {
            // A reference to a group that has not matched matches the empty string.
            i = j;
            return QStringLiteral("(?(%1)\\%1|)").arg(n);
        }
        // Otherwise an octal escape of up to three digits (\0 is NUL).
        uint32_t value = 0;
        qsizetype k = i;
        while (k < pattern.size() && k < i + 3 && pattern[k] >= QLatin1Char('0') && pattern[k] <= QLatin1Char('7')
               && value * 8 + (pattern[k].unicode() - '0') <= 0xFF)
            value = value * 8 + (pattern[k++].unicode() - '0');
        if (k == i)
            return QString(e);   // \8 and \9 stand for themselves
        i = k - 1;
        return codeUnit(value);
    }
    // Any other letter stands for itself; other characters keep their escape, but a surrogate
    // cannot follow a backslash in the library's syntax and stands for itself as well.
    if (e.isSurrogate())
        return patternCharacter(pattern, i);
    if (e.isLetterOrNumber() || u == '_')
        return QString(e);
    return QLatin1Char('\\') + e;
}

// For each capturing group of a pattern (index 1 up), the nearest quantified group around it
// when that group captures too, else 0.
std::vector<int> repeatingGroups(const QString &pattern)
{
    struct Group
    {
        int parent;      // index into groups, -1 at the top
        int capture;     // capture number, 0 for (?: (?= (?!
        bool quantified = false;
    };
    std::vector<Group> groups;
    std::vector<int> open;
    std::vector<int> groupOfCapture{-1};
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == QLatin1Char('\\')) {
            ++i;
        } else if (c == QLatin1Char('[')) {
            for (++i; i < pattern.size() && pattern[i] != QLatin1Char(']'); ++i)
                if (pattern[i] == QLatin1Char('\\'))
                    ++i;
        } else if (c == QLatin1Char('(')) {
            const bool capturing = !(i + 1 < pattern.size() && pattern[i + 1] == QLatin1Char('?'));
            int capture = 0;
            if (capturing) {
                capture = int(groupOfCapture.size());
                groupOfCapture.push_back(int(groups.size()));
            }
            groups.push_back(Group{open.empty() ? -1 : open.back(), capture});
            open.push_back(int(groups.size()) - 1);
        } else if (c == QLatin1Char(')') && !open.empty()) {
            const qsizetype next = i + 1;
            groups[size_t(open.back())].quantified =
                next < pattern.size()
                && (pattern[next] == QLatin1Char('*') || pattern[next] == QLatin1Char('+')
                    || pattern[next] == QLatin1Char('?') || quantifierLength(pattern, next) > 0);
            open.pop_back();
        }
    }
    std::vector<int> repeatedBy(groupOfCapture.size(), 0);
    for (size_t capture = 1; capture < groupOfCapture.size(); ++capture) {
        int g = groups[size_t(groupOfCapture[capture])].parent;
        while (g >= 0 && !groups[size_t(g)].quantified)
            g = groups[size_t(g)].parent;
        if (g >= 0)
            repeatedBy[capture] = groups[size_t(g)].capture;
    }
    return repeatedBy;
}

// The pattern in the library's syntax, with the standard's meaning of ., ^, $, \s, classes,
// back references and escapes. Sets error for what the standard's grammar rejects.
QString translate(const QString &pattern, bool multiline, QString &error)
{
    const int groups = countGroups(pattern);
    QString out;
    bool afterQuantifier = false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        const char16_t u = c.unicode();
        const bool quantified = afterQuantifier;
        afterQuantifier = false;
        if (u == '\\') {
            if (i + 1 >= pattern.size()) {
                error = QStringLiteral("\\ at end of pattern");
                return {};
            }
            out += translateEscape(pattern, i, false, groups);
            continue;
        }
        switch (u) {
        case '[': {
            qsizetype j = i + 1;
            const bool negated = j < pattern.size() && pattern[j] == QLatin1Char('^');
            if (negated)
                ++j;
            QString body;
            for (; j < pattern.size() && pattern[j] != QLatin1Char(']'); ++j) {
                if (pattern[j] == QLatin1Char('\\') && j + 1 < pattern.size())
                    body += translateEscape(pattern, j, true, groups);
                else if (pattern[j] == QLatin1Char('['))
                    body += QStringLiteral("\\[");
                else
                    body += patternCharacter(pattern, j);
            }
            if (j >= pattern.size()) {
                error = QStringLiteral("missing terminating ] for character class");
                return {};
            }
            if (body.isEmpty())
                out += negated ? QStringLiteral("[\\s\\S]") : QStringLiteral("(?!)");
            else
                out += (negated ? QStringLiteral("[^") : QStringLiteral("[")) + body + QLatin1Char(']');
            i = j;
            break;
        }
        case '(':
            if (i + 1 < pattern.size() && pattern[i + 1] == QLatin1Char('?')) {
                if (i + 2 >= pattern.size() || (pattern[i + 2] != QLatin1Char(':') && pattern[i + 2] != QLatin1Char('=')
                                                && pattern[i + 2] != QLatin1Char('!'))) {
                    error = QStringLiteral("unrecognized character after (?");
                    return {};
                }
            }
            out += c;
            break;
        case '.':
            out += QStringLiteral("[^\\n\\r\\x{2028}\\x{2029}]");
            break;
        case '^':
            out += multiline ? QStringLiteral("(?:(?<![\\s\\S])|(?<=") + QLatin1String(lineTerminators) + QLatin1Char(')')
                               + QLatin1Char(')')
                             : QStringLiteral("(?<![\\s\\S])");
            break;
        case '$':
            out += multiline ? QStringLiteral("(?=") + QLatin1String(lineTerminators) + QStringLiteral("|(?![\\s\\S]))")
                             : QStringLiteral("(?![\\s\\S])");
            break;
        case '*': case '+': case '?':
            if (quantified && u == '+') {
                error = QStringLiteral("nothing to repeat");
                return {};
            }
            out += c;
            // A ? right after a quantifier makes it lazy and ends it.
            afterQuantifier = !(quantified && u == '?');
            break;
        case '{': {
            const qsizetype n = quantifierLength(pattern, i);
            if (n == 0) {
                out += QStringLiteral("\\{");
                break;
            }
            out += pattern.mid(i, n);
            i += n - 1;
            afterQuantifier = true;
            break;
        }
        case '}':
            out += QStringLiteral("\\}");
            break;
        default:
            out += patternCharacter(pattern, i);
            break;
        }
    }
    return out;
}

} // namespace

void ESNativeRegExp::setUp(ESContext &context)
{
    ESObject *p = context.regexpPrototype;
    m_sourceAtom = atoms::intern("source");
    m_globalAtom = atoms::intern("global");
    m_ignoreCaseAtom = atoms::intern("ignoreCase");
    m_multilineAtom = atoms::intern("multiline");
    addConstructor(context, "RegExp", 2, p);
    addMethod(context, p, "exec", "RegExp.prototype.exec", 1, 1);
    addMethod(context, p, "test", "RegExp.prototype.test", 1, 2);
    addMethod(context, p, "toString", "RegExp.prototype.toString", 0, 3);
}

void ESNativeRegExp::finalize(ESObject *object)
{
    delete dataOf(object);
    object->data = nullptr;
}

QString ESNativeRegExp::patternError(const QString &source, bool multiline) const
{
    QString error;
    const QString translated = translate(source, multiline, error);
    if (!error.isEmpty())
        return error;
    const QRegularExpression expression(translated);
    return expression.isValid() ? QString() : expression.errorString();
}

std::shared_ptr<const ESNativeRegExp::Compiled> ESNativeRegExp::compile(ESContext &context, const QString &source,
                                                                          bool ignoreCase, bool multiline)
{
    // The translation depends on the source and multiline, the compiled form on ignoreCase too.
    QString cacheKey;
    cacheKey.reserve(source.size() + 2);
    cacheKey.append(ignoreCase ? QLatin1Char('i') : QLatin1Char('-'));
    cacheKey.append(multiline ? QLatin1Char('m') : QLatin1Char('-'));
    cacheKey.append(source);
    if (auto it = m_compiled.constFind(cacheKey); it != m_compiled.constEnd())
        return it.value();
    QString error;
    const QString translated = translate(source, multiline, error);
    if (!error.isEmpty())
        context.throwError(context.syntaxErrorClass, QStringLiteral("invalid regular expression: ") + error);
    auto compiled = std::make_shared<Compiled>();
    // The interpreter that deep matches fall back to keeps its backtracking on the heap: 64 MiB
    // of it is plenty for a repeated group over hundreds of kilobytes, and beyond that the match
    // is a RangeError instead of a process that runs out of memory.
    compiled->expression = QRegularExpression(QStringLiteral("(*LIMIT_HEAP=65536)") + translated,
                                              ignoreCase ? QRegularExpression::CaseInsensitiveOption
                                                         : QRegularExpression::NoPatternOption);
    if (!compiled->expression.isValid())
        context.throwError(context.syntaxErrorClass,
                           QStringLiteral("invalid regular expression: ") + compiled->expression.errorString());
    compiled->repeatedBy = repeatingGroups(source);
    compiled->groups = compiled->expression.captureCount();
    if (m_compiled.size() >= CompiledCacheSize)
        m_compiled.clear();
    m_compiled.insert(cacheKey, compiled);
    return compiled;
}

ESObject *ESNativeRegExp::create(ESContext &context, const QString &source, int flags)
{
    auto data = std::make_unique<RegExpData>();
    data->source = source;
    data->global = flags & regexpflag::Global;
    data->ignoreCase = flags & regexpflag::IgnoreCase;
    data->multiline = flags & regexpflag::Multiline;
    data->compiled = compile(context, source, data->ignoreCase, data->multiline);
    ESObject *o = context.newObject(prototype, this);
    const uint32_t fixed = ReadOnly | DontEnum | DontDelete;
    o->define(m_sourceAtom, context.newString(source), fixed);
    o->define(m_globalAtom, ESValue::boolean(data->global), fixed);
    o->define(m_ignoreCaseAtom, ESValue::boolean(data->ignoreCase), fixed);
    o->define(m_multilineAtom, ESValue::boolean(data->multiline), fixed);
    o->define(context.lastIndexAtom, ESValue::fromNumber(0), DontEnum | DontDelete);
    o->data = data.release();
    return o;
}

ESObject *ESNativeRegExp::constructMember(ESContext &context, int number, int count, ESValue *args)
{
    if (number != 0)
        return ESNativeClass::constructMember(context, number, count, args);
    const ESValue pattern = argument(count, args, 0);
    const ESValue flagsValue = argument(count, args, 1);
    QString source, flags;
    if (isRegExp(pattern)) {
        if (!flagsValue.isUndefined())
            context.throwTypeError(QStringLiteral("flags given with a RegExp pattern"));
        RegExpData *d = dataOf(pattern.object);
        source = d->source;
        flags = QString(d->global ? "g" : "") + (d->ignoreCase ? "i" : "") + (d->multiline ? "m" : "");
    } else {
        source = pattern.isUndefined() ? QString() : context.toString(pattern);
        flags = flagsValue.isUndefined() ? QString() : context.toString(flagsValue);
    }
    int bits = 0;
    for (QChar f : flags) {
        const int bit = f == QLatin1Char('g') ? regexpflag::Global : f == QLatin1Char('i') ? regexpflag::IgnoreCase
                        : f == QLatin1Char('m') ? regexpflag::Multiline : 0;
        if (bit == 0 || (bits & bit))
            context.throwError(context.syntaxErrorClass, QStringLiteral("invalid regular expression flags '") + flags + QLatin1Char('\''));
        bits |= bit;
    }
    return create(context, source, bits);
}

ESObject *ESNativeRegExp::fromValue(ESContext &context, const ESValue &value, bool forceRegExp)
{
    if (isRegExp(value))
        return value.object;
    if (!forceRegExp)
        return nullptr;
    ESValue pattern = value.isUndefined() ? ESValue::fromAtom(atoms::intern("")) : context.toStringValue(value);
    ESValue args[1] = {pattern};
    return constructMember(context, 0, 1, args);
}

qsizetype ESNativeRegExp::captureStart(ESObject *regexp, const QRegularExpressionMatch &m, int group) const
{
    const std::vector<int> &repeatedBy = dataOf(regexp)->compiled->repeatedBy;
    const qsizetype start = m.capturedStart(group);
    if (start < 0 || group <= 0 || size_t(group) >= repeatedBy.size() || repeatedBy[size_t(group)] == 0)
        return start;
    // The library keeps what a group captured in an earlier repetition of the group around it;
    // the standard starts every repetition with its groups undefined. A capture that starts
    // before the last repetition began is one of those.
    const int outer = repeatedBy[size_t(group)];
    const qsizetype outerStart = captureStart(regexp, m, outer);
    return outerStart < 0 || start < outerStart ? -1 : start;
}

bool ESNativeRegExp::isGlobal(ESObject *regexp) const
{
    return dataOf(regexp)->global;
}

int ESNativeRegExp::groupCount(ESObject *regexp) const
{
    return dataOf(regexp)->compiled->groups;
}

QRegularExpressionMatch ESNativeRegExp::match(ESContext &context, ESObject *regexp, const QString &input,
                                              qsizetype from, bool anchored)
{
    // A match counts as one step of the machine, which asks the host once every 64 steps.
    auto poll = [&context] {
        if ((++context.pollCounter & 63) == 0 || context.stopRequested) {
            if (context.stopRequested || !context.keepRunning())
                throw ESFatalError(QStringLiteral("script stopped"));
        }
    };
    poll();
    RegExpData *d = dataOf(regexp);
    if (d->checked.constData() != input.constData() || d->checked.size() != input.size()) {
        // The library reads UTF-16 and refuses a lone surrogate; one stands in for itself here
        // as U+FFFD, so that offsets stay those of the script's string.
        // Reading goes through the input so that the copy is made only when a character changes.
        QString safe = input;
        for (qsizetype i = 0; i < input.size(); ++i) {
            const QChar c = input[i];
            if (c.isHighSurrogate() && i + 1 < input.size() && input[i + 1].isLowSurrogate())
                ++i;
            else if (c.isSurrogate())
                safe[i] = QChar(QChar::ReplacementCharacter);
        }
        d->checked = input;
        d->safe = safe;
    }
    QRegularExpression::MatchOptions options = QRegularExpression::DontCheckSubjectStringMatchOption;
    if (anchored)
        options |= QRegularExpression::AnchorAtOffsetMatchOption;
    QRegularExpressionMatch m = d->compiled->expression.match(d->safe, from, QRegularExpression::NormalMatch, options);
    if (!m.isValid()) {
        // The compiled fast path keeps its backtracking on a small fixed stack. An anchored match
        // runs in the library's interpreter, which keeps it on the heap and goes much further, so
        // the search is made again as anchored attempts at each start.
        options |= QRegularExpression::AnchorAtOffsetMatchOption;
        for (qsizetype start = from; start <= d->safe.size(); ++start) {
            if (start > from)
                poll();
            m = d->compiled->expression.match(d->safe, start, QRegularExpression::NormalMatch, options);
            if (!m.isValid() || m.hasMatch() || anchored)
                break;
        }
    }
    if (!m.isValid())
        context.throwError(context.rangeErrorClass,
                           QStringLiteral("regular expression too complex to match against this string"));
    return m;
}

bool ESNativeRegExp::execMatch(ESContext &context, ESObject *regexp, const QString &input,
                               QRegularExpressionMatch &m)
{
    RegExpData *d = dataOf(regexp);
    double start = 0;
    if (d->global) {
        start = context.toInteger(context.get(regexp, context.lastIndexAtom));
        if (start < 0 || start > input.size()) {
            context.put(regexp, context.lastIndexAtom, ESValue::fromNumber(0));
            return false;
        }
    }
    m = match(context, regexp, input, qsizetype(start));
    if (!m.hasMatch()) {
        if (d->global)
            context.put(regexp, context.lastIndexAtom, ESValue::fromNumber(0));
        return false;
    }
    if (d->global)
        context.put(regexp, context.lastIndexAtom, ESValue::fromNumber(double(m.capturedEnd(0))));
    return true;
}

ESValue ESNativeRegExp::exec(ESContext &context, ESObject *regexp, const ESValue &inputValue)
{
    const QString &input = inputValue.text();
    QRegularExpressionMatch m;
    if (!execMatch(context, regexp, input, m))
        return ESValue::null();
    ESObject *result = context.newArray(0);
    const int groups = dataOf(regexp)->compiled->groups;
    for (int i = 0; i <= groups; ++i) {
        if (captureStart(regexp, m, i) < 0)
            putIndex(context, result, uint32_t(i), ESValue());
        else
            putIndex(context, result, uint32_t(i), substringValue(context, input, m.capturedStart(i), m.capturedLength(i)));
    }
    context.arrayClass->setLength(context, result, uint32_t(groups + 1));
    result->define(context.indexAtom, ESValue::fromNumber(double(m.capturedStart(0))), 0);
    result->define(context.inputAtom, inputValue, 0);
    return ESValue::fromObject(result);
}

ESValue ESNativeRegExp::callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args)
{
    if (number == 0) {
        if (isRegExp(argument(count, args, 0)) && argument(count, args, 1).isUndefined())
            return args[0];
        return ESValue::fromObject(constructMember(context, 0, count, args));
    }
    if (!isRegExp(thisValue))
        context.throwTypeError(QStringLiteral("RegExp object required"));
    ESObject *re = thisValue.object;
    switch (number) {
    case 1:
        return exec(context, re, context.toStringValue(argument(count, args, 0)));
    case 2: {
        // test moves lastIndex as exec does but has no use for the match array.
        const ESValue input = context.toStringValue(argument(count, args, 0));
        QRegularExpressionMatch m;
        return ESValue::boolean(execMatch(context, re, input.text(), m));
    }
    case 3: {
        RegExpData *d = dataOf(re);
        return context.newString(QLatin1Char('/') + d->source + QLatin1Char('/') + (d->global ? "g" : "")
                                 + (d->ignoreCase ? "i" : "") + (d->multiline ? "m" : ""));
    }
    default:
        return ESNativeClass::callMember(context, number, thisValue, count, args);
    }
}

} // namespace zim::script
