// Creating and reading objects with many properties.
if (typeof print == "undefined") print = function (s) { Console.WriteLine(s); };
var names = [];
for (var i = 0; i < 64; i++) names[i] = "p" + i;
var sum = 0;
for (var round = 0; round < 2000; round++) {
    var o = {};
    for (var i = 0; i < 64; i++) o[names[i]] = i + round;
    for (var i = 0; i < 64; i++) sum += o[names[i]];
    var p = {x: round, y: round + 1, z: round + 2, w: round + 3};
    sum += p.x + p.y + p.z + p.w;
}
print(sum);
