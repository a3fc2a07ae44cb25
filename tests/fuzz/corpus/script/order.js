var log = "", a = [0, 0, 0], i = 0, o = {x: 1, f: function (p, q) { return this.x + p + q; }};
function t(tag, v) { log += tag; return v; }
a[i++] = i;
t("f", o)[t("g", "x")] += t("h", 2);
o.x += (o.x = 5, 1);
o.f(o = {x: 9, f: o.f}, 2);
o["f"](t("a", 1), t("b", 2));
new (t("F", Date))(t("y", 2000), 1);
(function () { return t; })()("c", 3);
for (o.k in {p: 1, q: 2}) log += o.k;
for (a[i++] in [7, 8]);
for (var n in null) log += n;
(function (p) { var v = 1; with ({}) { delete p; } return delete v + delete p + delete arguments; })(1);
g = 1; delete g; var h = 2; delete h;
try { decodeURIComponent("%E4%B8"); } catch (e) { log += e instanceof URIError; }
try { encodeURI("\uD800"); } catch (e) { log += e.name; }
L1: L2: for (;;) { break L1; }
log + a.join() + o.x;
