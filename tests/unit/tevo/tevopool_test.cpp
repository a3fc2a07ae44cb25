// The module pool: objects stay intact across blocks, and blocks grow so that a large module
// takes few of them.
#include "tevo/tevopool.h"

#include <gtest/gtest.h>
#include <vector>

namespace zim::tevo {
namespace {

// A record-sized object that fills itself with a pattern of its number.
struct Filled : PoolObject
{
    static constexpr bool ownsNothing = true;
    explicit Filled(uint64_t n)
    {
        for (uint64_t &word : words)
            word = n * 0x9E3779B97F4A7C15ull;
    }
    bool holds(uint64_t n) const
    {
        for (uint64_t word : words) {
            if (word != n * 0x9E3779B97F4A7C15ull)
                return false;
        }
        return true;
    }
    uint64_t words[4];
};

TEST(Pool, ObjectsAcrossBlocksAndLargeRequestsKeepTheirContents)
{
    TEVOPool pool;
    std::vector<Filled *> objects;
    std::vector<uint8_t *> strings;
    const size_t count = 400000;   // 16 MB of objects: small blocks, then large-page ones
    for (size_t i = 0; i < count; ++i) {
        objects.push_back(pool.make<Filled>(i));
        if (i % 100000 == 0) {
            // Larger than a block: it gets a block of its own, the current block stays in use.
            uint8_t *bytes = pool.allocateBytes(3 << 20);
            bytes[0] = uint8_t(i);
            bytes[(3 << 20) - 1] = uint8_t(i >> 8);
            strings.push_back(bytes);
        }
    }
    for (size_t i = 0; i < count; ++i)
        ASSERT_TRUE(objects[i]->holds(i)) << "object " << i;
    for (size_t k = 0; k < strings.size(); ++k) {
        EXPECT_EQ(strings[k][0], uint8_t(k * 100000));
        EXPECT_EQ(strings[k][(3 << 20) - 1], uint8_t((k * 100000) >> 8));
    }
    // Doubling blocks waste less than the last block's size.
    const size_t used = count * sizeof(Filled) + strings.size() * (3 << 20);
    EXPECT_LT(pool.footprint(), used + (4 << 20) + 4096);
}

TEST(Pool, ExpectedSizeMakesTheFirstBlockLarge)
{
    TEVOPool small;
    small.make<Filled>(1);
    EXPECT_EQ(small.footprint(), size_t(64 << 10));

    TEVOPool large;
    large.expect(3 << 20);
    large.make<Filled>(1);
    EXPECT_EQ(large.footprint(), size_t(4 << 20));
}

} // namespace
} // namespace zim::tevo
