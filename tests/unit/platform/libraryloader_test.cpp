// Run-time library loading: every way a candidate can be refused, named per path.
#include "platform/elfcheck.h"
#include "platform/libraryloader.h"

#include <QFile>
#include <QTemporaryDir>
#include <elf.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using zim::platform::LibraryLoadResult;
using zim::platform::loadLibrary;

const QString kLibs = QStringLiteral(ZIM_TEST_LIBS);
const QString kGood = kLibs + QStringLiteral("/libzimtest_good.so");
const QString kNeedsDep = kLibs + QStringLiteral("/libzimtest_needsdep.so");

QString reasonFor(const QString &path, const QList<QByteArray> &required = {"zimtest_answer"})
{
    const LibraryLoadResult result = loadLibrary({path}, {required, {}});
    EXPECT_EQ(result.library, nullptr);
    EXPECT_EQ(result.failures.size(), 1);
    if (result.failures.isEmpty())
        return QString();
    EXPECT_EQ(result.failures.first().path, path);
    return result.failures.first().reason;
}

// A copy of the good library with one byte of its ELF header replaced.
QString patchedCopy(const QTemporaryDir &dir, qsizetype offset, char value)
{
    QFile source(kGood);
    EXPECT_TRUE(source.open(QIODevice::ReadOnly));
    QByteArray bytes = source.readAll();
    bytes[offset] = value;
    const QString path = dir.filePath(QStringLiteral("libpatched.so"));
    QFile out(path);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly));
    EXPECT_EQ(out.write(bytes), bytes.size());
    return path;
}

TEST(LibraryLoader, FirstUsableCandidateIsLoadedWithItsSymbols)
{
    const QString missing = kLibs + QStringLiteral("/libabsent.so");
    const LibraryLoadResult result = loadLibrary({missing, kGood}, {{"zimtest_answer"}, {"zimtest_extra", "zimtest_none"}});
    ASSERT_NE(result.library, nullptr) << result.failureText().toStdString();
    EXPECT_EQ(result.library->path(), kGood);
    EXPECT_EQ(result.library->function<int (*)()>("zimtest_answer")(), 42);
    EXPECT_EQ(result.library->function<int (*)()>("zimtest_extra")(), 7);
    EXPECT_EQ(result.library->symbol("zimtest_none"), nullptr);
    EXPECT_EQ(result.failureText(), QStringLiteral("\u201c") + missing + QStringLiteral("\u201d: not found"));
}

TEST(LibraryLoader, DirectoryIsRefused)
{
    QTemporaryDir dir;
    EXPECT_EQ(reasonFor(dir.path()), QStringLiteral("is a directory"));
}

TEST(LibraryLoader, HeaderOfAnotherClassOrMachineIsRefusedBeforeLoading)
{
#if !defined(__x86_64__)
    GTEST_SKIP() << "the expected texts name an x86-64 host";
#endif
    QTemporaryDir dir;
    EXPECT_EQ(reasonFor(patchedCopy(dir, EI_CLASS, ELFCLASS32)), QStringLiteral("a 32-bit library, but this program is 64-bit"));
    EXPECT_EQ(reasonFor(patchedCopy(dir, offsetof(Elf64_Ehdr, e_machine), char(EM_AARCH64))),
              QStringLiteral("built for AArch64, but this program runs on x86-64"));
    EXPECT_EQ(reasonFor(patchedCopy(dir, offsetof(Elf64_Ehdr, e_type), char(ET_EXEC))), QStringLiteral("not a shared library"));
}

// A vendor's library installed with its companions: found beside it only when asked for.
TEST(LibraryLoader, ADependencyBesideTheLibraryIsFoundWhenItsFolderIsSearched)
{
    const QString path = kLibs + QStringLiteral("/hidden/libzimtest_needsneighbour.so");
    EXPECT_THAT(zim::platform::elfNeededLibraries(path), testing::Contains(QStringLiteral("libzimtest_dep.so")));
    EXPECT_TRUE(reasonFor(path).startsWith(QStringLiteral("libzimtest_dep.so: cannot open shared object file")));
    zim::platform::LibraryLoadResult result =
        zim::platform::loadLibrary({path}, {{"zimtest_answer"}, {}, /*searchOwnFolder*/ true});
    ASSERT_NE(result.library, nullptr) << result.failureText().toStdString();
    EXPECT_EQ(result.library->function<int (*)()>("zimtest_answer")(), 5);
}

TEST(LibraryLoader, EveryRefusedCandidateHasItsLine)
{
    QTemporaryDir dir;
    const QString absent = kLibs + QStringLiteral("/libabsent.so");
    const LibraryLoadResult result = loadLibrary({absent, QString(), kNeedsDep, kGood}, {{"zimtest_none"}, {}});
    EXPECT_EQ(result.library, nullptr);
    const QStringList lines = result.failureText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 4) << result.failureText().toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("\u201c") + absent + QStringLiteral("\u201d: not found"));
    EXPECT_EQ(lines[1], QStringLiteral("\u201c\u201d: empty path"));
    EXPECT_TRUE(lines[2].contains(QStringLiteral("libzimtest_dep.so")));
    EXPECT_EQ(lines[3], QStringLiteral("\u201c") + kGood + QStringLiteral("\u201d: missing symbol: zimtest_none"));
}

TEST(LibraryLoader, BareNameIsLeftToTheLoadersSearch)
{
    const QString reason = reasonFor(QStringLiteral("libzimtest_nowhere.so.9"));
    EXPECT_TRUE(reason.contains(QStringLiteral("cannot open shared object file"))) << reason.toStdString();
}

} // namespace
