// Octane's Crypto: RSA encryption and decryption with a big-integer library (integer arithmetic on arrays).
// uses: benchmark-octane@1.0.1
// scripts: ./octane.js benchmark-octane/lib/octane/crypto.js
__octane(6);
