// A formatter re-indenting minified code (a real library's minified build) with several styles.
// uses: js-beautify@1.4.2 underscore@1.4.4
// modules: js-beautify/js/lib/beautify.js
// texts: underscore/underscore-min.js
var beautify = require("js-beautify/js/lib/beautify.js").js_beautify;

var sources = [__text("underscore/underscore-min.js")];
var styles = [{ indent_size: 4 }, { indent_size: 2, brace_style: "expand", keep_array_indentation: true },
              { indent_char: "\t", indent_size: 1, space_before_conditional: false, jslint_happy: true }];
var results = [];
for (var s = 0; s < sources.length; s++) {
    for (var k = 0; k < styles.length; k++) {
        var text = beautify(sources[s], styles[k]);
        results.push(text);
        out(s + "/" + k + ": " + text.length + " chars, " + text.split("\n").length + " lines, checksum " + checksum(text));
    }
}
out(results[0].split("\n").slice(0, 5).join("\n"));
