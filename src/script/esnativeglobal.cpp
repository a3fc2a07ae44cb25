// The global object's functions: eval, parseInt, parseFloat, isNaN, isFinite, load, and the URI
// and escape coders, with the value properties NaN, Infinity and undefined.
#include "script/esnativeclasses.h"
#include "script/eslexer.h"

#include "common/boundedread.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <cstring>

namespace zim::script {

namespace {

const char *const uriReserved = ";/?:@&=+$,";
const char *const uriUnescapedExtra = "-_.!~*'()";

bool isAlphaNumeric(char16_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

QString encode(ESContext &context, const QString &text, const char *keep)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        // strchr finds the terminating NUL too: U+0000 is escaped like any other character.
        if (c != 0 && c < 128
            && (isAlphaNumeric(c) || std::strchr(uriUnescapedExtra, c) || (keep && std::strchr(keep, c)))) {
            out += QChar(c);
            continue;
        }
        uint32_t cp = c;
        if (c >= 0xDC00 && c <= 0xDFFF)
            context.throwError(context.uriErrorClass, QStringLiteral("URI malformed"));
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1].unicode() < 0xDC00 || text[i + 1].unicode() > 0xDFFF)
                context.throwError(context.uriErrorClass, QStringLiteral("URI malformed"));
            cp = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1].unicode() - 0xDC00);
            ++i;
        }
        // UTF-8 by hand: the toolkit's UTF-32 decoder would take U+FEFF for a byte order mark.
        uint8_t utf8[4];
        int n = 0;
        if (cp < 0x80) {
            utf8[n++] = uint8_t(cp);
        } else if (cp < 0x800) {
            utf8[n++] = uint8_t(0xC0 | cp >> 6);
            utf8[n++] = uint8_t(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            utf8[n++] = uint8_t(0xE0 | cp >> 12);
            utf8[n++] = uint8_t(0x80 | (cp >> 6 & 0x3F));
            utf8[n++] = uint8_t(0x80 | (cp & 0x3F));
        } else {
            utf8[n++] = uint8_t(0xF0 | cp >> 18);
            utf8[n++] = uint8_t(0x80 | (cp >> 12 & 0x3F));
            utf8[n++] = uint8_t(0x80 | (cp >> 6 & 0x3F));
            utf8[n++] = uint8_t(0x80 | (cp & 0x3F));
        }
        for (int k = 0; k < n; ++k)
            out += QString::asprintf("%%%02X", unsigned(utf8[k]));
    }
    return out;
}

QString decode(ESContext &context, const QString &text, const char *reserved)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('%')) {
            out += text[i];
            continue;
        }
        auto byteAt = [&](qsizetype at) {
            if (at + 2 >= text.size() || text[at] != QLatin1Char('%') || hexValue(text[at + 1]) < 0
                || hexValue(text[at + 2]) < 0)
                context.throwError(context.uriErrorClass, QStringLiteral("URI malformed"));
            return hexValue(text[at + 1]) * 16 + hexValue(text[at + 2]);
        };
        if (i + 2 >= text.size())
            context.throwError(context.uriErrorClass, QStringLiteral("URI malformed"));
        const int b = byteAt(i);
        if (b < 0x80) {
            if (reserved && std::strchr(reserved, b) && b != 0)
                out += text.mid(i, 3);
            else
                out += QChar(b);
            i += 2;
            continue;
        }
        int n = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        if (n == 0)
            context.throwError(context.uriErrorClass, QStringLiteral("URI malformed"));
        uint32_t cp = uint32_t(b) & (0x7Fu >> n);
        for (int k = 1; k < n; ++k) {
            const int next = byteAt(i + 3 * k);
            if ((next & 0xC0) != 0x80)
                context.throwError(context.uriErrorClass, QStringLiteral("URI malformed"));
            cp = cp << 6 | uint32_t(next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static const uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < shortest[n] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            context.throwError(context.uriErrorClass, QStringLiteral("URI malformed"));
        // Appended as code units: the toolkit's UTF-32 decoder would drop U+FEFF as a byte order mark.
        if (cp >= 0x10000) {
            out += QChar(QChar::highSurrogate(cp));
            out += QChar(QChar::lowSurrogate(cp));
        } else {
            out += QChar(char16_t(cp));
        }
        i += 3 * n - 1;
    }
    return out;
}

double parseInteger(ESContext &context, const QString &input, int radix)
{
    qsizetype i = 0;
    while (i < input.size() && ESContext::isWhiteSpace(input[i]))
        ++i;
    bool negative = false;
    if (i < input.size() && (input[i] == QLatin1Char('+') || input[i] == QLatin1Char('-'))) {
        negative = input[i] == QLatin1Char('-');
        ++i;
    }
    bool stripPrefix = true;
    if (radix != 0) {
        if (radix < 2 || radix > 36)
            return NaN;
        if (radix != 16)
            stripPrefix = false;
    } else {
        radix = 10;
    }
    if (stripPrefix && i + 1 < input.size() && input[i] == QLatin1Char('0')
        && (input[i + 1] == QLatin1Char('x') || input[i + 1] == QLatin1Char('X'))) {
        i += 2;
        radix = 16;
    }
    const qsizetype start = i;
    double value = 0;
    for (; i < input.size(); ++i) {
        int d = hexValue(input[i]);
        const char16_t u = input[i].unicode();
        if (u >= 'g' && u <= 'z')
            d = u - 'a' + 10;
        else if (u >= 'G' && u <= 'Z')
            d = u - 'A' + 10;
        if (d < 0 || d >= radix)
            break;
        value = value * radix + d;
    }
    if (i == start)
        return NaN;
    if (radix == 10 && i - start > 15) {
        // Many decimal digits: let the library round them as a decimal literal does.
        value = std::strtod(input.mid(start, i - start).toLatin1().constData(), nullptr);
    }
    Q_UNUSED(context);
    return negative ? -value : value;
}

double parseFloatText(const QString &input)
{
    qsizetype i = 0;
    while (i < input.size() && ESContext::isWhiteSpace(input[i]))
        ++i;
    const qsizetype start = i;
    if (i < input.size() && (input[i] == QLatin1Char('+') || input[i] == QLatin1Char('-')))
        ++i;
    if (QStringView(input).mid(i).startsWith(QLatin1String("Infinity")))
        return input[start] == QLatin1Char('-') ? -Infinity : Infinity;
    auto digit = [&](qsizetype k) { return k < input.size() && input[k] >= QLatin1Char('0') && input[k] <= QLatin1Char('9'); };
    int digits = 0;
    while (digit(i)) {
        ++i;
        ++digits;
    }
    if (i < input.size() && input[i] == QLatin1Char('.')) {
        ++i;
        while (digit(i)) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return NaN;
    if (i < input.size() && (input[i] == QLatin1Char('e') || input[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        if (j < input.size() && (input[j] == QLatin1Char('+') || input[j] == QLatin1Char('-')))
            ++j;
        if (digit(j)) {
            while (digit(j))
                ++j;
            i = j;
        }
    }
    return std::strtod(input.mid(start, i - start).toLatin1().constData(), nullptr);
}

} // namespace

void ESNativeGlobal::setUp(ESContext &context)
{
    ESObject *g = context.global();
    g->define(atoms::intern("NaN"), ESValue::fromNumber(NaN), DontEnum | DontDelete);
    g->define(atoms::intern("Infinity"), ESValue::fromNumber(Infinity), DontEnum | DontDelete);
    g->define(atoms::intern("undefined"), ESValue(), DontEnum | DontDelete);
    addMethod(context, g, "eval", "eval", 1, 1);
    addMethod(context, g, "parseInt", "parseInt", 2, 2);
    addMethod(context, g, "parseFloat", "parseFloat", 1, 3);
    addMethod(context, g, "isNaN", "isNaN", 1, 4);
    addMethod(context, g, "isFinite", "isFinite", 1, 5);
    addMethod(context, g, "load", "load", 1, 6);
    addMethod(context, g, "encodeURI", "encodeURI", 1, 7);
    addMethod(context, g, "decodeURI", "decodeURI", 1, 8);
    addMethod(context, g, "encodeURIComponent", "encodeURIComponent", 1, 9);
    addMethod(context, g, "decodeURIComponent", "decodeURIComponent", 1, 10);
    addMethod(context, g, "escape", "escape", 1, 11);
    addMethod(context, g, "unescape", "unescape", 1, 12);
}

ESValue ESNativeGlobal::callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args)
{
    const ESValue a0 = argument(count, args, 0);
    switch (number) {
    case 1: {
        if (!a0.isString())
            return a0;
        return context.evalInCaller(a0.text());
    }
    case 2: {
        const QString text = context.toString(a0);
        const int radix = int(context.toInt32(argument(count, args, 1)));
        return ESValue::fromNumber(parseInteger(context, text, radix));
    }
    case 3:
        return ESValue::fromNumber(parseFloatText(context.toString(a0)));
    case 4:
        return ESValue::boolean(std::isnan(context.toNumber(a0)));
    case 5:
        return ESValue::boolean(std::isfinite(context.toNumber(a0)));
    case 6: {
        const QString name = context.toString(a0);
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly)) {
            bool opened = false;
            if (QFileInfo(name).isRelative()) {
                for (const QString &dir : std::as_const(context.loadPath)) {
                    file.setFileName(dir + QLatin1Char('/') + name);
                    if (file.open(QIODevice::ReadOnly)) {
                        opened = true;
                        break;
                    }
                }
            }
            if (!opened)
                return ESValue::boolean(false);
        }
        QByteArray bytes;
        bool tooLarge = false;
        if (!common::readAllBounded(file, common::kMaxScriptFileSize, bytes, &tooLarge))
            context.throwPlainError(tooLarge ? common::tooLargeMessage(file.fileName(), common::kMaxScriptFileSize,
                                                                       QStringLiteral("a script may load"))
                                             : QStringLiteral("cannot read file \u201C") + file.fileName()
                                                   + QStringLiteral("\u201D: ") + file.errorString());
        context.executeFile(QString::fromUtf8(bytes), name);
        return ESValue::boolean(true);
    }
    case 7:
        return context.newString(encode(context, context.toString(a0), ";/?:@&=+$,#"));
    case 8:
        return context.newString(decode(context, context.toString(a0), ";/?:@&=+$,#"));
    case 9:
        return context.newString(encode(context, context.toString(a0), nullptr));
    case 10:
        return context.newString(decode(context, context.toString(a0), nullptr));
    case 11: {
        const QString text = context.toString(a0);
        QString out;
        for (QChar ch : text) {
            const char16_t c = ch.unicode();
            if (c < 128 && (isAlphaNumeric(c) || std::strchr("@*_+-./", c)))
                out += ch;
            else if (c < 256)
                out += QString::asprintf("%%%02X", unsigned(c));
            else
                out += QString::asprintf("%%u%04X", unsigned(c));
        }
        return context.newString(out);
    }
    case 12: {
        const QString text = context.toString(a0);
        QString out;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] == QLatin1Char('%')) {
                if (i + 5 < text.size() && text[i + 1] == QLatin1Char('u') && hexValue(text[i + 2]) >= 0
                    && hexValue(text[i + 3]) >= 0 && hexValue(text[i + 4]) >= 0 && hexValue(text[i + 5]) >= 0) {
                    out += QChar(char16_t(hexValue(text[i + 2]) << 12 | hexValue(text[i + 3]) << 8
                                          | hexValue(text[i + 4]) << 4 | hexValue(text[i + 5])));
                    i += 5;
                    continue;
                }
                if (i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
                    out += QChar(char16_t(hexValue(text[i + 1]) << 4 | hexValue(text[i + 2])));
                    i += 2;
                    continue;
                }
            }
            out += text[i];
        }
        return context.newString(out);
    }
    default:
        return ESNativeClass::callMember(context, number, thisValue, count, args);
    }
}

} // namespace zim::script
