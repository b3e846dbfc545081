#include "model/uglobal.h"
#include "model/uinifile.h"
#include "support/tempdir.h"

#include <functional>
#include <gtest/gtest.h>

namespace {
bool HasWarningAbout(const GlobalValue& g, const std::string& key) {
    for (const auto& w : g.Warnings)
        if (w.find(key) != std::string::npos)
            return true;
    return false;
}
} // namespace

TEST(GlobalValue, DefaultsWithoutFileAndWriteBackCreatesOnlyTheTimerKey) {
    TempDir dir;
    const auto ini = dir / "qm4750.INI";
    {
        GlobalValue g(ini);
        EXPECT_TRUE(g.Warnings.empty());
        EXPECT_EQ(g.Timer1000TimeOut, 1000);
        EXPECT_EQ(g.SampleCount, 3);
        EXPECT_EQ(g.TRange.Tmin, 220.0);
        EXPECT_EQ(g.TRange.Tmax, 400.0);
        EXPECT_EQ(g.sTrackBar.TStepMin, 1);
        EXPECT_EQ(g.sTrackBar.TStepMax, 20);
        EXPECT_EQ(g.sDataConfig.sAvrData_A1, 10);
        EXPECT_EQ(g.sDataConfig.sAvrData_A2, 5);
        EXPECT_EQ(g.sDataConfig.sAvrData_A3, 3);
        EXPECT_DOUBLE_EQ(g.sDataConfig.sAvrData_dStabVal, 0.3);
        EXPECT_EQ(g.sDataConfig.sAvrPoint, 50);
        EXPECT_EQ(g.sDataConfig.sWaitPoint_Sec, 20);
        EXPECT_EQ(g.sDataConfig.sWaitPointSampleChange_Sec, 30);
        EXPECT_EQ(g.sDataConfig.Degree, (std::array<int, 4>{5, 5, 5, 5}));
        EXPECT_TRUE(g.sDataConfig.bUseCorrection);
        EXPECT_FALSE(g.sChart.bShowPol);
        EXPECT_EQ(g.sChart.iPolOffset, 20);
        EXPECT_EQ(g.sPID.ColorIdle, 12632256);
        EXPECT_EQ(g.TimerId, 1000);
        EXPECT_EQ(g.DataRate, 1.0);
        EXPECT_TRUE(g.bMeasureSaved);
        EXPECT_EQ(g.MeasureData.GetTemperatureCount(), 0u);
        ASSERT_EQ(g.Samples.size(), 3u);
        EXPECT_FALSE(std::filesystem::exists(ini)) << "nothing is written before exit";
    }
    EXPECT_EQ(TempDir::Read(ini), "[Timers]\nTimer1000TimeOut=1000\n");
}

TEST(GlobalValue, FactorsBoolRuleAndSampleCount) {
    TempDir dir;
    const auto ini = dir / "qm4750.INI";
    TempDir::Write(ini, "[TRange]\nTmin=22050\n[sDataConfig]\nsAvrData_dStabVal=50\nbUseCorrection=7\n"
                        "DegreeOfKappa=2\n[sChart]\nbShowPol=0\n[Samples]\nSampleCount=5\n");
    GlobalValue g(ini);
    g.bWriteBackAtExit = false;
    EXPECT_DOUBLE_EQ(g.TRange.Tmin, 220.5);
    EXPECT_DOUBLE_EQ(g.sDataConfig.sAvrData_dStabVal, 0.05);
    EXPECT_TRUE(g.sDataConfig.bUseCorrection);
    EXPECT_FALSE(g.sChart.bShowPol);
    EXPECT_EQ(g.sDataConfig.Degree[piKappa], 2);
    ASSERT_EQ(g.Samples.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(g.Samples[i]->GetDevId(), i);
        EXPECT_DOUBLE_EQ(g.Samples[i]->GetCurrent(usMilli), 40.0);
        EXPECT_TRUE(g.Samples[i]->GetUse());
    }
    EXPECT_TRUE(g.Warnings.empty());

    TempDir::Write(ini, "[sDataConfig]\nbUseCorrection=0\n[sChart]\nbShowPol=-3\n");
    GlobalValue h(ini);
    h.bWriteBackAtExit = false;
    EXPECT_FALSE(h.sDataConfig.bUseCorrection);
    EXPECT_TRUE(h.sChart.bShowPol);
}

TEST(GlobalValue, SectionAndKeyNamesIgnoreCase) {
    TempDir dir;
    const auto ini = dir / "qm4750.INI";
    TempDir::Write(ini, "[samples]\r\nSAMPLECOUNT = 2\r\n");
    GlobalValue g(ini);
    g.bWriteBackAtExit = false;
    EXPECT_EQ(g.SampleCount, 2);
}

TEST(GlobalValue, WriteBackKeepsEverythingElseOfTheFile) {
    TempDir dir;
    const auto ini = dir / "qm4750.INI";
    const std::string before = "; lab settings\n[Samples]\nSampleCount=2\n\n[timers]\n; how often we poll\n"
                               "TIMER1000TIMEOUT = 500\nOther=x\n\n[Zeta]\nk=v\n; last words\n";
    TempDir::Write(ini, before);
    {
        GlobalValue g(ini);
        EXPECT_EQ(g.Timer1000TimeOut, 500);
        g.Timer1000TimeOut = 250;
    }
    std::string expected = before;
    expected.replace(expected.find("500"), 3, "250");
    EXPECT_EQ(TempDir::Read(ini), expected);
}

TEST(IniFile, SetKeyAddsToSectionOrFile) {
    struct Case {
        const char* name;
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        {"empty file", "", "[Timers]\nTimer1000TimeOut=7\n"},
        {"other section, no final newline", "[A]\nx=1", "[A]\nx=1\n\n[Timers]\nTimer1000TimeOut=7\n"},
        {"section without the key", "[Timers]\nfoo=1\n\n[B]\ny=2\n",
         "[Timers]\nfoo=1\nTimer1000TimeOut=7\n\n[B]\ny=2\n"},
        {"CR LF kept", "[Timers]\r\nTimer1000TimeOut=1\r\n", "[Timers]\r\nTimer1000TimeOut=7\r\n"},
        {"commented key is not the key", "[Timers]\n;Timer1000TimeOut=1\n",
         "[Timers]\n;Timer1000TimeOut=1\nTimer1000TimeOut=7\n"},
    };
    for (const Case& c : cases) {
        std::string text = c.before;
        SetIniKeyInText(text, "Timers", "Timer1000TimeOut", "7");
        EXPECT_EQ(text, c.after) << c.name;
    }
}

TEST(GlobalValue, UnwritableFileAtExitIsNotAnError) {
    TempDir dir;
    GlobalValue g(dir / "missing-folder" / "qm4750.INI");
    EXPECT_FALSE(g.WriteBack());
}

TEST(GlobalValue, SenselessValuesAreClampedWithAWarning) {
    struct Case {
        const char* text;
        const char* key;
        std::function<bool(const GlobalValue&)> check;
    };
    const Case cases[] = {
        {"[Samples]\nSampleCount=0\n", "SampleCount",
         [](auto& g) { return g.SampleCount == 1 && g.Samples.size() == 1; }},
        {"[Samples]\nSampleCount=2000000000\n", "SampleCount", [](auto& g) { return g.SampleCount == 64; }},
        {"[Samples]\nSampleCount=many\n", "SampleCount", [](auto& g) { return g.SampleCount == 3; }},
        {"[Timers]\nTimer1000TimeOut=0\n", "Timer1000TimeOut",
         [](auto& g) { return g.Timer1000TimeOut == 1; }},
        {"[Timers]\nTimer1000TimeOut=99999999999\n", "Timer1000TimeOut",
         [](auto& g) { return g.Timer1000TimeOut == 1000; }},
        {"[sDataConfig]\nsAvrData_A2=0\n", "sAvrData_A2",
         [](auto& g) { return g.sDataConfig.sAvrData_A2 == 1; }},
        {"[sDataConfig]\nsAvrPoint=-5\n", "sAvrPoint", [](auto& g) { return g.sDataConfig.sAvrPoint == 1; }},
        {"[sDataConfig]\nsAvrData_dStabVal=-1\n", "sAvrData_dStabVal",
         [](auto& g) { return g.sDataConfig.sAvrData_dStabVal == 0.0; }},
        {"[sDataConfig]\nDegreeOfZ=9\n", "DegreeOfZ", [](auto& g) { return g.sDataConfig.Degree[piZ] == 5; }},
        {"[TRange]\nTmin=50000\n", "Tmin",
         [](auto& g) { return g.TRange.Tmin == 400.0 && g.TRange.Tmax == 400.0; }},
        {"[sTrackBar]\nTStepMin=0\n", "TStepMin", [](auto& g) { return g.sTrackBar.TStepMin == 1; }},
        {"[sTrackBar]\nTStepMin=30\n", "TStepMin", [](auto& g) { return g.sTrackBar.TStepMin == 20; }},
        {"[sChart]\niVisiblePoints=2147483647\niInVisiblePoints=2147483647\n", "iInVisiblePoints",
         [](auto& g) {
             return g.sChart.iVisiblePoints + static_cast<long long>(g.sChart.iInVisiblePoints) <= 2147483647;
         }},
    };
    TempDir dir;
    const auto ini = dir / "qm4750.INI";
    for (const Case& c : cases) {
        TempDir::Write(ini, c.text);
        GlobalValue g(ini);
        g.bWriteBackAtExit = false;
        EXPECT_TRUE(c.check(g)) << c.text;
        EXPECT_TRUE(HasWarningAbout(g, c.key)) << c.text;
    }
}
