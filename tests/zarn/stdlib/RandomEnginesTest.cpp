#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "zarn/stdlib/RandomEngines.h"

namespace zarn::stdlib {
namespace {

TEST(RandomEnginesTest, IntegersStayInTheOrderedRangeAndReachBothEnds) {
    RandomEngines engines;
    std::set<int64_t> seen;
    for (int i = 0; i < 2000; ++i) {
        int64_t value = engines.nextInt(10, 1);
        ASSERT_GE(value, 1);
        ASSERT_LE(value, 10);
        seen.insert(value);
    }
    EXPECT_EQ(seen.size(), 10u);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(engines.nextInt(5, 5), 5);
    for (int i = 0; i < 100; ++i) {
        int64_t value = engines.nextInt(-3, -1);
        ASSERT_TRUE(value >= -3 && value <= -1);
    }
}

TEST(RandomEnginesTest, FullRangeUsesTheEngineOutputAsIs) {
    std::mt19937_64 a(7);
    std::mt19937_64 b(7);
    constexpr auto kMin = std::numeric_limits<int64_t>::min();
    constexpr auto kMax = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(RandomEngines::drawInt(a, kMax, kMin), static_cast<int64_t>(b()));
    // Near-full ranges must not overflow.
    for (int i = 0; i < 100; ++i) {
        int64_t value = RandomEngines::drawInt(a, kMin + 1, kMax);
        ASSERT_GE(value, kMin + 1);
    }
}

TEST(RandomEnginesTest, FloatsAreTopBitsScaledIntoUnitInterval) {
    EXPECT_EQ(RandomEngines::toUnitInterval(0), 0.0);
    EXPECT_LT(RandomEngines::toUnitInterval(~uint64_t{0}), 1.0);
    EXPECT_EQ(RandomEngines::toUnitInterval(uint64_t{1} << 63), 0.5);
    EXPECT_EQ(RandomEngines::toUnitInterval((uint64_t{1} << 11) - 1), 0.0);

    RandomEngines engines;
    double sum = 0;
    for (int i = 0; i < 4000; ++i) {
        double value = engines.nextFloat();
        ASSERT_GE(value, 0.0);
        ASSERT_LT(value, 1.0);
        sum += value;
    }
    // The mean of 4000 uniform draws lies within 0.5 +- 0.05 except with a
    // probability far below 1e-20.
    EXPECT_NEAR(sum / 4000, 0.5, 0.05);
}

TEST(RandomEnginesTest, EnginesAreSeededDifferentlyPerInstance) {
    // Two separately seeded engines agreeing on 4 draws in a wide range would
    // mean the seed is not taken from the random device.
    RandomEngines first;
    RandomEngines second;
    bool differ = false;
    for (int i = 0; i < 4 && !differ; ++i)
        differ = first.nextInt(0, INT64_MAX) != second.nextInt(0, INT64_MAX);
    EXPECT_TRUE(differ);
}

} // namespace
} // namespace zarn::stdlib
