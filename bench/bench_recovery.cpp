// The recovery copy of a measurement of 100 reference temperatures and 3 samples, every mode stored:
// what a stored mode costs the GUI thread when the keeper writes in the background (a snapshot of
// the bytes), beside what the whole atomic write (flushed to disk) costs when it is done in place.
// Times that include the disk are per wall-clock second (UseRealTime).

#include "benchstore.h"
#include "files/crecoverykeeper.h"
#include "files/urecoveryfile.h"
#include "model/uglobal.h"

#include <benchmark/benchmark.h>

namespace {
constexpr std::size_t Temperatures = 100;

std::filesystem::path BenchFolder() {
    return std::filesystem::temp_directory_path() / "qm4750-bench-recovery";
}

// A GlobalValue with defaults (3 samples) and a full store.
GlobalValue& Global() {
    static GlobalValue* g = [] {
        auto* global = new GlobalValue(BenchFolder() / "absent.INI");
        global->bWriteBackAtExit = false;
        global->bMeasureSaved = false;
        FillBenchStore(global->MeasureData, global->Samples, Temperatures, 1.8);
        return global;
    }();
    return *g;
}

// The bytes of the copy: the snapshot the GUI thread takes.
void BM_EncodeRecoveryCopy(benchmark::State& state) {
    const GlobalValue& g = Global();
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string copy = EncodeRecoveryFile(g.MeasureData, g.Samples);
        bytes = copy.size();
        benchmark::DoNotOptimize(copy);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EncodeRecoveryCopy);

// The keeper's call after a stored mode, writing in the background: the GUI thread's whole cost.
// Pending writes are replaced by newer ones, so the worker never falls behind.
void BM_KeeperAfterStoredMode_Background(benchmark::State& state) {
    const GlobalValue& g = Global();
    CRecoveryKeeper keeper(g, RecoveryFilePath(BenchFolder()), kfRecoveryCopy, true);
    for (auto _ : state)
        keeper.MeasureChanged();
    keeper.Flush();
    state.counters["writes"] = static_cast<double>(keeper.WriteCount());
}
BENCHMARK(BM_KeeperAfterStoredMode_Background);

// The same call writing in place: encode, temporary file, fsync, rename, fsync of the folder.
void BM_KeeperAfterStoredMode_InPlace(benchmark::State& state) {
    const GlobalValue& g = Global();
    CRecoveryKeeper keeper(g, RecoveryFilePath(BenchFolder()), kfRecoveryCopy, false);
    for (auto _ : state)
        keeper.MeasureChanged();
    if (!keeper.LastResult())
        state.SkipWithError(keeper.LastResult().Message.c_str());
}
BENCHMARK(BM_KeeperAfterStoredMode_InPlace)->UseRealTime()->Unit(benchmark::kMillisecond);

// Reading and checking the copy at start-up.
void BM_LoadRecoveryCopy(benchmark::State& state) {
    GlobalValue& g = Global();
    const auto path = RecoveryFilePath(BenchFolder());
    if (!WriteRecoveryFile(path, g.MeasureData, g.Samples)) {
        state.SkipWithError("cannot write the copy");
        return;
    }
    GlobalValue target(BenchFolder() / "absent.INI");
    target.bWriteBackAtExit = false;
    for (auto _ : state) {
        const FileResult loaded = LoadRecoveryFile(path, target.MeasureData, target.Samples);
        benchmark::DoNotOptimize(loaded);
    }
}
BENCHMARK(BM_LoadRecoveryCopy)->UseRealTime();
} // namespace
