// Calls every library function that takes a pointer, through each fake named on the command
// line, so that a sanitizer build of this file, the call tables and the fakes shows any write
// wider than the declaration it lands in.
#include "msp430/msp430dll.h"

#include <cstdio>

using namespace zim::msp430;

static void progress(uint32_t, uint32_t, void *) {}

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        auto dll = MSP430Dll::load(QString::fromLocal8Bit(argv[i]));
        long long version = 0, state = 0, cycles = 0;
        uint8_t record[kDeviceRecordSizeV3];
        uint8_t buffer[36];
        uint32_t regs[16] = {};
        uint32_t value = 0;
        dll->initialize("USB", version);
        dll->vcc(3300);
        dll->identify(record, 0);
        dll->device(0, buffer, sizeof buffer);
        dll->registers(regs, 0xFFFF, true);
        dll->registers(regs, 0xFFFF, false);
        dll->state(state, true, cycles);
        dll->eemOpen();
        dll->eemReadRegister(4, value);
        dll->eemReadRegisterTest(4, value);
        const char *const *table = nullptr;
        dll->ccGetModuleNames(0xF149, &table);
        dll->getFwVersion(version);
        uint8_t mem[16];
        dll->memory(0x200, mem, 16, true);
        dll->fwUpdate(&progress, nullptr);
        dll->close(0);
        std::printf("%s: generation %d, version %lld, %s\n", argv[i], int(dll->generation()), version,
                    dll->failureText().toLocal8Bit().constData());
    }
    return 0;
}
