// One acquisition record through the device and the built-in simulator: frames 7, 8 and 5 with
// text encoding and decoding, the physics advanced by one second of instrument time.
#include "instrument/cqm4750device.h"
#include "simulator/csimlink.h"

#include <benchmark/benchmark.h>

namespace {

void BM_AcquisitionRecord(benchmark::State& state) {
    CVirtualClock clock;
    CPortLink link(clock);
    CQm4750Device device(link);
    device.Open(0);
    device.SetTemperature(320.0f);
    device.SetMode(1);
    device.StartCycle(0);
    std::array<std::uint8_t, 5> cycle{};
    _sTelemetry record;
    for (auto _ : state) {
        clock.Advance(1000);
        device.ReadCycleState(cycle);
        if ((cycle[0] & 0x0F) == CYCLE_READY)
            device.ReadTelemetry(0, record);
        device.StartCycle(0);
        benchmark::DoNotOptimize(record);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["records/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AcquisitionRecord);

void BM_DecodeTelemetryReply(benchmark::State& state) {
    const char* reply = "25.1234 26.5678 1261.11 40 26.84 22.84 26.8413 26.84 50.1 31 20.0001 0 0 00;";
    for (auto _ : state) {
        const auto* pos = reinterpret_cast<const std::uint8_t*>(reply);
        float values[12];
        std::uint8_t flags[2];
        for (int i = 0; i < 6; ++i)
            pos += DecodeArg(pos, values[i]);
        for (int c = 0; c < 2; ++c) {
            for (int i = 0; i < 3; ++i)
                pos += DecodeArg(pos, values[6 + 3 * c + i]);
            pos += DecodeArg(pos, flags[c], true);
        }
        benchmark::DoNotOptimize(values);
        benchmark::DoNotOptimize(flags);
    }
}
BENCHMARK(BM_DecodeTelemetryReply);

} // namespace
