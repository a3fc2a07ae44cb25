// What Octane's programs need of its base.js, for the drivers named octane-*: kept to plain ES3 so
// that each engine runs the program itself and not a timing loop of its own. A program registers
// itself with BenchmarkSuite; __octane(N) then runs each of its benchmarks N times after its
// setup, and the seeded Math.random makes every engine compute the same thing.
var __suites = [];

function BenchmarkSuite(name, reference, benchmarks) {
    __suites.push({ name: name, benchmarks: benchmarks });
}

function Benchmark(name, doWarmup, doDeterministic, deterministicIterations, run, setup, tearDown) {
    this.name = name;
    this.run = run;
    this.setup = setup;
    this.tearDown = tearDown;
}

// Octane's own seeded generator, so that splay's keys and the results checked are the same on
// every engine.
Math.random = (function () {
    var seed = 49734321;
    return function () {
        seed = ((seed + 0x7ed55d16) + (seed << 12)) & 0xffffffff;
        seed = ((seed ^ 0xc761c23c) ^ (seed >>> 19)) & 0xffffffff;
        seed = ((seed + 0x165667b1) + (seed << 5)) & 0xffffffff;
        seed = ((seed + 0xd3a2646c) ^ (seed << 9)) & 0xffffffff;
        seed = ((seed + 0xfd7046c5) + (seed << 3)) & 0xffffffff;
        seed = ((seed ^ 0xb55a4f09) ^ (seed >>> 16)) & 0xffffffff;
        return (seed & 0xfffffff) / 0x10000000;
    };
})();

var performance = { now: function () { return new Date().getTime(); } };

// Each benchmark's setup, N runs (a program checks its own result and throws when it is wrong),
// its tear-down, and one line per benchmark.
function __octane(iterations) {
    for (var s = 0; s < __suites.length; s++) {
        var benchmarks = __suites[s].benchmarks;
        for (var i = 0; i < benchmarks.length; i++) {
            var b = benchmarks[i];
            if (b.setup) b.setup();
            for (var k = 0; k < iterations; k++) b.run();
            if (b.tearDown) b.tearDown();
            out(b.name + ": " + iterations + " runs");
        }
    }
}
