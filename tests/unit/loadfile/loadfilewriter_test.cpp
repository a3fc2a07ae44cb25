// Writing load files: which types the table can write, and a destination that never leaves a
// damaged file behind, checked with a write that fails as a full disk does.
#include "loadfile/loadfiledestination.h"
#include "loadfile/loadfilefactory.h"
#include "loadfiletestutil.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Takes the first 10 bytes of the first call, then fails as a full disk does.
ssize_t fullAfterTenBytes(int fd, const void *buffer, size_t size)
{
    static constexpr size_t room = 10;
    if (size <= room) {
        errno = ENOSPC;
        return -1;
    }
    return ::write(fd, buffer, room);
}

// Ends the process as a termination signal would after the first bytes were written.
ssize_t terminatedAfterTenBytes(int fd, const void *buffer, size_t size)
{
    const ssize_t n = ::write(fd, buffer, std::min<size_t>(size, 10));
    std::raise(SIGTERM);
    return n;
}

// The reading end of a FIFO, closed by the write below just before it writes.
int fifoReader = -1;
ssize_t readerGoneFirst(int fd, const void *buffer, size_t size)
{
    ::close(fifoReader);
    return ::write(fd, buffer, size);
}

TEST(LoadFileWriters, AreLookedUpByExactType)
{
    EXPECT_EQ(messageOf([] { zim::loadfile::TEVOLoadFileFactory().requireWriter(QStringLiteral("IHEX")); }),
              QStringLiteral("unknown file type \"IHEX\""));
}

// A file of one address space cannot hold what a target's second memory held; writing only the
// main memory would lose it without a word.
TEST(LoadFileWriters, OfOneAddressSpaceRefuseSectionsOfTheSecondMemory)
{
    static const uint8_t info[3] = {1, 2, 3};
    LayoutLoadFile file({{0x1100, {0x31, 0x40}}});
    file.sections().secondarySections.push_back(
        std::make_unique<zim::loadfile::StandardLoadFileSection>("INFO", 0x1000, 3, info));
    zim::loadfile::TEVOLoadFileFactory factory;
    for (const char *type : {"bin", "ihex", "hex", "tihex", "srec"})
        EXPECT_EQ(messageOf([&] { factory.requireWriter(QString::fromLatin1(type)).contents(file, QStringLiteral("out")); }),
                  QStringLiteral("cannot write out: this file type holds one memory space, and the load file also has "
                                 "sections of the target's second memory space (a .hzx file holds both)"))
            << type;
}

TEST(LoadFileDestination, AFailedWriteLeavesTheOldFileAndNoTemporaryFile)
{
    TempFiles files;
    const QString path = files.write("out.hex", "old contents\n");
    const zim::loadfile::LoadFileDestination destination(path, fullAfterTenBytes);
    EXPECT_EQ(destination.kind(), zim::loadfile::LoadFileDestination::RegularFile);
    EXPECT_EQ(messageOf([&] { destination.write(QByteArray(100, 'x')); }),
              QStringLiteral("cannot write %1: No space left on device").arg(path));
    EXPECT_EQ(contentsOf(path), "old contents\n");
    EXPECT_EQ(QDir(QFileInfo(path).path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("out.hex")});
}

TEST(LoadFileDestination, ATerminationSignalDuringTheWriteRemovesTheTemporaryFile)
{
    TempFiles files;
    const QString path = files.write("out.hex", "old contents\n");
    EXPECT_EXIT(zim::loadfile::LoadFileDestination(path, terminatedAfterTenBytes).write(QByteArray(100, 'x')),
                testing::KilledBySignal(SIGTERM), "");
    EXPECT_EQ(contentsOf(path), "old contents\n");
    EXPECT_EQ(QDir(QFileInfo(path).path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("out.hex")});
}

// A write failure that the system also signals must end as a message, not as a killed process.
TEST(LoadFileDestination, AFifoWhoseReaderWentAwayFailsWithAMessage)
{
    TempFiles files;
    const QString path = files.path(QStringLiteral("out.fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    auto readerGone = [&] {
        fifoReader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
        const QString message = messageOf([&] { zim::loadfile::LoadFileDestination(path, readerGoneFirst).write("data\n"); });
        std::exit(message == QStringLiteral("cannot write %1: Broken pipe").arg(path) ? 0 : 1);
    };
    EXPECT_EXIT(readerGone(), testing::ExitedWithCode(0), "");
}

TEST(LoadFileDestination, ReplacesARegularFileKeepingItsPermissions)
{
    TempFiles files;
    const QString path = files.write("out.hex", "old contents that are longer\n");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    zim::loadfile::LoadFileDestination(path).write("new\n");
    EXPECT_EQ(contentsOf(path), "new\n");
    struct stat st = {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(LoadFileDestination, WritesThroughALinkToAFileAndKeepsTheLink)
{
    TempFiles files;
    const QString real = files.write("real.hex", "old\n");
    const QString link = files.path(QStringLiteral("link.hex"));
    ASSERT_EQ(::symlink("real.hex", QFile::encodeName(link).constData()), 0);
    zim::loadfile::LoadFileDestination(link).write("new\n");
    EXPECT_EQ(contentsOf(real), "new\n");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
}

TEST(LoadFileDestination, ADeviceIsWrittenThrough)
{
    EXPECT_EQ(zim::loadfile::LoadFileDestination(QStringLiteral("/dev/null")).kind(), zim::loadfile::LoadFileDestination::WriteThrough);
}

} // namespace
