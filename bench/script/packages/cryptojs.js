// Hashing and ciphers over a long text: MD5, SHA-1, SHA-256, SHA-512, HMAC, PBKDF2 and AES with a
// fixed key and IV, in hex and Base64.
// uses: crypto-js@3.1.2
// modules: crypto-js/core.js crypto-js/x64-core.js crypto-js/enc-base64.js crypto-js/md5.js crypto-js/sha1.js crypto-js/sha256.js crypto-js/sha512.js crypto-js/hmac.js crypto-js/pbkdf2.js crypto-js/evpkdf.js crypto-js/cipher-core.js crypto-js/aes.js crypto-js/mode-cfb.js crypto-js/pad-pkcs7.js
var C = require("crypto-js/core.js");
require("crypto-js/x64-core.js"); require("crypto-js/enc-base64.js"); require("crypto-js/md5.js");
require("crypto-js/sha1.js"); require("crypto-js/sha256.js"); require("crypto-js/sha512.js");
require("crypto-js/hmac.js"); require("crypto-js/pbkdf2.js"); require("crypto-js/evpkdf.js");
require("crypto-js/cipher-core.js"); require("crypto-js/aes.js"); require("crypto-js/mode-cfb.js");

var text = "";
for (var i = 0; i < 1000; i++) text += "line " + i + ": the quick brown fox \u00e9\u4e2d jumps over " + (i * 7 % 13) + "\n";
out("md5 " + C.MD5(text));
out("sha1 " + C.SHA1(text));
out("sha256 " + C.SHA256(text));
out("sha512 " + C.SHA512(text));
out("hmac " + C.HmacSHA256(text, "secret key"));
var key = C.enc.Hex.parse("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
var iv = C.enc.Hex.parse("0f0e0d0c0b0a09080706050403020100");
for (var round = 0; round < 3; round++) {
    var cipher = C.AES.encrypt(text.slice(round * 300), key, { iv: iv, mode: round === 2 ? C.mode.CFB : C.mode.CBC });
    var b64 = cipher.ciphertext.toString(C.enc.Base64);
    var plain = C.AES.decrypt({ ciphertext: cipher.ciphertext }, key, { iv: iv, mode: round === 2 ? C.mode.CFB : C.mode.CBC });
    out("aes " + round + " " + b64.length + " " + checksum(b64) + " " + (plain.toString(C.enc.Utf8) === text.slice(round * 300)));
}
out("pbkdf2 " + C.PBKDF2("password", C.enc.Hex.parse("a0a1a2a3"), { keySize: 8, iterations: 100 }));
var chain = C.SHA256("seed");
for (var n = 0; n < 300; n++) chain = C.SHA256(chain.toString() + n);
out("chain " + chain);
