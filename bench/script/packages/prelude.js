// The start of every bundle: a CommonJS module table, the output line of each engine and a
// checksum. Kept to plain ES3 (no regular-expression literal, no loose comparison with null) so
// that a failure points at the package, not at this shim.
var __modules = {}, __cache = {}, __texts = {}, __window;

// Modules a package asks for that only node has; the workloads never call into them.
var __hostModules = { fs: {}, path: {}, vm: {}, child_process: {}, module: {}, util: {}, sys: {} };

function __define(id, body) {
    __modules[id] = body;
}

function __text(id) {
    if (typeof __texts[id] !== "string") throw new Error("no text " + id);
    return __texts[id];
}

// Resolves NAME relative to the module FROM: "./x" and "../x" against FROM's folder, with the
// .js and /index.js forms node would try.
function __resolve(from, name) {
    if (name.charAt(0) !== ".") return name;
    var parts = from.split("/");
    parts.pop();
    var steps = name.split("/");
    for (var i = 0; i < steps.length; i++) {
        if (steps[i] === "..") parts.pop();
        else if (steps[i] !== "." && steps[i] !== "") parts.push(steps[i]);
    }
    return parts.join("/");
}

function __requireFrom(from) {
    return function (name) {
        if (__hostModules.hasOwnProperty(name)) return __hostModules[name];
        var id = __resolve(from, name);
        var candidates = [id, id + ".js", id + "/index.js"];
        for (var i = 0; i < candidates.length; i++) {
            var key = candidates[i];
            if (__cache.hasOwnProperty(key)) return __cache[key].exports;
            if (__modules.hasOwnProperty(key)) {
                var module = { exports: {}, id: key };
                __cache[key] = module;
                __modules[key].call(module.exports, module, module.exports, __requireFrom(key), undefined, __window);
                return module.exports;
            }
        }
        throw new Error("module " + name + " (from " + from + ") is not in the bundle");
    };
}

function __main(id) {
    __requireFrom("")(id);
}

// One line of output on whichever engine runs the bundle.
function out(line) {
    line = String(line);
    if (typeof Script !== "undefined") Script.Echo(line);
    else if (typeof print === "function") print(line);
    else console.log(line);
}

// A 32-bit hash of a string, shown as eight hex digits: equal texts give equal lines on every
// engine, and a long result needs one line.
function checksum(text) {
    text = String(text);
    var h = 5381;
    for (var i = 0; i < text.length; i++) h = (h * 33 + text.charCodeAt(i)) % 4294967296;
    var hex = h.toString(16);
    while (hex.length < 8) hex = "0" + hex;
    return hex;
}

function summary(label, text) {
    text = String(text);
    out(label + ": " + text.length + " chars, checksum " + checksum(text));
}
