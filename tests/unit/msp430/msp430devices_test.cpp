// Loading and sharing the device library, and the identify strings of the "Target" group.
#include "msp430/msp430devices.h"

#include "common/hexception.h"
#include "fakes/testenvironment.h"
#include "project/propertygroups.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>

namespace {

const QString kFakes = QStringLiteral(ZIM_FAKE_DEVICES_DIR);
#if defined(Q_OS_WIN)
const QString kLibraryFile = QStringLiteral("/bin/msp430devices.dll");
#elif defined(Q_OS_MACOS)
const QString kLibraryFile = QStringLiteral("/bin/libmsp430devices.dylib");
#else
const QString kLibraryFile = QStringLiteral("/bin/libmsp430devices.so");
#endif

int counter(const char *name)
{
    return qEnvironmentVariableIntValue(name);
}

class DevicesLibraryTest : public testing::Test
{
protected:
    void SetUp() override
    {
        for (const char *name : {"ZIM_FAKE_DEVICES_LOADS", "ZIM_FAKE_DEVICES_UNLOADS", "ZIM_FAKE_DEVICES_ALLOCATIONS",
                                 "ZIM_FAKE_DEVICES_RELEASES"})
            qputenv(name, "0");
    }

    void useFake(const QString &variant) { useVeltDir(kFakes + '/' + variant); }
    void useVeltDir(const QString &dir) { m_state.environmentMacros()[QStringLiteral("VeltDir")] = dir; }
    zim::msp430::MSP430DeviceLibrary &library() { return m_library; }

    TestEnvironment m_state;
    zim::msp430::MSP430DeviceLibrary m_library{m_state.environmentMacros()};
};

TEST_F(DevicesLibraryTest, TwoUsersShareOneLoadAndTheLastReleaseUnloads)
{
    useFake(QStringLiteral("full"));
    zim::msp430::MSP430DeviceDatabase *first = library().acquire();
    zim::msp430::MSP430DeviceDatabase *second = library().acquire();
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first->name(0), "FAKE430");
    EXPECT_EQ(counter("ZIM_FAKE_DEVICES_LOADS"), 1);
    EXPECT_EQ(counter("ZIM_FAKE_DEVICES_ALLOCATIONS"), 1);

    library().release();
    EXPECT_EQ(counter("ZIM_FAKE_DEVICES_RELEASES"), 0);
    EXPECT_EQ(counter("ZIM_FAKE_DEVICES_UNLOADS"), 0);

    library().release();
    EXPECT_EQ(counter("ZIM_FAKE_DEVICES_RELEASES"), 1);
    EXPECT_EQ(counter("ZIM_FAKE_DEVICES_UNLOADS"), 1);
}

TEST_F(DevicesLibraryTest, AMissingLibraryNamesTheExpandedPath)
{
    const QString dir = QDir::tempPath() + QStringLiteral("/zim-no-such-velt-dir");
    useVeltDir(dir);
    EXPECT_THAT([this] { library().acquire(); },
                testing::ThrowsMessage<zim::common::HException>(
                    testing::StrEq(("cannot access \"" + dir + kLibraryFile + '"').toStdString())));

    // Nothing stays behind: the next acquire with a good library loads it afresh.
    useFake(QStringLiteral("full"));
    zim::msp430::MSP430DevicesGuard guard(m_library);
    EXPECT_EQ(counter("ZIM_FAKE_DEVICES_LOADS"), 1);
}

TEST_F(DevicesLibraryTest, AMissingAllocateEntryFailsAndUnloadsTheLibrary)
{
    useFake(QStringLiteral("noallocate"));
    EXPECT_THAT([this] { library().acquire(); },
                testing::ThrowsMessage<zim::common::HException>(
                    testing::StrEq("cannot find symbol \"AllocateMSP430Devices\" in DLL")));
    EXPECT_EQ(counter("ZIM_FAKE_DEVICES_LOADS"), 1);
    EXPECT_EQ(counter("ZIM_FAKE_DEVICES_UNLOADS"), 1);
    EXPECT_EQ(counter("ZIM_FAKE_DEVICES_RELEASES"), 0);

}

// The "Target" group as a description file would give it.
class IdentifyStringsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        zim::project::PropertyGroup target{QStringLiteral("Target"), {}};
        const auto add = [&](const char *device, const char *identify) {
            zim::project::PropertyGroupEntry entry{QString::fromLatin1(device), {}};
            if (identify)
                entry.properties.insert(QStringLiteral("msp430_identify_string"), QString::fromLatin1(identify));
            target.entries.append(entry);
        };
        add("MSP430F149", "MSP430F149");
        add("MSP430F1611", "MSP430F1611;;MSP430F1612");
        add("Padded", ";MSP430F2274;");
        add("OnlySeparators", ";;");
        add("NoAttribute", nullptr);
        m_groups.addGroup(target);
    }

    zim::project::PropertyGroups m_groups;
};

struct IdentifyCase
{
    const char *device;
    QStringList strings;
};

void PrintTo(const IdentifyCase &c, std::ostream *os)
{
    *os << c.device;
}

class IdentifyStringsCases : public IdentifyStringsTest, public testing::WithParamInterface<IdentifyCase>
{};

TEST_P(IdentifyStringsCases, SplitsOnSemicolonsAndDropsEmptyParts)
{
    const IdentifyCase &c = GetParam();
    EXPECT_EQ(zim::msp430::msp430IdentifyStrings(m_groups, QString::fromLatin1(c.device)), c.strings);
    EXPECT_EQ(zim::msp430::msp430IdentifyString(m_groups, QString::fromLatin1(c.device)), c.strings.value(0));
}

INSTANTIATE_TEST_SUITE_P(
    Attributes, IdentifyStringsCases,
    testing::Values(IdentifyCase{"MSP430F149", {"MSP430F149"}},
                    IdentifyCase{"MSP430F1611", {"MSP430F1611", "MSP430F1612"}},
                    IdentifyCase{"Padded", {"MSP430F2274"}}, IdentifyCase{"OnlySeparators", {}},
                    IdentifyCase{"NoAttribute", {}}));

struct MatchCase
{
    const char *device;
    const char *detected;
    bool matches;
};

void PrintTo(const MatchCase &c, std::ostream *os)
{
    *os << c.device << " detected as \"" << c.detected << '"';
}

class DeviceMatchCases : public IdentifyStringsTest, public testing::WithParamInterface<MatchCase>
{};

TEST_P(DeviceMatchCases, ComparesTheDetectedTypeWithEachIdentifyString)
{
    const MatchCase &c = GetParam();
    EXPECT_EQ(zim::msp430::msp430DeviceMatches(m_groups, QString::fromLatin1(c.device), QString::fromLatin1(c.detected)), c.matches);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, DeviceMatchCases,
    testing::Values(MatchCase{"MSP430F149", "MSP430F149", true}, MatchCase{"MSP430F1611", "MSP430F1612", true},
                    MatchCase{"MSP430F1611", "MSP430F161", false}, MatchCase{"MSP430F149", "msp430f149", false},
                    // Not connected: the detected type is empty, and empty parts never count.
                    MatchCase{"OnlySeparators", "", false}, MatchCase{"NoAttribute", "MSP430F149", false}));

} // namespace
