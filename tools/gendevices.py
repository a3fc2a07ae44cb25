#!/usr/bin/env python3
"""Writes the MSP430 device table of the msp430devices library (msp430devices.def).

Inputs, read as data only:
  - chipinfo.db: Texas Instruments' device facts (BSD-3-Clause), a C-initialiser listing with one
    record per device or per family of devices sharing an identification: identification words
    and masks, memory regions, clock-control level, clock module names, feature flags.
  - the msp430mcu linker descriptions: <ldscripts>/<device>/memory.x (RAM, second RAM,
    information memory and its segment size, main flash and flash above 64 KB) and
    msp430mcu.spec (CPU kind: 430, 430x, 430xv2).

A device is listed when msp430mcu describes it and chipinfo.db has a record for its name or for
a family name that covers it ("MSP430F41x", "MSP430FW42x/F41x", "F20x1_G2x0x_G2x1x"). Memory
limits are per device and come from memory.x; identification and clock control come from the
chipinfo record. The mask-ROM and one-time-programmable parts (C, CG, E, P) and the F110/F112
have no record and are left out; the generator names every device it leaves out. The output is
committed so that building needs neither input.

The same rows also become the "Target" group of the default target description
(data/targets/MSP430F449.xml): one entry per device with its identify string, instruction set
and hardware multiplier, so that the description and the device table always list the same
devices.

Usage: gendevices.py [--chipinfo PATH] [--ldscripts DIR] [--cpus PATH] [--output PATH]
                     [--target-description PATH]
Relative defaults are taken from the repository: chipinfo.db from ../shared/devices beside it.
"""

import argparse
import os
import re
import sys

REPOSITORY = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
DEFAULT_CHIPINFO = os.path.join(REPOSITORY, '..', 'shared', 'devices', 'chipinfo.db')
# Where the Debian package msp430mcu installs its linker descriptions.
DEFAULT_LDSCRIPTS = '/usr/msp430/lib/ldscripts'
DEFAULT_CPUS = '/usr/msp430/lib/msp430mcu.spec'
DEFAULT_OUTPUT = os.path.join(REPOSITORY, 'src', 'msp430', 'devicelib', 'msp430devices.def')
DEFAULT_TARGET_DESCRIPTION = os.path.join(REPOSITORY, 'data', 'targets', 'MSP430F449.xml')

LOW, MEDIUM, HIGH = 1, 2, 3
# Breakpoints per emulation level, as the debugger's emulation setting describes the levels.
BREAKPOINTS = {LOW: 2, MEDIUM: 3, HIGH: 8}

# Embedded-emulation configuration by family, first match wins. Sources: the family user guides'
# EEM chapters (SLAU049 F1xx, SLAU144 F2xx, SLAU056 F4xx, SLAU208 F5xx/F6xx, SLAU272 FR57xx,
# SLAU367 FR5xx, SLAU259 CC430) and the debug stack's per-family trigger configurations:
# the large EEM (8 triggers, sequencer, state storage) is High; the 5xx small EEM (3 bus
# triggers) is Medium; 2-trigger modules are Low. Families whose configuration we found no
# document for (None here, and any family not listed) get the conservative answer: Low,
# 2 breakpoints; the generator lists them and the table's heading names them.
EMULATION_FAMILIES = [
    (r'MSP430F1(5|6)\d+$', HIGH),           # F15x/F16x/F161x: large EEM
    (r'MSP430F1(3|4)\d+$', MEDIUM),         # F13x/F14x: 3 breakpoints with range compare
    (r'MSP430F1\d+A?$', LOW),               # F11x1/F11x2/F12x/F12x2: 2 breakpoints
    (r'MSP430F2(41|61)\d+$', HIGH),         # F241x/F261x: large EEM
    (r'MSP430F2(3|4)\d+$', None),           # F23x/F24x: configuration not documented to us
    (r'MSP430F2\d+$', LOW),                 # F20xx/F21xx/F22xx: 2 breakpoints
    (r'MSP430G2\d+$', LOW),                 # value line: 2 breakpoints
    (r'MSP430AFE2\d+$', LOW),
    (r'MSP430F4(3|4)\d+$', HIGH),           # F43x/F44x: large EEM
    (r'MSP430FG43\d+$', HIGH),
    (r'MSP430F(G)?46\d+$', HIGH),           # F46xx/FG461x: large EEM
    (r'MSP430F471\d+$', HIGH),              # F471xx: large EEM
    (r'MSP430F(G)?47\d+$', None),           # F47x/FG47x: not documented to us
    (r'MSP430F41\d2$', None),               # F41x2: not documented to us
    (r'MSP430F(E|G|W)?4\d+A?$', LOW),       # F41x/F42x/FE42x/FG42x0/FW42x: 2 breakpoints
    (r'MSP430F5(4|5|6)\d+A?$', HIGH),       # F54xx/F55xx/F563x: EEM L
    (r'MSP430F66\d+$', HIGH),               # F66xx: EEM L
    (r'MSP430F5(1|2|3)\d+$', MEDIUM),       # F51xx/F52xx/F53xx: EEM S
    (r'CC430F\d+$', MEDIUM),                # CC430: EEM S
    (r'MSP430FR5\d+$', MEDIUM),             # FR57xx/FR59xx: EEM S
    (r'MSP430BT5190$', HIGH),               # F5438A die
]
# Families with a TEST pin (two-wire JTAG or JTAG shared with port pins); the F1xx and most F4xx
# parts have dedicated JTAG pins without one.
TEST_PIN_FAMILIES = r'(MSP430(F2|G2|AFE2|F5|F6|FR|L0|C0|BT5|F41\d2|F4152|F4132)|CC430)'


def fail(message):
    sys.stderr.write('gendevices: %s\n' % message)
    sys.exit(1)


def read_text(path):
    try:
        with open(path, encoding='utf-8', errors='replace') as f:
            return f.read()
    except OSError as e:
        fail('cannot read %s: %s' % (path, e.strerror))


def hexnum(text):
    return int(text, 0)


def parse_chipinfo(text):
    """The records of the chipinfo_db array, each a dict, in file order."""
    start = text.find('chipinfo_db[]')
    if start < 0:
        fail('no chipinfo_db table in chipinfo.db')
    records = []
    for block in re.split(r'\t\{\n\t\t\.name', text[start:])[1:]:
        name = re.match(r'\t\t= "([^"]+)"', block)
        if not name:
            continue
        rec = {'name': name.group(1)}

        def words(field):
            m = re.search(r'\.' + field + r'\t+= \{(.*?)\}', block, re.S)
            if not m:
                fail('record %s lacks %s' % (rec['name'], field))
            return {k: hexnum(v) for k, v in re.findall(r'\.(\w+)\t+= (0x[0-9a-fA-F]+)', m.group(1))}
        rec['id'] = words('id')
        rec['mask'] = words('id_mask')
        cc = re.search(r'\.clock_control\t= (0x[0-9a-f]+)', block)
        rec['clock_control'] = hexnum(cc.group(1)) if cc else 0
        cmap = re.search(r'\.clock_map\t= \{(.*?)\n\t\t\},', block, re.S)
        rec['clocks'] = re.findall(r'\{"([^"]+)", 0x[0-9a-f]+\}', cmap.group(1)) if cmap else []
        rec['fram'] = 'CHIPINFO_FEATURE_FRAM' in block
        rec['patterns'] = family_patterns(rec['name'])
        # The family's own memory, to tell apart families that both cover a name.
        regions = {name: (hexnum(offset), hexnum(offset) + int(size) - 1) for name, size, offset in re.findall(
            r'\.name\t\t= "(\w+)",\n(?:.*\n){3}\t+\.size\t\t= (\d+),\n\t+\.offset\t\t= (0x[0-9a-f]+)', block)}
        rec['ram_end'] = regions.get('Ram', (0, 0))[1]
        rec['flash_start'] = regions.get('Main', (0, 0))[0]
        records.append(rec)
    return records


def family_patterns(name):
    """The device-name patterns a chipinfo record name stands for, as regular expressions."""
    alternatives = re.split(r'[/_]', name)
    prefix = re.match(r'^(MSP430|CC430|RF430)', alternatives[0])
    prefix = prefix.group(1) if prefix else 'MSP430'
    patterns = []
    for alt in alternatives:
        if not re.match(r'^(MSP430|CC430|RF430)', alt):
            alt = prefix + alt
        patterns.append('^' + re.escape(alt).replace('x', r'\d') + '$')
    return patterns


def parse_memory_x(path):
    regions = {}
    text = read_text(path)
    for name, origin, length in re.findall(
            r'^\s*(\w+)\s*(?:\([a-z]+\))?\s*:\s*ORIGIN\s*=\s*(0x[0-9a-fA-F]+),\s*LENGTH\s*=\s*(0x[0-9a-fA-F]+)',
            text, re.M):
        origin, length = hexnum(origin), hexnum(length)
        if length:
            regions[name] = (origin, origin + length - 1)
    seg = re.search(r'__info_segment_size\s*=\s*(0x[0-9a-fA-F]+)', text)
    return regions, hexnum(seg.group(1)) if seg else 0


def parse_spec_table(cpu_table, entry, option):
    """The value of -moption per device from the *entry line of msp430mcu.spec."""
    line = next((l for l in cpu_table.splitlines() if l.startswith('*' + entry + ':')), None)
    if line is None:
        fail('no *%s entry in msp430mcu.spec' % entry)
    values = {}
    for alts, value in re.findall(r'((?:mmcu=[\w*]+\|?)+):-m' + option + r'=(\w*);', line):
        for mcu in re.findall(r'mmcu=(\w+)', alts):
            values[mcu.lower()] = value
    return values


def parse_cpus(cpu_table):
    return parse_spec_table(cpu_table, 'msp430_cpu', 'cpu')


def parse_multipliers(cpu_table):
    """The hardware multiplier kind per device: 16, 16se, 32, 32dw, or none/empty without one."""
    return parse_spec_table(cpu_table, 'msp430_mpy', 'mpy')


def aliases(device):
    """The names whose chipinfo record also describes device, best first. A trailing "1" after
    the part number (F1491, F4351, F46191) marks a variant of the same die with fewer
    peripherals, which answers the same identification; the F461x parts share the die of the
    FG461x, and the BT5190 is an F5438A die."""
    if device == 'MSP430BT5190':
        return [device, 'MSP430F5438A']
    names = [device]
    m = re.match(r'^(MSP430F(?:\d{3}|46\d{2}))1$', device)
    if m:
        names.append(m.group(1))
    names += [n.replace('MSP430F46', 'MSP430FG46') for n in list(names) if n.startswith('MSP430F46')]
    return names


def choose_record(device, records, memory):
    """The chipinfo record for a device: its own name first, else a family that covers it;
    among several families the first whose memory holds the device's, else the first."""
    for alias in aliases(device):
        exact = [r for r in records if r['name'] == alias]
        if exact:
            return exact[0]
    families = [r for name in aliases(device) for r in records
                if any(re.match(p, name) for p in r['patterns'])]
    if not families:
        return None
    for r in families:
        if r['ram_end'] >= memory['ram'][1] and (r['flash_start'] or 0x10000) <= memory['flash'][0]:
            return r
    return families[0]


def pattern_of(rec, xv2):
    """The nine identification values: bytes at 0x0FF0, 0x0FF1, 0x0FF2, 0x0FF3, 0x0FF8, 0x0FF9,
    0x0FFD (-1 for any), fuse value (-1 for none) and fuse mask."""
    ident, mask = rec['id'], rec['mask']

    def byte(value, m):
        return value & 0xFF if m & 0xFF else -1
    # The self word at 0x0FF4 is not among the compared bytes; the only records that compare it
    # (F11x1, F11x1A) differ in their revision byte as well.
    # The sub-version word is only part of the identification of the CPUXv2 parts, whose
    # device descriptor carries it; the older parts have no such word and match any.
    sub_mask = mask['ver_sub_id'] if xv2 else 0
    return [
        byte(ident['ver_id'], mask['ver_id']),
        byte(ident['ver_id'] >> 8, mask['ver_id'] >> 8),
        byte(ident['revision'], mask['revision']),
        byte(ident['fab'], mask['fab']),
        byte(ident['ver_sub_id'], sub_mask),
        byte(ident['ver_sub_id'] >> 8, sub_mask >> 8),
        byte(ident['config'] & mask['config'], mask['config']),
        ident['fuses'] & mask['fuses'] if mask['fuses'] else -1,
        mask['fuses'],
    ]


def emulation_of(device):
    for pattern, level in EMULATION_FAMILIES:
        if re.match(pattern, device):
            return (level, True) if level else (LOW, False)
    return LOW, False


def device_memory(regions, segment):
    """RAM, second RAM, information memory and main flash limits from memory.x regions."""
    if 'ram' not in regions or 'rom' not in regions:
        return None
    flash_start, flash_end = regions['rom']
    # The main memory runs on through the interrupt vectors above it, including the words the
    # linker keeps free between code and vectors (the F2xx BSL signature at 0FFDEh).
    if 'vectors' in regions and regions['vectors'][0] > flash_end:
        flash_end = regions['vectors'][1]
    if 'far_rom' in regions:
        flash_end = max(flash_end, regions['far_rom'][1])
    info = regions.get('infomem', (0, 0))
    ram, ram2 = regions['ram'], regions.get('ram2', (0, 0))
    if ram[1] % 16 != 15:
        # The CC430 descriptions keep the top RAM word out of the linker's region; the RAM
        # itself ends on the 2 KB/4 KB boundary (CC430F513x/F612x/F613x datasheets, memory map).
        ram = (ram[0], ram[1] | 15)
    if 'ram_mirror' in regions and ram2 == (0, 0):
        # F161x, F24xx/F261x and F471xx: the first 2 KB of the RAM also answer at 0x0200; the
        # low range is the RAM of the classic map and the whole RAM is the second range.
        ram, ram2 = regions['ram_mirror'], ram
    return {'ram': ram, 'ram2': ram2, 'info': info,
            # The L092's single 96-byte information block is not FLASH; 64 keeps its limits whole.
            'segment': segment if segment in (64, 128) else 64,
            'flash': (flash_start, flash_end)}


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('--chipinfo', default=DEFAULT_CHIPINFO)
    ap.add_argument('--ldscripts', default=DEFAULT_LDSCRIPTS)
    ap.add_argument('--cpus', default=DEFAULT_CPUS)
    ap.add_argument('--output', default=DEFAULT_OUTPUT)
    ap.add_argument('--target-description', default=DEFAULT_TARGET_DESCRIPTION)
    args = ap.parse_args()

    records = parse_chipinfo(read_text(args.chipinfo))
    cpu_table = read_text(args.cpus)
    cpus = parse_cpus(cpu_table)
    multipliers = parse_multipliers(cpu_table)

    try:
        mcus = sorted(os.listdir(args.ldscripts))
    except OSError as e:
        fail('cannot list %s: %s' % (args.ldscripts, e.strerror))

    rows, skipped, undocumented = [], [], []
    for mcu in mcus:
        path = os.path.join(args.ldscripts, mcu, 'memory.x')
        if not os.path.isfile(path):
            continue
        device = mcu.upper()
        regions, segment = parse_memory_x(path)
        memory = device_memory(regions, segment)
        if memory is None:
            skipped.append(device)
            continue
        rec = choose_record(device, records, memory)
        if rec is None:
            skipped.append(device)
            continue
        cpu = cpus.get(mcu, '430')
        level, documented = emulation_of(device)
        if not documented:
            undocumented.append(device)
        rows.append({
            'name': device, 'pattern': pattern_of(rec, cpu == '430xv2'), 'record': rec['name'],
            'testPin': bool(re.match(TEST_PIN_FAMILIES, device)),
            'cpuX': cpu in ('430x', '430xv2'), 'cpuXv2': cpu == '430xv2',
            'fram': rec['fram'] or device.startswith('MSP430FR'),
            'emulation': level, 'clockControl': min(rec['clock_control'], 2) if rec['clock_control'] != 3 else 1,
            'breakpoints': BREAKPOINTS[level], 'memory': memory,
            'extended': memory['flash'][1] > 0xFFFF, 'clocks': rec['clocks'],
            'multiplier': multipliers.get(mcu, '') not in ('', 'none'),
        })

    write_table(args.output, rows, undocumented)
    write_target_description(args.target_description, rows)
    sys.stderr.write('gendevices: %d devices written to %s; %d without an identification record: %s\n'
                     % (len(rows), args.output, len(skipped), ' '.join(skipped)))
    if undocumented:
        sys.stderr.write('gendevices: no documented emulation configuration, Low used for: %s\n'
                         % ' '.join(undocumented))


def write_table(path, rows, undocumented):
    def h(v):
        return '-1' if v < 0 else '0x%02X' % v

    def a(v):
        return '0x%05X' % v

    out = [
        '// MSP430 device table, generated by tools/gendevices.py from chipinfo.db (Texas Instruments,',
        '// BSD-3-Clause) and the msp430mcu linker descriptions. Do not edit; run the generator.',
        '//',
        '// DEVICE(name, identification: bytes at 0x0FF0 0x0FF1 0x0FF2 0x0FF3 0x0FF8 0x0FF9 0x0FFD (-1 any),',
        '//        fuse value (-1 none), fuse mask, features: TEST pin, CPUX, CPUXv2, FRAM,',
        '//        emulation level (1 Low, 2 Medium, 3 High), clock control (0 none, 1 standard, 2 extended),',
        '//        breakpoints, RAM first, last, second RAM first, last, information first, last, segment size,',
        '//        main memory first, last, beyond 64 KB, clock module names separated by ";")',
    ]
    if undocumented:
        out.append('// No documented emulation configuration (Low, 2 breakpoints used): ' + ' '.join(undocumented))
    for r in rows:
        m = r['memory']
        out.append('DEVICE("%s", %s, %d, %d, %d, %d, %d, %d, %d, %s, %s, %s, %s, %s, %s, %d, %s, %s, %d, "%s") // %s' % (
            r['name'], ', '.join(h(v) for v in r['pattern']),
            r['testPin'], r['cpuX'], r['cpuXv2'], r['fram'],
            r['emulation'], r['clockControl'], r['breakpoints'],
            a(m['ram'][0]), a(m['ram'][1]), a(m['ram2'][0]), a(m['ram2'][1]),
            a(m['info'][0]), a(m['info'][1]), m['segment'],
            a(m['flash'][0]), a(m['flash'][1]), r['extended'], ';'.join(r['clocks']), r['record']))
    try:
        with open(path, 'w', encoding='utf-8') as f:
            f.write('\n'.join(out) + '\n')
    except OSError as e:
        fail('cannot write %s: %s' % (path, e.strerror))


def write_target_description(path, rows):
    """The default target description: its "Target" group lists every device of the table."""
    out = [
        '<!-- The default MSP430 target description, generated by tools/gendevices.py from the same',
        '     inputs as the device table (src/msp430/devicelib/msp430devices.def). Do not edit; run the',
        '     generator. The "Target" group has one entry per device; a project names its device',
        '     with the property Target="name". -->',
        '<target_description name="MSP430">',
        '  <group name="Target" short="Target Processor" long="The device the project is built for and run on.">',
    ]
    for r in rows:
        out.append('    <groupEntry name="%s">' % r['name'])
        out.append('      <property name="msp430_identify_string" value="%s"/>' % r['name'])
        out.append('      <property name="msp430_insn_set" value="%s"/>' % ('MSP430X' if r['cpuX'] else 'MSP430'))
        out.append('      <property name="build_use_hardware_multiplier" value="%s"/>'
                   % ('Yes' if r['multiplier'] else 'No'))
        out.append('    </groupEntry>')
    out += ['  </group>', '</target_description>']
    try:
        with open(path, 'w', encoding='utf-8') as f:
            f.write('\n'.join(out) + '\n')
    except OSError as e:
        fail('cannot write %s: %s' % (path, e.strerror))


if __name__ == '__main__':
    main()
