#pragma once

#include "instrument/ustreamframing.h"
#include "simulator/cqm4750sim.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// Faults of the line between the simulated instrument and the program, on top of the faults of
// the instrument itself. Rates are probabilities per reply (0 .. 1).
struct _sSimServerFaults {
    double DropRate = 0.0;       // the reply loses one of its bytes on the way
    double GarbleRate = 0.0;     // one byte of the reply is changed
    double GarbageRate = 0.0;    // 1 to 16 random bytes come before the reply
    double WrongIdRate = 0.0;    // the instrument answers with another frame id
    double BadPayloadRate = 0.0; // the instrument's reply payload is not an argument list
    int DelayMs = 0;             // replies are sent this late (real time)...
    double DelayRate = 1.0;      // ...with this probability each
    long long StallAfter = -1;   // after this many requests the instrument stops answering (-1: never)...
    int StallForMs = -1;         // ...for this long in real time (-1: for good)
};

// What the server has done (for its log and the tests).
struct _sSimServerStats {
    std::uint64_t Connections = 0;
    std::uint64_t Requests = 0;
    std::uint64_t Replies = 0;
    std::uint64_t Unanswered = 0; // stalled or the instrument's own no-reply fault
    std::uint64_t SkippedBytes = 0;
};

// The simulated instrument served on a byte stream with the framing of ustreamframing.h: a TCP
// listener (one client at a time; a new connection replaces the old one, as a restarted program
// reconnects before the old connection is noticed dead) or a pseudo-terminal. Single-threaded:
// Run polls until asked to stop.
class CSimServer {
public:
    CSimServer(CQm4750Sim& sim, _sSimServerFaults faults = {}, std::uint64_t seed = 1);
    ~CSimServer();
    CSimServer(const CSimServer&) = delete;
    CSimServer& operator=(const CSimServer&) = delete;

    // Listens on host:port (port 0: any free port). Returns "" or what went wrong.
    std::string Listen(const std::string& host, std::uint16_t port);
    // The port listened on (the one picked for port 0).
    std::uint16_t GetPort() const { return m_port; }
    // Creates a pseudo-terminal in raw mode; its path goes to path. Returns "" or what went wrong.
    std::string OpenPty(std::string& path);

    // Serves until stop becomes true (looked at least every 100 ms).
    void Run(const std::atomic<bool>& stop);

    // Changes the line faults (between runs or from the thread that runs the server).
    void SetFaults(const _sSimServerFaults& faults) { m_faults = faults; }
    _sSimServerStats GetStats() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        Clock::time_point Due;
        std::vector<std::uint8_t> Bytes;
    };

    void Accept();
    void CloseClient();
    void ReadClient();
    void HandleRequest(const _sStreamFrame& request);
    void SendDue();
    bool WriteAll(const std::vector<std::uint8_t>& bytes);
    bool Chance(double rate);
    std::uint32_t Random();

    CQm4750Sim& m_sim;
    _sSimServerFaults m_faults;
    std::uint64_t m_rng;
    int m_listenFd = -1;
    std::uint16_t m_port = 0;
    int m_clientFd = -1; // TCP client, or the pseudo-terminal's master side
    int m_ptySlave = -1; // held open so that the master never sees a hang-up between clients
    bool m_isPty = false;
    CStreamScanner m_scanner{kStreamKindRequest};
    std::deque<Pending> m_pending;
    bool m_stallStarted = false;
    Clock::time_point m_stallEnd{};
    _sSimServerStats m_stats;
};
