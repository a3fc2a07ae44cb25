// ESArguments: the arguments object, whose indexes below the parameter count share the entries
// of the function's activation object.
#include "script/esmachine.h"
#include "script/esnativeclasses.h"

namespace zim::script {

namespace {

ESArgumentsData *dataOf(ESObject *o)
{
    return static_cast<ESArgumentsData *>(o->data);
}

// The activation entry behind an index, or null when the index is not (or no longer) mapped.
ESProperty *mappedEntry(ESObject *o, ESAtom *atom)
{
    ESArgumentsData *d = dataOf(o);
    if (!d || atom->arrayIndex < 0 || atom->arrayIndex >= d->count || !d->mapped[size_t(atom->arrayIndex)])
        return nullptr;
    ESObject *activation = o->internalValue().object;
    const int i = int(atom->arrayIndex);
    const size_t slot = i < d->parameters ? size_t(i) : size_t(d->parameters + d->locals + (i - d->parameters));
    return slot < activation->properties.size() ? &activation->properties[slot] : nullptr;
}

} // namespace

bool ESArguments::getOwn(ESContext &context, ESObject *object, ESAtom *atom, ESValue &value)
{
    if (ESProperty *p = mappedEntry(object, atom)) {
        value = p->value;
        return true;
    }
    return ESClass::getOwn(context, object, atom, value);
}

void ESArguments::put(ESContext &context, ESObject *object, ESAtom *atom, const ESValue &value)
{
    if (ESProperty *p = mappedEntry(object, atom)) {
        p->value = value;
        return;
    }
    ESClass::put(context, object, atom, value);
}

bool ESArguments::deleteProperty(ESContext &context, ESObject *object, ESAtom *atom)
{
    if (mappedEntry(object, atom)) {
        dataOf(object)->mapped[size_t(atom->arrayIndex)] = false;
        return true;
    }
    return ESClass::deleteProperty(context, object, atom);
}

void ESArguments::enumerate(ESContext &context, ESObject *object, std::vector<ESAtom *> &names)
{
    if (ESArgumentsData *d = dataOf(object))
        for (int i = 0; i < d->count; ++i)
            if (d->mapped[size_t(i)])
                names.push_back(atoms::forIndex(uint32_t(i)));
    ESClass::enumerate(context, object, names);
}

void ESArguments::markExtra(ESContext &, ESObject *)
{
}

void ESArguments::finalize(ESObject *object)
{
    delete dataOf(object);
    object->data = nullptr;
}

} // namespace zim::script
