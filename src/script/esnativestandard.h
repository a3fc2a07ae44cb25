// ESNativeStandard: the class of the ES5 built-ins that only the standard dialect has, and of
// the functions that bind makes.
#pragma once

#include "script/esnativeclasses.h"

namespace zim::script {

class ESNativeStandard : public ESNativeClass
{
public:
    ESNativeStandard() : ESNativeClass("Function") {}
    void setUp(ESContext &context) override;
    ESValue callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args) override;
    // Bound functions call and construct their target.
    void call(ESContext &context, ESObject *function, const ESValue &thisValue, int count, ESValue *args) override;
    ESObject *construct(ESContext &context, ESObject *function, int count, ESValue *args) override;
    // A bound function shows its target's prototype, so that instanceof sees through it.
    bool getOwn(ESContext &context, ESObject *object, ESAtom *atom, ESValue &value) override;

    // The running-time check of native loops: ends the run when the host asks to stop.
    static void poll(ESContext &context);
    // From k on in the direction of step (1 or -1), the first index before end that o or its
    // prototypes may hold: holes of sparse arrays are skipped without asking for each index.
    static int64_t nextIndex(ESContext &context, ESObject *o, int64_t k, int64_t end, int step);

private:
    ESValue iterate(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args);
    ESValue reduce(ESContext &context, bool fromRight, const ESValue &thisValue, int count, ESValue *args);
    ESValue search(ESContext &context, bool fromBack, const ESValue &thisValue, int count, ESValue *args);
    ESValue create(ESContext &context, int count, ESValue *args);
    // Object.defineProperty's work for one name: a data descriptor applied to o's own property.
    void defineOwn(ESContext &context, ESObject *o, ESAtom *name, const ESValue &descriptor);
    // Every enumerable descriptor of descriptors applied to o, as Object.create's second argument.
    void defineAll(ESContext &context, ESObject *o, const ESValue &descriptors);
    ESValue bind(ESContext &context, const ESValue &thisValue, int count, ESValue *args);
    // esnativejson.cpp
    ESValue jsonParse(ESContext &context, int count, ESValue *args);
    ESValue jsonStringify(ESContext &context, int count, ESValue *args);
};

} // namespace zim::script
