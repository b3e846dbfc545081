// Cost of one record on the live telemetry chart once it holds its full number of points, which is
// what every acquisition tick pays on the window's thread for the rest of a run.

#include "ui/utelemetrychart.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

void BM_AppendToFullChart(benchmark::State& state) {
    const bool shown = state.range(0) != 0;
    TTelemetryChart chart(220.0, 400.0, 1200, 1200);
    chart.resize(900, 500);
    if (shown)
        chart.show();
    int i = 0;
    auto next = [&i] { return 300.0 + 0.5 * std::sin(0.01 * ++i); };
    for (int k = 0; k < 2400; ++k)
        chart.Append(next(), next() - 0.02);
    QApplication::processEvents();
    for (auto _ : state) {
        chart.Append(next(), next() - 0.02);
        QApplication::processEvents(); // the chart's own deferred updates belong to the cost
    }
    state.SetLabel(shown ? "chart shown" : "chart hidden");
}
BENCHMARK(BM_AppendToFullChart)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
