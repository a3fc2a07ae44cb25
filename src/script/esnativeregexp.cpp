// RegExp: pattern objects backed by QRegularExpression, with the flags g, i and m, lastIndex,
// source, exec and test.
#include "script/esnativeclasses.h"

#include <QRegularExpression>

namespace zim::script {

namespace {

struct RegExpData
{
    QRegularExpression expression;
    QString source;
    bool global = false;
    bool ignoreCase = false;
    bool multiline = false;
};

RegExpData *dataOf(ESObject *o)
{
    return static_cast<RegExpData *>(o->data);
}

// The pattern in the library's syntax: \uXXXX becomes \x{XXXX}, [^] any character, $ the end only.
QString translate(const QString &pattern, bool multiline)
{
    QString out;
    bool inClass = false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == QLatin1Char('\\') && i + 1 < pattern.size()) {
            if (pattern[i + 1] == QLatin1Char('u') && i + 5 < pattern.size()) {
                out += QStringLiteral("\\x{") + pattern.mid(i + 2, 4) + QLatin1Char('}');
                i += 5;
                continue;
            }
            out += c;
            out += pattern[++i];
            continue;
        }
        if (!inClass && c == QLatin1Char('[') && pattern.mid(i, 3) == QLatin1String("[^]")) {
            out += QStringLiteral("[\\s\\S]");
            i += 2;
            continue;
        }
        if (c == QLatin1Char('['))
            inClass = true;
        else if (c == QLatin1Char(']'))
            inClass = false;
        else if (!inClass && c == QLatin1Char('$') && !multiline) {
            out += QStringLiteral("(?!(?s:.))");
            continue;
        }
        out += c;
    }
    return out;
}

} // namespace

void ESNativeRegExp::setUp(ESContext &context)
{
    ESObject *p = context.regexpPrototype;
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
    auto data = std::make_unique<RegExpData>();
    data->source = source;
    for (QChar f : flags) {
        bool *flag = f == QLatin1Char('g') ? &data->global : f == QLatin1Char('i') ? &data->ignoreCase
                     : f == QLatin1Char('m') ? &data->multiline : nullptr;
        if (!flag || *flag)
            context.throwError(context.syntaxErrorClass, QStringLiteral("invalid regular expression flags '") + flags + QLatin1Char('\''));
        *flag = true;
    }
    QRegularExpression::PatternOptions options = QRegularExpression::NoPatternOption;
    if (data->ignoreCase)
        options |= QRegularExpression::CaseInsensitiveOption;
    if (data->multiline)
        options |= QRegularExpression::MultilineOption;
    data->expression = QRegularExpression(translate(source, data->multiline), options);
    if (!data->expression.isValid())
        context.throwError(context.syntaxErrorClass,
                           QStringLiteral("invalid regular expression: ") + data->expression.errorString());
    ESObject *o = context.newObject(prototype, this);
    const uint32_t fixed = ReadOnly | DontEnum | DontDelete;
    o->define(atoms::intern("source"), context.newString(source), fixed);
    o->define(atoms::intern("global"), ESValue::boolean(data->global), fixed);
    o->define(atoms::intern("ignoreCase"), ESValue::boolean(data->ignoreCase), fixed);
    o->define(atoms::intern("multiline"), ESValue::boolean(data->multiline), fixed);
    o->define(context.lastIndexAtom, ESValue::fromNumber(0), DontEnum | DontDelete);
    o->data = data.release();
    return o;
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

ESValue ESNativeRegExp::exec(ESContext &context, ESObject *regexp, const QString &input)
{
    RegExpData *d = dataOf(regexp);
    double start = 0;
    if (d->global) {
        start = context.toInteger(context.get(regexp, context.lastIndexAtom));
        if (start < 0 || start > input.size()) {
            context.put(regexp, context.lastIndexAtom, ESValue::fromNumber(0));
            return ESValue::null();
        }
    }
    const QRegularExpressionMatch m = d->expression.match(input, qsizetype(start));
    if (!m.hasMatch()) {
        if (d->global)
            context.put(regexp, context.lastIndexAtom, ESValue::fromNumber(0));
        return ESValue::null();
    }
    if (d->global)
        context.put(regexp, context.lastIndexAtom, ESValue::fromNumber(double(m.capturedEnd(0))));
    ESObject *result = context.newArray(0);
    const int groups = d->expression.captureCount();
    for (int i = 0; i <= groups; ++i) {
        if (m.capturedStart(i) < 0)
            putIndex(context, result, uint32_t(i), ESValue());
        else
            putIndex(context, result, uint32_t(i), context.newString(m.captured(i)));
    }
    context.arrayClass->setLength(context, result, uint32_t(groups + 1));
    result->define(context.indexAtom, ESValue::fromNumber(double(m.capturedStart(0))), 0);
    result->define(context.inputAtom, context.newString(input), 0);
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
        return exec(context, re, context.toString(argument(count, args, 0)));
    case 2:
        return ESValue::boolean(!exec(context, re, context.toString(argument(count, args, 0))).isNull());
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
