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

    // The running-time check of native loops: ends the run when the host asks to stop.
    static void poll(ESContext &context);

private:
    ESValue iterate(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args);
    ESValue reduce(ESContext &context, bool fromRight, const ESValue &thisValue, int count, ESValue *args);
    ESValue search(ESContext &context, bool fromBack, const ESValue &thisValue, int count, ESValue *args);
    ESValue create(ESContext &context, int count, ESValue *args);
    ESValue bind(ESContext &context, const ESValue &thisValue, int count, ESValue *args);
    // esnativejson.cpp
    ESValue jsonParse(ESContext &context, int count, ESValue *args);
    ESValue jsonStringify(ESContext &context, int count, ESValue *args);
};

} // namespace zim::script
