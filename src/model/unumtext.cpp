#include "model/unumtext.h"

#include <charconv>
#include <cmath>

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::string ShortestDouble(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

namespace {
// from_chars takes a '-' but no '+': drop one '+', and leave "+-5" for it to refuse.
std::string_view WithoutPlus(std::string_view text) {
    if (text.size() >= 2 && text.front() == '+' && text[1] != '-')
        text.remove_prefix(1);
    return text;
}
} // namespace

std::optional<int> ParseInt32(std::string_view text) {
    text = WithoutPlus(TrimBlanks(text));
    int value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc{} || result.ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<double> ParseDouble(std::string_view text) {
    text = WithoutPlus(TrimBlanks(text));
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc{} || result.ptr != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}
