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
done();
