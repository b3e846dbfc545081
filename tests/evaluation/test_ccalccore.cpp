#include "evaluation/ccalccore.h"

#include "evaluation/evalfixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

// Agreement to the five significant digits the figures are published with.
void ExpectFiveDigits(double actual, double expected, const char* what) {
    EXPECT_NEAR(actual, expected, std::fabs(expected) * 5e-5) << what;
}

} // namespace

TEST(CCalcCore, WorkedExample) {
    CSample sample = WorkedSample();
    const _sMeasurePoint point = WorkedPoint(&sample);
    const CCalcCore core(&point);

    EXPECT_EQ(core.GetIterations(), 3u);
    ExpectFiveDigits(core.GetTavr(), 300.00, "Tavr");
    ExpectFiveDigits(core.GetResistance(), 0.025000, "resistance");
    ExpectFiveDigits(core.GetSigma(), 7.1111e4, "Sigma");
    ExpectFiveDigits(core.GetModeAlpha(mmDcPlus), 2.0000e-4, "a(DC+)");
    ExpectFiveDigits(core.GetModeAlpha(mmDcMinus), 2.0000e-4, "a(DC-)");
    ExpectFiveDigits(core.GetAlpha(), 2.0000e-4, "Alpha");
    ExpectFiveDigits(core.GetModeZ(mmDcPlus), 6.6667e-4, "z(DC+)");
    ExpectFiveDigits(core.GetModeZ(mmDcMinus), -6.6667e-4, "z(DC-)");
    ExpectFiveDigits(core.GetZ(), 6.6667e-4, "Z");
    ExpectFiveDigits(core.GetKappa(), 4.2667, "Kappa");
    ExpectFiveDigits(core.GetWireConductance(), 5.8905e-5, "wire conductance");
    ExpectFiveDigits(core.GetLossRatio(core.GetKappa()), 0.012272, "loss ratio");
    ExpectFiveDigits(core.GetZCorr(), 6.7485e-4, "ZCorr");
    ExpectFiveDigits(core.GetKappaCorr(), 4.2143, "KappaCorr");

    // Each correction round on its own; no rounds is the uncorrected Kappa.
    EXPECT_NEAR(CCalcCore(&point, 1).GetKappaCorr(), 4.21494, 5e-6);
    EXPECT_NEAR(CCalcCore(&point, 2).GetKappaCorr(), 4.21431, 5e-6);
    EXPECT_NEAR(CCalcCore(&point, 3).GetKappaCorr(), 4.21431, 5e-6);
    EXPECT_EQ(CCalcCore(&point, 0).GetKappaCorr(), core.GetKappa());

    // The selector reaches the same operations; anything else is 0.
    EXPECT_EQ(core.GetValue(cvAlpha), core.GetAlpha());
    EXPECT_EQ(core.GetValue(cvSigma), core.GetSigma());
    EXPECT_EQ(core.GetValue(cvKappa), core.GetKappa());
    EXPECT_EQ(core.GetValue(cvKappaCorr), core.GetKappaCorr());
    EXPECT_EQ(core.GetValue(cvZ), core.GetZ());
    EXPECT_EQ(core.GetValue(cvZCorr), core.GetZCorr());
    EXPECT_EQ(core.GetValue(static_cast<TCalcValue>(6)), 0.0);
    EXPECT_EQ(core.GetValue(static_cast<TCalcValue>(-1)), 0.0);
}

TEST(CCalcCore, ModesOutsideTheFourAndTheOffMode) {
    CSample sample = WorkedSample();
    const _sMeasurePoint point = WorkedPoint(&sample);
    const CCalcCore core(&point);
    EXPECT_EQ(core.GetModeTmean(4), 0.0);
    EXPECT_EQ(core.GetModeDeltaT(4), 0.0);
    EXPECT_EQ(core.GetModeTmean(-1), 0.0);
    EXPECT_EQ(core.GetModeDeltaT(mmOff), 0.0);
    EXPECT_THROW(core.GetModeAlpha(mmOff), ECalcError);
    EXPECT_THROW(core.GetModeAlpha(4), ECalcError);
    EXPECT_THROW(core.GetModeZ(7), ECalcError);
}

TEST(CCalcCore, OppositeSignsOfTheDcModesGiveTheSameAlphaAndZ) {
    CSample sample = WorkedSample();
    _sMeasurePoint both = WorkedPoint(&sample);
    // DC- with the temperature difference of DC+: its voltage above AC now gives a(DC-) > 0.
    both.Mode[mmDcMinus].dT1 = 300.5;
    both.Mode[mmDcMinus].dT2 = 299.5;
    both.Mode[mmDcMinus].dU = 1200.0;
    const _sMeasurePoint opposite = WorkedPoint(&sample);
    EXPECT_GT(CCalcCore(&both).GetModeAlpha(mmDcMinus), 0.0);
    EXPECT_DOUBLE_EQ(CCalcCore(&both).GetAlpha(), CCalcCore(&opposite).GetAlpha());
    EXPECT_DOUBLE_EQ(CCalcCore(&both).GetZ(), CCalcCore(&opposite).GetZ());
}

TEST(CCalcCore, WithoutLeadWireConductanceTheCorrectionChangesNothing) {
    CSample sample = WorkedSample();
    sample.SetWireD(0.0, usMilli);
    const _sMeasurePoint point = WorkedPoint(&sample);
    const CCalcCore core(&point);
    EXPECT_EQ(core.GetLossRatio(core.GetKappa()), 0.0);
    EXPECT_EQ(core.GetKappaCorr(), core.GetKappa());
    EXPECT_EQ(core.GetZCorr(), core.GetZ());
}

// Each typical fault makes exactly the operations named fail, and the others still succeed.
TEST(CCalcCore, FaultTable) {
    enum Op { opR, opSigma, opAlpha, opZ, opKappa, opKappaCorr, opZCorr, opCount };
    const char* opNames[] = {"resistance", "Sigma", "Alpha", "Z", "Kappa", "KappaCorr", "ZCorr"};
    struct Case {
        const char* name;
        std::function<void(_sMeasurePoint&, CSample&)> change;
        std::vector<Op> fails;
    };
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Case> cases = {
        {"T1 - T2 of DC+ as in OFF",
         [](_sMeasurePoint& p, CSample&) { p.Mode[mmDcPlus].dT1 = p.Mode[mmDcPlus].dT2 = 300.0; },
         {opAlpha, opKappa, opKappaCorr, opZCorr}},
        {"I(AC) = 0",
         [](_sMeasurePoint& p, CSample&) { p.Mode[mmAc].dI = 0.0; },
         {opR, opSigma, opKappa, opKappaCorr, opZCorr}},
        {"U(AC) = 0",
         [](_sMeasurePoint& p, CSample&) { p.Mode[mmAc].dU = 0.0; },
         {opSigma, opZ, opKappa, opKappaCorr, opZCorr}},
        {"both DC voltages equal to U(AC)",
         [](_sMeasurePoint& p, CSample&) { p.Mode[mmDcPlus].dU = p.Mode[mmDcMinus].dU = 1000.0; },
         {opKappa, opKappaCorr, opZCorr}},
        {"A = 0",
         [](_sMeasurePoint&, CSample& s) { s.SetA(0.0, usMilli); },
         {opSigma, opKappa, opKappaCorr, opZCorr}},
        {"B = 0",
         [](_sMeasurePoint&, CSample& s) { s.SetB(0.0, usMilli); },
         {opSigma, opKappa, opKappaCorr, opZCorr}},
        {"L = 0", [](_sMeasurePoint&, CSample& s) { s.SetL(0.0, usMilli); }, {opKappaCorr, opZCorr}},
        {"WireL = 0", [](_sMeasurePoint&, CSample& s) { s.SetWireL(0.0, usMilli); }, {opKappaCorr, opZCorr}},
        {"mean temperature of DC- is 0",
         [](_sMeasurePoint& p, CSample&) {
             p.Mode[mmDcMinus].dT1 = -0.5;
             p.Mode[mmDcMinus].dT2 = 0.5;
         },
         {opZ, opKappa, opKappaCorr, opZCorr}},
        {"overflowing Alpha",
         [](_sMeasurePoint& p, CSample&) {
             p.Mode[mmDcPlus] = {true, 300.0 + 1e-10, 300.0, 1e308, 40.0};
         },
         {opAlpha, opKappa, opKappaCorr, opZCorr}},
        {"NaN reading of AC",
         [](_sMeasurePoint& p, CSample&) { p.Mode[mmAc].dU = nan; },
         {opR, opSigma, opAlpha, opZ, opKappa, opKappaCorr, opZCorr}},
    };

    for (const Case& c : cases) {
        CSample sample = WorkedSample();
        _sMeasurePoint point = WorkedPoint(&sample);
        c.change(point, sample);
        const CCalcCore core(&point);
        const std::function<double()> ops[] = {
            [&] { return core.GetResistance(); }, [&] { return core.GetSigma(); },
            [&] { return core.GetAlpha(); },      [&] { return core.GetZ(); },
            [&] { return core.GetKappa(); },      [&] { return core.GetKappaCorr(); },
            [&] { return core.GetZCorr(); }};
        for (int op = 0; op < opCount; ++op) {
            const bool shouldFail = std::find(c.fails.begin(), c.fails.end(), op) != c.fails.end();
            SCOPED_TRACE(std::string(c.name) + ": " + opNames[op]);
            if (shouldFail) {
                EXPECT_THROW(ops[op](), ECalcError);
            } else {
                double v = nan;
                EXPECT_NO_THROW(v = ops[op]());
                EXPECT_TRUE(std::isfinite(v));
            }
        }
    }
}

TEST(CCalcCore, ZeroLengthGivesZeroSigmaAndKappa) {
    CSample sample = WorkedSample();
    sample.SetL(0.0, usMilli);
    const _sMeasurePoint point = WorkedPoint(&sample);
    EXPECT_EQ(CCalcCore(&point).GetSigma(), 0.0);
    EXPECT_EQ(CCalcCore(&point).GetKappa(), 0.0);
}

TEST(CCalcCore, PointWithoutSampleHasTemperaturesButNoGeometry) {
    const _sMeasurePoint point = WorkedPoint(nullptr);
    const CCalcCore core(&point);
    EXPECT_EQ(core.GetTavr(), 300.0);
    EXPECT_NO_THROW(core.GetAlpha());
    EXPECT_THROW(core.GetSigma(), ECalcError);
    EXPECT_THROW(core.GetKappaCorr(), ECalcError);
    EXPECT_THROW(CCalcCore(nullptr).GetTavr(), ECalcError);
}
