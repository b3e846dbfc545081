#include "conditioning/cvalueavr.h"

#include <gtest/gtest.h>

TEST(CValueAvr, KeepsTheNewestValuesUpToCapacity) {
    CValueAvr<double> avr(3);
    for (double v : {1.0, 2.0, 3.0, 4.0})
        avr.Add(v);
    EXPECT_EQ(avr.Count(), 3u);
    EXPECT_DOUBLE_EQ(avr.Mean(), 3.0);
    EXPECT_EQ(avr.At(0), 2.0);
    EXPECT_EQ(avr.At(2), 4.0);

    avr.Clear();
    EXPECT_EQ(avr.Count(), 0u);
    EXPECT_EQ(avr.Capacity(), 3u);
}

TEST(CValueAvr, CapacityOneReplacesEveryValue) {
    CValueAvr<double> avr(1);
    avr.Add(5.0);
    avr.Add(7.0);
    EXPECT_EQ(avr.Count(), 1u);
    EXPECT_EQ(avr.Mean(), 7.0);
}

TEST(CValueAvr, AtPastTheEndThrowsIndexOutOfRange) {
    CValueAvr<double> avr(4);
    avr.Add(1.0);
    avr.Add(2.0);
    try {
        avr.At(avr.Count());
        FAIL() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "Index out of range");
    }
}
