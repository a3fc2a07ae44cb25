// String: the constructor, String objects' length and characters, and String.prototype's members,
// with match, replace, search and split taking strings or RegExp objects.
#include "script/esnativeclasses.h"

#include <QRegularExpression>
#include <cmath>

namespace zim::script {

namespace {

// Appends a replacement text with its $ patterns expanded. spans holds the match's start and end
// and then each group's (-1 for a group that took no part), groups pairs after the first.
void expand(QString &out, const QString &replacement, QStringView input, const qsizetype *spans, int groups)
{
    const qsizetype position = spans[0];
    const qsizetype end = spans[1];
    for (qsizetype i = 0; i < replacement.size(); ++i) {
        const QChar c = replacement[i];
        if (c != QLatin1Char('$') || i + 1 >= replacement.size()) {
            out += c;
            continue;
        }
        const QChar n = replacement[i + 1];
        if (n == QLatin1Char('$')) {
            out += QLatin1Char('$');
            ++i;
        } else if (n == QLatin1Char('&')) {
            out += input.mid(position, end - position);
            ++i;
        } else if (n == QLatin1Char('`')) {
            out += input.left(position);
            ++i;
        } else if (n == QLatin1Char('\'')) {
            out += input.mid(end);
            ++i;
        } else if (n.isDigit() && n.unicode() < 128) {
            int index = n.unicode() - '0';
            int used = 1;
            if (i + 2 < replacement.size() && replacement[i + 2].isDigit() && replacement[i + 2].unicode() < 128) {
                const int two = index * 10 + (replacement[i + 2].unicode() - '0');
                if (two >= 1 && two <= groups) {
                    index = two;
                    used = 2;
                }
            }
            if (index >= 1 && index <= groups) {
                const qsizetype s0 = spans[2 * index];
                if (s0 >= 0)
                    out += input.mid(s0, spans[2 * index + 1] - s0);
                i += used;
            } else {
                out += c;
            }
        } else {
            out += c;
        }
    }
}

ESValue stringThis(ESContext &context, const ESValue &thisValue)
{
    if (thisValue.isString())
        return thisValue;
    if (thisValue.isObject() && thisValue.object->cls == context.stringClass)
        return thisValue.object->internalValue();
    if (thisValue.isUndefined() || thisValue.isNull())
        context.toObject(thisValue);
    return context.newString(context.toString(thisValue));
}

} // namespace

void ESNativeString::setUp(ESContext &context)
{
    ESObject *p = context.stringPrototype;
    m_emptyAtom = atoms::intern("");
    ESObject *ctor = addConstructor(context, "String", 1, p);
    addMethod(context, ctor, "fromCharCode", "String.fromCharCode", 1, 1);
    const char *names[] = {"toString", "valueOf", "charAt", "charCodeAt", "concat", "indexOf", "lastIndexOf",
                           "localeCompare", "match", "replace", "search", "slice", "split", "substring",
                           "toLowerCase", "toLocaleLowerCase", "toUpperCase", "toLocaleUpperCase", "substr"};
    const int arity[] = {0, 0, 1, 1, 1, 1, 1, 1, 1, 2, 1, 2, 2, 2, 0, 0, 0, 0, 2};
    for (int i = 0; i < 19; ++i)
        addMethod(context, p, names[i], (QByteArray("String.prototype.") + names[i]).constData(), arity[i], i + 2);
}

bool ESNativeString::getOwn(ESContext &context, ESObject *object, ESAtom *atom, ESValue &value)
{
    // String's native methods share this class and hold their name as internal value.
    if (object->internalValue().isString() && !object->callCode) {
        const QString &text = object->internalValue().text();
        if (atom == context.lengthAtom) {
            value = ESValue::fromNumber(double(text.size()));
            return true;
        }
        if (atom->arrayIndex >= 0 && atom->arrayIndex < text.size()) {
            value = characterString(context, text[qsizetype(atom->arrayIndex)]);
            return true;
        }
    }
    return ESClass::getOwn(context, object, atom, value);
}

void ESNativeString::put(ESContext &context, ESObject *object, ESAtom *atom, const ESValue &value)
{
    if (atom == context.lengthAtom && object->internalValue().isString() && !object->callCode)
        return;   // read-only
    ESClass::put(context, object, atom, value);
}

bool ESNativeString::deleteProperty(ESContext &context, ESObject *object, ESAtom *atom)
{
    if (atom == context.lengthAtom && object->internalValue().isString() && !object->callCode)
        return false;
    return ESClass::deleteProperty(context, object, atom);
}

void ESNativeString::enumerate(ESContext &context, ESObject *object, std::vector<ESAtom *> &names)
{
    if (object->internalValue().isString() && !object->callCode)
        for (qsizetype i = 0; i < object->internalValue().text().size(); ++i)
            names.push_back(atoms::forIndex(uint32_t(i)));
    ESClass::enumerate(context, object, names);
}

ESValue ESNativeString::callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args)
{
    const ESValue a0 = argument(count, args, 0);
    const ESValue a1 = argument(count, args, 1);
    switch (number) {
    case 0:
        return count == 0 ? ESValue::fromAtom(m_emptyAtom) : context.toStringValue(a0);
    case 1: {
        if (count == 1)
            return characterString(context, QChar(char16_t(context.toUint32(args[0]) & 0xFFFF)));
        QString text;
        for (int i = 0; i < count; ++i)
            text += QChar(char16_t(context.toUint32(args[i]) & 0xFFFF));
        return context.newString(text);
    }
    case 2:
    case 3: {
        ESValue v = thisValue;
        if (v.isObject() && v.object->cls == this)
            v = v.object->internalValue();
        if (!v.isString())
            context.throwTypeError(number == 2 ? QStringLiteral("String.prototype.toString called on non-String object")
                                               : QStringLiteral("String.prototype.valueOf called on non-String object"));
        return v;
    }
    default:
        break;
    }
    const ESValue selfValue = stringThis(context, thisValue);
    const QString self = selfValue.text();
    const double size = double(self.size());
    switch (number) {
    case 4: {
        const double pos = context.toInteger(a0);
        if (pos < 0 || pos >= size)
            return ESValue::fromAtom(m_emptyAtom);
        return characterString(context, self[qsizetype(pos)]);
    }
    case 5: {
        const double pos = context.toInteger(a0);
        if (pos < 0 || pos >= size)
            return ESValue::fromNumber(NaN);
        return ESValue::fromNumber(self[qsizetype(pos)].unicode());
    }
    case 6: {
        QString text = self;
        for (int i = 0; i < count; ++i)
            text += context.toString(args[i]);
        return context.newString(text);
    }
    case 7: {
        const QString search = context.toString(a0);
        const double pos = std::min(std::max(context.toInteger(a1), 0.0), size);
        return ESValue::fromNumber(double(self.indexOf(search, qsizetype(pos))));
    }
    case 8: {
        const QString search = context.toString(a0);
        const double n = context.toNumber(a1);
        const double pos = std::isnan(n) ? size : std::min(std::max(context.toInteger(a1), 0.0), size);
        return ESValue::fromNumber(double(self.lastIndexOf(search, qsizetype(pos))));
    }
    case 9:
        return ESValue::fromNumber(QString::localeAwareCompare(self, context.toString(a0)));
    case 10: {   // match
        ESObject *re = context.regexpClass->fromValue(context, a0, true);
        if (!context.regexpClass->isGlobal(re))
            return context.regexpClass->exec(context, re, selfValue);
        ESObject *result = context.newArray(0);
        uint32_t n = 0;
        for (qsizetype from = 0; from <= self.size();) {
            const QRegularExpressionMatch m = context.regexpClass->match(context, re, self, from);
            if (!m.hasMatch())
                break;
            context.arrayClass->putIndex(context, result, n++, substringValue(context, self, m.capturedStart(0), m.capturedLength(0)));
            from = m.capturedLength(0) == 0 ? m.capturedEnd(0) + 1 : m.capturedEnd(0);
        }
        context.put(re, context.lastIndexAtom, ESValue::fromNumber(0));
        if (n == 0)
            return ESValue::null();
        return ESValue::fromObject(result);
    }
    case 11: {   // replace
        ESObject *re = context.regexpClass->fromValue(context, a0, false);
        const QString search = re ? QString() : context.toString(a0);
        const bool functional = a1.isObject() && a1.object->isCallable();
        const QString replacement = functional ? QString() : context.toString(a1);
        // Every match is found before the first replacement is made, so a replacement function
        // that moves lastIndex or matches again cannot change which parts are replaced.
        int groups = 0;
        std::vector<qsizetype> spans;   // per match: start and end of the match, then of each group
        if (!re) {
            const qsizetype at = self.indexOf(search);
            if (at < 0)
                return selfValue;
            spans = {at, at + search.size()};
        } else {
            groups = context.regexpClass->groupCount(re);
            const bool global = context.regexpClass->isGlobal(re);
            for (qsizetype from = 0; from <= self.size();) {
                const QRegularExpressionMatch m = context.regexpClass->match(context, re, self, from);
                if (!m.hasMatch())
                    break;
                for (int g = 0; g <= groups; ++g) {
                    const bool took = context.regexpClass->captureStart(re, m, g) >= 0;
                    spans.push_back(took ? m.capturedStart(g) : -1);
                    spans.push_back(took ? m.capturedEnd(g) : -1);
                }
                if (!global)
                    break;
                from = m.capturedLength(0) == 0 ? m.capturedEnd(0) + 1 : m.capturedEnd(0);
            }
            if (global)
                context.put(re, context.lastIndexAtom, ESValue::fromNumber(0));
        }
        const size_t stride = size_t(groups + 1) * 2;
        // Without $ a replacement text goes in as it is.
        const bool plain = !functional && !replacement.contains(QLatin1Char('$'));
        QString out;
        out.reserve(self.size());
        qsizetype last = 0;
        std::vector<ESValue> callArgs;
        ESContext::TempRoot root(context, callArgs);
        for (size_t i = 0; i < spans.size(); i += stride) {
            const qsizetype position = spans[i];
            out += QStringView(self).mid(last, position - last);
            if (functional) {
                callArgs.clear();
                callArgs.push_back(substringValue(context, self, position, spans[i + 1] - position));
                for (size_t g = 1; g <= size_t(groups); ++g) {
                    const qsizetype s0 = spans[i + 2 * g];
                    callArgs.push_back(s0 >= 0 ? substringValue(context, self, s0, spans[i + 2 * g + 1] - s0) : ESValue());
                }
                callArgs.push_back(ESValue::fromNumber(double(position)));
                callArgs.push_back(selfValue);
                const ESValue result = context.call(a1.object, ESValue(), int(callArgs.size()), callArgs.data());
                if (result.isString())
                    out += result.text();
                else
                    out += context.toString(result);
            } else if (plain) {
                out += replacement;
            } else {
                expand(out, replacement, self, &spans[i], groups);
            }
            last = spans[i + 1];
        }
        out += QStringView(self).mid(last);
        return context.newString(out);
    }
    case 12: {   // search
        ESObject *re = context.regexpClass->fromValue(context, a0, true);
        const QRegularExpressionMatch m = context.regexpClass->match(context, re, self, 0);
        return ESValue::fromNumber(m.hasMatch() ? double(m.capturedStart(0)) : -1.0);
    }
    case 13: {   // slice
        double start = context.toInteger(a0);
        double end = a1.isUndefined() ? size : context.toInteger(a1);
        start = start < 0 ? std::max(size + start, 0.0) : std::min(start, size);
        end = end < 0 ? std::max(size + end, 0.0) : std::min(end, size);
        if (end <= start)
            return ESValue::fromAtom(m_emptyAtom);
        return substringValue(context, self, qsizetype(start), qsizetype(end - start));
    }
    case 14: {   // split
        ESObject *result = context.newArray(0);
        const uint32_t limit = a1.isUndefined() ? 0xFFFFFFFFu : context.toUint32(a1);
        uint32_t n = 0;
        auto push = [&](const ESValue &v) {
            if (n < limit)
                context.arrayClass->putIndex(context, result, n++, v);
        };
        if (limit == 0)
            return ESValue::fromObject(result);
        if (a0.isUndefined()) {
            push(selfValue);
            return ESValue::fromObject(result);
        }
        ESObject *re = context.regexpClass->fromValue(context, a0, false);
        if (!re) {
            const QString separator = context.toString(a0);
            if (separator.isEmpty()) {
                for (qsizetype i = 0; i < self.size() && n < limit; ++i)
                    push(characterString(context, self[i]));
                return ESValue::fromObject(result);
            }
            qsizetype p = 0;
            for (;;) {
                const qsizetype q = self.indexOf(separator, p);
                if (q < 0)
                    break;
                push(substringValue(context, self, p, q - p));
                p = q + separator.size();
            }
            push(substringValue(context, self, p, self.size() - p));
            return ESValue::fromObject(result);
        }
        // The standard's SplitMatch: an anchored match at each position.
        const int groups = context.regexpClass->groupCount(re);
        auto matchAt = [&](qsizetype q) { return context.regexpClass->match(context, re, self, q, true); };
        if (self.isEmpty()) {
            if (!matchAt(0).hasMatch())
                push(selfValue);
            return ESValue::fromObject(result);
        }
        qsizetype p = 0, q = 0;
        while (q < self.size()) {
            // An unanchored search finds the next place where an anchored match can start.
            const QRegularExpressionMatch next = context.regexpClass->match(context, re, self, q);
            if (!next.hasMatch())
                break;
            q = next.capturedStart(0);
            if (q >= self.size())
                break;
            const QRegularExpressionMatch &m = next;
            if (m.capturedEnd(0) == p) {
                // An empty match where the last one ended does not split; try one further on.
                ++q;
                continue;
            }
            push(substringValue(context, self, p, q - p));
            if (n >= limit)
                return ESValue::fromObject(result);
            for (int g = 1; g <= groups; ++g)
                push(context.regexpClass->captureStart(re, m, g) < 0
                         ? ESValue()
                         : substringValue(context, self, m.capturedStart(g), m.capturedLength(g)));
            p = m.capturedEnd(0);
            q = p;
        }
        push(substringValue(context, self, p, self.size() - p));
        return ESValue::fromObject(result);
    }
    case 15: {   // substring
        double start = std::min(std::max(context.toInteger(a0), 0.0), size);
        double end = a1.isUndefined() ? size : std::min(std::max(context.toInteger(a1), 0.0), size);
        if (start > end)
            std::swap(start, end);
        return substringValue(context, self, qsizetype(start), qsizetype(end - start));
    }
    case 16:
    case 17:
        return context.newString(self.toLower());
    case 18:
    case 19:
        return context.newString(self.toUpper());
    case 20: {   // substr
        double start = context.toInteger(a0);
        if (start < 0)
            start = std::max(size + start, 0.0);
        start = std::min(start, size);
        const double length = a1.isUndefined() ? size - start : std::min(std::max(context.toInteger(a1), 0.0), size - start);
        if (length <= 0)
            return ESValue::fromAtom(m_emptyAtom);
        return substringValue(context, self, qsizetype(start), qsizetype(length));
    }
    default:
        return ESNativeClass::callMember(context, number, thisValue, count, args);
    }
}

ESObject *ESNativeString::constructMember(ESContext &context, int number, int count, ESValue *args)
{
    if (number != 0)
        return ESNativeClass::constructMember(context, number, count, args);
    return context.wrap(count == 0 ? ESValue::fromAtom(m_emptyAtom) : context.toStringValue(args[0]));
}

} // namespace zim::script
