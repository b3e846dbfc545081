#include "instrument/ustreamframing.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned n = 0; n < 256; ++n) {
        std::uint16_t crc = static_cast<std::uint16_t>(n << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        table[n] = crc;
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kCrcTable = MakeCrcTable();

void AppendCrc(std::vector<std::uint8_t>& out, std::size_t frameStart) {
    const std::uint16_t crc = StreamCrc16(out.data() + frameStart, out.size() - frameStart);
    out.push_back(static_cast<std::uint8_t>(crc >> 8));
    out.push_back(static_cast<std::uint8_t>(crc & 0xFF));
}

} // namespace

std::uint16_t StreamCrc16(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i)
        crc = static_cast<std::uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}

void EncodeStreamRequest(std::uint8_t seq, std::uint8_t id, std::uint8_t length, const std::uint8_t* payload,
                         std::vector<std::uint8_t>& out) {
    const std::size_t start = out.size();
    out.insert(out.end(), {kStreamMarker, kStreamKindRequest, seq, id, length});
    out.insert(out.end(), payload, payload + length);
    AppendCrc(out, start);
}

void EncodeStreamReply(std::uint8_t seq, std::uint8_t statusA, std::uint8_t statusB, std::uint8_t id,
                       std::uint8_t length, const std::uint8_t* payload, std::vector<std::uint8_t>& out) {
    length = static_cast<std::uint8_t>(std::min<std::size_t>(length, kStreamMaxReplyPayload));
    const std::size_t start = out.size();
    out.insert(out.end(), {kStreamMarker, kStreamKindReply, seq, statusA, statusB, id, length});
    out.insert(out.end(), payload, payload + length);
    AppendCrc(out, start);
}

CStreamScanner::CStreamScanner(std::uint8_t kind) : m_kind(kind) {
    m_buffer.reserve(1024);
}

std::size_t CStreamScanner::HeaderSize() const {
    return m_kind == kStreamKindReply ? 7 : 5;
}

std::size_t CStreamScanner::MaxPayload() const {
    return m_kind == kStreamKindReply ? kStreamMaxReplyPayload : kStreamMaxRequestPayload;
}

void CStreamScanner::Feed(const std::uint8_t* data, std::size_t length) {
    m_buffer.insert(m_buffer.end(), data, data + length);
}

void CStreamScanner::Drop(std::size_t count) {
    count = std::min(count, m_buffer.size());
    m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(count));
}

CStreamScanner::TCheck CStreamScanner::CheckAt(std::size_t pos, std::size_t& frameSize) const {
    const std::size_t available = m_buffer.size() - pos;
    if (available >= 1 && m_buffer[pos] != kStreamMarker)
        return TCheck::Invalid;
    if (available >= 2 && m_buffer[pos + 1] != m_kind)
        return TCheck::Invalid;
    const std::size_t header = HeaderSize();
    if (available < header)
        return TCheck::Incomplete;
    const std::size_t length = m_buffer[pos + header - 1];
    if (length > MaxPayload())
        return TCheck::Invalid;
    frameSize = header + length + 2;
    if (available < frameSize)
        return TCheck::Incomplete;
    const std::uint16_t crc = StreamCrc16(m_buffer.data() + pos, header + length);
    const std::uint16_t sent = static_cast<std::uint16_t>((m_buffer[pos + header + length] << 8) |
                                                          m_buffer[pos + header + length + 1]);
    return crc == sent ? TCheck::Valid : TCheck::Invalid;
}

bool CStreamScanner::Next(_sStreamFrame& frame) {
    for (;;) {
        // Everything before the first possible frame start is garbage.
        std::size_t start = 0;
        std::size_t size = 0;
        TCheck check = TCheck::Invalid;
        while (start < m_buffer.size() && (check = CheckAt(start, size)) == TCheck::Invalid)
            ++start;
        m_skipped += start;
        Drop(start);
        if (m_buffer.empty())
            return false;

        if (check == TCheck::Valid) {
            const std::size_t header = HeaderSize();
            frame = _sStreamFrame{};
            frame.Seq = m_buffer[2];
            if (m_kind == kStreamKindReply) {
                frame.StatusA = m_buffer[3];
                frame.StatusB = m_buffer[4];
            }
            frame.Id = m_buffer[header - 2];
            frame.Length = m_buffer[header - 1];
            std::memcpy(frame.Payload.data(), m_buffer.data() + header, frame.Length);
            Drop(size);
            return true;
        }
        // The frame at the start is incomplete (the scan above left no invalid start). Its length byte may
        // have been damaged, in which case it would wait for bytes that never come: a whole valid frame
        // further on wins.
        bool later = false;
        for (std::size_t pos = 1; pos < m_buffer.size() && !later; ++pos) {
            std::size_t laterSize = 0;
            if (m_buffer[pos] == kStreamMarker && CheckAt(pos, laterSize) == TCheck::Valid) {
                m_skipped += pos;
                Drop(pos);
                later = true;
            }
        }
        if (!later)
            return false;
    }
}
