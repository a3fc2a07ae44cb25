// The system services under the load-file writer and the Ctrl-C handling: what a path names
// once its links are followed, and which guard a press reaches.
#include "platform/filestatus.h"
#include "platform/interruptguard.h"
#include "loadfiletestutil.h"

#include <QFile>
#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using zim::platform::FileStatus;
using zim::platform::InterruptGuard;

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

// The handler in place for SIGINT, left as it was.
void (*currentHandler())(int)
{
    void (*handler)(int) = std::signal(SIGINT, SIG_IGN);
    std::signal(SIGINT, handler);
    return handler;
}

TEST(InterruptGuard, APressReachesTheInnermostGuardOnly)
{
    void (*const before)(int) = currentHandler();
    {
        InterruptGuard outer(InterruptGuard::CountEveryPress);
        {
            InterruptGuard inner(InterruptGuard::CountEveryPress);
            ASSERT_EQ(std::raise(SIGINT), 0);
            ASSERT_EQ(std::raise(SIGINT), 0);
            EXPECT_EQ(inner.presses(), 2);
            EXPECT_FALSE(outer.interrupted());
        }
        ASSERT_EQ(std::raise(SIGINT), 0);
        EXPECT_EQ(outer.presses(), 1);
    }
    EXPECT_EQ(currentHandler(), before);
}

TEST(InterruptGuard, AfterOnePressTheNextEndsTheProcess)
{
    void (*const before)(int) = currentHandler();
    {
        InterruptGuard guard(InterruptGuard::SecondPressEnds);
        ASSERT_EQ(std::raise(SIGINT), 0);
        EXPECT_TRUE(guard.interrupted());
        EXPECT_EQ(currentHandler(), SIG_DFL);
    }
    EXPECT_EQ(currentHandler(), before);
}

TEST(InterruptGuard, AnOuterGuardDroppedFirstLeavesTheInnerOneCatchingAndRestoringTheOriginal)
{
    void (*const before)(int) = currentHandler();
    auto outer = std::make_unique<InterruptGuard>(InterruptGuard::CountEveryPress);
    auto inner = std::make_unique<InterruptGuard>(InterruptGuard::CountEveryPress);
    outer.reset();
    ASSERT_EQ(std::raise(SIGINT), 0);
    EXPECT_EQ(inner->presses(), 1);
    inner.reset();
    EXPECT_EQ(currentHandler(), before);
}

// Nested work shares the outermost entry's guard; the press is still known after it ends and
// forgotten when the next outermost entry begins.
TEST(InterruptScope, NestedEntriesShareOneGuardAndAPressOutlivesTheOutermost)
{
    void (*const before)(int) = currentHandler();
    zim::platform::InterruptScope scope;
    {
        const zim::platform::InterruptScope::Entry outer(scope);
        EXPECT_TRUE(outer.outermost());
        {
            const zim::platform::InterruptScope::Entry inner(scope);
            EXPECT_FALSE(inner.outermost());
            ASSERT_EQ(std::raise(SIGINT), 0);
        }
        EXPECT_TRUE(scope.interrupted());
    }
    EXPECT_TRUE(scope.interrupted());
    EXPECT_EQ(currentHandler(), before);
    const zim::platform::InterruptScope::Entry next(scope);
    EXPECT_FALSE(scope.interrupted());
}

} // namespace
