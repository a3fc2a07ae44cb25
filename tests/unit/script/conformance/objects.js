// Object and Function objects: the constructors and the prototype members.
load("harness.js");
var o = new Object();
check("new Object", typeof o, "object");
check("Object of a number", typeof Object(1), "object");
check("Object of null", typeof Object(null), "object");
o.a = 1;
check("hasOwnProperty", o.hasOwnProperty("a"), true);
check("hasOwnProperty inherited", o.hasOwnProperty("toString"), false);
check("propertyIsEnumerable", o.propertyIsEnumerable("a"), true);
check("builtin not enumerable", Object.prototype.propertyIsEnumerable("toString"), false);
check("isPrototypeOf", Object.prototype.isPrototypeOf(o), true);
check("toString of array", Object.prototype.toString.call([]), "[object Array]");
check("toString of date", Object.prototype.toString.call(new Date(0)), "[object Date]");
check("toString of global", Object.prototype.toString.call(this), "[object global]");
check("toLocaleString", o.toLocaleString(), "[object Object]");
check("valueOf is itself", o.valueOf(), o);
check("Object.prototype.constructor", Object.prototype.constructor, Object);
check("Function.prototype is callable", Function.prototype(), undefined);
check("Function.prototype.length", Function.prototype.length, 0);
var readOnly = Math.PI;
Math.PI = 3;
check("read-only property keeps its value", Math.PI, readOnly);
check("delete DontDelete", delete Math.PI, false);
var re = {};
re.k = 1; delete re.k; re.k = 2;
check("delete and put again", re.k, 2);
function Animal(name) { this.name = name; }
Animal.prototype.speak = function () { return this.name + " speaks"; };
function Dog(name) { Animal.call(this, name); }
Dog.prototype = new Animal();
Dog.prototype.constructor = Dog;
var dog = new Dog("rex");
check("prototype chain methods", dog.speak(), "rex speaks");
check("instanceof through chain", dog instanceof Animal, true);
// Attributes of the built-in constructors and functions.
var builtins = ["Object", "Function", "Array", "String", "Boolean", "Number", "Date", "RegExp", "Error", "EvalError",
                "RangeError", "ReferenceError", "SyntaxError", "TypeError", "URIError"];
var globalObject = this;
for (var i = 0; i < builtins.length; i++) {
    var name = builtins[i], C = globalObject[name];
    check(name + " is not enumerable", globalObject.propertyIsEnumerable(name), false);
    check(name + ".prototype is not enumerable", C.propertyIsEnumerable("prototype"), false);
    var before = C.prototype;
    C.prototype = null;
    check(name + ".prototype is read-only", C.prototype, before);
    check(name + ".prototype cannot be deleted", delete C.prototype, false);
    check(name + ".prototype.constructor", C.prototype.constructor, C);
    check(name + ".prototype.constructor is not enumerable", C.prototype.propertyIsEnumerable("constructor"), false);
    var listed = "";
    for (var key in C.prototype) listed += key;
    check(name + ".prototype enumerates nothing", listed, "");
    check(name + " is a Function", C instanceof Function, true);
}
var functions = ["eval", "parseInt", "parseFloat", "isNaN", "isFinite", "decodeURI", "decodeURIComponent", "encodeURI",
                 "encodeURIComponent", "escape", "unescape"];
for (var i = 0; i < functions.length; i++) {
    var f = globalObject[functions[i]];
    check(functions[i] + " has no prototype", f.hasOwnProperty("prototype"), false);
    check(functions[i] + " is not a constructor", (function () { try { new f(); } catch (e) { return e instanceof TypeError; } return false; })(), true);
    check(functions[i] + ".length is not enumerable", f.propertyIsEnumerable("length"), false);
}
check("method is not a constructor", (function () { try { new String.prototype.charAt(); } catch (e) { return e instanceof TypeError; } return false; })(), true);
check("user function prototype is enumerable", (function () { function f() {} return f.propertyIsEnumerable("prototype"); })(), true);
check("user function length is read-only", (function () { function f(a, b) {} f.length = 0; return f.length; })(), 2);
check("Array.prototype.toString is not generic", (function () { try { Array.prototype.toString.call({}); } catch (e) { return e instanceof TypeError; } return false; })(), true);
check("apply takes only arrays and arguments", (function () { try { (function () {}).apply(null, {length: 0}); } catch (e) { return e instanceof TypeError; } return false; })(), true);
done();
