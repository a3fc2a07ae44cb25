/* A stand-in for the MSP430 debug library, built by the tests in variants from this one file:
 *   FAKE_INT                the integer type of every argument and result (long or int32_t)
 *   FAKE_V3                 the newer call set (MSP430_OpenDevice, MSP430_GetFoundDevice)
 *                           instead of MSP430_Identify, MSP430_Breakpoint and MSP430_EEM_*
 *   FAKE_NO_FIRMWARE        without MSP430_FET_GetFwVersion and MSP430_FET_FwUpdate
 *   FAKE_NO_MODULE_NAMES    without MSP430_CcGetModuleNames
 *   FAKE_NO_IDENTIFY        the older call set without MSP430_Identify (neither set complete)
 *   FAKE_NEEDS_DEP          needs a library of its own (fakedep.c)
 * It keeps the memory of one device from its table (FLASH programmed by AND, erased by
 * segment), answers identify from the table and is set up by the environment variable
 * ZIM_FAKE_MSP430, a comma-separated list of settings:
 *   log=PATH                every call with its arguments and result, one line each
 *   dump=PATH               at MSP430_Close, every 16-byte FLASH row that is not blank
 *   device=NAME             the device identify finds (default MSP430F149)
 *   version=N               the version MSP430_Initialize reports (default 30401)
 *   fail=CALL:N:ERROR       CALL returns -1 with error number ERROR on its N-th use (up to 4)
 * Values written through pointer arguments use the full width of FAKE_INT. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifndef FAKE_INT
#define FAKE_INT long
#endif
typedef FAKE_INT Int;

#define EXPORT __attribute__((visibility("default")))

struct device {
    const char *name;
    unsigned id, mainStart, infoStart, ramEnd, breakpoints, emulation, clockControl;
    unsigned ramStart, ram2Start, ram2End, infoEnd, mainEnd;
};

/* name, id, main start, info start, RAM end, triggers, emulation, clock control, RAM start,
 * second RAM start and end, info end, main end */
static const struct device devices[] = {
    {"MSP430F149", 0xF149, 0x1100, 0x1000, 0x09FF, 3, 1, 1, 0x0200, 0, 0, 0x10FF, 0xFFFF},
    {"MSP430F2013", 0xF201, 0xF800, 0x1000, 0x027F, 2, 1, 1, 0x0200, 0, 0, 0x10FF, 0xFFFF},
    {"MSP430F2", 0xF200, 0xF800, 0x1000, 0x027F, 2, 1, 1, 0x0200, 0, 0, 0x10FF, 0xFFFF},
    {"MSP430F5438A", 0x5438, 0x5C00, 0x1800, 0x5BFF, 8, 3, 2, 0x1C00, 0, 0, 0x19FF, 0x45BFF},
};
#define DEVICE_COUNT (sizeof devices / sizeof devices[0])
#define MEMORY_SIZE 0x50000

struct fault {
    char call[48];
    long use;
    long error;
    long seen;
};

static struct {
    int configured;
    char settings[2048];
    char log[512];
    char dump[512];
    char deviceName[40];
    long version;
    struct fault faults[4];
    int faultCount;
    const struct device *device;
    int initialized;
    int running;
    int stepped;
    long error;
    uint8_t memory[MEMORY_SIZE];
    Int registers[16];
    Int eem[256];
} fake;

/* Takes the settings again whenever they change, so that one test process can run several
 * set-ups; a change starts the device afresh. */
static void configure(void)
{
    const char *settings = getenv("ZIM_FAKE_MSP430");
    char copy[2048];
    snprintf(copy, sizeof copy, "%s", settings ? settings : "");
    if (fake.configured && !strcmp(copy, fake.settings))
        return;
    memset(&fake, 0, sizeof fake);
    fake.configured = 1;
    snprintf(fake.settings, sizeof fake.settings, "%s", copy);
    fake.version = 30401;
    strcpy(fake.deviceName, "MSP430F149");
    memset(fake.memory, 0xFF, sizeof fake.memory);
    for (char *item = strtok(copy, ","); item; item = strtok(NULL, ",")) {
        if (!strncmp(item, "log=", 4))
            snprintf(fake.log, sizeof fake.log, "%s", item + 4);
        else if (!strncmp(item, "dump=", 5))
            snprintf(fake.dump, sizeof fake.dump, "%s", item + 5);
        else if (!strncmp(item, "device=", 7))
            snprintf(fake.deviceName, sizeof fake.deviceName, "%s", item + 7);
        else if (!strncmp(item, "version=", 8))
            fake.version = strtol(item + 8, NULL, 0);
        else if (!strncmp(item, "fail=", 5) && fake.faultCount < 4) {
            struct fault *f = &fake.faults[fake.faultCount++];
            char *colon = strchr(item + 5, ':');
            if (!colon)
                continue;
            snprintf(f->call, sizeof f->call, "%.*s", (int)(colon - item - 5), item + 5);
            f->use = strtol(colon + 1, &colon, 0);
            f->error = *colon == ':' ? strtol(colon + 1, NULL, 0) : 1;
        }
    }
}

static void logLine(const char *format, ...) __attribute__((format(printf, 1, 2)));

#include <stdarg.h>
static void logLine(const char *format, ...)
{
    if (!fake.log[0])
        return;
    FILE *file = fopen(fake.log, "a");
    if (!file)
        return;
    va_list args;
    va_start(args, format);
    vfprintf(file, format, args);
    va_end(args);
    fputc('\n', file);
    fclose(file);
}

/* Counts one use of call; true when this use is the one set up to fail. */
static int failsNow(const char *call)
{
    configure();
    for (int i = 0; i < fake.faultCount; ++i) {
        struct fault *f = &fake.faults[i];
        if (strcmp(f->call, call))
            continue;
        if (++f->seen == f->use) {
            fake.error = f->error;
            return 1;
        }
    }
    return 0;
}

#define CHECK_FAULT(call, ...)                                                                                        \
    do {                                                                                                              \
        if (failsNow(call)) {                                                                                         \
            logLine(__VA_ARGS__);                                                                                     \
            logLine("  -> -1 (error %ld)", fake.error);                                                               \
            return -1;                                                                                                \
        }                                                                                                             \
    } while (0)

static int isMain(unsigned address)
{
    return fake.device && address >= fake.device->mainStart && address <= fake.device->mainEnd;
}

static int isInfo(unsigned address)
{
    return fake.device && address >= fake.device->infoStart && address <= fake.device->infoEnd;
}

static unsigned infoSegment(void)
{
    return !strcmp(fake.device->name, "MSP430F2") ? 64 : 128;
}

static const struct device *findDevice(const char *name)
{
    for (unsigned i = 0; i < DEVICE_COUNT; ++i)
        if (!strcmp(devices[i].name, name))
            return &devices[i];
    return NULL;
}

static void put16(uint8_t *record, int offset, unsigned value)
{
    record[offset] = (uint8_t)value;
    record[offset + 1] = (uint8_t)(value >> 8);
}

__attribute__((unused)) static void fillRecord(uint8_t *record, const struct device *d)
{
    memset(record, 0, 80);
    put16(record, 0, 0xAA55);
    put16(record, 2, d->id);
    snprintf((char *)record + 4, 32, "%s", d->name);
    put16(record, 36, d->mainStart);
    put16(record, 38, d->infoStart);
    put16(record, 40, d->ramEnd);
    put16(record, 42, d->breakpoints);
    put16(record, 44, d->emulation);
    put16(record, 46, d->clockControl);
    put16(record, 58, d->ramStart);
    put16(record, 60, d->ram2Start);
    put16(record, 62, d->ram2End);
    put16(record, 64, d->infoEnd);
    put16(record, 66, d->mainEnd & 0xFFFF);
    put16(record, 68, d->mainEnd >> 16);
}

static void writeDump(void)
{
    if (!fake.dump[0] || !fake.device)
        return;
    FILE *file = fopen(fake.dump, "w");
    if (!file)
        return;
    for (unsigned row = 0; row < MEMORY_SIZE; row += 16) {
        if (!isMain(row) && !isInfo(row))
            continue;
        int blank = 1;
        for (int i = 0; i < 16; ++i)
            blank &= fake.memory[row + i] == 0xFF;
        if (blank)
            continue;
        fprintf(file, "%05x:", row);
        for (int i = 0; i < 16; ++i)
            fprintf(file, " %02x", fake.memory[row + i]);
        fputc('\n', file);
    }
    fclose(file);
}

static const char *errorText(long number)
{
    switch (number) {
    case 0: return "No error";
    case 4: return "Could not initialize device interface";
    case 6: return "Incorrect parameter(s)";
    case 7: return "Could not find device (or device not supported)";
    case 12: return "Could not read device memory";
    case 13: return "Could not write device memory";
    case 17: return "Could not erase device memory";
    case 22: return "Could not reset device";
    case 28: return "Could not run device (to breakpoint)";
    case 29: return "Could not determine device state";
    case 35: return "Could not set device Vcc";
    case 40: return "Could not configure device";
    case 57: return "Could not find MSP-FET430UIF on specified COM port";
    case 68: return "Firmware update failed";
    default: return "Unknown error";
    }
}

EXPORT Int MSP430_Initialize(const char *port, Int *version)
{
    configure();
    CHECK_FAULT("MSP430_Initialize", "MSP430_Initialize(\"%s\")", port);
    fake.initialized = 1;
    *version = (Int)fake.version;
    logLine("MSP430_Initialize(\"%s\") version=%ld", port, fake.version);
    return 0;
}

EXPORT Int MSP430_Close(Int vccOff)
{
    configure();
    logLine("MSP430_Close(%ld)", (long)vccOff);
    writeDump();
    fake.initialized = 0;
    return 0;
}

EXPORT Int MSP430_Device(Int index, uint8_t *buffer, Int size)
{
    CHECK_FAULT("MSP430_Device", "MSP430_Device(%ld, %ld)", (long)index, (long)size);
    if (index < 0 || (unsigned long)index >= DEVICE_COUNT) {
        logLine("MSP430_Device(%ld, %ld) = -1", (long)index, (long)size);
        fake.error = 6;
        return -1;
    }
    memset(buffer, 0, (size_t)size);
    snprintf((char *)buffer, (size_t)size, "%s", devices[index].name);
    logLine("MSP430_Device(%ld, %ld) \"%s\"", (long)index, (long)size, devices[index].name);
    return 0;
}

/* Finds the device for set number setId (0: the one attached). */
__attribute__((unused)) static int identifyDevice(Int setId)
{
    const struct device *d = setId > 0 && (unsigned long)setId < DEVICE_COUNT ? &devices[setId]
                                                                                : findDevice(fake.deviceName);
    if (!d) {
        fake.error = 7;
        return -1;
    }
    fake.device = d;
    return 0;
}

#if !defined FAKE_V3 && !defined FAKE_NO_IDENTIFY
EXPORT Int MSP430_Identify(uint8_t *record, Int size, Int setId)
{
    CHECK_FAULT("MSP430_Identify", "MSP430_Identify(%ld, %ld)", (long)size, (long)setId);
    if (identifyDevice(setId) != 0) {
        logLine("MSP430_Identify(%ld, %ld) = -1", (long)size, (long)setId);
        return -1;
    }
    fillRecord(record, fake.device);
    logLine("MSP430_Identify(%ld, %ld) \"%s\"", (long)size, (long)setId, fake.device->name);
    return 0;
}
#endif
#ifdef FAKE_V3
EXPORT Int MSP430_OpenDevice(const char *device, const char *password, Int passwordWords, Int code, Int setId)
{
    CHECK_FAULT("MSP430_OpenDevice", "MSP430_OpenDevice(\"%s\", \"%s\", %ld, %ld, %ld)", device, password,
                (long)passwordWords, (long)code, (long)setId);
    if (identifyDevice(setId) != 0) {
        logLine("MSP430_OpenDevice(\"%s\", %ld) = -1", device, (long)setId);
        return -1;
    }
    logLine("MSP430_OpenDevice(\"%s\", \"%s\", %ld, %ld, %ld) \"%s\"", device, password, (long)passwordWords,
            (long)code, (long)setId, fake.device->name);
    return 0;
}

EXPORT Int MSP430_GetFoundDevice(uint8_t *record, Int size)
{
    CHECK_FAULT("MSP430_GetFoundDevice", "MSP430_GetFoundDevice(%ld)", (long)size);
    if (!fake.device || size < 184) {
        fake.error = 6;
        logLine("MSP430_GetFoundDevice(%ld) = -1", (long)size);
        return -1;
    }
    memset(record, 0, (size_t)size);
    fillRecord(record, fake.device);
    logLine("MSP430_GetFoundDevice(%ld)", (long)size);
    return 0;
}
#endif

EXPORT Int MSP430_Configure(Int mode, Int value)
{
    CHECK_FAULT("MSP430_Configure", "MSP430_Configure(%ld, %ld)", (long)mode, (long)value);
    logLine("MSP430_Configure(%ld, %ld)", (long)mode, (long)value);
    return 0;
}

EXPORT Int MSP430_VCC(Int millivolts)
{
    CHECK_FAULT("MSP430_VCC", "MSP430_VCC(%ld)", (long)millivolts);
    logLine("MSP430_VCC(%ld)", (long)millivolts);
    return 0;
}

EXPORT Int MSP430_Reset(Int method, Int execute, Int release)
{
    CHECK_FAULT("MSP430_Reset", "MSP430_Reset(%ld, %ld, %ld)", (long)method, (long)execute, (long)release);
    logLine("MSP430_Reset(%ld, %ld, %ld)", (long)method, (long)execute, (long)release);
    fake.running = execute != 0;
    return 0;
}

static void eraseRange(unsigned first, unsigned last)
{
    for (unsigned a = first; a <= last && a < MEMORY_SIZE; ++a)
        if (isMain(a) || isInfo(a))
            fake.memory[a] = 0xFF;
}

EXPORT Int MSP430_Erase(Int type, Int address, Int length)
{
    CHECK_FAULT("MSP430_Erase", "MSP430_Erase(%ld, 0x%lx, %ld)", (long)type, (long)address, (long)length);
    logLine("MSP430_Erase(%ld, 0x%lx, %ld)", (long)type, (long)address, (long)length);
    if (!fake.device || address < 0 || length < 0 || address + length > MEMORY_SIZE) {
        fake.error = 6;
        return -1;
    }
    if (type == 2) {
        eraseRange(fake.device->infoStart, fake.device->infoEnd);
        eraseRange(fake.device->mainStart, fake.device->mainEnd);
    } else if (type == 1) {
        eraseRange(fake.device->mainStart, fake.device->mainEnd);
    } else {
        /* Every segment the range touches, one segment at a time. */
        unsigned a = (unsigned)address;
        const unsigned end = (unsigned)(address + length);
        while (a < end) {
            if (!isInfo(a) && !isMain(a)) {
                ++a;
                continue;
            }
            unsigned size = isInfo(a) ? infoSegment() : 512;
            unsigned base = isInfo(a) ? fake.device->infoStart : fake.device->mainStart;
            unsigned first = base + (a - base) / size * size;
            eraseRange(first, first + size - 1);
            a = first + size;
        }
    }
    return 0;
}

EXPORT Int MSP430_Memory(Int address, uint8_t *buffer, Int count, Int read)
{
    CHECK_FAULT("MSP430_Memory", "MSP430_Memory(0x%lx, %ld, %s)", (long)address, (long)count,
                read ? "read" : "write");
    logLine("MSP430_Memory(0x%lx, %ld, %s)", (long)address, (long)count, read ? "read" : "write");
    if (address < 0 || count < 0 || address + count > MEMORY_SIZE) {
        fake.error = read ? 12 : 13;
        return -1;
    }
    for (Int i = 0; i < count; ++i) {
        unsigned a = (unsigned)(address + i);
        if (read)
            buffer[i] = fake.memory[a];
        else if (isMain(a) || isInfo(a))
            fake.memory[a] &= buffer[i];
        else
            fake.memory[a] = buffer[i];
    }
    return 0;
}

EXPORT Int MSP430_Registers(Int *registers, Int mask, Int read)
{
    CHECK_FAULT("MSP430_Registers", "MSP430_Registers(0x%lx, %s)", (long)mask, read ? "read" : "write");
    logLine("MSP430_Registers(0x%lx, %s)", (long)mask, read ? "read" : "write");
    for (int i = 0; i < 16; ++i)
        if (mask & (1L << i)) {
            if (read)
                registers[i] = fake.registers[i];
            else
                fake.registers[i] = registers[i];
        }
    return 0;
}

EXPORT Int MSP430_Run(Int mode, Int release)
{
    CHECK_FAULT("MSP430_Run", "MSP430_Run(%ld, %ld)", (long)mode, (long)release);
    logLine("MSP430_Run(%ld, %ld)", (long)mode, (long)release);
    /* A free run keeps running; a run to breakpoint stops at once, as on a breakpoint at the
     * program counter; a single step moves the program counter on by one word. */
    fake.running = mode == 1;
    fake.stepped = mode == 2;
    if (mode == 2)
        fake.registers[0] += 2;
    return 0;
}

EXPORT Int MSP430_State(Int *state, Int stop, Int *cycles)
{
    CHECK_FAULT("MSP430_State", "MSP430_State(%ld)", (long)stop);
    if (stop)
        fake.running = 0;
    *state = fake.running ? 1 : fake.stepped ? 2 : 0;
    *cycles = 0;
    logLine("MSP430_State(%ld) state=%ld", (long)stop, (long)*state);
    return 0;
}

#ifndef FAKE_V3
EXPORT Int MSP430_Breakpoint(Int trigger, Int address)
{
    CHECK_FAULT("MSP430_Breakpoint", "MSP430_Breakpoint(%ld, 0x%lx)", (long)trigger, (long)address);
    logLine("MSP430_Breakpoint(%ld, 0x%lx)", (long)trigger, (long)address);
    return 0;
}

EXPORT Int MSP430_EEM_Open(void)
{
    CHECK_FAULT("MSP430_EEM_Open", "MSP430_EEM_Open()");
    logLine("MSP430_EEM_Open()");
    return 0;
}

EXPORT Int MSP430_EEM_Read_Register(Int reg, Int *value)
{
    CHECK_FAULT("MSP430_EEM_Read_Register", "MSP430_EEM_Read_Register(0x%lx)", (long)reg);
    *value = fake.eem[reg & 0xFF];
    logLine("MSP430_EEM_Read_Register(0x%lx)", (long)reg);
    return 0;
}

EXPORT Int MSP430_EEM_Read_Register_Test(Int reg, Int *value)
{
    CHECK_FAULT("MSP430_EEM_Read_Register_Test", "MSP430_EEM_Read_Register_Test(0x%lx)", (long)reg);
    *value = fake.eem[reg & 0xFF];
    logLine("MSP430_EEM_Read_Register_Test(0x%lx)", (long)reg);
    return 0;
}

EXPORT Int MSP430_EEM_Write_Register(Int reg, Int value)
{
    CHECK_FAULT("MSP430_EEM_Write_Register", "MSP430_EEM_Write_Register(0x%lx, 0x%lx)", (long)reg, (long)value);
    fake.eem[reg & 0xFF] = value;
    logLine("MSP430_EEM_Write_Register(0x%lx, 0x%lx)", (long)reg, (long)value);
    return 0;
}

EXPORT Int MSP430_EEM_Close(void)
{
    logLine("MSP430_EEM_Close()");
    return 0;
}
#endif

#ifndef FAKE_NO_MODULE_NAMES
static const char *const moduleNames[32] = {
    "Module 15", "Module 14", "Module 13", "Module 12", "Module 11", "Module 10", "Module 9",  "Module 8",
    "Module 7",  "Module 6",  "Module 5",  "Module 4",  "Module 3",  "Module 2",  "Module 1",  "Module 0",
    "Module 31", "Module 30", "Module 29", "Module 28", "Module 27", "Module 26", "Module 25", "Module 24",
    "Module 23", "Module 22", "Module 21", "Module 20", "Module 19", "Module 18", "Module 17", "Module 16",
};

EXPORT Int MSP430_CcGetModuleNames(Int deviceId, const char *const **table)
{
    CHECK_FAULT("MSP430_CcGetModuleNames", "MSP430_CcGetModuleNames(0x%lx)", (long)deviceId);
    *table = moduleNames;
    logLine("MSP430_CcGetModuleNames(0x%lx)", (long)deviceId);
    return 0;
}
#endif

#ifndef FAKE_NO_FIRMWARE
EXPORT Int MSP430_FET_GetFwVersion(Int *version)
{
    CHECK_FAULT("MSP430_FET_GetFwVersion", "MSP430_FET_GetFwVersion()");
    *version = (Int)fake.version;
    logLine("MSP430_FET_GetFwVersion() version=%ld", fake.version);
    return 0;
}

typedef void (*FirmwareCallback)(uint32_t code, uint32_t value, uint32_t extra, Int client);

EXPORT Int MSP430_FET_FwUpdate(const char *file, FirmwareCallback callback, Int client)
{
    CHECK_FAULT("MSP430_FET_FwUpdate", "MSP430_FET_FwUpdate()");
    logLine("MSP430_FET_FwUpdate(%s)", file ? file : "null");
    static const uint32_t steps[][2] = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 50}, {4, 100}, {5, 0}, {6, 0}};
    for (unsigned i = 0; callback && i < sizeof steps / sizeof steps[0]; ++i)
        callback(steps[i][0], steps[i][1], 0, client);
    return 0;
}
#endif

#ifdef FAKE_NEEDS_DEP
int fakeMsp430Dependency(void);
EXPORT int fakeUsesDependency(void) { return fakeMsp430Dependency(); }
#endif

EXPORT Int MSP430_Error_Number(void)
{
    return (Int)fake.error;
}

EXPORT const char *MSP430_Error_String(Int number)
{
    return errorText((long)number);
}

/* Present because a library must export them; never called. */
EXPORT Int MSP430_Secure(void) { return -1; }
EXPORT Int MSP430_ReadOutFile(Int start, Int length, const char *file, Int type)
{
    (void)start, (void)length, (void)file, (void)type;
    return -1;
}
EXPORT Int MSP430_ProgramFile(const char *file, Int eraseType, Int verify)
{
    (void)file, (void)eraseType, (void)verify;
    return -1;
}
EXPORT Int MSP430_VerifyFile(const char *file)
{
    (void)file;
    return -1;
}
EXPORT Int MSP430_VerifyMem(Int start, Int length, const uint8_t *data)
{
    (void)start, (void)length, (void)data;
    return -1;
}
EXPORT Int MSP430_EraseCheck(Int start, Int length)
{
    (void)start, (void)length;
    return -1;
}
