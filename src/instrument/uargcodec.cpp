#include "instrument/uargcodec.h"

#include <bit>
#include <charconv>
#include <cstring>
#include <system_error>

namespace argcodec_detail {

namespace {

// Appends one blank and the zero that the next argument overwrites.
int Finish(std::uint8_t* pos, const char* text, const char* end) {
    const auto n = static_cast<std::size_t>(end - text);
    std::memcpy(pos, text, n);
    pos[n] = ' ';
    pos[n + 1] = 0;
    return static_cast<int>(n + 1);
}

// The token of a text argument: leading blanks, then everything up to a blank, semicolon or zero.
struct Token {
    const char* begin;
    const char* end;
    int consumed;
};

Token FindToken(const std::uint8_t* pos) {
    const char* text = reinterpret_cast<const char*>(pos);
    int p = 0;
    while (p < kArgScratchSize && text[p] == ' ')
        ++p;
    int e = p;
    while (e < kArgScratchSize && text[e] != 0 && text[e] != ' ' && text[e] != ';')
        ++e;
    return {text + p, text + e, e};
}

// Formatted input skips white space other than the blank, which already ended the token.
const char* SkipSpace(const char* p, const char* end) {
    while (p < end && (*p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r'))
        ++p;
    return p;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool TextMode() {
    return ArgTextMode == 1;
}

int EncodeInteger(std::uint8_t* pos, std::int64_t value, int size, bool isSigned, bool hex) {
    char text[kArgScratchSize] = {};
    char* end = text;
    if (hex) {
        // Signed values are widened to int first, so negative ones print all eight digits.
        const auto bits = isSigned ? static_cast<std::uint32_t>(static_cast<std::int32_t>(value))
                                   : static_cast<std::uint32_t>(value);
        char digits[16];
        char* dEnd = std::to_chars(digits, digits + sizeof digits, bits, 16).ptr;
        for (int pad = 2 * size - static_cast<int>(dEnd - digits); pad > 0; --pad)
            *end++ = '0';
        std::memcpy(end, digits, static_cast<std::size_t>(dEnd - digits));
        end += dEnd - digits;
    } else {
        end = std::to_chars(text, text + sizeof text, value).ptr;
    }
    return Finish(pos, text, end);
}

int EncodeFloat(std::uint8_t* pos, float value) {
    char text[kArgScratchSize] = {};
    // "%g": six significant digits, no trailing zeros, exponent only for extreme magnitudes.
    const char* end =
        std::to_chars(text, text + sizeof text, static_cast<double>(value), std::chars_format::general, 6)
            .ptr;
    return Finish(pos, text, end);
}

int CopyBigEndian(void* to, const void* from, int size) {
    std::uint8_t bytes[8];
    std::memcpy(bytes, from, static_cast<std::size_t>(size));
    if constexpr (std::endian::native == std::endian::little)
        ReverseBytes(bytes, size);
    std::memcpy(to, bytes, static_cast<std::size_t>(size));
    return size;
}

int DecodeInteger(const std::uint8_t* pos, std::int64_t& value, int size, bool isSigned, bool hex,
                  bool* converted) {
    (void)isSigned; // "%u" reads a sign too and wraps; both end up modulo the type's width
    const Token token = FindToken(pos);
    const char* p = SkipSpace(token.begin, token.end);
    bool ok = false;
    std::int64_t result = 0;
    if (hex) {
        const int maxDigits = 2 * size;
        std::uint64_t bits = 0;
        int digits = 0;
        while (p < token.end && digits < maxDigits && HexDigit(*p) >= 0) {
            bits = bits * 16 + static_cast<std::uint64_t>(HexDigit(*p));
            ++p;
            ++digits;
        }
        ok = digits > 0;
        result = static_cast<std::int64_t>(bits);
    } else {
        bool negative = false;
        if (p < token.end && (*p == '+' || *p == '-')) {
            negative = *p == '-';
            ++p;
        }
        std::uint64_t magnitude = 0;
        const auto [ptr, ec] = std::from_chars(p, token.end, magnitude);
        if (ec == std::errc() && ptr != p) {
            ok = true;
            result =
                negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
        }
    }
    value = ok ? result : 0;
    if (converted)
        *converted = ok;
    return token.consumed;
}

int DecodeFloat(const std::uint8_t* pos, float& value, bool* converted) {
    const Token token = FindToken(pos);
    const char* p = SkipSpace(token.begin, token.end);
    // from_chars takes a minus sign but no plus sign; formatted input takes both.
    if (p + 1 < token.end && *p == '+' && p[1] != '-' && p[1] != '+')
        ++p;
    float result = 0.0f;
    bool ok = false;
    const auto [ptr, ec] = std::from_chars(p, token.end, result, std::chars_format::general);
    if (ec == std::errc()) {
        ok = true;
    } else if (ec == std::errc::result_out_of_range) {
        // Too large or too small for a float: round the double, as formatted input would
        // (infinity or zero), unless even a double cannot hold it.
        double wide = 0.0;
        const auto [wPtr, wEc] = std::from_chars(p, token.end, wide, std::chars_format::general);
        if (wEc == std::errc()) {
            result = static_cast<float>(wide);
            ok = true;
        }
    }
    value = ok ? result : 0.0f;
    if (converted)
        *converted = ok;
    return token.consumed;
}

} // namespace argcodec_detail

int ReverseBytes(std::uint8_t* bytes, int n) {
    for (int i = 0; i < n / 2; ++i) {
        const std::uint8_t b = bytes[i];
        bytes[i] = bytes[n - 1 - i];
        bytes[n - 1 - i] = b;
    }
    return n / 2;
}
