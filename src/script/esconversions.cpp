// ESContext conversions: to boolean, number, string, object and primitive, number formatting,
// the equality operators, property keys and access by value, wrappers and array conversions.
#include "script/escontext.h"

#include "script/esnativeclasses.h"

#include <charconv>
#include <cmath>
#include <string>
#include <cstdlib>

namespace zim::script {

bool ESContext::isWhiteSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == ' ' || u == '\t' || u == '\n' || u == '\r' || u == 0x0B || u == 0x0C || u == 0xA0 || u == 0x2028
           || u == 0x2029 || u == 0xFEFF || (u > 127 && c.category() == QChar::Separator_Space);
}

double ESContext::parseNumber(const QString &text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && isWhiteSpace(text[b]))
        ++b;
    while (e > b && isWhiteSpace(text[e - 1]))
        --e;
    if (b == e)
        return 0.0;
    const QStringView s = QStringView(text).mid(b, e - b);
    if (s.size() > 2 && s[0] == QLatin1Char('0') && (s[1] == QLatin1Char('x') || s[1] == QLatin1Char('X'))) {
        double v = 0;
        for (qsizetype i = 2; i < s.size(); ++i) {
            const char16_t c = s[i].unicode();
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                return NaN;
            v = v * 16 + d;
        }
        return v;
    }
    // StrDecimalLiteral: [+-] (Infinity | digits [. digits] [e [+-] digits] | . digits [...])
    qsizetype i = 0;
    bool negative = false;
    if (s[0] == QLatin1Char('+') || s[0] == QLatin1Char('-')) {
        negative = s[0] == QLatin1Char('-');
        ++i;
    }
    if (s.mid(i) == QLatin1String("Infinity"))
        return negative ? -Infinity : Infinity;
    auto isDigit = [&](qsizetype k) { return k < s.size() && s[k] >= QLatin1Char('0') && s[k] <= QLatin1Char('9'); };
    const qsizetype start = i;
    int digits = 0;
    while (isDigit(i)) {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == QLatin1Char('.')) {
        ++i;
        while (isDigit(i)) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return NaN;
    if (i < s.size() && (s[i] == QLatin1Char('e') || s[i] == QLatin1Char('E'))) {
        ++i;
        if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
            ++i;
        if (!isDigit(i))
            return NaN;
        while (isDigit(i))
            ++i;
    }
    if (i != s.size())
        return NaN;
    const QByteArray latin = s.mid(start).toLatin1();
    const double v = std::strtod(latin.constData(), nullptr);
    return negative ? -v : v;
}

QString ESContext::formatNumber(double value, int radix)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (value == 0)
        return QStringLiteral("0");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    if (radix < 2 || radix > 36)
        radix = 10;
    const bool integral = std::floor(value) == value;
    if (integral && radix == 10 && std::fabs(value) >= 9.2233720368547758e18)
        return QString::asprintf("%.0f", value);   // integral values print in full
    if (integral && std::fabs(value) < 9.2233720368547758e18) {
        const bool negative = value < 0;
        uint64_t magnitude = uint64_t(negative ? -int64_t(value) : int64_t(value));
        char buffer[72];
        char *p = buffer + sizeof buffer;
        *--p = 0;
        do {
            *--p = digits[magnitude % unsigned(radix)];
            magnitude /= unsigned(radix);
        } while (magnitude);
        if (negative)
            *--p = '-';
        return QString::fromLatin1(p);
    }
    if (radix == 10 || !integral) {
        if (radix != 10) {
            // Fractions in other radixes: the integral part, then up to 52 fraction digits.
            const bool negative = value < 0;
            double v = std::fabs(value);
            double ip = std::floor(v);
            double fp = v - ip;
            QString out = formatNumber(ip, radix);
            out += QLatin1Char('.');
            for (int i = 0; i < 52 && fp > 0; ++i) {
                fp *= radix;
                const int d = int(fp);
                out += QLatin1Char(digits[d]);
                fp -= d;
            }
            return negative ? QLatin1Char('-') + out : out;
        }
        return QString::asprintf("%g", value);
    }
    return QString::asprintf("%g", value);
}

QString ESContext::formatShortest(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (value == 0)
        return QStringLiteral("0");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    // The shortest digits that read back as the value, and the decimal exponent n of the
    // standard's layout (value = 0.d1d2...dk times ten to the n).
    char buffer[64];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                                 std::chars_format::scientific);
    *r.ptr = 0;
    std::string digits;
    const char *p = buffer;
    for (; *p && *p != 'e'; ++p)
        if (*p != '.')
            digits += *p;
    const int n = std::atoi(p + 1) + 1;
    const int k = int(digits.size());
    std::string out = value < 0 ? "-" : "";
    if (k <= n && n <= 21) {
        out += digits + std::string(size_t(n - k), '0');
    } else if (0 < n && n <= 21) {
        out += digits.substr(0, size_t(n)) + '.' + digits.substr(size_t(n));
    } else if (-6 < n && n <= 0) {
        out += "0." + std::string(size_t(-n), '0') + digits;
    } else {
        out += digits.substr(0, 1);
        if (k > 1)
            out += '.' + digits.substr(1);
        out += (n - 1 < 0 ? "e-" : "e+") + std::to_string(std::abs(n - 1));
    }
    return QString::fromLatin1(out.c_str());
}

bool ESContext::toBoolean(const ESValue &v)
{
    switch (v.kind) {
    case ESUndefined:
    case ESNull:
        return false;
    case ESBoolean:
        return v.number != 0.0;
    case ESNumber:
        return v.number != 0.0 && v.number == v.number;
    case ESStringKind:
    case ESAtomKind:
        return !v.text().isEmpty();
    case ESObjectKind:
        return true;
    default:
        throw ESFatalError(QStringLiteral("bad type in toBoolean"));
    }
}

double ESContext::toNumber(const ESValue &v)
{
    switch (v.kind) {
    case ESUndefined:
        return NaN;
    case ESNull:
        return 0.0;
    case ESBoolean:
    case ESNumber:
        return v.number;
    case ESStringKind:
    case ESAtomKind:
        return parseNumber(v.text());
    case ESObjectKind:
        return toNumber(toPrimitive(v, 3));
    default:
        throw ESFatalError(QStringLiteral("bad type in toNumber"));
    }
}

QString ESContext::toString(const ESValue &v)
{
    switch (v.kind) {
    case ESUndefined:
        return QStringLiteral("undefined");
    case ESNull:
        return QStringLiteral("null");
    case ESBoolean:
        return v.number != 0.0 ? QStringLiteral("true") : QStringLiteral("false");
    case ESNumber:
        return numberText(v.number);
    case ESStringKind:
    case ESAtomKind:
        return v.text();
    case ESObjectKind:
        return toString(toPrimitive(v, 4));
    default:
        throw ESFatalError(QStringLiteral("unknown type in toString"));
    }
}

ESValue ESContext::toStringValue(const ESValue &v)
{
    if (v.isString())
        return v;
    return newString(toString(v));
}

ESObject *ESContext::toObject(const ESValue &v)
{
    switch (v.kind) {
    case ESUndefined:
        throwTypeError(QStringLiteral("can't convert undefined to an object"));
    case ESNull:
        throwTypeError(QStringLiteral("can't convert null to an object"));
    case ESBoolean:
    case ESNumber:
    case ESStringKind:
    case ESAtomKind:
        return wrap(v);
    case ESObjectKind:
        return v.object;
    default:
        throw ESFatalError(QStringLiteral("unknown type in toObject"));
    }
}

ESValue ESContext::toPrimitive(const ESValue &v, int hint)
{
    if (!v.isObject())
        return v;
    // The loader dialect gives the global object a fixed text; the standard dialect converts it
    // as any object, through its own toString and valueOf.
    if (!standard() && v.object == m_global && m_global->cls == globalClass)
        return m_global->internalValue();
    const ESValue result = defaultValue(v.object, hint);
    if (result.isObject())
        throw ESFatalError(QStringLiteral("bad type in toPrimitive"));
    return result;
}

ESValue ESContext::defaultValue(ESObject *object, int hint)
{
    const bool stringFirst = hint == 4 || (hint == 6 && object->cls == dateClass);
    ESAtom *order[2] = {stringFirst ? toStringAtom : valueOfAtom, stringFirst ? valueOfAtom : toStringAtom};
    for (ESAtom *name : order) {
        const ESValue method = get(object, name);
        if (method.isObject() && method.object->isCallable()) {
            const ESValue result = call(method.object, ESValue::fromObject(object), 0, nullptr);
            if (!result.isObject())
                return result;
        }
    }
    throwTypeError(QStringLiteral("type error: no default value"));
}

double ESContext::toInteger(const ESValue &v)
{
    const double d = toNumber(v);
    if (std::isnan(d))
        return 0;
    if (d == 0 || std::isinf(d))
        return d;
    return d < 0 ? -std::floor(-d) : std::floor(d);
}

uint32_t ESContext::toUint32(const ESValue &v)
{
    const double d = v.kind == ESNumber ? v.number : toNumber(v);
    if (d >= 0 && d < 4294967296.0)
        return uint32_t(d);
    if (std::isnan(d) || std::isinf(d) || d == 0)
        return 0;
    double t = d < 0 ? -std::floor(-d) : std::floor(d);
    t = std::fmod(t, 4294967296.0);
    if (t < 0)
        t += 4294967296.0;
    return uint32_t(t);
}

bool ESContext::strictEquals(const ESValue &a, const ESValue &b)
{
    if (a.isString() && b.isString())
        return a.kind == ESAtomKind && b.kind == ESAtomKind ? a.atom == b.atom : a.text() == b.text();
    if (a.kind != b.kind)
        return false;
    switch (a.kind) {
    case ESUndefined:
    case ESNull:
        return true;
    case ESBoolean:
    case ESNumber:
        return a.number == b.number;
    case ESObjectKind:
        return a.object == b.object;
    default:
        return false;
    }
}

bool ESContext::equals(const ESValue &x, const ESValue &y)
{
    ESValue a = x, b = y;
    for (;;) {
        if ((a.isString() && b.isString()) || a.kind == b.kind)
            return strictEquals(a, b);
        // The standard counts null and undefined equal to each other and to nothing else.
        if ((a.isUndefined() || a.isNull()) && (b.isUndefined() || b.isNull()))
            return standard();
        if (a.isNumber() && b.isString()) {
            b = ESValue::fromNumber(toNumber(b));
        } else if (a.isString() && b.isNumber()) {
            a = ESValue::fromNumber(toNumber(a));
        } else if (a.isBoolean()) {
            a = ESValue::fromNumber(a.number);
        } else if (b.isBoolean()) {
            b = ESValue::fromNumber(b.number);
        } else if (a.isObject() && (b.isString() || b.isNumber())) {
            a = toPrimitive(a);
        } else if (b.isObject() && (a.isString() || a.isNumber())) {
            b = toPrimitive(b);
        } else {
            return false;
        }
    }
}

QString ESContext::typeOf(const ESValue &v) const
{
    switch (v.kind) {
    case ESUndefined: return QStringLiteral("undefined");
    case ESNull: return QStringLiteral("object");
    case ESBoolean: return QStringLiteral("boolean");
    case ESNumber: return QStringLiteral("number");
    case ESStringKind:
    case ESAtomKind: return QStringLiteral("string");
    default: return v.object->isCallable() ? QStringLiteral("function") : QStringLiteral("object");
    }
}

ESAtom *ESContext::atomFor(const ESValue &value)
{
    switch (value.kind) {
    case ESAtomKind:
        return value.atom;
    case ESStringKind:
        if (!value.string->atom)
            value.string->atom = atoms::internComputed(value.string->flat());
        return value.string->atom;
    case ESNumber:
        if (value.number >= 0 && value.number < 100 && double(int(value.number)) == value.number)
            return atoms::forIndex(uint32_t(value.number));
        return atoms::internComputed(numberText(value.number));
    default:
        return atoms::internComputed(toString(value));
    }
}

ESObject *ESContext::wrap(const ESValue &primitive)
{
    ESObject *o;
    if (primitive.isBoolean()) {
        o = newObject(booleanPrototype, booleanClass);
        o->internalValue() = primitive;
    } else if (primitive.isNumber()) {
        o = newObject(numberPrototype, numberClass);
        o->internalValue() = primitive;
    } else {
        o = newObject(stringPrototype, stringClass);
        o->internalValue() = primitive.kind == ESAtomKind ? primitive : ESValue::fromAtom(atoms::intern(primitive.text()));
    }
    return o;
}

ESValue ESContext::unwrap(const ESValue &value) const
{
    if (value.isObject()) {
        ESClass *c = value.object->cls;
        if (c == stringClass || c == numberClass || c == booleanClass)
            return value.object->internalValue();
    }
    return value;
}

static bool arrayIndexOf(const ESValue &key, uint32_t &index)
{
    if (key.kind == ESNumber) {
        const double d = key.number;
        if (d >= 0 && d < 4294967295.0 && double(uint32_t(d)) == d) {
            index = uint32_t(d);
            return true;
        }
        return false;
    }
    if (key.kind == ESAtomKind && key.atom->arrayIndex >= 0) {
        index = uint32_t(key.atom->arrayIndex);
        return true;
    }
    return false;
}

ESValue ESContext::getByValue(const ESValue &objectValue, const ESValue &key)
{
    uint32_t index;
    if (objectValue.kind == ESObjectKind) {
        ESObject *o = objectValue.object;
        if (arrayIndexOf(key, index)) {
            ESValue v;
            o->cls->getIndex(*this, o, index, v);
            return v;
        }
        return o->cls->get(*this, o, atomFor(key));
    }
    if (objectValue.isString()) {
        if (arrayIndexOf(key, index)) {
            const QString &text = objectValue.text();
            return index < uint32_t(text.size()) ? characterString(*this, text[index]) : get(stringPrototype, atomFor(key));
        }
        ESAtom *atom = atomFor(key);
        // A concatenation knows its length without being flattened.
        if (atom == lengthAtom)
            return ESValue::fromNumber(double(objectValue.kind == ESAtomKind ? objectValue.atom->text.size()
                                                                              : objectValue.string->length));
        return get(stringPrototype, atom);
    }
    if (objectValue.isNumber())
        return get(numberPrototype, atomFor(key));
    if (objectValue.isBoolean())
        return get(booleanPrototype, atomFor(key));
    if (standard() && (objectValue.isUndefined() || objectValue.isNull()))
        throwTypeError(QStringLiteral("cannot read property '%1' of %2").arg(toString(key), toString(objectValue)));
    ESObject *o = toObject(objectValue);   // throws for undefined and null
    return get(o, atomFor(key));
}

ESValue ESContext::memberKey(const ESValue &object, const ESValue &key, bool read)
{
    if (object.isUndefined() || object.isNull()) {
        if (standard()) {
            const QString verb = read ? QStringLiteral("read") : QStringLiteral("set");
            // An object key is not named: naming it would run its toString before the failure.
            throwTypeError(key.kind == ESObjectKind
                               ? QStringLiteral("cannot %1 a property of %2").arg(verb, toString(object))
                               : QStringLiteral("cannot %1 property '%2' of %3").arg(verb, toString(key), toString(object)));
        }
        toObject(object);   // throws the loader dialect's error for undefined and null
    }
    return key.kind == ESObjectKind ? toStringValue(key) : key;
}

void ESContext::putByValue(const ESValue &objectValue, const ESValue &key, const ESValue &value)
{
    if (objectValue.kind != ESObjectKind) {
        if (standard() && (objectValue.isUndefined() || objectValue.isNull()))
            throwTypeError(QStringLiteral("cannot set property '%1' of %2").arg(toString(key), toString(objectValue)));
        toObject(objectValue);   // throws for undefined and null; a wrapper would be dropped
        return;
    }
    ESObject *o = objectValue.object;
    uint32_t index;
    if (arrayIndexOf(key, index)) {
        o->cls->putIndex(*this, o, index, value);
        return;
    }
    o->cls->put(*this, o, atomFor(key), value);
}

bool ESContext::hasOwnProperty(ESObject *object, ESAtom *atom)
{
    ESValue ignored;
    return object->cls->getOwn(*this, object, atom, ignored);
}

bool ESContext::hasProperty(ESObject *object, ESAtom *atom)
{
    for (ESObject *o = object; o; o = o->prototype)
        if (hasOwnProperty(o, atom))
            return true;
    return false;
}

bool ESContext::isArray(const ESValue &value) const
{
    return value.isObject() && value.object->cls == arrayClass;
}

ESObject *ESContext::arrayFromValues(int count, const ESValue *values)
{
    ESObject *a = newArray(0);
    a->elements().assign(values, values + count);
    a->length = uint32_t(count);
    return a;
}

ESObject *ESContext::arrayFromBytes(const QByteArray &bytes)
{
    ESObject *a = newArray(uint32_t(bytes.size()));
    a->elements().reserve(size_t(bytes.size()));
    for (char b : bytes)
        a->elements().push_back(ESValue::fromNumber(uint8_t(b)));
    return a;
}

ESObject *ESContext::arrayFromWords16(const std::vector<uint16_t> &words)
{
    ESObject *a = newArray(uint32_t(words.size()));
    for (uint16_t w : words)
        a->elements().push_back(ESValue::fromNumber(w));
    return a;
}

ESObject *ESContext::arrayFromWords32(const std::vector<uint32_t> &words)
{
    ESObject *a = newArray(uint32_t(words.size()));
    for (uint32_t w : words)
        a->elements().push_back(ESValue::fromNumber(w));
    return a;
}

QByteArray ESContext::bytesFromArray(const ESValue &value)
{
    if (!isArray(value))
        throwPlainError(QStringLiteral("array argument expected"));
    const uint32_t n = value.object->length;
    QByteArray bytes;
    bytes.reserve(n);
    for (uint32_t i = 0; i < n; ++i)
        bytes.append(char(toUint32(getByValue(value, ESValue::fromNumber(i)))));
    return bytes;
}

std::vector<uint16_t> ESContext::words16FromArray(const ESValue &value)
{
    if (!isArray(value))
        throwPlainError(QStringLiteral("array argument expected"));
    std::vector<uint16_t> words;
    for (uint32_t i = 0; i < value.object->length; ++i)
        words.push_back(uint16_t(toUint32(getByValue(value, ESValue::fromNumber(i)))));
    return words;
}

std::vector<uint32_t> ESContext::words32FromArray(const ESValue &value)
{
    if (!isArray(value))
        throwPlainError(QStringLiteral("array argument expected"));
    std::vector<uint32_t> words;
    for (uint32_t i = 0; i < value.object->length; ++i)
        words.push_back(toUint32(getByValue(value, ESValue::fromNumber(i))));
    return words;
}

} // namespace zim::script
