#include "evaluation/ccalcdata.h"

#include <vector>

namespace {

// The value of one complete point, or false when the point is not complete or the value cannot be
// computed; the output is written only on success.
template <typename Compute>
bool Evaluate(const CMeasrueData* data, std::size_t sample, std::size_t tempIndex, double& value,
              Compute compute) {
    if (data == nullptr)
        return false;
    const _sMeasurePoint& point = data->GetPoint(tempIndex, sample);
    if (!point.IsComplete())
        return false;
    try {
        value = compute(CCalcCore(&point));
        return true;
    } catch (const ECalcError&) {
        return false;
    }
}

} // namespace

bool CCalcData::PointTavr(std::size_t sample, std::size_t tempIndex, double& value) const {
    return Evaluate(pData, sample, tempIndex, value, [](const CCalcCore& core) { return core.GetTavr(); });
}

bool CCalcData::PointValue(TCalcValue which, std::size_t sample, std::size_t tempIndex, double& value) const {
    if (which < 0 || which >= CalcValueCount)
        return false;
    return Evaluate(pData, sample, tempIndex, value,
                    [which](const CCalcCore& core) { return core.GetValue(which); });
}

bool CCalcData::PointAlpha(std::size_t s, std::size_t t, double& v) const {
    return PointValue(cvAlpha, s, t, v);
}
bool CCalcData::PointSigma(std::size_t s, std::size_t t, double& v) const {
    return PointValue(cvSigma, s, t, v);
}
bool CCalcData::PointKappa(std::size_t s, std::size_t t, double& v) const {
    return PointValue(cvKappa, s, t, v);
}
bool CCalcData::PointKappaCorr(std::size_t s, std::size_t t, double& v) const {
    return PointValue(cvKappaCorr, s, t, v);
}
bool CCalcData::PointZ(std::size_t s, std::size_t t, double& v) const {
    return PointValue(cvZ, s, t, v);
}
bool CCalcData::PointZCorr(std::size_t s, std::size_t t, double& v) const {
    return PointValue(cvZCorr, s, t, v);
}

bool CCalcData::FitValue(TCalcValue which, std::size_t sample, CCalcPolinom& poly) const {
    if (pData == nullptr)
        return false;
    const std::size_t n = pData->GetTemperatureCount();
    std::vector<double> x;
    std::vector<double> y;
    x.reserve(n);
    y.reserve(n);
    // Store order, which is the order the operator added the temperatures; the fit does not care.
    // Incomplete points and values that cannot be computed give false and are left out.
    for (std::size_t t = 0; t < n; ++t) {
        double tavr = 0.0;
        double value = 0.0;
        if (PointTavr(sample, t, tavr) && PointValue(which, sample, t, value)) {
            x.push_back(tavr);
            y.push_back(value);
        }
    }
    if (x.empty())
        return false;
    poly.Fit(poly.GetDegree(), x, y);
    return true;
}

bool CCalcData::FitAlpha(std::size_t sample, CCalcPolinom& poly) const {
    return FitValue(cvAlpha, sample, poly);
}
bool CCalcData::FitSigma(std::size_t sample, CCalcPolinom& poly) const {
    return FitValue(cvSigma, sample, poly);
}
bool CCalcData::FitKappa(std::size_t sample, CCalcPolinom& poly, bool corrected) const {
    return FitValue(corrected ? cvKappaCorr : cvKappa, sample, poly);
}
bool CCalcData::FitZ(std::size_t sample, CCalcPolinom& poly, bool corrected) const {
    return FitValue(corrected ? cvZCorr : cvZ, sample, poly);
}
