// Joins a driver and the package files it names into one self-contained script that runs the
// same under node, mujs, duk and zimprog -script: every engine then reads one file and no engine
// needs a module loader of its own. Run by node: node bundle.js PRELUDE DRIVER SOURCES OUT
//
// A driver names what it needs in its leading comment lines:
//   // uses: NAME@VERSION ...      packages fetched into SOURCES/NAME@VERSION (run.sh does that)
//   // modules: NAME/PATH ...      package files wrapped as CommonJS modules, text unchanged
//   // texts: NAME/PATH ...        package files the driver reads as strings through __text(ID)
//   // scripts: NAME/PATH ...      files run as plain scripts at the top level, in this order,
//                                  before the driver (./PATH is beside the driver)
//   // window: GLOBAL ...          a browser-like window holding only these globals of the host,
//                                  for a package that finds its built-ins through one
"use strict";
var fs = require("fs");
var path = require("path");

if (process.argv.length !== 6) {
    process.stderr.write("usage: node bundle.js PRELUDE DRIVER SOURCES OUT\n");
    process.exit(2);
}
var prelude = process.argv[2], driver = process.argv[3], sources = process.argv[4], out = process.argv[5];

function header(text, key) {
    var found = [];
    text.split("\n").forEach(function (line) {
        var m = /^\/\/ *([a-z]+): *(.*)$/.exec(line);
        if (m && m[1] === key) found = found.concat(m[2].trim().split(/\s+/));
    });
    return found;
}

var driverText = fs.readFileSync(driver, "utf8");
var versions = {};
header(driverText, "uses").forEach(function (pinned) {
    var at = pinned.lastIndexOf("@");
    versions[pinned.slice(0, at)] = pinned;
});

// A module id is NAME/PATH; its file lives in SOURCES/NAME@VERSION/PATH. ./PATH is beside the driver.
function fileOf(id) {
    if (id.indexOf("./") === 0) return path.join(path.dirname(driver), id.slice(2));
    var name = Object.keys(versions).filter(function (n) { return id.indexOf(n + "/") === 0; })[0];
    if (!name) throw new Error(driver + ": " + id + " belongs to no package in its uses: line");
    return path.join(sources, versions[name], id.slice(name.length + 1));
}

// Old engines treat U+2028 and U+2029 as line ends even inside string literals, and a file kept to
// ASCII reads the same whatever encoding an engine assumes.
function literal(text) {
    return JSON.stringify(text).replace(/[\u007f-\uffff]/g, function (c) {
        return "\\u" + ("000" + c.charCodeAt(0).toString(16)).slice(-4);
    });
}

var parts = [fs.readFileSync(prelude, "utf8")];
var windowNames = header(driverText, "window");
if (windowNames.length) {
    parts.push("__window = {" + windowNames.map(function (n) { return literal(n) + ": " + n; }).join(", ") + "};\n");
}
header(driverText, "texts").forEach(function (id) {
    parts.push("__texts[" + literal(id) + "] = " + literal(fs.readFileSync(fileOf(id), "utf8")) + ";\n");
});
// The extra parameters hide the host's globals that packages probe for (node's global, a browser
// window, an AMD define), so that each package takes its plain CommonJS path on every engine.
function wrap(id, text) {
    return "__define(" + literal(id) + ", function (module, exports, require, global, window, define) {\n" +
        text + "\n});\n";
}
header(driverText, "scripts").forEach(function (id) {
    parts.push(fs.readFileSync(fileOf(id), "utf8") + "\n");
});
header(driverText, "modules").forEach(function (id) {
    parts.push(wrap(id, fs.readFileSync(fileOf(id), "utf8")));
});
parts.push(wrap("driver", driverText));
parts.push("__main(\"driver\");\n");
fs.writeFileSync(out, parts.join(""));
