// Building long strings: appends, joins and searches.
if (typeof print == "undefined") print = function (s) { Console.WriteLine(s); };
var s = "";
for (var i = 0; i < 20000; i++) s += "item" + i + ";";
var parts = [];
for (var i = 0; i < 20000; i++) parts.push("x" + (i % 100));
var joined = parts.join(",");
var found = 0;
for (var i = 0; i < 2000; i++) if (s.indexOf("item" + (i * 7)) >= 0) found++;
print(s.length + " " + joined.length + " " + found);
