// ES3 points the conformance run found: names read only for their side effects, the URI coders
// and U+0000 and U+FEFF, surrogates in patterns, groups inside repeated groups, return through
// finally, references taken before the right-hand side, conversion order, push past the largest
// length, the global object's conversion and comments left open, in the standard dialect.
load("harness.js");
function value(code) { try { return eval(code); } catch (e) { return "threw " + e.name; } }
checkThrows("undeclared name in a comma expression", "(function () { undeclaredName, 1; })()", ReferenceError);
checkThrows("undeclared name under void", "(function () { void undeclaredName; })()", ReferenceError);
checkThrows("undeclared name as a statement in a function", "(function () { undeclaredName; })()", ReferenceError);
check("encodeURIComponent escapes U+0000", encodeURIComponent("\u0000"), "%00");
check("encodeURI escapes U+0000", encodeURI("a\u0000"), "a%00");
check("encodeURI keeps U+FEFF", encodeURI("\uFEFF"), "%EF%BB%BF");
check("decodeURIComponent keeps U+FEFF", decodeURIComponent("%EF%BB%BF").charCodeAt(0), 0xFEFF);
check("regexp literal with a lone surrogate", value("/\uD800/.source"), "\uD800");
check("regexp with an escaped lone surrogate", value("/a\\\uDC00/.test('a\uDC00')"), true);
check("regexp with a lone surrogate escape matches it", value("/\\uDC00/.test('a\\uDC00')"), true);
check("regexp with a surrogate pair escape", value("/^\\uD83D\\uDE00$/.test('\\uD83D\\uDE00')"), true);
var finallyRan = 0;
function returnsFromTry() { try { return 1; } catch (e) { return 0; } finally { finallyRan = 1; } }
check("return from try runs finally", returnsFromTry() + ":" + finallyRan, "1:1");
var keyConversions = 0;
var base = {};
var key = { toString: function () { keyConversions++; return "k"; } };
base[key] = 1;
keyConversions = 0;
base[key] += 1;
check("compound assignment converts its key once", keyConversions, 1);
keyConversions = 0;
base[key]++;
check("increment converts its key once", keyConversions, 1);
var rhsRan = false;
try { var nothing = null; nothing[key] = (function () { rhsRan = true; })(); } catch (e) { }
check("null base fails before the right-hand side", rhsRan, false);
var scope = { x: 1 };
var outer = (function () { var x = 0; with (scope) { x = (delete scope.x, 2); } return x; })();
check("assignment keeps the reference resolved before its value", scope.x + ":" + outer, "2:0");
var order = "";
var left = { valueOf: function () { order += "L"; return 1; } };
var right = { valueOf: function () { order += "R"; return 2; } };
order = ""; left % right; check("% converts left first", order, "LR");
order = ""; left >= right; check(">= converts left first", order, "LR");
order = ""; left > right; check("> converts right first, as right < left", order, "RL");
order = ""; left <= right; check("<= converts right first, as not right < left", order, "RL");
var pushed = [];
pushed.length = 4294967295;
checkThrows("push past the largest length", "pushed.push('x')", RangeError);
toString = function () { return "global text"; };
check("the global object converts through its toString", String(this), "global text");
delete toString;
checkThrows("an unterminated comment", "var c = 1; /* open", SyntaxError);
check("captures of a repeated group are reset each time", /(z)((a+)?(b+)?(c))*/.exec("zaacbbbcac")[4], undefined);
check("a capture of the last repetition stays", /(z)((a+)?(b+)?(c))*/.exec("zaacbbbcac")[3], "a");
check("split drops captures of earlier repetitions", "xabcabx".split(/((a)|(b))+/).join(), "x,b,,b,c,b,,b,x");
check("replace drops captures of earlier repetitions", "zaacbbbcac".replace(/(z)((a+)?(b+)?(c))*/, "[$4]"), "[]");
done();
