#pragma once

#include "model/cmeasuredata.h"

#include <memory>
#include <random>
#include <vector>

// Fills an empty store with `count` reference temperatures from 220 K in steps of `step` kelvin,
// one complete point per sample with slightly scattered readings (seeded, so every run measures
// the same bytes): the measurement the file and recovery benchmarks write and read.
inline void FillBenchStore(CMeasrueData& store, const std::vector<std::unique_ptr<CSample>>& samples,
                           std::size_t count, double step) {
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 0.01);
    for (std::size_t k = 0; k < count; ++k) {
        const double t = 220.0 + step * static_cast<double>(k);
        store.AddTemperature(t);
        for (const auto& s : samples)
            store.AddPoint(s.get());
        for (std::size_t j = 0; j < samples.size(); ++j) {
            store.SetTamb(k, j, 295.0 + noise(rng));
            store.SetModeData(k, j, mmOff, t + noise(rng), t + noise(rng), noise(rng), 0.0, true);
            store.SetModeData(k, j, mmDcPlus, t + 0.5, t - 0.5, 1200.0 + noise(rng), 40.0, true);
            store.SetModeData(k, j, mmDcMinus, t - 0.5, t + 0.5, 800.0 + noise(rng), -40.0, true);
            store.SetModeData(k, j, mmAc, t, t, 1000.0 + noise(rng), 40.0, true);
        }
    }
}
