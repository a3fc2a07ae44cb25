// simcompare: runs random MSP430 programs in our simulator and in mspdebug's, instruction for
// instruction, and compares every register and the whole RAM afterwards.
//
// Behaviours left out of the programs on purpose, because this simulator follows its own rules
// there while mspdebug follows the documented instruction set (or mspdebug is wrong):
//   1. RRC sets V when the operand was positive and C was set; mspdebug clears V. Every RRC is
//      followed by BIC #V,SR.
//   2. DADD converts its operands digit by digit to binary, so digits above 9 count with their face
//      value, a decimal sum that wraps to exactly 0 leaves Z clear, and V is left unchanged (mspdebug
//      clears it). DADD only sees valid BCD operands whose sum does not wrap to 0, and is followed
//      by BIC #V,SR.
//   3. Byte accesses with @SP+ step SP by 1, word accesses at odd addresses read the odd byte pair,
//      and odd values written to PC are made even: pointers stay even, SP is never a byte pointer.
//   4. PUSH and CALL evaluate their operand after SP has been decremented: no SP-relative operands.
//   5. The MSP430X instructions (0x0000-0x1FFF besides format II) are not in mspdebug's sim.
//   6. PUSH.B stores one byte at SP; mspdebug stores a word with a zero high byte. PUSH is word only.
//   7. SR is written only with C, Z, N and V, so that CPUOFF, GIE and the other bits stay 0.
//
// Usage: simcompare [--seed N] [--count N] [--length N] [--batch N] [--trace INDEX] [--mspdebug PATH]
// --trace steps program INDEX of that run one instruction at a time and names the first difference.
// Exit status: 0 all equal, 1 a difference, 2 usage or mspdebug failure, 77 mspdebug absent.
#include "programgenerator.h"

#include "platform/platform.h"
#include "simulator/msp430monitor.h"
#include "msp430/msp430devices.h"
#include "target/targetenvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <array>
#include <cstdio>

namespace {

struct MachineState
{
    std::array<uint32_t, 16> regs{};
    std::vector<uint8_t> ram;
};

// Parses the register block printed after "step" and the RAM dump of "md", one pair per program.
std::vector<MachineState> parseMspdebug(const QString &output, size_t programs)
{
    static const QRegularExpression regPattern(QStringLiteral(R"(\(\s*(PC|SP|SR|R\d+):\s*([0-9a-fA-F]+)\))"));
    static const QRegularExpression dumpPattern(QStringLiteral(R"(^\s*([0-9a-fA-F]{5}):((?: [0-9a-fA-F]{2})+))"));
    std::vector<MachineState> states;
    MachineState current;
    int regsSeen = 0;
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        auto regs = regPattern.globalMatch(line);
        while (regs.hasNext()) {
            const auto m = regs.next();
            const QString name = m.captured(1);
            const int n = name == QLatin1String("PC") ? 0
                          : name == QLatin1String("SP") ? 1
                          : name == QLatin1String("SR") ? 2
                                                        : name.mid(1).toInt();
            current.regs[size_t(n)] = m.captured(2).toUInt(nullptr, 16);
            ++regsSeen;
        }
        const auto dump = dumpPattern.match(line);
        if (dump.hasMatch() && regsSeen >= 16) {
            const uint32_t at = dump.captured(1).toUInt(nullptr, 16);
            if (at >= GeneratedProgram::kRamStart && at < GeneratedProgram::kRamStart + GeneratedProgram::kRamSize) {
                for (const QString &byte : dump.captured(2).split(QLatin1Char(' '), Qt::SkipEmptyParts))
                    current.ram.push_back(uint8_t(byte.toUInt(nullptr, 16)));
                if (current.ram.size() >= GeneratedProgram::kRamSize) {
                    current.ram.resize(GeneratedProgram::kRamSize);
                    states.push_back(current);
                    current = MachineState();
                    regsSeen = 0;
                }
            }
        }
    }
    if (states.size() != programs)
        states.clear();
    return states;
}

// Steps the program instruction by instruction, or (runLoop) runs it with the simulator's run loop
// until it jumps to itself, which is where the stepping ends too.
MachineState runOurs(zim::simulator::MSP430Monitor &sim, const GeneratedProgram &program, bool runLoop = false)
{
    zim::simulator::MSP430Memory &memory = *sim.simulatedMemory();
    memory.writeBytes(GeneratedProgram::kRamStart, uint32_t(program.ram.size()), program.ram.data());
    std::vector<uint8_t> code;
    for (uint16_t w : program.code) {
        code.push_back(uint8_t(w));
        code.push_back(uint8_t(w >> 8));
    }
    memory.writeBytes(GeneratedProgram::kCodeStart, uint32_t(code.size()), code.data());
    const uint8_t vector[2] = {uint8_t(GeneratedProgram::kCodeStart), uint8_t(GeneratedProgram::kCodeStart >> 8)};
    memory.writeBytes(0xFFFE, 2, vector);
    sim.reset(true);
    if (runLoop) {
        sim.runFor(1000000);
    } else {
        for (int i = 0; i < program.steps; ++i)
            sim.step();
    }

    MachineState state;
    for (int n = 0; n < 16; ++n)
        state.regs[size_t(n)] = sim.cpuRegisters()->read(n) & 0xFFFF;
    state.ram.resize(GeneratedProgram::kRamSize);
    memory.readBytes(GeneratedProgram::kRamStart, GeneratedProgram::kRamSize, state.ram.data());
    return state;
}

QString describe(const GeneratedProgram &program)
{
    QString words;
    for (size_t i = 0; i < program.code.size(); ++i)
        words += QStringLiteral("%1%2").arg(i % 8 == 0 ? QStringLiteral("\n  %1:").arg(GeneratedProgram::kCodeStart + 2 * i, 4, 16, QLatin1Char('0')) : QString(), QStringLiteral(" %1").arg(program.code[i], 4, 16, QLatin1Char('0')));
    return words;
}

// Returns the first difference, or an empty text.
QString compare(const MachineState &ours, const MachineState &theirs)
{
    static const char *names[16] = {"PC", "SP", "SR", "R3", "R4", "R5", "R6", "R7",
                                    "R8", "R9", "R10", "R11", "R12", "R13", "R14", "R15"};
    for (size_t n = 0; n < 16; ++n) {
        if ((ours.regs[n] & 0xFFFF) != (theirs.regs[n] & 0xFFFF))
            return QStringLiteral("%1: ours %2, mspdebug %3")
                .arg(QLatin1String(names[n]))
                .arg(ours.regs[n], 4, 16, QLatin1Char('0'))
                .arg(theirs.regs[n], 4, 16, QLatin1Char('0'));
    }
    for (size_t i = 0; i < ours.ram.size(); ++i) {
        if (ours.ram[i] != theirs.ram[i])
            return QStringLiteral("RAM %1: ours %2, mspdebug %3")
                .arg(GeneratedProgram::kRamStart + i, 4, 16, QLatin1Char('0'))
                .arg(ours.ram[i], 2, 16, QLatin1Char('0'))
                .arg(theirs.ram[i], 2, 16, QLatin1Char('0'));
    }
    return QString();
}

// Steps one program in both simulators and prints the first step after which the registers differ.
int traceProgram(zim::simulator::MSP430Monitor &sim, const GeneratedProgram &program, const QString &mspdebug, const QString &file)
{
    QStringList commands = {QStringLiteral("-n"), QStringLiteral("sim"), QStringLiteral("prog %1").arg(file)};
    for (int i = 0; i < program.steps; ++i)
        commands << QStringLiteral("step");
    QProcess process;
    process.start(mspdebug, commands);
    process.waitForFinished(600000);
    static const QRegularExpression regPattern(QStringLiteral(R"(\(\s*(PC|SP|SR|R\d+):\s*([0-9a-fA-F]+)\))"));
    std::vector<std::array<uint32_t, 16>> theirs;
    std::array<uint32_t, 16> current{};
    int seen = 0;
    for (const QString &line : QString::fromLatin1(process.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        auto regs = regPattern.globalMatch(line);
        while (regs.hasNext()) {
            const auto m = regs.next();
            const QString name = m.captured(1);
            const int n = name == QLatin1String("PC") ? 0 : name == QLatin1String("SP") ? 1 : name == QLatin1String("SR") ? 2 : name.mid(1).toInt();
            current[size_t(n)] = m.captured(2).toUInt(nullptr, 16);
            if (++seen % 16 == 0)
                theirs.push_back(current);
        }
    }
    runOurs(sim, program); // loads the program; it is run again below step by step
    for (int n = 0; n < 16; ++n)
        sim.cpuRegisters()->write(n, 0);
    sim.reset(true);
    for (size_t step = 0; step < theirs.size(); ++step) {
        const uint32_t pc = sim.cpuRegisters()->read(0);
        sim.step();
        for (int n = 0; n < 16; ++n) {
            const uint32_t ours = sim.cpuRegisters()->read(n) & 0xFFFF;
            if (ours != theirs[step][size_t(n)]) {
                const size_t index = (pc - GeneratedProgram::kCodeStart) / 2;
                std::printf("step %zu at %04x (opcode %04x): R%d ours %04x, mspdebug %04x\n", step, pc,
                            index < program.code.size() ? program.code[index] : 0u, n, ours, theirs[step][size_t(n)]);
                return 1;
            }
        }
    }
    std::printf("registers agree at every step\n");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    uint32_t seed = 1;
    int count = 50;
    int length = 40;
    int batch = 100;
    int trace = -1;
    QString mspdebug = QStandardPaths::findExecutable(QStringLiteral("mspdebug"));
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--seed") && hasValue)
            seed = args[++i].toUInt();
        else if (arg == QLatin1String("--count") && hasValue)
            count = args[++i].toInt();
        else if (arg == QLatin1String("--length") && hasValue)
            length = args[++i].toInt();
        else if (arg == QLatin1String("--batch") && hasValue)
            batch = std::max(1, args[++i].toInt());
        else if (arg == QLatin1String("--trace") && hasValue)
            trace = args[++i].toInt();
        else if (arg == QLatin1String("--mspdebug") && hasValue)
            mspdebug = args[++i];
        else {
            std::fprintf(stderr, "usage: simcompare [--seed N] [--count N] [--length N] [--batch N] [--mspdebug PATH]\n");
            return 2;
        }
    }
    if (mspdebug.isEmpty() || !QFile::exists(mspdebug)) {
        std::printf("mspdebug not found: comparison skipped\n");
        return 77;
    }

    QTemporaryDir dir;
    ProgramGenerator generator(seed);
    zim::target::TargetEnvironment state(zim::platform::executablePath());
    zim::msp430::MSP430DeviceLibrary devices(state.environmentMacros());
    zim::simulator::MSP430Monitor sim(state, devices);
    sim.connect();
    if (trace >= 0) {
        GeneratedProgram program;
        for (int i = 0; i <= trace; ++i)
            program = generator.next(length);
        const QString file = dir.filePath(QStringLiteral("trace.hex"));
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly))
            return 2;
        out.write(program.intelHex().toLatin1());
        out.close();
        return traceProgram(sim, program, mspdebug, file);
    }
    QElapsedTimer timer;
    timer.start();
    int compared = 0;
    int differences = 0;
    for (int first = 0; first < count; first += batch) {
        const int n = std::min(batch, count - first);
        std::vector<GeneratedProgram> programs;
        QStringList commands = {QStringLiteral("-n"), QStringLiteral("sim")};
        for (int i = 0; i < n; ++i) {
            programs.push_back(generator.next(length));
            const QString file = dir.filePath(QStringLiteral("p%1.hex").arg(i));
            QFile out(file);
            if (!out.open(QIODevice::WriteOnly) || out.write(programs.back().intelHex().toLatin1()) < 0) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
                return 2;
            }
            out.close();
            commands << QStringLiteral("prog %1").arg(file) << QStringLiteral("step %1").arg(programs.back().steps)
                     << QStringLiteral("md 0x%1 %2").arg(GeneratedProgram::kRamStart, 0, 16).arg(GeneratedProgram::kRamSize);
        }
        QProcess process;
        process.start(mspdebug, commands);
        if (!process.waitForFinished(600000)) {
            std::fprintf(stderr, "mspdebug did not finish\n");
            return 2;
        }
        const QString output = QString::fromLatin1(process.readAllStandardOutput());
        const std::vector<MachineState> theirs = parseMspdebug(output, programs.size());
        if (theirs.empty()) {
            std::fprintf(stderr, "cannot read mspdebug's output for programs %d-%d:\n%s\n%s\n", first, first + n - 1,
                         qPrintable(output.right(3000)), process.readAllStandardError().constData());
            return 2;
        }
        for (int i = 0; i < n; ++i) {
            // Every other program goes through the run loop rather than single steps.
            const QString difference = compare(runOurs(sim, programs[size_t(i)], i % 2 == 1), theirs[size_t(i)]);
            ++compared;
            if (!difference.isEmpty()) {
                ++differences;
                if (differences <= 5)
                    std::printf("program %d (seed %u): %s%s\n", first + i, seed, qPrintable(difference),
                                qPrintable(describe(programs[size_t(i)])));
            }
        }
    }
    std::printf("%d programs compared in %.1f s: %d with differences\n", compared, timer.elapsed() / 1000.0,
                differences);
    return differences == 0 ? 0 : 1;
}
