// The ES5 built-ins of the standard dialect: Array.isArray and the Array extras, Object.keys,
// Object.create, Object.defineProperty(ies) and Object.getPrototypeOf, Function.prototype.bind, String.prototype.trim, and
// Date.now with Date.prototype.toISOString. JSON lives in esnativejson.cpp.
#include "script/esexception.h"
#include "script/esnativeclasses.h"
#include "script/esnativestandard.h"

#include <cmath>
#include <optional>

namespace zim::script {

namespace {

enum Member {
    IsArray = 1, ForEach, Map, Filter, Reduce, ReduceRight, Some, Every, IndexOf, LastIndexOf, Keys, Create,
    GetPrototypeOf, DefineProperty, DefineProperties, Bind, Bound, Trim, DateNow, ToISOString, DateToJSON, JsonParse, JsonStringify
};

bool lineTerminator(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar(0x2028) || c == QChar(0x2029);
}

// The element at index k of o when o has it (own or inherited); holes answer false.
bool element(ESContext &context, ESObject *o, uint32_t k, ESValue &value)
{
    if (o->cls == context.arrayClass && k < o->elements().size() && !o->elements()[k].isHole()) {
        value = o->elements()[k];
        return true;
    }
    ESAtom *atom = atoms::forIndex(k);
    if (!context.hasProperty(o, atom))
        return false;
    value = context.get(o, atom);
    return true;
}

ESObject *callback(ESContext &context, const char *method, int count, const ESValue *args)
{
    const ESValue fn = argument(count, args, 0);
    if (!fn.isObject() || !fn.object->isCallable())
        context.throwTypeError(QStringLiteral("Array.prototype.%1 argument is not a function").arg(QLatin1String(method)));
    return fn.object;
}

ESObject *objectArgument(ESContext &context, const char *method, const ESValue &value)
{
    if (!value.isObject())
        context.throwTypeError(QStringLiteral("Object.%1 called on non-object").arg(QLatin1String(method)));
    return value.object;
}

double relativeIndex(ESContext &context, const ESValue &value, double length, double fallback)
{
    if (value.isUndefined())
        return fallback;
    const double n = context.toInteger(value);
    return n < 0 ? length + n : n;
}

} // namespace

int64_t ESNativeStandard::nextIndex(ESContext &context, ESObject *o, int64_t k, int64_t end, int step)
{
    // Only arrays and plain objects keep their indexes where they can be listed; any other class
    // in the chain may answer for an index it does not store, so each index is asked in turn.
    int64_t best = end;
    for (ESObject *p = o; p; p = p->prototype) {
        if (p->cls != context.arrayClass && p->cls != context.objectClass)
            return k;
        if (p->cls == context.arrayClass) {
            const int64_t size = int64_t(p->elements().size());
            if (step > 0) {
                for (int64_t i = k; i < size && i < best; ++i)
                    if (!p->elements()[size_t(i)].isHole()) {
                        best = i;
                        break;
                    }
            } else {
                for (int64_t i = std::min(k, size - 1); i >= 0 && i > best; --i)
                    if (!p->elements()[size_t(i)].isHole()) {
                        best = i;
                        break;
                    }
            }
        }
        for (const ESProperty &property : p->properties) {
            const int64_t index = property.key() ? property.key()->arrayIndex : -1;
            if (index < 0)
                continue;
            if (step > 0 ? index >= k && index < best : index <= k && index > best)
                best = index;
        }
        if (best == k)
            return k;
    }
    return best;
}

void ESNativeStandard::poll(ESContext &context)
{
    if ((++context.pollCounter & 63) == 0 || context.stopRequested) {
        if (context.stopRequested || !context.keepRunning())
            throw ESFatalError(QStringLiteral("script stopped"));
    }
}

void ESNativeStandard::setUp(ESContext &context)
{
    ESObject *array = context.get(context.global(), atoms::intern("Array")).object;
    addMethod(context, array, "isArray", "Array.isArray", 1, IsArray);
    ESObject *ap = context.arrayPrototype;
    addMethod(context, ap, "forEach", "Array.prototype.forEach", 1, ForEach);
    addMethod(context, ap, "map", "Array.prototype.map", 1, Map);
    addMethod(context, ap, "filter", "Array.prototype.filter", 1, Filter);
    addMethod(context, ap, "reduce", "Array.prototype.reduce", 1, Reduce);
    addMethod(context, ap, "reduceRight", "Array.prototype.reduceRight", 1, ReduceRight);
    addMethod(context, ap, "some", "Array.prototype.some", 1, Some);
    addMethod(context, ap, "every", "Array.prototype.every", 1, Every);
    addMethod(context, ap, "indexOf", "Array.prototype.indexOf", 1, IndexOf);
    addMethod(context, ap, "lastIndexOf", "Array.prototype.lastIndexOf", 1, LastIndexOf);
    ESObject *object = context.get(context.global(), atoms::intern("Object")).object;
    addMethod(context, object, "keys", "Object.keys", 1, Keys);
    addMethod(context, object, "create", "Object.create", 2, Create);
    addMethod(context, object, "getPrototypeOf", "Object.getPrototypeOf", 1, GetPrototypeOf);
    addMethod(context, object, "defineProperty", "Object.defineProperty", 3, DefineProperty);
    addMethod(context, object, "defineProperties", "Object.defineProperties", 2, DefineProperties);
    addMethod(context, context.functionPrototype, "bind", "Function.prototype.bind", 1, Bind);
    addMethod(context, context.stringPrototype, "trim", "String.prototype.trim", 0, Trim);
    ESObject *date = context.get(context.global(), atoms::intern("Date")).object;
    addMethod(context, date, "now", "Date.now", 0, DateNow);
    addMethod(context, context.datePrototype, "toISOString", "Date.prototype.toISOString", 0, ToISOString);
    addMethod(context, context.datePrototype, "toJSON", "Date.prototype.toJSON", 1, DateToJSON);
    ESObject *json = context.newPlainObject();
    context.global()->define(atoms::intern("JSON"), ESValue::fromObject(json), DontEnum);
    addMethod(context, json, "parse", "JSON.parse", 2, JsonParse);
    addMethod(context, json, "stringify", "JSON.stringify", 3, JsonStringify);
}

ESValue ESNativeStandard::callMember(ESContext &context, int number, const ESValue &thisValue, int count,
                                     ESValue *args)
{
    switch (number) {
    case IsArray:
        return ESValue::boolean(context.isArray(argument(count, args, 0)));
    case ForEach: case Map: case Filter: case Some: case Every:
        return iterate(context, number, thisValue, count, args);
    case Reduce: case ReduceRight:
        return reduce(context, number == ReduceRight, thisValue, count, args);
    case IndexOf: case LastIndexOf:
        return search(context, number == LastIndexOf, thisValue, count, args);
    case Keys: {
        ESObject *o = objectArgument(context, "keys", argument(count, args, 0));
        std::vector<ESAtom *> names;
        o->cls->enumerate(context, o, names);
        ESObject *result = context.newArray(0);
        for (ESAtom *name : names)
            result->elements().push_back(ESValue::fromAtom(name));
        result->length = uint32_t(result->elements().size());
        return ESValue::fromObject(result);
    }
    case Create:
        return create(context, count, args);
    case GetPrototypeOf: {
        ESObject *o = objectArgument(context, "getPrototypeOf", argument(count, args, 0));
        return o->prototype ? ESValue::fromObject(o->prototype) : ESValue::null();
    }
    case DefineProperty: {
        const ESValue target = argument(count, args, 0);
        ESObject *o = objectArgument(context, "defineProperty", target);
        std::vector<ESValue> roots{target};
        const ESContext::TempRoot root(context, roots);
        defineOwn(context, o, context.atomFor(argument(count, args, 1)), argument(count, args, 2));
        return target;
    }
    case DefineProperties: {
        const ESValue target = argument(count, args, 0);
        defineAll(context, objectArgument(context, "defineProperties", target), argument(count, args, 1));
        return target;
    }
    case Bind:
        return bind(context, thisValue, count, args);
    case Trim: {
        if (thisValue.isUndefined() || thisValue.isNull())
            context.throwTypeError(QStringLiteral("String.prototype.trim called on null or undefined"));
        const QString text = context.toString(thisValue);
        qsizetype start = 0, end = text.size();
        auto blank = [](QChar c) { return ESContext::isWhiteSpace(c) || lineTerminator(c); };
        while (start < end && blank(text.at(start)))
            ++start;
        while (end > start && blank(text.at(end - 1)))
            --end;
        return context.newString(text.mid(start, end - start));
    }
    case DateNow:
        return ESValue::fromNumber(ESNativeDate::currentUnixTime());
    case ToISOString: {
        if (!thisValue.isObject() || thisValue.object->cls != context.dateClass)
            context.throwTypeError(QStringLiteral("Date object required"));
        const double tv = thisValue.object->internalValue().number;
        if (std::isnan(tv))
            context.throwRangeError(QStringLiteral("invalid date"));
        return context.newString(ESNativeDate::isoText(ESNativeDate::toUnixTime(tv)));
    }
    case DateToJSON: {
        // What JSON.stringify shows of a date: its ISO text, or null for an invalid one.
        ESObject *o = context.toObject(thisValue);
        const ESValue time = context.toPrimitive(ESValue::fromObject(o), 3);
        if (time.isNumber() && !std::isfinite(time.number))
            return ESValue::null();
        const ESValue method = context.get(o, atoms::intern("toISOString"));
        return context.callValue(method, ESValue::fromObject(o), 0, nullptr);
    }
    case JsonParse:
        return jsonParse(context, count, args);
    case JsonStringify:
        return jsonStringify(context, count, args);
    default:
        return ESNativeClass::callMember(context, number, thisValue, count, args);
    }
}

ESObject *ESNativeStandard::construct(ESContext &context, ESObject *function, int count, ESValue *args)
{
    if (function->builtinIndex != Bound)
        return ESNativeClass::construct(context, function, count, args);
    // new on a bound function constructs its target with the bound arguments first.
    ESObject *record = function->internalValue().object;
    std::vector<ESValue> all(record->elements().begin() + 2, record->elements().end());
    all.insert(all.end(), args, args + count);
    return context.construct(record->elements()[0].object, int(all.size()), all.data());
}

ESValue ESNativeStandard::iterate(ESContext &context, int number, const ESValue &thisValue, int count,
                                  ESValue *args)
{
    static const char *names[] = {"", "", "forEach", "map", "filter", "", "", "some", "every"};
    ESObject *o = context.toObject(thisValue);
    std::vector<ESValue> roots{ESValue::fromObject(o)};
    const ESContext::TempRoot root(context, roots);
    const uint32_t length = context.toUint32(context.get(o, context.lengthAtom));
    ESObject *fn = callback(context, names[number], count, args);
    const ESValue self = argument(count, args, 1);
    ESObject *result = nullptr;
    if (number == Map || number == Filter) {
        result = context.newArray(number == Map ? length : 0);
        roots.push_back(ESValue::fromObject(result));
    }
    uint32_t kept = 0;
    for (int64_t next = 0; next < length; ++next) {
        poll(context);
        next = nextIndex(context, o, next, length, 1);
        if (next >= length)
            break;
        const uint32_t k = uint32_t(next);
        ESValue v;
        if (!element(context, o, k, v))
            continue;
        const ESValue callArgs[3] = {v, ESValue::fromNumber(k), ESValue::fromObject(o)};
        const ESValue answer = context.call(fn, self, 3, callArgs);
        switch (number) {
        case Map:
            result->cls->putIndex(context, result, k, answer);
            break;
        case Filter:
            if (context.toBoolean(answer))
                result->cls->putIndex(context, result, kept++, v);
            break;
        case Some:
            if (context.toBoolean(answer))
                return ESValue::boolean(true);
            break;
        case Every:
            if (!context.toBoolean(answer))
                return ESValue::boolean(false);
            break;
        default:
            break;
        }
    }
    switch (number) {
    case Map: case Filter: return ESValue::fromObject(result);
    case Some: return ESValue::boolean(false);
    case Every: return ESValue::boolean(true);
    default: return ESValue();
    }
}

ESValue ESNativeStandard::reduce(ESContext &context, bool fromRight, const ESValue &thisValue, int count,
                                 ESValue *args)
{
    const char *name = fromRight ? "reduceRight" : "reduce";
    ESObject *o = context.toObject(thisValue);
    std::vector<ESValue> roots{ESValue::fromObject(o), ESValue()};
    const ESContext::TempRoot root(context, roots);
    const uint32_t length = context.toUint32(context.get(o, context.lengthAtom));
    ESObject *fn = callback(context, name, count, args);
    // k counts the elements still to visit, from the front or the back.
    int64_t k = 0;
    auto index = [&](int64_t i) { return uint32_t(fromRight ? int64_t(length) - 1 - i : i); };
    // The count of places from the start (or the end) of the next element that may be present.
    auto skip = [&](int64_t i) {
        if (fromRight)
            return int64_t(length) - 1 - nextIndex(context, o, int64_t(length) - 1 - i, -1, -1);
        return nextIndex(context, o, i, length, 1);
    };
    ESValue &accumulator = roots[1];
    if (count >= 2) {
        accumulator = args[1];
    } else {
        bool found = false;
        for (; k < length && !found; ++k) {
            poll(context);
            k = skip(k);
            if (k >= length)
                break;
            found = element(context, o, index(k), accumulator);
        }
        if (!found)
            context.throwTypeError(QStringLiteral("Array.prototype.%1 of empty array with no initial value")
                                       .arg(QLatin1String(name)));
    }
    for (; k < length; ++k) {
        poll(context);
        k = skip(k);
        if (k >= length)
            break;
        ESValue v;
        if (!element(context, o, index(k), v))
            continue;
        const ESValue callArgs[4] = {accumulator, v, ESValue::fromNumber(index(k)), ESValue::fromObject(o)};
        accumulator = context.call(fn, ESValue(), 4, callArgs);
    }
    return accumulator;
}

ESValue ESNativeStandard::search(ESContext &context, bool fromBack, const ESValue &thisValue, int count,
                                 ESValue *args)
{
    ESObject *o = context.toObject(thisValue);
    std::vector<ESValue> roots{ESValue::fromObject(o)};
    const ESContext::TempRoot root(context, roots);
    const double length = context.toUint32(context.get(o, context.lengthAtom));
    const ESValue wanted = argument(count, args, 0);
    if (length == 0)
        return ESValue::fromNumber(-1);
    if (!fromBack) {
        double k = std::max(0.0, relativeIndex(context, argument(count, args, 1), length, 0));
        for (; k < length; ++k) {
            poll(context);
            k = double(nextIndex(context, o, int64_t(k), int64_t(length), 1));
            if (k >= length)
                break;
            ESValue v;
            if (element(context, o, uint32_t(k), v) && ESContext::strictEquals(v, wanted))
                return ESValue::fromNumber(k);
        }
    } else {
        double k = std::min(length - 1, relativeIndex(context, argument(count, args, 1), length, length - 1));
        for (; k >= 0; --k) {
            poll(context);
            k = double(nextIndex(context, o, int64_t(k), -1, -1));
            if (k < 0)
                break;
            ESValue v;
            if (element(context, o, uint32_t(k), v) && ESContext::strictEquals(v, wanted))
                return ESValue::fromNumber(k);
        }
    }
    return ESValue::fromNumber(-1);
}

ESValue ESNativeStandard::create(ESContext &context, int count, ESValue *args)
{
    const ESValue proto = argument(count, args, 0);
    if (!proto.isObject() && !proto.isNull())
        context.throwTypeError(QStringLiteral("Object prototype may only be an Object or null"));
    ESObject *o = context.newObject(proto.isNull() ? nullptr : proto.object, context.objectClass);
    const ESValue properties = argument(count, args, 1);
    if (properties.isUndefined())
        return ESValue::fromObject(o);
    defineAll(context, o, properties);
    return ESValue::fromObject(o);
}

void ESNativeStandard::defineAll(ESContext &context, ESObject *o, const ESValue &descriptors)
{
    std::vector<ESValue> roots{ESValue::fromObject(o)};
    const ESContext::TempRoot root(context, roots);
    ESObject *table = context.toObject(descriptors);
    roots.push_back(ESValue::fromObject(table));
    std::vector<ESAtom *> names;
    table->cls->enumerate(context, table, names);
    for (ESAtom *name : names)
        defineOwn(context, o, name, context.get(table, name));
}

void ESNativeStandard::defineOwn(ESContext &context, ESObject *o, ESAtom *name, const ESValue &descriptor)
{
    if (!descriptor.isObject())
        context.throwTypeError(QStringLiteral("property description of '%1' must be an object").arg(name->text));
    ESObject *d = descriptor.object;
    if (context.hasProperty(d, atoms::intern("get")) || context.hasProperty(d, atoms::intern("set")))
        context.throwTypeError(QStringLiteral("property '%1': getters and setters are not supported").arg(name->text));
    // A field the description leaves out keeps what an existing property has; a new property
    // takes false for it, as the standard says.
    const ESProperty *own = o->findProperty(name);
    const std::optional<ESProperty> existing = own ? std::optional<ESProperty>(*own) : std::nullopt;
    uint32_t attributes = existing ? existing->attributes() : ReadOnly | DontEnum | DontDelete;
    auto field = [&](const char *key, uint32_t attribute) {
        ESAtom *atom = atoms::intern(key);
        if (!context.hasProperty(d, atom))
            return;
        if (context.toBoolean(context.get(d, atom)))
            attributes &= ~attribute;
        else
            attributes |= attribute;
    };
    field("writable", ReadOnly);
    field("enumerable", DontEnum);
    field("configurable", DontDelete);
    ESAtom *valueAtom = atoms::intern("value");
    const bool hasValue = context.hasProperty(d, valueAtom);
    const ESValue value = hasValue ? context.get(d, valueAtom) : existing ? existing->value : ESValue::undefined();
    if (existing && (existing->attributes() & DontDelete)) {
        // A property that cannot be configured keeps its attributes; a read-only one, its value too.
        const bool sameValue = !hasValue || context.strictEquals(value, existing->value);
        if (attributes != existing->attributes() && attributes != (existing->attributes() | ReadOnly))
            context.throwTypeError(QStringLiteral("cannot redefine property '%1'").arg(name->text));
        if ((existing->attributes() & ReadOnly) && !sameValue)
            context.throwTypeError(QStringLiteral("cannot redefine property '%1'").arg(name->text));
    }
    // Elements and the length of an array live outside the property vector, where they are always
    // writable, enumerable and configurable: only such a description can be kept there.
    if (o->cls == context.arrayClass && (name->arrayIndex >= 0 || name == context.lengthAtom)) {
        if (attributes != 0)
            context.throwTypeError(
                QStringLiteral("property '%1' of an array can only be writable, enumerable and configurable").arg(name->text));
        context.put(o, name, value);
        return;
    }
    o->define(name, value, attributes);
}

ESValue ESNativeStandard::bind(ESContext &context, const ESValue &thisValue, int count, ESValue *args)
{
    if (!thisValue.isObject() || !thisValue.object->isCallable())
        context.throwTypeError(QStringLiteral("Function.prototype.bind called on a value that is not a function"));
    ESObject *target = thisValue.object;
    // The record of a bound function: target, this, then the bound arguments.
    ESObject *record = context.newArray(0);
    record->elements().push_back(thisValue);
    record->elements().push_back(argument(count, args, 0));
    for (int i = 1; i < count; ++i)
        record->elements().push_back(args[i]);
    record->length = uint32_t(record->elements().size());
    std::vector<ESValue> roots{ESValue::fromObject(record)};
    const ESContext::TempRoot root(context, roots);
    ESObject *fn = context.newObject(context.functionPrototype, this);
    fn->callCode = &ESContext::nativeCode;
    fn->builtinIndex = Bound;
    fn->constructible = target->constructible;
    fn->internalValue() = ESValue::fromObject(record);
    const double targetLength = context.toNumber(context.get(target, context.lengthAtom));
    const double length = std::isnan(targetLength) ? 0 : std::max(0.0, targetLength - std::max(0, count - 1));
    fn->define(context.lengthAtom, ESValue::fromNumber(length), ReadOnly | DontEnum | DontDelete);
    return ESValue::fromObject(fn);
}

bool ESNativeStandard::getOwn(ESContext &context, ESObject *object, ESAtom *atom, ESValue &value)
{
    if (object->builtinIndex == Bound && atom == context.prototypeAtom && object->internalValue().isObject()) {
        value = context.get(object->internalValue().object->elements()[0].object, atom);
        return true;
    }
    return ESNativeClass::getOwn(context, object, atom, value);
}

void ESNativeStandard::call(ESContext &context, ESObject *function, const ESValue &thisValue, int count, ESValue *args)
{
    if (function->builtinIndex != Bound) {
        ESNativeClass::call(context, function, thisValue, count, args);
        return;
    }
    ESObject *record = function->internalValue().object;
    std::vector<ESValue> all(record->elements().begin() + 2, record->elements().end());
    all.insert(all.end(), args, args + count);
    args[0] = context.call(record->elements()[0].object, record->elements()[1], int(all.size()), all.data());
}

void ESContext::setUpStandardNatives()
{
    auto cls = std::make_unique<ESNativeStandard>();
    ESNativeStandard *standardClass = cls.get();
    m_classes.push_back(std::move(cls));
    standardClass->setUp(*this);
}

} // namespace zim::script
