// The parallel-port FET target over the device shim's parallel port: the requests it sends,
// their sizes and order, what a failed open leaves behind; and Debian's mspdebug driving the
// same simulated device through the preloaded shim, which keeps that device honest against a
// parallel-port JTAG driver proven on hardware.
#include "common/hexception.h"
#include "fakes/fakeclock.h"
#include "fakes/testenvironment.h"
#include "msp430/fetportdevice.h"
#include "msp430/msp430devices.h"
#include "msp430/msp430parallelportfettargetinterface.h"
#include "platform/deviceaccess.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

using namespace zim::msp430;

namespace {

const QString kShim = QStringLiteral(ZIM_BINARY_DIR "/tests/fakes/hwshim/libzimhwshim.so");

struct Request
{
    uint32_t code, inSize, outSize;
};

// Passes every request on and writes down its code and sizes.
class RecordingDevice : public FetDevice
{
public:
    RecordingDevice(std::unique_ptr<FetDevice> inner, std::vector<Request> &log) : m_inner(std::move(inner)), m_log(log)
    {
    }
    bool request(uint32_t code, const void *in, uint32_t inSize, void *out, uint32_t outSize) override
    {
        m_log.push_back({code, inSize, outSize});
        return m_inner->request(code, in, inSize, out, outSize);
    }
    int error() const override { return m_inner->error(); }
    std::string detail() const override { return m_inner->detail(); }

private:
    std::unique_ptr<FetDevice> m_inner;
    std::vector<Request> &m_log;
};

// Input and output sizes of every request the FET knows.
const std::map<uint32_t, std::pair<uint32_t, uint32_t>> kSizes = {
    {fetrequest::Open, {15, 4}},         {fetrequest::Close, {0, 0}},          {fetrequest::SetTest, {4, 0}},
    {fetrequest::SetTdi, {4, 0}},        {fetrequest::SetTms, {4, 0}},         {fetrequest::SetTck, {4, 0}},
    {fetrequest::ReadTdo, {0, 4}},       {fetrequest::SetRegulator, {4, 0}},   {fetrequest::SetLine, {4, 0}},
    {fetrequest::SetTclk, {4, 0}},       {fetrequest::ReadTclk, {0, 4}},       {fetrequest::PulseTclk, {4, 0}},
    {fetrequest::ShiftIr, {1, 0}},       {fetrequest::ShiftIrCapture, {1, 1}}, {fetrequest::ShiftDr16, {2, 0}},
    {fetrequest::ShiftDr16Capture, {2, 2}}, {fetrequest::ShiftDr8, {1, 0}},    {fetrequest::ShiftDr8Capture, {1, 1}},
    {fetrequest::InitJtag, {0, 0}},      {fetrequest::CheckFuse, {0, 4}},
};

struct FetTarget : testing::Test
{
    static std::unique_ptr<zim::platform::DeviceAccess> access;
    zim::fakes::FakeClock clock;
    TestEnvironment environment;
    MSP430DeviceLibrary library{environment.environmentMacros()};
    std::vector<Request> requests;
    int devicesMade = 0;
    std::unique_ptr<MSP430ParallelPortFETTargetInterface> fet;

    static void SetUpTestSuite()
    {
        // The shim reads its settings when it is installed.
        setenv("ZIM_FAKE_HW", "parport0=MSP430F149", 1);
        access = std::make_unique<zim::platform::DeviceAccess>(kShim);
    }
    static void TearDownTestSuite() { access.reset(); }

    void SetUp() override
    {
        environment.setClock(&clock);
        fet = std::make_unique<MSP430ParallelPortFETTargetInterface>(environment, library, [this] {
            ++devicesMade;
            return std::make_unique<RecordingDevice>(std::make_unique<FetPortDevice>(access->calls()), requests);
        });
        fet->setPortName(QStringLiteral("parport0"));
    }
    void TearDown() override
    {
        if (fet->isConnected())
            fet->disconnect();
    }
    QString connectError()
    {
        try {
            fet->connect();
        } catch (const zim::common::HException &e) {
            return e.message();
        }
        return QString();
    }
};
std::unique_ptr<zim::platform::DeviceAccess> FetTarget::access;

TEST_F(FetTarget, ConnectOpensThePortThenPowersAndTakesTheTap)
{
    ASSERT_EQ(connectError(), QString());
    ASSERT_GE(requests.size(), 5u);
    EXPECT_EQ(requests[0].code, fetrequest::Open);
    EXPECT_EQ(requests[1].code, fetrequest::SetRegulator);
    EXPECT_EQ(requests[2].code, fetrequest::InitJtag);
    EXPECT_EQ(requests[3].code, fetrequest::CheckFuse);
    EXPECT_EQ(requests[4].code, fetrequest::ShiftIrCapture);
    for (const Request &r : requests) {
        const auto it = kSizes.find(r.code);
        ASSERT_NE(it, kSizes.end()) << std::hex << r.code;
        EXPECT_EQ(r.inSize, it->second.first) << std::hex << r.code;
        EXPECT_EQ(r.outSize, it->second.second) << std::hex << r.code;
    }
    EXPECT_EQ(fet->portAddress(), QStringLiteral("0x378"));
    EXPECT_EQ(fet->deviceType(), QStringLiteral("MSP430F149"));
}

TEST_F(FetTarget, SecondConnectIsRefusedWithoutTouchingThePort)
{
    ASSERT_EQ(connectError(), QString());
    const size_t before = requests.size();
    EXPECT_EQ(connectError(), QStringLiteral("Target interface already connected"));
    EXPECT_EQ(requests.size(), before);
}

TEST_F(FetTarget, DisconnectReleasesThePort)
{
    ASSERT_EQ(connectError(), QString());
    fet->disconnect();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().code, fetrequest::Close);
    // The port is free again: a second run takes it at once.
    EXPECT_EQ(connectError(), QString());
}

// An Intel hex file's bytes by address.
std::map<uint32_t, uint8_t> hexBytes(const QString &path)
{
    std::map<uint32_t, uint8_t> bytes;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return bytes;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.size() < 11 || line[0] != ':')
            continue;
        const QByteArray raw = QByteArray::fromHex(line.mid(1));
        if (raw.size() < 5 || raw[3] != 0)
            continue;
        const uint32_t address = (uint8_t(raw[1]) << 8) | uint8_t(raw[2]);
        for (int i = 0; i < uint8_t(raw[0]) && 4 + i < raw.size(); ++i)
            bytes[address + uint32_t(i)] = uint8_t(raw[4 + i]);
    }
    return bytes;
}

TEST(FetOutsideCheck, MspdebugProgramsAndReadsBackThroughTheShim)
{
#ifdef ZIM_INSTRUMENTED
    GTEST_SKIP() << "the shim is built with sanitizers and cannot be preloaded into an uninstrumented mspdebug";
#endif
    const QString mspdebug = QStandardPaths::findExecutable(QStringLiteral("mspdebug"));
    if (mspdebug.isEmpty())
        GTEST_SKIP() << "mspdebug is not installed (apt-get install mspdebug)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString image = QStringLiteral(ZIM_SOURCE_DIR "/examples/blinky.hex");
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), kShim);
    env.insert(QStringLiteral("ZIM_FAKE_HW"), QStringLiteral("parport0=MSP430F149;log=%1;dump=%2")
                                                  .arg(dir.filePath(QStringLiteral("shim.log")),
                                                       dir.filePath(QStringLiteral("flash.hex"))));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(mspdebug, {QStringLiteral("-j"), QStringLiteral("-d"), QStringLiteral("/dev/parport0"),
                             QStringLiteral("pif"), QStringLiteral("prog ") + image,
                             QStringLiteral("hexout 0xf000 0x1000 ") + dir.filePath(QStringLiteral("back.hex"))});
    ASSERT_TRUE(process.waitForFinished(120000)) << "mspdebug did not finish";
    const QByteArray output = process.readAll();
    ASSERT_EQ(process.exitCode(), 0) << output.toStdString();

    const std::map<uint32_t, uint8_t> wanted = hexBytes(image);
    std::map<uint32_t, uint8_t> back = hexBytes(dir.filePath(QStringLiteral("back.hex")));
    ASSERT_FALSE(wanted.empty());
    for (const auto &[address, value] : wanted)
        EXPECT_EQ(back[address], value) << std::hex << address << "\n" << output.toStdString();
    // The device holds the file and nothing else.
    EXPECT_EQ(hexBytes(dir.filePath(QStringLiteral("flash.hex"))), wanted);

    QFile log(dir.filePath(QStringLiteral("shim.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    EXPECT_TRUE(text.contains("unknown instructions 0, unknown opcodes 0")) << text.toStdString();
    EXPECT_TRUE(text.contains("FLASH violations 0")) << text.toStdString();
}

} // namespace
