// Regular expressions written as literals, and the String members that take them.
load("harness.js");

var r = /(\d+)-(\d+)/g;
check("literal source", r.source, "(\\d+)-(\\d+)");
check("literal flags", [r.global, r.ignoreCase, r.multiline].join(), "true,false,false");
check("literal toString", /a\/b/im.toString(), "/a\\/b/im");
check("literal class holds a slash", /[/]/.test("/"), true);
check("literal after return", (function () { return /x/.test("x"); })(), true);
check("literal after operator", "ab" + /b/.source, "abb");
check("literal as argument", "a-b".split(/-/).length, 2);
check("literal starting with =", /=+/.exec("a==b")[0], "==");
check("division stays division", (function () { var a = 12, b = 3, g = 2; return a / b / g; })(), 2);
check("divide-assign stays", (function () { var a = 12; a /= 4; return a; })(), 3);
checkThrows("bad flag", "/a/x", SyntaxError);
checkThrows("bad pattern", "/(/", SyntaxError);
checkThrows("unterminated", "/abc", SyntaxError);

check("exec groups", r.exec("1-22 333-4").join("|"), "1-22|1|22");
check("exec lastIndex", r.lastIndex, 4);
check("exec next", r.exec("1-22 333-4").index, 5);
check("exec end resets", r.exec("1-22 333-4") === null && r.lastIndex === 0, true);
check("undefined group", /(a)|(b)/.exec("b")[1], undefined);

check("match global", "a1b22c333".match(/\d+/g).join("|"), "1|22|333");
check("match global none", "abc".match(/\d/g), null);
check("match empty matches", "abc".match(/x*/g).length, 4);
check("match resets lastIndex", (function () { var g = /a/g; g.lastIndex = 2; "aaa".match(g); return g.lastIndex; })(), 0);
check("search ignores global", (function () { var g = /b/g; g.lastIndex = 5; return "abcb".search(g) + ":" + g.lastIndex; })(), "1:5");

check("replace global", "a.b.c".replace(/\./g, "/"), "a/b/c");
check("replace first only", "a.b.c".replace(/\./, "/"), "a/b.c");
check("replace patterns", "abc".replace(/(b)/, "[$$|$&|$`|$'|$1|$2]"), "a[$|b|a|c|b|$2]c");
check("replace empty matches", "abc".replace(/x*/g, "-"), "-a-b-c-");
check("replace function arguments", "x12y".replace(/(\d)(\d)/, function (m, a, b, at, s) {
    return [m, a, b, at, s].join(",");
}), "x12,1,2,1,x12yy");
var calls = 0;
var o = /o/g;
check("replace function resetting lastIndex ends",
      "foo boo".replace(o, function () { o.lastIndex = 0; calls++; return "0"; }), "f00 b00");
check("replace function called once per match", calls, 4);
check("replace function matching again", "aXbX".replace(/X/g, function (m) { return "aXa".replace(/X/g, "y"); }), "aayabaya");

var order = "";
"abc".replace({toString: function () { order += "search "; return "b"; }},
              {toString: function () { order += "replacement"; return "x"; }});
check("replace converts the search value first", order, "search replacement");

var big = new Array(65537).join("ab");
check("replace over a large string", big.replace(/b/g, "").length, 65536);
check("split over a large string", big.split(/a/).length, 65537);

check("split captures", "a1b2c".split(/(\d)/).join("|"), "a|1|b|2|c");
check("split empty pattern", "abc".split(/(?:)/).join("|"), "a|b|c");
check("split undefined captures", "A<B>b</B>".split(/<(\/)?([^<>]+)>/).length, 7);
check("split limit", "a,b,c".split(/,/, 2).join("|"), "a|b");
check("split empty string", "".split(/x/).length, 1);
check("split empty string by empty match", "".split(/(?:)/).length, 0);
done();
