// Recursive calls: fib(25), ten times.
if (typeof print == "undefined") print = function (s) { Console.WriteLine(s); };
function fib(n) { return n < 2 ? n : fib(n - 1) + fib(n - 2); }
var r = 0;
for (var i = 0; i < 10; i++) r = fib(25);
print(r);
