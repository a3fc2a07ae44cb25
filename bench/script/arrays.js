// Arrays: push, pop and sort of 100,000 numbers.
if (typeof print == "undefined") print = function (s) { Console.WriteLine(s); };
var a = [];
var seed = 12345;
for (var i = 0; i < 100000; i++) {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    a.push(seed % 100000);
}
a.sort(function (x, y) { return x - y; });
var total = 0;
while (a.length > 50000) total += a.pop();
print(a[0] + " " + a[a.length - 1] + " " + total);
