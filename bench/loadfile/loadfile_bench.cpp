// Throughput of the text readers on generated images of 1 MB and 4 MB of file text.
// ZIM_BENCH_DIR names a directory to keep the generated files in (run.sh hands the
// 4 MB Intel hex file to srec_cat); without it they go to a temporary directory.
#include "loadfile/intelhexloadfile.h"
#include "loadfile/srecordloadfile.h"
#include "loadfile/tihexloadfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <map>
#include <random>

namespace {

// Random bytes in a few large sections, the way a big MSP430X image spreads over memory,
// written as 16-byte records of the format (the bench makes its own files so that it
// measures the readers alone).
QByteArray imageText(const QString &type, uint32_t bytes)
{
    std::mt19937 random(42);
    QByteArray text;
    auto hex = [&text](uint32_t value, int digits) {
        text += QByteArray::number(value, 16).toUpper().rightJustified(digits, '0');
    };
    const uint32_t pieces = 4;
    uint32_t upper = 0xFFFFFFFF;
    for (uint32_t i = 0; i < pieces; ++i) {
        const uint32_t base = 0x4000 + i * (bytes / pieces + 0x100);
        if (type == "tihex")
            text += '@', hex(base, 8), text += '\n';
        for (uint32_t offset = 0; offset < bytes / pieces; offset += 16) {
            const uint32_t address = base + offset;
            uint8_t data[16];
            for (uint8_t &b : data)
                b = uint8_t(random());
            if (type == "ihex") {
                if (address >> 16 != upper) {
                    upper = address >> 16;
                    const uint8_t sum = uint8_t(2 + 4 + (upper >> 8) + upper);
                    text += ":02000004", hex(upper, 4), hex(uint8_t(-sum), 2), text += '\n';
                }
                uint8_t sum = uint8_t(16 + (address >> 8) + address);
                text += ":10", hex(address & 0xFFFF, 4), text += "00";
                for (uint8_t b : data)
                    hex(b, 2), sum = uint8_t(sum + b);
                hex(uint8_t(-sum), 2);
            } else if (type == "srec") {
                uint8_t sum = uint8_t(20 + (address >> 16) + (address >> 8) + address);
                text += "S214", hex(address, 6);
                for (uint8_t b : data)
                    hex(b, 2), sum = uint8_t(sum + b);
                hex(uint8_t(~sum), 2);
            } else {
                for (int j = 0; j < 16; ++j)
                    text += j ? " " : "", hex(data[j], 2);
            }
            text += '\n';
        }
    }
    text += type == "ihex" ? ":00000001FF\n" : type == "srec" ? "S804004000BB\n" : "q\n";
    return text;
}

// Text characters per data byte for 16-byte records in each format.
const std::map<QString, double> textPerByte = {{"ihex", 44.0 / 16}, {"srec", 44.0 / 16}, {"tihex", 48.0 / 16}};

QString directory()
{
    static QTemporaryDir temporary;
    const QByteArray chosen = qgetenv("ZIM_BENCH_DIR");
    return chosen.isEmpty() ? temporary.path() : QString::fromLocal8Bit(chosen);
}

// The file of about megabytes MB of text in the format, made on first use.
QString imageFile(const QString &type, int megabytes)
{
    const QString extension = type == "ihex" ? "hex" : type == "srec" ? "s28" : "txt";
    const QString name = QDir(directory()).filePath(QStringLiteral("image%1mb.%2").arg(megabytes).arg(extension));
    if (!QFileInfo::exists(name)) {
        QFile file(name);
        const QByteArray text = imageText(type, uint32_t(megabytes * 1048576.0 / textPerByte.at(type)) & ~15u);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            qFatal("cannot write %s", qPrintable(name));
    }
    return name;
}

template <class Reader>
void readImage(benchmark::State &state, const char *type)
{
    const QString name = imageFile(QString::fromLatin1(type), int(state.range(0)));
    for (auto _ : state) {
        Reader file(name);
        benchmark::DoNotOptimize(file.sections().primarySections.size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * QFileInfo(name).size());
}

void intelHex(benchmark::State &state) { readImage<zim::loadfile::IntelHexLoadFile>(state, "ihex"); }
void sRecords(benchmark::State &state) { readImage<zim::loadfile::SRecordLoadFile>(state, "srec"); }
void tiText(benchmark::State &state) { readImage<zim::loadfile::TIHexLoadFile>(state, "tihex"); }

BENCHMARK(intelHex)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(sRecords)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(tiText)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
