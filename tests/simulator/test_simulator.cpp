#include "evaluation/ccalccore.h"
#include "instrument/cqm4750device.h"
#include "model/csample.h"
#include "simulator/csimlink.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

// The instrument as the program sees it: device, program link, simulator, virtual clock.
struct Bench {
    CVirtualClock clock;
    CPortLink link;
    CQm4750Device device{link};

    explicit Bench(std::uint64_t seed = 1, _sSimConfig config = _sSimConfig::Defaults())
        : link(clock, std::move(config), seed) {
        EXPECT_TRUE(device.Open(0));
    }
    CQm4750Sim& sim() { return link.GetSimulator(); }

    // One acquisition cycle: start it, let it complete, read the record.
    _sTelemetry Record() {
        EXPECT_TRUE(device.StartCycle(0));
        clock.Advance(1000);
        std::array<std::uint8_t, 5> state{};
        EXPECT_TRUE(device.ReadCycleState(state));
        EXPECT_EQ(state[0], CYCLE_READY);
        _sTelemetry t;
        EXPECT_TRUE(device.ReadTelemetry(0, t));
        return t;
    }
    std::uint8_t CycleState() {
        std::array<std::uint8_t, 5> state{};
        EXPECT_TRUE(device.ReadCycleState(state));
        return state[0] & 0x0F;
    }
};

TEST(SimPortLink, ListsTheBuiltInSimulatorFirst) {
    CVirtualClock clock;
    CPortLink link(clock);
    std::int32_t count = -2;
    link.GetIntrCount(count);
    EXPECT_EQ(count, 1);
    char text[CFrameLink::kDescriptionSize] = {};
    link.GetIntrDescription(0, text);
    EXPECT_STREQ(text, "Built-in simulator");

    // a later endpoint joins the list behind it
    auto second = std::make_unique<CSimLink>(link.GetSimulator());
    EXPECT_EQ(link.AddInterface("TCP 127.0.0.1:4750", std::move(second)), 1);
    link.GetIntrCount(count);
    EXPECT_EQ(count, 2);
    std::memset(text, 0, sizeof text);
    link.GetIntrDescription(1, text);
    EXPECT_STREQ(text, "TCP 127.0.0.1:4750");
    std::memset(text, 0, sizeof text);
    link.GetIntrDescription(2, text);
    EXPECT_STREQ(text, "");

    const std::uint8_t payload[] = "0 ";
    EXPECT_FALSE(link.TxFrame(5, 2, payload)); // nothing open
    EXPECT_FALSE(link.OpenIntr(2));
    EXPECT_TRUE(link.OpenIntr(0));
    EXPECT_TRUE(link.TxFrame(5, 2, payload));
    EXPECT_TRUE(link.OpenIntr(1)); // moves the connection
    EXPECT_EQ(link.GetOpenIndex(), 1);
    EXPECT_TRUE(link.CloseIntr());
    EXPECT_EQ(link.GetOpenIndex(), -1);
    EXPECT_TRUE(link.CloseIntr());
}

TEST(Simulator, ReachesTheSetPointWithRampLimitAndReadyFlag) {
    Bench b;
    _sTelemetry t = b.Record();
    EXPECT_EQ(t.Pid[0].Flags, 0); // idle before any set point
    EXPECT_NEAR(t.Pid[0].T, 296.16f, 1e-3);

    ASSERT_TRUE(b.device.SetTemperature(320.0f));
    t = b.Record();
    EXPECT_EQ(t.Pid[0].Flags, PID_ACTIVE | PID_HEAT);
    // far from the set point the stage moves at the ramp limit, 10 K/min
    b.clock.Advance(59'000);
    EXPECT_NEAR(b.sim().GetStageTemperature(), 296.16 + 10.0, 1e-9);

    int seconds = 60;
    while (!(b.Record().Pid[0].Flags & PID_READY) && seconds < 3600)
        ++seconds;
    EXPECT_GT(seconds, 200);
    EXPECT_LT(seconds, 600);
    EXPECT_NEAR(b.sim().GetStageTemperature(), 320.0, 0.1);

    // the samples lag behind the stage, then settle
    EXPECT_LT(b.sim().GetSampleTemperature(), b.sim().GetStageTemperature() - 0.05);
    b.clock.Advance(600'000);
    t = b.Record();
    EXPECT_NEAR(b.sim().GetSampleTemperature(), 320.0, 1e-3);
    EXPECT_NEAR(t.Pid[0].T, 320.0f, 2e-3);
    EXPECT_NEAR((t.T1 + t.T2) / 2, 320.0f, 0.01);

    // cooling below: heat flag clears
    ASSERT_TRUE(b.device.SetPid(0, 300.0f, 2.0f));
    b.clock.Advance(1000);
    EXPECT_EQ(b.Record().Pid[0].Flags, PID_ACTIVE);
}

TEST(Simulator, AdvancesTheSameInOneStepOrInMany) {
    CVirtualClock a, b;
    CQm4750Sim one(a), many(b);
    for (CQm4750Sim* sim : {&one, &many}) {
        _sSimReply reply;
        const std::uint8_t setPoint[] = "-40 ";
        sim->HandleFrame(fiSetTemperature, 4, setPoint, reply);
    }
    a.Advance(900'000);
    for (int i = 0; i < 900; ++i) {
        b.Advance(1000);
        many.GetSampleTemperature();
    }
    EXPECT_NEAR(one.GetStageTemperature(), many.GetStageTemperature(), 1e-9);
    EXPECT_NEAR(one.GetSampleTemperature(), many.GetSampleTemperature(), 1e-9);
}

TEST(Simulator, CycleStates) {
    Bench b;
    EXPECT_EQ(b.CycleState(), CYCLE_IDLE);
    ASSERT_TRUE(b.device.StartCycle(0));
    EXPECT_EQ(b.CycleState(), 1);
    b.clock.Advance(100);
    const std::uint8_t running = b.CycleState();
    EXPECT_GT(running, 1);
    EXPECT_LT(running, 7);
    b.clock.Advance(100);
    EXPECT_EQ(b.CycleState(), CYCLE_READY);
    b.clock.Advance(5000);
    EXPECT_EQ(b.CycleState(), CYCLE_READY); // stays ready until the next start

    // the record is what the converters saw at the end of the conversion
    ASSERT_TRUE(b.device.SetTemperature(350.0f));
    ASSERT_TRUE(b.device.StartCycle(0));
    b.clock.Advance(60'000);
    _sTelemetry t;
    ASSERT_TRUE(b.device.ReadTelemetry(0, t));
    EXPECT_NEAR(t.Pid[0].T, 296.16f + 0.2f / 6.0f, 1e-3);

    b.sim().SetCycleStuck(true);
    ASSERT_TRUE(b.device.StartCycle(0));
    for (int i = 0; i < 20; ++i) {
        b.clock.Advance(250);
        const std::uint8_t s = b.CycleState();
        EXPECT_TRUE(s >= 1 && s <= 6) << int(s);
    }
    b.sim().SetCycleStuck(false);
    EXPECT_EQ(b.CycleState(), CYCLE_READY);
}

// A settled, noise-free point in the four modes evaluates back to the material at Tm.
TEST(Simulator, SettledModesEvaluateBackToTheMaterial) {
    const _sSimConfig config = _sSimConfig::Defaults();
    for (double kelvin : {300.0, 350.0, 230.0}) {
        for (int position = 0; position < static_cast<int>(config.Samples.size()); ++position) {
            SCOPED_TRACE(testing::Message() << kelvin << " K, position " << position);
            Bench b;
            b.sim().SetNoise(false);
            const _sSimSample& material = config.Samples[static_cast<std::size_t>(position)];
            CSample sample;
            ApplySimSample(material, position, sample);
            ASSERT_TRUE(b.device.SelectSample(static_cast<std::uint8_t>(position)));
            ASSERT_TRUE(b.device.SetSampleCurrent(static_cast<float>(sample.GetCurrent(usMilli))));
            ASSERT_TRUE(b.device.SetTemperature(static_cast<float>(kelvin)));
            b.clock.Advance(3'600'000);

            _sMeasurePoint wire, exact;
            wire.pSample = exact.pSample = &sample;
            for (int mode : {0, 1, 3, 2}) {
                ASSERT_TRUE(b.device.SetMode(mode));
                b.clock.Advance(200'000);
                const _sTelemetry t = b.Record();
                wire.Mode[static_cast<std::size_t>(mode)] = {true, t.T1, t.T2, t.U, t.I};
                _sModeData& m = exact.Mode[static_cast<std::size_t>(mode)];
                m.bMeasured = true;
                b.sim().GetReadings(m.dT1, m.dT2, m.dU, m.dI);
            }
            const double tm = b.sim().GetSampleTemperature();
            const double alpha = std::abs(material.Alpha.At(tm));
            const double sigma = material.Sigma.At(tm);
            const double kappa = material.Kappa.At(tm);

            const CCalcCore calc(&exact);
            EXPECT_NEAR(calc.GetTavr(), tm, 1e-9);
            EXPECT_NEAR(calc.GetAlpha() / alpha, 1.0, 1e-9);
            EXPECT_NEAR(calc.GetSigma() / sigma, 1.0, 1e-9);
            EXPECT_NEAR(calc.GetKappaCorr() / kappa, 1.0, 1e-5); // three correction rounds
            // Z corrected for the wires is the material's own figure of merit
            EXPECT_NEAR(calc.GetZCorr() / (alpha * alpha * sigma / kappa), 1.0, 1e-2);

            // the same through the wire: six significant digits and 0.1 mK resolution
            const CCalcCore viaWire(&wire);
            EXPECT_NEAR(viaWire.GetAlpha() / alpha, 1.0, 5e-4);
            EXPECT_NEAR(viaWire.GetSigma() / sigma, 1.0, 5e-4);
            EXPECT_NEAR(viaWire.GetKappaCorr() / kappa, 1.0, 1e-3);
        }
    }
}

TEST(Simulator, ModesDriveCurrentVoltageAndPeltierDifference) {
    Bench b;
    b.sim().SetNoise(false);
    ASSERT_TRUE(b.device.SetSampleCurrent(40.0f));
    ASSERT_TRUE(b.device.SetMode(1));
    b.clock.Advance(3000); // one Peltier time constant
    const double target = b.sim().GetPeltierDelta(0);
    b.clock.Advance(60'000);
    const double settled = b.sim().GetPeltierDelta(0);
    EXPECT_NEAR(target / settled, 1.0 - std::exp(-1.0), 1e-9);
    EXPECT_GT(settled, 0.5);
    EXPECT_EQ(b.sim().GetPeltierDelta(1), 0.0); // only the selected sample carries current

    _sTelemetry t = b.Record();
    EXPECT_FLOAT_EQ(t.I, 40.0f);
    EXPECT_NEAR(t.T1 - t.T2, 0.02 + settled, 1e-3);
    ASSERT_TRUE(b.device.SetMode(2));
    b.clock.Advance(60'000);
    EXPECT_NEAR(b.sim().GetPeltierDelta(0), -settled, 1e-6);
    ASSERT_TRUE(b.device.SetMode(0));
    b.clock.Advance(60'000);
    t = b.Record();
    EXPECT_EQ(t.I, 0.0f);
    EXPECT_EQ(t.U, 0.0f);
    EXPECT_NEAR(t.T1 - t.T2, 0.02, 1e-3);

    // an empty position: no current, no voltage
    ASSERT_TRUE(b.device.SelectSample(3));
    ASSERT_TRUE(b.device.SetMode(1));
    t = b.Record();
    EXPECT_EQ(t.StatusB & STATUSB_SAMPLE_MASK, 3);
    EXPECT_EQ(t.I, 0.0f);
}

TEST(Simulator, NoiseIsRepeatableForASeed) {
    auto run = [](std::uint64_t seed) {
        Bench b(seed);
        b.device.SetMode(3);
        b.clock.Advance(60'000);
        std::vector<float> values;
        for (int i = 0; i < 20; ++i) {
            const _sTelemetry t = b.Record();
            values.insert(values.end(), {t.T1, t.T2, t.U});
        }
        return values;
    };
    const auto first = run(7);
    EXPECT_EQ(first, run(7));
    EXPECT_NE(first, run(8));
    // a few mK and a fraction of a uV
    float spreadT = 0, spreadU = 0;
    for (std::size_t i = 3; i < first.size(); i += 3) {
        spreadT = std::max(spreadT, std::abs(first[i] - first[0]));
        spreadU = std::max(spreadU, std::abs(first[i + 2] - first[2]));
    }
    EXPECT_GT(spreadT, 0.0f);
    EXPECT_LT(spreadT, 0.02f);
    EXPECT_GT(spreadU, 0.0f);
    EXPECT_LT(spreadU, 2.0f);
}

TEST(Simulator, InjectedFaults) {
    Bench b;
    b.sim().InjectFault(sfNoReply);
    EXPECT_FALSE(b.device.StartCycle(0));
    EXPECT_EQ(b.device.GetErrorFlags(), ERR_RX | ERR_RETRY);
    EXPECT_EQ(b.CycleState(), 1); // the command was carried out; only its reply was lost

    b.sim().InjectFault(sfWrongId);
    std::array<std::uint8_t, 5> state{};
    EXPECT_FALSE(b.device.ReadCycleState(state));
    EXPECT_EQ(b.device.GetErrorFlags(), ERR_ID);

    // a fault aimed at one frame id waits for it
    b.sim().InjectFault(sfGarbled, 1, fiReadTelemetry);
    b.clock.Advance(1000);
    EXPECT_EQ(b.CycleState(), CYCLE_READY);
    _sTelemetry t;
    t.T1 = -1.0f;
    EXPECT_FALSE(b.device.ReadTelemetry(0, t));
    EXPECT_EQ(b.device.GetErrorFlags(), ERR_DATA);
    EXPECT_EQ(t.T1, -1.0f);
    EXPECT_TRUE(b.device.ReadTelemetry(0, t));

    b.sim().SetVacuumLost(true);
    EXPECT_EQ(b.Record().StatusB & STATUSB_NO_VACUUM, STATUSB_NO_VACUUM);
    b.sim().SetVacuumLost(false);
    EXPECT_EQ(b.Record().StatusB & STATUSB_NO_VACUUM, 0);
}

TEST(Simulator, AnswersInTheBinaryFormToo) {
    ArgTextMode = 0;
    {
        Bench b;
        b.device.SetTemperature(310.0f);
        const _sTelemetry t = b.Record();
        EXPECT_EQ(t.Pid[0].Flags, PID_ACTIVE | PID_HEAT);
        EXPECT_NEAR(t.T1, 296.17f, 0.02);
    }
    ArgTextMode = 1;
}

TEST(SimConfig, ReadsTheDescriptionFile) {
    const SimConfigResult r = ParseSimConfig("[Simulator]\n"
                                             "StageTau = 30\n"
                                             "rampRate=20\n"
                                             "NoiseT = 0\n"
                                             "[Sample0]\n"
                                             "Name = Test pellet\n"
                                             "A = 2\nB = 3\nL = 5\n"
                                             "WireL = 0\nWireD = 0\n"
                                             "Current = 25 ; mA, a comment after the value\n"
                                             "Alpha = -180\nAlphaTc = 0.001\n"
                                             "Sigma = 2e4\nKappa = 1.2\n"
                                             "[Sample1]\n");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.config.StageTau, 30.0);
    EXPECT_EQ(r.config.RampRate, 20.0);
    EXPECT_EQ(r.config.NoiseT, 0.0);
    EXPECT_EQ(r.config.SampleTau, 30.0); // untouched keys keep the defaults
    ASSERT_EQ(r.config.Samples.size(), 2u);
    const _sSimSample& s = r.config.Samples[0];
    EXPECT_EQ(s.Name, "Test pellet");
    EXPECT_EQ(s.A, 2.0);
    EXPECT_EQ(s.Current, 25.0);
    EXPECT_DOUBLE_EQ(s.Alpha.At300, -180e-6);
    EXPECT_DOUBLE_EQ(s.Alpha.At(310.0), -180e-6 * 1.01);
    EXPECT_EQ(s.WireConductance(), 0.0);
    EXPECT_EQ(r.config.Samples[1].Name, "Sample1");
    EXPECT_DOUBLE_EQ(r.config.Samples[1].Alpha.At300, 200e-6); // a bare section is the default sample

    CSample sample;
    ApplySimSample(s, 0, sample);
    EXPECT_DOUBLE_EQ(sample.GetB(usMilli), 3.0);
    EXPECT_DOUBLE_EQ(sample.GetCurrent(usMilli), 25.0);
    EXPECT_TRUE(sample.GetUse());
}

TEST(SimConfig, RefusesBadDescriptions) {
    const struct {
        const char* Text;
        const char* Message;
    } cases[] = {
        {"[Simulator]\nStageTauu = 3\n", "[Simulator] StageTauu: unknown key"},
        {"[Sample0]\nA = wide\n", "[Sample0] A = \"wide\": not a number"},
        {"[Sample0]\nL = 0\n", "[Sample0] L = 0: must be above 0"},
        {"[Sample0]\nSigma = -5\n", "must be above 0"},
        {"[Sample0]\n[Sample2]\n", "[Sample2] without [Sample1]"},
        {"[Sample4]\n", "[Sample4]: unknown section"},
        {"[Simulator]\nCycleTime = 1e400\n", "not a number"},
    };
    for (const auto& c : cases) {
        const SimConfigResult r = ParseSimConfig(c.Text, "sim.ini");
        EXPECT_FALSE(r.ok) << c.Text;
        EXPECT_NE(r.error.find(c.Message), std::string::npos) << r.error;
        EXPECT_EQ(r.error.rfind("sim.ini: ", 0), 0u) << r.error;
    }
    const SimConfigResult missing = LoadSimConfig("/nonexistent/sim.ini");
    EXPECT_FALSE(missing.ok);
    const auto named = missing.error.find("/nonexistent/sim.ini");
    EXPECT_NE(named, std::string::npos) << missing.error;
    EXPECT_EQ(missing.error.find("/nonexistent/sim.ini", named + 1), std::string::npos) << missing.error;
}

TEST(SimConfig, LoadsAFileAndDrivesTheModel) {
    TempDir dir;
    const auto path = dir / "sim.ini";
    TempDir::Write(path, "[Sample0]\nAlpha = 100\nSigma = 1e5\nKappa = 1.5\nWireD = 0\n");
    const SimConfigResult r = LoadSimConfig(path);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.config.Samples.size(), 1u);
    Bench b(1, r.config);
    b.sim().SetNoise(false);
    b.device.SetSampleCurrent(40.0f);
    b.device.SetMode(1);
    b.clock.Advance(100'000);
    // dT = alpha * Tm * I / Ks with no wires; the keys not given keep the default sample's
    const _sSimSample& s = r.config.Samples[0];
    const double tm = 296.16;
    const double ks = s.Kappa.At(tm) * 1.5e-3 * 1.5e-3 / 4e-3;
    EXPECT_NEAR(b.sim().GetPeltierDelta(0), 100e-6 * (1 + s.Alpha.Tc * (tm - 300)) * tm * 0.04 / ks, 1e-9);
}

TEST(SimClock, InstrumentTimeNeverGoesBackwards) {
    CVirtualClock virtualClock(500);
    virtualClock.Advance(-100);
    EXPECT_EQ(virtualClock.NowMs(), 500);
    virtualClock.Advance(250);
    EXPECT_EQ(virtualClock.NowMs(), 750);

    CRealTimeClock real(60.0);
    const std::int64_t before = real.NowMs();
    real.SetSpeed(1.0); // a change of speed keeps the time reached so far
    EXPECT_GE(real.NowMs(), before);
    EXPECT_EQ(real.GetSpeed(), 1.0);
    real.SetSpeed(0.0);
    EXPECT_GT(real.GetSpeed(), 0.0);
}

} // namespace
