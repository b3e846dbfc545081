#include "cli/clicommon.h"
#include "cli/runlink.h"
#include "evaluation/ccalcdata.h"
#include "files/crecoverykeeper.h"
#include "files/uexportfile.h"
#include "files/usaveloadfile.h"
#include "instrument/cqm4750device.h"
#include "model/uglobal.h"
#include "model/unumtext.h"
#include "sequencer/cacquisitionloop.h"
#include "sequencer/cprogrammlogic.h"
#include "simulator/csimclock.h"
#include "simulator/csimconfig.h"
#include "simulator/csimlink.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
// A plan longer than this is a typing error (a step of 0.001 K), not a measurement.
constexpr std::size_t MaxPlanTemperatures = 10000;
// A run that has not finished after this much instrument time per reference temperature and
// sample will not finish: the stage never settles. The guard keeps the program from spinning.
constexpr std::int64_t GuardMsPerPoint = 2LL * 3600 * 1000;

std::string Kelvin(double t) {
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%.2f K", t);
    return buffer;
}

// "300,325,350" and "220:400:10" (START:END:STEP, END included when the steps reach it), mixed
// freely. Every temperature must lie within Tmin..Tmax. Returns "" or what is wrong.
std::string ParsePlan(const std::string& plan, double tmin, double tmax, std::vector<double>& out) {
    if (TrimBlanks(plan).empty())
        return "the plan is empty";
    auto add = [&](double t) -> std::string {
        if (t < tmin || t > tmax)
            return Kelvin(t) + " lies outside " + Kelvin(tmin) + " to " + Kelvin(tmax);
        if (out.size() >= MaxPlanTemperatures)
            return "more than " + std::to_string(MaxPlanTemperatures) + " temperatures";
        out.push_back(t);
        return {};
    };
    std::size_t start = 0;
    while (start <= plan.size()) {
        std::size_t comma = plan.find(',', start);
        if (comma == std::string::npos)
            comma = plan.size();
        const std::string item(TrimBlanks(std::string_view(plan).substr(start, comma - start)));
        start = comma + 1;
        if (item.empty())
            return "an empty entry in the plan";

        std::vector<std::string> parts;
        std::size_t from = 0;
        for (std::size_t colon; (colon = item.find(':', from)) != std::string::npos; from = colon + 1)
            parts.push_back(item.substr(from, colon - from));
        parts.push_back(item.substr(from));

        std::vector<double> values;
        for (const std::string& part : parts) {
            const auto value = ParseDouble(part);
            if (!value)
                return "'" + item + "' is not a temperature or START:END:STEP";
            values.push_back(*value);
        }
        if (values.size() == 1) {
            if (std::string error = add(values[0]); !error.empty())
                return error;
            continue;
        }
        if (values.size() != 3)
            return "'" + item + "' is not a temperature or START:END:STEP";
        const double first = values[0], last = values[1], step = values[2];
        if (last < first)
            return "the range '" + item + "' ends below its start";
        if (!(step > 0.0))
            return "the range '" + item + "' needs a step above 0";
        // Counted, not accumulated, so that 220:400:0.1 ends at 400 and not at 399.9.
        const double steps = std::floor((last - first) / step + 1e-9);
        if (steps >= static_cast<double>(MaxPlanTemperatures))
            return "the range '" + item + "' has more than " + std::to_string(MaxPlanTemperatures) +
                   " temperatures";
        for (int k = 0; k <= static_cast<int>(steps); ++k)
            if (std::string error = add(first + k * step); !error.empty())
                return error;
    }
    return {};
}

bool ParseSeed(const std::string& text, std::uint64_t& seed) {
    const std::string trimmed(TrimBlanks(text));
    const char* end = trimmed.data() + trimmed.size();
    const auto result = std::from_chars(trimmed.data(), end, seed);
    return !trimmed.empty() && result.ec == std::errc{} && result.ptr == end;
}

// Whether two names lead to the same file, including files that do not exist yet.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec))
        return true;
    const std::filesystem::path ca = std::filesystem::weakly_canonical(a, ec);
    if (ec)
        return false;
    const std::filesystem::path cb = std::filesystem::weakly_canonical(b, ec);
    return !ec && ca == cb;
}

std::string Duration(std::int64_t ms) {
    const std::int64_t minutes = (ms + 59999) / 60000;
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%lldh %02lldm", static_cast<long long>(minutes / 60),
                  static_cast<long long>(minutes % 60));
    return buffer;
}

// Done and total points of the samples in use, as the planning tree counts them.
void CountPoints(const GlobalValue& g, int& done, int& total) {
    done = total = 0;
    const CMeasrueData& store = g.MeasureData;
    for (std::size_t t = 0; t < store.GetTemperatureCount(); ++t)
        for (std::size_t s = 0; s < store.GetPointCount(t); ++s) {
            const _sMeasurePoint& point = store.GetPoint(t, s);
            if (!point.pSample || !point.pSample->GetUse())
                continue;
            ++total;
            done += point.IsComplete() ? 1 : 0;
        }
}

// The progress line on stderr: rewritten in place on a terminal, otherwise one line for every
// tenth of the points.
class Progress {
public:
    explicit Progress(const GlobalValue& g) : Global(g), bTerminal(isatty(STDERR_FILENO) != 0) {}

    void Update(std::int64_t elapsedMs, bool final = false) {
        int done = 0, total = 0;
        CountPoints(Global, done, total);
        if (total == 0)
            return;
        if (bTerminal) {
            const std::string line = Line(done, total, elapsedMs, final);
            if (line != sLast || final) {
                std::cerr << "\r" << line
                          << std::string(sLast.size() > line.size() ? sLast.size() - line.size() : 0, ' ')
                          << (final ? "\n" : "") << std::flush;
                sLast = line;
            }
            return;
        }
        const int tenth = done * 10 / total;
        if (tenth > iLastTenth) {
            iLastTenth = tenth;
            std::cerr << Line(done, total, elapsedMs, final) << "\n" << std::flush;
        }
    }

private:
    const GlobalValue& Global;
    bool bTerminal;
    std::string sLast;
    int iLastTenth = 0;

    std::string Line(int done, int total, std::int64_t elapsedMs, bool final) const {
        const CProgrammLogic& logic = *Global.ProgrammLogic;
        std::string line = "run: " + std::to_string(done) + "/" + std::to_string(total) + " points";
        const int t = logic.GetTemperatureIndex();
        if (!final && t >= 0 && logic.IsRunning()) {
            line += ", T = " + Kelvin(Global.MeasureData.GetTref(static_cast<std::size_t>(t))) + ", sample " +
                    std::to_string(logic.GetSampleIndex()) + ", " + MeasureModeLabel(logic.GetMode());
        }
        if (done == total || final)
            line += ", " + Duration(elapsedMs) + " of instrument time";
        else if (done > 0)
            line += ", about " + Duration(elapsedMs * (total - done) / done) + " of instrument time left";
        else
            line += ", instrument time left not known yet";
        return line;
    }
};

std::string Fixed(bool ok, double value, int decimals) {
    if (!ok)
        return "-";
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%.*f", decimals, value);
    return buffer;
}

// Per sample, the evaluated points in store order, in the units of the results page.
void PrintResults(const GlobalValue& g, const std::vector<_sSimSample>& simSamples) {
    const CCalcData calc(&g.MeasureData);
    const std::size_t temperatures = g.MeasureData.GetTemperatureCount();
    for (std::size_t s = 0; s < g.Samples.size(); ++s) {
        const CSample& sample = *g.Samples[s];
        if (!sample.GetUse())
            continue;
        char head[256];
        std::snprintf(head, sizeof(head),
                      "Sample %zu: %s, A %g x B %g x L %g mm, lead wire %g mm x %g mm, %g mA\n", s,
                      s < simSamples.size() ? simSamples[s].Name.c_str() : "", sample.GetA(usMilli),
                      sample.GetB(usMilli), sample.GetL(usMilli), sample.GetWireL(usMilli),
                      sample.GetWireD(usMilli), sample.GetCurrent(usMilli));
        std::cout << (s > 0 ? "\n" : "") << head;
        char row[512];
        std::snprintf(row, sizeof(row), "%10s %12s %18s %12s %16s %14s %18s\n", "Tavr, K", "Alpha, uV/K",
                      "Sigma, 1/Ohm cm", "Kappa, W/mK", "KappaCorr, W/mK", "Z, 10^-3 1/K",
                      "ZCorr, 10^-3 1/K");
        std::cout << row;
        for (std::size_t t = 0; t < temperatures; ++t) {
            double tavr = 0, alpha = 0, sigma = 0, kappa = 0, kappaCorr = 0, z = 0, zCorr = 0;
            if (!calc.PointTavr(s, t, tavr))
                continue; // not measured
            const bool okAlpha = calc.PointAlpha(s, t, alpha);
            const bool okSigma = calc.PointSigma(s, t, sigma);
            const bool okKappa = calc.PointKappa(s, t, kappa);
            const bool okKappaCorr = calc.PointKappaCorr(s, t, kappaCorr);
            const bool okZ = calc.PointZ(s, t, z);
            const bool okZCorr = calc.PointZCorr(s, t, zCorr);
            std::snprintf(row, sizeof(row), "%10s %12s %18s %12s %16s %14s %18s\n",
                          Fixed(true, tavr, 2).c_str(), Fixed(okAlpha, alpha * 1e6, 2).c_str(),
                          Fixed(okSigma, sigma * 0.01, 2).c_str(), Fixed(okKappa, kappa, 4).c_str(),
                          Fixed(okKappaCorr, kappaCorr, 4).c_str(), Fixed(okZ, z * 1e3, 4).c_str(),
                          Fixed(okZCorr, zCorr * 1e3, 4).c_str());
            std::cout << row;
        }
    }
}
} // namespace

// A whole measurement against the built-in simulator on a virtual clock (or, with --link, an
// instrument on a byte stream in real time): plan, describe the samples, run the sequencer to its
// end, write the files asked for and print the results.
int CmdRun(GlobalValue& g, CliArgs args) {
    static constexpr std::string_view withValue[] = {"plan",   "out",  "export", "sim",        "seed",
                                                     "resume", "link", "speed",  "max-silence"};
    ParsedArgs parsed;
    std::string message;
    if (!ParseArgs(args, withValue, {}, parsed, message))
        return UsageError(message);
    if (!parsed.Positional.empty())
        return UsageError("run takes no file names; use --out and --export");
    const std::string* planText = parsed.Value("plan");
    // A resumed run continues the plan of its file and keeps that file up to date.
    const std::string* resumeFile = parsed.Value("resume");
    if (planText == nullptr && resumeFile == nullptr)
        return UsageError("run needs --plan PLAN or --resume FILE.q47");
    if (planText != nullptr && resumeFile != nullptr)
        return UsageError("--resume continues the plan of its file; drop --plan");
    const std::string* outFile = parsed.Value("out") != nullptr ? parsed.Value("out") : resumeFile;
    // The export would overwrite the measurement it is made from.
    if (const std::string* exportFile = parsed.Value("export");
        exportFile != nullptr && outFile != nullptr && SameFile(*exportFile, *outFile))
        return UsageError("the export would replace the measurement file " + *outFile);

    std::vector<double> plan;
    if (planText != nullptr) {
        if (std::string error = ParsePlan(*planText, g.TRange.Tmin, g.TRange.Tmax, plan); !error.empty()) {
            std::cerr << "qm4750-cli: run: bad plan: " << error << "\n";
            return ExitUsage;
        }
    }
    _sMeasureFile resumed;
    if (resumeFile != nullptr) {
        if (FileResult read = ReadMeasureFile(*resumeFile, resumed); !read) {
            std::cerr << "qm4750-cli: run: " << read.Message << "\n";
            return ExitBadFile;
        }
    }
    _sRunLinkOptions linkOptions;
    if (!ReadRunLinkOptions(parsed, linkOptions, message))
        return UsageError(message);
    std::uint64_t seed = 1;
    if (const std::string* text = parsed.Value("seed"); text != nullptr && !ParseSeed(*text, seed))
        return UsageError("--seed must be a whole number from 0 upwards");

    _sSimConfig config = _sSimConfig::Defaults();
    if (const std::string* simFile = parsed.Value("sim")) {
        SimConfigResult loaded = LoadSimConfig(*simFile);
        if (!loaded.ok) {
            std::cerr << "qm4750-cli: run: " << loaded.error << "\n";
            return ExitBadFile;
        }
        config = std::move(loaded.config);
    }

    // The samples as the simulator mounts them; positions it leaves empty take no part.
    for (std::size_t s = 0; s < g.Samples.size(); ++s) {
        if (s < config.Samples.size()) {
            ApplySimSample(config.Samples[s], static_cast<std::int32_t>(s), *g.Samples[s]);
        } else {
            g.Samples[s]->SetUse(false);
            std::cerr << "qm4750-cli: run: the simulator has no sample at position " << s
                      << "; that sample is not measured\n";
        }
    }
    // Measured points of a resumed file are kept; its sample descriptions replace the simulator's.
    if (resumeFile != nullptr)
        ApplyMeasureFile(resumed, g.MeasureData, g.Samples);
    // One point per sample at every temperature, as the planning pane adds them.
    for (double t : plan) {
        g.MeasureData.AddTemperature(t);
        for (const auto& sample : g.Samples)
            g.MeasureData.AddPoint(sample.get());
    }

    // With --link the instrument is at the other end of a byte stream and time is real time.
    CRunClock clock(linkOptions, g.Timer1000TimeOut);
    CPortLink link(clock, config, seed);
    CQm4750Device device(link);
    if (!OpenRunInstrument(linkOptions, link, device, message)) {
        std::cerr << "qm4750-cli: run: " << message << "\n";
        return ExitFailure;
    }
    device.SendConnect(1);
    CAcquisitionLoop loop(g, device, [&clock] { return static_cast<std::uint32_t>(clock.NowMs()); });
    CProgrammLogic& logic = *g.ProgrammLogic;

    const int started = logic.Start();
    const bool alreadyDone = resumeFile != nullptr && started == StartNothingToDo;
    if (started != StartOk && !alreadyDone) {
        std::cerr << "qm4750-cli: run: nothing to measure (no sample in use)\n";
        device.Close();
        return ExitFailure;
    }
    if (alreadyDone)
        std::cerr << "qm4750-cli: run: every point of " << *resumeFile << " is already measured\n";
    // The output file is whole and loadable from the start and after every stored mode, so that a
    // run killed at any moment can be resumed from it.
    g.bMeasureSaved = false;
    CRecoveryKeeper keeper(g, outFile != nullptr ? *outFile : std::string{}, kfMeasureFile, false);
    keeper.MeasureChanged();
    bool keeperFailed = false;
    int done = 0, total = 0;
    CountPoints(g, done, total);
    const std::int64_t guardMs =
        GuardMsPerPoint * (total + static_cast<std::int64_t>(g.MeasureData.GetTemperatureCount()));

    Progress progress(g);
    CRunLinkWatch watch(linkOptions);
    bool finished = true;
    while (logic.IsRunning() || loop.IsRunFlagSet()) {
        if (clock.NowMs() > guardMs) {
            logic.Stop();
            finished = false;
            break;
        }
        const _sTickResult tick = loop.Tick();
        watch.AfterTick(tick, device);
        if (watch.GaveUp()) {
            logic.Stop();
            finished = false;
            break;
        }
        keeper.AfterTick(tick);
        if (FileResult kept = keeper.LastResult(); !kept && !keeperFailed) {
            // Said once; the run goes on and the final save tries again.
            std::cerr << "qm4750-cli: run: " << kept.Message << "\n";
            keeperFailed = true;
        }
        if (tick.bPositionChanged || tick.bRunEnded)
            progress.Update(clock.NowMs());
        clock.NextTick();
    }
    progress.Update(clock.NowMs(), true);
    device.Close();

    int status = ExitOk;
    if (watch.GaveUp()) {
        std::cerr << "qm4750-cli: run: the instrument did not answer for " << watch.GetMaxSilenceSec()
                  << " s and the run was stopped; what was measured is kept\n";
        status = ExitFailure;
    } else if (!finished) {
        std::cerr << "qm4750-cli: run: the run did not finish within " << Duration(guardMs)
                  << " of instrument time and was stopped; what was measured is kept\n";
        status = ExitFailure;
    }
    if (const std::string* out = outFile) {
        if (FileResult saved = SaveMeasureFile(*out, g); !saved) {
            std::cerr << "qm4750-cli: run: " << saved.Message << "\n";
            status = ExitFailure;
        }
    }
    if (const std::string* exportFile = parsed.Value("export")) {
        if (FileResult exported = ExportResultFile(*exportFile, g.MeasureData); !exported) {
            std::cerr << "qm4750-cli: run: " << exported.Message << "\n";
            status = ExitFailure;
        }
    }
    PrintResults(g, config.Samples);
    return status;
}
