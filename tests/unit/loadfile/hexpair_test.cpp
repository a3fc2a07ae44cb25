// The shared hex decoder against a plain per-character reference: every character pair, runs
// of every length around its sixteen-character groups, and a bad character in every place.
#include "loadfile/hexpair.h"
#include "loadfiletestutil.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

using zim::loadfile::HexPair;

int digit(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// count bytes as text, digits of both cases mixed.
std::string runText(std::mt19937 &random, size_t count, std::vector<uint8_t> &bytes)
{
    static const char upper[] = "0123456789ABCDEF";
    static const char lower[] = "0123456789abcdef";
    std::string text;
    bytes.clear();
    for (size_t i = 0; i < count; ++i) {
        const uint8_t byte = uint8_t(random());
        bytes.push_back(byte);
        text += (random() & 1 ? upper : lower)[byte >> 4];
        text += (random() & 1 ? upper : lower)[byte & 15];
    }
    return text;
}

TEST(HexPair, DecodesEveryPairOfCharactersAsTheDigitsSpellIt)
{
    for (int first = 0; first < 256; ++first) {
        for (int second = 0; second < 256; ++second) {
            const char text[2] = {char(first), char(second)};
            const uint16_t value = HexPair::decode(text);
            if (digit(first) < 0 || digit(second) < 0)
                EXPECT_TRUE(value & HexPair::invalid) << first << ' ' << second;
            else
                EXPECT_EQ(value, digit(first) << 4 | digit(second)) << first << ' ' << second;
        }
    }
}

TEST(HexPair, DecodesRunsOfEveryLengthAndSumsTheirBytes)
{
    std::mt19937 random(7);
    for (size_t count = 0; count <= 70; ++count) {
        std::vector<uint8_t> expected;
        const std::string text = runText(random, count, expected);
        std::vector<uint8_t> out(count + 1, 0xEE);
        uint8_t sum = 0x5A;
        ASSERT_TRUE(HexPair::decodeRun(text.data(), out.data(), count, sum)) << count;
        uint8_t expectedSum = 0x5A;
        for (uint8_t b : expected)
            expectedSum = uint8_t(expectedSum + b);
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + long(count)), expected) << count;
        EXPECT_EQ(out[count], 0xEE) << "nothing written past the run, length " << count;
        EXPECT_EQ(sum, expectedSum) << count;
    }
}

struct BadCharacter
{
    const char *what;
    char c;
};

class HexPairRejects : public testing::TestWithParam<BadCharacter>
{
};

TEST_P(HexPairRejects, InEveryPlaceOfARun)
{
    std::mt19937 random(11);
    for (size_t count = 1; count <= 40; ++count) {
        std::vector<uint8_t> bytes;
        const std::string good = runText(random, count, bytes);
        for (size_t place = 0; place < good.size(); ++place) {
            std::string text = good;
            text[place] = GetParam().c;
            std::vector<uint8_t> out(count);
            uint8_t sum = 0;
            EXPECT_FALSE(HexPair::decodeRun(text.data(), out.data(), count, sum)) << count << " at " << place;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    NextToTheDigits, HexPairRejects,
    testing::Values(BadCharacter{"slash below 0", '/'}, BadCharacter{"colon above 9", ':'},
                    BadCharacter{"at sign below A", '@'}, BadCharacter{"G above F", 'G'},
                    BadCharacter{"backquote below a", '`'}, BadCharacter{"g above f", 'g'},
                    BadCharacter{"control character that reads as 1 with the case bit", '\x11'},
                    BadCharacter{"DEL", '\x7F'},
                    BadCharacter{"line feed", '\n'}, BadCharacter{"carriage return", '\r'},
                    BadCharacter{"blank", ' '}, BadCharacter{"NUL", '\0'},
                    BadCharacter{"high byte with digit bits", char(0xB1)},
                    BadCharacter{"high byte with letter bits", char(0xC1)}),
    [](const testing::TestParamInfo<BadCharacter> &info) { return testName(info.param.what); });

TEST(HexPair, DecodesCellsWithAnySeparator)
{
    const char text[] = "31 4a\tFF-0";
    uint8_t out[4] = {};
    ASSERT_TRUE(HexPair::decodeCells(text, 3, out, 3));
    EXPECT_EQ(std::vector<uint8_t>(out, out + 3), (std::vector<uint8_t>{0x31, 0x4A, 0xFF}));
    EXPECT_FALSE(HexPair::decodeCells(text, 3, out, 4)) << "the last cell holds '0' and the terminating NUL";
}

} // namespace
