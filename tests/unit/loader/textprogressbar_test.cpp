// The console progress bar, byte for byte, with a clock the test moves.
#include "capture.h"
#include "loader/textprogressbar.h"

#include <gtest/gtest.h>

namespace {

struct BarFixture : testing::Test
{
    CapturedStream out;
    zim::loader::ConsoleOutput console{out.file()};
    uint64_t now = 5000;
    zim::loader::TextProgressBar bar{80, console, [this] { return now; }};
};

std::string drawn(const std::string &task, int cells, int width, const char *percent)
{
    return "\r" + task + " [" + std::string(size_t(cells), '*') + std::string(size_t(width - cells), '.') + "] "
           + percent + " ";
}

const std::string cleared = "\r" + std::string(79, ' ') + "\r";

TEST_F(BarFixture, ErasingBarAndItsSummary)
{
    bar.progress(0, 3000, "Erasing", "bytes");
    now += 5;
    bar.progress(1500, -1, nullptr, nullptr);
    now += 7;
    bar.progress(3000, -1, nullptr, nullptr);
    EXPECT_EQ(out.text(), drawn("Erasing", 0, 63, "  0%") + drawn("Erasing", 31, 63, " 50%")
                              + drawn("Erasing", 63, 63, "100%") + cleared
                              + "Erasing completed in 12.0 milliseconds (250000.0 bytes/sec)\n");
}

struct DurationCase
{
    uint64_t ms;
    const char *summary;
};

// Printed by its fields: the raw bytes would include padding.
void PrintTo(const DurationCase &c, std::ostream *os)
{
    *os << c.ms;
}

class Durations : public BarFixture, public testing::WithParamInterface<DurationCase> {};

TEST_P(Durations, SummaryLine)
{
    bar.progress(0, 2000, "Programming", "bytes");
    now += GetParam().ms;
    bar.progress(2000, -1, nullptr, nullptr);
    const std::string text = out.text();
    const std::string summary = GetParam().summary;
    ASSERT_GE(text.size(), summary.size());
    EXPECT_EQ(text.substr(text.size() - summary.size()), summary);
    EXPECT_EQ(text.substr(text.size() - summary.size() - cleared.size(), cleared.size()), cleared);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Durations,
    testing::Values(DurationCase{1000, "Programming completed in 1000.0 milliseconds (2000.0 bytes/sec)\n"},
                    DurationCase{1001, "Programming completed in 1.0 seconds (1998.0 bytes/sec)\n"},
                    // Within one millisecond the rate is taken over 1 ms.
                    DurationCase{0, "Programming completed in 0.0 milliseconds (2000000.0 bytes/sec)\n"}));

TEST_F(BarFixture, EraseAllSummaryHasNoRate)
{
    bar.progress(0, 100, "Erasing entire FLASH memory", nullptr);
    now += 3;
    bar.progress(100, -1, nullptr, nullptr);
    EXPECT_EQ(out.text(), drawn("Erasing entire FLASH memory", 0, 43, "  0%")
                              + drawn("Erasing entire FLASH memory", 43, 43, "100%") + cleared
                              + "Erasing entire FLASH memory completed in 3.0 milliseconds\n");
}

TEST_F(BarFixture, MessageIsPrintedAboveTheRedrawnBar)
{
    bar.progress(0, 200, "Programming", "bytes");
    bar.progress(100, -1, nullptr, nullptr);
    bar.message(QStringLiteral("Programming 100 bytes of addresses 1100 \u2014 1163"));
    EXPECT_EQ(out.text(), drawn("Programming", 0, 59, "  0%") + drawn("Programming", 29, 59, " 50%") + cleared
                              + "Programming 100 bytes of addresses 1100 \xE2\x80\x94 1163\n"
                              + drawn("Programming", 29, 59, " 50%"));
}

} // namespace
