#include "evaluation/ccalcpolinom.h"
#include "evaluation/polinom.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<double> CoefsOf(const CCalcPolinom& poly) {
    std::vector<double> c(static_cast<std::size_t>(poly.GetDegree()) + 1, 0.0);
    poly.GetCoefs(c.data());
    return c;
}

void ExpectAllFinite(const CCalcPolinom& poly) {
    for (double c : poly.Coefs())
        EXPECT_TRUE(std::isfinite(c));
    EXPECT_TRUE(std::isfinite(poly.GetRms()));
}

std::string OutOfRangeText(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::out_of_range& e) {
        return e.what();
    }
    return "no error";
}

} // namespace

TEST(CCalcPolinom, DegreeZeroIsTheMeanWithItsRmsDeviation) {
    CCalcPolinom poly;
    const std::vector<double> x = {1.0, 2.0, 3.0};
    const std::vector<double> y = {2.0, 4.0, 9.0};
    ASSERT_TRUE(poly.Fit(0, x, y));
    ASSERT_EQ(poly.Coefs().size(), 1u);
    EXPECT_DOUBLE_EQ(poly.Coefs()[0], 5.0);
    EXPECT_NEAR(poly.GetRms(), 2.9439, 5e-5);
    EXPECT_DOUBLE_EQ(poly.Calc(-100.0), 5.0);
}

TEST(CCalcPolinom, ExactPolynomialsAreRecovered) {
    struct Case {
        int degree;
        std::vector<double> x, y, coefs;
        double at3;
    };
    const Case cases[] = {
        {1, {1.0, 2.0}, {1.0, 3.0}, {2.0, -1.0}, 5.0},
        {2, {0.0, 1.0, 2.0}, {1.0, 2.0, 5.0}, {1.0, 0.0, 1.0}, 10.0},
        // The order of the points does not matter.
        {2, {2.0, 0.0, 1.0}, {5.0, 1.0, 2.0}, {1.0, 0.0, 1.0}, 10.0},
        {3, {-1.0, 0.0, 1.0, 2.0, 4.0}, {0.0, 0.0, 0.0, 6.0, 60.0}, {1.0, 0.0, -1.0, 0.0}, 24.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("degree " + std::to_string(c.degree));
        CCalcPolinom poly;
        ASSERT_TRUE(poly.Fit(c.degree, c.x, c.y));
        EXPECT_TRUE(poly.IsFitted());
        const std::vector<double> got = CoefsOf(poly);
        for (std::size_t i = 0; i < c.coefs.size(); ++i)
            EXPECT_NEAR(got[i], c.coefs[i], 1e-12) << "coefficient " << i;
        EXPECT_NEAR(poly.Calc(3.0), c.at3, 1e-12);
        EXPECT_NEAR(poly.GetRms(), 0.0, 1e-12);
    }
}

TEST(CCalcPolinom, AllXZeroLeavesTheZeroPolynomialAndNoUsableFit) {
    CCalcPolinom poly;
    const std::vector<double> x = {0.0, 0.0, 0.0};
    const std::vector<double> y = {1.0, 2.0, 2.0};
    EXPECT_FALSE(poly.Fit(3, x, y));
    EXPECT_FALSE(poly.IsFitted());
    EXPECT_EQ(poly.GetDegree(), 3);
    EXPECT_EQ(poly.GetCount(), 3u);
    EXPECT_EQ(CoefsOf(poly), std::vector<double>(4, 0.0));
    EXPECT_EQ(poly.Calc(0.0), 0.0);
    EXPECT_EQ(poly.Calc(250.0), 0.0);
    EXPECT_DOUBLE_EQ(poly.GetRms(), std::sqrt(9.0 / 3.0));
}

// Too few distinct temperatures for the degree, or values whose powers overflow: the points are
// kept, the coefficients stay finite, and the polynomial says it has no curve.
TEST(CCalcPolinom, SingularFitsKeepPointsAndFiniteCoefficients) {
    struct Case {
        const char* name;
        int degree;
        std::vector<double> x, y;
    };
    const Case cases[] = {
        {"one point, degree 5", 5, {300.0}, {2e-4}},
        {"all x equal, degree 2", 2, {300.0, 300.0, 300.0, 300.0}, {1.0, 2.0, 3.0, 4.0}},
        {"two temperatures, degree 5", 5, {300.0, 300.0, 350.0, 350.0}, {1.0, 1.1, 2.0, 2.1}},
        {"powers overflow", 2, {1e200, 2e200, 3e200}, {1.0, 2.0, 3.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CCalcPolinom poly;
        EXPECT_FALSE(poly.Fit(c.degree, c.x, c.y));
        EXPECT_FALSE(poly.IsFitted());
        EXPECT_EQ(poly.GetCount(), c.x.size());
        EXPECT_EQ(poly.GetX(c.x.size() - 1), c.x.back());
        EXPECT_EQ(poly.Coefs().size(), static_cast<std::size_t>(c.degree) + 1);
        ExpectAllFinite(poly);
        EXPECT_EQ(poly.Calc(c.x[0]), 0.0);
    }
}

TEST(CCalcPolinom, CountAndIndexFollowTheLastFit) {
    CCalcPolinom poly;
    EXPECT_EQ(poly.GetCount(), 0u);
    EXPECT_FALSE(poly.IsFitted());
    EXPECT_EQ(poly.Calc(1.0), 0.0);
    EXPECT_EQ(OutOfRangeText([&] { poly.GetX(0); }), "Index out of the range");

    const std::vector<double> x5 = {1.0, 2.0, 3.0, 4.0, 5.0};
    const std::vector<double> y5 = {1.0, 4.0, 9.0, 16.0, 25.0};
    ASSERT_TRUE(poly.Fit(2, x5, y5));
    EXPECT_EQ(poly.GetCount(), 5u);
    EXPECT_EQ(poly.GetY(4), 25.0);

    const std::vector<double> x3 = {10.0, 20.0, 30.0};
    const std::vector<double> y3 = {1.0, 2.0, 4.0};
    ASSERT_TRUE(poly.Fit(1, x3, y3));
    EXPECT_EQ(poly.GetCount(), 3u);
    EXPECT_EQ(poly.GetX(2), 30.0);
    EXPECT_EQ(poly.GetY(2), 4.0);
    EXPECT_EQ(OutOfRangeText([&] { poly.GetX(3); }), "Index out of the range");
    EXPECT_EQ(OutOfRangeText([&] { poly.GetX(4); }), "Index out of the range");
    EXPECT_EQ(OutOfRangeText([&] { poly.GetY(3); }), "Index out of the range");

    // No points at all: nothing to index, no curve.
    EXPECT_FALSE(poly.Fit(1, nullptr, 0, nullptr));
    EXPECT_EQ(poly.GetCount(), 0u);
    EXPECT_THROW(poly.GetY(0), std::out_of_range);
}

TEST(CCalcPolinom, GetCoefsWritesExactlyDegreePlusOneValues) {
    CCalcPolinom poly;
    const std::vector<double> x = {0.0, 1.0, 2.0, 3.0, 4.0};
    const std::vector<double> y = {1.0, 0.0, 5.0, 2.0, 7.0};
    ASSERT_TRUE(poly.Fit(3, x, y));
    std::vector<double> out(6, -99.0);
    poly.GetCoefs(out.data());
    EXPECT_NE(out[3], -99.0);
    EXPECT_EQ(out[4], -99.0);

    // A never-fitted polynomial, or one whose degree was changed since its fit, copies nothing:
    // the caller's array is sized for a degree the coefficients do not have.
    std::vector<double> none(8, -99.0);
    CCalcPolinom().GetCoefs(none.data());
    poly.SetDegree(5);
    poly.GetCoefs(none.data());
    EXPECT_EQ(none, std::vector<double>(8, -99.0));
    EXPECT_FALSE(poly.IsFitted());
    EXPECT_NE(poly.Calc(2.0), 0.0); // still the degree-3 curve
}

TEST(CCalcPolinom, RefusesAbsurdDegreesWithoutAllocating) {
    CCalcPolinom poly;
    const std::vector<double> x = {1.0, 2.0};
    const std::vector<double> y = {1.0, 2.0};
    for (int degree : {-1, CCalcPolinom::MaxDegree + 1, 2147483647}) {
        EXPECT_FALSE(poly.Fit(degree, x, y));
        EXPECT_EQ(poly.GetCount(), 2u);
        EXPECT_TRUE(poly.Coefs().empty());
        EXPECT_EQ(poly.Calc(1.0), 0.0);
    }
}

// Property fits over a realistic temperature range stay accurate at the highest degree offered.
TEST(CCalcPolinom, DegreeFiveOverTemperatures) {
    std::vector<double> x, y;
    for (double t = 220.0; t <= 400.0; t += 10.0) {
        x.push_back(t);
        const double u = (t - 300.0) / 100.0;
        y.push_back(2e-4 + 3e-5 * u - 1e-5 * u * u + 4e-6 * u * u * u * u * u);
    }
    CCalcPolinom poly;
    ASSERT_TRUE(poly.Fit(5, x, y));
    for (std::size_t k = 0; k < x.size(); ++k)
        EXPECT_NEAR(poly.Calc(x[k]), y[k], 1e-9 * 2e-4) << "at " << x[k];
    EXPECT_LT(poly.GetRms(), 1e-12);
}

TEST(Polinom, SolveLinearExchangesRowsOnlyForAZeroPivot) {
    const double m[] = {0.0, 2.0, 1.0, 1.0};
    const double b[] = {4.0, 5.0};
    double c[2] = {0.0, 0.0};
    ASSERT_TRUE(SolveLinear(2, m, b, c));
    EXPECT_DOUBLE_EQ(c[0], 3.0);
    EXPECT_DOUBLE_EQ(c[1], 2.0);

    // A column of zeros: singular; the solution is left as it was.
    const double singular[] = {0.0, 1.0, 0.0, 2.0};
    double keep[2] = {7.0, 8.0};
    EXPECT_FALSE(SolveLinear(2, singular, b, keep));
    EXPECT_EQ(keep[0], 7.0);
    EXPECT_EQ(keep[1], 8.0);
    // A zero last pivot after elimination.
    const double dependent[] = {1.0, 2.0, 2.0, 4.0};
    EXPECT_FALSE(SolveLinear(2, dependent, b, keep));
    EXPECT_EQ(keep[0], 7.0);
}

TEST(Polinom, PowerSumsAndValue) {
    const std::vector<double> x = {0.0, 2.0, 3.0};
    const std::vector<double> y = {5.0, 1.0, 2.0};
    EXPECT_EQ(PowerSum(x, 0), 3.0); // 0^0 counts as 1
    EXPECT_EQ(PowerSum(x, 2), 13.0);
    EXPECT_EQ(PowerSumY(x, y, 0), 8.0);
    EXPECT_EQ(PowerSumY(x, y, 1), 8.0);
    const double c[] = {1.0, -2.0, 0.5};
    EXPECT_EQ(PolyValue(3.0, 2, c), 3.5);
    EXPECT_EQ(PolyValue(0.0, 2, c), 0.5);
}
