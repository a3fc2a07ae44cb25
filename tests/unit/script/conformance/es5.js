// The ES5 built-ins of the standard dialect: JSON, Array.isArray and the Array extras, Object.keys,
// create and getPrototypeOf, bind, trim, Date.now and toISOString.
load("harness.js");

// JSON.stringify
check("stringify scalars", JSON.stringify([1, "a", true, null]), '[1,"a",true,null]');
check("stringify nested", JSON.stringify({ a: { b: [1, { c: 2 }] } }), '{"a":{"b":[1,{"c":2}]}}');
check("stringify skips undefined and functions in objects",
      JSON.stringify({ u: undefined, f: function () {}, k: 1 }), '{"k":1}');
check("stringify nulls them in arrays", JSON.stringify([undefined, function () {}]), "[null,null]");
check("stringify of undefined", JSON.stringify(undefined), undefined);
check("stringify escapes", JSON.stringify("q\"\\\n\u0001"), '"q\\"\\\\\\n\\u0001"');
check("stringify non-finite", JSON.stringify([NaN, Infinity]), "[null,null]");
check("stringify wrappers", JSON.stringify([new Number(3), new String("s"), new Boolean(false)]), '[3,"s",false]');
check("stringify fractions", JSON.stringify(0.1 + 0.2), "0.30000000000000004");
check("stringify toJSON", JSON.stringify({ d: { toJSON: function (k) { return "key " + k; } } }), '{"d":"key d"}');
check("stringify Date", JSON.stringify(new Date(0)), '"1970-01-01T00:00:00.000Z"');
check("stringify replacer function",
      JSON.stringify({ a: 1, b: "x" }, function (k, v) { return typeof v == "number" ? v * 10 : v; }),
      '{"a":10,"b":"x"}');
check("stringify replacer list", JSON.stringify({ a: 1, b: 2, c: 3 }, ["c", "a"]), '{"c":3,"a":1}');
check("stringify indent number", JSON.stringify({ a: [1] }, null, 2), '{\n  "a": [\n    1\n  ]\n}');
check("stringify indent string", JSON.stringify([1, 2], null, "--"), "[\n--1,\n--2\n]");
check("stringify indent capped at ten", JSON.stringify([1], null, 20), "[\n          1\n]");
check("stringify empty containers", JSON.stringify({ a: [], b: {} }, null, 1), '{\n "a": [],\n "b": {}\n}');
var cyclic = {}; cyclic.self = cyclic;
checkThrows("stringify of a cycle", "JSON.stringify(cyclic)", TypeError);
var deep = []; for (var d = 0, inner = deep; d < 5000; d++) { inner[0] = []; inner = inner[0]; }
checkThrows("stringify of a deep nest", "JSON.stringify(deep)", RangeError);

// JSON.parse
var parsed = JSON.parse(' {"a": [1, -2.5e1, true, false, null], "s": "\\u0041\\n\\"", "o": {}} ');
check("parse array", parsed.a.length, 5);
check("parse number", parsed.a[1], -25);
check("parse literals", parsed.a[2] === true && parsed.a[3] === false && parsed.a[4] === null, true);
check("parse escapes", parsed.s, "A\n\"");
check("parse empty object", typeof parsed.o, "object");
check("parse scalar", JSON.parse("42"), 42);
check("parse reviver", JSON.stringify(JSON.parse('{"a":1,"b":[2,3]}', function (k, v) {
    return typeof v == "number" ? v + 1 : v;
})), '{"a":2,"b":[3,4]}');
check("parse reviver removes", JSON.stringify(JSON.parse('{"a":1,"b":2}', function (k, v) {
    return k == "a" ? undefined : v;
})), '{"b":2}');
check("parse reviver holder key", JSON.parse("1", function (k, v) { return k === "" ? "root" : v; }), "root");
checkThrows("parse trailing comma", "JSON.parse('[1,]')", SyntaxError);
checkThrows("parse single quotes", "JSON.parse(\"{'a':1}\")", SyntaxError);
checkThrows("parse leading zero", "JSON.parse('01')", SyntaxError);
checkThrows("parse trailing text", "JSON.parse('1 2')", SyntaxError);
checkThrows("parse empty", "JSON.parse('')", SyntaxError);
checkThrows("parse raw control character", "JSON.parse('\"a\\nb\"')", SyntaxError);
checkThrows("parse too deep", "JSON.parse(new Array(2000).join('[') + new Array(2000).join(']'))", SyntaxError);
check("parse error text", (function () { try { JSON.parse("[1,}"); } catch (e) { return e.message; } })(),
      "JSON.parse: unexpected character '}' at position 3");
check("round trip", JSON.stringify(JSON.parse('{"x":[1,{"y":"z"}]}')), '{"x":[1,{"y":"z"}]}');

// Array.isArray and the extras.
check("isArray", Array.isArray([]) && !Array.isArray({ length: 0 }) && !Array.isArray("a"), true);
var seen = [];
[1, , 3].forEach(function (v, i, a) { seen.push(i + ":" + v + ":" + (a.length)); });
check("forEach skips holes", seen.join(" "), "0:1:3 2:3:3");
var self = { k: 10 };
check("forEach this", (function () { var s = 0; [1, 2].forEach(function (v) { s += v * this.k; }, self); return s; })(), 30);
check("map", [1, 2, 3].map(function (v) { return v * 2; }).join(), "2,4,6");
check("map keeps holes", [1, , 3].map(function (v) { return v; }).hasOwnProperty(1), false);
check("map length", [1, , 3].map(function (v) { return v; }).length, 3);
check("filter", [1, 2, 3, 4].filter(function (v) { return v % 2 == 0; }).join(), "2,4");
check("some", [1, 2].some(function (v) { return v > 1; }) && ![].some(function () { return true; }), true);
check("every", [1, 2].every(function (v) { return v > 0; }) && [].every(function () { return false; }), true);
check("reduce", [1, 2, 3].reduce(function (a, b) { return a + b; }), 6);
check("reduce initial", [1, 2, 3].reduce(function (a, b) { return a + b; }, "x"), "x123");
check("reduce skips holes", [, 1, , 2].reduce(function (a, b) { return a + "," + b; }), "1,2");
check("reduceRight", [1, 2, 3].reduceRight(function (a, b) { return a + b; }, ""), "321");
checkThrows("reduce of an empty array", "[].reduce(function () {})", TypeError);
checkThrows("forEach without a function", "[1].forEach()", TypeError);
checkThrows("map with a number", "[1].map(3)", TypeError);
check("callback error text", (function () { try { [1].filter({}); } catch (e) { return e.message; } })(),
      "Array.prototype.filter argument is not a function");
check("indexOf", [1, 2, 3, 2].indexOf(2), 1);
check("indexOf from", [1, 2, 3, 2].indexOf(2, 2), 3);
check("indexOf negative from", [1, 2, 3, 2].indexOf(1, -2), -1);
check("indexOf strict", [1, "1"].indexOf("1"), 1);
check("indexOf NaN", [NaN].indexOf(NaN), -1);
check("lastIndexOf", [1, 2, 3, 2].lastIndexOf(2), 3);
check("lastIndexOf from", [1, 2, 3, 2].lastIndexOf(2, 2), 1);
check("lastIndexOf missing", [1].lastIndexOf(5), -1);
check("generic on an array-like", Array.prototype.map.call({ length: 2, 0: "a", 1: "b" },
                                                           function (v) { return v + v; }).join(), "aa,bb");
check("on a string", Array.prototype.filter.call("abc", function (c) { return c != "b"; }).join(""), "ac");

// Object.keys, create, getPrototypeOf.
check("keys", Object.keys({ a: 1, b: 2 }).join(), "a,b");
check("keys of an array", Object.keys([5, , 7]).join(), "0,2");
check("keys skip inherited", Object.keys(Object.create({ p: 1 })).length, 0);
checkThrows("keys of a number", "Object.keys(1)", TypeError);
var proto = { greet: function () { return "hi " + this.name; } };
var made = Object.create(proto);
made.name = "ann";
check("create inherits", made.greet(), "hi ann");
check("getPrototypeOf", Object.getPrototypeOf(made) === proto, true);
check("create null", Object.getPrototypeOf(Object.create(null)), null);
check("create with properties", Object.create({}, { v: { value: 3, enumerable: true } }).v, 3);
checkThrows("create with a number", "Object.create(1)", TypeError);
checkThrows("getPrototypeOf of a string", "Object.getPrototypeOf('s')", TypeError);

// defineProperty: left-out fields are false on a new property and unchanged on an existing one.
var held = {};
Object.defineProperty(held, "fixed", { value: 1 });
held.fixed = 2;
check("defined read-only, hidden, permanent", [held.fixed, Object.keys(held).length, delete held.fixed].join(), "1,0,false");
Object.defineProperty(held, "open", { value: 3, writable: true, enumerable: true, configurable: true });
Object.defineProperty(held, "open", { enumerable: false });
held.open = 4;
check("redefining keeps what is left out", [held.open, held.propertyIsEnumerable("open")].join(), "4,false");
checkThrows("a permanent read-only value cannot change", "Object.defineProperty(held, 'fixed', { value: 5 })", TypeError);
checkThrows("accessors are refused", "Object.defineProperty({}, 'g', { get: function () {} })", TypeError);
checkThrows("defineProperty on a number", "Object.defineProperty(1, 'x', {})", TypeError);
var listed = [1, 2];
Object.defineProperty(listed, "0", { value: 9, writable: true, enumerable: true, configurable: true });
check("an ordinary element", listed.join(), "9,2");
checkThrows("a read-only element is refused", "Object.defineProperty(listed, '1', { value: 9 })", TypeError);
Object.defineProperty(Object.prototype, "inheritsFrom", { value: function () { return "yes"; } });
var seen = 0;
for (var name in {}) seen++;
check("a hidden method on Object.prototype", ({}).inheritsFrom() + seen, "yes0");
var both = Object.defineProperties({}, { x: { value: 1, enumerable: true }, y: { value: 2 } });
check("defineProperties", [both.x, both.y, Object.keys(both).join()].join(), "1,2,x");

// bind
function add(a, b) { return (this.base || 0) + a + b; }
var bound = add.bind({ base: 100 }, 1);
check("bind this and arguments", bound(2), 103);
check("bind length", bound.length, 1);
check("bind typeof", typeof bound, "function");
function Point(x, y) { this.x = x; this.y = y; }
var AtOne = Point.bind(null, 1);
var p = new AtOne(2);
check("new on a bound function", p.x + "," + p.y, "1,2");
check("instanceof through a bound function", p instanceof Point, true);
check("instanceof of a bound function", p instanceof AtOne, true);
checkThrows("bind of a number", "Function.prototype.bind.call(1)", TypeError);

// trim, Date.now, toISOString
check("trim", " \t\n a b \u00a0\r\n".trim(), "a b");
check("trim empty", "   ".trim(), "");
check("trim on a number", String.prototype.trim.call(5), "5");
check("Date.now", typeof Date.now(), "number");
check("Date.now is recent", Date.now() > 1500000000000, true);
check("toISOString", new Date(Date.UTC(2020, 1, 29, 13, 4, 5, 6)).toISOString(), "2020-02-29T13:04:05.006Z");
check("toISOString before 1970", new Date(-1).toISOString(), "1969-12-31T23:59:59.999Z");
checkThrows("toISOString of an invalid date", "new Date(NaN).toISOString()", RangeError);
done();
