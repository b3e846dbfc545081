#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>

// Encoding of the typed arguments of instrument frames, in one of two wire forms:
// - text: "%d " / "%u " / "%g " (or a fixed-width lower-case hex number and a blank); a reply
//   token ends before a blank or a semicolon;
// - binary: the value's bytes, most significant first.
// Numbers are formatted and parsed without regard to the process locale.

// Program-wide form switch: 1 selects the text form, anything else the binary form. Both ends of
// a link must use the same form. The program never changes it; tests do.
inline std::uint8_t ArgTextMode = 1;

// Size of the codec's scratch buffers; decoders read at most this many input bytes.
inline constexpr int kArgScratchSize = 260;

// Reverses n bytes in place; returns n / 2 (the number of swaps).
int ReverseBytes(std::uint8_t* bytes, int n);

// The argument types of the wire: 8-, 16- and 32-bit integers (signed or unsigned; char counts
// as an 8-bit integer) and single-precision floats.
template <typename T>
inline constexpr bool kIsArgType = std::is_same_v<T, float> ||
                                   (std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                    (sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4));

namespace argcodec_detail {
int EncodeInteger(std::uint8_t* pos, std::int64_t value, int size, bool isSigned, bool hex);
int EncodeFloat(std::uint8_t* pos, float value);
// Copies a value of size bytes between memory and the wire, reversing the byte order on a
// little-endian machine (the same operation in both directions); returns size.
int CopyBigEndian(void* to, const void* from, int size);
int DecodeInteger(const std::uint8_t* pos, std::int64_t& value, int size, bool isSigned, bool hex,
                  bool* converted);
int DecodeFloat(const std::uint8_t* pos, float& value, bool* converted);
bool TextMode();
} // namespace argcodec_detail

// Writes value at pos and returns the number of payload bytes it occupies. Text form: the number,
// one blank and a terminating zero that is not counted (the caller leaves room for the longest
// text); binary form: sizeof(T) bytes, hex ignored. A type outside kIsArgType writes nothing and
// returns 0.
template <typename T> int EncodeArg(std::uint8_t* pos, T value, bool hex = false) {
    namespace d = argcodec_detail;
    if constexpr (!kIsArgType<T>) {
        return 0;
    } else if (!d::TextMode()) {
        return d::CopyBigEndian(pos, &value, static_cast<int>(sizeof(T)));
    } else if constexpr (std::is_same_v<T, float>) {
        return d::EncodeFloat(pos, value);
    } else {
        return d::EncodeInteger(pos, static_cast<std::int64_t>(value), static_cast<int>(sizeof(T)),
                                std::is_signed_v<T>, hex);
    }
}

// Reads one value at pos and returns the number of payload bytes consumed.
// Text form: pos must hold a zero within kArgScratchSize bytes. Leading blanks are skipped; the
// token runs to the next blank, semicolon or zero; the count covers the blanks and the token, not
// the character that ended it. Conversion stops at the first character that does not fit (12abc
// reads 12; a hex byte reads at most two digits). An empty or unconvertible token stores 0 and
// still returns its count; *converted (when given) tells whether a number was read.
// Binary form: sizeof(T) bytes, most significant first; hex ignored; *converted is set.
// A type outside kIsArgType stores nothing and returns 0.
template <typename T>
int DecodeArg(const std::uint8_t* pos, T& value, bool hex = false, bool* converted = nullptr) {
    namespace d = argcodec_detail;
    if constexpr (!kIsArgType<T>) {
        if (converted)
            *converted = false;
        return 0;
    } else if (!d::TextMode()) {
        if (converted)
            *converted = true;
        return d::CopyBigEndian(&value, pos, static_cast<int>(sizeof(T)));
    } else if constexpr (std::is_same_v<T, float>) {
        return d::DecodeFloat(pos, value, converted);
    } else {
        std::int64_t wide = 0;
        const int used =
            d::DecodeInteger(pos, wide, static_cast<int>(sizeof(T)), std::is_signed_v<T>, hex, converted);
        value = static_cast<T>(wide); // narrower types keep the low bits, as formatted input does
        return used;
    }
}

// Reads the arguments of a received payload one after the other and remembers whether every one
// arrived and was a (finite) number, so that a short or damaged payload is never taken for data.
// Text form: data must hold a zero at data[length]. Binary form: nothing is read beyond length; an
// argument that does not fit stores T{}.
class CArgReader {
public:
    CArgReader(const std::uint8_t* data, int length) : m_data(data), m_length(length) {}

    template <typename T> void Get(T& value, bool hex = false) {
        if (!argcodec_detail::TextMode() && m_pos + static_cast<int>(sizeof(T)) > m_length) {
            value = T{};
            m_complete = false;
            return;
        }
        bool converted = false;
        m_pos += DecodeArg(m_data + m_pos, value, hex, &converted);
        if constexpr (std::is_floating_point_v<T>)
            converted = converted && std::isfinite(value);
        m_complete = m_complete && converted;
    }
    bool Complete() const { return m_complete; }

private:
    const std::uint8_t* m_data;
    int m_length;
    int m_pos = 0;
    bool m_complete = true;
};
