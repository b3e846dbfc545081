#include "cli/clirunner.h"
#include "evaluation/ccalcdata.h"
#include "files/usaveloadfile.h"
#include "support/tempdir.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

constexpr const char* Plan = "300:320:10";
constexpr const char* Seed = "7";
constexpr int SampleCount = 3;
// The order in which the sequencer stores the modes of a point.
constexpr int RunOrder[] = {mmOff, mmDcPlus, mmAc, mmDcMinus};

// Short waits and averages, so that a whole run is a fraction of a second even under sanitizers.
std::filesystem::path ShortSettings(const TempDir& dir) {
    const auto ini = dir / "short.INI";
    TempDir::Write(ini, "[sDataConfig]\nsAvrPoint=10\nsWaitPoint_Sec=15\nsWaitPointSampleChange_Sec=15\n"
                        "sAvrData_A1=3\nsAvrData_A2=2\nsAvrData_A3=2\n");
    return ini;
}

// Starts qm4750-cli without a shell, so that the pid is the program's own.
pid_t SpawnCli(const std::vector<std::string>& args) {
    const char* cli = std::getenv("QM_CLI");
    if (cli == nullptr)
        throw std::runtime_error("QM_CLI is not set; run the tests through ctest");
    std::vector<std::string> all{cli};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, cli, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error("cannot start " + std::string(cli));
    return pid;
}

int WaitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

struct Measurement {
    std::vector<std::unique_ptr<CSample>> Samples;
    CMeasrueData Store;
};

std::unique_ptr<Measurement> Load(const std::filesystem::path& path) {
    _sMeasureFile file;
    const FileResult read = ReadMeasureFile(path, file);
    EXPECT_TRUE(read) << read.Message;
    if (!read)
        return nullptr;
    auto m = std::make_unique<Measurement>();
    for (int s = 0; s < SampleCount; ++s)
        m->Samples.push_back(std::make_unique<CSample>());
    ApplyMeasureFile(file, m->Store, m->Samples);
    return m;
}

bool SameMode(const _sModeData& a, const _sModeData& b) {
    return a.bMeasured == b.bMeasured && a.dT1 == b.dT1 && a.dT2 == b.dT2 && a.dU == b.dU && a.dI == b.dI;
}

// What a killed run left behind must be the uninterrupted run as it stood at one of its writes:
// the same plan and samples, the stored modes a gap-free beginning of the run order, each of them
// exactly as the uninterrupted run stored it. Returns how many modes were stored.
int ExpectAnEarlierStateOf(const Measurement& killed, const Measurement& whole) {
    const CMeasrueData& k = killed.Store;
    const CMeasrueData& w = whole.Store;
    EXPECT_EQ(k.GetTemperatureCount(), w.GetTemperatureCount());
    for (std::size_t s = 0; s < SampleCount; ++s)
        EXPECT_EQ(killed.Samples[s]->GetA(usMilli), whole.Samples[s]->GetA(usMilli));
    int stored = 0;
    bool gap = false;
    for (std::size_t t = 0; t < w.GetTemperatureCount(); ++t) {
        EXPECT_EQ(k.GetTref(t), w.GetTref(t));
        for (std::size_t s = 0; s < SampleCount; ++s)
            for (int mode : RunOrder) {
                const _sModeData& km = k.GetPoint(t, s).Mode[static_cast<std::size_t>(mode)];
                const _sModeData& wm = w.GetPoint(t, s).Mode[static_cast<std::size_t>(mode)];
                if (!km.bMeasured) {
                    gap = true;
                    continue;
                }
                EXPECT_FALSE(gap) << "mode " << mode << " of sample " << s << " at " << t
                                  << " is stored after a mode that is missing";
                EXPECT_TRUE(SameMode(km, wm)) << "mode " << mode << " of sample " << s << " at " << t;
                if (mode == mmOff) {
                    EXPECT_EQ(k.GetTamb(t, s), w.GetTamb(t, s));
                }
                ++stored;
            }
    }
    return stored;
}

// The resumed run ends with the points of the uninterrupted one: every point measured, the points
// that were complete when the run was killed untouched, the others measured again to the same
// properties (the simulator restarts, so their readings differ by its noise).
void ExpectSamePoints(const Measurement& resumed, const Measurement& killed, const Measurement& whole) {
    const CMeasrueData& r = resumed.Store;
    const CMeasrueData& w = whole.Store;
    ASSERT_EQ(r.GetTemperatureCount(), w.GetTemperatureCount());
    const CCalcData rc(&r);
    const CCalcData wc(&w);
    for (std::size_t t = 0; t < w.GetTemperatureCount(); ++t) {
        EXPECT_EQ(r.GetTref(t), w.GetTref(t));
        for (std::size_t s = 0; s < SampleCount; ++s) {
            SCOPED_TRACE("sample " + std::to_string(s) + " at " + std::to_string(w.GetTref(t)));
            ASSERT_TRUE(r.GetPoint(t, s).IsComplete());
            if (killed.Store.GetPoint(t, s).IsComplete()) {
                for (std::size_t m = 0; m < MeasureModeCount; ++m)
                    EXPECT_TRUE(SameMode(r.GetPoint(t, s).Mode[m], killed.Store.GetPoint(t, s).Mode[m]));
                continue;
            }
            double ra = 0, wa = 0, rs = 0, ws = 0, rt = 0, wt = 0;
            ASSERT_TRUE(rc.PointTavr(s, t, rt) && wc.PointTavr(s, t, wt));
            ASSERT_TRUE(rc.PointAlpha(s, t, ra) && wc.PointAlpha(s, t, wa));
            ASSERT_TRUE(rc.PointSigma(s, t, rs) && wc.PointSigma(s, t, ws));
            EXPECT_NEAR(rt, wt, 0.2);
            EXPECT_NEAR(ra, wa, 0.01 * std::fabs(wa));
            EXPECT_NEAR(rs, ws, 0.01 * std::fabs(ws));
        }
    }
}

// Kills `run --out` at random moments spread over a whole run, then checks the file it left and
// resumes it to the end.
TEST(CliRecovery, KilledRunsLeaveAWholeFileThatResumesToTheSamePoints) {
    TempDir dir;
    const std::string ini = ShortSettings(dir).string();
    const auto wholeFile = dir / "whole.q47";
    const auto started = std::chrono::steady_clock::now();
    const int status =
        WaitFor(SpawnCli({"--ini", ini, "run", "--plan", Plan, "--seed", Seed, "--out", wholeFile.string()}));
    const auto runTime = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const auto whole = Load(wholeFile);
    ASSERT_TRUE(whole);
    ASSERT_EQ(ExpectAnEarlierStateOf(*whole, *whole), 3 * SampleCount * MeasureModeCount);

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("kill moments drawn with seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> within(0.0, 1.0);
    constexpr int Kills = 8;
    int midRun = 0;
    for (int i = 0; i < Kills; ++i) {
        // One random moment in each eighth of the run, so that early and late kills both occur.
        const auto delay =
            std::chrono::duration_cast<std::chrono::microseconds>(runTime * (i + within(random)) / Kills);
        SCOPED_TRACE("kill " + std::to_string(i) + " after " + std::to_string(delay.count()) + " us");
        const auto file = dir / ("killed" + std::to_string(i) + ".q47");
        const pid_t pid =
            SpawnCli({"--ini", ini, "run", "--plan", Plan, "--seed", Seed, "--out", file.string()});
        std::this_thread::sleep_for(delay);
        kill(pid, SIGKILL);
        WaitFor(pid);
        if (!std::filesystem::exists(file))
            continue; // killed before its first write: nothing to lose yet

        const auto killed = Load(file);
        ASSERT_TRUE(killed) << "the file left by a killed run loads";
        const int stored = ExpectAnEarlierStateOf(*killed, *whole);
        midRun += stored < 3 * SampleCount * MeasureModeCount ? 1 : 0;

        const CliResult resumed = RunCli({"--ini", ini, "run", "--resume", file.string(), "--seed", Seed});
        ASSERT_EQ(resumed.ExitCode, 0) << resumed.Err;
        const auto finished = Load(file);
        ASSERT_TRUE(finished);
        ExpectSamePoints(*finished, *killed, *whole);
    }
    EXPECT_GT(midRun, 0) << "no kill landed inside the run";
}

TEST(CliRecovery, ResumeRefusesWhatItCannotContinue) {
    TempDir dir;
    const std::string ini = ShortSettings(dir).string();
    const auto damaged = dir / "damaged.q47";
    TempDir::Write(damaged, "QM4750\x01 too short");
    const std::string before = TempDir::Read(damaged);
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {"missing file", {"--resume", (dir / "absent.q47").string()}, 3, "cannot open"},
        {"damaged file", {"--resume", damaged.string()}, 3, "damaged.q47: file ends"},
        {"plan and resume", {"--resume", damaged.string(), "--plan", "300"}, 2, "drop --plan"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args{"--ini", ini, "run"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.ExitCode, c.exitCode);
        EXPECT_NE(r.Err.find(c.message), std::string::npos) << r.Err;
        EXPECT_EQ(TempDir::Read(damaged), before) << "the file is left as it was";
    }

    // A finished measurement has nothing left: the results are printed, the points stay.
    const auto done = dir / "done.q47";
    ASSERT_EQ(RunCli({"--ini", ini, "run", "--plan", "300", "--out", done.string()}).ExitCode, 0);
    const std::string finished = TempDir::Read(done);
    const CliResult again = RunCli({"--ini", ini, "run", "--resume", done.string()});
    EXPECT_EQ(again.ExitCode, 0) << again.Err;
    EXPECT_NE(again.Err.find("already measured"), std::string::npos) << again.Err;
    EXPECT_NE(again.Out.find("Sample 0"), std::string::npos);
    EXPECT_EQ(TempDir::Read(done), finished);
}

} // namespace
