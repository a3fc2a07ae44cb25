// A minifier parsing, mangling, squeezing and printing a real library.
// uses: uglify-js@1.3.5 underscore@1.4.4
// modules: uglify-js/uglify-js.js uglify-js/lib/parse-js.js uglify-js/lib/process.js uglify-js/lib/squeeze-more.js uglify-js/lib/consolidator.js
// texts: underscore/underscore.js
var uglify = require("uglify-js/uglify-js.js");
var jsp = uglify.parser, pro = uglify.uglify;

var sources = [__text("underscore/underscore.js")];
var results = [];
for (var round = 0; round < 1; round++) {
    for (var s = 0; s < sources.length; s++) {
        var ast = jsp.parse(sources[s]);
        ast = pro.ast_mangle(ast, { toplevel: true });
        ast = pro.ast_squeeze(ast);
        var code = pro.gen_code(ast);
        var pretty = pro.gen_code(ast, { beautify: true, indent_level: 2 });
        results.push(code);
        out(s + ": minified " + code.length + " " + checksum(code) + ", beautified " + pretty.length + " " + checksum(pretty));
    }
}
out(results[0].slice(0, 160));
