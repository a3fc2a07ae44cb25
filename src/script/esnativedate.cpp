// Date: time values counted in milliseconds from the start of Julian day 0 on the local clock,
// the constructor with its forms, Date.parse and Date.UTC, and the getters, setters and texts.
#include "script/esnativeclasses.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>
#include <array>
#include <cmath>

namespace zim::script {

namespace {

constexpr double MsPerDay = 86400000.0;
constexpr double UnixEpochJulianDay = 2440588.0;

double floorDiv(double a, double b)
{
    return std::floor(a / b);
}

// The Julian Day Number of a proleptic Gregorian date (month 1..12).
double julianDay(double year, double month, double day)
{
    const double a = floorDiv(14 - month, 12);
    const double y = year + 4800 - a;
    const double m = month + 12 * a - 3;
    return day + floorDiv(153 * m + 2, 5) + 365 * y + floorDiv(y, 4) - floorDiv(y, 100) + floorDiv(y, 400) - 32045;
}

struct Fields
{
    double year, month, day, hours, minutes, seconds, ms, weekDay;   // month 0..11
};

Fields fieldsOf(double tv)
{
    const double jdn = std::floor(tv / MsPerDay);
    double msInDay = tv - jdn * MsPerDay;
    // The inverse of julianDay.
    const double a = jdn + 32044;
    const double b = floorDiv(4 * a + 3, 146097);
    const double c = a - floorDiv(146097 * b, 4);
    const double d = floorDiv(4 * c + 3, 1461);
    const double e = c - floorDiv(1461 * d, 4);
    const double m = floorDiv(5 * e + 2, 153);
    Fields f;
    f.day = e - floorDiv(153 * m + 2, 5) + 1;
    f.month = m + 3 - 12 * floorDiv(m, 10) - 1;
    f.year = 100 * b + d - 4800 + floorDiv(m, 10);
    f.hours = std::floor(msInDay / 3600000);
    msInDay -= f.hours * 3600000;
    f.minutes = std::floor(msInDay / 60000);
    msInDay -= f.minutes * 60000;
    f.seconds = std::floor(msInDay / 1000);
    f.ms = msInDay - f.seconds * 1000;
    f.weekDay = std::fmod(jdn + 1, 7);
    if (f.weekDay < 0)
        f.weekDay += 7;
    return f;
}

double makeTime(double year, double month, double day, double h, double min, double s, double ms)
{
    for (double v : {year, month, day, h, min, s, ms})
        if (!std::isfinite(v))
            return NaN;
    year = std::trunc(year) + floorDiv(std::trunc(month), 12);
    month = std::trunc(month) - 12 * floorDiv(std::trunc(month), 12);
    const double jdn = julianDay(year, month + 1, 1) + std::trunc(day) - 1;
    return jdn * MsPerDay + std::trunc(h) * 3600000 + std::trunc(min) * 60000 + std::trunc(s) * 1000 + std::trunc(ms);
}

double timeClip(double tv)
{
    if (!std::isfinite(tv) || std::fabs(tv - UnixEpochJulianDay * MsPerDay) > 8.64e15)
        return NaN;
    return std::trunc(tv);
}

// Local time value <-> milliseconds since 1970 UTC.
double localToUtcEpoch(double tv)
{
    const double localEpoch = tv - UnixEpochJulianDay * MsPerDay;
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(qint64(localEpoch), Qt::UTC);
    QDateTime asLocal(local.date(), local.time(), Qt::LocalTime);
    if (!asLocal.isValid())
        return localEpoch;
    return double(asLocal.toMSecsSinceEpoch());
}

double utcEpochToLocal(double utc)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(qint64(utc), Qt::LocalTime);
    return utc + double(local.offsetFromUtc()) * 1000 + UnixEpochJulianDay * MsPerDay;
}

double utcFieldsToLocal(double utcTv)
{
    return utcEpochToLocal(utcTv - UnixEpochJulianDay * MsPerDay);
}

QDateTime localDateTime(double tv)
{
    const QDateTime fields = QDateTime::fromMSecsSinceEpoch(qint64(tv - UnixEpochJulianDay * MsPerDay), Qt::UTC);
    return QDateTime(fields.date(), fields.time(), Qt::LocalTime);
}

double now()
{
    const QDateTime current = QDateTime::currentDateTime();
    return utcEpochToLocal(double(current.toMSecsSinceEpoch()));
}

double clipUnixTime(double ms)
{
    if (!std::isfinite(ms) || std::fabs(ms) > 8.64e15)
        return NaN;
    return std::trunc(ms) + 0.0;
}

// The year, month, day, hours, minutes, seconds and milliseconds of Date(y, m, ...) and
// Date.UTC, converted left to right; a two-digit year counts from 1900.
std::array<double, 7> dateFields(ESContext &context, int count, const ESValue *args)
{
    std::array<double, 7> v = {NaN, 0, 1, 0, 0, 0, 0};
    for (int i = 0; i < count && i < 7; ++i)
        v[size_t(i)] = context.toNumber(args[i]);
    if (count < 2)
        v[1] = NaN;
    if (std::isfinite(v[0]) && std::trunc(v[0]) >= 0 && std::trunc(v[0]) <= 99)
        v[0] = 1900 + std::trunc(v[0]);
    return v;
}

double parseDate(const QString &text)
{
    const QString t = text.trimmed();
    for (Qt::DateFormat format : {Qt::TextDate, Qt::ISODateWithMs, Qt::ISODate, Qt::RFC2822Date}) {
        QDateTime dt = QDateTime::fromString(t, format);
        if (dt.isValid())
            return utcEpochToLocal(double(dt.toMSecsSinceEpoch()));
    }
    const QLocale c = QLocale::c();
    for (const char *format : {"ddd, dd MMM yyyy hh:mm:ss 'GMT'", "ddd MMM d yyyy hh:mm:ss", "MMM d, yyyy",
                               "MMM d, yyyy hh:mm:ss", "yyyy/MM/dd", "MM/dd/yyyy", "ddd MMM d yyyy"}) {
        QDateTime dt = c.toDateTime(t, QString::fromLatin1(format));
        if (dt.isValid()) {
            if (QByteArray(format).contains("GMT"))
                dt.setTimeSpec(Qt::UTC);
            return utcEpochToLocal(double(dt.toMSecsSinceEpoch()));
        }
    }
    return NaN;
}

} // namespace

double ESNativeDate::toUnixTime(double tv)
{
    return std::isfinite(tv) ? localToUtcEpoch(tv) : NaN;
}

double ESNativeDate::fromUnixTime(double ms)
{
    const double clipped = clipUnixTime(ms);
    return std::isnan(clipped) ? NaN : utcEpochToLocal(clipped);
}

double ESNativeDate::currentUnixTime()
{
    return double(QDateTime::currentMSecsSinceEpoch());
}

QString ESNativeDate::isoText(double ms)
{
    const Fields f = fieldsOf(ms + UnixEpochJulianDay * MsPerDay);
    const QString year = f.year >= 0 && f.year <= 9999 ? QString::asprintf("%04d", int(f.year))
                                                       : QString::asprintf("%+07d", int(f.year));
    return year + QString::asprintf("-%02d-%02dT%02d:%02d:%02d.%03dZ", int(f.month) + 1, int(f.day), int(f.hours),
                                    int(f.minutes), int(f.seconds), int(f.ms));
}

void ESNativeDate::setUp(ESContext &context)
{
    ESObject *p = context.datePrototype;
    ESObject *ctor = addConstructor(context, "Date", 7, p);
    addMethod(context, ctor, "parse", "Date.parse", 1, 42);
    addMethod(context, ctor, "UTC", "Date.UTC", 7, 43);
    const char *names[] = {"toString", "toDateString", "toTimeString", "toLocaleString", "toLocaleDateString",
                           "toLocaleTimeString", "valueOf", "getTime", "getFullYear", "getUTCFullYear", "getMonth",
                           "getUTCMonth", "getDate", "getUTCDate", "getDay", "getUTCDay", "getHours", "getUTCHours",
                           "getMinutes", "getUTCMinutes", "getSeconds", "getUTCSeconds", "getMilliseconds",
                           "getUTCMilliseconds", "getTimezoneOffset", "setTime", "setMilliseconds",
                           "setUTCMilliseconds", "setSeconds", "setUTCSeconds", "setMinutes", "setUTCMinutes",
                           "setHours", "setUTCHours", "setDate", "setUTCDate", "setMonth", "setUTCMonth",
                           "setFullYear", "setUTCFullYear", "toUTCString"};
    const int arity[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                         1, 1, 1, 2, 2, 3, 3, 4, 4, 1, 1, 2, 2, 3, 3, 0};
    for (int i = 0; i < 41; ++i)
        addMethod(context, p, names[i], (QByteArray("Date.prototype.") + names[i]).constData(), arity[i], i + 1);
}

ESValue ESNativeDate::callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args)
{
    auto num = [&](int i) { return context.toNumber(argument(count, args, i)); };
    if (number == 0) {
        const QDateTime dt = localDateTime(now());
        return context.newString(dt.toString(Qt::TextDate));
    }
    if (number == 42) {
        const double tv = parseDate(context.toString(argument(count, args, 0)));
        return ESValue::fromNumber(context.standard() ? toUnixTime(tv) : tv);
    }
    if (number == 43) {
        const std::array<double, 7> v = dateFields(context, count, args);
        const double utc = makeTime(v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
        if (context.standard())
            return ESValue::fromNumber(clipUnixTime(utc - UnixEpochJulianDay * MsPerDay));
        return ESValue::fromNumber(std::isnan(utc) ? NaN : timeClip(utcFieldsToLocal(utc)));
    }
    if (!thisValue.isObject() || thisValue.object->cls != this)
        context.throwTypeError(QStringLiteral("Date object required"));
    ESObject *date = thisValue.object;
    const double tv = date->internalValue().number;
    const bool invalid = std::isnan(tv);
    if (number >= 1 && number <= 6) {
        if (invalid)
            return ESValue::fromAtom(atoms::intern("Invalid Date"));
        const QDateTime dt = localDateTime(tv);
        switch (number) {
        case 1: return context.newString(dt.toString(Qt::TextDate));
        case 2: return context.newString(dt.date().toString(Qt::TextDate));
        case 3: return context.newString(dt.time().toString(Qt::TextDate));
        case 4: return context.newString(QLocale().toString(dt, QLocale::LongFormat));
        case 5: return context.newString(QLocale().toString(dt.date(), QLocale::LongFormat));
        default: return context.newString(QLocale().toString(dt.time(), QLocale::LongFormat));
        }
    }
    if (number == 41) {
        if (invalid)
            return ESValue::fromAtom(atoms::intern("Invalid Date"));
        const QDateTime utc = QDateTime::fromMSecsSinceEpoch(qint64(localToUtcEpoch(tv)), Qt::UTC);
        return context.newString(QLocale::c().toString(utc, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")));
    }
    if (number == 7 || number == 8)
        return ESValue::fromNumber(context.standard() ? toUnixTime(tv) : tv);
    if (number >= 9 && number <= 25) {
        if (invalid)
            return ESValue::fromNumber(NaN);
        const double utcTv = localToUtcEpoch(tv) + UnixEpochJulianDay * MsPerDay;
        if (number == 25)
            return ESValue::fromNumber((utcTv - tv) / 60000);
        const bool utc = number % 2 == 0;
        const Fields f = fieldsOf(utc ? utcTv : tv);
        switch ((number - 9) / 2) {
        case 0: return ESValue::fromNumber(f.year);
        case 1: return ESValue::fromNumber(f.month);
        case 2: return ESValue::fromNumber(f.day);
        case 3: return ESValue::fromNumber(f.weekDay);
        case 4: return ESValue::fromNumber(f.hours);
        case 5: return ESValue::fromNumber(f.minutes);
        case 6: return ESValue::fromNumber(f.seconds);
        default: return ESValue::fromNumber(f.ms);
        }
    }
    if (number == 26) {
        if (context.standard()) {
            date->internalValue() = ESValue::fromNumber(fromUnixTime(num(0)));
            return ESValue::fromNumber(toUnixTime(date->internalValue().number));
        }
        date->internalValue() = ESValue::fromNumber(timeClip(num(0)));
        return date->internalValue();
    }
    if (number >= 27 && number <= 40) {
        const bool utc = number % 2 == 0;
        const bool yearSetter = number >= 39;
        if (invalid && !yearSetter)
            return ESValue::fromNumber(NaN);
        const double base = invalid ? (utc ? 0 : 0) + UnixEpochJulianDay * MsPerDay
                                    : (utc ? localToUtcEpoch(tv) + UnixEpochJulianDay * MsPerDay : tv);
        Fields f = fieldsOf(base);
        auto arg = [&](int i, double fallback) { return i < count ? num(i) : fallback; };
        switch ((number - 27) / 2) {
        case 0: f.ms = arg(0, f.ms); break;
        case 1: f.seconds = arg(0, f.seconds); f.ms = arg(1, f.ms); break;
        case 2: f.minutes = arg(0, f.minutes); f.seconds = arg(1, f.seconds); f.ms = arg(2, f.ms); break;
        case 3:
            f.hours = arg(0, f.hours); f.minutes = arg(1, f.minutes); f.seconds = arg(2, f.seconds); f.ms = arg(3, f.ms);
            break;
        case 4: f.day = arg(0, f.day); break;
        case 5: f.month = arg(0, f.month); f.day = arg(1, f.day); break;
        default: f.year = arg(0, f.year); f.month = arg(1, f.month); f.day = arg(2, f.day); break;
        }
        double result = makeTime(f.year, f.month, f.day, f.hours, f.minutes, f.seconds, f.ms);
        if (utc && !std::isnan(result))
            result = utcFieldsToLocal(result);
        date->internalValue() = ESValue::fromNumber(timeClip(result));
        if (context.standard())
            return ESValue::fromNumber(toUnixTime(date->internalValue().number));
        return date->internalValue();
    }
    return ESNativeClass::callMember(context, number, thisValue, count, args);
}

ESObject *ESNativeDate::constructMember(ESContext &context, int number, int count, ESValue *args)
{
    if (number != 0)
        return ESNativeClass::constructMember(context, number, count, args);
    double tv;
    if (count == 0) {
        tv = now();
    } else if (count == 1) {
        const ESValue v = context.toPrimitive(args[0]);
        if (v.isString())
            tv = parseDate(v.text());
        else if (context.standard())
            tv = fromUnixTime(context.toNumber(v));
        else
            tv = timeClip(context.toNumber(v));
    } else {
        const std::array<double, 7> v = dateFields(context, count, args);
        tv = timeClip(makeTime(v[0], v[1], v[2], v[3], v[4], v[5], v[6]));
    }
    ESObject *date = context.newObject(prototype, this);
    date->internalValue() = ESValue::fromNumber(tv);
    return date;
}

} // namespace zim::script
