// Number: the constructor, its constant properties and Number.prototype's formatting members.
#include "script/esnativeclasses.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zim::script {

namespace {

// The exponent of a C "%e" text without a plus sign's leading zeros: "1.5e+05" -> "1.5e+5".
QString tidyExponent(const QString &text)
{
    const qsizetype e = text.indexOf(QLatin1Char('e'));
    if (e < 0)
        return text;
    QString mantissa = text.left(e);
    QChar sign = text[e + 1];
    QString digits = text.mid(e + 2);
    while (digits.size() > 1 && digits[0] == QLatin1Char('0'))
        digits.remove(0, 1);
    return mantissa + QLatin1Char('e') + sign + digits;
}

// The first n significant digits of |x| (x finite, not 0) with exact halves rounded up, as the
// standard's toExponential and toPrecision pick the larger of two equally near candidates; exponent
// receives the decimal exponent of the first digit.
QByteArray significantDigits(double x, int n, int &exponent)
{
    // glibc writes the exact binary value; 780 digits hold every double's expansion.
    char buffer[840];
    std::snprintf(buffer, sizeof buffer, "%.780e", std::fabs(x));
    const char *e = std::strchr(buffer, 'e');
    exponent = std::atoi(e + 1);
    QByteArray digits;
    for (const char *p = buffer; p < e; ++p)
        if (*p != '.')
            digits += *p;
    const bool up = digits.size() > n && digits.at(n) >= '5';
    digits.truncate(n);
    if (up) {
        qsizetype i = digits.size() - 1;
        while (i >= 0 && digits[i] == '9')
            digits[i--] = '0';
        if (i < 0) {
            digits.prepend('1');
            digits.truncate(n);
            ++exponent;
        } else {
            digits[i] = char(digits[i] + 1);
        }
    }
    return digits;
}

// d.ddde+x in the standard's form.
QString exponentialText(double x, int fractionDigits)
{
    int exponent = 0;
    const QByteArray digits = x == 0 ? QByteArray(fractionDigits + 1, '0') : significantDigits(x, fractionDigits + 1, exponent);
    QString out = x < 0 ? QStringLiteral("-") : QString();
    out += QLatin1Char(digits.at(0));
    if (digits.size() > 1)
        out += QLatin1Char('.') + QString::fromLatin1(digits.mid(1));
    return out + (exponent < 0 ? QStringLiteral("e-") : QStringLiteral("e+")) + QString::number(std::abs(exponent));
}

// x with f decimals, halves rounded away from zero as the standard's toFixed has it (the C
// library rounds exact halves to even); a negative x keeps its sign even when it rounds to zero.
QString fixedText(double x, int f)
{
    const bool negative = x < 0;
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.*f", f + 30, std::fabs(x));
    QByteArray digits(buffer);
    const qsizetype point = digits.indexOf('.');
    QByteArray whole = digits.left(point) + digits.mid(point + 1, f);
    const bool up = digits.at(point + 1 + f) >= '5';
    if (up) {
        qsizetype i = whole.size() - 1;
        while (i >= 0 && whole[i] == '9')
            whole[i--] = '0';
        if (i < 0)
            whole.prepend('1');
        else
            whole[i] = char(whole[i] + 1);
    }
    QString text = QString::fromLatin1(whole.left(whole.size() - f));
    if (f > 0)
        text += QLatin1Char('.') + QString::fromLatin1(whole.right(f));
    return negative ? QLatin1Char('-') + text : text;
}

} // namespace

void ESNativeNumber::setUp(ESContext &context)
{
    ESObject *p = context.numberPrototype;
    ESObject *ctor = addConstructor(context, "Number", 1, p);
    const uint32_t fixed = ReadOnly | DontEnum | DontDelete;
    ctor->define(atoms::intern("MAX_VALUE"), ESValue::fromNumber(1.7976931348623157e308), fixed);
    ctor->define(atoms::intern("MIN_VALUE"), ESValue::fromNumber(5e-324), fixed);
    ctor->define(atoms::intern("NaN"), ESValue::fromNumber(NaN), fixed);
    ctor->define(atoms::intern("NEGATIVE_INFINITY"), ESValue::fromNumber(-Infinity), fixed);
    ctor->define(atoms::intern("POSITIVE_INFINITY"), ESValue::fromNumber(Infinity), fixed);
    addMethod(context, p, "toString", "Number.prototype.toString", 1, 2);
    addMethod(context, p, "toFixed", "Number.prototype.toFixed", 1, 3);
    addMethod(context, p, "valueOf", "Number.prototype.valueOf", 0, 4);
    addMethod(context, p, "toLocaleString", "Number.prototype.toLocaleString", 0, 5);
    addMethod(context, p, "toExponential", "Number.prototype.toExponential", 1, 6);
    addMethod(context, p, "toPrecision", "Number.prototype.toPrecision", 1, 7);
}

ESValue ESNativeNumber::callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args)
{
    if (number == 0)
        return ESValue::fromNumber(count == 0 ? 0.0 : context.toNumber(args[0]));
    ESValue self = thisValue;
    if (self.isObject() && self.object->cls == this)
        self = self.object->internalValue();
    if (!self.isNumber()) {
        if (number == 2 || number == 5)
            context.throwTypeError(QStringLiteral("Number.prototype.toString called on non-Number object"));
        if (number == 4)
            context.throwTypeError(QStringLiteral("Number.prototype.valueOf called on non-Number object"));
        context.throwTypeError(QStringLiteral("Number.prototype method called on non-Number object"));
    }
    const double x = self.number;
    const ESValue a0 = argument(count, args, 0);
    switch (number) {
    case 2: {
        int radix = a0.isUndefined() ? 10 : int(context.toUint32(a0));
        if (radix == 0)
            radix = 10;
        if (radix < 2 || radix > 36)
            context.throwRangeError(QStringLiteral("radix must be between 2 and 36"));
        return context.newString(radix == 10 ? context.numberText(x) : ESContext::formatNumber(x, radix));
    }
    case 3: {
        const double digits = context.toInteger(a0);
        if (digits < 0 || digits > 20)
            context.throwRangeError(QStringLiteral("fraction digits should 0 through 20"));
        if (std::isnan(x))
            return ESValue::fromAtom(atoms::intern("NaN"));
        if (std::fabs(x) >= 1e21)
            return context.newString(context.numberText(x));
        return context.newString(fixedText(x, int(digits)));
    }
    case 4:
        return ESValue::fromNumber(x);
    case 5:
        return context.newString(context.numberText(x));
    case 6: {
        if (!std::isfinite(x))
            return context.newString(context.numberText(x));
        if (a0.isUndefined()) {
            // As many digits as the value needs.
            char buffer[64];
            for (int p = 0; p <= 20; ++p) {
                std::snprintf(buffer, sizeof buffer, "%.*e", p, x);
                if (std::strtod(buffer, nullptr) == x)
                    break;
            }
            return context.newString(tidyExponent(QString::fromLatin1(buffer)));
        }
        const double digits = context.toInteger(a0);
        if (digits < 0 || digits > 20)
            context.throwRangeError(QStringLiteral("fraction digits should 0 through 20"));
        return context.newString(exponentialText(x, int(digits)));
    }
    case 7: {
        if (a0.isUndefined() || !std::isfinite(x))
            return context.newString(context.numberText(x));
        const double precision = context.toInteger(a0);
        if (precision < 1 || precision > 21)
            context.throwRangeError(QStringLiteral("precision should be 1 through 21"));
        const int p = int(precision) & 31;
        char buffer[400];
        if (x == 0) {
            std::snprintf(buffer, sizeof buffer, "%.*f", p - 1, 0.0);
            return context.newString(QString::fromLatin1(buffer));
        }
        int e = 0;
        const QByteArray digits = significantDigits(x, p, e);
        if (e < -6 || e >= p)
            return context.newString(exponentialText(x, p - 1));
        // Fixed notation of the same rounded digits.
        QString out = x < 0 ? QStringLiteral("-") : QString();
        if (e < 0) {
            out += QStringLiteral("0.") + QString(-e - 1, QLatin1Char('0')) + QString::fromLatin1(digits);
        } else {
            out += QString::fromLatin1(digits.left(e + 1));
            if (p > e + 1)
                out += QLatin1Char('.') + QString::fromLatin1(digits.mid(e + 1));
        }
        return context.newString(out);
    }
    default:
        return ESNativeClass::callMember(context, number, thisValue, count, args);
    }
}

ESObject *ESNativeNumber::constructMember(ESContext &context, int number, int count, ESValue *args)
{
    if (number != 0)
        return ESNativeClass::constructMember(context, number, count, args);
    return context.wrap(ESValue::fromNumber(count == 0 ? 0.0 : context.toNumber(args[0])));
}

} // namespace zim::script
