// The readers on awkward inputs: pipes, files that change while they are read, sparse files
// of gigabytes and endless devices. Each must end in sections or in an HException, quickly.
#include "loadfile/binaryloadfile.h"
#include "loadfile/elfloadfile.h"
#include "loadfile/hbytestream.h"
#include "loadfile/hexloadfile.h"
#include "loadfile/intelhexloadfile.h"
#include "loadfile/srecordloadfile.h"
#include "loadfile/tihexloadfile.h"
#include "loadfiletestutil.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// A file of the given length that takes no room on disk; empty when the file system refuses.
QString sparseFile(TempFiles &files, const QString &name, qint64 length)
{
    const QString fileName = files.write(name, QByteArray());
    QFile file(fileName);
    if (fileName.isEmpty() || !file.open(QIODevice::ReadWrite) || !file.resize(length))
        return QString();
    return fileName;
}

// Makes a FIFO and a thread that writes bytes into it in pieces, so that its reader sees
// several partial reads before the end. Empty when the FIFO cannot be made.
QString fifoFeeding(TempFiles &files, const QByteArray &bytes, std::thread &writer)
{
    const QString fifo = files.path("fifo");
    if (mkfifo(QFile::encodeName(fifo).constData(), 0600) != 0)
        return QString();
    writer = std::thread([fifo, bytes] {
        QFile out(fifo);
        if (!out.open(QIODevice::WriteOnly))
            return;
        for (qsizetype at = 0; at < bytes.size(); at += 4096)
            out.write(bytes.mid(at, 4096));
    });
    return fifo;
}

QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(i * 7);
    return bytes;
}

TEST(BinaryLoadFile, ReadsAFifoToItsEnd)
{
    TempFiles files;
    const QByteArray image = pattern(100000);
    std::thread writer;
    const QString fifo = fifoFeeding(files, image, writer);
    ASSERT_FALSE(fifo.isEmpty());
    zim::loadfile::BinaryLoadFile file(fifo);
    writer.join();
    file.setLoadAddress(0x1000);
    ASSERT_EQ(file.sections().primarySections.size(), 1u);
    const auto &section = *file.sections().primarySections.front();
    EXPECT_EQ(section.address(), 0x1000u);
    ASSERT_EQ(section.size(), uint32_t(image.size()));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(section.data()), image.size()), image);
}

TEST(HFileInputByteStream, ReadsAFifoToItsEnd)
{
    TempFiles files;
    const QByteArray contents = pattern(50000);
    std::thread writer;
    const QString fifo = fifoFeeding(files, contents, writer);
    ASSERT_FALSE(fifo.isEmpty());
    zim::loadfile::HFileInputByteStream stream(fifo);
    writer.join();
    ASSERT_EQ(stream.size(), size_t(contents.size()));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(stream.data()), contents.size()), contents);
}

TEST(BinaryLoadFile, ReadsTheBytesWhenFirstUsedAndFailsWhenTheFileShrankMeanwhile)
{
    TempFiles files;
    const QString name = files.write("a.bin", QByteArray(4096, 'x'));
    zim::loadfile::BinaryLoadFile file(name);
    ASSERT_EQ(file.sections().primarySections.at(0)->size(), 4096u);
    ASSERT_TRUE(QFile::resize(name, 100));
    EXPECT_EQ(messageOf([&] { file.sections().primarySections.at(0)->data(); }), "cannot read " + name);
}

struct HugeCase
{
    const char *what;
    const char *fileName;
    qint64 length;
    uint32_t loadAddress;
    const char *message; // %1 is the file's name
};

class RejectsHugeSparseFilesEarly : public testing::TestWithParam<HugeCase>
{
};

TEST_P(RejectsHugeSparseFilesEarly, WithoutReadingThem)
{
    TempFiles files;
    const HugeCase &c = GetParam();
    const QString name = sparseFile(files, c.fileName, c.length);
    if (name.isEmpty())
        GTEST_SKIP() << "the temporary file system holds no sparse file of " << c.length << " bytes";
    const QString message = messageOf([&] {
        if (QString(c.fileName).endsWith(".elf")) {
            zim::loadfile::ElfLoadFile file(name);
        } else {
            zim::loadfile::BinaryLoadFile file(name);
            file.setLoadAddress(c.loadAddress);
            file.sections();
        }
    });
    EXPECT_EQ(message, QString(c.message).arg(name));
}

INSTANTIATE_TEST_SUITE_P(
    Files, RejectsHugeSparseFilesEarly,
    testing::Values(
        HugeCase{"binary beyond 4 GB", "big.bin", qint64(5) << 30, 0,
                 "file \u201C%1\u201D is larger than the 16777216 bytes a binary load file may have"},
        HugeCase{"binary of 3 GB", "big.bin", qint64(3) << 30, 0,
                 "file \u201C%1\u201D is larger than the 16777216 bytes a binary load file may have"},
        HugeCase{"binary of 1 MB placed too high", "big.bin", qint64(1) << 20, 0xFFF80000,
                 "%1 at load address 0xfff80000 runs past the end of the 32-bit address space"},
        HugeCase{"3 GB of zeros named elf", "big.elf", qint64(3) << 30, 0, "%1: not an ELF file"}),
    [](const testing::TestParamInfo<HugeCase> &info) { return testName(info.param.what); });

TEST(TextLoadFile, FailsOnAnEndlessDeviceAtOnce)
{
    if (!QFile::exists("/dev/zero"))
        GTEST_SKIP() << "no /dev/zero";
    EXPECT_EQ(messageOf([] { zim::loadfile::SRecordLoadFile file("/dev/zero"); }), "no leading 'S' character : line 1");
    EXPECT_EQ(messageOf([] { zim::loadfile::TIHexLoadFile file("/dev/zero"); }), "invalid ASCII encoded byte : line 1");
    EXPECT_EQ(messageOf([] { zim::loadfile::HexLoadFile file("/dev/zero"); }), "invalid ASCII encoded byte : line 1");
}

// A file cut short while a reader is inside it must give an error (or, if the reader was
// already done, the whole data), never a signal.
TEST(TextLoadFile, FailsWhenTheFileShrinksWhileItIsRead)
{
    // 32 MB of TI text: long enough that the cut lands while the reader is busy.
    const QByteArray line = QByteArray("00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF\n");
    const int lines = (32 << 20) / int(line.size());
    QByteArray text = "@1000\n" + line.repeated(lines) + "q\n";
    TempFiles files;
    const QString name = files.write("shrinking.txt", text);
    ASSERT_FALSE(name.isEmpty());
    text.clear();

    const int watcher = inotify_init1(0);
    ASSERT_GE(watcher, 0);
    ASSERT_GE(inotify_add_watch(watcher, QFile::encodeName(name).constData(), IN_OPEN), 0);
    // Cuts the file as soon as the reader has opened it.
    std::thread cutter([&] {
        char event[sizeof(inotify_event) + 256];
        if (::read(watcher, event, sizeof event) > 0)
            QFile::resize(name, 4096);
    });
    bool loadedWhole = false;
    const QString message = messageOf([&] {
        zim::loadfile::TIHexLoadFile file(name);
        loadedWhole = file.primarySize() == uint32_t(lines) * 16;
    });
    cutter.join();
    ::close(watcher);
    if (message == "<no exception>")
        EXPECT_TRUE(loadedWhole) << "a shortened file loaded as if it were whole";
    else
        EXPECT_TRUE(message.startsWith("cannot read " + name + " : line ") ||
                    message.startsWith("unexpected end of file : line "))
            << message.toStdString();
}

} // namespace
