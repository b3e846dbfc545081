#include "cli/clirunner.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

TEST(CliSettings, PrintsEverySettingInFileOrderThenTheSamples) {
    TempDir dir;
    const auto ini = dir / "lab.INI";
    TempDir::Write(ini, "[TRange]\nTmin=22050\n[Samples]\nSampleCount=2\n");
    const std::string before = TempDir::Read(ini);

    const CliResult r = RunCli({"--ini", ini.string(), "settings"});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    EXPECT_EQ(r.Out.rfind("Timers.Timer1000TimeOut = 1000\nSamples.SampleCount = 2\nTRange.Tmin = 220.5\n"
                          "TRange.Tmax = 400\n",
                          0),
              0u)
        << r.Out;
    EXPECT_NE(r.Out.find("\nsDataConfig.sAvrData_dStabVal = 0.3\n"), std::string::npos);
    EXPECT_NE(r.Out.find("\nsDataConfig.bUseCorrection = 1\n"), std::string::npos);
    EXPECT_NE(r.Out.find("\nsPID.ColorIdle = 12632256\nSample 0: DevId=0 Use=1 Current=40 mA\n"
                         "Sample 1: DevId=1 Use=1 Current=40 mA\n"),
              std::string::npos)
        << r.Out;
    EXPECT_EQ(TempDir::Read(ini), before) << "the command-line program never writes the settings";
}

TEST(CliSettings, ClampedValuesAreReportedOnStderr) {
    TempDir dir;
    const auto ini = dir / "lab.INI";
    TempDir::Write(ini, "[Samples]\nSampleCount=0\n");
    const CliResult r = RunCli({"--ini", ini.string(), "settings"});
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_NE(r.Err.find("Samples.SampleCount = 0"), std::string::npos) << r.Err;
    EXPECT_NE(r.Out.find("Samples.SampleCount = 1\n"), std::string::npos);
}

TEST(CliSettings, BadCommandLinesGiveUsageAndStatus2) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"frobnicate"}, {"--ini"}, {"settings", "extra"}, {"--verbose", "settings"}}) {
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.ExitCode, 2) << (args.empty() ? "(none)" : args[0]);
        EXPECT_NE(r.Err.find("Usage: qm4750-cli"), std::string::npos);
        EXPECT_EQ(r.Out, "");
    }
}
