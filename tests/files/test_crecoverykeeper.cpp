#include "files/crecoverykeeper.h"

#include "files/urecoveryfile.h"
#include "instrument/cqm4750device.h"
#include "model/uglobal.h"
#include "sequencer/cacquisitionloop.h"
#include "sequencer/cprogrammlogic.h"
#include "simulator/csimclock.h"
#include "simulator/csimlink.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

namespace {

std::filesystem::path ShortSettings(const TempDir& dir) {
    const auto ini = dir / "short.INI";
    TempDir::Write(ini, "[sDataConfig]\nsAvrPoint=5\nsWaitPoint_Sec=2\nsWaitPointSampleChange_Sec=2\n"
                        "sAvrData_A1=3\nsAvrData_A2=2\nsAvrData_A3=2\n");
    return ini;
}

int MeasuredModes(const CMeasrueData& store) {
    int count = 0;
    for (const _sMeasureArray& t : store.Items)
        for (const _sMeasurePoint& p : t.Points)
            for (const _sModeData& m : p.Mode)
                count += m.bMeasured ? 1 : 0;
    return count;
}

class Keeper : public ::testing::Test {
protected:
    TempDir dir;
    GlobalValue g{ShortSettings(dir)};
    std::filesystem::path file = RecoveryFilePath(dir / "data");

    Keeper() {
        g.bWriteBackAtExit = false;
        for (double t : {300.0, 310.0}) {
            g.MeasureData.AddTemperature(t);
            for (const auto& s : g.Samples)
                g.MeasureData.AddPoint(s.get());
        }
        g.Samples[1]->SetUse(false);
    }

    std::string OnDisk() const { return TempDir::Read(file); }
    std::string Expected() const { return EncodeRecoveryFile(g.MeasureData, g.Samples); }
};

// The whole road against the simulator: after every tick that stored a mode, the copy on disk
// already holds it, and the copy is not rewritten on ticks that changed nothing.
TEST_F(Keeper, EveryStoredModeIsOnDiskWhenTheTickReturns) {
    CVirtualClock clock;
    CPortLink link(clock);
    CQm4750Device device(link);
    ASSERT_TRUE(device.Open(0));
    device.SendConnect(1);
    CAcquisitionLoop loop(g, device, [&clock] { return static_cast<std::uint32_t>(clock.NowMs()); });
    CRecoveryKeeper keeper(g, file, kfRecoveryCopy, false);
    ASSERT_EQ(g.ProgrammLogic->Start(), StartOk);

    int stored = 0;
    int ticks = 0;
    while ((g.ProgrammLogic->IsRunning() || loop.IsRunFlagSet()) && ticks < 200000) {
        keeper.AfterTick(loop.Tick());
        clock.Advance(g.Timer1000TimeOut);
        ++ticks;
        if (const int now = MeasuredModes(g.MeasureData); now != stored) {
            ASSERT_EQ(now, stored + 1) << "one mode per tick at most";
            stored = now;
            ASSERT_EQ(OnDisk(), Expected()) << "after mode " << stored;
        }
    }
    EXPECT_EQ(stored, 2 * 2 * MeasureModeCount) << "two temperatures, two samples in use";
    EXPECT_TRUE(keeper.LastResult());
    // One write per stored mode, plus the run's start and its end.
    EXPECT_LE(keeper.WriteCount(), static_cast<std::size_t>(stored + 2));
    EXPECT_GT(ticks, 10 * stored) << "most ticks store nothing";

    // What the copy restores is the measurement, use flags included.
    GlobalValue restored{ShortSettings(dir)};
    restored.bWriteBackAtExit = false;
    ASSERT_TRUE(LoadRecoveryFile(file, restored.MeasureData, restored.Samples));
    EXPECT_FALSE(restored.Samples[1]->GetUse());
    EXPECT_EQ(EncodeRecoveryFile(restored.MeasureData, restored.Samples), Expected());
}

TEST_F(Keeper, WritesOnlyWhileSomethingIsUnsavedAndDiscardRemovesTheCopy) {
    CRecoveryKeeper keeper(g, file, kfRecoveryCopy, false);
    g.bMeasureSaved = true;
    keeper.MeasureChanged();
    _sTickResult moved;
    moved.bPositionChanged = true;
    keeper.AfterTick(moved);
    EXPECT_FALSE(std::filesystem::exists(file));

    g.bMeasureSaved = false;
    keeper.AfterTick(_sTickResult{});
    EXPECT_FALSE(std::filesystem::exists(file)) << "a tick that moved nothing writes nothing";
    keeper.MeasureChanged();
    EXPECT_EQ(OnDisk(), Expected());
    g.MeasureData.DeleteTemperature(0);
    keeper.AfterTick(moved);
    EXPECT_EQ(OnDisk(), Expected());

    g.bMeasureSaved = true;
    keeper.Discard();
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(keeper.LastResult());
    EXPECT_EQ(keeper.WriteCount(), 2u);
}

TEST_F(Keeper, MeasureFileFormatIsAPlainLoadableMeasurement) {
    const auto out = dir / "run.q47";
    CRecoveryKeeper keeper(g, out, kfMeasureFile, false);
    g.bMeasureSaved = false;
    keeper.MeasureChanged();
    EXPECT_EQ(TempDir::Read(out), EncodeMeasureFile(g.MeasureData, g.Samples));
}

TEST_F(Keeper, BackgroundWriterKeepsTheNewestStateAndFinishesBeforeItEnds) {
    g.bMeasureSaved = false;
    {
        CRecoveryKeeper keeper(g, file, kfRecoveryCopy, true);
        for (int i = 0; i < 50; ++i) {
            g.MeasureData.SetModeData(0, 0, mmOff, 300 + i, 299, i, 40, true);
            keeper.MeasureChanged();
        }
        keeper.Flush();
        EXPECT_EQ(OnDisk(), Expected());
        EXPECT_GE(keeper.WriteCount(), 1u);
        EXPECT_LE(keeper.WriteCount(), 50u);

        keeper.Discard();
        keeper.Flush();
        EXPECT_FALSE(std::filesystem::exists(file));

        g.MeasureData.SetTamb(1, 2, 296.5);
        keeper.MeasureChanged(); // not flushed: the destructor finishes it
    }
    EXPECT_EQ(OnDisk(), Expected());
}

TEST_F(Keeper, AFailedWriteIsReportedAndTheRunGoesOn) {
    TempDir::Write(dir / "blocker", "a file where the folder should be");
    for (bool background : {false, true}) {
        SCOPED_TRACE(background ? "background" : "synchronous");
        CRecoveryKeeper keeper(g, dir / "blocker" / "recovery.q47r", kfRecoveryCopy, background);
        g.bMeasureSaved = false;
        keeper.MeasureChanged();
        keeper.Flush();
        const FileResult last = keeper.LastResult();
        EXPECT_FALSE(last);
        EXPECT_NE(last.Message.find("blocker"), std::string::npos) << last.Message;
    }
}

} // namespace
