// The global object: values, eval, the URI coders, escape, Error objects, Date and RegExp, in the loader dialect.
"use loader"; load("harness.js");
check("undefined value", undefined, void 0);
check("NaN value", isNaN(NaN), true);
check("encodeURIComponent", encodeURIComponent("a b&c/é"), "a%20b%26c%2F%C3%A9");
check("encodeURI keeps reserved", encodeURI("http://x/a b?c=d"), "http://x/a%20b?c=d");
check("decodeURIComponent", decodeURIComponent("a%20b%26c%2F%C3%A9"), "a b&c/é");
check("decodeURI keeps reserved escapes", decodeURI("%2F%20"), "%2F ");
check("escape", escape("a b+"), "a%20b+");
check("unescape", unescape("%u0041%42"), "AB");
var e = new Error("msg");
check("Error message", e.message, "msg");
check("Error name", e.name, "Error");
check("Error toString", e.toString(), "Error: msg");
check("TypeError name", new TypeError("x").name, "TypeError");
check("subclass of Error", new RangeError("x") instanceof Error, true);
check("Error called as function", Error("y") instanceof Error, true);
check("Error without message", new Error().message, "");
var d = new Date(2000, 0, 31, 12, 30, 15, 250);
check("Date fields year", d.getFullYear(), 2000);
check("Date fields month", d.getMonth(), 0);
check("Date fields day", d.getDate(), 31);
check("Date fields weekday", d.getDay(), 1);
check("Date fields time", d.getHours() + ":" + d.getMinutes() + ":" + d.getSeconds() + "." + d.getMilliseconds(), "12:30:15.250");
check("Julian day time value", new Date(1970, 0, 1).getTime(), 2440588 * 86400000);
check("Date month overflow", new Date(2000, 12, 1).getFullYear(), 2001);
var d2 = new Date(2000, 0, 1);
d2.setMonth(5);
check("setMonth", d2.getMonth(), 5);
d2.setDate(0);
check("setDate zero goes back", d2.getDate(), 31);
check("Date copy", new Date(d.getTime()).getTime(), d.getTime());
check("Date.UTC round trip", new Date(Date.UTC(2000, 5, 15, 10)).getUTCHours(), 10);
check("Date.parse", Date.parse(new Date(2001, 1, 2, 3, 4, 5).toString()), new Date(2001, 1, 2, 3, 4, 5).getTime());
check("invalid date", isNaN(new Date(NaN).getTime()), true);
checkThrows("Date method on other object", "Date.prototype.getTime.call({})", TypeError);
var re = new RegExp("a(b)?", "gi");
check("RegExp source", re.source, "a(b)?");
check("RegExp flags", re.global && re.ignoreCase && !re.multiline, true);
var m = re.exec("xAbxa");
check("exec match", m[0], "Ab");
check("exec index", m.index, 1);
check("exec lastIndex", re.lastIndex, 3);
check("exec unmatched group", re.exec("xAbxa")[1], undefined);
check("exec at end", re.exec("xAbxa"), null);
check("test", new RegExp("^\\d+$").test("123"), true);
check("multiline", new RegExp("^b", "m").test("a\nb"), true);
check("dollar is the end", new RegExp("a$").test("a\n"), false);
checkThrows("bad flags", "new RegExp('a', 'q')", SyntaxError);
check("RegExp toString", String(new RegExp("x", "g")), "/x/g");
check("slash is division", eval("4 / 2 / 2"), 1);
// URIError from the URI functions on malformed input.
function uriError(code) {
    try { eval(code); } catch (e) { return e instanceof URIError && e instanceof Error && e.name == "URIError"; }
    return "no error";
}
check("decodeURI lone percent", uriError("decodeURI('%')"), true);
check("decodeURI bad hex", uriError("decodeURI('%zz')"), true);
check("decodeURIComponent truncated sequence", uriError("decodeURIComponent('%E4%B8')"), true);
check("decodeURIComponent overlong", uriError("decodeURIComponent('%C0%80')"), true);
check("encodeURI lone high surrogate", uriError("encodeURI('\\uD800')"), true);
check("encodeURIComponent lone low surrogate", uriError("encodeURIComponent('\\uDC00x')"), true);
check("URIError constructor", new URIError("m").message, "m");
check("URIError called as function", URIError("m") instanceof URIError, true);
check("URIError prototype chain", URIError.prototype instanceof Error, true);
check("URIError name", URIError.prototype.name, "URIError");
check("URIError length", URIError.length, 1);
check("URIError class", Object.prototype.toString.call(new URIError()), "[object Error]");
check("URIError toString", String(new URIError("bad")), "URIError: bad");
// The ES5 built-ins belong to the standard dialect only.
check("no JSON here", typeof JSON, "undefined");
check("no Array extras here", typeof [].forEach, "undefined");
check("no bind here", typeof Function.prototype.bind, "undefined");
// Date(y, m, d, h, mi, s, ms) and Date.UTC convert their arguments left to right.
var order = [];
function part(n) { return { valueOf: function () { order.push(n); return 1; } }; }
new Date(part(0), part(1), part(2), part(3), part(4), part(5), part(6));
Date.UTC(part(0), part(1), part(2), part(3), part(4), part(5), part(6));
check("Date arguments in order", order.join(""), "01234560123456");
done();
