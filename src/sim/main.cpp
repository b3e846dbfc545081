// qm4750-sim: the simulated QM4750 instrument served on a byte stream, so that the program (or any
// other client) reaches it as it reaches a real instrument behind a network or serial bridge.

#include "model/unumtext.h"
#include "simulator/cqm4750sim.h"
#include "simulator/csimclock.h"
#include "simulator/csimconfig.h"
#include "simulator/csimserver.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <limits>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) {
    g_stop.store(true);
}

constexpr const char* kUsage =
    "usage: qm4750-sim [--listen [HOST:]PORT | --pty [--pty-link PATH]] [--sim FILE] [--seed N]\n"
    "                  [--speed F] [--no-noise] [faults]\n"
    "  --listen [HOST:]PORT  serve on TCP (default 127.0.0.1:4750; HOST is 127.0.0.1 unless given;\n"
    "                        PORT 0 picks a free port)\n"
    "  --pty                 serve on a new pseudo-terminal\n"
    "  --pty-link PATH       also make PATH a symbolic link to the pseudo-terminal\n"
    "  --sim FILE            simulator description (samples, time constants); defaults without it\n"
    "  --seed N              seed of the noise and of the faults (default 1)\n"
    "  --speed F             instrument time runs F times real time (default 1)\n"
    "  --no-noise            readings without noise\n"
    "faults (RATE is a probability per reply, 0 to 1):\n"
    "  --drop-rate RATE      the reply loses one byte on the way\n"
    "  --garble-rate RATE    one byte of the reply is changed on the way\n"
    "  --garbage-rate RATE   random bytes come before the reply\n"
    "  --wrong-id-rate RATE  the reply carries another frame id\n"
    "  --bad-payload-rate RATE  the reply payload is not an argument list\n"
    "  --delay MS            replies come MS milliseconds late...\n"
    "  --delay-rate RATE     ...with this probability each (default 1)\n"
    "  --stall-after N       after N requests the instrument stops answering...\n"
    "  --stall-for MS        ...for MS milliseconds (default: for good)\n"
    "  --vacuum-lost         every reply reports no vacuum\n"
    "  --cycle-stuck         acquisition cycles never complete\n"
    "The endpoint to give the program is printed on the first line of the standard output\n"
    "(tcp://HOST:PORT or serial:PATH).\n";

// The options that take a value; every other argument is a flag or a mistake.
constexpr std::string_view kValueOptions[] = {
    "--listen",     "--pty-link",    "--sim",          "--seed",          "--speed",
    "--drop-rate",  "--garble-rate", "--garbage-rate", "--wrong-id-rate", "--bad-payload-rate",
    "--delay-rate", "--delay",       "--stall-for",    "--stall-after"};

int Usage(const std::string& message) {
    std::cerr << "qm4750-sim: " << message << "\n" << kUsage;
    return 2;
}

bool ParseWhole(const std::string& text, long long low, long long high, long long& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && result.ec == std::errc{} && result.ptr == text.data() + text.size() &&
           value >= low && value <= high;
}

bool ParseRate(const std::string& text, double& rate) {
    const auto value = ParseDouble(text);
    if (!value || !(*value >= 0.0 && *value <= 1.0))
        return false;
    rate = *value;
    return true;
}

bool IsLoopback(const std::string& host) {
    return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

// Points link at target, replacing what was there in one step.
bool MakeLink(const std::filesystem::path& link, const std::string& target) {
    const std::filesystem::path temporary = link.string() + ".tmp" + std::to_string(::getpid());
    std::error_code ec;
    std::filesystem::remove(temporary, ec);
    std::filesystem::create_symlink(target, temporary, ec);
    if (ec)
        return false;
    std::filesystem::rename(temporary, link, ec);
    if (ec)
        std::filesystem::remove(temporary, ec);
    return !ec;
}

} // namespace

int main(int argc, char** argv) {
    std::string host = "127.0.0.1";
    long long port = 4750;
    bool pty = false, listen = false;
    std::string ptyLink, simFile;
    std::uint64_t seed = 1;
    double speed = 1.0;
    bool noise = true, vacuumLost = false, cycleStuck = false;
    _sSimServerFaults faults;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string text;
        long long number = 0;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--pty") {
            pty = true;
        } else if (arg == "--no-noise") {
            noise = false;
        } else if (arg == "--vacuum-lost") {
            vacuumLost = true;
        } else if (arg == "--cycle-stuck") {
            cycleStuck = true;
        } else if (std::find(std::begin(kValueOptions), std::end(kValueOptions), arg) ==
                   std::end(kValueOptions)) {
            return Usage(arg.rfind("--", 0) == 0 ? "unknown option '" + arg + "'"
                                                 : "unknown argument '" + arg + "'");
        } else if (!value(text)) {
            return Usage(arg + " needs a value");
        } else if (arg == "--listen") {
            listen = true;
            const auto colon = text.rfind(':');
            std::string portText = text;
            if (colon != std::string::npos) {
                host = text.substr(0, colon);
                portText = text.substr(colon + 1);
                if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
                    host = host.substr(1, host.size() - 2);
            }
            if (host.empty() || !ParseWhole(portText, 0, 65535, port))
                return Usage("--listen takes [HOST:]PORT with PORT from 0 to 65535");
        } else if (arg == "--pty-link") {
            ptyLink = text;
        } else if (arg == "--sim") {
            simFile = text;
        } else if (arg == "--seed") {
            if (!ParseWhole(text, 0, std::numeric_limits<long long>::max(), number))
                return Usage("--seed must be a whole number from 0 upwards");
            seed = static_cast<std::uint64_t>(number);
        } else if (arg == "--speed") {
            const auto v = ParseDouble(text);
            if (!v || !(*v >= 0.001 && *v <= 1e6))
                return Usage("--speed must be a number from 0.001 to 1000000");
            speed = *v;
        } else if (arg == "--drop-rate" || arg == "--garble-rate" || arg == "--garbage-rate" ||
                   arg == "--wrong-id-rate" || arg == "--bad-payload-rate" || arg == "--delay-rate") {
            double rate = 0.0;
            if (!ParseRate(text, rate))
                return Usage(arg + " must be a probability from 0 to 1");
            (arg == "--drop-rate"          ? faults.DropRate
             : arg == "--garble-rate"      ? faults.GarbleRate
             : arg == "--garbage-rate"     ? faults.GarbageRate
             : arg == "--wrong-id-rate"    ? faults.WrongIdRate
             : arg == "--bad-payload-rate" ? faults.BadPayloadRate
                                           : faults.DelayRate) = rate;
        } else if (arg == "--delay" || arg == "--stall-for") {
            if (!ParseWhole(text, 0, 3600 * 1000, number))
                return Usage(arg + " takes milliseconds from 0 to 3600000");
            (arg == "--delay" ? faults.DelayMs : faults.StallForMs) = static_cast<int>(number);
        } else if (arg == "--stall-after") {
            if (!ParseWhole(text, 0, std::numeric_limits<long long>::max(), number))
                return Usage("--stall-after takes a count of requests from 0 upwards");
            faults.StallAfter = number;
        }
    }
    if (pty && listen)
        return Usage("--listen and --pty exclude each other");
    if (!ptyLink.empty() && !pty)
        return Usage("--pty-link goes with --pty");

    _sSimConfig config = _sSimConfig::Defaults();
    if (!simFile.empty()) {
        SimConfigResult loaded = LoadSimConfig(simFile);
        if (!loaded.ok) {
            std::cerr << "qm4750-sim: " << loaded.error << "\n";
            return 3;
        }
        config = std::move(loaded.config);
    }

    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    CRealTimeClock clock(speed);
    CQm4750Sim sim(clock, config, seed);
    sim.SetNoise(noise);
    sim.SetVacuumLost(vacuumLost);
    sim.SetCycleStuck(cycleStuck);
    CSimServer server(sim, faults, seed);

    std::string endpoint;
    if (pty) {
        std::string path;
        if (std::string error = server.OpenPty(path); !error.empty()) {
            std::cerr << "qm4750-sim: " << error << "\n";
            return 1;
        }
        if (!ptyLink.empty() && !MakeLink(ptyLink, path)) {
            std::cerr << "qm4750-sim: cannot make the link " << ptyLink << "\n";
            return 1;
        }
        endpoint = "serial:" + (ptyLink.empty() ? path : ptyLink);
    } else {
        if (std::string error = server.Listen(host, static_cast<std::uint16_t>(port)); !error.empty()) {
            std::cerr << "qm4750-sim: cannot listen on " << error << "\n";
            return 1;
        }
        const bool v6 = host.find(':') != std::string::npos;
        endpoint = "tcp://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(server.GetPort());
        if (!IsLoopback(host))
            std::cerr << "qm4750-sim: listening on " << host << ": reachable from other machines\n";
    }
    std::cout << endpoint << std::endl;
    std::cerr << "qm4750-sim: serving the simulated instrument on " << endpoint << " (speed x" << speed
              << "); stop with Ctrl+C\n";

    server.Run(g_stop);

    if (!ptyLink.empty()) {
        std::error_code ec;
        std::filesystem::remove(ptyLink, ec);
    }
    const _sSimServerStats stats = server.GetStats();
    std::cerr << "qm4750-sim: stopped after " << stats.Connections << " connection(s), " << stats.Requests
              << " request(s), " << stats.Replies << " reply(ies), " << stats.Unanswered << " unanswered, "
              << stats.SkippedBytes << " byte(s) skipped\n";
    return 0;
}
