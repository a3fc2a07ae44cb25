// The hand-written lexer: white space and comments, punctuators longest first, identifiers and
// keywords, numbers in three radixes and string literals with their escapes.
#include "script/eslexer.h"

#include "script/escontext.h"
#include "script/esnativeclasses.h"

#include <QHash>
#include <charconv>
#include <cmath>

namespace zim::script {

namespace {

struct Keyword
{
    const char *text;
    int code;
};

const Keyword keywords[] = {
    {"this", tok::This}, {"typeof", tok::Typeof}, {"delete", tok::Delete}, {"void", tok::Void},
    {"while", tok::While}, {"for", tok::For}, {"break", tok::Break}, {"continue", tok::Continue},
    {"with", tok::With}, {"return", tok::Return}, {"function", tok::Function}, {"var", tok::Var},
    {"if", tok::If}, {"else", tok::Else}, {"in", tok::In}, {"new", tok::New}, {"case", tok::Case},
    {"default", tok::Default}, {"switch", tok::Switch}, {"true", tok::True}, {"false", tok::False},
    {"null", tok::Null}, {"catch", tok::Catch}, {"class", tok::Class}, {"const", tok::Const},
    {"debugger", tok::Debugger}, {"do", tok::Do}, {"enum", tok::Enum}, {"export", tok::Export},
    {"extends", tok::Extends}, {"finally", tok::Finally}, {"import", tok::Import}, {"super", tok::Super},
    {"throw", tok::Throw}, {"try", tok::Try}, {"instanceof", tok::Instanceof},
};

const QHash<QString, int> &keywordMap()
{
    static const QHash<QString, int> map = [] {
        QHash<QString, int> m;
        for (const Keyword &k : keywords)
            m.insert(QString::fromLatin1(k.text), k.code);
        return m;
    }();
    return map;
}

bool isIdentStart(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 128)
        return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '$' || u == '_';
    return c.isLetter();
}

bool isIdentPart(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 128)
        return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '$' || u == '_' || (u >= '0' && u <= '9');
    return c.isLetterOrNumber() || c.category() == QChar::Mark_NonSpacing
           || c.category() == QChar::Mark_SpacingCombining || c.category() == QChar::Punctuation_Connector;
}

bool isLineBreak(char16_t u)
{
    return u == '\n' || u == '\r' || u == 0x2028 || u == 0x2029;
}

} // namespace

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

QString tokenName(int code)
{
    static const char *const ops[] = {"&=", "|=", "^=", "<<=", ">>=", ">>>=", "+=", "-=", "*=", "/=", "%=",
                                      "||", "&&", "===", "!==", "==", "!=", "<=", ">=", "<<", ">>", ">>>",
                                      "++", "--"};
    if (code < 128)
        return QString(QChar(code));
    if (code == tok::End)
        return QStringLiteral("end of input");
    if (code >= tok::AndAssign && code <= tok::MinusMinus)
        return QString::fromLatin1(ops[code - tok::AndAssign]);
    switch (code) {
    case tok::Number: return QStringLiteral("a number");
    case tok::Identifier: return QStringLiteral("an identifier");
    case tok::String: return QStringLiteral("a string");
    case tok::RegExp: return QStringLiteral("a regular expression");
    case tok::Call: return QStringLiteral("call");
    case tok::ForIn: return QStringLiteral("forin");
    case tok::ArrayInit: return QStringLiteral("arrayinit");
    case tok::ObjectInit: return QStringLiteral("objectinit");
    default: break;
    }
    for (const Keyword &k : keywords)
        if (k.code == code)
            return QString::fromLatin1(k.text);
    return QStringLiteral("token<%1>").arg(code);
}

ESLexer::ESLexer(ESContext &context, const QString &text, int firstLine)
    : m_context(context), m_p(text.constData()), m_end(text.constData() + text.size()), m_line(firstLine)
{
}

void ESLexer::fail(const QString &message)
{
    m_context.throwErrorAtLine(m_context.syntaxErrorClass, m_line, message);
}

void ESLexer::skipSpace(bool &newline)
{
    while (m_p < m_end) {
        const char16_t u = m_p->unicode();
        if (u == '\n') {
            ++m_line;
            newline = true;
            ++m_p;
        } else if (u == '\r' || u == 0x2028 || u == 0x2029) {
            newline = true;
            ++m_p;
        } else if (u == ' ' || u == '\t' || u == 0x0B || u == 0x0C || u == 0x1A || u == 0xA0 || u == 0xFEFF
                   || (u > 127 && m_p->category() == QChar::Separator_Space)) {
            ++m_p;
        } else if (u == '/' && m_p + 1 < m_end && m_p[1] == QLatin1Char('/')) {
            while (m_p < m_end && !isLineBreak(m_p->unicode()))
                ++m_p;
        } else if (u == '/' && m_p + 1 < m_end && m_p[1] == QLatin1Char('*')) {
            m_p += 2;
            const int opened = m_line;
            for (;;) {
                if (m_p >= m_end) {
                    // The loader dialect lets an unterminated comment end the input; the
                    // standard's grammar has no such comment. The error names where it opened.
                    if (m_context.standard()) {
                        m_line = opened;
                        fail(QStringLiteral("unterminated comment"));
                    }
                    return;
                }
                if (*m_p == QLatin1Char('*') && m_p + 1 < m_end && m_p[1] == QLatin1Char('/')) {
                    m_p += 2;
                    break;
                }
                if (isLineBreak(m_p->unicode())) {
                    newline = true;
                    if (*m_p == QLatin1Char('\n'))
                        ++m_line;
                }
                ++m_p;
            }
        } else {
            return;
        }
    }
}

double ESLexer::readNumber()
{
    const QChar *start = m_p;
    auto digit = [this] { return m_p < m_end && m_p->unicode() >= '0' && m_p->unicode() <= '9'; };
    if (*m_p == QLatin1Char('0') && m_p + 1 < m_end && (m_p[1] == QLatin1Char('x') || m_p[1] == QLatin1Char('X'))) {
        m_p += 2;
        double value = 0;
        const QChar *digits = m_p;
        while (m_p < m_end && hexValue(*m_p) >= 0)
            value = value * 16 + hexValue(*m_p++);
        if (m_p == digits)
            fail(QStringLiteral("bad parse of numerical constant '") + QString(start, m_p - start) + QLatin1Char('\''));
        return value;
    }
    if (*m_p == QLatin1Char('0') && m_p + 1 < m_end && m_p[1].isDigit() && m_p[1].unicode() < 128) {
        ++m_p;
        double value = 0;
        while (digit()) {
            const int d = m_p->unicode() - '0';
            if (d > 7)
                fail(QStringLiteral("digit '%1' is not radix %2").arg(QChar(*m_p)).arg(8));
            value = value * 8 + d;
            ++m_p;
        }
        return value;
    }
    while (digit())
        ++m_p;
    if (m_p < m_end && *m_p == QLatin1Char('.')) {
        ++m_p;
        while (digit())
            ++m_p;
    }
    if (m_p < m_end && (*m_p == QLatin1Char('e') || *m_p == QLatin1Char('E'))) {
        const QChar *save = m_p;
        ++m_p;
        if (m_p < m_end && (*m_p == QLatin1Char('+') || *m_p == QLatin1Char('-')))
            ++m_p;
        if (!digit())
            m_p = save;
        while (digit())
            ++m_p;
    }
    const QString text(start, m_p - start);
    const QByteArray digits = text.toLatin1();
    double value = 0;
    const auto [end, error] = std::from_chars(digits.constData(), digits.constData() + digits.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Too large for a double is Infinity, too small is zero, as the standard rounds.
        const qsizetype e = digits.indexOf('e') >= 0 ? digits.indexOf('e') : digits.indexOf('E');
        double mantissa = 0;
        std::from_chars(digits.constData(), digits.constData() + (e < 0 ? digits.size() : e), mantissa);
        const double exponent = e < 0 ? 0 : digits.mid(e + 1).toDouble();
        return mantissa > 0 && std::log10(mantissa) + exponent > 0 ? INFINITY : 0.0;
    }
    if (error != std::errc() || end != digits.constData() + digits.size())
        fail(QStringLiteral("bad parse of numerical constant '") + text + QLatin1Char('\''));
    return value;
}

ESAtom *ESLexer::readString(QChar quote)
{
    ++m_p;
    QString text;
    for (;;) {
        if (m_p >= m_end)
            fail(QStringLiteral("end of file in string constant"));
        const QChar c = *m_p;
        if (c == quote) {
            ++m_p;
            break;
        }
        if (isLineBreak(c.unicode()))
            fail(QStringLiteral("newline in string constant"));
        if (c != QLatin1Char('\\')) {
            text += c;
            ++m_p;
            continue;
        }
        ++m_p;
        if (m_p >= m_end)
            fail(QStringLiteral("end of file in string constant"));
        const QChar e = *m_p++;
        switch (e.unicode()) {
        case 'b': text += QChar(8); break;
        case 'f': text += QChar(12); break;
        case 'n': text += QChar(10); break;
        case 'r': text += QChar(13); break;
        case 't': text += QChar(9); break;
        case 'v': text += QChar(11); break;
        case 'x': {
            if (m_p + 1 >= m_end || hexValue(m_p[0]) < 0 || hexValue(m_p[1]) < 0)
                fail(QStringLiteral("malformed hex escape sequence"));
            text += QChar(hexValue(m_p[0]) * 16 + hexValue(m_p[1]));
            m_p += 2;
            break;
        }
        case 'u': {
            int v = 0;
            for (int i = 0; i < 4; ++i) {
                if (m_p >= m_end || hexValue(*m_p) < 0)
                    fail(QStringLiteral("malformed unicode escape sequence"));
                v = v * 16 + hexValue(*m_p++);
            }
            text += QChar(char16_t(v));
            break;
        }
        default:
            if (e.unicode() >= '0' && e.unicode() <= '7') {
                int v = e.unicode() - '0';
                // Up to three octal digits, the value staying below 256.
                for (int i = 0; i < 2 && m_p < m_end && m_p->unicode() >= '0' && m_p->unicode() <= '7'; ++i) {
                    const int nv = v * 8 + (m_p->unicode() - '0');
                    if (nv > 255)
                        break;
                    v = nv;
                    ++m_p;
                }
                text += QChar(char16_t(v));
            } else if (isLineBreak(e.unicode())) {
                fail(QStringLiteral("newline in string constant"));
            } else {
                text += e;
            }
        }
    }
    return atoms::intern(text);
}

ESToken ESLexer::regExp(const ESToken &slash)
{
    // The lexer stands just after the '/' or '/='; a '=' read with it belongs to the body.
    const QChar *start = slash.code == tok::DivAssign ? m_p - 1 : m_p;
    m_p = start;
    bool inClass = false;
    for (;;) {
        if (m_p >= m_end || isLineBreak(m_p->unicode()))
            fail(QStringLiteral("unterminated regular expression literal"));
        const QChar c = *m_p;
        if (c == QLatin1Char('\\')) {
            ++m_p;
            if (m_p >= m_end || isLineBreak(m_p->unicode()))
                fail(QStringLiteral("unterminated regular expression literal"));
        } else if (c == QLatin1Char('[')) {
            inClass = true;
        } else if (c == QLatin1Char(']')) {
            inClass = false;
        } else if (c == QLatin1Char('/') && !inClass) {
            break;
        }
        ++m_p;
    }
    ESToken t = slash;
    t.code = tok::RegExp;
    t.atom = atoms::intern(QString(start, m_p - start));
    ++m_p;
    int flags = 0;
    const QChar *flagStart = m_p;
    while (m_p < m_end && (isIdentPart(*m_p) || *m_p == QLatin1Char('\\')))
        ++m_p;
    for (const QChar *f = flagStart; f < m_p; ++f) {
        const int bit = *f == QLatin1Char('g') ? regexpflag::Global : *f == QLatin1Char('i') ? regexpflag::IgnoreCase
                      : *f == QLatin1Char('m') ? regexpflag::Multiline : 0;
        if (bit == 0 || (flags & bit))
            fail(QStringLiteral("invalid regular expression flags '") + QString(flagStart, m_p - flagStart)
                 + QLatin1Char('\''));
        flags |= bit;
    }
    t.number = flags;
    return t;
}

ESToken ESLexer::next()
{
    ESToken t;
    bool newline = false;
    skipSpace(newline);
    t.newlineBefore = newline;
    t.line = m_line;
    if (m_p >= m_end) {
        t.code = tok::End;
        return t;
    }
    const QChar c = *m_p;
    const char16_t u = c.unicode();
    if (isIdentStart(c) || u == '\\') {
        const QChar *start = m_p;
        QString text;
        while (m_p < m_end && (isIdentPart(*m_p) || *m_p == QLatin1Char('\\'))) {
            if (*m_p == QLatin1Char('\\')) {
                // \uXXXX in an identifier stands for the character.
                if (m_p + 5 >= m_end || m_p[1] != QLatin1Char('u'))
                    fail(QStringLiteral("unknown character '\\'"));
                int v = 0;
                for (int i = 2; i < 6; ++i) {
                    if (hexValue(m_p[i]) < 0)
                        fail(QStringLiteral("malformed unicode escape sequence"));
                    v = v * 16 + hexValue(m_p[i]);
                }
                // The escape must stand for a character that could appear there unescaped.
                const QChar decoded{char16_t(v)};
                if (text.isEmpty() ? !isIdentStart(decoded) : !isIdentPart(decoded))
                    fail(QStringLiteral("'\\u%1' cannot appear in an identifier").arg(QString(m_p + 2, 4)));
                text += decoded;
                m_p += 6;
            } else {
                text += *m_p++;
            }
        }
        Q_UNUSED(start);
        const auto it = keywordMap().constFind(text);
        if (it != keywordMap().constEnd()) {
            t.code = it.value();
            return t;
        }
        t.code = tok::Identifier;
        t.atom = atoms::intern(text);
        return t;
    }
    if ((u >= '0' && u <= '9') || (u == '.' && m_p + 1 < m_end && m_p[1].unicode() >= '0' && m_p[1].unicode() <= '9')) {
        t.code = tok::Number;
        t.number = readNumber();
        if (m_p < m_end && (isIdentStart(*m_p) || m_p->isDigit()))
            fail(QStringLiteral("bad parse of numerical constant '") + QString(*m_p) + QLatin1Char('\''));
        return t;
    }
    if (u == '"' || u == '\'') {
        t.code = tok::String;
        t.atom = readString(c);
        return t;
    }
    auto at = [this](int i) -> char16_t { return m_p + i < m_end ? m_p[i].unicode() : 0; };
    auto take = [&](int n, int code) {
        m_p += n;
        t.code = code;
        return t;
    };
    switch (u) {
    case '!':
        if (at(1) == '=')
            return at(2) == '=' ? take(3, tok::StrictNe) : take(2, tok::Ne);
        return take(1, '!');
    case '%': return at(1) == '=' ? take(2, tok::ModAssign) : take(1, '%');
    case '&':
        if (at(1) == '&') return take(2, tok::AndAnd);
        return at(1) == '=' ? take(2, tok::AndAssign) : take(1, '&');
    case '*': return at(1) == '=' ? take(2, tok::MulAssign) : take(1, '*');
    case '+':
        if (at(1) == '+') return take(2, tok::PlusPlus);
        return at(1) == '=' ? take(2, tok::AddAssign) : take(1, '+');
    case '-':
        if (at(1) == '-') return take(2, tok::MinusMinus);
        return at(1) == '=' ? take(2, tok::SubAssign) : take(1, '-');
    case '/': return at(1) == '=' ? take(2, tok::DivAssign) : take(1, '/');
    case '<':
        if (at(1) == '<') return at(2) == '=' ? take(3, tok::ShlAssign) : take(2, tok::Shl);
        return at(1) == '=' ? take(2, tok::Le) : take(1, '<');
    case '=':
        if (at(1) == '=') return at(2) == '=' ? take(3, tok::StrictEq) : take(2, tok::Eq);
        return take(1, '=');
    case '>':
        if (at(1) == '>') {
            if (at(2) == '>') return at(3) == '=' ? take(4, tok::UshrAssign) : take(3, tok::Ushr);
            return at(2) == '=' ? take(3, tok::ShrAssign) : take(2, tok::Shr);
        }
        return at(1) == '=' ? take(2, tok::Ge) : take(1, '>');
    case '^': return at(1) == '=' ? take(2, tok::XorAssign) : take(1, '^');
    case '|':
        if (at(1) == '|') return take(2, tok::OrOr);
        return at(1) == '=' ? take(2, tok::OrAssign) : take(1, '|');
    case '(': case ')': case ',': case ':': case ';': case '?': case '[': case ']': case '{': case '}':
    case '~': case '.':
        return take(1, u);
    default:
        break;
    }
    fail(QStringLiteral("unknown character '%1'").arg(c));
}

} // namespace zim::script
