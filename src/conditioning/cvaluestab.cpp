#include "conditioning/cvaluestab.h"

#include <algorithm>
#include <cmath>

namespace {
std::uint32_t StageSize(int size) {
    return static_cast<std::uint32_t>(std::max(size, 1));
}
} // namespace

CValueStab::CValueStab(int size1, int size2, int size3, double threshold)
    : Threshold(threshold), Stage{CValueAvr<double>(StageSize(size1)), CValueAvr<double>(StageSize(size2)),
                                  CValueAvr<double>(StageSize(size3))} {}

void CValueStab::Add(double reading) {
    Stage[0].Add(reading);
    for (std::size_t k = 0; k < Stage.size(); ++k) {
        CValueAvr<double>& stage = Stage[k];
        if (stage.Count() < stage.Capacity())
            return;
        const double mean = stage.Mean();
        if (k + 1 < Stage.size()) {
            Stage[k + 1].Add(mean);
        } else if (!bStable) {
            bStable = true;
            for (std::uint32_t i = 0; i < stage.Count(); ++i) {
                if (std::fabs(mean - stage.At(i)) > Threshold) {
                    bStable = false;
                    break;
                }
            }
        }
        stage.Clear();
    }
}

void CValueStab::Reset() {
    for (auto& stage : Stage)
        stage.Clear();
    bStable = false;
}
