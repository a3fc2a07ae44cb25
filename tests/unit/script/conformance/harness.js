// Shared checks of the conformance scripts: each script loads this file, calls check for every
// fact and done at the end, which fails the run when any check failed.
var failures = 0;
var checks = 0;
function same(a, b) {
    if (typeof a == "number" && typeof b == "number" && a != a && b != b)
        return true;
    if (a === 0 && b === 0)
        return 1 / a === 1 / b;
    return a === b;
}
function check(name, actual, expected) {
    checks++;
    if (!same(actual, expected)) {
        failures++;
        Console.WriteLine("FAIL " + name + ": got " + actual + " (" + typeof actual + "), expected " + expected);
    }
}
function checkThrows(name, code, errorClass) {
    checks++;
    try {
        eval(code);
    } catch (e) {
        if (e instanceof errorClass)
            return;
        failures++;
        Console.WriteLine("FAIL " + name + ": threw " + e);
        return;
    }
    failures++;
    Console.WriteLine("FAIL " + name + ": did not throw");
}
function done() {
    if (failures > 0)
        throw new Error(failures + " of " + checks + " checks failed");
    Console.WriteLine(checks + " checks passed");
}
