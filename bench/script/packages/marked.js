// A Markdown compiler turning real documents (two packages' READMEs) into HTML, with GitHub
// flavour, tables and smart lists, several times each.
// uses: marked@0.2.10 underscore@1.4.4 esprima@1.0.4
// modules: marked/lib/marked.js
// texts: marked/README.md underscore/README.md esprima/README.md
var marked = require("marked/lib/marked.js");

var docs = [__text("marked/README.md"), __text("underscore/README.md"), __text("esprima/README.md")];
var extra = "";
for (var i = 0; i < 60; i++) {
    extra += "## Section " + i + "\n\n| a | b |\n|---|:-:|\n| " + i + " | *" + (i * i) + "* |\n\n" +
             "- item **" + i + "**\n- [link](http://example.com/" + i + ")\n  1. nested `code " + i + "`\n\n" +
             "> quote " + i + "\n\n```js\nvar x = " + i + " < 2 && \"s\";\n```\n\n";
}
docs.push(extra);
var html = [];
for (var round = 0; round < 2; round++) {
    marked.setOptions({ gfm: true, tables: true, breaks: round === 1, smartLists: true, sanitize: round === 1 });
    for (var d = 0; d < docs.length; d++) html.push(marked(docs[d]));
}
out(html[0].split("\n").slice(0, 4).join("\n"));
summary("all documents", html.join(""));
