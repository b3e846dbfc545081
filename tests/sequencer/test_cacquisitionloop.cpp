#include "instrument/cqm4750device.h"
#include "model/uglobal.h"
#include "sequencer/cacquisitionloop.h"
#include "sequencer/cprogrammlogic.h"
#include "sequencer/scriptedlink.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

namespace {

class AcquisitionLoop : public ::testing::Test {
protected:
    TempDir dir;
    GlobalValue g{dir / "absent.INI"};
    ScriptedLink link;
    CQm4750Device device{link};
    std::uint32_t now = 1000;
    CAcquisitionLoop loop{g, device, [this] { return now; }};

    AcquisitionLoop() {
        g.bWriteBackAtExit = false;
        device.Open(0);
    }

    void QueueRecord(int flags = PID_READY) {
        link.CycleReplies.push_back(ScriptedLink::CycleReply(7));
        link.TelemetryReplies.push_back(ScriptedLink::TelemetryReply(300.25, 299.75, 1000, 40, 301, flags));
    }
};

TEST_F(AcquisitionLoop, CycleStateDecidesWhatTheTickDoes) {
    struct Case {
        const char* name;
        ScriptedLink::Reply cycle;
        bool telemetryOk;
        std::vector<int> frames; // after frame 7
        bool recordRead;
        bool cycleStarted;
    };
    const Case cases[] = {
        {"idle", ScriptedLink::CycleReply(0), true, {5}, false, true},
        {"ready", ScriptedLink::CycleReply(7), true, {8, 5}, true, true},
        {"ready, high nibble set", ScriptedLink::CycleReply(0x17), true, {8, 5}, true, true},
        {"converting", ScriptedLink::CycleReply(3), true, {}, false, false},
        {"cycle state not read", {false, ""}, true, {}, false, false},
        // The record stays in the instrument and is read at the next tick.
        {"telemetry not read", ScriptedLink::CycleReply(7), false, {8}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        link.Sent.clear();
        link.CycleReplies = {c.cycle};
        link.TelemetryReplies = {c.telemetryOk
                                     ? ScriptedLink::TelemetryReply(300.25, 299.75, 1000, 40, 301, 0)
                                     : ScriptedLink::Reply{false, ""}};
        const std::uint32_t triggerBefore = loop.GetLastTriggerTime();
        now += 250;
        const _sTickResult r = loop.Tick();
        std::vector<int> expected{7};
        expected.insert(expected.end(), c.frames.begin(), c.frames.end());
        EXPECT_EQ(link.Ids(), expected);
        EXPECT_EQ(r.bRecordRead, c.recordRead);
        EXPECT_EQ(r.bCycleStarted, c.cycleStarted);
        EXPECT_EQ(loop.GetLastTriggerTime(), c.cycleStarted ? now : triggerBefore);
        if (c.recordRead) {
            EXPECT_FLOAT_EQ(r.Record.T1, 300.25f);
            EXPECT_FLOAT_EQ(r.Record.Pid[0].T, 301.0f);
        } else {
            EXPECT_EQ(r.Record.T1, 0.0f);
        }
    }
}

TEST_F(AcquisitionLoop, NothingHappensWhileTheLinkIsClosed) {
    device.Close();
    const _sTickResult r = loop.Tick();
    EXPECT_FALSE(r.bStateRead);
    EXPECT_TRUE(link.Sent.empty());
}

TEST_F(AcquisitionLoop, DataRateIsMeasuredFromTheLastStartCycle) {
    // A record before any StartCycle of ours has no interval: the rate stays.
    QueueRecord();
    loop.Tick();
    EXPECT_EQ(g.DataRate, 1.0);
    EXPECT_EQ(loop.GetLastTriggerTime(), 1000u);

    now = 1500;
    QueueRecord();
    loop.Tick();
    EXPECT_DOUBLE_EQ(g.DataRate, 2.0);

    // A tick that waits (state 3) lengthens the interval of the next record.
    now = 2000;
    link.CycleReplies.push_back(ScriptedLink::CycleReply(3));
    loop.Tick();
    now = 2500;
    QueueRecord();
    loop.Tick();
    EXPECT_DOUBLE_EQ(g.DataRate, 1.0);

    // 0 ms: no division, the rate stays.
    QueueRecord();
    loop.Tick();
    EXPECT_DOUBLE_EQ(g.DataRate, 1.0);

    // The tick count wraps around.
    now = 0xFFFFFF00u;
    link.CycleReplies.push_back(ScriptedLink::CycleReply(0));
    loop.Tick();
    now = 0xFFFFFF00u + 250u;
    QueueRecord();
    loop.Tick();
    EXPECT_DOUBLE_EQ(g.DataRate, 4.0);
}

TEST_F(AcquisitionLoop, RunIsFollowedFromStartToEnd) {
    g.MeasureData.AddTemperature(300);
    g.MeasureData.AddPoint(g.Samples[0].get());
    ASSERT_EQ(g.ProgrammLogic->Start(), StartOk);
    CProgrammLogic& logic = *g.ProgrammLogic;

    // A record that could not be read never reaches the sequencer.
    link.CycleReplies.push_back(ScriptedLink::CycleReply(7));
    link.TelemetryReplies.push_back({false, ""});
    _sTickResult r = loop.Tick();
    EXPECT_FALSE(r.bProcessed);
    EXPECT_EQ(logic.GetState(), lsWaitSetPoint);
    EXPECT_FALSE(loop.IsRunFlagSet());

    QueueRecord();
    r = loop.Tick();
    EXPECT_TRUE(r.bProcessed);
    EXPECT_TRUE(r.bRunStarted);
    EXPECT_EQ(logic.GetState(), lsSetPointReached);
    EXPECT_FALSE(r.bPositionChanged); // mode 0, sample 0, temperature 0: as cached at start
    EXPECT_TRUE(g.bMeasureSaved);

    int started = 0, ended = 0, changes = 0, ticks = 0;
    while (loop.IsRunFlagSet() && ticks < 10000) {
        now += 1000;
        QueueRecord();
        r = loop.Tick();
        ++ticks;
        started += r.bRunStarted;
        ended += r.bRunEnded;
        changes += r.bPositionChanged;
        if (r.bPositionChanged) {
            EXPECT_FALSE(g.bMeasureSaved);
        }
    }
    EXPECT_EQ(started, 0);
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(r.bRunEnded);
    // Modes 1, 3, 2, 0 and then the indexes to -1 in the same step.
    EXPECT_EQ(changes, 4);
    EXPECT_FALSE(logic.IsRunning());
    EXPECT_TRUE(g.MeasureData.GetPoint(0, 0).IsComplete());
    EXPECT_EQ(loop.GetCachedTemperature(), -1);

    // After the end, records are shown but not processed.
    QueueRecord();
    r = loop.Tick();
    EXPECT_TRUE(r.bRecordRead);
    EXPECT_FALSE(r.bProcessed);
    EXPECT_FALSE(r.bRunEnded);
}

} // namespace
