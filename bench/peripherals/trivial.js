// trivial.js: the smallest peripheral file, so that the benchmark measures the bridge itself.
function reset() {}
function pollForInterrupts(cycles) {}
function loadPeripheral(address) { return 0; }
function storePeripheral(address, value) {}
