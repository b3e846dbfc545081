#include "instrument/uargcodec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

// Selects the binary wire form for the lifetime of the object.
struct BinaryForm {
    BinaryForm() { ArgTextMode = 0; }
    ~BinaryForm() { ArgTextMode = 1; }
};

template <typename T> std::string Encode(T value, bool hex = false) {
    std::uint8_t buffer[64];
    std::memset(buffer, 0xAA, sizeof buffer);
    const int n = EncodeArg(buffer, value, hex);
    return std::string(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n));
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02X ", c);
        out += b;
    }
    if (!out.empty())
        out.pop_back();
    return out;
}

TEST(ArgCodecText, EncodesEveryTypeWithOneTrailingBlank) {
    EXPECT_EQ(Encode<std::uint16_t>(8), "8 ");
    EXPECT_EQ(Encode<std::uint16_t>(65535), "65535 ");
    EXPECT_EQ(Encode<std::int16_t>(-5), "-5 ");
    EXPECT_EQ(Encode<std::uint32_t>(4294967295u), "4294967295 ");
    EXPECT_EQ(Encode<std::int32_t>(-2147483647 - 1), "-2147483648 ");
    EXPECT_EQ(Encode<std::uint8_t>(200), "200 "); // no sign extension
    EXPECT_EQ(Encode<signed char>(-56), "-56 ");
    EXPECT_EQ(Encode<char>('A'), "65 ");
    EXPECT_EQ(Encode(40.0f), "40 ");
    EXPECT_EQ(Encode(26.84f), "26.84 ");
    EXPECT_EQ(Encode(2.0f), "2 ");
    EXPECT_EQ(Encode(1234567.0f), "1.23457e+06 ");
    EXPECT_EQ(Encode(3.66211e-06f), "3.66211e-06 ");
    EXPECT_EQ(Encode(-0.5f), "-0.5 ");
    EXPECT_EQ(Encode(0.0001f), "0.0001 ");
}

TEST(ArgCodecText, HexUsesTwoDigitsPerByteAndWidensSignedValues) {
    EXPECT_EQ(Encode<std::uint8_t>(0x31, true), "31 ");
    EXPECT_EQ(Encode<std::uint8_t>(7, true), "07 ");
    EXPECT_EQ(Encode<std::uint16_t>(0xAB, true), "00ab ");
    EXPECT_EQ(Encode<std::uint32_t>(0x1234, true), "00001234 ");
    EXPECT_EQ(Encode<signed char>(-1, true), "ffffffff "); // widened to int, printed in full
    EXPECT_EQ(Encode(1.5f, true), "1.5 ");                 // floats have no hex form
}

TEST(ArgCodecText, ArgumentsFollowEachOther) {
    std::uint8_t buffer[64] = {};
    std::uint8_t* pos = buffer;
    pos += EncodeArg<std::uint16_t>(pos, 8);
    pos += EncodeArg(pos, 40.0f);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), "8 40 ");
    EXPECT_EQ(pos - buffer, 5);

    pos = buffer;
    pos += EncodeArg<std::uint8_t>(pos, 0);
    pos += EncodeArg<std::uint8_t>(pos, 0);
    pos += EncodeArg(pos, 26.84f);
    pos += EncodeArg(pos, 2.0f);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), "0 0 26.84 2 ");
    EXPECT_EQ(pos - buffer, 12);
}

TEST(ArgCodecText, TypesOutsideTheRulesAreRefused) {
    std::uint8_t buffer[8] = {1, 2, 3};
    EXPECT_EQ(EncodeArg(buffer, 1.0), 0); // double
    EXPECT_EQ(EncodeArg<std::int64_t>(buffer, 5), 0);
    EXPECT_EQ(buffer[0], 1);
    double d = 7.0;
    EXPECT_EQ(DecodeArg(buffer, d), 0);
    EXPECT_EQ(d, 7.0);
}

struct FloatCase {
    const char* Input;
    int Consumed;
    float Value;
    bool Converted;
};

TEST(ArgCodecText, DecodesFloatTokens) {
    const FloatCase cases[] = {
        {"  25.5 1a", 6, 25.5f, true},
        {"3;4", 1, 3.0f, true},
        {";4", 0, 0.0f, false},      // empty token before the semicolon
        {"", 0, 0.0f, false},        // end of the reply
        {"   ", 3, 0.0f, false},     // only blanks
        {"12abc 5", 5, 12.0f, true}, // conversion stops at the first misfit
        {"abc 5", 3, 0.0f, false},   // unconvertible token
        {"-53.1612 x", 8, -53.1612f, true},
        {"+2.5", 4, 2.5f, true},
        {"1.23457e+06", 11, 1234570.0f, true},
        {"1e50", 4, INFINITY, true}, // beyond float: infinity, as formatted input gives
        {"\t7", 2, 7.0f, true},
    };
    for (const FloatCase& c : cases) {
        float value = -99.0f;
        bool converted = !c.Converted;
        const int used = DecodeArg(reinterpret_cast<const std::uint8_t*>(c.Input), value, false, &converted);
        EXPECT_EQ(used, c.Consumed) << c.Input;
        EXPECT_EQ(value, c.Value) << c.Input;
        EXPECT_EQ(converted, c.Converted) << c.Input;
    }
}

struct IntCase {
    const char* Input;
    bool Hex;
    int Consumed;
    long long Value;
    bool Converted;
};

// Decodes every case into a T that starts at 99.
template <typename T, std::size_t N> void ExpectIntCases(const IntCase (&cases)[N]) {
    for (const IntCase& c : cases) {
        T value = 99;
        bool converted = !c.Converted;
        EXPECT_EQ(DecodeArg(reinterpret_cast<const std::uint8_t*>(c.Input), value, c.Hex, &converted),
                  c.Consumed)
            << c.Input;
        EXPECT_EQ(value, c.Value) << c.Input;
        EXPECT_EQ(converted, c.Converted) << c.Input;
    }
}

TEST(ArgCodecText, DecodesIntegerTokens) {
    const IntCase bytes[] = {
        {" 1a", true, 3, 26, true},   {"31 20", true, 2, 0x31, true},
        {"fff", true, 3, 0xff, true}, // a hex byte reads at most two digits
        {"zz", true, 2, 0, false},    {"200", false, 3, 200, true},
        {"300", false, 3, 44, true}, // the converted integer is stored in the byte
        {"-1", false, 2, 255, true},  {"", false, 0, 0, false},
    };
    ExpectIntCases<std::uint8_t>(bytes);
    const IntCase words[] = {
        {"65535", false, 5, 65535, true}, {"-1", false, 2, 65535, true},
        {"0012ab", true, 6, 0x12, true},  {"12ab", true, 4, 0x12ab, true},
        {"12abc", false, 5, 12, true},    {"99999999999999999999", false, 20, 0, false},
    };
    ExpectIntCases<std::uint16_t>(words);
    std::int32_t s = 0;
    EXPECT_EQ(DecodeArg(reinterpret_cast<const std::uint8_t*>("-2147483648"), s), 11);
    EXPECT_EQ(s, -2147483647 - 1);
}

TEST(ArgCodecText, ReadsAReplyArgumentByArgument) {
    const char* reply = "  25.5 1a;";
    const auto* pos = reinterpret_cast<const std::uint8_t*>(reply);
    float f = 0;
    std::uint8_t b = 0;
    pos += DecodeArg(pos, f);
    pos += DecodeArg(pos, b, true);
    EXPECT_EQ(f, 25.5f);
    EXPECT_EQ(b, 26);
    EXPECT_EQ(pos - reinterpret_cast<const std::uint8_t*>(reply), 9);
    EXPECT_EQ(DecodeArg(pos, f), 0); // the semicolon ends the list for good
}

TEST(ArgCodecText, StopsAtTheScratchLimitWithoutATerminator) {
    std::uint8_t input[kArgScratchSize];
    std::memset(input, '7', sizeof input); // no zero anywhere: read no further than the limit
    float value = 0;
    EXPECT_EQ(DecodeArg(input, value), kArgScratchSize);
}

TEST(ArgCodecText, RoundTripsTheValuesOfTheWire) {
    for (float v : {0.0f, 26.84f, -53.1612f, 1500.0f, 3.66211e-06f, 711.111f, 1e30f}) {
        float back = 0;
        const std::string text = Encode(v) + "\0";
        DecodeArg(reinterpret_cast<const std::uint8_t*>(text.c_str()), back);
        EXPECT_NEAR(back, v, std::abs(v) * 1e-6) << text;
    }
}

TEST(ArgCodecBinary, BigEndianBytes) {
    BinaryForm binary;
    EXPECT_EQ(Hex(Encode<std::uint16_t>(8) + Encode(40.0f)), "00 08 42 20 00 00");
    EXPECT_EQ(Hex(Encode(26.84f)), "41 D6 B8 52");
    EXPECT_EQ(Hex(Encode<std::uint8_t>(0x31, true)), "31"); // hex flag has no effect
    EXPECT_EQ(Hex(Encode<std::int32_t>(-2)), "FF FF FF FE");

    const std::uint8_t wire[] = {0x41, 0xD6, 0xB8, 0x52, 0x00, 0x08};
    float f = 0;
    std::uint16_t u = 0;
    EXPECT_EQ(DecodeArg(wire, f), 4);
    EXPECT_EQ(f, 26.84f);
    EXPECT_EQ(DecodeArg(wire + 4, u, true), 2);
    EXPECT_EQ(u, 8);
}

TEST(ArgCodec, ReverseBytes) {
    std::uint8_t four[] = {1, 2, 3, 4};
    EXPECT_EQ(ReverseBytes(four, 4), 2);
    EXPECT_EQ(four[0], 4);
    EXPECT_EQ(four[1], 3);
    EXPECT_EQ(four[2], 2);
    EXPECT_EQ(four[3], 1);
    std::uint8_t one[] = {9};
    EXPECT_EQ(ReverseBytes(one, 1), 0);
    EXPECT_EQ(one[0], 9);
    std::uint8_t three[] = {1, 2, 3};
    EXPECT_EQ(ReverseBytes(three, 3), 1);
    EXPECT_EQ(three[0], 3);
    EXPECT_EQ(three[2], 1);
}

} // namespace
