#include "conditioning/cvaluestab.h"

#include <gtest/gtest.h>
#include <vector>

namespace {
// Feeds the readings and returns the index (1-based) of the reading that made it stable, 0 if none.
int StableAt(CValueStab& stab, const std::vector<double>& readings) {
    for (std::size_t i = 0; i < readings.size(); ++i) {
        stab.Add(readings[i]);
        if (stab.IsStable())
            return static_cast<int>(i + 1);
    }
    return 0;
}
std::vector<double> Repeat(double v, int n) {
    return std::vector<double>(static_cast<std::size_t>(n), v);
}
} // namespace

TEST(CValueStab, EightEqualReadingsSettleAtTheEighth) {
    CValueStab stab(2, 2, 2, 0.3);
    EXPECT_EQ(StableAt(stab, Repeat(1.0, 8)), 8);
}

TEST(CValueStab, DeviationAboveThresholdKeepsItUnsettled) {
    CValueStab stab(2, 2, 2, 0.3);
    std::vector<double> readings = Repeat(1.0, 4);
    for (double v : Repeat(1.7, 4))
        readings.push_back(v);
    EXPECT_EQ(StableAt(stab, readings), 0) << "stage-3 values 1.0 and 1.7 deviate 0.35";
    EXPECT_EQ(StableAt(stab, Repeat(1.7, 8)), 8);
}

TEST(CValueStab, DeviationEqualToThresholdCountsAsStable) {
    CValueStab stab(2, 2, 2, 0.5);
    std::vector<double> readings = Repeat(1.0, 4);
    for (double v : Repeat(2.0, 4))
        readings.push_back(v);
    EXPECT_EQ(StableAt(stab, readings), 8);
}

TEST(CValueStab, VerdictHoldsUntilReset) {
    CValueStab stab(2, 2, 2, 0.3);
    StableAt(stab, Repeat(1.0, 8));
    for (double v : {100.0, -100.0, 5.0, 1e6, 0.0, 3.0, 9.0, -4.0, 2.0})
        stab.Add(v);
    EXPECT_TRUE(stab.IsStable());

    stab.Reset();
    EXPECT_FALSE(stab.IsStable());
    // Stages were emptied: it takes a whole new set of eight readings.
    EXPECT_EQ(StableAt(stab, Repeat(2.0, 8)), 8);
}

TEST(CValueStab, DefaultSizesGiveTheFirstVerdictAtReading150) {
    CValueStab stab(10, 5, 3, 0.3);
    EXPECT_EQ(StableAt(stab, Repeat(300.0, 200)), 150);
}
