#include "model/cmeasuredata.h"

#include <gtest/gtest.h>

namespace {
// A store of the given reference temperatures with one point per sample, as planning makes it.
struct StoreFixture : ::testing::Test {
    CSample samples[3];
    CMeasrueData store;

    StoreFixture() {
        for (int i = 0; i < 3; ++i) {
            samples[i].SetDevId(i);
            samples[i].SetUse(true);
        }
    }
    void Add(double tref) {
        store.AddTemperature(tref);
        for (auto& s : samples)
            store.AddPoint(&s);
    }
    void Complete(std::size_t t, std::size_t p) {
        for (int m = 0; m < MeasureModeCount; ++m)
            store.SetModeData(t, p, m, 300, 301, 10, 40, true);
    }
};
} // namespace

TEST_F(StoreFixture, EmptyStoreGivesNeutralValues) {
    EXPECT_EQ(store.GetTemperatureCount(), 0u);
    EXPECT_EQ(store.GetTrefMin(), 1000.0);
    EXPECT_EQ(store.GetTrefMax(), 0.0);
    EXPECT_EQ(store.GetTamb(0, 0), -1.0);
    EXPECT_EQ(store.GetTref(0), 0.0);
    EXPECT_EQ(store.GetPointCount(0), 0u);
    EXPECT_TRUE(store.IsTemperatureDone(0));
    store.AddPoint(&samples[0]); // no temperature to add it to
    EXPECT_EQ(store.GetTemperatureCount(), 0u);
}

TEST_F(StoreFixture, TrefRangeStartsFromItsBounds) {
    Add(1200.0);
    EXPECT_EQ(store.GetTrefMin(), 1000.0);
    EXPECT_EQ(store.GetTrefMax(), 1200.0);
    store.ClearAll();
    Add(350.0);
    Add(300.0);
    EXPECT_EQ(store.GetTrefMin(), 300.0);
    EXPECT_EQ(store.GetTrefMax(), 350.0);
}

TEST_F(StoreFixture, OutOfRangeReadsAndWrites) {
    Add(300.0);
    EXPECT_EQ(store.GetPointCount(0), 3u);
    EXPECT_EQ(store.GetTamb(0, 3), -1.0);
    EXPECT_EQ(store.GetTref(1), 0.0);
    EXPECT_EQ(store.GetPointCount(1), 0u);
    EXPECT_TRUE(store.IsTemperatureDone(5));

    store.SetTamb(0, 3, 5.0);
    store.SetModeData(0, 7, mmOff, 1, 2, 3, 4, true);
    store.SetModeData(0, 0, 4, 1, 2, 3, 4, true); // mode 4 does not exist
    store.SetModeData(0, 0, -1, 1, 2, 3, 4, true);
    for (const auto& mode : store.GetPoint(0, 0).Mode)
        EXPECT_FALSE(mode.bMeasured);

    store.AddPoint(nullptr);
    EXPECT_EQ(store.GetPointCount(0), 3u);
}

TEST_F(StoreFixture, BlankPointsAreSeparateAndStayBlank) {
    const CMeasrueData& readOnly = store;
    _sMeasurePoint& writable = store.GetPoint(4, 0);
    EXPECT_EQ(writable.pSample, nullptr);
    writable.Mode[mmOff].dT1 = 123.0;
    writable.dTamb = 7.0;

    const _sMeasurePoint& blank = readOnly.GetPoint(4, 0);
    EXPECT_EQ(blank.pSample, nullptr);
    EXPECT_FALSE(blank.IsComplete());
    EXPECT_EQ(blank.Mode[mmOff].dT1, 0.0);
    EXPECT_EQ(blank.dTamb, 0.0);
    // The next writable blank does not carry what was written into the last one.
    EXPECT_EQ(store.GetPoint(9, 9).Mode[mmOff].dT1, 0.0);
}

TEST_F(StoreFixture, DoneFollowsUseOfEachSample) {
    Add(300.0);
    EXPECT_FALSE(store.IsTemperatureDone(0));
    for (auto& s : samples)
        s.SetUse(false);
    EXPECT_TRUE(store.IsTemperatureDone(0));

    samples[1].SetUse(true);
    EXPECT_FALSE(store.IsTemperatureDone(0));
    store.SetModeData(0, 1, mmOff, 300, 301, 0, 0, true);
    EXPECT_FALSE(store.IsTemperatureDone(0)) << "one mode is not a complete point";
    Complete(0, 1);
    EXPECT_TRUE(store.GetPoint(0, 1).IsComplete());
    EXPECT_TRUE(store.IsTemperatureDone(0));
}

TEST_F(StoreFixture, DeleteMovesLaterTemperaturesDown) {
    Add(300.0);
    Add(310.0);
    Add(320.0);
    Complete(1, 2);
    store.SetTamb(1, 2, 299.5);

    store.DeleteTemperature(0);
    ASSERT_EQ(store.GetTemperatureCount(), 2u);
    EXPECT_EQ(store.GetTref(0), 310.0);
    EXPECT_EQ(store.GetPointCount(0), 3u);
    EXPECT_TRUE(store.GetPoint(0, 2).IsComplete());
    EXPECT_FALSE(store.GetPoint(0, 1).IsComplete());
    EXPECT_EQ(store.GetTamb(0, 2), 299.5);
    EXPECT_EQ(store.GetPoint(0, 2).pSample, &samples[2]);

    store.DeleteTemperature(2); // past the end: nothing happens
    EXPECT_EQ(store.GetTemperatureCount(), 2u);
}

TEST(MeasureMode, LabelsFollowTheModeIndex) {
    EXPECT_STREQ(MeasureModeLabel(mmOff), "OFF");
    EXPECT_STREQ(MeasureModeLabel(mmDcPlus), "DC+");
    EXPECT_STREQ(MeasureModeLabel(mmDcMinus), "DC-");
    EXPECT_STREQ(MeasureModeLabel(mmAc), "AC");
}
