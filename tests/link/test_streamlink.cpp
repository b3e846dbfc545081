// The stream link against a real qm4750-sim process, on TCP loopback and on a pseudo-terminal.
// Every loop is bounded in ticks and in time; servers die with the test program.

#include "cli/clirunner.h"
#include "instrument/cqm4750device.h"
#include "instrument/cstreamlink.h"
#include "link/simprocess.h"
#include "model/uglobal.h"
#include "sequencer/cacquisitionloop.h"
#include "sequencer/cprogrammlogic.h"
#include "simulator/csimclock.h"
#include "simulator/csimconfig.h"
#include "simulator/csimserver.h"
#include "support/tempdir.h"

#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Settings and simulator description of a run that takes about a second at speed 100: one sample,
// few records per average, a stage that settles in seconds.
constexpr const char* kFastIni = "[Samples]\nSampleCount = 1\n"
                                 "[sDataConfig]\nsAvrData_A1 = 3\nsAvrData_A2 = 2\nsAvrData_A3 = 2\n"
                                 "sAvrData_dStabVal = 300\nsAvrPoint = 5\nsWaitPoint_Sec = 2\n"
                                 "sWaitPointSampleChange_Sec = 2\n";
constexpr const char* kFastSim =
    "[Simulator]\nStageTau = 2\nRampRate = 600\nSampleTau = 1\nPeltierTau = 0.5\n"
    "[Sample0]\nName = fast\n";
constexpr double kSpeed = 100.0;

long long ElapsedMs(Clock::time_point since) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - since).count();
}

CStreamLink MakeLink(const std::string& endpoint) {
    _sStreamEndpoint parsed;
    std::string error;
    EXPECT_TRUE(ParseStreamEndpoint(endpoint, parsed, error)) << error;
    return CStreamLink(parsed);
}

std::vector<std::string> ServerArgs(const TempDir& dir, const std::string& transport,
                                    std::vector<std::string> more = {}) {
    std::vector<std::string> args{"--sim", (dir / "fast.sim").string(), "--speed", "100", "--seed", "7"};
    if (transport == "tcp") {
        args.insert(args.end(), {"--listen", "127.0.0.1:0"});
    } else {
        args.insert(args.end(), {"--pty", "--pty-link", (dir / "ttyQM").string()});
    }
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

class StreamRun : public ::testing::TestWithParam<const char*> {
protected:
    TempDir dir;
    StreamRun() {
        TempDir::Write(dir / "fast.INI", kFastIni);
        TempDir::Write(dir / "fast.sim", kFastSim);
    }
};

// The command-line program measures a whole short plan through the link.
TEST_P(StreamRun, CommandLineRunOverTheLink) {
    CSimProcess server(ServerArgs(dir, GetParam()));
    const auto q47 = dir / "run.q47";
    const CliResult r = RunCli({"--ini", (dir / "fast.INI").string(), "run", "--plan", "300,310", "--sim",
                                (dir / "fast.sim").string(), "--link", server.Endpoint(), "--speed", "100",
                                "--max-silence", "10", "--out", q47.string()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Err.find("run: 2/2 points"), std::string::npos) << r.Err;
    EXPECT_NE(r.Out.find("Sample 0: fast"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("310.0"), std::string::npos) << r.Out;
    EXPECT_TRUE(std::filesystem::exists(q47));
}

// The server dies in the middle of a run and comes back: the exchanges fail meanwhile (nothing is
// processed), what was stored stays as it was, and the run goes on to its end on the new server.
TEST_P(StreamRun, ServerKilledAndRestartedTheRunContinues) {
    const std::string transport = GetParam();
    GlobalValue g(dir / "fast.INI");
    g.bWriteBackAtExit = false;
    SimConfigResult sim = LoadSimConfig(dir / "fast.sim");
    ASSERT_TRUE(sim.ok) << sim.error;
    ApplySimSample(sim.config.Samples[0], 0, *g.Samples[0]);
    for (double t : {300.0, 310.0}) {
        g.MeasureData.AddTemperature(t);
        g.MeasureData.AddPoint(g.Samples[0].get());
    }

    auto server = std::make_unique<CSimProcess>(ServerArgs(dir, transport));
    const std::string endpoint = server->Endpoint();
    const std::string port = transport == "tcp" ? server->Port() : "";
    CStreamLink link = MakeLink(endpoint);
    CQm4750Device device(link);
    ASSERT_TRUE(device.Open(0)) << link.GetLastError();
    device.SendConnect(1);
    CRealTimeClock clock(kSpeed);
    CAcquisitionLoop loop(g, device, [&clock] { return static_cast<std::uint32_t>(clock.NowMs()); });
    CProgrammLogic& logic = *g.ProgrammLogic;
    ASSERT_EQ(logic.Start(), StartOk);

    int positionChanges = 0, deadTicks = 0, processedWhileDead = 0;
    bool killed = false, restarted = false;
    _sMeasurePoint storedBeforeKill;
    const auto start = Clock::now();
    for (int ticks = 0;
         ticks < 3000 && ElapsedMs(start) < 20000 && (logic.IsRunning() || loop.IsRunFlagSet()); ++ticks) {
        const _sTickResult tick = loop.Tick();
        if (tick.bPositionChanged && ++positionChanges == 3 && !killed) {
            storedBeforeKill = g.MeasureData.GetPoint(0, 0);
            server.reset(); // killed at once
            killed = true;
        } else if (killed && !restarted) {
            EXPECT_FALSE(tick.bStateRead);
            processedWhileDead += tick.bProcessed ? 1 : 0;
            const std::uint32_t flags = device.GetErrorFlags();
            EXPECT_TRUE(flags == (ERR_TX | ERR_RETRY) || flags == (ERR_RX | ERR_RETRY)) << std::hex << flags;
            if (++deadTicks == 5) {
                server = std::make_unique<CSimProcess>(
                    transport == "tcp" ? ServerArgs(dir, "tcp", {"--listen", "127.0.0.1:" + port})
                                       : ServerArgs(dir, "pty"));
                ASSERT_EQ(server->Endpoint(), endpoint);
                restarted = true;
            }
        }
        std::this_thread::sleep_for(milliseconds(static_cast<int>(g.Timer1000TimeOut / kSpeed)));
    }
    ASSERT_TRUE(restarted);
    EXPECT_EQ(processedWhileDead, 0);
    EXPECT_FALSE(logic.IsRunning()) << "the run did not finish in time";
    EXPECT_TRUE(g.MeasureData.GetPoint(0, 0).IsComplete());
    EXPECT_TRUE(g.MeasureData.GetPoint(1, 0).IsComplete());
    // The modes stored before the server died are exactly as they were.
    for (int mode = 0; mode < 4; ++mode) {
        const _sModeData& before = storedBeforeKill.Mode[static_cast<std::size_t>(mode)];
        if (!before.bMeasured)
            continue;
        const _sModeData& after = g.MeasureData.GetPoint(0, 0).Mode[static_cast<std::size_t>(mode)];
        EXPECT_EQ(after.dT1, before.dT1);
        EXPECT_EQ(after.dU, before.dU);
    }
    const _sStreamStats stats = link.GetStats();
    EXPECT_GE(stats.ConnectionsLost, 1u);
    EXPECT_GE(stats.Connects, 2u);
}

INSTANTIATE_TEST_SUITE_P(Link, StreamRun, ::testing::Values("tcp", "pty"));

// Garbage before every reply: every exchange still succeeds (the receiver skips to the frame).
TEST(StreamFaults, GarbageBeforeEveryReplyIsSkipped) {
    TempDir dir;
    TempDir::Write(dir / "fast.sim", kFastSim);
    CSimProcess server(ServerArgs(dir, "tcp", {"--garbage-rate", "1"}));
    CStreamLink link = MakeLink(server.Endpoint());
    CQm4750Device device(link);
    ASSERT_TRUE(device.Open(0));
    for (int i = 0; i < 50; ++i) {
        std::array<std::uint8_t, 5> state{};
        ASSERT_TRUE(device.ReadCycleState(state)) << i << " " << std::hex << device.GetErrorFlags();
    }
    EXPECT_GT(link.GetStats().SkippedBytes, 50u);
}

// Lost and changed bytes: a damaged reply fails its exchange with a failed receive; the link finds
// the next whole reply, and what it delivers is always the reply to the request just sent.
TEST(StreamFaults, DroppedAndGarbledBytesFailOnlyTheirExchange) {
    TempDir dir;
    TempDir::Write(dir / "fast.sim", kFastSim);
    CSimProcess server(
        ServerArgs(dir, "tcp", {"--drop-rate", "0.25", "--garble-rate", "0.25", "--garbage-rate", "0.3"}));
    CStreamLink link = MakeLink(server.Endpoint());
    ASSERT_TRUE(link.OpenIntr(0));
    int ok = 0, failed = 0, okAfterFailure = 0;
    bool lastFailed = false;
    const std::uint8_t ids[] = {fiReadCycleState, fiStartCycle, fiSelectSample};
    for (int i = 0; i < 60; ++i) {
        const std::uint8_t id = ids[i % 3];
        link.PurgeIntr();
        const std::uint8_t payload[] = {'0', ' '};
        ASSERT_TRUE(link.TxFrame(id, id == fiReadCycleState ? 0 : 2, payload));
        std::uint8_t a = 0, b = 0, rxId = 0, length = 0, reply[CFrameLink::kMaxRxPayload];
        if (link.RxFrame(100, a, b, rxId, length, reply)) {
            EXPECT_EQ(rxId, id);
            ++ok;
            okAfterFailure += lastFailed ? 1 : 0;
            lastFailed = false;
        } else {
            ++failed;
            lastFailed = true;
        }
    }
    EXPECT_GT(failed, 5);
    EXPECT_GT(ok, 20);
    EXPECT_GT(okAfterFailure, 3);
    EXPECT_GT(link.GetStats().SkippedBytes, 0u);
}

// A reply slower than the time-out: the exchange fails with a failed receive within its time-out,
// and the late reply is never taken for the reply to a later request, even one with the same id.
TEST(StreamFaults, ReplySlowerThanTheTimeoutIsNeverTakenLater) {
    TempDir dir;
    TempDir::Write(dir / "fast.sim", kFastSim);
    CSimProcess server(ServerArgs(dir, "tcp", {"--delay", "700"}));
    CStreamLink link = MakeLink(server.Endpoint());
    CQm4750Device device(link);
    ASSERT_TRUE(device.Open(0));

    std::array<std::uint8_t, 5> state{0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    const auto start = Clock::now();
    EXPECT_FALSE(device.ReadCycleState(state));
    EXPECT_LT(ElapsedMs(start), 1500) << "the receive outlived its time-out";
    EXPECT_EQ(device.GetErrorFlags(), ERR_RX | ERR_RETRY);
    EXPECT_EQ(state[0], 0xEE) << "a failed read leaves the output alone";

    // Without a purge in between, the late reply is in the input when the next request goes out.
    std::this_thread::sleep_for(milliseconds(300));
    ASSERT_TRUE(link.TxFrame(fiReadCycleState, 0, nullptr));
    std::uint8_t a = 0, b = 0, id = 0, length = 0, reply[CFrameLink::kMaxRxPayload];
    EXPECT_FALSE(link.RxFrame(100, a, b, id, length, reply));
    EXPECT_EQ(link.GetStats().StaleReplies, 1u);
    // Given time, the reply to this request does come and is taken.
    EXPECT_TRUE(link.RxFrame(1000, a, b, id, length, reply));
    EXPECT_EQ(id, fiReadCycleState);
}

// An instrument that stops answering and comes back: every exchange fails within its time-out with
// a failed receive, and the first exchange after the stall succeeds.
TEST(StreamFaults, StalledInstrumentFailsEachExchangeThenAnswersAgain) {
    TempDir dir;
    TempDir::Write(dir / "fast.sim", kFastSim);
    CSimProcess server(ServerArgs(dir, "tcp", {"--stall-after", "3", "--stall-for", "1200"}));
    CStreamLink link = MakeLink(server.Endpoint());
    CQm4750Device device(link);
    ASSERT_TRUE(device.Open(0));
    std::array<std::uint8_t, 5> state{};
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(device.ReadCycleState(state));
    const auto start = Clock::now();
    int failures = 0;
    bool answered = false;
    while (!answered && failures < 10) {
        const auto before = Clock::now();
        answered = device.ReadCycleState(state);
        if (!answered) {
            ++failures;
            EXPECT_EQ(device.GetErrorFlags(), ERR_RX | ERR_RETRY);
            EXPECT_LT(ElapsedMs(before), 1500);
        }
    }
    EXPECT_TRUE(answered);
    EXPECT_GE(failures, 2);
    EXPECT_GE(ElapsedMs(start), 1000);
}

TEST(StreamFaults, InstrumentFaultsOfOneReplyDoNotSpillOverToLaterOnes) {
    CVirtualClock clock;
    CQm4750Sim sim(clock);
    _sSimServerFaults faults;
    faults.WrongIdRate = 1.0;
    faults.BadPayloadRate = 1.0;
    CSimServer server(sim, faults);
    ASSERT_EQ(server.Listen("127.0.0.1", 0), "");
    CStreamLink link = MakeLink("tcp://127.0.0.1:" + std::to_string(server.GetPort()));
    CQm4750Device device(link);
    std::atomic<bool> stop{false};
    std::thread serving([&] { server.Run(stop); });
    ASSERT_TRUE(device.Open(0));
    std::array<std::uint8_t, 5> state{};
    for (int i = 0; i < 10; ++i) {
        EXPECT_FALSE(device.ReadCycleState(state));
        EXPECT_EQ(device.GetErrorFlags(), ERR_ID);
    }
    stop = true;
    serving.join();

    // The line is clean again: the very next reply is whole.
    server.SetFaults({});
    stop = false;
    std::thread again([&] { server.Run(stop); });
    EXPECT_TRUE(device.ReadCycleState(state)) << device.GetErrorFlags();
    stop = true;
    again.join();
}

TEST(StreamFaults, NothingToConnectToIsRefusedWithAReason) {
    TempDir dir;
    TempDir::Write(dir / "plain", "not a terminal");
    // A port bound but not listening refuses connections, and nobody else can take it meanwhile.
    const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    socklen_t length = sizeof(address);
    ::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string port = std::to_string(ntohs(address.sin_port));
    for (const std::string& endpoint : {"tcp://127.0.0.1:" + port, "serial:" + (dir / "absent").string(),
                                        "serial:" + (dir / "plain").string()}) {
        SCOPED_TRACE(endpoint);
        CStreamLink link = MakeLink(endpoint);
        EXPECT_FALSE(link.OpenIntr(0));
        EXPECT_FALSE(link.GetLastError().empty());
        EXPECT_FALSE(link.TxFrame(fiReadCycleState, 0, nullptr)) << "a link that never opened sends nothing";
    }
    const CliResult r = RunCli({"--ini", (dir / "absent.INI").string(), "run", "--plan", "300", "--link",
                                "tcp://127.0.0.1:" + port});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("cannot connect to tcp://127.0.0.1:" + port), std::string::npos) << r.Err;
    ::close(holder);
}

TEST(StreamCommandLine, BadLinkOptionsAreRefused) {
    TempDir dir;
    const std::vector<std::vector<std::string>> cases = {
        {"--link", "http://x"},
        {"--link", "tcp://127.0.0.1"},
        {"--link", "tcp://127.0.0.1:0"},
        {"--link", "serial:ttyUSB0"},
        {"--link", "serial:/dev/x?baud=7"},
        {"--speed", "10"},
        {"--link", "tcp://127.0.0.1:9", "--speed", "0"},
        {"--link", "tcp://127.0.0.1:9", "--max-silence", "x"},
    };
    for (const auto& extra : cases) {
        std::vector<std::string> args{"--ini", (dir / "absent.INI").string(), "run", "--plan", "300"};
        args.insert(args.end(), extra.begin(), extra.end());
        SCOPED_TRACE(extra.back());
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.ExitCode, 2) << r.Err;
    }
    const struct {
        std::vector<std::string> Args;
        const char* Message;
    } serverCases[] = {
        {{"--drop-rate", "2"}, "--drop-rate must be a probability"},
        {{"--listen", "x"}, "--listen takes"},
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"--bogus", "1"}, "unknown option '--bogus'"},
        {{"--seed"}, "--seed needs a value"},
        {{"--pty-link", "/tmp/x"}, "--pty-link goes with --pty"},
        {{"--pty", "--listen", "127.0.0.1:0"}, "exclude each other"},
    };
    for (const auto& c : serverCases) {
        SCOPED_TRACE(c.Args.front());
        std::string command = std::string(QM_SIM_EXE);
        for (const std::string& a : c.Args)
            command += " '" + a + "'";
        command += " </dev/null >/dev/null 2>'" + (dir / "server.err").string() + "'";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
        const std::string err = TempDir::Read(dir / "server.err");
        EXPECT_NE(err.find(c.Message), std::string::npos) << err;
    }
}

} // namespace
