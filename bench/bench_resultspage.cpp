// Rebuild time of the results page, and a picture of it.
//
//   bench_resultspage [benchmark options]            the benchmarks
//   bench_resultspage --screenshot OUT.png [--load FILE.q47] [--sample N] [--size WxH]
//                                                    the page with formulas shown, saved as PNG;
//                                                    without --load on a built-in measurement of
//                                                    Bi2Te3-like samples from 220 to 400 K

#include "files/usaveloadfile.h"
#include "model/uglobal.h"
#include "ui/uresultspage.h"

#include <QApplication>
#include <QComboBox>
#include <QPixmap>
#include <QXYSeries>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

namespace {

// Settings over an INI file that does not exist: every setting at its default, nothing written.
std::unique_ptr<GlobalValue> MakeGlobal() {
    auto g =
        std::make_unique<GlobalValue>(std::filesystem::temp_directory_path() / "qm4750-bench-no-such.INI");
    g->bWriteBackAtExit = false;
    for (auto& s : g->Samples) {
        s->SetA(1.5, usMilli);
        s->SetB(1.5, usMilli);
        s->SetL(4.0, usMilli);
        s->SetWireL(20.0, usMilli);
        s->SetWireD(0.05, usMilli);
    }
    return g;
}

// Fills the store with count reference temperatures from 220 to 400 K. Every sample gets a
// complete point whose readings give Bi2Te3-like properties (Alpha about 200 uV/K, Sigma about
// 1e5 S/m, Kappa about 1.5 W/mK), varying smoothly with temperature, with a little scatter.
void FillStore(GlobalValue& g, int count) {
    std::mt19937 random(4750);
    std::normal_distribution<double> scatter(0.0, 0.004);
    auto& data = g.MeasureData;
    data.ClearAll();
    for (int t = 0; t < count; ++t) {
        const double tref = count == 1 ? 300.0 : 220.0 + 180.0 * t / (count - 1);
        data.AddTemperature(tref);
        for (std::size_t s = 0; s < g.Samples.size(); ++s) {
            CSample& sample = *g.Samples[s];
            data.AddPoint(&sample);
            const double T = tref + 0.25 + 0.05 * static_cast<double>(s); // the stage lags a little
            const double shift = 1.0 + 0.04 * static_cast<double>(s);
            const double alpha =
                (220e-6 - 0.002e-6 * (T - 330.0) * (T - 330.0)) * shift * (1.0 + scatter(random));
            const double sigma = 1e5 * std::pow(300.0 / T, 1.5) / shift * (1.0 + scatter(random));
            const double kappa = (1.45 + 2.5e-5 * (T - 300.0) * (T - 300.0)) * (1.0 + scatter(random));
            const double z = alpha * alpha * sigma / kappa;
            // Readings that give these values (see the thermoelectric formulas).
            const double iAc = 40.0;
            const double uAc = sample.GetL(usBase) / (sample.GetArea(usBase) * sigma) * iAc * 1e-3 * 1e6;
            const double dt = z * T * uAc * 1e-6 / alpha;
            const double du = alpha * dt * 1e6;
            const std::size_t ti = data.GetTemperatureCount() - 1;
            data.SetTamb(ti, s, 296.0);
            data.SetModeData(ti, s, mmOff, T + 0.01, T - 0.01, 0.3, 0.0, true);
            data.SetModeData(ti, s, mmDcPlus, T + 0.01 + dt / 2, T - 0.01 - dt / 2, uAc + du, iAc, true);
            data.SetModeData(ti, s, mmDcMinus, T + 0.01 - dt / 2, T - 0.01 + dt / 2, uAc - du, iAc, true);
            data.SetModeData(ti, s, mmAc, T + 0.01, T - 0.01, uAc, iAc, true);
        }
    }
}

// One rebuild for sample 0 of a store with 1000 reference temperatures (220..400 K, so 1800 curve
// points per property); argument: formulas shown (1) or not (0).
void BM_RebuildResults(benchmark::State& state) {
    auto g = MakeGlobal();
    FillStore(*g, 1000);
    g->sChart.bShowPol = state.range(0) != 0;
    TResultsPage page(*g);
    page.resize(1000, 700);
    for (auto _ : state)
        page.RebuildResults(0);
    state.counters["markers"] = static_cast<double>(page.Series(TResultsPage::siAlphaMarks)->count());
    state.counters["curve_points"] = static_cast<double>(page.Series(TResultsPage::siAlphaCurve)->count());
}
BENCHMARK(BM_RebuildResults)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The same rebuild onto an empty chart (the first rebuild, or after a sample without points), so
// that every marker item is created anew.
void BM_RebuildResultsFromEmpty(benchmark::State& state) {
    auto g = MakeGlobal();
    FillStore(*g, 1000);
    TResultsPage page(*g);
    page.resize(1000, 700);
    for (auto _ : state) {
        state.PauseTiming();
        page.RebuildResults(-1);
        state.ResumeTiming();
        page.RebuildResults(0);
    }
}
BENCHMARK(BM_RebuildResultsFromEmpty)->Unit(benchmark::kMillisecond);

// Switching to a sample without points: every marker goes.
void BM_RebuildResultsToEmpty(benchmark::State& state) {
    auto g = MakeGlobal();
    FillStore(*g, 1000);
    TResultsPage page(*g);
    page.resize(1000, 700);
    for (auto _ : state) {
        state.PauseTiming();
        page.RebuildResults(0);
        state.ResumeTiming();
        page.RebuildResults(-1);
    }
}
BENCHMARK(BM_RebuildResultsToEmpty)->Unit(benchmark::kMillisecond);

// A rebuild followed by painting the whole page, as the operator sees it.
void BM_RebuildAndPaint(benchmark::State& state) {
    auto g = MakeGlobal();
    FillStore(*g, 1000);
    g->sChart.bShowPol = true;
    TResultsPage page(*g);
    page.resize(1000, 700);
    page.show();
    for (auto _ : state) {
        page.RebuildResults(0);
        benchmark::DoNotOptimize(page.grab());
    }
}
BENCHMARK(BM_RebuildAndPaint)->Unit(benchmark::kMillisecond);

int Screenshot(int argc, char** argv) {
    const char* out = nullptr;
    const char* load = nullptr;
    int sample = 0;
    int width = 1000;
    int height = 720;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc)
            out = argv[++i];
        else if (std::strcmp(argv[i], "--load") == 0 && i + 1 < argc)
            load = argv[++i];
        else if (std::strcmp(argv[i], "--sample") == 0 && i + 1 < argc)
            sample = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc)
            std::sscanf(argv[++i], "%dx%d", &width, &height);
    }
    if (!out) {
        std::fprintf(stderr,
                     "usage: bench_resultspage --screenshot OUT.png [--load FILE.q47] [--sample N]\n");
        return 2;
    }
    auto g = MakeGlobal();
    if (load) {
        const FileResult result = LoadMeasureFile(load, *g);
        if (!result) {
            std::fprintf(stderr, "%s\n", result.Message.c_str());
            return 1;
        }
    } else {
        FillStore(*g, 19);
    }
    g->sChart.bShowPol = true;
    TResultsPage page(*g);
    page.resize(width, height);
    page.show();
    page.findChild<QComboBox*>(QStringLiteral("RzComboBoxSample2"))->setCurrentIndex(sample);
    page.OnPageShown();
    QApplication::processEvents();
    if (!page.grab().save(QString::fromLocal8Bit(out))) {
        std::fprintf(stderr, "cannot write %s\n", out);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--screenshot") == 0)
            return Screenshot(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
