// Helpers of the script tests: run a text in a fresh context and read the outcome as text.
#pragma once

#include "script/escontext.h"
#include "script/esnativeclasses.h"

#include <QString>
#include <memory>

namespace scripttest {

using namespace zim::script;

// The completion value's string form, or the thrown value's message.
inline QString run(zim::script::ESContext &context, const QString &text)
{
    const zim::script::ESEvaluation result = context.evaluate(text);
    if (result.status == zim::script::ESEvaluation::Thrown)
        return QStringLiteral("thrown: ") + result.message;
    return context.toString(result.value);
}

inline QString run(const QString &text)
{
    zim::script::ESContext context;
    return run(context, text);
}

} // namespace scripttest
