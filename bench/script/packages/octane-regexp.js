// Octane's RegExp: regular expressions taken from real web pages, run over real strings.
// uses: benchmark-octane@1.0.1
// scripts: ./octane.js benchmark-octane/lib/octane/regexp.js
__octane(3);
