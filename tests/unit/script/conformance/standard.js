// The standard dialect, which script files run in unless they ask for the loader's: abstract
// equality, number texts, dates from 1970 UTC, undeclared names, and error texts that name
// what failed.
load("harness.js");

// Abstract equality in full.
check("null == undefined", null == undefined, true);
check("undefined == null", undefined == null, true);
check("null != undefined", null != undefined, false);
check("null === undefined", null === undefined, false);
check("null == 0", null == 0, false);
check("undefined == false", undefined == false, false);
check("null == empty string", null == "", false);
check("number == string", 1 == "1", true);
check("boolean == number", true == 1, true);
check("boolean == string", false == "0", true);
check("object == string", new String("a") == "a", true);
check("object == number", ({ valueOf: function () { return 7; } }) == 7, true);
check("NaN == NaN", NaN == NaN, false);
check("two objects", {} == {}, false);
var x;
check("x == null for an unset variable", x == null, true);

// Numbers print in the shortest text that reads back as the same number.
check("0.1 + 0.2", String(0.1 + 0.2), "0.30000000000000004");
check("third", String(1 / 3), "0.3333333333333333");
check("1e20", String(1e20), "100000000000000000000");
check("1e21", String(1e21), "1e+21");
check("1e-6", String(0.000001), "0.000001");
check("1e-7", String(1e-7), "1e-7");
check("negative", String(-1.5e-9), "-1.5e-9");
check("large with digits", String(1.2345e25), "1.2345e+25");
check("max value", String(Number.MAX_VALUE), "1.7976931348623157e+308");
check("min value", String(Number.MIN_VALUE), "5e-324");
check("integral", String(123456789), "123456789");
check("toString of a fraction", (2.5).toString(), "2.5");
check("property key of a fraction", (function () { var o = {}; o[1 / 3] = 1; for (var k in o) return k; })(),
      "0.3333333333333333");

// Dates count milliseconds from 1970-01-01 UTC.
check("epoch", new Date(0).getTime(), 0);
check("epoch UTC year", new Date(0).getUTCFullYear(), 1970);
check("Date.UTC", Date.UTC(2000, 0, 1), 946684800000);
check("valueOf", new Date(86400000).valueOf(), 86400000);
check("setTime", new Date(0).setTime(5000), 5000);
check("subtraction", new Date(2000, 0, 2) - new Date(2000, 0, 1), 86400000);
check("Date.parse", Date.parse("2000-01-01T00:00:00Z"), 946684800000);
check("UTC setter result", new Date(0).setUTCHours(1), 3600000);
check("local round trip", new Date(2001, 1, 3, 4, 5, 6, 7).getDate(), 3);

// Undeclared names.
checkThrows("reading an undeclared name", "neverDeclared", ReferenceError);
checkThrows("calling an undeclared name", "neverDeclared()", ReferenceError);
check("typeof an undeclared name", typeof neverDeclared, "undefined");
check("typeof a deleted global", (function () { createdByAssignment = 1; delete createdByAssignment;
                                              return typeof createdByAssignment; })(), "undefined");
checkThrows("incrementing an undeclared name", "undeclaredCount++", ReferenceError);
checkThrows("compound assignment to an undeclared name", "undeclaredSum += 1", ReferenceError);
function bumpInside() { undeclaredInside++; }
checkThrows("incrementing inside a function", "bumpInside()", ReferenceError);
function readInside() { return alsoNeverDeclared; }
checkThrows("reading inside a function", "readInside()", ReferenceError);
assignedLater = 5;
check("assignment creates a global", assignedLater, 5);
check("a declared but unset global", typeof declaredLater, "undefined");
var declaredLater = 1;

// Error texts name what failed, without a line prefix in the message.
function messageOf(code) {
    try { eval(code); } catch (e) { return e.name + ": " + e.message; }
    return "no error";
}
check("undeclared read", messageOf("missing + 1"), "ReferenceError: missing is not defined");
var notCallable = 3;
check("calling a number", messageOf("notCallable()"), "TypeError: notCallable is not a function");
var holder = {};
check("calling a missing method", messageOf("holder.helper()"), "TypeError: helper is not a function");
check("reading through undefined", messageOf("holder.inner.deeper"),
      "TypeError: cannot read property 'deeper' of undefined");
check("reading through null", messageOf("var n = null; n.x"), "TypeError: cannot read property 'x' of null");
check("writing through undefined", messageOf("holder.inner.deeper = 1"),
      "TypeError: cannot set property 'deeper' of undefined");
check("a parameter named", messageOf("(function (cb) { cb(); })(1)"), "TypeError: cb is not a function");
check("range error", messageOf("(1).toFixed(30)"), "RangeError: fraction digits should 0 through 20");
var made = new Error("made here");
check("an Error knows its line", made.lineNumber, 85);
// Date(y, m, d, h, mi, s, ms) and Date.UTC convert their arguments left to right.
var order = [];
function part(n) { return { valueOf: function () { order.push(n); return 1; } }; }
new Date(part(0), part(1), part(2), part(3), part(4), part(5), part(6));
Date.UTC(part(0), part(1), part(2), part(3), part(4), part(5), part(6));
check("Date arguments in order", order.join(""), "01234560123456");
done();
