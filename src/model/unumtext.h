#pragma once

#include <optional>
#include <string>
#include <string_view>

// Locale-independent number text used by settings, files and the command-line program.

// The text without blanks (spaces, tabs, CR, LF) at either end.
std::string_view TrimBlanks(std::string_view text);

// Shortest text that reads back as exactly the same double ("220.5", "0.3", "1e-05").
std::string ShortestDouble(double value);

// A whole number in decimal (optional sign, blanks around it ignored) that fits in 32 bits;
// nothing for anything else.
std::optional<int> ParseInt32(std::string_view text);

// A finite double written with a point as decimal separator ("1.5", "-2e3"); blanks around it are
// ignored; nothing for anything else.
std::optional<double> ParseDouble(std::string_view text);
