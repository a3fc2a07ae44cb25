// The system services under the load-file writer: what a path names once its links are
// followed.
#include "platform/filestatus.h"
#include "loadfiletestutil.h"

#include <QFile>
#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using zim::platform::FileStatus;

bool makeLink(const char *target, const QString &link)
{
    return ::symlink(target, QFile::encodeName(link).constData()) == 0;
}

TEST(DestinationStatus, FollowsAChainOfRelativeLinksToTheFile)
{
    TempFiles files;
    const QString real = files.write("real.hex", "x");
    ASSERT_TRUE(makeLink("real.hex", files.path(QStringLiteral("b"))));
    ASSERT_TRUE(makeLink("b", files.path(QStringLiteral("a"))));
    const FileStatus status = zim::platform::destinationStatus(files.path(QStringLiteral("a")));
    EXPECT_EQ(status.kind, FileStatus::RegularFile);
    EXPECT_EQ(status.target, QFile::encodeName(real));
    EXPECT_EQ(status.writeError, 0);
    EXPECT_EQ(status.directoryError, 0);
}

TEST(DestinationStatus, ADanglingLinkNamesTheFileToCreateWithTheUmaskMode)
{
    TempFiles files;
    ASSERT_TRUE(makeLink("new.hex", files.path(QStringLiteral("link"))));
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const FileStatus status = zim::platform::destinationStatus(files.path(QStringLiteral("link")));
    EXPECT_EQ(status.kind, FileStatus::Missing);
    EXPECT_EQ(status.target, QFile::encodeName(files.path(QStringLiteral("new.hex"))));
    EXPECT_EQ(status.mode, 0666u & ~unsigned(mask));
}

TEST(DestinationStatus, ALinkLoopAndAMissingDirectoryGiveTheSystemsCodes)
{
    TempFiles files;
    ASSERT_TRUE(makeLink("b", files.path(QStringLiteral("a"))));
    ASSERT_TRUE(makeLink("a", files.path(QStringLiteral("b"))));
    const FileStatus loop = zim::platform::destinationStatus(files.path(QStringLiteral("a")));
    EXPECT_EQ(loop.kind, FileStatus::Failed);
    EXPECT_EQ(loop.error, ELOOP);
    const FileStatus missing = zim::platform::destinationStatus(files.path(QStringLiteral("none/out.hex")));
    EXPECT_EQ(missing.kind, FileStatus::Missing);
    EXPECT_EQ(missing.directoryError, ENOENT);
}

TEST(DestinationStatus, AFifoIsWrittenThroughWithoutOpeningIt)
{
    TempFiles files;
    const QString fifo = files.path(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // Opening a FIFO for writing would wait for a reader; examining it must not.
    const FileStatus status = zim::platform::destinationStatus(fifo);
    EXPECT_EQ(status.kind, FileStatus::Fifo);
    EXPECT_EQ(status.writeError, 0);
}

} // namespace
