// ESClass: the base behaviour of script objects, working on the property vector.
#include "script/esclass.h"

#include "script/escontext.h"
#include "script/esobject.h"

namespace zim::script {

bool ESClass::getOwn(ESContext &, ESObject *object, ESAtom *atom, ESValue &value)
{
    const int i = object->find(atom);
    if (i < 0 || object->properties[size_t(i)].value.isHole())
        return false;
    value = object->properties[size_t(i)].value;
    return true;
}

ESValue ESClass::get(ESContext &context, ESObject *object, ESAtom *atom)
{
    ESValue value;
    for (ESObject *o = object; o; o = o->prototype) {
        if (o->cls->getOwn(context, o, atom, value))
            return value;
    }
    return ESValue();
}

void ESClass::put(ESContext &, ESObject *object, ESAtom *atom, const ESValue &value)
{
    const int i = object->find(atom);
    if (i >= 0) {
        ESProperty &p = object->properties[size_t(i)];
        if (p.value.isHole()) {
            p.value = value;
            p.setAttributes(0);
        } else if (!(p.attributes() & ReadOnly)) {
            p.value = value;
        }
        return;
    }
    object->define(atom, value, 0);
}

bool ESClass::hook2(ESContext &, ESObject *, ESAtom *)
{
    return false;
}

bool ESClass::hook3(ESContext &, ESObject *, ESAtom *)
{
    return false;
}

bool ESClass::removeProperty(ESContext &, ESObject *, ESAtom *)
{
    return false;
}

ESValue ESClass::valueHook(ESContext &, ESObject *, const ESValue &, const ESValue &)
{
    return ESValue();
}

void ESClass::call(ESContext &, ESObject *, const ESValue &, int, ESValue *args)
{
    args[0] = ESValue();
}

ESObject *ESClass::construct(ESContext &, ESObject *, int, ESValue *)
{
    return nullptr;
}

bool ESClass::deleteProperty(ESContext &, ESObject *object, ESAtom *atom)
{
    const int i = object->find(atom);
    if (i < 0 || object->properties[size_t(i)].value.isHole())
        return true;
    return object->removeOwn(atom);
}

void ESClass::enumerate(ESContext &, ESObject *object, std::vector<ESAtom *> &names)
{
    for (const ESProperty &p : object->properties)
        if (p.key() && !(p.attributes() & DontEnum) && !p.value.isHole())
            names.push_back(p.key());
}

bool ESClass::getIndex(ESContext &context, ESObject *object, uint32_t index, ESValue &value)
{
    value = object->cls->get(context, object, atoms::forIndex(index));
    return true;
}

void ESClass::putIndex(ESContext &context, ESObject *object, uint32_t index, const ESValue &value)
{
    object->cls->put(context, object, atoms::forIndex(index), value);
}

void ESClass::markExtra(ESContext &, ESObject *)
{
}

void ESClass::finalize(ESObject *)
{
}

} // namespace zim::script
