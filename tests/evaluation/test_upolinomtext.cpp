#include "evaluation/upolinomtext.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

TEST(PolinomText, NumberFormat) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {123.45, "+1.2345000E+02"},       {-0.000123, "-1.2300000E-04"},
        {0.0, "+0.0000000E+00"},          {-0.0, "+0.0000000E+00"},
        {1.0, "+1.0000000E+00"},          {0.999999999, "+1.0000000E+00"}, // rounds up into the next decade
        {-123456789.0, "-1.2345679E+08"}, {1e100, "+1.0000000E+100"},
        {-2.5e-300, "-2.5000000E-300"},   {std::numeric_limits<double>::infinity(), "+INF"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PolinomNumberText(c.value), c.text) << c.value;
}

TEST(PolinomText, Formulas) {
    struct Case {
        int degree;
        std::vector<double> coefs;
        const char* text;
    };
    const Case cases[] = {
        {0, {5.0}, "+5.0000000E+00"},
        {1, {2.0, -1.0}, "+2.0000000E+00*X^1-1.0000000E+00"},
        {2, {1.5, -0.25, 300.0}, "+1.5000000E+00*X^2-2.5000000E-01*X^1+3.0000000E+02"},
        {5,
         {1.0, -2.0, 0.0, -0.0, 5e-7, -6e12},
         "+1.0000000E+00*X^5-2.0000000E+00*X^4+0.0000000E+00*X^3+0.0000000E+00*X^2+5.0000000E-07*X^1"
         "-6.0000000E+12"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PolinomText(c.degree, c.coefs.data()), c.text);
}

TEST(PolinomText, FittedPolynomialOrNone) {
    CCalcPolinom poly;
    EXPECT_EQ(PolinomText(poly), "");
    const std::vector<double> x = {1.0, 2.0, 4.0};
    const std::vector<double> y = {1.0, 3.0, 7.0};
    ASSERT_TRUE(poly.Fit(1, x, y));
    EXPECT_EQ(PolinomText(poly), "+2.0000000E+00*X^1-1.0000000E+00");
    // A fit with no usable curve has no formula either.
    const std::vector<double> one = {300.0};
    poly.Fit(5, one, one);
    EXPECT_EQ(PolinomText(poly), "");
}

namespace {

// Switches the C locale to one with a decimal comma: an installed one if there is, otherwise a
// minimal one compiled into a temporary folder. Empty when neither works.
std::string UseDecimalCommaLocale(const TempDir& dir) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) != nullptr)
            return name;
    }
    TempDir::Write(dir / "decimal-comma", "LC_CTYPE\ncopy \"POSIX\"\nEND LC_CTYPE\n"
                                          "LC_NUMERIC\ndecimal_point \"<U002C>\"\nthousands_sep \"<U002E>\"\n"
                                          "grouping 3;3\nEND LC_NUMERIC\n");
    // -c: the other categories are left out on purpose, which localedef only warns about.
    const std::string command = "localedef -c -i '" + (dir / "decimal-comma").string() +
                                "' -f ANSI_X3.4-1968 '" + (dir / "xx_DC").string() + "' >/dev/null 2>&1";
    [[maybe_unused]] const int rc = std::system(command.c_str());
    setenv("LOCPATH", dir.Path().c_str(), 1);
    const char* name = std::setlocale(LC_ALL, "xx_DC");
    unsetenv("LOCPATH");
    return name != nullptr ? name : "";
}

} // namespace

TEST(PolinomText, SameUnderADecimalCommaLocale) {
    const double coefs[] = {1.5, -0.25, 300.0};
    const std::string expected = PolinomText(2, coefs);

    TempDir dir;
    const std::string locale = UseDecimalCommaLocale(dir);
    if (locale.empty())
        GTEST_SKIP() << "no locale with a decimal comma can be used here";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    const std::string shown = probe;
    const std::string text = PolinomText(2, coefs);
    std::setlocale(LC_ALL, "C");
    ASSERT_EQ(shown, "1,5") << "locale " << locale << " does not use a decimal comma";
    EXPECT_EQ(text, expected);
}
