#include "model/unumtext.h"

#include <gtest/gtest.h>

TEST(NumText, ParseTakesWholeNumbersAndRefusesEverythingElse) {
    struct Case {
        const char* text;
        std::optional<int> asInt;
        std::optional<double> asDouble;
    };
    const Case cases[] = {
        {"42", 42, 42.0},
        {" +7\t", 7, 7.0},
        {"-3", -3, -3.0},
        {"2.5", std::nullopt, 2.5},
        {"-2e3", std::nullopt, -2000.0},
        {"2147483647", 2147483647, 2147483647.0},
        {"2147483648", std::nullopt, 2147483648.0},
        {"", std::nullopt, std::nullopt},
        {"+", std::nullopt, std::nullopt},
        {"+-5", std::nullopt, std::nullopt},
        {"++5", std::nullopt, std::nullopt},
        {"5x", std::nullopt, std::nullopt},
        {"1,5", std::nullopt, std::nullopt},
        {"inf", std::nullopt, std::nullopt},
        {"nan", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseInt32(c.text), c.asInt) << '"' << c.text << '"';
        EXPECT_EQ(ParseDouble(c.text), c.asDouble) << '"' << c.text << '"';
    }
}

TEST(NumText, ShortestDoubleReadsBackExactly) {
    for (double v : {220.5, 0.3, 1e-05, -0.1, 1.0 / 3.0})
        EXPECT_EQ(ParseDouble(ShortestDouble(v)), v) << ShortestDouble(v);
    EXPECT_EQ(ShortestDouble(220.5), "220.5");
}
