// The framing of the stream link, endpoints and the interface list, in-process.

#include "instrument/cstreamlink.h"
#include "instrument/ustreamframing.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Reply(std::uint8_t seq, std::uint8_t id, const std::string& payload, std::uint8_t statusB = 0x08) {
    Bytes out;
    EncodeStreamReply(seq, 0x01, statusB, id, static_cast<std::uint8_t>(payload.size()),
                      reinterpret_cast<const std::uint8_t*>(payload.data()), out);
    return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The sequence numbers of the replies found in stream, fed in chunks of the given size.
std::vector<int> Scan(const Bytes& stream, std::size_t chunk = 1 << 20) {
    CStreamScanner scanner(kStreamKindReply);
    std::vector<int> found;
    _sStreamFrame frame;
    for (std::size_t pos = 0; pos < stream.size(); pos += chunk) {
        scanner.Feed(stream.data() + pos, std::min(chunk, stream.size() - pos));
        while (scanner.Next(frame))
            found.push_back(frame.Seq);
    }
    return found;
}

TEST(StreamFraming, CrcAndLayoutAreWhatABridgeImplements) {
    const std::string check = "123456789";
    EXPECT_EQ(StreamCrc16(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0x29B1);

    // ReadCycleState, sequence 7: A5 51 07 07 00, then the CRC of those five bytes.
    Bytes request;
    EncodeStreamRequest(7, 7, 0, nullptr, request);
    ASSERT_EQ(request.size(), 7u);
    EXPECT_EQ(Bytes(request.begin(), request.begin() + 5), (Bytes{0xA5, 0x51, 0x07, 0x07, 0x00}));
    const std::uint16_t crc = StreamCrc16(request.data(), 5);
    EXPECT_EQ(request[5], crc >> 8);
    EXPECT_EQ(request[6], crc & 0xFF);

    const Bytes reply = Reply(9, 8, "25 26 ");
    ASSERT_EQ(reply.size(), 9u + 6u);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 7), (Bytes{0xA5, 0x52, 9, 0x01, 0x08, 8, 6}));

    CStreamScanner scanner(kStreamKindReply);
    scanner.Feed(reply.data(), reply.size());
    _sStreamFrame frame;
    ASSERT_TRUE(scanner.Next(frame));
    EXPECT_EQ(frame.Seq, 9);
    EXPECT_EQ(frame.StatusA, 0x01);
    EXPECT_EQ(frame.StatusB, 0x08);
    EXPECT_EQ(frame.Id, 8);
    EXPECT_EQ(std::string(frame.Payload.begin(), frame.Payload.begin() + frame.Length), "25 26 ");
    EXPECT_FALSE(scanner.Next(frame));

    // A request is not a reply, and the other way round.
    CStreamScanner requests(kStreamKindRequest);
    requests.Feed(reply.data(), reply.size());
    EXPECT_FALSE(requests.Next(frame));
    requests.Feed(request.data(), request.size());
    ASSERT_TRUE(requests.Next(frame));
    EXPECT_EQ(frame.Id, 7);
}

TEST(StreamFraming, ReceiverResynchronisesAfterDamage) {
    const Bytes a = Reply(1, 7, "00 00 00 00 00 ");
    const Bytes b = Reply(2, 8, "25 26 1500 40 ");
    const Bytes c = Reply(3, 5, "");
    auto without = [](Bytes frame, std::size_t index) {
        frame.erase(frame.begin() + static_cast<std::ptrdiff_t>(index));
        return frame;
    };
    auto changed = [](Bytes frame, std::size_t index) {
        frame[index] ^= 0x5A;
        return frame;
    };
    struct Case {
        const char* name;
        Bytes stream;
        std::vector<int> found;
    };
    const std::vector<Case> cases = {
        {"clean", Cat({a, b, c}), {1, 2, 3}},
        {"garbage first", Cat({{0x00, 0xFF, 0xA5, 0x13, 0xA5}, a, b}), {1, 2}},
        {"garbage between", Cat({a, {'x', 'y', 0xA5, 0x52}, b}), {1, 2}},
        {"lost payload byte", Cat({without(b, 9), c}), {3}},
        {"lost marker", Cat({without(a, 0), b}), {2}},
        {"lost CRC byte", Cat({without(a, a.size() - 1), b, c}), {2, 3}},
        {"changed payload byte", Cat({changed(b, 10), c}), {3}},
        {"changed status byte", Cat({changed(a, 4), b}), {2}},
        // A damaged length that promises more than follows must not hide the replies behind it.
        {"length made long", Cat({changed(a, 6), b, c}), {2, 3}},
        {"length over 128", Cat({{0xA5, 0x52, 0, 0, 0, 7, 200}, c}), {3}},
        {"a truncated frame at the end", Cat({a, Bytes(b.begin(), b.begin() + 8)}), {1}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(Scan(k.stream), k.found);
        EXPECT_EQ(Scan(k.stream, 1), k.found) << "fed a byte at a time";
        EXPECT_EQ(Scan(k.stream, 5), k.found) << "fed five bytes at a time";
    }
}

TEST(StreamFraming, GarbageDoesNotGrowTheBuffer) {
    CStreamScanner scanner(kStreamKindReply);
    _sStreamFrame frame;
    Bytes noise(4096);
    std::uint32_t x = 12345;
    for (std::uint8_t& byte : noise) {
        x = x * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(x >> 16);
    }
    for (int round = 0; round < 200; ++round) {
        scanner.Feed(noise.data(), noise.size());
        while (scanner.Next(frame)) {
        }
        EXPECT_LE(scanner.GetBufferedBytes(), kStreamReplyOverhead + kStreamMaxReplyPayload);
    }
    const Bytes good = Reply(42, 7, "0 ");
    scanner.Feed(good.data(), good.size());
    bool found = false;
    while (scanner.Next(frame))
        found = found || frame.Seq == 42;
    EXPECT_TRUE(found);
}

TEST(StreamEndpoints, ParsedOrRefused) {
    struct Case {
        const char* text;
        bool ok;
        _sStreamEndpoint::TKind kind;
        const char* where; // host or device
        int portOrBaud;
    };
    const Case cases[] = {
        {"tcp://127.0.0.1:4750", true, _sStreamEndpoint::ekTcp, "127.0.0.1", 4750},
        {"  tcp://localhost:1  ", true, _sStreamEndpoint::ekTcp, "localhost", 1},
        {"tcp://[::1]:4750", true, _sStreamEndpoint::ekTcp, "::1", 4750},
        {"serial:/dev/ttyUSB0", true, _sStreamEndpoint::ekSerial, "/dev/ttyUSB0", 115200},
        {"serial:/dev/ttyACM1?baud=9600", true, _sStreamEndpoint::ekSerial, "/dev/ttyACM1", 9600},
        {"tcp://127.0.0.1", false, {}, "", 0},
        {"tcp://:4750", false, {}, "", 0},
        {"tcp://127.0.0.1:0", false, {}, "", 0},
        {"tcp://127.0.0.1:65536", false, {}, "", 0},
        {"tcp://127.0.0.1:47x", false, {}, "", 0},
        {"tcp://[::1:4750", false, {}, "", 0},
        {"serial:", false, {}, "", 0},
        {"serial:ttyUSB0", false, {}, "", 0},
        {"serial:/dev/ttyUSB0?baud=12345", false, {}, "", 0},
        {"serial:/dev/ttyUSB0?speed=9600", false, {}, "", 0},
        {"udp://127.0.0.1:4750", false, {}, "", 0},
        {"", false, {}, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        _sStreamEndpoint e;
        std::string error;
        ASSERT_EQ(ParseStreamEndpoint(c.text, e, error), c.ok) << error;
        if (!c.ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(e.Kind, c.kind);
        if (c.kind == _sStreamEndpoint::ekTcp) {
            EXPECT_EQ(e.Host, c.where);
            EXPECT_EQ(e.Port, c.portOrBaud);
        } else {
            EXPECT_EQ(e.Device, c.where);
            EXPECT_EQ(e.Baud, c.portOrBaud);
        }
    }
}

// The port list after the built-in simulator: the settings' endpoints in their order, then the
// serial devices not named there; bad entries are reported and left out.
TEST(StreamEndpoints, InterfaceListFromSettingsAndDevices) {
    TempDir dir;
    TempDir::Write(dir / "qm4750.INI", "[Timers]\nTimer1000TimeOut = 500\n[link]\nendpoints = "
                                       "tcp://127.0.0.1:4750 ; serial:/dev/ttyUSB1?baud=9600;;bogus\n");
    const std::string text = ReadLinkEndpoints(dir / "qm4750.INI");
    EXPECT_EQ(ReadLinkEndpoints(dir / "absent.INI"), "");

    for (const char* name : {"ttyUSB1", "ttyACM0", "ttyUSB0", "ttyS0", "null"})
        TempDir::Write(dir / name, "");
    const std::vector<std::string> devices = ListSerialDevices(dir.Path());
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0], (dir / "ttyACM0").string());

    std::vector<std::string> warnings;
    const std::vector<_sStreamInterface> list =
        MakeStreamInterfaces(text, {"/dev/ttyACM0", "/dev/ttyUSB1"}, warnings);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].Description, "tcp://127.0.0.1:4750 (network)");
    EXPECT_EQ(list[1].Description, "serial:/dev/ttyUSB1?baud=9600 (serial, 9600 baud)");
    EXPECT_EQ(list[2].Description, "serial:/dev/ttyACM0 (serial, 115200 baud)");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("bogus"), std::string::npos);

    // Each interface is a link of its own with one entry, described as in the list.
    std::int32_t count = 0;
    list[0].Link->GetIntrCount(count);
    EXPECT_EQ(count, 1);
    char description[CFrameLink::kDescriptionSize] = {};
    list[0].Link->GetIntrDescription(0, description);
    EXPECT_STREQ(description, "tcp://127.0.0.1:4750 (network)");
}

} // namespace
