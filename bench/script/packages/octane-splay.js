// Octane's Splay: a splay tree of 8,000 nodes with payloads built and torn down (allocation and collection).
// uses: benchmark-octane@1.0.1
// scripts: ./octane.js benchmark-octane/lib/octane/splay.js
__octane(20);
