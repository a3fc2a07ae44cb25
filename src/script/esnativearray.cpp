// Array: dense element storage with a length, holes and sparse indexes as ordinary properties,
// and Array.prototype's members working on any object with a length.
#include "script/esnativeclasses.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>

namespace zim::script {

namespace {

constexpr uint32_t DenseSlack = 1024;

uint32_t lengthOf(ESContext &context, ESObject *o)
{
    if (o->cls == context.arrayClass)
        return o->length;
    return context.toUint32(context.get(o, context.lengthAtom));
}

void setLengthOf(ESContext &context, ESObject *o, uint32_t n)
{
    context.put(o, context.lengthAtom, ESValue::fromNumber(n));
}

// Every loop over indexes reads or deletes through these two, so each step also asks whether the
// script is to stop: a loop over four billion indexes honours Ctrl-C and the call budget.
bool getAt(ESContext &context, ESObject *o, uint32_t i, ESValue &v)
{
    context.pollNative();
    if (o->cls == context.arrayClass && i < o->elements().size() && !o->elements()[i].isHole()) {
        v = o->elements()[i];
        return true;
    }
    ESAtom *atom = atoms::forIndex(i);
    if (!context.hasProperty(o, atom)) {
        v = ESValue();
        return false;
    }
    v = context.get(o, atom);
    return true;
}

void putAt(ESContext &context, ESObject *o, uint32_t i, const ESValue &v)
{
    o->cls->putIndex(context, o, i, v);
}

void deleteAt(ESContext &context, ESObject *o, uint32_t i)
{
    context.pollNative();
    o->cls->deleteProperty(context, o, atoms::forIndex(i));
}

// The indexes in [lo, hi) that o has, in order, read from its own storage: for an array whose
// prototypes hold no indexes, so that a loop visits what is there and not every index up to a
// length of four billion. False for any other object; the caller then walks every index.
bool presentIndexes(ESContext &context, ESObject *o, uint32_t lo, uint32_t hi, std::vector<uint32_t> &out)
{
    if (o->cls != context.arrayClass)
        return false;
    for (ESObject *p = o->prototype; p; p = p->prototype) {
        if (p->cls != context.objectClass && p->cls != context.arrayClass)
            return false;
        if (p->holdsElements() && !p->elements().empty())
            return false;
        for (const ESProperty &q : p->properties)
            if (q.key() && q.key()->arrayIndex >= 0)
                return false;
    }
    out.clear();
    const size_t dense = std::min<size_t>(o->elements().size(), hi);
    for (size_t i = lo; i < dense; ++i)
        if (!o->elements()[i].isHole())
            out.push_back(uint32_t(i));
    const size_t sparseFrom = out.size();
    for (const ESProperty &q : o->properties)
        if (q.key() && !q.value.isHole() && q.key()->arrayIndex >= int64_t(std::max<size_t>(lo, o->elements().size()))
            && q.key()->arrayIndex < int64_t(hi))
            out.push_back(uint32_t(q.key()->arrayIndex));
    std::sort(out.begin() + long(sparseFrom), out.end());
    return true;
}

// The present indexes of an array far longer than what it holds; none when o is not such an array.
std::optional<std::vector<uint32_t>> sparseIndexes(ESContext &context, ESObject *o, uint32_t lo, uint32_t hi)
{
    std::vector<uint32_t> present;
    if (hi > lo && hi - lo > 1024 && presentIndexes(context, o, lo, hi, present) && present.size() < size_t(hi - lo) / 2)
        return present;
    return std::nullopt;
}

// Takes the elements at the indexes out of o, with their values.
std::vector<ESValue> takeAt(ESContext &context, ESObject *o, const std::vector<uint32_t> &indexes)
{
    std::vector<ESValue> values(indexes.size());
    for (size_t k = 0; k < indexes.size(); ++k)
        getAt(context, o, indexes[k], values[k]);
    for (uint32_t i : indexes)
        deleteAt(context, o, i);
    return values;
}

// A length that the result of an operation would pass 2^32 - 1 with: refused before anything is
// changed, where the index arithmetic would otherwise wrap around.
void checkResultLength(ESContext &context, uint64_t length)
{
    if (length > 4294967295u)
        context.throwRangeError(QStringLiteral("bad array length"));
}

// join and toLocaleString: the elements' texts between separators. A result that cannot fit in a
// string is refused before any of it is made.
QString join(ESContext &context, ESObject *o, const QString &separator,
             const std::function<QString(const ESValue &)> &text)
{
    const uint32_t n = lengthOf(context, o);
    if (n > 1 && uint64_t(n - 1) * uint64_t(separator.size()) > uint64_t(ESContext::MaxStringLength))
        context.throwRangeError(ESContext::stringTooLongText());
    QString out;
    std::vector<uint32_t> present;
    if (presentIndexes(context, o, 0, n, present)) {
        // An empty separator leaves nothing to add between the elements.
        uint32_t at = separator.isEmpty() && n ? n - 1 : 0;
        for (uint32_t i : present) {
            for (; at < i; ++at)
                out += separator;
            ESValue v;
            getAt(context, o, i, v);
            if (!v.isUndefined() && !v.isNull())
                out += text(v);
        }
        for (; n && at < n - 1; ++at)
            out += separator;
        return out;
    }
    for (uint32_t i = 0; i < n; ++i) {
        if (i)
            out += separator;
        ESValue v;
        getAt(context, o, i, v);
        if (!v.isUndefined() && !v.isNull())
            out += text(v);
    }
    return out;
}

// A merge sort that stays in bounds whatever the comparison answers.
template<class Less>
void mergeSort(std::vector<ESValue> &v, std::vector<ESValue> &tmp, size_t lo, size_t hi, Less &less)
{
    if (hi - lo < 2)
        return;
    const size_t mid = lo + (hi - lo) / 2;
    mergeSort(v, tmp, lo, mid, less);
    mergeSort(v, tmp, mid, hi, less);
    size_t i = lo, j = mid, k = lo;
    while (i < mid && j < hi)
        tmp[k++] = less(v[j], v[i]) ? v[j++] : v[i++];
    while (i < mid)
        tmp[k++] = v[i++];
    while (j < hi)
        tmp[k++] = v[j++];
    std::copy(tmp.begin() + long(lo), tmp.begin() + long(hi), v.begin() + long(lo));
}

} // namespace

void ESNativeArray::setUp(ESContext &context)
{
    ESObject *p = context.arrayPrototype;
    addConstructor(context, "Array", 1, p);
    const char *names[] = {"toString", "toLocaleString", "concat", "pop", "push", "reverse", "shift",
                           "slice", "sort", "join", "splice", "unshift"};
    const int arity[] = {0, 0, 1, 0, 1, 0, 0, 2, 1, 1, 2, 1};
    for (int i = 0; i < 12; ++i)
        addMethod(context, p, names[i], (QByteArray("Array.prototype.") + names[i]).constData(), arity[i], i + 2);
}

bool ESNativeArray::getOwn(ESContext &context, ESObject *object, ESAtom *atom, ESValue &value)
{
    // Array's native methods share this class; their length is their own arity property.
    if (atom == context.lengthAtom && !object->callCode) {
        value = ESValue::fromNumber(object->length);
        return true;
    }
    if (atom->arrayIndex >= 0 && uint64_t(atom->arrayIndex) < object->elements().size()) {
        const ESValue &v = object->elements()[size_t(atom->arrayIndex)];
        if (v.isHole())
            return false;
        value = v;
        return true;
    }
    return ESClass::getOwn(context, object, atom, value);
}

bool ESNativeArray::getIndex(ESContext &context, ESObject *object, uint32_t index, ESValue &value)
{
    if (index < object->elements().size() && !object->elements()[index].isHole()) {
        value = object->elements()[index];
        return true;
    }
    return ESClass::getIndex(context, object, index, value);
}

void ESNativeArray::putIndex(ESContext &context, ESObject *object, uint32_t index, const ESValue &value)
{
    ESElementVector &e = object->elements();
    const size_t size = e.size();
    if (index < size) {
        e[index] = value;
    } else if (index < size + DenseSlack) {
        const size_t capacity = e.capacity();
        e.resize(size_t(index) + 1, ESValue::hole());
        if (e.capacity() != capacity)
            context.chargeAllocation((e.capacity() - capacity) * sizeof(ESValue));
        e[index] = value;
        // Indexes that were sparse properties move into the dense part.
        if (!object->properties.empty()) {
            for (ESProperty &p : object->properties) {
                if (p.key() && p.key()->arrayIndex >= int64_t(size) && p.key()->arrayIndex < int64_t(index)) {
                    e[size_t(p.key()->arrayIndex)] = p.value;
                    object->removeOwn(p.key());
                }
            }
            object->removeOwn(atoms::forIndex(index));
        }
    } else {
        ESClass::put(context, object, atoms::forIndex(index), value);
    }
    if (index >= object->length)
        object->length = index + 1;
}

void ESNativeArray::put(ESContext &context, ESObject *object, ESAtom *atom, const ESValue &value)
{
    if (atom == context.lengthAtom && !object->callCode) {
        const double d = context.toNumber(value);
        const uint32_t n = context.toUint32(value);
        if (double(n) != d)
            context.throwRangeError(QStringLiteral("bad array length"));
        setLength(context, object, n);
        return;
    }
    if (atom->arrayIndex >= 0) {
        putIndex(context, object, uint32_t(atom->arrayIndex), value);
        return;
    }
    ESClass::put(context, object, atom, value);
}

void ESNativeArray::setLength(ESContext &context, ESObject *array, uint32_t length)
{
    if (length < array->length) {
        if (length < array->elements().size())
            array->elements().resize(length);
        std::vector<ESAtom *> cut;
        for (const ESProperty &p : array->properties)
            if (p.key() && p.key()->arrayIndex >= int64_t(length))
                cut.push_back(p.key());
        for (ESAtom *atom : cut)
            removeProperty(context, array, atom);
    }
    array->length = length;
}

bool ESNativeArray::removeProperty(ESContext &, ESObject *object, ESAtom *atom)
{
    if (atom->arrayIndex >= 0 && uint64_t(atom->arrayIndex) < object->elements().size()) {
        object->elements()[size_t(atom->arrayIndex)] = ESValue::hole();
        return true;
    }
    return object->removeOwn(atom);
}

bool ESNativeArray::deleteProperty(ESContext &context, ESObject *object, ESAtom *atom)
{
    if (atom == context.lengthAtom && !object->callCode)
        return false;
    if (atom->arrayIndex >= 0 && uint64_t(atom->arrayIndex) < object->elements().size()) {
        object->elements()[size_t(atom->arrayIndex)] = ESValue::hole();
        return true;
    }
    return ESClass::deleteProperty(context, object, atom);
}

void ESNativeArray::enumerate(ESContext &context, ESObject *object, std::vector<ESAtom *> &names)
{
    for (size_t i = 0; i < object->elements().size(); ++i)
        if (!object->elements()[i].isHole())
            names.push_back(atoms::forIndex(uint32_t(i)));
    ESClass::enumerate(context, object, names);
}

void ESNativeArray::markExtra(ESContext &, ESObject *)
{
}

ESValue ESNativeArray::callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args)
{
    if (number == 0)
        return ESValue::fromObject(constructMember(context, 0, count, args));
    if (number == 2 || number == 3) {
        if (!context.isArray(thisValue))
            context.throwTypeError(QStringLiteral("Array.prototype.toString requires an array"));
        if (number == 2)
            return context.newString(join(context, thisValue.object, QStringLiteral(","),
                                          [&context](const ESValue &v) { return context.toString(v); }));
        return context.newString(join(context, thisValue.object, QStringLiteral(","), [&context](const ESValue &v) {
            ESObject *e = context.toObject(v);
            return context.toString(context.callValue(context.get(e, atoms::intern("toLocaleString")),
                                                      ESValue::fromObject(e), 0, nullptr));
        }));
    }
    ESObject *o = context.toObject(thisValue);
    const ESValue a0 = argument(count, args, 0);
    switch (number) {
    case 4: {   // concat
        uint64_t total = context.isArray(ESValue::fromObject(o)) ? o->length : 1;
        for (int i = 0; i < count; ++i)
            total += context.isArray(args[i]) ? args[i].object->length : 1;
        checkResultLength(context, total);
        ESObject *result = context.newArray(0);
        uint32_t n = 0;
        auto append = [&](const ESValue &item) {
            if (context.isArray(item)) {
                ESObject *a = item.object;
                if (const auto sparse = sparseIndexes(context, a, 0, a->length)) {
                    const std::vector<uint32_t> &present = *sparse;
                    for (uint32_t i : present) {
                        ESValue v;
                        if (getAt(context, a, i, v))
                            putIndex(context, result, n + i, v);
                    }
                    n += a->length;
                    return;
                }
                for (uint32_t i = 0; i < a->length; ++i, ++n) {
                    ESValue v;
                    if (getAt(context, a, i, v))
                        putIndex(context, result, n, v);
                }
            } else {
                putIndex(context, result, n++, item);
            }
        };
        append(ESValue::fromObject(o));
        for (int i = 0; i < count; ++i)
            append(args[i]);
        setLength(context, result, n);
        return ESValue::fromObject(result);
    }
    case 5: {   // pop
        const uint32_t n = lengthOf(context, o);
        if (n == 0) {
            setLengthOf(context, o, 0);
            return ESValue();
        }
        ESValue v;
        getAt(context, o, n - 1, v);
        deleteAt(context, o, n - 1);
        setLengthOf(context, o, n - 1);
        return v;
    }
    case 6: {   // push
        uint32_t n = lengthOf(context, o);
        if (o->cls == this && n == o->elements().size()) {
            const size_t capacity = o->elements().capacity();
            o->elements().append(args, size_t(count));
            if (o->elements().capacity() != capacity)
                context.chargeAllocation((o->elements().capacity() - capacity) * sizeof(ESValue));
            o->length = n + uint32_t(count);
            return ESValue::fromNumber(o->length);
        }
        // The count goes past 2^32 - 1 as a number: the last index, 4294967295, is an ordinary
        // property name, and an array then refuses the length with a RangeError.
        double next = n;
        for (int i = 0; i < count; ++i, ++next) {
            if (next < 4294967295.0)
                putAt(context, o, uint32_t(next), args[i]);
            else
                context.put(o, context.atomFor(ESValue::fromNumber(next)), args[i]);
        }
        context.put(o, context.lengthAtom, ESValue::fromNumber(next));
        return ESValue::fromNumber(next);
    }
    case 7: {   // reverse
        const uint32_t n = lengthOf(context, o);
        if (const auto sparse = sparseIndexes(context, o, 0, n)) {
            const std::vector<uint32_t> &present = *sparse;
            std::vector<ESValue> values = takeAt(context, o, present);
            ESContext::TempRoot root(context, values);
            for (size_t k = 0; k < present.size(); ++k)
                putAt(context, o, n - 1 - present[k], values[k]);
            return ESValue::fromObject(o);
        }
        for (uint32_t lo = 0, hi = n ? n - 1 : 0; n && lo < hi; ++lo, --hi) {
            ESValue a, b;
            const bool hasA = getAt(context, o, lo, a);
            const bool hasB = getAt(context, o, hi, b);
            if (hasB)
                putAt(context, o, lo, b);
            else
                deleteAt(context, o, lo);
            if (hasA)
                putAt(context, o, hi, a);
            else
                deleteAt(context, o, hi);
        }
        return ESValue::fromObject(o);
    }
    case 8: {   // shift
        const uint32_t n = lengthOf(context, o);
        if (n == 0) {
            setLengthOf(context, o, 0);
            return ESValue();
        }
        ESValue first;
        getAt(context, o, 0, first);
        if (o->cls == this && n == o->elements().size()) {
            o->elements().erase(o->elements().begin());
            o->length = n - 1;
            return first;
        }
        if (const auto sparse = sparseIndexes(context, o, 1, n)) {
            const std::vector<uint32_t> &present = *sparse;
            deleteAt(context, o, 0);
            std::vector<ESValue> values = takeAt(context, o, present);
            ESContext::TempRoot root(context, values);
            for (size_t k = 0; k < present.size(); ++k)
                putAt(context, o, present[k] - 1, values[k]);
            setLengthOf(context, o, n - 1);
            return first;
        }
        for (uint32_t k = 1; k < n; ++k) {
            ESValue v;
            if (getAt(context, o, k, v))
                putAt(context, o, k - 1, v);
            else
                deleteAt(context, o, k - 1);
        }
        deleteAt(context, o, n - 1);
        setLengthOf(context, o, n - 1);
        return first;
    }
    case 9: {   // slice
        const double n = lengthOf(context, o);
        double start = context.toInteger(a0);
        const ESValue a1 = argument(count, args, 1);
        double end = a1.isUndefined() ? n : context.toInteger(a1);
        start = start < 0 ? std::max(n + start, 0.0) : std::min(start, n);
        end = end < 0 ? std::max(n + end, 0.0) : std::min(end, n);
        ESObject *result = context.newArray(0);
        uint32_t k = 0;
        if (end > start) {
            if (const auto sparse = sparseIndexes(context, o, uint32_t(start), uint32_t(end))) {
                const std::vector<uint32_t> &present = *sparse;
                for (uint32_t i : present) {
                    ESValue v;
                    if (getAt(context, o, i, v))
                        putIndex(context, result, i - uint32_t(start), v);
                }
                k = uint32_t(end - start);
                end = start;
            }
        }
        for (double i = start; i < end; ++i, ++k) {
            ESValue v;
            if (getAt(context, o, uint32_t(i), v))
                putIndex(context, result, k, v);
        }
        setLength(context, result, k);
        return ESValue::fromObject(result);
    }
    case 10: {  // sort
        if (!a0.isUndefined() && !(a0.isObject() && a0.object->isCallable()))
            context.throwTypeError(QStringLiteral("Array.prototype.sort argument is not a function"));
        const uint32_t n = lengthOf(context, o);
        std::vector<ESValue> values;
        uint32_t holes = 0, undefinedCount = 0;
        const auto present = sparseIndexes(context, o, 0, n);
        if (present) {
            for (uint32_t i : *present) {
                ESValue v;
                if (!getAt(context, o, i, v))
                    continue;
                if (v.isUndefined())
                    ++undefinedCount;
                else
                    values.push_back(v);
            }
            holes = n - uint32_t(values.size()) - undefinedCount;
        } else {
            for (uint32_t i = 0; i < n; ++i) {
                ESValue v;
                if (!getAt(context, o, i, v))
                    ++holes;
                else if (v.isUndefined())
                    ++undefinedCount;
                else
                    values.push_back(v);
            }
        }
        ESContext::TempRoot root(context, values);
        std::vector<ESValue> tmp(values.size());
        ESContext::TempRoot tmpRoot(context, tmp);
        if (a0.isUndefined()) {
            // Compare by string form, each computed once.
            std::vector<std::pair<QString, size_t>> keys;
            keys.reserve(values.size());
            for (size_t i = 0; i < values.size(); ++i)
                keys.emplace_back(context.toString(values[i]), i);
            std::stable_sort(keys.begin(), keys.end(),
                             [](const auto &a, const auto &b) { return a.first < b.first; });
            for (size_t i = 0; i < keys.size(); ++i)
                tmp[i] = values[keys[i].second];
            values.swap(tmp);
        } else {
            ESObject *fn = a0.object;
            auto less = [&](const ESValue &a, const ESValue &b) {
                const ESValue pair[2] = {a, b};
                return context.toNumber(context.call(fn, ESValue(), 2, pair)) < 0;
            };
            mergeSort(values, tmp, 0, values.size(), less);
        }
        uint32_t k = 0;
        for (const ESValue &v : values)
            putAt(context, o, k++, v);
        for (uint32_t i = 0; i < undefinedCount; ++i)
            putAt(context, o, k++, ESValue());
        if (present) {
            // Of the indexes past the sorted values, only those that held elements need emptying.
            for (uint32_t i : *present)
                if (i >= k)
                    deleteAt(context, o, i);
            return ESValue::fromObject(o);
        }
        for (uint32_t i = 0; i < holes; ++i)
            deleteAt(context, o, k++);
        return ESValue::fromObject(o);
    }
    case 11: {  // join
        const QString separator = a0.isUndefined() ? QStringLiteral(",") : context.toString(a0);
        return context.newString(join(context, o, separator, [&context](const ESValue &v) { return context.toString(v); }));
    }
    case 12: {  // splice
        const double n = lengthOf(context, o);
        double start = context.toInteger(a0);
        start = start < 0 ? std::max(n + start, 0.0) : std::min(start, n);
        const double deleteCount = count < 2 ? n - start
                                             : std::min(std::max(context.toInteger(args[1]), 0.0), n - start);
        const uint32_t items = count > 2 ? uint32_t(count - 2) : 0;
        const uint32_t s = uint32_t(start), dc = uint32_t(deleteCount), len = uint32_t(n);
        checkResultLength(context, uint64_t(len) - dc + items);
        ESObject *removed = context.newArray(0);
        if (const auto sparse = sparseIndexes(context, o, s, len)) {
            const std::vector<uint32_t> &present = *sparse;
            std::vector<ESValue> values = takeAt(context, o, present);
            ESContext::TempRoot root(context, values);
            for (size_t k = 0; k < present.size(); ++k) {
                if (present[k] < s + dc)
                    putIndex(context, removed, present[k] - s, values[k]);
                else
                    putAt(context, o, present[k] - dc + items, values[k]);
            }
            setLength(context, removed, dc);
            for (uint32_t k = 0; k < items; ++k)
                putAt(context, o, s + k, args[k + 2]);
            setLengthOf(context, o, len - dc + items);
            return ESValue::fromObject(removed);
        }
        for (uint32_t k = 0; k < uint32_t(deleteCount); ++k) {
            ESValue v;
            if (getAt(context, o, uint32_t(start) + k, v))
                putIndex(context, removed, k, v);
        }
        setLength(context, removed, uint32_t(deleteCount));
        if (items < dc) {
            for (uint32_t k = s; k < len - dc; ++k) {
                ESValue v;
                if (getAt(context, o, k + dc, v))
                    putAt(context, o, k + items, v);
                else
                    deleteAt(context, o, k + items);
            }
            for (uint32_t k = len; k > len - dc + items; --k)
                deleteAt(context, o, k - 1);
        } else if (items > dc) {
            for (uint32_t k = len - dc; k > s; --k) {
                ESValue v;
                if (getAt(context, o, k + dc - 1, v))
                    putAt(context, o, k + items - 1, v);
                else
                    deleteAt(context, o, k + items - 1);
            }
        }
        for (uint32_t k = 0; k < items; ++k)
            putAt(context, o, s + k, args[k + 2]);
        setLengthOf(context, o, len - dc + items);
        return ESValue::fromObject(removed);
    }
    case 13: {  // unshift
        const uint32_t len = lengthOf(context, o);
        checkResultLength(context, uint64_t(len) + uint64_t(count));
        if (const auto sparse = sparseIndexes(context, o, 0, len)) {
            const std::vector<uint32_t> &present = *sparse;
            std::vector<ESValue> values = takeAt(context, o, present);
            ESContext::TempRoot root(context, values);
            for (size_t k = present.size(); k-- > 0;)
                putAt(context, o, present[k] + uint32_t(count), values[k]);
            for (int k = 0; k < count; ++k)
                putAt(context, o, uint32_t(k), args[k]);
            setLengthOf(context, o, len + uint32_t(count));
            return ESValue::fromNumber(len + uint32_t(count));
        }
        for (uint32_t k = len; k > 0; --k) {
            ESValue v;
            if (getAt(context, o, k - 1, v))
                putAt(context, o, k - 1 + uint32_t(count), v);
            else
                deleteAt(context, o, k - 1 + uint32_t(count));
        }
        for (int k = 0; k < count; ++k)
            putAt(context, o, uint32_t(k), args[k]);
        setLengthOf(context, o, len + uint32_t(count));
        return ESValue::fromNumber(len + uint32_t(count));
    }
    default:
        return ESNativeClass::callMember(context, number, thisValue, count, args);
    }
}

ESObject *ESNativeArray::constructMember(ESContext &context, int number, int count, ESValue *args)
{
    if (number != 0)
        return ESNativeClass::constructMember(context, number, count, args);
    if (count == 1 && args[0].isNumber()) {
        const double d = args[0].number;
        const uint32_t n = context.toUint32(args[0]);
        if (double(n) != d)
            context.throwRangeError(QStringLiteral("bad length in array constructor"));
        return context.newArray(n);
    }
    return context.arrayFromValues(count, args);
}

} // namespace zim::script
