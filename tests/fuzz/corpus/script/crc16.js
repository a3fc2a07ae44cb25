// Bit operations in loops: CRC-16/CCITT over a 64 KB byte array, eight times.
if (typeof print == "undefined") print = function (s) { Console.WriteLine(s); };
var data = [];
for (var i = 0; i < 65536; i++) data[i] = (i * 7 + 3) & 0xff;
function crc16(bytes) {
    var crc = 0xffff;
    for (var i = 0; i < bytes.length; i++) {
        crc ^= bytes[i] << 8;
        for (var b = 0; b < 8; b++)
            crc = (crc & 0x8000) ? ((crc << 1) ^ 0x1021) & 0xffff : (crc << 1) & 0xffff;
    }
    return crc;
}
var c = 0;
for (var k = 0; k < 8; k++) c = crc16(data);
print(c);
