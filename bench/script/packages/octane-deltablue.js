// Octane's DeltaBlue: a one-way constraint solver (object graphs, method calls through prototypes).
// uses: benchmark-octane@1.0.1
// scripts: ./octane.js benchmark-octane/lib/octane/deltablue.js
__octane(40);
