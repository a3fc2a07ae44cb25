// Fuzzes the compiler and the machine together: any text must compile and run to completion, to
// a script exception or to an engine fault with a text; an instruction budget ends endless loops.
#include "script/escontext.h"

#include <QString>
#include <cstddef>
#include <cstdint>

namespace {

class BudgetContext : public zim::script::ESContext
{
public:
    // Each poll stands for up to 64 backward jumps or calls.
    bool keepRunning() override { return ++m_polls < 2000; }

private:
    int m_polls = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    BudgetContext context;
    try {
        const zim::script::ESEvaluation result = context.evaluate(text);
        if (result.status == zim::script::ESEvaluation::Thrown)
            (void)result.message.size();
    } catch (const zim::script::ESFatalError &e) {
        if (e.text().isEmpty())
            __builtin_trap();
    }
    return 0;
}
