#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Number patterns as the edits and tables display them, and the tolerant reading of numbers
// typed by the operator or stored by earlier versions of the program. Free of Qt on purpose.

struct TNumberSeparators {
    std::string Decimal = ".";
    std::string Group = ",";
};

// Formats value with a pattern of up to three sections separated by ';' (positive, negative,
// zero). In a section '0' is a digit that is always shown, '#' a digit shown only when needed,
// '.' the place of the decimal separator, and a ',' anywhere asks for digit grouping; other
// characters and quoted text are copied. A negative value formatted with the negative section gets
// no sign of its own ("(,0)" shows -1.5 as "(2)"). Rounding is half away from zero on the shortest
// decimal form of the value, so 2.675 with "0.00" gives "2.68".
std::string FormatNumber(double value, std::string_view pattern, const TNumberSeparators& sep = {});

// How many decimals the first section of a pattern shows at most.
int PatternMaxDecimals(std::string_view pattern);

// One number whose decimal separator may be a point or a comma and which may carry digit grouping
// (',', '.', blanks, no-break spaces, apostrophes) or parentheses for a negative value.
// decimalHint names the decimal separator when it is known ('.' or ','), 0 when not: then a lone
// separator followed by exactly three digits is grouping where the pattern allows it ("1,000",
// "1.000"), otherwise it is the decimal separator ("2,5", "0.125", "1.125").
std::optional<double> ParseLooseNumber(std::string_view text, char decimalHint = 0);

// The numbers of a stored sample entry, separated by white space. The decimal separator of the
// whole entry is taken from any number that shows it unambiguously. Nothing when a word is no
// number.
std::optional<std::vector<double>> ParseLooseNumbers(std::string_view text);
