// Math: the constants and the functions of the C library, with the standard's edge values.
#include "script/esnativeclasses.h"

#include <cmath>
#include <cstdlib>

namespace zim::script {

void ESNativeMath::setUp(ESContext &context)
{
    ESObject *math = context.newObject(context.objectPrototype, this);
    context.global()->define(atoms::intern("Math"), ESValue::fromObject(math), DontEnum);
    const uint32_t fixed = ReadOnly | DontEnum | DontDelete;
    const struct { const char *name; double value; } constants[] = {
        {"E", std::exp(1.0)}, {"LN10", std::log(10.0)}, {"LN2", std::log(2.0)}, {"LOG2E", 1.0 / std::log(2.0)},
        {"LOG10E", 1.0 / std::log(10.0)}, {"PI", std::acos(-1.0)}, {"SQRT1_2", std::sqrt(0.5)},
        {"SQRT2", std::sqrt(2.0)},
    };
    for (const auto &c : constants)
        math->define(atoms::intern(c.name), ESValue::fromNumber(c.value), fixed);
    const char *names[] = {"abs", "acos", "asin", "atan", "atan2", "ceil", "cos", "exp", "floor", "log",
                           "max", "min", "pow", "random", "round", "sin", "sqrt", "tan"};
    const int arity[] = {1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 2, 2, 2, 0, 1, 1, 1, 1};
    for (int i = 0; i < 18; ++i)
        addMethod(context, math, names[i], (QByteArray("Math.") + names[i]).constData(), arity[i], i + 1);
}

ESValue ESNativeMath::callMember(ESContext &context, int number, const ESValue &thisValue, int count, ESValue *args)
{
    auto num = [&](int i) { return context.toNumber(argument(count, args, i)); };
    switch (number) {
    case 1: return ESValue::fromNumber(std::fabs(num(0)));
    case 2: return ESValue::fromNumber(std::acos(num(0)));
    case 3: return ESValue::fromNumber(std::asin(num(0)));
    case 4: return ESValue::fromNumber(std::atan(num(0)));
    case 5: { const double y = num(0); return ESValue::fromNumber(std::atan2(y, num(1))); }
    case 6: return ESValue::fromNumber(std::ceil(num(0)));
    case 7: return ESValue::fromNumber(std::cos(num(0)));
    case 8: return ESValue::fromNumber(std::exp(num(0)));
    case 9: return ESValue::fromNumber(std::floor(num(0)));
    case 10: return ESValue::fromNumber(std::log(num(0)));
    case 11:
    case 12: {
        double result = number == 11 ? -Infinity : Infinity;
        bool nan = false;
        for (int i = 0; i < count; ++i) {
            const double v = context.toNumber(args[i]);
            if (std::isnan(v))
                nan = true;
            else if (number == 11 ? (v > result || (v == 0 && result == 0 && !std::signbit(v)))
                                  : (v < result || (v == 0 && result == 0 && std::signbit(v))))
                result = v;
        }
        return ESValue::fromNumber(nan ? NaN : result);
    }
    case 13: {
        const double x = num(0), y = num(1);
        if (std::isnan(y))
            return ESValue::fromNumber(NaN);
        if (y == 0)
            return ESValue::fromNumber(1);
        if ((x == 1 || x == -1) && std::isinf(y))
            return ESValue::fromNumber(NaN);
        return ESValue::fromNumber(std::pow(x, y));
    }
    case 14: return ESValue::fromNumber(std::rand() / (double(RAND_MAX) + 1.0));
    case 15: {
        const double x = num(0);
        if (std::isnan(x) || std::isinf(x) || x == 0)
            return ESValue::fromNumber(x);
        if (x < 0 && x >= -0.5)
            return ESValue::fromNumber(-0.0);
        // x + 0.5 would round up before floor sees it (0.49999999999999994 + 0.5 is 1).
        const double below = std::floor(x);
        return ESValue::fromNumber(x - below >= 0.5 ? below + 1 : below);
    }
    case 16: return ESValue::fromNumber(std::sin(num(0)));
    case 17: return ESValue::fromNumber(std::sqrt(num(0)));
    case 18: return ESValue::fromNumber(std::tan(num(0)));
    default:
        return ESNativeClass::callMember(context, number, thisValue, count, args);
    }
}

} // namespace zim::script
