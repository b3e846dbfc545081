#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// The framing of request and reply frames on a byte stream (TCP, serial line, pseudo-terminal):
//
//   request  A5 51 SEQ ID LEN PAYLOAD[LEN]         CRC_HI CRC_LO
//   reply    A5 52 SEQ SA SB ID LEN PAYLOAD[LEN]   CRC_HI CRC_LO     (LEN at most 128)
//
// SEQ is chosen by the sender of a request and echoed in its reply, so that a reply that arrives
// after its exchange has given up is never taken for the reply to a later request. The CRC is
// CRC-16/CCITT-FALSE (polynomial 0x1021, initial value 0xFFFF, no reflection, no final XOR) over
// every byte from the marker A5 up to the last payload byte, sent high byte first.
//
// A receiver finds frames by the marker and the kind byte and accepts one only when its length is
// in range and its CRC matches; anything else is skipped a byte at a time, so it resynchronises
// after garbage, a lost byte or a changed byte.

inline constexpr std::uint8_t kStreamMarker = 0xA5;
inline constexpr std::uint8_t kStreamKindRequest = 0x51; // 'Q'
inline constexpr std::uint8_t kStreamKindReply = 0x52;   // 'R'
inline constexpr std::size_t kStreamRequestOverhead = 7; // marker, kind, seq, id, len, CRC
inline constexpr std::size_t kStreamReplyOverhead = 9;   // and the two status bytes
inline constexpr std::size_t kStreamMaxRequestPayload = 255;
inline constexpr std::size_t kStreamMaxReplyPayload = 128;

// CRC-16/CCITT-FALSE of data; "123456789" gives 0x29B1.
std::uint16_t StreamCrc16(const std::uint8_t* data, std::size_t length);

// One frame as it travels, request or reply (a request has no status bytes).
struct _sStreamFrame {
    std::uint8_t Seq = 0;
    std::uint8_t StatusA = 0;
    std::uint8_t StatusB = 0;
    std::uint8_t Id = 0;
    std::uint8_t Length = 0;
    std::array<std::uint8_t, kStreamMaxRequestPayload> Payload{};
};

// Appends the encoded frame to out. A reply payload longer than kStreamMaxReplyPayload is cut
// there (the receiving side could not take more).
void EncodeStreamRequest(std::uint8_t seq, std::uint8_t id, std::uint8_t length, const std::uint8_t* payload,
                         std::vector<std::uint8_t>& out);
void EncodeStreamReply(std::uint8_t seq, std::uint8_t statusA, std::uint8_t statusB, std::uint8_t id,
                       std::uint8_t length, const std::uint8_t* payload, std::vector<std::uint8_t>& out);

// Finds whole frames of one kind in the bytes fed to it. Its buffer is bounded: bytes that cannot
// start a frame are dropped as they come, so garbage never makes it grow.
class CStreamScanner {
public:
    explicit CStreamScanner(std::uint8_t kind);

    void Feed(const std::uint8_t* data, std::size_t length);
    // Takes the next whole, valid frame; false when none is complete yet.
    bool Next(_sStreamFrame& frame);
    // Forgets every byte fed so far (a purge of the link).
    void Clear() { m_buffer.clear(); }

    // Bytes skipped because they did not belong to a valid frame, since construction.
    std::uint64_t GetSkippedBytes() const { return m_skipped; }
    std::size_t GetBufferedBytes() const { return m_buffer.size(); }

private:
    enum class TCheck { Incomplete, Invalid, Valid };
    TCheck CheckAt(std::size_t pos, std::size_t& frameSize) const;
    void Drop(std::size_t count);
    std::size_t HeaderSize() const;
    std::size_t MaxPayload() const;

    std::uint8_t m_kind;
    std::vector<std::uint8_t> m_buffer;
    std::uint64_t m_skipped = 0;
};
