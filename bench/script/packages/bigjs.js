// Arbitrary-precision decimals: square roots, e and pi to many places, factorials and powers.
// uses: big.js@2.5.1
// modules: big.js/big.js
var Big = require("big.js/big.js");
Big.DP = 60;

out("sqrt2 " + new Big(2).sqrt().toString());
var e = new Big(1), term = new Big(1);
for (var i = 1; i < 50; i++) { term = term.div(i); e = e.plus(term); }
out("e " + e.toFixed(55));
// pi by Machin's formula: 16 atan(1/5) - 4 atan(1/239)
function atanInv(x) {
    var x2 = new Big(x).times(x), power = new Big(1).div(x), sum = power, sign = -1;
    for (var k = 3; k < 200; k += 2) {
        power = power.div(x2);
        var t = power.div(k);
        sum = sign < 0 ? sum.minus(t) : sum.plus(t);
        sign = -sign;
        if (t.cmp(new Big("1e-62")) < 0) break;
    }
    return sum;
}
out("pi " + atanInv(5).times(16).minus(atanInv(239).times(4)).toFixed(55));
var fact = new Big(1);
for (var n = 2; n <= 120; n++) fact = fact.times(n);
out("120! " + fact.toExponential(40) + " digits " + fact.toFixed(0).length);
out("pow " + new Big("1.0001").pow(400).toPrecision(50));
var sum = new Big(0);
for (var j = 1; j <= 200; j++) sum = sum.plus(new Big(1).div(j).round(30, 1));
out("harmonic " + sum.toString() + " " + sum.mod(new Big("0.37")).toString());
