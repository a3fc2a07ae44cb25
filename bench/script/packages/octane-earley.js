// Octane's EarleyBoyer: a Scheme-to-JavaScript compiled parser and theorem prover (closures, recursion, garbage).
// uses: benchmark-octane@1.0.1
// scripts: ./octane.js benchmark-octane/lib/octane/earley-boyer.js
__octane(4);
