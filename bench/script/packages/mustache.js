// A logic-less template engine: sections, inverted sections, partials and escaping over a list.
// uses: mustache@0.7.2
// modules: mustache/mustache.js
var Mustache = require("mustache/mustache.js");

var template = "<h1>{{title}}</h1>\n{{#items}}<div class=\"{{#odd}}odd{{/odd}}{{^odd}}even{{/odd}}\">" +
    "{{> row}}{{#tags}}<span>{{.}}</span>{{/tags}}{{^tags}}<em>none</em>{{/tags}}</div>\n{{/items}}" +
    "{{! a comment }}<p>{{{footer}}} &amp; {{footer}}</p>";
var partials = { row: "<b>{{name}}</b> costs {{price}} <i>{{note}}</i>" };
var items = [];
for (var i = 0; i < 400; i++) {
    var tags = [];
    for (var t = 0; t < i % 4; t++) tags.push("tag<" + t + ">");
    items.push({ name: "Product & \"" + i + "\"", price: i * 3 + 1, odd: i % 2 === 1, tags: tags,
                 note: function () { return "n" + this.price % 7; } });
}
var results = [];
for (var round = 0; round < 8; round++) {
    Mustache.clearCache();
    var view = { title: "Catalogue " + round, items: items.slice(round, round + 300),
                 footer: "<hr> round " + round };
    results.push(Mustache.render(template, view, partials));
}
out(results[0].split("\n").slice(0, 3).join("\n"));
summary("all renders", results.join(""));
