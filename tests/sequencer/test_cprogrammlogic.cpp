#include "instrument/cqm4750device.h"
#include "model/uglobal.h"
#include "sequencer/cprogrammlogic.h"
#include "sequencer/scriptedlink.h"
#include "support/tempdir.h"

#include <functional>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {

// A sequencer on the default settings (3 samples, stability stages 10/5/3, 50 averaged records,
// waits of 20 s and 30 s) whose commands go to a scripted link, fed with scripted records.
class Sequencer : public ::testing::Test {
public:
    TempDir dir;
    GlobalValue g{dir / "absent.INI"};
    ScriptedLink link;
    CQm4750Device device{link};
    CProgrammLogic& logic = *g.ProgrammLogic;

    Sequencer() {
        g.bWriteBackAtExit = false;
        logic.SetDevice(&device);
    }

    void AddTemperatures(std::initializer_list<double> trefs) {
        for (double t : trefs) {
            g.MeasureData.AddTemperature(t);
            for (auto& sample : g.Samples)
                g.MeasureData.AddPoint(sample.get());
        }
    }

    void CompletePoint(std::size_t t, std::size_t s, double u) {
        for (int m = 0; m < MeasureModeCount; ++m)
            g.MeasureData.SetModeData(t, s, m, 300, 300, u, 40, true);
    }

    // The scripted source: a settled stage at the current point's Tref (set point reached unless
    // told otherwise). U tells the sample and the current mode apart, Tamb the mode, so the
    // test sees which records went where. With unstable set, T1 and T2 jump by a kelvin.
    bool ready = true;
    bool unstable = false;
    int recordNo = 0;
    _sTelemetry Record() {
        const int t = logic.GetTemperatureIndex();
        const int s = logic.GetSampleIndex();
        const double tref = t < 0 ? 300.0 : g.MeasureData.GetTref(static_cast<std::size_t>(t));
        const double jump = unstable && (recordNo++ % 2) ? 1.0 : 0.0;
        _sTelemetry r;
        r.T1 = static_cast<float>(tref + 0.25 + jump);
        r.T2 = static_cast<float>(tref - 0.25 - jump);
        r.U = static_cast<float>(1000 * (s + 1) + 100 * logic.GetMode());
        r.I = 40.0f;
        r.Pid[0].T = static_cast<float>(tref + 1 + logic.GetMode());
        r.Pid[0].Flags = ready ? PID_READY : 0;
        return r;
    }

    // Feeds records until done() holds; returns how many it took (fails the test past limit).
    int FeedUntil(const std::function<bool()>& done, int limit = 100000) {
        for (int n = 0; n < limit; ++n) {
            if (done())
                return n;
            logic.Process(Record());
        }
        ADD_FAILURE() << "condition not reached within " << limit << " records";
        return limit;
    }

    int FeedToEnd() {
        return FeedUntil([&] { return !logic.IsRunning(); });
    }

    // The points in the order the run chose them.
    std::vector<std::pair<int, int>> RunAndTrackPoints(const std::function<void(int, int)>& onNewPoint = {}) {
        std::vector<std::pair<int, int>> visited;
        FeedUntil([&] {
            const std::pair<int, int> p{logic.GetTemperatureIndex(), logic.GetSampleIndex()};
            if (visited.empty() || visited.back() != p) {
                visited.push_back(p);
                if (onNewPoint)
                    onNewPoint(p.first, p.second);
            }
            return !logic.IsRunning();
        });
        return visited;
    }

    bool Measured(std::size_t t, std::size_t s, int mode) const {
        return g.MeasureData.GetPoint(t, s).Mode[static_cast<std::size_t>(mode)].bMeasured;
    }
};

TEST_F(Sequencer, StartWithNothingToDoReturnsMinus100AndSendsNothing) {
    struct Case {
        const char* name;
        std::function<void(Sequencer&)> setup;
    };
    const Case cases[] = {
        {"empty store", [](Sequencer&) {}},
        {"every point complete",
         [](Sequencer& f) {
             f.AddTemperatures({300});
             for (std::size_t s = 0; s < 3; ++s)
                 f.CompletePoint(0, s, 1);
         }},
        {"every sample switched off",
         [](Sequencer& f) {
             f.AddTemperatures({300, 310});
             for (auto& sample : f.g.Samples)
                 sample->SetUse(false);
         }},
        {"temperature without points", [](Sequencer& f) { f.g.MeasureData.AddTemperature(300); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g.MeasureData.ClearAll();
        for (auto& sample : g.Samples)
            sample->SetUse(true);
        link.Sent.clear();
        c.setup(*this);
        EXPECT_EQ(logic.Start(), StartNothingToDo);
        EXPECT_FALSE(logic.IsRunning());
        EXPECT_TRUE(link.Sent.empty());
        EXPECT_EQ(logic.GetTemperatureIndex(), -1);
    }
}

TEST_F(Sequencer, WholeRunMeasuresEveryModeIntoItsRecordAndEndsInTheRestState) {
    g.Samples[1]->SetDevId(5);
    g.Samples[1]->SetCurrent(25.0, usMilli);
    g.Samples[2]->SetUse(false);
    AddTemperatures({300, 320});

    ASSERT_EQ(logic.Start(), StartOk);
    EXPECT_TRUE(logic.IsRunning());
    // Sample selection and its current, current off, then the set point.
    EXPECT_EQ(link.Ids(), (std::vector<int>{18, 1, 6, 26}));
    EXPECT_EQ(link.PayloadsOf(18), std::vector<std::string>{"0 "});
    EXPECT_EQ(link.PayloadsOf(1), std::vector<std::string>{"8 40 "});
    EXPECT_EQ(link.PayloadsOf(6), std::vector<std::string>{"0 0 "});
    EXPECT_EQ(link.PayloadsOf(26), std::vector<std::string>{"26.84 "});
    EXPECT_EQ(logic.GetState(), lsWaitSetPoint);

    // The set point flag, one record's pause, then the stability wait.
    ready = false;
    for (int i = 0; i < 10; ++i)
        logic.Process(Record());
    EXPECT_EQ(logic.GetState(), lsWaitSetPoint);
    ready = true;
    logic.Process(Record());
    EXPECT_EQ(logic.GetState(), lsSetPointReached);
    logic.Process(Record());
    EXPECT_EQ(logic.GetState(), lsWaitStable);
    FeedUntil([&] { return logic.GetState() == lsCollect; }, 1000);

    // OFF first, with Tamb from the OFF records only; then DC+, AC, DC- (mode indexes 1, 3, 2).
    FeedUntil([&] { return Measured(0, 0, mmOff); });
    EXPECT_EQ(g.MeasureData.GetTamb(0, 0), 301.0);
    EXPECT_EQ(logic.GetMode(), mmDcPlus);
    FeedUntil([&] { return Measured(0, 0, mmDcPlus); });
    EXPECT_EQ(logic.GetMode(), mmAc);
    EXPECT_FALSE(Measured(0, 0, mmDcMinus));
    FeedUntil([&] { return Measured(0, 0, mmAc); });
    EXPECT_EQ(logic.GetMode(), mmDcMinus);
    FeedUntil([&] { return Measured(0, 0, mmDcMinus); });
    const _sMeasurePoint& p = g.MeasureData.GetPoint(0, 0);
    for (int m = 0; m < MeasureModeCount; ++m) {
        EXPECT_EQ(p.Mode[m].dU, 1000 + 100 * m) << "mode " << m;
        EXPECT_FLOAT_EQ(p.Mode[m].dT1, 300.25f);
        EXPECT_FLOAT_EQ(p.Mode[m].dT2, 299.75f);
        EXPECT_EQ(p.Mode[m].dI, 40.0);
    }
    EXPECT_EQ(g.MeasureData.GetTamb(0, 0), 301.0);

    // The second sample at the same temperature: no set point, no stability wait. Records that
    // would never pass either wait still get it measured after 29 skipped records for the sample
    // change, 50 averaged and three times 19 skipped and 50 averaged.
    EXPECT_EQ(logic.GetSampleIndex(), 1);
    EXPECT_EQ(logic.GetState(), lsCollect);
    EXPECT_EQ(logic.GetCountdown(), 30);
    EXPECT_EQ(link.PayloadsOf(26).size(), 1u);
    EXPECT_EQ(link.PayloadsOf(18).back(), "5 ");
    EXPECT_EQ(link.PayloadsOf(1).back(), "8 25 ");
    ready = false;
    unstable = true;
    EXPECT_EQ(FeedUntil([&] { return g.MeasureData.GetPoint(0, 1).IsComplete(); }), 29 + 50 + 3 * (19 + 50));
    EXPECT_EQ(g.MeasureData.GetPoint(0, 1).Mode[mmAc].dU, 2000 + 100 * mmAc);

    // Sample 2 is off: next is the next temperature, with its set point.
    EXPECT_EQ(logic.GetTemperatureIndex(), 1);
    EXPECT_EQ(logic.GetSampleIndex(), 0);
    EXPECT_EQ(logic.GetState(), lsWaitSetPoint);
    EXPECT_EQ(link.PayloadsOf(26).back(), "46.84 ");

    ready = true;
    unstable = false;
    link.Sent.clear();
    FeedToEnd();
    EXPECT_TRUE(g.MeasureData.IsTemperatureDone(1));
    EXPECT_FALSE(g.MeasureData.GetPoint(1, 2).IsComplete());
    EXPECT_FALSE(logic.IsRunning());
    EXPECT_EQ(logic.GetState(), lsIdle);
    EXPECT_EQ(logic.GetTemperatureIndex(), -1);
    EXPECT_EQ(logic.GetSampleIndex(), -1);
    // Current off, both PID channels to 300 K.
    ASSERT_GE(link.Sent.size(), 3u);
    const auto& last = link.Sent;
    EXPECT_EQ(last[last.size() - 3].Id, 6);
    EXPECT_EQ(last[last.size() - 3].Payload, "0 0 ");
    EXPECT_EQ(last[last.size() - 2].Payload, "0 0 26.84 2 ");
    EXPECT_EQ(last[last.size() - 1].Payload, "1 0 26.84 2 ");
    EXPECT_EQ(last[last.size() - 1].Id, 22);

    // Nothing is left: a new start has nothing to do.
    EXPECT_EQ(logic.Start(), StartNothingToDo);
}

TEST_F(Sequencer, WaitAfterAModeChangeIsCountedInRecordsFromDataRate) {
    struct Case {
        double rate;
        int countdown; // after storing OFF
        int records;   // from storing OFF to storing DC+
    };
    // 20 s at 2 records/s: 40, so 39 records skipped and the 40th averaged first.
    const Case cases[] = {{1.0, 20, 19 + 50}, {2.0, 40, 39 + 50}, {1.99, 39, 38 + 50}, {0.01, 0, 50}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        g.MeasureData.ClearAll();
        AddTemperatures({300});
        g.DataRate = c.rate;
        ASSERT_EQ(logic.Start(), StartOk);
        FeedUntil([&] { return Measured(0, 0, mmOff); });
        EXPECT_EQ(logic.GetCountdown(), c.countdown);
        EXPECT_EQ(FeedUntil([&] { return Measured(0, 0, mmDcPlus); }), c.records);
        logic.Stop();
    }
}

TEST_F(Sequencer, SamplesSwitchedOffAndOnDuringARunAreTakenAtTheNextChoice) {
    AddTemperatures({300, 310});
    ASSERT_EQ(logic.Start(), StartOk);
    const auto visited = RunAndTrackPoints([&](int t, int s) {
        if (t == 0 && s == 0)
            g.Samples[1]->SetUse(false); // skipped at this temperature and the next
        if (t == 1 && s == 0)
            g.Samples[1]->SetUse(true); // measured here, then back at the first temperature
    });
    const std::vector<std::pair<int, int>> expected{{0, 0}, {0, 2}, {1, 0}, {1, 1}, {1, 2}, {0, 1}, {-1, -1}};
    EXPECT_EQ(visited, expected);
    EXPECT_EQ(link.PayloadsOf(26), (std::vector<std::string>{"26.84 ", "36.84 ", "26.84 "}));
    for (std::size_t t = 0; t < 2; ++t)
        for (std::size_t s = 0; s < 3; ++s)
            EXPECT_TRUE(g.MeasureData.GetPoint(t, s).IsComplete()) << t << "," << s;
}

TEST_F(Sequencer, RunResumesAtTheFirstIncompletePointAndMeasuresItAgainFromOff) {
    AddTemperatures({300, 310});
    for (std::size_t s = 0; s < 3; ++s)
        CompletePoint(0, s, -1);
    // Half measured: OFF and DC+ stored before the run was interrupted.
    g.MeasureData.SetModeData(1, 1, mmOff, 310, 310, -2, 40, true);
    g.MeasureData.SetModeData(1, 1, mmDcPlus, 310, 310, -2, 40, true);
    CompletePoint(1, 0, -1);

    ASSERT_EQ(logic.Start(), StartOk);
    EXPECT_EQ(logic.GetTemperatureIndex(), 1);
    EXPECT_EQ(logic.GetSampleIndex(), 1);
    EXPECT_EQ(link.PayloadsOf(26), std::vector<std::string>{"36.84 "});
    EXPECT_EQ(RunAndTrackPoints(), (std::vector<std::pair<int, int>>{{1, 1}, {1, 2}, {-1, -1}}));

    for (int m = 0; m < MeasureModeCount; ++m) {
        EXPECT_EQ(g.MeasureData.GetPoint(1, 1).Mode[m].dU, 2000 + 100 * m) << "mode " << m;
        EXPECT_EQ(g.MeasureData.GetPoint(1, 0).Mode[m].dU, -1) << "complete point untouched";
        EXPECT_EQ(g.MeasureData.GetPoint(0, 2).Mode[m].dU, -1) << "complete point untouched";
    }
}

TEST_F(Sequencer, StoreChangedUnderTheRunStopsItWithoutWritingElsewhere) {
    struct Case {
        const char* name;
        std::function<void(CMeasrueData&)> change;
        bool keepsRunning;
    };
    const Case cases[] = {
        {"current temperature deleted", [](CMeasrueData& d) { d.DeleteTemperature(1); }, false},
        {"earlier temperature deleted", [](CMeasrueData& d) { d.DeleteTemperature(0); }, false},
        {"store emptied", [](CMeasrueData& d) { d.ClearAll(); }, false},
        {"temperature appended", [](CMeasrueData& d) { d.AddTemperature(330); }, true},
        {"later temperature deleted", [](CMeasrueData& d) { d.DeleteTemperature(2); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g.MeasureData.ClearAll();
        AddTemperatures({300, 310, 320});
        for (std::size_t s = 0; s < 3; ++s)
            CompletePoint(0, s, -1);
        ASSERT_EQ(logic.Start(), StartOk);
        ASSERT_EQ(logic.GetTemperatureIndex(), 1);
        FeedUntil([&] { return Measured(1, 0, mmDcPlus); });

        c.change(g.MeasureData);
        std::vector<_sMeasureArray> before = g.MeasureData.Items;
        link.Sent.clear();
        logic.Process(Record());
        EXPECT_EQ(logic.IsRunning(), c.keepsRunning);
        if (!c.keepsRunning) {
            EXPECT_EQ(logic.GetTemperatureIndex(), -1);
            EXPECT_EQ(logic.GetSampleIndex(), -1);
            EXPECT_EQ(link.Ids(), (std::vector<int>{6, 22, 22}));
            for (int i = 0; i < 200; ++i) // no longer running: ignored
                logic.Process(Record());
            ASSERT_EQ(g.MeasureData.Items.size(), before.size());
            for (std::size_t t = 0; t < before.size(); ++t)
                for (std::size_t s = 0; s < before[t].Points.size(); ++s)
                    for (int m = 0; m < MeasureModeCount; ++m)
                        EXPECT_EQ(g.MeasureData.Items[t].Points[s].Mode[m].bMeasured,
                                  before[t].Points[s].Mode[m].bMeasured);
        }
        logic.Stop();
    }
}

TEST_F(Sequencer, StartDropsACountdownLeftByAStoppedRun) {
    AddTemperatures({300});
    ASSERT_EQ(logic.Start(), StartOk);
    FeedUntil([&] { return Measured(0, 0, mmOff); });
    ASSERT_EQ(logic.GetCountdown(), 20);
    logic.Stop();
    link.Sent.clear();
    ASSERT_EQ(logic.Start(), StartOk);
    EXPECT_EQ(logic.GetCountdown(), 0);
    EXPECT_EQ(logic.GetState(), lsWaitSetPoint);
    EXPECT_EQ(logic.GetMode(), mmOff);
    // The half-measured point is measured again from OFF.
    EXPECT_EQ(logic.GetSampleIndex(), 0);
}

TEST_F(Sequencer, StopWithoutARunStillSendsTheRestState) {
    logic.Stop();
    EXPECT_EQ(link.Ids(), (std::vector<int>{6, 22, 22}));
    EXPECT_FALSE(logic.IsRunning());
    logic.Process(Record()); // not running: nothing happens
    EXPECT_EQ(link.Sent.size(), 3u);
}

} // namespace
