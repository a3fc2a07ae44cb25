// String: construction, character access and the prototype's members, with string and RegExp
// patterns.
load("harness.js");
check("fromCharCode", String.fromCharCode(72, 105), "Hi");
check("charAt out of range", "abc".charAt(5), "");
check("charCodeAt", "A".charCodeAt(0), 65);
check("charCodeAt out of range", isNaN("A".charCodeAt(3)), true);
check("concat", "a".concat("b", 1), "ab1");
check("indexOf", "hello".indexOf("l"), 2);
check("indexOf from", "hello".indexOf("l", 3), 3);
check("lastIndexOf", "hello".lastIndexOf("l"), 3);
check("slice negative", "abc".slice(-2), "bc");
check("substring swaps", "abc".substring(2, 0), "ab");
check("substr", "abcdef".substr(2, 3), "cde");
check("substr negative", "abcdef".substr(-2), "ef");
check("toUpperCase", "abc".toUpperCase(), "ABC");
check("toLowerCase", "ABC".toLowerCase(), "abc");
check("localeCompare", "a".localeCompare("a"), 0);
check("split string", "a,b,,c".split(",").length, 4);
check("split limit", "a,b,c".split(",", 2).join("|"), "a|b");
check("split empty separator", "abc".split("").join("|"), "a|b|c");
check("split undefined", "abc".split()[0], "abc");
check("split regexp", "a1b22c".split(new RegExp("\\d+")).join("|"), "a|b|c");
check("split regexp captures", "a1b".split(new RegExp("(\\d)")).join("|"), "a|1|b");
check("replace string", "aaa".replace("a", "b"), "baa");
check("replace global regexp", "aaa".replace(new RegExp("a", "g"), "b"), "bbb");
check("replace groups", "john smith".replace(new RegExp("(\\w+) (\\w+)"), "$2, $1"), "smith, john");
check("replace $&", "abc".replace("b", "[$&]"), "a[b]c");
check("replace function", "a1b2".replace(new RegExp("\\d", "g"), function (m) { return m * 2; }), "a2b4");
check("match", "x12y345".match(new RegExp("\\d+", "g")).join(), "12,345");
check("match none", "xyz".match(new RegExp("\\d")), null);
check("match groups", "key=value".match(new RegExp("(\\w+)=(\\w+)"))[2], "value");
check("search", "abc1".search(new RegExp("\\d")), 3);
check("search string", "abc".search("c"), 2);
check("string object length", new String("abcd").length, 4);
check("string object index", new String("abcd")[1], "b");
check("string index", "abcd"[2], "c");
checkThrows("toString on non-string", "String.prototype.toString.call({})", TypeError);
var long = "";
for (var i = 0; i < 1000; i++) long += "ab";
check("long appends", long.length, 2000);
check("long appends text", long.substring(1996), "abab");
var arities = { charAt: 1, charCodeAt: 1, concat: 1, indexOf: 1, lastIndexOf: 1, localeCompare: 1, match: 1,
                replace: 2, search: 1, slice: 2, split: 2, substr: 2, substring: 2, toLowerCase: 0,
                toUpperCase: 0, toString: 0, valueOf: 0 };
for (var method in arities)
    check("String.prototype." + method + ".length", String.prototype[method].length, arities[method]);
check("String.length", String.length, 1);
check("String.fromCharCode.length", String.fromCharCode.length, 1);
check("method is not a string", String.prototype.charAt.hasOwnProperty("0"), false);
done();
