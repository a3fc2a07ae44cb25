// Octane's RayTrace: a ray tracer (floating point, small objects, prototype calls).
// uses: benchmark-octane@1.0.1
// scripts: ./octane.js benchmark-octane/lib/octane/raytrace.js
__octane(20);
