// Reading a generated TEVO executable and cutting its load sections, beside the Intel hex reader
// on the same program bytes. An executable of N MB holds N * 16 KB of code in small instruction
// records over eight sections, a source position before each record, and debugging records in
// a section that is not loaded. "tevo_bench --once FILE" reads one file and exits (run.sh
// measures its peak memory); ZIM_BENCH_DIR keeps the generated files.
#include "loadfile/intelhexloadfile.h"
#include "loadfile/loadfilewriter.h"
#include "tevo/tevoloadfile.h"
#include "tevo/tevomodule.h"
#include "tevo/tevomsp430reader.h"
#include "tevo/tevosection.h"
#include "tevo/tevowriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <random>

using namespace zim::tevo;

namespace {

zim::tevo::TEVOExecutablePlan describe(uint32_t codeBytes, uint32_t debugRecords)
{
    std::mt19937 random(7);
    zim::tevo::TEVOExecutablePlan plan;
    const uint32_t sections = 8;
    const uint32_t perSection = codeBytes / sections;
    static const uint32_t sizes[] = {2, 4, 6, 8, 2, 4, 2};
    for (uint32_t s = 0; s < sections; ++s) {
        zim::tevo::TEVOSectionPlan section;
        section.name = "CODE" + QByteArray::number(s);
        section.flags = zim::tevo::TEVOSection::loadableFlag;
        const uint32_t base = 0x4000 + s * (perSection + 0x100);
        uint32_t at = 0;
        for (uint32_t i = 0; at < perSection; ++i) {
            const uint32_t n = std::min(sizes[i % 7], perSection - at);
            zim::tevo::TEVORecordPlan locus;
            locus.kind = zim::tevo::TEVORecordPlan::Locus;
            locus.name = "module" + QByteArray::number(s) + ".c";
            locus.number = 10 + i;
            locus.address = base + at;
            QByteArray bytes(qsizetype(n), '\0');
            for (auto &b : bytes)
                b = char(random());
            section.records.append(locus);
            section.records += zim::tevo::recordsForBytes(base + at, reinterpret_cast<const uint8_t *>(bytes.constData()), n);
            at += n;
        }
        plan.sections.append(section);
    }
    zim::tevo::TEVOSectionPlan debug;
    debug.name = "DEBUG";
    debug.flags = 0x7;
    for (uint32_t i = 0; i < debugRecords; ++i) {
        zim::tevo::TEVORecordPlan r;
        r.kind = zim::tevo::TEVORecordPlan::Data;
        r.address = i * 4;
        r.size = 4;
        r.value = random();
        debug.records.append(r);
    }
    plan.sections.append(debug);
    return plan;
}

QString directory()
{
    static QTemporaryDir temporary;
    const QByteArray chosen = qgetenv("ZIM_BENCH_DIR");
    return chosen.isEmpty() ? temporary.path() : QString::fromLocal8Bit(chosen);
}

void save(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
        std::exit(1);
    }
}

// Read as the executable cache reads: through the reader's window on the file.
std::unique_ptr<zim::tevo::TEVOLoadFile> readExecutable(const QString &name)
{
    QFile input(name);
    if (!input.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(name));
        std::exit(1);
    }
    zim::tevo::TEVOMSP430Reader reader(input, true);
    auto file = std::make_unique<zim::tevo::TEVOLoadFile>(std::shared_ptr<zim::tevo::TEVOModule>(reader.readModule(false)));
    file->sections();
    return file;
}

// The executable of about megabytes MB and the Intel hex file of its program, made on first use.
QString imageFile(int megabytes, bool hex)
{
    const QString base = QDir(directory()).filePath(QStringLiteral("app%1mb").arg(megabytes));
    const QString hzx = base + ".hzx";
    if (!QFileInfo::exists(hzx)) {
        const uint32_t code = uint32_t(megabytes) * 16 * 1024;
        const qsizetype withoutDebug = zim::tevo::writeTEVOExecutable(describe(code, 0)).size();
        const qsizetype perRecord = zim::tevo::writeTEVOExecutable(describe(code, 1000)).size() - withoutDebug;
        const qsizetype wanted = qsizetype(megabytes) * 1024 * 1024 - withoutDebug;
        save(hzx, zim::tevo::writeTEVOExecutable(describe(code, uint32_t(std::max<qsizetype>(0, wanted * 1000 / perRecord)))));
        auto file = readExecutable(hzx);
        zim::loadfile::writeLoadFile(base + ".hex", "ihex", *file);
    }
    return hex ? base + ".hex" : hzx;
}

void tevo(benchmark::State &state)
{
    const QString name = imageFile(int(state.range(0)), false);
    uint32_t program = 0;
    for (auto _ : state) {
        auto file = readExecutable(name);
        program = file->primarySize();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * program);
    state.counters["file_bytes"] = double(QFileInfo(name).size());
}

void intelHex(benchmark::State &state)
{
    const QString name = imageFile(int(state.range(0)), true);
    uint32_t program = 0;
    for (auto _ : state) {
        zim::loadfile::IntelHexLoadFile file(name);
        program = file.primarySize();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * program);
    state.counters["file_bytes"] = double(QFileInfo(name).size());
}

BENCHMARK(tevo)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(intelHex)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--once") == 0) {
        const QString name = QString::fromLocal8Bit(argv[2]);
        const uint32_t size = name.endsWith(".hzx") ? readExecutable(name)->primarySize()
                                                    : zim::loadfile::IntelHexLoadFile(name).primarySize();
        std::printf("%u program bytes\n", size);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--make") == 0) {
        std::printf("%s\n", qPrintable(imageFile(std::atoi(argv[2]), false)));
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
