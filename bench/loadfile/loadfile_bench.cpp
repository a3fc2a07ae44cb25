// Throughput of the text readers on generated images of 1 MB and 4 MB of file text.
// ZIM_BENCH_DIR names a directory to keep the generated files in (run.sh hands the
// 4 MB Intel hex file to srec_cat); without it they go to a temporary directory.
#include "loadfile/intelhexloadfile.h"
#include "loadfile/loadfilewriter.h"
#include "loadfile/srecordloadfile.h"
#include "loadfile/tihexloadfile.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <map>
#include <random>

namespace {

// Random bytes in a few large sections, the way a big MSP430X image spreads over memory.
class ImageLoadFile : public LoadFileInterface
{
public:
    explicit ImageLoadFile(uint32_t bytes)
    {
        std::mt19937 random(42);
        const uint32_t pieces = 4;
        for (uint32_t i = 0; i < pieces; ++i) {
            auto section = std::make_unique<ExpandingLoadFileSection>("", 0x4000 + i * (bytes / pieces + 0x100));
            uint8_t *data = section->append(bytes / pieces);
            for (uint32_t j = 0; j < bytes / pieces; ++j)
                data[j] = uint8_t(random());
            m_sections.primarySections.push_back(std::move(section));
        }
    }
    bool hasStartAddress() const override { return true; }
    void setStartAddress(uint32_t) override {}
    uint32_t startAddress() const override { return 0x4000; }
    bool hasAddresses() const override { return true; }
    void setLoadAddress(uint32_t) override {}
    bool readSections() override { return true; }
};

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
        ImageLoadFile image(uint32_t(megabytes * 1048576.0 / textPerByte.at(type)) & ~15u);
        writeLoadFile(name, type, image);
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

void intelHex(benchmark::State &state) { readImage<IntelHexLoadFile>(state, "ihex"); }
void sRecords(benchmark::State &state) { readImage<SRecordLoadFile>(state, "srec"); }
void tiText(benchmark::State &state) { readImage<TIHexLoadFile>(state, "tihex"); }

BENCHMARK(intelHex)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(sRecords)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(tiText)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
