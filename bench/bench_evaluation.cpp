#include "evaluation/ccalccore.h"
#include "evaluation/ccalcdata.h"
#include "evaluation/ccalcpolinom.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

CSample MakeSample() {
    CSample s;
    s.bUse = true;
    s.SetA(1.5, usMilli);
    s.SetB(1.5, usMilli);
    s.SetL(4.0, usMilli);
    s.SetWireL(20.0, usMilli);
    s.SetWireD(0.05, usMilli);
    s.SetCurrent(40.0, usMilli);
    return s;
}

// A plausible point near `t` kelvin whose properties drift smoothly with temperature.
_sMeasurePoint MakePoint(CSample* sample, double t) {
    const double u = (t - 300.0) / 100.0;
    _sMeasurePoint p;
    p.pSample = sample;
    p.Mode[mmOff] = {true, t, t, 0.0, 0.0};
    p.Mode[mmDcPlus] = {true, t + 0.5, t - 0.5, 1200.0 + 40.0 * u + 5.0 * u * u, 40.0};
    p.Mode[mmDcMinus] = {true, t - 0.5, t + 0.5, 800.0 - 40.0 * u - 5.0 * u * u, -40.0};
    p.Mode[mmAc] = {true, t, t, 1000.0 + 100.0 * u, 40.0};
    return p;
}

// All six properties of one point, each with its own calculator as the result series do it.
void BM_PointSixProperties(benchmark::State& state) {
    CSample sample = MakeSample();
    const _sMeasurePoint point = MakePoint(&sample, 300.0);
    for (auto _ : state) {
        for (int v = cvAlpha; v <= cvZCorr; ++v) {
            const CCalcCore core(&point);
            benchmark::DoNotOptimize(core.GetValue(static_cast<TCalcValue>(v)));
        }
    }
}
BENCHMARK(BM_PointSixProperties);

void BM_Fit100PointsDegree5(benchmark::State& state) {
    std::vector<double> x, y;
    for (int k = 0; k < 100; ++k) {
        const double t = 220.0 + 1.8 * k;
        x.push_back(t);
        y.push_back(2e-4 + 1e-6 * std::sin(t / 20.0));
    }
    CCalcPolinom poly;
    for (auto _ : state) {
        benchmark::DoNotOptimize(poly.Fit(5, x, y));
        benchmark::DoNotOptimize(poly.GetRms());
    }
}
BENCHMARK(BM_Fit100PointsDegree5);

// What the results page does on every click: the four series of one sample at degree 5,
// Kappa and Z with correction (the dearer case).
void BM_FitFourSeries1000Temperatures(benchmark::State& state) {
    CSample sample = MakeSample();
    CMeasrueData store;
    for (int t = 0; t < 1000; ++t) {
        const double tref = 220.0 + 0.18 * t;
        store.AddTemperature(tref);
        store.AddPoint(&sample);
        store.GetPoint(static_cast<std::size_t>(t), 0) = MakePoint(&sample, tref);
    }
    const CCalcData data(&store);
    for (auto _ : state) {
        CCalcPolinom alpha, sigma, kappa, z;
        for (CCalcPolinom* p : {&alpha, &sigma, &kappa, &z})
            p->SetDegree(5);
        benchmark::DoNotOptimize(data.FitAlpha(0, alpha));
        benchmark::DoNotOptimize(data.FitSigma(0, sigma));
        benchmark::DoNotOptimize(data.FitKappa(0, kappa, true));
        benchmark::DoNotOptimize(data.FitZ(0, z, true));
    }
}
BENCHMARK(BM_FitFourSeries1000Temperatures)->Unit(benchmark::kMillisecond);

} // namespace
