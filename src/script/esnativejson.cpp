// JSON.parse with its reviver and JSON.stringify with its replacer and indent, for the standard
// dialect. Both bound their nesting so that hostile input ends in an error, not a crash.
#include "script/esexception.h"
#include "script/esnativestandard.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zim::script {

namespace {

constexpr int MaxNesting = 1000;
// The longest text stringify builds; past it a RangeError, before memory runs out.
constexpr qsizetype MaxTextLength = qsizetype(1) << 26;

class JsonReader
{
public:
    JsonReader(ESContext &context, const QString &text, std::vector<ESValue> &roots)
        : m_context(context), m_text(text), m_roots(roots)
    {
    }

    ESValue document()
    {
        ESValue v = value(0);
        skip();
        if (m_pos < m_text.size())
            fail();
        return v;
    }

private:
    [[noreturn]] void fail()
    {
        if (m_pos >= m_text.size())
            m_context.throwError(m_context.syntaxErrorClass, QStringLiteral("JSON.parse: unexpected end of input"));
        m_context.throwError(m_context.syntaxErrorClass, QStringLiteral("JSON.parse: unexpected character '%1' at position %2")
                                                             .arg(m_text.at(m_pos))
                                                             .arg(m_pos));
    }

    void skip()
    {
        while (m_pos < m_text.size()) {
            const QChar c = m_text.at(m_pos);
            if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n') && c != QLatin1Char('\r'))
                break;
            ++m_pos;
        }
    }

    bool take(QChar c)
    {
        skip();
        if (m_pos < m_text.size() && m_text.at(m_pos) == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    void expect(QChar c)
    {
        if (!take(c))
            fail();
    }

    ESValue value(int depth)
    {
        if (depth > MaxNesting)
            m_context.throwError(m_context.syntaxErrorClass,
                                 QStringLiteral("JSON.parse: nesting deeper than %1 levels").arg(MaxNesting));
        ESNativeStandard::poll(m_context);
        skip();
        if (m_pos >= m_text.size())
            fail();
        const QChar c = m_text.at(m_pos);
        if (c == QLatin1Char('{'))
            return object(depth);
        if (c == QLatin1Char('['))
            return array(depth);
        if (c == QLatin1Char('"'))
            return m_context.newString(string());
        if (c == QLatin1Char('-') || (c >= QLatin1Char('0') && c <= QLatin1Char('9')))
            return number();
        for (const char *word : {"true", "false", "null"}) {
            if (m_text.mid(m_pos, qsizetype(std::strlen(word))) == QLatin1String(word)) {
                m_pos += qsizetype(std::strlen(word));
                return word[0] == 't' ? ESValue::boolean(true) : word[0] == 'f' ? ESValue::boolean(false) : ESValue::null();
            }
        }
        fail();
    }

    ESValue object(int depth)
    {
        ++m_pos;
        ESObject *o = m_context.newPlainObject();
        m_roots.push_back(ESValue::fromObject(o));
        if (!take(QLatin1Char('}'))) {
            do {
                skip();
                if (m_pos >= m_text.size() || m_text.at(m_pos) != QLatin1Char('"'))
                    fail();
                const QString key = string();
                expect(QLatin1Char(':'));
                const ESValue v = value(depth + 1);
                m_context.putByValue(ESValue::fromObject(o), ESValue::fromAtom(atoms::internComputed(key)), v);
            } while (take(QLatin1Char(',')));
            expect(QLatin1Char('}'));
        }
        return ESValue::fromObject(o);
    }

    ESValue array(int depth)
    {
        ++m_pos;
        ESObject *a = m_context.newArray(0);
        m_roots.push_back(ESValue::fromObject(a));
        if (!take(QLatin1Char(']'))) {
            do {
                const ESValue v = value(depth + 1);
                a->elements().push_back(v);
                a->length = uint32_t(a->elements().size());
            } while (take(QLatin1Char(',')));
            expect(QLatin1Char(']'));
        }
        return ESValue::fromObject(a);
    }

    QString string()
    {
        ++m_pos;
        QString out;
        for (;;) {
            if (m_pos >= m_text.size())
                fail();
            const QChar c = m_text.at(m_pos);
            if (c == QLatin1Char('"')) {
                ++m_pos;
                return out;
            }
            if (c.unicode() < 0x20)
                fail();
            if (c != QLatin1Char('\\')) {
                out += c;
                ++m_pos;
                continue;
            }
            ++m_pos;
            if (m_pos >= m_text.size())
                fail();
            const char e = char(m_text.at(m_pos).unicode());
            switch (e) {
            case '"': out += QLatin1Char('"'); break;
            case '\\': out += QLatin1Char('\\'); break;
            case '/': out += QLatin1Char('/'); break;
            case 'b': out += QLatin1Char('\b'); break;
            case 'f': out += QLatin1Char('\f'); break;
            case 'n': out += QLatin1Char('\n'); break;
            case 'r': out += QLatin1Char('\r'); break;
            case 't': out += QLatin1Char('\t'); break;
            case 'u': {
                bool ok = false;
                const ushort code = m_text.mid(m_pos + 1, 4).toUShort(&ok, 16);
                if (!ok || m_text.mid(m_pos + 1, 4).size() != 4 || m_text.mid(m_pos + 1, 4).contains(QLatin1Char('+'))
                    || m_text.mid(m_pos + 1, 4).contains(QLatin1Char('-')))
                    fail();
                out += QChar(code);
                m_pos += 4;
                break;
            }
            default:
                fail();
            }
            ++m_pos;
        }
    }

    ESValue number()
    {
        const qsizetype start = m_pos;
        auto digits = [&] {
            const qsizetype from = m_pos;
            while (m_pos < m_text.size() && m_text.at(m_pos) >= QLatin1Char('0') && m_text.at(m_pos) <= QLatin1Char('9'))
                ++m_pos;
            return m_pos > from;
        };
        if (m_text.at(m_pos) == QLatin1Char('-'))
            ++m_pos;
        if (m_pos < m_text.size() && m_text.at(m_pos) == QLatin1Char('0'))
            ++m_pos;
        else if (!digits())
            fail();
        if (m_pos < m_text.size() && m_text.at(m_pos) == QLatin1Char('.')) {
            ++m_pos;
            if (!digits())
                fail();
        }
        if (m_pos < m_text.size() && (m_text.at(m_pos) == QLatin1Char('e') || m_text.at(m_pos) == QLatin1Char('E'))) {
            ++m_pos;
            if (m_pos < m_text.size() && (m_text.at(m_pos) == QLatin1Char('+') || m_text.at(m_pos) == QLatin1Char('-')))
                ++m_pos;
            if (!digits())
                fail();
        }
        return ESValue::fromNumber(std::strtod(m_text.mid(start, m_pos - start).toLatin1().constData(), nullptr));
    }

    ESContext &m_context;
    const QString &m_text;
    std::vector<ESValue> &m_roots;
    qsizetype m_pos = 0;
};

// The reviver walk: children first, each replaced by what the reviver answers for it.
ESValue revive(ESContext &context, ESObject *reviver, ESObject *holder, ESAtom *name, int depth)
{
    ESNativeStandard::poll(context);
    const ESValue v = context.get(holder, name);
    if (v.isObject() && depth <= MaxNesting) {
        ESObject *o = v.object;
        std::vector<ESAtom *> names;
        if (context.isArray(v)) {
            for (uint32_t i = 0; i < o->length; ++i)
                names.push_back(atoms::forIndex(i));
        } else {
            o->cls->enumerate(context, o, names);
        }
        for (ESAtom *key : names) {
            const ESValue revived = revive(context, reviver, o, key, depth + 1);
            if (revived.isUndefined())
                o->cls->deleteProperty(context, o, key);
            else
                context.put(o, key, revived);
        }
    }
    const ESValue args[2] = {ESValue::fromAtom(name), v};
    return context.call(reviver, ESValue::fromObject(holder), 2, args);
}

QString quote(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (QChar c : text) {
        switch (c.unicode()) {
        case '"': out += QLatin1String("\\\""); break;
        case '\\': out += QLatin1String("\\\\"); break;
        case '\b': out += QLatin1String("\\b"); break;
        case '\f': out += QLatin1String("\\f"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        default:
            if (c.unicode() < 0x20)
                out += QString::asprintf("\\u%04x", c.unicode());
            else
                out += c;
        }
    }
    return out + QLatin1Char('"');
}

class JsonWriter
{
public:
    JsonWriter(ESContext &context, ESObject *replacer, std::vector<ESAtom *> *propertyList, const QString &gap,
               std::vector<ESValue> &roots)
        : m_context(context), m_replacer(replacer), m_list(propertyList), m_gap(gap), m_roots(roots)
    {
    }

    // False when the value has no JSON form (undefined, a function).
    bool write(ESObject *holder, ESAtom *key, QString &out)
    {
        ESNativeStandard::poll(m_context);
        ESValue v = m_context.get(holder, key);
        if (v.isObject()) {
            const ESValue toJSON = m_context.get(v.object, atoms::intern("toJSON"));
            if (toJSON.isObject() && toJSON.object->isCallable()) {
                const ESValue arg = ESValue::fromAtom(key);
                v = m_context.call(toJSON.object, v, 1, &arg);
            }
        }
        if (m_replacer) {
            const ESValue args[2] = {ESValue::fromAtom(key), v};
            v = m_context.call(m_replacer, ESValue::fromObject(holder), 2, args);
        }
        if (v.isObject()) {
            // What toJSON or the replacer made may be reachable from nowhere else.
            m_roots.push_back(v);
            ESClass *cls = v.object->cls;
            if (cls == reinterpret_cast<ESClass *>(m_context.numberClass))
                v = ESValue::fromNumber(m_context.toNumber(v));
            else if (cls == reinterpret_cast<ESClass *>(m_context.stringClass))
                v = m_context.toStringValue(v);
            else if (cls == reinterpret_cast<ESClass *>(m_context.booleanClass))
                v = v.object->internalValue();
        }
        switch (v.kind) {
        case ESNull: out += QLatin1String("null"); return true;
        case ESBoolean: out += v.number != 0 ? QLatin1String("true") : QLatin1String("false"); return true;
        case ESNumber: out += std::isfinite(v.number) ? ESContext::formatShortest(v.number) : QStringLiteral("null"); return true;
        case ESStringKind: case ESAtomKind: out += quote(v.text()); return true;
        case ESObjectKind:
            if (v.object->isCallable())
                return false;
            writeObject(v.object, out);
            return true;
        default:
            return false;
        }
    }

private:
    void writeObject(ESObject *o, QString &out)
    {
        for (ESObject *open : m_stack)
            if (open == o)
                m_context.throwTypeError(QStringLiteral("JSON.stringify: cyclic structure"));
        if (m_stack.size() >= size_t(MaxNesting))
            m_context.throwRangeError(QStringLiteral("JSON.stringify: nesting deeper than %1 levels").arg(MaxNesting));
        m_stack.push_back(o);
        const QString outer = m_indent;
        m_indent += m_gap;
        const bool array = m_context.isArray(ESValue::fromObject(o));
        QStringList parts;
        if (array) {
            const uint32_t length = m_context.toUint32(m_context.get(o, m_context.lengthAtom));
            // Every element takes a character at least, and a comma parts each from the next.
            if (qsizetype(length) * 2 - 1 > MaxTextLength)
                m_context.throwRangeError(QStringLiteral("JSON.stringify: result longer than %1 characters").arg(MaxTextLength));
            for (uint32_t i = 0; i < length; ++i) {
                QString item;
                // A hole, known without a lookup when the replacer would not see it, is null.
                const bool hole = !m_replacer && ESNativeStandard::nextIndex(m_context, o, i, i + 1, 1) > i;
                if (hole || !write(o, atoms::forIndex(i), item))
                    item = QStringLiteral("null");
                ESNativeStandard::poll(m_context);
                count(item);
                parts.append(item);
            }
        } else {
            std::vector<ESAtom *> names;
            if (m_list)
                names = *m_list;
            else
                o->cls->enumerate(m_context, o, names);
            for (ESAtom *name : names) {
                QString item = quote(name->text) + (m_gap.isEmpty() ? QStringLiteral(":") : QStringLiteral(": "));
                if (write(o, name, item)) {
                    count(item);
                    parts.append(item);
                }
            }
        }
        const QChar open = array ? QLatin1Char('[') : QLatin1Char('{');
        const QChar close = array ? QLatin1Char(']') : QLatin1Char('}');
        if (parts.isEmpty())
            out += QString(open) + close;
        else if (m_gap.isEmpty())
            out += open + parts.join(QLatin1Char(',')) + close;
        else
            out += open + QLatin1Char('\n') + m_indent + parts.join(QLatin1String(",\n") + m_indent) + QLatin1Char('\n')
                   + outer + close;
        m_indent = outer;
        m_stack.pop_back();
    }

    void count(const QString &item)
    {
        m_length += item.size() + 1 + m_indent.size();
        if (m_length > MaxTextLength)
            m_context.throwRangeError(QStringLiteral("JSON.stringify: result longer than %1 characters").arg(MaxTextLength));
    }

    ESContext &m_context;
    qsizetype m_length = 0;
    ESObject *m_replacer;
    std::vector<ESAtom *> *m_list;
    QString m_gap;
    std::vector<ESValue> &m_roots;
    QString m_indent;
    std::vector<ESObject *> m_stack;
};

} // namespace

ESValue ESNativeStandard::jsonParse(ESContext &context, int count, ESValue *args)
{
    const QString text = context.toString(argument(count, args, 0));
    std::vector<ESValue> roots;
    const ESContext::TempRoot root(context, roots);
    JsonReader reader(context, text, roots);
    const ESValue result = reader.document();
    const ESValue reviver = argument(count, args, 1);
    if (!reviver.isObject() || !reviver.object->isCallable())
        return result;
    ESObject *holder = context.newPlainObject();
    roots.push_back(ESValue::fromObject(holder));
    ESAtom *empty = atoms::intern("");
    holder->define(empty, result, 0);
    return revive(context, reviver.object, holder, empty, 0);
}

ESValue ESNativeStandard::jsonStringify(ESContext &context, int count, ESValue *args)
{
    const ESValue replacer = argument(count, args, 1);
    ESObject *replacerFunction = nullptr;
    std::vector<ESAtom *> list;
    bool useList = false;
    if (replacer.isObject() && replacer.object->isCallable()) {
        replacerFunction = replacer.object;
    } else if (context.isArray(replacer)) {
        useList = true;
        const uint32_t length = context.toUint32(context.get(replacer.object, context.lengthAtom));
        for (uint32_t i = 0; i < length; ++i) {
            ESValue item = context.get(replacer.object, atoms::forIndex(i));
            if (item.isObject() && (item.object->cls == static_cast<ESClass *>(context.numberClass)
                                    || item.object->cls == static_cast<ESClass *>(context.stringClass)))
                item = context.toStringValue(item);
            if (!item.isString() && !item.isNumber())
                continue;
            ESAtom *atom = context.atomFor(item);
            if (std::find(list.begin(), list.end(), atom) == list.end())
                list.push_back(atom);
        }
    }
    ESValue space = argument(count, args, 2);
    if (space.isObject() && (space.object->cls == static_cast<ESClass *>(context.numberClass)
                             || space.object->cls == static_cast<ESClass *>(context.stringClass)))
        space = context.toPrimitive(space);
    QString gap;
    if (space.isNumber())
        gap = QString(int(std::clamp(context.toInteger(space), 0.0, 10.0)), QLatin1Char(' '));
    else if (space.isString())
        gap = space.text().left(10);
    std::vector<ESValue> roots;
    const ESContext::TempRoot root(context, roots);
    ESObject *holder = context.newPlainObject();
    roots.push_back(ESValue::fromObject(holder));
    ESAtom *empty = atoms::intern("");
    holder->define(empty, argument(count, args, 0), 0);
    JsonWriter writer(context, replacerFunction, useList ? &list : nullptr, gap, roots);
    QString out;
    if (!writer.write(holder, empty, out))
        return ESValue();
    return context.newString(out);
}

} // namespace zim::script
