// A JSON implementation of its own (the host's JSON stays hidden from it): stringify with
// indentation, a replacer and a reviver, and parse of its own output, round after round.
// uses: json3@3.3.2
// modules: json3/lib/json3.js
// window: Object Number String Date Math SyntaxError TypeError
var JSON3 = require("json3/lib/json3.js");

function build(depth, seed) {
    if (depth === 0) {
        var kind = seed % 5;
        if (kind === 0) return "s\u00e9q \"" + seed + "\"\n\t\\";
        if (kind === 1) return seed * 3 - 70;
        if (kind === 2) return seed % 2 === 0;
        if (kind === 3) return null;
        return [seed, "x" + seed];
    }
    var node = { id: seed, name: "node" + seed, list: [] };
    for (var i = 0; i < 4; i++) node.list.push(build(depth - 1, seed * 4 + i));
    node["key " + seed] = build(0, seed);
    return node;
}
var data = build(5, 1);
var texts = [];
for (var round = 0; round < 6; round++) {
    var text = JSON3.stringify(data, null, round % 2 === 0 ? 2 : "");
    var back = JSON3.parse(text, function (key, value) { return key === "id" ? value + 1 : value; });
    var again = JSON3.stringify(back, ["id", "name", "list"]);
    texts.push(text.length + " " + checksum(text) + " " + again.length + " " + checksum(again));
}
out(JSON3.stringify(build(1, 2)));
out(texts.join("\n"));
