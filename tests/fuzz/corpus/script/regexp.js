var out = [], inputs = ["a\r\nb\u2028c", "x\u00a0y\ufeffz", "aab(ab)[]{2}", "\u0001\u000b\b"];
var sources = [".", "^b", "a$", "\\s+", "\\S", "(a)?b\\1", "\\1(a)", "[^]", "a[]", "[\\b\\s\\cJ]", "\\v\\x41\\u0042",
               "a{,2}}", "a{2,3}?", "(?:a|b)*(?=c)(?!d)", "\\A\\Q\\h", "[[:a]", "\\0\\8\\101", "(a)(b)\\3"];
for (var i = 0; i < sources.length; i++)
    for (var j = 0; j < inputs.length; j++) {
        try { out.push(new RegExp(sources[i], j % 2 ? "gm" : "i").exec(inputs[j])); } catch (e) { out.push(e.name); }
        try { out.push(inputs[j].replace(new RegExp(sources[i], "g"), "$1$&$`$'$$")); } catch (e) { out.push(e.name); }
        try { out.push(inputs[j].split(new RegExp(sources[i]))); } catch (e) { out.push(e.name); }
    }
out.length;
