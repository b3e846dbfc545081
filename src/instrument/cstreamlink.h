#pragma once

#include "instrument/cframelink.h"
#include "instrument/ustreamframing.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Where a byte-stream instrument is reached:
//   tcp://HOST:PORT                      a network bridge or qm4750-sim (HOST may be [v6 address])
//   serial:/dev/ttyUSB0[?baud=115200]    a serial line or pseudo-terminal, raw 8N1
struct _sStreamEndpoint {
    enum TKind { ekTcp, ekSerial };
    TKind Kind = ekTcp;
    std::string Host;       // tcp
    std::uint16_t Port = 0; // tcp
    std::string Device;     // serial
    int Baud = 115200;      // serial
    std::string Text;       // as written, trimmed

    // "tcp://127.0.0.1:4750 (network)", "serial:/dev/ttyUSB0 (serial, 115200 baud)": the port menu's
    // description.
    std::string Description() const;
};

// Reads an endpoint; false with a message saying what is wrong.
bool ParseStreamEndpoint(std::string_view text, _sStreamEndpoint& endpoint, std::string& error);

// What a stream link has seen since it was made (for the benchmark and the tests).
struct _sStreamStats {
    std::uint64_t FramesSent = 0;
    std::uint64_t RepliesTaken = 0;
    std::uint64_t StaleReplies = 0; // valid replies to an earlier request, skipped
    std::uint64_t SkippedBytes = 0; // garbage, damaged or incomplete frames
    std::uint64_t Timeouts = 0;     // receives that ended without the reply
    std::uint64_t Connects = 0;     // successful (re)connections, the first included
    std::uint64_t ConnectionsLost = 0;
};

// A frame link to one instrument over a byte stream (POSIX sockets and terminals), with the framing
// of ustreamframing.h. It has one interface, index 0.
//
// The connection is made by OpenIntr. When it is lost later (the server stopped, the cable was
// pulled) the link stays open for the command set: every exchange fails with a failed send or
// receive, and the next send tries to connect again, so a run goes on when the instrument is back.
// No call blocks longer than its time-out: RxFrame its argument in milliseconds, TxFrame (and a
// reconnection inside it) kSendTimeoutMs, OpenIntr kOpenTimeoutMs.
class CStreamLink : public CFrameLink {
public:
    static constexpr int kOpenTimeoutMs = 2000;
    static constexpr int kSendTimeoutMs = 500;

    explicit CStreamLink(_sStreamEndpoint endpoint);
    ~CStreamLink() override;
    CStreamLink(const CStreamLink&) = delete;
    CStreamLink& operator=(const CStreamLink&) = delete;

    void GetIntrCount(std::int32_t& count) override { count = 1; }
    void GetIntrDescription(std::int32_t index, char* text) override;
    bool OpenIntr(std::int32_t index) override;
    bool CloseIntr() override;
    void PurgeIntr() override;
    bool TxFrame(std::uint8_t id, std::uint8_t length, const std::uint8_t* payload) override;
    bool RxFrame(std::uint32_t timeout, std::uint8_t& statusA, std::uint8_t& statusB, std::uint8_t& id,
                 std::uint8_t& length, std::uint8_t* payload) override;

    const _sStreamEndpoint& GetEndpoint() const { return m_endpoint; }
    bool IsOpen() const { return m_open; }
    // A connection is up right now (it may still be found lost at the next exchange).
    bool IsConnected() const { return m_fd >= 0; }
    // Why the last connection attempt failed, or "".
    const std::string& GetLastError() const { return m_lastError; }
    _sStreamStats GetStats() const;

private:
    bool Connect(int timeoutMs);
    bool ConnectTcp(int timeoutMs);
    bool ConnectSerial();
    void Disconnect(bool lost);

    _sStreamEndpoint m_endpoint;
    int m_fd = -1;
    bool m_open = false;
    std::uint8_t m_seq = 0;
    CStreamScanner m_scanner{kStreamKindReply};
    std::vector<std::uint8_t> m_txBuffer;
    std::string m_lastError;
    _sStreamStats m_stats;
};

// The serial devices present on this machine (/dev/ttyUSB*, /dev/ttyACM*), sorted.
std::vector<std::string> ListSerialDevices(const std::filesystem::path& devFolder = "/dev");

// The `Endpoints` key of the `Link` section of the settings file: endpoints separated by ';'.
// A missing file, section or key gives an empty text.
std::string ReadLinkEndpoints(const std::filesystem::path& iniPath);

// One interface of the port list beyond the built-in simulator.
struct _sStreamInterface {
    std::string Description;
    std::unique_ptr<CFrameLink> Link;
};

// The stream interfaces in menu order: the endpoints of the settings text (';'-separated, blanks
// around each ignored), then the serial devices not already named there. Entries that do not
// parse are left out with a line in warnings.
std::vector<_sStreamInterface> MakeStreamInterfaces(std::string_view endpoints,
                                                    const std::vector<std::string>& serialDevices,
                                                    std::vector<std::string>& warnings);
