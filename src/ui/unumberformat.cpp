#include "ui/unumberformat.h"

#include "model/unumtext.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {
struct TSection {
    std::string Prefix;
    std::string Suffix;
    bool bGroup = false;
    bool bHasPoint = false;
    int iMinInt = 0;
    int iMinDec = 0;
    int iMaxDec = 0;
};

std::vector<std::string> SplitSections(std::string_view pattern) {
    std::vector<std::string> sections(1);
    char quote = 0;
    for (char c : pattern) {
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            sections.emplace_back();
            continue;
        }
        sections.back() += c;
    }
    return sections;
}

TSection ParseSection(std::string_view text) {
    TSection s;
    bool inNumber = false;
    bool afterNumber = false;
    bool afterPoint = false;
    bool seenZero = false;
    char quote = 0;
    for (char c : text) {
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                (inNumber || afterNumber ? s.Suffix : s.Prefix) += c;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
            if (inNumber) {
                inNumber = false;
                afterNumber = true;
            }
            continue;
        }
        const bool special = c == '0' || c == '#' || c == '.' || c == ',';
        if (special && !afterNumber) {
            inNumber = true;
            if (c == ',') {
                s.bGroup = true;
            } else if (c == '.') {
                if (!s.bHasPoint)
                    s.bHasPoint = afterPoint = true;
            } else if (afterPoint) {
                ++s.iMaxDec;
                if (c == '0')
                    s.iMinDec = s.iMaxDec;
            } else if (c == '0' || seenZero) {
                // Every placeholder from the first '0' on is a digit that is always shown.
                seenZero = true;
                ++s.iMinInt;
            }
            continue;
        }
        if (inNumber) {
            inNumber = false;
            afterNumber = true;
        }
        (afterNumber ? s.Suffix : s.Prefix) += c;
    }
    return s;
}

// The digits of |value| rounded to maxDec decimals: integer part and fraction part.
void RoundedDigits(double value, int maxDec, std::string& intPart, std::string& fracPart) {
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::fixed);
    const std::string digits(buffer, result.ptr);
    const auto point = digits.find('.');
    intPart = digits.substr(0, point);
    fracPart = point == std::string::npos ? std::string() : digits.substr(point + 1);
    if (static_cast<int>(fracPart.size()) <= maxDec)
        return;
    const bool roundUp = fracPart[maxDec] >= '5';
    fracPart.resize(maxDec);
    if (!roundUp)
        return;
    std::string all = intPart + fracPart;
    int i = static_cast<int>(all.size()) - 1;
    for (; i >= 0; --i) {
        if (all[i] == '9') {
            all[i] = '0';
        } else {
            ++all[i];
            break;
        }
    }
    if (i < 0)
        all.insert(all.begin(), '1');
    intPart = all.substr(0, all.size() - maxDec);
    fracPart = all.substr(all.size() - maxDec);
}

bool AllZero(const std::string& a, const std::string& b) {
    return a.find_first_not_of('0') == std::string::npos && b.find_first_not_of('0') == std::string::npos;
}

std::string ApplySection(const TSection& s, const std::string& intDigits, const std::string& fracDigits,
                         bool minus, const TNumberSeparators& sep) {
    std::string frac = fracDigits;
    while (static_cast<int>(frac.size()) > s.iMinDec && frac.back() == '0')
        frac.pop_back();
    frac.resize(std::max(frac.size(), static_cast<std::size_t>(s.iMinDec)), '0');
    std::string digits = intDigits;
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    while (static_cast<int>(digits.size()) < s.iMinInt)
        digits.insert(digits.begin(), '0');
    std::string integer;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (s.bGroup && i > 0 && (digits.size() - i) % 3 == 0)
            integer += sep.Group;
        integer += digits[i];
    }
    std::string out = s.Prefix;
    if (minus)
        out += '-';
    out += integer;
    if (!frac.empty())
        out += sep.Decimal + frac;
    return out + s.Suffix;
}

bool IsDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "1,234" or "12.345.678": a first group of one to three digits (not a lone leading zero) and
// groups of exactly three after every separator.
bool IsGrouped(std::string_view text, char groupChar) {
    std::size_t pos = text.find(groupChar);
    if (pos == std::string_view::npos || pos == 0 || pos > 3 || text[0] == '0' ||
        !IsDigits(text.substr(0, pos)))
        return false;
    while (pos != std::string_view::npos) {
        const std::size_t next = text.find(groupChar, pos + 1);
        const std::string_view group =
            text.substr(pos + 1, (next == std::string_view::npos ? text.size() : next) - pos - 1);
        if (group.size() != 3 || !IsDigits(group))
            return false;
        pos = next;
    }
    return true;
}

void EraseAll(std::string& text, std::string_view what) {
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what))
        text.erase(pos, what.size());
}

// The decimal separator a word shows beyond doubt, or 0.
char DecimalOf(std::string_view word) {
    const auto comma = word.rfind(',');
    const auto point = word.rfind('.');
    if (comma != std::string_view::npos && point != std::string_view::npos)
        return comma > point ? ',' : '.';
    const char only = comma != std::string_view::npos ? ',' : point != std::string_view::npos ? '.' : 0;
    if (!only)
        return 0;
    const auto first = word.find(only);
    const std::string_view bare = word.substr(word.find_first_of("0123456789"));
    if (first != word.rfind(only))
        return only == ',' ? '.' : ','; // repeated: grouping, so the other one is decimal
    return IsGrouped(bare.substr(0, bare.find_first_not_of("0123456789,.")), only) ? 0 : only;
}
} // namespace

std::string FormatNumber(double value, std::string_view pattern, const TNumberSeparators& sep) {
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value > 0 ? "INF" : "-INF";
    const std::vector<std::string> texts = SplitSections(pattern);
    const TSection positive = ParseSection(texts[0]);
    const bool hasNegative = texts.size() > 1 && !texts[1].empty();
    const bool hasZero = texts.size() > 2 && !texts[2].empty();

    const TSection section = value < 0 && hasNegative ? ParseSection(texts[1]) : positive;
    std::string intDigits, fracDigits;
    RoundedDigits(value, section.iMaxDec, intDigits, fracDigits);
    if (AllZero(intDigits, fracDigits)) {
        // A value that rounds to zero shows as zero, never as "-0.00" or "(0)".
        if (hasZero)
            return ApplySection(ParseSection(texts[2]), "0", "", false, sep);
        RoundedDigits(0.0, positive.iMaxDec, intDigits, fracDigits);
        return ApplySection(positive, intDigits, fracDigits, false, sep);
    }
    return ApplySection(section, intDigits, fracDigits, value < 0 && !hasNegative, sep);
}

int PatternMaxDecimals(std::string_view pattern) {
    return ParseSection(SplitSections(pattern)[0]).iMaxDec;
}

std::optional<double> ParseLooseNumber(std::string_view text, char decimalHint) {
    std::string word(text);
    for (std::string_view blank : {"\xC2\xA0", "\xE2\x80\xAF", "\xE2\x80\x89", " ", "\t", "'", "\xA0"})
        EraseAll(word, blank);
    bool negative = false;
    if (word.size() >= 2 && word.front() == '(' && word.back() == ')') {
        negative = true;
        word = word.substr(1, word.size() - 2);
    }
    if (!word.empty() && (word.front() == '-' || word.front() == '+')) {
        if (negative)
            return std::nullopt;
        negative = word.front() == '-';
        word.erase(0, 1);
    }
    if (word.empty() || word.front() == '-' || word.front() == '+')
        return std::nullopt;

    const auto commas = static_cast<int>(std::count(word.begin(), word.end(), ','));
    const auto points = static_cast<int>(std::count(word.begin(), word.end(), '.'));
    char decimal = 0;
    char group = 0;
    if (commas && points) {
        decimal = word.rfind(',') > word.rfind('.') ? ',' : '.';
        group = decimal == ',' ? '.' : ',';
    } else if (commas + points > 1) {
        group = commas ? ',' : '.';
    } else if (commas + points == 1) {
        const char only = commas ? ',' : '.';
        const std::string_view bare = std::string_view(word).substr(0, word.find_first_of("eE"));
        const bool grouped = IsGrouped(bare, only);
        if (decimalHint == only || !grouped)
            decimal = only;
        else if (decimalHint != 0)
            group = only;
        else // unknown: a comma groups, a point groups only where no decimal could end in zero
            (only == ',' || bare.back() == '0' ? group : decimal) = only;
    }
    if (group) {
        const std::string_view mantissa =
            std::string_view(word).substr(0, word.find_first_of(decimal ? decimal : 'e'));
        if (!IsGrouped(mantissa, group))
            return std::nullopt;
        EraseAll(word, std::string(1, group));
    }
    if (decimal == ',')
        word[word.find(',')] = '.';
    if (word.find_first_not_of("0123456789.eE+-") != std::string::npos ||
        word.find_first_of("0123456789") == std::string::npos)
        return std::nullopt;
    const std::optional<double> value = ParseDouble(word);
    if (!value)
        return std::nullopt;
    return negative ? -*value : *value;
}

std::optional<std::vector<double>> ParseLooseNumbers(std::string_view text) {
    std::vector<std::string_view> words;
    for (std::size_t pos = 0; pos < text.size();) {
        pos = text.find_first_not_of(" \t\r\n", pos);
        if (pos == std::string_view::npos)
            break;
        const std::size_t end = std::min(text.find_first_of(" \t\r\n", pos), text.size());
        words.push_back(text.substr(pos, end - pos));
        pos = end;
    }
    char hint = 0;
    for (std::string_view word : words) {
        if (word.find_first_of("0123456789") == std::string_view::npos)
            return std::nullopt;
        if (!hint)
            hint = DecimalOf(word);
    }
    std::vector<double> values;
    for (std::string_view word : words) {
        const std::optional<double> value = ParseLooseNumber(word, hint);
        if (!value)
            return std::nullopt;
        values.push_back(*value);
    }
    return values;
}
