// A utility belt over a table of records: grouping, sorting, set operations and its template.
// uses: underscore@1.4.4
// modules: underscore/underscore.js
var _ = require("underscore/underscore.js");

var records = [];
for (var i = 0; i < 4000; i++) {
    records.push({ id: i, name: "item" + (i * 7919 % 4000), group: "g" + (i % 17),
                   price: (i * 37) % 1000, tags: ["t" + (i % 5), "t" + (i % 11)], gone: i % 13 === 0 ? null : undefined });
}
var template = _.template("<li class='<%= group %>'><%- name %>: <%= price %><% if (tags.length > 1) { %>+<% } %></li>");
var lines = [];
for (var round = 0; round < 4; round++) {
    var kept = _.reject(records, function (r) { return r.gone == null && r.id % 3 === round % 3; });
    var byGroup = _.groupBy(kept, "group");
    var keys = _.keys(byGroup).sort();
    var totals = _.map(keys, function (k) {
        return k + "=" + _.reduce(byGroup[k], function (sum, r) { return sum + r.price; }, 0);
    });
    var sorted = _.sortBy(kept, function (r) { return r.price * 10000 + r.id; });
    var tags = _.uniq(_.flatten(_.pluck(kept, "tags"))).sort();
    var names = _.chain(sorted).first(200).pluck("name").sortBy(_.identity).value();
    var html = _.map(_.first(sorted, 300), function (r) { return template(r); }).join("");
    var counts = _.countBy(kept, function (r) { return r.price < 500 ? "low" : "high"; });
    var inter = _.intersection(_.range(0, 3000, 3), _.range(0, 3000, 5), _.pluck(kept, "id"));
    lines.push([round, kept.length, totals.join(","), tags.join(" "), names.length, checksum(html),
                counts.low, counts.high, inter.length, _.max(kept, function (r) { return r.price; }).id,
                _.indexOf(_.pluck(sorted, "id"), 1234, false)].join("|"));
}
out(lines[0]);
summary("all rounds", lines.join("\n"));
