// Functions: declarations, expressions, closures, arguments, this, call and apply, recursion
// and the Function constructor.
load("harness.js");
function add(a, b) { return a + b; }
check("declaration", add(2, 3), 5);
check("length", add.length, 2);
check("missing arguments are undefined", (function (a, b) { return b; })(1), undefined);
function count() { return arguments.length; }
check("arguments length", count(1, 2, 3), 3);
check("arguments length counts what was passed", (function (a, b) { return arguments.length; })(1), 1);
check("unpassed parameter is not in arguments", (function (a, b) { return 1 in arguments; })(1), false);
function second() { return arguments[1]; }
check("arguments index", second("a", "b"), "b");
function shared(a) { arguments[0] = "changed"; return a; }
check("arguments share parameters", shared("orig"), "changed");
function shared2(a) { a = "new"; return arguments[0]; }
check("parameters share arguments", shared2("orig"), "new");
function callee() { return arguments.callee; }
check("arguments callee", callee(), callee);
function makeCounter() { var c = 0; return function () { return ++c; }; }
var c1 = makeCounter(), c2 = makeCounter();
c1(); c1();
check("closures keep their own state", c1() + ":" + c2(), "3:1");
var fact = function f(n) { return n <= 1 ? 1 : n * f(n - 1); };
check("named function expression recursion", fact(5), 120);
check("name stays inside", typeof f, "undefined");
var obj = { v: 7, get: function () { return this.v; } };
check("method this", obj.get(), 7);
check("call", obj.get.call({ v: 8 }), 8);
check("apply", add.apply(null, [4, 5]), 9);
check("apply with arguments", (function () { return add.apply(null, arguments); })(1, 2), 3);
check("global this", (function () { return this; })() === this, true);
var dyn = new Function("a", "b", "return a * b");
check("Function constructor", dyn(6, 7), 42);
check("Function toString", String(add), "<<function>>");
function deep(n) { return n == 0 ? 0 : 1 + deep(n - 1); }
check("recursion", deep(100), 100);
function Ctor() { this.a = 1; return { b: 2 }; }
check("constructor returning object", new Ctor().b, 2);
function Ctor2() { this.a = 1; return 5; }
check("constructor returning primitive", new Ctor2().a, 1);
check("prototype constructor", Ctor.prototype.constructor, Ctor);
var inner = (function () { var x = "outer"; return (function () { return x; })(); })();
check("nested scope", inner, "outer");
function local() { var v = eval("1 + 1"); var w = 3; return eval("w * v"); }
check("eval sees locals", local(), 6);
function declaresByEval() { eval("var q = 5"); return q; }
check("eval declares in the caller", declaresByEval(), 5);
check("eval declaration stays local", typeof q, "undefined");
var loopFns = [];
for (var li = 0; li < 3; li++) loopFns.push(function () { return li; });
check("closures share the loop variable", loopFns[0](), 3);
checkThrows("eval syntax error", "eval('1 +')", SyntaxError);
check("eval returns non-strings", eval(5), 5);
check("eval of statements", eval("var ev = 3; ev * 2"), 6);
var selfNamed = function inner() { inner = 1; inner++; ++inner; inner += 2; return typeof inner; };
check("function expression name is read-only inside", selfNamed(), "function");
check("function expression name shadowed by var", (function inner() { var inner = 1; return inner; })(), 1);
check("eval declares in the function, not the with object", (function () {
    var scope = {};
    with (scope) { eval("var declared = 4"); }
    return typeof declared + ":" + typeof scope.declared;
})(), "number:undefined");
check("eval declares in the function, not the catch scope", (function () {
    try { throw 1; } catch (e) { eval("var fromCatch = 5"); }
    return fromCatch;
})(), 5);
done();
