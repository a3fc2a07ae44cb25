// Runs every golden case: zimprog with the case's arguments in a fresh directory, compared
// with the expected standard output, standard error, exit status and files.
#include "goldencase.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A FIFO laid out for a case, held open for reading so that a writer neither blocks nor fails.
struct HeldFifo
{
    QString name;
    int fd = -1;
    ~HeldFifo()
    {
        if (fd >= 0)
            ::close(fd);
    }
    // Whatever has been written into the FIFO so far.
    QByteArray drain() const
    {
        QByteArray bytes;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0)
                return bytes;
            bytes.append(buffer, n);
        }
    }
};

QList<GoldenCase> allCases()
{
    QList<GoldenCase> cases;
    const QDir root(QStringLiteral(ZIM_GOLDEN_DIR));
    QDirIterator it(root.path(), {QStringLiteral("*.golden")}, QDir::Files, QDirIterator::Subdirectories);
    QStringList paths;
    while (it.hasNext())
        paths.append(it.next());
    paths.sort();
    for (const QString &path : std::as_const(paths)) {
        QString name = root.relativeFilePath(path);
        name.chop(int(strlen(".golden")));
        cases.append(readGoldenCase(path, name));
    }
    return cases;
}

QString substitute(QString text, const QString &tmp)
{
    text.replace(QLatin1String("${SRC}"), QStringLiteral(ZIM_SOURCE_DIR));
    text.replace(QLatin1String("${BIN}"), QStringLiteral(ZIM_BINARY_DIR));
    text.replace(QLatin1String("${SHARED}"), QStringLiteral(ZIM_SHARED_DIR));
    text.replace(QLatin1String("${TMP}"), tmp);
    return text;
}

QByteArray normalise(QByteArray out, const QString &exe, const QString &tmp)
{
    out.replace(exe.toUtf8(), "zimprog");
    out.replace(tmp.toUtf8(), "${TMP}");
    out.replace(QByteArray(ZIM_BINARY_DIR), "${BIN}");
    out.replace(QByteArray(ZIM_SOURCE_DIR), "${SRC}");
    return out;
}

void expectMatch(const GoldenExpectation &e, const QByteArray &actual)
{
    if (e.match == GoldenExpectation::Exact) {
        EXPECT_EQ(std::string(actual.constData(), size_t(actual.size())),
                  std::string(e.text.constData(), size_t(e.text.size())))
            << "in " << e.what.toStdString();
        return;
    }
    QString pattern = QString::fromUtf8(e.text);
    if (pattern.endsWith(QLatin1Char('\n')))
        pattern.chop(1);
    const QRegularExpression re(QRegularExpression::anchoredPattern(pattern),
                                QRegularExpression::DotMatchesEverythingOption);
    ASSERT_TRUE(re.isValid()) << e.what.toStdString() << ": " << re.errorString().toStdString();
    EXPECT_TRUE(re.match(QString::fromUtf8(actual)).hasMatch())
        << e.what.toStdString() << " does not match\n--- actual\n" << actual.toStdString()
        << "--- pattern\n" << pattern.toStdString();
}

class GoldenTest : public testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenTest, Run)
{
    const GoldenCase &gc = GetParam();
    ASSERT_TRUE(gc.parseError.isEmpty()) << gc.parseError.toStdString();

    // Cases that run the shared firmware images skip where that folder is not beside the checkout.
    if (gc.argsLine.contains(QLatin1String("${SHARED}"))
        && !QFileInfo::exists(QStringLiteral(ZIM_SHARED_DIR "/firmware")))
        GTEST_SKIP() << "no shared firmware folder at " << ZIM_SHARED_DIR "/firmware";

    const QString built = QStringLiteral(ZIM_BINARY_DIR "/bin/zimprog");
    ASSERT_TRUE(QFile::exists(built)) << "no executable at " << built.toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString tmp = QDir(dir.path()).canonicalPath();
    // The program finds its installation through its own resolved path: a copy, not a link.
    const QString exe = gc.ownInstall ? tmp + QStringLiteral("/bin/zimprog") : built;
    if (gc.ownInstall) {
        ASSERT_TRUE(QDir().mkpath(tmp + QStringLiteral("/bin")));
        ASSERT_TRUE(QFile::copy(built, exe)) << "cannot copy the executable to " << exe.toStdString();
    }

    for (const GoldenInput &in : gc.inputs) {
        const QString path = tmp + QLatin1Char('/') + in.name;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(in.content);
    }

    std::vector<std::unique_ptr<HeldFifo>> fifos;
    for (const GoldenNode &node : gc.nodes) {
        const QByteArray path = QFile::encodeName(tmp + QLatin1Char('/') + node.name);
        QDir().mkpath(QFileInfo(tmp + QLatin1Char('/') + node.name).path());
        if (node.linkTarget.isEmpty()) {
            ASSERT_EQ(::mkfifo(path.constData(), 0644), 0) << "cannot make FIFO " << path.constData();
            auto fifo = std::make_unique<HeldFifo>();
            fifo->name = node.name;
            fifo->fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
            ASSERT_GE(fifo->fd, 0) << "cannot open FIFO " << path.constData();
            fifos.push_back(std::move(fifo));
        } else {
            const QByteArray target = QFile::encodeName(substitute(node.linkTarget, tmp));
            ASSERT_EQ(::symlink(target.constData(), path.constData()), 0) << "cannot make link " << path.constData();
        }
    }

    QStringList args;
    for (const QString &w : splitShellWords(gc.argsLine))
        args.append(substitute(w, tmp));

    // bash's exec -a gives the program the argument vector a user's shell would: argv[0] "zimprog".
    QProcess process;
    process.setWorkingDirectory(gc.cwd.isEmpty() ? tmp : substitute(gc.cwd, tmp));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), tmp);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), tmp);
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    // A device shim reaches a run only through the case's own env: lines.
    env.remove(QStringLiteral("ZIM_DEVICE_SHIM"));
    env.remove(QStringLiteral("ZIM_FAKE_HW"));
    for (const auto &[name, value] : gc.env)
        env.insert(name, substitute(value, tmp));
    process.setProcessEnvironment(env);
    if (!gc.stdoutFile.isEmpty())
        process.setStandardOutputFile(substitute(gc.stdoutFile, tmp));
    QString command = QStringLiteral("exec -a zimprog \"$0\" \"$@\"");
    if (!gc.fileSizeLimit.isEmpty()) {
        bool number = false;
        gc.fileSizeLimit.toUInt(&number);
        ASSERT_TRUE(number) << "ulimit-f needs a number of blocks";
        command = QStringLiteral("ulimit -f ") + gc.fileSizeLimit + QStringLiteral(" && ") + command;
    }
    process.start(QStringLiteral("/bin/bash"), QStringList{QStringLiteral("-c"), command, exe} + args);
    ASSERT_TRUE(process.waitForStarted(10000));
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(120000)) << "zimprog did not finish";
    ASSERT_EQ(process.exitStatus(), QProcess::NormalExit) << "zimprog crashed";

    const QByteArray out = normalise(process.readAllStandardOutput(), exe, tmp);
    const QByteArray err = normalise(process.readAllStandardError(), exe, tmp);
    bool checkedOut = false, checkedErr = false;
    for (GoldenExpectation e : gc.expectations) {
        if (!e.from.isEmpty()) {
            QFile source(substitute(e.from, tmp));
            ASSERT_TRUE(source.open(QIODevice::ReadOnly)) << "cannot read " << source.fileName().toStdString();
            e.text = source.readAll();
            if (e.noeol && e.text.endsWith('\n'))
                e.text.chop(1);
        }
        if (e.what == QLatin1String("stdout")) {
            checkedOut = true;
            expectMatch(e, out);
        } else if (e.what == QLatin1String("stderr")) {
            checkedErr = true;
            expectMatch(e, err);
        } else if (auto fifo = std::find_if(fifos.begin(), fifos.end(), [&](const auto &f) { return f->name == e.what; });
                   fifo != fifos.end()) {
            expectMatch(e, normalise((*fifo)->drain(), exe, tmp));
        } else {
            QFile f(tmp + QLatin1Char('/') + e.what);
            EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << "no file " << e.what.toStdString();
            expectMatch(e, normalise(f.readAll(), exe, tmp));
        }
    }
    if (!checkedOut) {
        EXPECT_EQ(out.toStdString(), "") << "in stdout";
    }
    if (!checkedErr) {
        EXPECT_EQ(err.toStdString(), "") << "in stderr";
    }
    EXPECT_EQ(process.exitCode(), gc.status);

    // A run must never replace a link or a FIFO by a file of its own.
    for (const GoldenNode &node : gc.nodes) {
        const QByteArray path = QFile::encodeName(tmp + QLatin1Char('/') + node.name);
        QDir().mkpath(QFileInfo(tmp + QLatin1Char('/') + node.name).path());
        struct stat st = {};
        ASSERT_EQ(::lstat(path.constData(), &st), 0) << node.name.toStdString() << " is gone";
        if (node.linkTarget.isEmpty()) {
            EXPECT_TRUE(S_ISFIFO(st.st_mode)) << node.name.toStdString() << " is no longer a FIFO";
        } else {
            EXPECT_TRUE(S_ISLNK(st.st_mode)) << node.name.toStdString() << " is no longer a link";
            char target[4096];
            const ssize_t n = ::readlink(path.constData(), target, sizeof target);
            EXPECT_EQ(QByteArray(target, n < 0 ? 0 : n), QFile::encodeName(substitute(node.linkTarget, tmp)))
                << node.name.toStdString() << " points elsewhere";
        }
    }
}

std::string caseName(const testing::TestParamInfo<GoldenCase> &info)
{
    std::string name = info.param.name.toStdString();
    for (char &c : name)
        if (!isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenTest, testing::ValuesIn(allCases()), caseName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(GoldenTest);

} // namespace
