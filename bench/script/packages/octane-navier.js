// Octane's NavierStokes: a 2-D fluid solver (floating-point loops over large arrays).
// uses: benchmark-octane@1.0.1
// scripts: ./octane.js benchmark-octane/lib/octane/navier-stokes.js
__octane(15);
