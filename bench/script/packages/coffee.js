// A compiler from another language: CoffeeScript compiles a program of classes, comprehensions,
// splats, destructuring and string interpolation, bare and wrapped, several times.
// uses: coffee-script@1.6.3
// modules: coffee-script/lib/coffee-script/coffee-script.js coffee-script/lib/coffee-script/lexer.js coffee-script/lib/coffee-script/parser.js coffee-script/lib/coffee-script/helpers.js coffee-script/lib/coffee-script/rewriter.js coffee-script/lib/coffee-script/nodes.js coffee-script/lib/coffee-script/scope.js coffee-script/lib/coffee-script/sourcemap.js
var CoffeeScript = require("coffee-script/lib/coffee-script/coffee-script.js");

var program = [
    "class Shape",
    "  constructor: (@name, @sides = 0) ->",
    "  describe: -> \"#{@name} has #{@sides} sides\"",
    "  @create: (args...) -> new this args...",
    "",
    "class Square extends Shape",
    "  constructor: (@size) -> super 'square', 4",
    "  area: => @size * @size",
    "",
    "shapes = (new Square n for n in [1..20] when n % 3 isnt 0)",
    "areas = (s.area() for s in shapes)",
    "{min, max} = Math",
    "[first, middle..., last] = areas",
    "total = 0",
    "total += a for a in areas",
    "lookup = {}",
    "lookup[s.describe()] ?= s.size for s in shapes",
    "result = switch",
    "  when total > 1000 then 'big'",
    "  when total > 100 then 'medium'",
    "  else 'small'",
    "text = \"\"\"",
    "  total: #{total}",
    "  range: #{min first, last}..#{max first, last}",
    "  \"\"\"",
    "fib = (n) -> if n < 2 then n else fib(n - 1) + fib(n - 2)",
    "squares = do -> x * x for x in [0...10] by 2",
    "try",
    "  undefinedFunction?()",
    "catch error",
    "  console.log error",
    "finally",
    "  done = yes unless total is 0",
    "while total > 10 then total = Math.floor total / 2",
    "obj = a: 1, b: {c: [1, 2, 3]}, 'd e': off",
    "console.log key, value for own key, value of obj",
    "exists = obj?.b?.c?[1]",
    "re = /// ^ [a-z]+ \\d* $ ///i",
    ""
].join("\n");
var sources = [];
for (var i = 0; i < 6; i++) sources.push(program.replace(/total/g, "total" + i));
var outputs = [];
for (var round = 0; round < 5; round++) {
    for (var s = 0; s < sources.length; s++) {
        outputs.push(CoffeeScript.compile(sources[s], { bare: (round + s) % 2 === 0 }));
    }
}
out(outputs[0].split("\n").slice(0, 12).join("\n"));
summary("all compilations", outputs.join(""));
