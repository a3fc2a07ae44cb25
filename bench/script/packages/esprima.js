// A JavaScript parser parsing two real libraries with locations, ranges and comments; the
// result is summed up by node type.
// uses: esprima@1.0.4 underscore@1.4.4 marked@0.2.10
// modules: esprima/esprima.js
// texts: underscore/underscore.js marked/lib/marked.js
var esprima = require("esprima/esprima.js");

function countTypes(node, counts) {
    if (node && typeof node.type === "string") counts[node.type] = (counts[node.type] || 0) + 1;
    for (var key in node) {
        if (!node.hasOwnProperty(key) || key === "range" || key === "loc") continue;
        var child = node[key];
        if (child && typeof child === "object") countTypes(child, counts);
    }
    return counts;
}
var sources = [__text("underscore/underscore.js"), __text("marked/lib/marked.js")];
var lines = [];
for (var round = 0; round < 1; round++) {
    for (var s = 0; s < sources.length; s++) {
        var ast = esprima.parse(sources[s], { range: true, loc: true, comment: true, tokens: round === 0 });
        var counts = countTypes(ast, {});
        var names = [];
        for (var type in counts) if (counts.hasOwnProperty(type)) names.push(type + "=" + counts[type]);
        names.sort();
        var last = ast.body[ast.body.length - 1];
        lines.push(s + ": " + names.join(" ") + " comments=" + ast.comments.length +
                   (ast.tokens ? " tokens=" + ast.tokens.length : "") + " end=" + last.loc.end.line + ":" + last.range[1]);
    }
}
out(lines[0]);
summary("all parses", lines.join("\n"));
