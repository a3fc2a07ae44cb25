// ESMachine: the bytecode interpreter, with the call and construct paths used by natives and hosts.
#pragma once

#include "script/escontext.h"

#include <memory>

namespace zim::script {

class ESMachine
{
public:
    // Runs a program record with the given `this` and scope chain; returns its completion value.
    static ESValue runProgram(ESContext &context, const std::shared_ptr<ESCompiledFunction> &program,
                              const ESValue &thisValue, ESObject *scope);
    static ESValue call(ESContext &context, ESObject *function, const ESValue &thisValue, int count,
                        const ESValue *args);
    static ESObject *construct(ESContext &context, ESObject *constructor, int count, const ESValue *args);

    // The count arguments are the topmost stack values; afterwards the result replaces them.
    static void invoke(ESContext &context, ESObject *function, const ESValue &thisValue, int count);
    static void constructOnStack(ESContext &context, const ESValue &constructor, int count);

private:
    static ESValue run(ESContext &context, ESFrame &frame);
};

// The parameter and variable layout behind an arguments object.
struct ESArgumentsData
{
    int parameters = 0;
    int locals = 0;
    int count = 0;
    std::vector<bool> mapped;
};

} // namespace zim::script
