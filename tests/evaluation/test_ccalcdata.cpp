#include "evaluation/ccalcdata.h"

#include "evaluation/evalfixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Three reference temperatures added as 350, 300, 325 K; samples:
//  0 complete everywhere (worked point shifted to the reference temperature),
//  1 complete everywhere, but at 300 K its DC+ temperature difference is that of OFF,
//  2 lead wire length 0, complete everywhere,
//  3 never complete.
class CCalcDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (CSample& s : samples)
            s = WorkedSample();
        samples[2].SetWireL(0.0, usMilli);
        for (double tref : {350.0, 300.0, 325.0}) {
            store.AddTemperature(tref);
            for (CSample& s : samples)
                store.AddPoint(&s);
            const std::size_t t = store.GetTemperatureCount() - 1;
            for (std::size_t s = 0; s < 3; ++s)
                store.GetPoint(t, s) = WorkedPoint(&samples[s], tref - 300.0);
            store.GetPoint(t, 3).Mode[mmOff].bMeasured = true;
        }
        _sModeData& dcPlus = store.GetPoint(1, 1).Mode[mmDcPlus];
        dcPlus.dT1 = dcPlus.dT2 = 300.0;
    }

    CSample samples[4];
    CMeasrueData store;
    CCalcData data{&store};
};

std::vector<double> XOf(const CCalcPolinom& poly) {
    std::vector<double> x;
    for (std::size_t k = 0; k < poly.GetCount(); ++k)
        x.push_back(poly.GetX(k));
    return x;
}

} // namespace

TEST_F(CCalcDataTest, PointGettersWriteOnlyComputedValues) {
    double v = -1.0;
    ASSERT_TRUE(data.PointTavr(0, 0, v));
    EXPECT_DOUBLE_EQ(v, 350.0);
    ASSERT_TRUE(data.PointAlpha(0, 1, v));
    EXPECT_NEAR(v, 2e-4, 1e-9);
    ASSERT_TRUE(data.PointKappaCorr(0, 1, v));
    EXPECT_NEAR(v, 4.2143, 5e-4);

    using Getter = bool (CCalcData::*)(std::size_t, std::size_t, double&) const;
    const Getter getters[] = {&CCalcData::PointTavr,  &CCalcData::PointAlpha,     &CCalcData::PointSigma,
                              &CCalcData::PointKappa, &CCalcData::PointKappaCorr, &CCalcData::PointZ,
                              &CCalcData::PointZCorr};
    const CCalcData noStore(nullptr);
    for (Getter g : getters) {
        v = -1.0;
        EXPECT_FALSE((data.*g)(3, 0, v)) << "incomplete point";
        EXPECT_FALSE((data.*g)(4, 0, v)) << "sample index past the points";
        EXPECT_FALSE((data.*g)(0, 3, v)) << "temperature index past the store";
        EXPECT_FALSE((noStore.*g)(0, 0, v)) << "no store";
        EXPECT_EQ(v, -1.0);
    }
    // An arithmetic fault is caught and leaves the output alone.
    EXPECT_FALSE(data.PointAlpha(1, 1, v));
    EXPECT_FALSE(data.PointKappaCorr(2, 0, v));
    EXPECT_FALSE(data.PointValue(static_cast<TCalcValue>(6), 0, 0, v));
    EXPECT_EQ(v, -1.0);
}

TEST_F(CCalcDataTest, ZeroCurrentsAndMissingSampleFailOnlyWhereTheyMatter) {
    _sMeasurePoint& p = store.GetPoint(0, 0);
    p.Mode[mmAc].dI = 0.0;
    double v = 0.0;
    EXPECT_FALSE(data.PointSigma(0, 0, v));
    EXPECT_TRUE(data.PointZ(0, 0, v));
    p.pSample = nullptr;
    EXPECT_TRUE(data.PointTavr(0, 0, v));
    EXPECT_FALSE(data.PointZCorr(0, 0, v));
}

TEST_F(CCalcDataTest, SeriesAreInStoreOrderAndFitted) {
    CCalcPolinom poly;
    poly.SetDegree(1);
    ASSERT_TRUE(data.FitAlpha(0, poly));
    EXPECT_EQ(XOf(poly), (std::vector<double>{350.0, 300.0, 325.0}));
    EXPECT_TRUE(poly.IsFitted());
    EXPECT_NEAR(poly.Calc(310.0), 2e-4, 1e-9);
}

TEST_F(CCalcDataTest, AFaultyValueLeavesOnlyItsPointOutOfThatSeries) {
    CCalcPolinom alpha, sigma, kappa, kappaCorr, z, zCorr;
    for (CCalcPolinom* p : {&alpha, &sigma, &kappa, &kappaCorr, &z, &zCorr})
        p->SetDegree(1);
    ASSERT_TRUE(data.FitAlpha(1, alpha));
    ASSERT_TRUE(data.FitSigma(1, sigma));
    ASSERT_TRUE(data.FitKappa(1, kappa, false));
    ASSERT_TRUE(data.FitKappa(1, kappaCorr, true));
    ASSERT_TRUE(data.FitZ(1, z, false));
    ASSERT_TRUE(data.FitZ(1, zCorr, true));
    const std::vector<double> without300 = {350.0, 325.0};
    const std::vector<double> all = {350.0, 300.0, 325.0};
    EXPECT_EQ(XOf(alpha), without300);
    EXPECT_EQ(XOf(kappa), without300);
    EXPECT_EQ(XOf(kappaCorr), without300);
    EXPECT_EQ(XOf(zCorr), without300);
    EXPECT_EQ(XOf(sigma), all);
    EXPECT_EQ(XOf(z), all);
}

TEST_F(CCalcDataTest, WithoutLeadWireLengthOnlyTheCorrectedSeriesAreEmpty) {
    CCalcPolinom poly;
    poly.SetDegree(2);
    EXPECT_FALSE(data.FitKappa(2, poly, true));
    EXPECT_FALSE(data.FitZ(2, poly, true));
    EXPECT_EQ(poly.GetCount(), 0u);
    EXPECT_TRUE(data.FitKappa(2, poly, false));
    EXPECT_TRUE(data.FitZ(2, poly, false));
    EXPECT_TRUE(data.FitAlpha(2, poly));
    EXPECT_TRUE(data.FitSigma(2, poly));
}

TEST_F(CCalcDataTest, NoUsablePointLeavesThePolynomialAsItWas) {
    CCalcPolinom poly;
    poly.SetDegree(1);
    ASSERT_TRUE(data.FitSigma(0, poly));
    const std::vector<double> before = poly.Coefs();
    for (std::size_t sample : {std::size_t{3}, std::size_t{4}, std::size_t{1000}}) {
        EXPECT_FALSE(data.FitAlpha(sample, poly));
        EXPECT_FALSE(data.FitSigma(sample, poly));
        EXPECT_FALSE(data.FitKappa(sample, poly, true));
        EXPECT_FALSE(data.FitZ(sample, poly, false));
    }
    EXPECT_EQ(poly.GetCount(), 3u);
    EXPECT_EQ(poly.Coefs(), before);
    EXPECT_TRUE(poly.IsFitted());
    EXPECT_FALSE(CCalcData(nullptr).FitAlpha(0, poly));
}

TEST_F(CCalcDataTest, OnePointAtDegreeFiveIsASeriesWithoutCurve) {
    store.DeleteTemperature(2);
    store.DeleteTemperature(1);
    CCalcPolinom poly;
    poly.SetDegree(5);
    ASSERT_TRUE(data.FitZ(0, poly, true));
    EXPECT_EQ(poly.GetCount(), 1u);
    EXPECT_DOUBLE_EQ(poly.GetX(0), 350.0);
    EXPECT_FALSE(poly.IsFitted());
    for (double c : poly.Coefs())
        EXPECT_EQ(c, 0.0);
}
