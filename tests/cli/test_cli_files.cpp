#include "cli/clirunner.h"
#include "files/uexportfile.h"
#include "files/usaveloadfile.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <memory>

namespace {
// A measurement of `samples` samples at 250, 270, ... K whose Seebeck coefficient grows linearly
// with temperature: (200 + 0.3 (T - 300) + j) uV/K for sample j. The last sample has its points
// measured at the first three temperatures only.
struct MeasurementFile {
    std::vector<std::unique_ptr<CSample>> Samples;
    CMeasrueData Store;

    MeasurementFile(int samples, int temperatures) {
        for (int j = 0; j < samples; ++j) {
            auto s = std::make_unique<CSample>();
            s->SetDevId(10 + j);
            s->SetA(1.5, usMilli);
            s->SetB(1.5, usMilli);
            s->SetL(4, usMilli);
            s->SetWireL(20, usMilli);
            s->SetWireD(0.05, usMilli);
            s->SetCurrent(40, usMilli);
            Samples.push_back(std::move(s));
        }
        for (int k = 0; k < temperatures; ++k) {
            const double t = 250.0 + 20.0 * k;
            Store.AddTemperature(t);
            for (const auto& s : Samples)
                Store.AddPoint(s.get());
            for (int j = 0; j < samples; ++j) {
                const auto kk = static_cast<std::size_t>(k);
                const auto jj = static_cast<std::size_t>(j);
                const bool measured = j + 1 < samples || k < 3;
                const double a = 200.0 + 0.3 * (t - 300.0) + j;
                Store.SetTamb(kk, jj, 295.0);
                Store.SetModeData(kk, jj, mmOff, t, t, 1000.0, 0.0, measured);
                Store.SetModeData(kk, jj, mmDcPlus, t + 0.5, t - 0.5, 1000.0 + a, 40.0, measured);
                Store.SetModeData(kk, jj, mmDcMinus, t - 0.5, t + 0.5, 1000.0 - a, -40.0, measured);
                Store.SetModeData(kk, jj, mmAc, t, t, 1000.0, 40.0, measured);
            }
        }
    }
    std::string Bytes() const { return EncodeMeasureFile(Store, Samples); }
};

struct CliFilesTest : ::testing::Test {
    TempDir dir;
    std::filesystem::path ini = dir / "lab.INI";
    std::filesystem::path file = dir / "run.q47";

    CliFilesTest() {
        TempDir::Write(ini, "[Samples]\nSampleCount=3\n");
        TempDir::Write(file, MeasurementFile(3, 6).Bytes());
    }
    CliResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--ini", ini.string()});
        return RunCli(args);
    }
};
} // namespace

TEST_F(CliFilesTest, InfoDescribesTheFileAsItIs) {
    TempDir::Write(file, MeasurementFile(4, 4).Bytes()); // more samples than configured
    const CliResult r = Run({"info", file.string()});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    EXPECT_EQ(r.Out, "Reference temperatures: 4\nSamples: 4\n"
                     "Sample 0: DevId=10 A=1.5 B=1.5 L=4 WireL=20 WireD=0.05 mm, I=40 mA\n"
                     "Sample 1: DevId=11 A=1.5 B=1.5 L=4 WireL=20 WireD=0.05 mm, I=40 mA\n"
                     "Sample 2: DevId=12 A=1.5 B=1.5 L=4 WireL=20 WireD=0.05 mm, I=40 mA\n"
                     "Sample 3: DevId=13 A=1.5 B=1.5 L=4 WireL=20 WireD=0.05 mm, I=40 mA\n"
                     "Tref 0: 250 K, complete points 4 of 4\n"
                     "Tref 1: 270 K, complete points 4 of 4\n"
                     "Tref 2: 290 K, complete points 4 of 4\n"
                     "Tref 3: 310 K, complete points 3 of 4\n");
}

TEST_F(CliFilesTest, ExportLoadsWithTheConfiguredSampleCount) {
    TempDir::Write(ini, "[Samples]\nSampleCount=2\n");
    const auto out = dir / "run.txt";
    const CliResult r = Run({"export", file.string(), out.string()});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out + r.Err, "");

    // Exactly what the library writes for the file loaded into two samples, apart from the time.
    MeasurementFile two(2, 0);
    CMeasrueData loaded;
    ASSERT_TRUE(LoadMeasureFile(file, loaded, two.Samples));
    const std::string text = TempDir::Read(out);
    const std::string composed = ComposeResultText(loaded, std::tm{});
    EXPECT_EQ(text.substr(text.find("\r\n")), composed.substr(composed.find("\r\n")));
    EXPECT_NE(text.find("Sample #1. In device ID 11\r\n"), std::string::npos);
    EXPECT_EQ(text.find("Sample #2."), std::string::npos);
}

TEST_F(CliFilesTest, FitGivesPointsFormulaAndRmsPerProperty) {
    const CliResult r = Run({"fit", file.string(), "--sample", "2", "--degrees", "1,0,5,2"});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    // Three complete points of sample 2; Alpha is (202 + 0.3 (T - 300)) uV/K exactly.
    EXPECT_EQ(r.Out.rfind("Sample 2 (DevId 12), 6 reference temperatures, Kappa and Z corrected for the "
                          "lead wires\nAlpha, V/K: 3 points, degree 1, rms ",
                          0),
              0u)
        << r.Out;
    EXPECT_NE(r.Out.find("\n  +3.0000000E-07*X^1+1.1200000E-04\nSigma, S/m: 3 points, degree 0, rms 0\n"
                         "  +7.1111111E+04\n"),
              std::string::npos)
        << r.Out;
    EXPECT_NE(r.Out.find("\nKappa, W/(m K): 3 points, no fit of degree 5 (too few distinct temperatures)\n"
                         "Z, 1/K: 3 points, degree 2, rms "),
              std::string::npos)
        << r.Out;

    // Degrees default to the settings; --no-correction and bUseCorrection=0 both switch it off.
    TempDir::Write(ini, "[sDataConfig]\nDegreeOfAlpha=0\nbUseCorrection=0\n");
    const CliResult plain = Run({"fit", file.string(), "--sample", "0"});
    EXPECT_EQ(plain.ExitCode, 0) << plain.Err;
    EXPECT_NE(plain.Out.find("no correction\nAlpha, V/K: 6 points, degree 0, rms "), std::string::npos)
        << plain.Out;
    EXPECT_NE(plain.Out.find("Kappa, W/(m K): 6 points, degree 5, rms "), std::string::npos);
}

TEST_F(CliFilesTest, FitOfAPropertyWithoutValuesSaysSo) {
    MeasurementFile m(3, 6);
    for (const auto& s : m.Samples)
        s->SetWireL(0, usMilli); // no lead wire length: nothing to correct with
    TempDir::Write(file, m.Bytes());
    const CliResult r = Run({"fit", file.string(), "--sample", "1", "--degrees", "1,1,1,1"});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("\nKappa, W/(m K): no fit, no point of this sample gives a value\n"
                         "Z, 1/K: no fit, no point of this sample gives a value\n"),
              std::string::npos)
        << r.Out;
    EXPECT_NE(r.Out.find("\nSigma, S/m: 6 points, degree 1"), std::string::npos);
    const CliResult off = Run({"fit", file.string(), "--sample", "1", "--no-correction"});
    EXPECT_NE(off.Out.find("\nKappa, W/(m K): 6 points"), std::string::npos) << off.Out;
}

// A damaged input file: one line on stderr naming the file and the fault, status 3, no output
// file and nothing on stdout.
TEST_F(CliFilesTest, DamagedFileGivesOneLineAndStatus3) {
    const std::string good = TempDir::Read(file);
    std::string version = good;
    version[6] = 2;
    const struct {
        std::string Bytes;
        std::string Fault;
    } damaged[] = {
        {good.substr(0, 412), "file ends after 412 of " + std::to_string(good.size()) + " bytes"},
        {"PK\x03\x04 something else", "not a QM4750 measurement file"},
        {version, "format version 2 is not supported"},
    };
    const auto out = dir / "out.txt";
    for (const auto& d : damaged) {
        TempDir::Write(file, d.Bytes);
        for (const std::vector<std::string>& args :
             std::vector<std::vector<std::string>>{{"info", file.string()},
                                                   {"export", file.string(), out.string()},
                                                   {"fit", file.string(), "--sample", "0"}}) {
            SCOPED_TRACE(args[0] + ": " + d.Fault);
            const CliResult r = Run(args);
            EXPECT_EQ(r.ExitCode, 3);
            EXPECT_EQ(r.Out, "");
            EXPECT_EQ(r.Err, "qm4750-cli: " + file.string() + ": " + r.Err.substr(14 + file.string().size()));
            EXPECT_NE(r.Err.find(d.Fault), std::string::npos) << r.Err;
            EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1);
            EXPECT_FALSE(std::filesystem::exists(out));
        }
    }
    const CliResult missing = Run({"info", (dir / "none.q47").string()});
    EXPECT_EQ(missing.ExitCode, 3);
    EXPECT_NE(missing.Err.find("none.q47"), std::string::npos);
}

TEST_F(CliFilesTest, BadCommandLinesGiveStatus2) {
    const std::string f = file.string();
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"info"},
                                               {"info", f, f},
                                               {"info", f, "--sample", "0"},
                                               {"export", f},
                                               {"export", f, f}, // would overwrite the measurement
                                               {"fit", f},
                                               {"fit", f, "--sample", "3"},
                                               {"fit", f, "--sample", "-1"},
                                               {"fit", f, "--sample", "x"},
                                               {"fit", f, "--sample", "0", "--degrees", "1,2,3"},
                                               {"fit", f, "--sample", "0", "--degrees", "1,2,3,6"},
                                               {"fit", f, "--sample", "0", "--degrees", "1,2,3,4,5"},
                                               {"fit", f, "--sample", "0", "--degrees", "1,,3,4"},
                                               {"fit", "--sample", "0"}}) {
        SCOPED_TRACE(args.size() > 2 ? args[0] + " " + args.back() : args[0]);
        const CliResult r = Run(args);
        EXPECT_EQ(r.ExitCode, 2);
        EXPECT_NE(r.Err.find("Usage: qm4750-cli"), std::string::npos);
        EXPECT_EQ(r.Out, "");
    }
    EXPECT_EQ(TempDir::Read(file), MeasurementFile(3, 6).Bytes());
}
