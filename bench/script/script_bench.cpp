// Evaluations per second of loadPeripheral(0x21) in a context holding a peripheral-style script,
// and (with --memory N) the peak resident memory after N evaluations of f(0x21).
#include "script/escontext.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

using zim::script::ESContext;

namespace {

// A peripheral as a simulation script models one: registers in an object, reads by address.
const char *const peripheral = R"(
var P1 = { IN: 0x5a, OUT: 0, DIR: 0, IFG: 0 };
var reads = 0;
function loadPeripheral(address) {
    reads++;
    switch (address) {
    case 0x20: return P1.IN;
    case 0x21: return P1.OUT;
    case 0x22: return P1.DIR;
    case 0x23: return P1.IFG;
    default: return 0xff;
    }
}
function storePeripheral(address, value) {
    if (address == 0x21) P1.OUT = value & 0xff;
}
function f(address) { return loadPeripheral(address) + 1; }
)";

void LoadPeripheral(benchmark::State &state)
{
    zim::script::ESContext context;
    context.evaluate(QString::fromLatin1(peripheral));
    const QString call = QStringLiteral("loadPeripheral(0x21)");
    for (auto _ : state)
        benchmark::DoNotOptimize(context.evaluate(call).value.number);
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(LoadPeripheral);

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--memory") == 0) {
        const long count = std::atol(argv[2]);
        zim::script::ESContext context;
        context.evaluate(QString::fromLatin1(peripheral));
        const QString call = QStringLiteral("f(0x21)");
        for (long i = 0; i < count; ++i)
            context.evaluate(call);
        std::printf("%ld evaluations of f(0x21): peak %ld KB\n", count, peakKilobytes());
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
