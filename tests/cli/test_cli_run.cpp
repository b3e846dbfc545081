#include "cli/clirunner.h"
#include "evaluation/ccalcdata.h"
#include "files/usaveloadfile.h"
#include "simulator/csimconfig.h"
#include "support/tempdir.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

namespace {

double RelativeError(double measured, double model) {
    return std::fabs(measured - model) / std::fabs(model);
}

// The whole road with the default settings: plan, simulator, sequencer, file, evaluation. The
// properties evaluated from the saved file must be those of the simulated materials at the
// measured mean temperature.
TEST(CliRun, RecoversTheSimulatedMaterialsAndWritesBothFiles) {
    TempDir dir;
    const auto q47 = dir / "run.q47";
    const auto txt = dir / "run.txt";
    const CliResult r = RunCli({"--ini", (dir / "absent.INI").string(), "run", "--plan", "300", "--out",
                                q47.string(), "--export", txt.string()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    // Not a terminal: whole progress lines, the last one when every point is done.
    EXPECT_NE(r.Err.find("run: 3/3 points"), std::string::npos) << r.Err;
    EXPECT_NE(r.Out.find("Sample 2: SiGe-like"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("KappaCorr, W/mK"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(txt));

    _sMeasureFile file;
    ASSERT_TRUE(ReadMeasureFile(q47, file)) << "the measurement file reads back";
    std::vector<std::unique_ptr<CSample>> samples;
    for (int s = 0; s < 3; ++s)
        samples.push_back(std::make_unique<CSample>());
    CMeasrueData store;
    ApplyMeasureFile(file, store, samples);
    ASSERT_EQ(store.GetTemperatureCount(), 1u);

    const _sSimConfig model = _sSimConfig::Defaults();
    const CCalcData calc(&store);
    for (std::size_t s = 0; s < 3; ++s) {
        SCOPED_TRACE(model.Samples[s].Name);
        double tavr = 0, alpha = 0, sigma = 0, kappaCorr = 0, zCorr = 0;
        ASSERT_TRUE(calc.PointTavr(s, 0, tavr));
        EXPECT_NEAR(tavr, 300.0, 0.1);
        ASSERT_TRUE(calc.PointAlpha(s, 0, alpha));
        ASSERT_TRUE(calc.PointSigma(s, 0, sigma));
        ASSERT_TRUE(calc.PointKappaCorr(s, 0, kappaCorr));
        ASSERT_TRUE(calc.PointZCorr(s, 0, zCorr));
        const _sSimSample& m = model.Samples[s];
        const double a = m.Alpha.At(tavr), sg = m.Sigma.At(tavr), k = m.Kappa.At(tavr);
        EXPECT_LT(RelativeError(alpha, a), 0.01) << alpha;
        EXPECT_LT(RelativeError(sigma, sg), 0.01) << sigma;
        EXPECT_LT(RelativeError(kappaCorr, k), 0.03) << kappaCorr;
        EXPECT_LT(RelativeError(zCorr, a * a * sg / k), 0.03) << zCorr;
    }
}

TEST(CliRun, BadPlansAreRefusedBeforeAnythingRuns) {
    TempDir dir;
    const auto q47 = dir / "never.q47";
    const char* plans[] = {"",        " ",           "300,",       ",300",      "abc",
                           "300:310", "300:310:5:1", "310:300:5",  "300:310:0", "300:310:-5",
                           "219.99",  "400.01",      "390:410:10", "1e9:1e9:1", "300:400:0.000001"};
    for (const char* plan : plans) {
        SCOPED_TRACE(plan);
        const CliResult r =
            RunCli({"--ini", (dir / "absent.INI").string(), "run", "--plan", plan, "--out", q47.string()});
        EXPECT_EQ(r.ExitCode, 2);
        EXPECT_NE(r.Err.find("bad plan"), std::string::npos) << r.Err;
        EXPECT_TRUE(r.Out.empty());
        EXPECT_FALSE(std::filesystem::exists(q47));
    }
    const CliResult noPlan = RunCli({"--ini", (dir / "absent.INI").string(), "run"});
    EXPECT_EQ(noPlan.ExitCode, 2);
    EXPECT_NE(noPlan.Err.find("--plan"), std::string::npos);
}

TEST(CliRun, ExportNeverReplacesTheMeasurementFile) {
    TempDir dir;
    const std::string ini = (dir / "absent.INI").string();
    const auto q47 = dir / "run.q47";
    const std::string sameQ47 = (dir / "." / "run.q47").string();
    const CliResult fresh =
        RunCli({"--ini", ini, "run", "--plan", "300", "--out", q47.string(), "--export", sameQ47});
    EXPECT_EQ(fresh.ExitCode, 2);
    EXPECT_NE(fresh.Err.find("would replace the measurement file"), std::string::npos) << fresh.Err;
    EXPECT_FALSE(std::filesystem::exists(q47));

    // A file to resume is the output too: an export onto it would lose the measurement.
    ASSERT_EQ(RunCli({"--ini", ini, "run", "--plan", "300", "--out", q47.string()}).ExitCode, 0);
    const std::string before = TempDir::Read(q47);
    const CliResult resumed = RunCli({"--ini", ini, "run", "--resume", q47.string(), "--export", sameQ47});
    EXPECT_EQ(resumed.ExitCode, 2);
    EXPECT_EQ(TempDir::Read(q47), before);
}

TEST(CliRun, SimulatorDescriptionDecidesTheSamples) {
    TempDir dir;
    const auto ini = dir / "short.INI";
    // Short waits keep this quick; one sample described, so positions 1 and 2 stay out.
    TempDir::Write(ini, "[sDataConfig]\nsAvrPoint=10\nsWaitPoint_Sec=5\nsWaitPointSampleChange_Sec=5\n");
    const auto sim = dir / "one.ini";
    TempDir::Write(sim, "[Sample0]\nName=Probe\nCurrent=20\n");
    const CliResult r =
        RunCli({"--ini", ini.string(), "run", "--plan", "250, 260", "--sim", sim.string(), "--seed", "7"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("Sample 0: Probe"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("20 mA"), std::string::npos) << r.Out;
    EXPECT_EQ(r.Out.find("Sample 1"), std::string::npos) << r.Out;
    EXPECT_NE(r.Err.find("run: 2/2 points"), std::string::npos) << r.Err;

    TempDir::Write(sim, "[Sample0]\nCurrent=lots\n");
    const CliResult bad = RunCli({"--ini", ini.string(), "run", "--plan", "300", "--sim", sim.string()});
    EXPECT_EQ(bad.ExitCode, 3);
    EXPECT_TRUE(bad.Out.empty());
}

} // namespace
