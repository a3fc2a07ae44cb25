// Octane's Richards: an operating-system kernel simulation (task queues, objects, method calls).
// uses: benchmark-octane@1.0.1
// scripts: ./octane.js benchmark-octane/lib/octane/richards.js
__octane(60);
