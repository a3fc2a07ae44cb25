// Statements: var, if, loops, labels, break, continue, switch, with, throw and try, in the loader dialect.
"use loader"; load("harness.js");
var runs = 0;
for (var i = 0; i < 3; i = i + 1) runs++;
check("for runs three times", runs, 3);
var w = 0;
while (w < 3) w++;
check("while", w, 3);
var d = 0;
do d++; while (d < 5)
check("do-while without semicolon", d, 5);
var collected = "";
outer: for (var a = 0; a < 3; a++) {
    for (var b = 0; b < 3; b++) {
        if (b == 1) continue outer;
        if (a == 2) break outer;
        collected += a + "" + b + " ";
    }
}
check("labelled break and continue", collected, "00 10 ");
var blockExit = 0;
block: { blockExit = 1; break block; }
check("break out of a labelled block", blockExit, 1);
checkThrows("labelled continue on a block", "x: { continue x; }", SyntaxError);
checkThrows("break outside loop", "break;", SyntaxError);
checkThrows("unknown label", "while (true) { break nowhere; }", SyntaxError);
function classify(v) {
    switch (v) {
    case 1: return "one";
    case "1": return "string one";
    case 2:
    case 3: return "few";
    default: return "many";
    }
}
check("switch strict match", classify(1), "one");
check("switch string case", classify("1"), "string one");
check("switch fall through", classify(2), "few");
check("switch default", classify(9), "many");
var fell = "";
switch (0) { case 0: fell += "a"; case 1: fell += "b"; break; case 2: fell += "c"; }
check("switch falls through to break", fell, "ab");
var o = { x: 5 };
with (o) { x = 6; }
check("with writes the object", o.x, 6);
var keys = [];
for (var k in { p: 1, q: 2 }) keys.push(k);
check("for-in names", keys.join(), "p,q");
var inherited = [];
function Base() { this.own = 1; }
Base.prototype.shared = 2;
for (var k2 in new Base()) inherited.push(k2);
check("for-in includes prototype", inherited.join(), "own,shared");
var skipped = [];
for (var k3 in [1, 2, 3]) skipped.push(k3);
check("for-in over array skips length", skipped.join(), "0,1,2");
var caught;
try { throw "thrown"; } catch (e) { caught = e; }
check("catch a string", caught, "thrown");
check("catch variable is scoped", typeof e, "undefined");
var order = "";
try { order += "t"; } finally { order += "f"; }
check("finally after normal exit", order, "tf");
function finallyOnReturn() { try { return "r"; } finally { order += "R"; } }
check("finally on return keeps value", finallyOnReturn(), "r");
check("finally ran on return", order, "tfR");
var loops = "";
for (var n = 0; n < 3; n++) { try { if (n == 1) continue; if (n == 2) break; loops += n; } finally { loops += "f"; } }
check("finally on break and continue", loops, "0fff");
var nested = "";
try { try { throw new RangeError("inner"); } finally { nested += "1"; } } catch (err) { nested += err.name; }
check("finally then outer catch", nested, "1RangeError");
try { undefinedFunction(); } catch (err) { caught = err; }
check("engine errors are catchable", caught instanceof TypeError, true);
check("engine error text", caught.message.indexOf("line ") == 0, true);
var rethrown;
try { try { throw 1; } catch (x) { throw x + 1; } } catch (y) { rethrown = y; }
check("rethrow from catch", rethrown, 2);
check("function declared later is callable", hoisted(), "hoisted");
function hoisted() { return "hoisted"; }
var visits = 0;
for (var none in null) visits++;
for (var none in undefined) visits++;
check("for-in over null and undefined", visits, 0);
var holder = {}, seen = [];
for (holder.key in { a: 1 }) seen.push(holder.key);
check("for-in member target", seen.join(), "a");
var names = [];
for (names[names.length] in { p: 1, q: 2 });
check("for-in index target", names.join(), "p,q");
done();
