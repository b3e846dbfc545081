#include "model/csample.h"

#include <gtest/gtest.h>

TEST(CSample, NewSampleIsBlankAndUnused) {
    CSample s;
    EXPECT_FALSE(s.GetUse());
    EXPECT_EQ(s.GetA(usBase), 0.0);
    EXPECT_EQ(s.GetCurrent(usMilli), 0.0);
}

TEST(CSample, MilliAccessorsConvertBothWays) {
    CSample s;
    s.SetA(2.5, usMilli);
    EXPECT_DOUBLE_EQ(s.GetA(usMilli), 2.5);
    EXPECT_DOUBLE_EQ(s.GetA(usBase), 0.0025);

    s.SetA(2.0, usMilli);
    s.SetB(3.0, usMilli);
    EXPECT_DOUBLE_EQ(s.GetArea(usMilli), 6.0);
    EXPECT_DOUBLE_EQ(s.GetArea(usBase), 6e-6);

    s.SetCurrent(40.0, usMilli);
    EXPECT_DOUBLE_EQ(s.dCurrent, 0.040);
    s.SetWireL(20.0, usMilli);
    s.SetWireD(0.05, usMilli);
    s.SetL(4.0, usBase);
    EXPECT_DOUBLE_EQ(s.GetWireL(usBase), 0.020);
    EXPECT_DOUBLE_EQ(s.GetWireD(usBase), 0.00005);
    EXPECT_DOUBLE_EQ(s.GetL(usMilli), 4000.0);
}
