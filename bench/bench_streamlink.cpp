// The byte-stream link against qm4750-sim's server (run on a thread of this program): exchanges per
// second over TCP loopback and over a pseudo-terminal, and how long one acquisition tick blocks
// when the instrument answers, stops answering, or is gone.
#include "instrument/cqm4750device.h"
#include "instrument/cstreamlink.h"
#include "model/uglobal.h"
#include "sequencer/cacquisitionloop.h"
#include "simulator/csimclock.h"
#include "simulator/csimserver.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

namespace {

// A simulated instrument served on a thread for as long as the object lives.
class ServedSim {
public:
    explicit ServedSim(bool pty, _sSimServerFaults faults = {})
        : m_server(std::make_unique<CSimServer>(m_sim, faults)) {
        if (pty) {
            std::string path;
            m_server->OpenPty(path);
            m_endpoint = "serial:" + path;
        } else {
            m_server->Listen("127.0.0.1", 0);
            m_endpoint = "tcp://127.0.0.1:" + std::to_string(m_server->GetPort());
        }
        m_thread = std::thread([this] { m_server->Run(m_stop); });
    }
    ~ServedSim() { Stop(); }
    // Stops serving and closes the listener and the connection, as a server that exits.
    void Stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        m_server.reset();
    }
    std::unique_ptr<CStreamLink> Link() const {
        _sStreamEndpoint endpoint;
        std::string error;
        ParseStreamEndpoint(m_endpoint, endpoint, error);
        return std::make_unique<CStreamLink>(endpoint);
    }

private:
    CRealTimeClock m_clock{100.0};
    CQm4750Sim m_sim{m_clock};
    std::unique_ptr<CSimServer> m_server;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::string m_endpoint;
};

// One exchange: frame 7 out, its reply (five hex bytes) back and decoded.
void BM_Exchange(benchmark::State& state, bool pty) {
    ServedSim served(pty);
    auto link = served.Link();
    CQm4750Device device(*link);
    if (!device.Open(0)) {
        state.SkipWithError("cannot connect");
        return;
    }
    std::array<std::uint8_t, 5> cycle{};
    std::int64_t failed = 0;
    for (auto _ : state)
        failed += device.ReadCycleState(cycle) ? 0 : 1;
    state.counters["exchanges/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["failed"] = static_cast<double>(failed);
}
BENCHMARK_CAPTURE(BM_Exchange, tcp_loopback, false)->UseRealTime();
BENCHMARK_CAPTURE(BM_Exchange, pty, true)->UseRealTime();

// One acquisition tick as the window's timer makes it. "answering": frames 7, 8 and 5 (or 7 alone
// while a cycle converts); "silent": the server holds the connection but never answers (a hung
// instrument, a bridge whose far side is gone); "gone": the server has stopped and connecting is
// refused.
enum TTickCase { tcAnswering, tcSilent, tcGone };

void BM_Tick(benchmark::State& state, TTickCase which) {
    _sSimServerFaults faults;
    if (which == tcSilent)
        faults.StallAfter = 1; // SendConnect is answered, nothing after it
    ServedSim served(false, faults);
    auto link = served.Link();
    GlobalValue g(std::filesystem::temp_directory_path() / "qm4750-bench-absent.INI");
    g.bWriteBackAtExit = false;
    CQm4750Device device(*link);
    if (!device.Open(0)) {
        state.SkipWithError("cannot connect");
        return;
    }
    device.SendConnect(1);
    if (which == tcGone)
        served.Stop();
    const auto start = std::chrono::steady_clock::now();
    CAcquisitionLoop loop(g, device, [start] {
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                .count());
    });
    std::int64_t answered = 0;
    for (auto _ : state)
        answered += loop.Tick().bStateRead ? 1 : 0;
    state.counters["answered"] = static_cast<double>(answered);
}
BENCHMARK_CAPTURE(BM_Tick, answering, tcAnswering)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Tick, silent, tcSilent)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK_CAPTURE(BM_Tick, gone, tcGone)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
