#pragma once

#include "evaluation/ccalccore.h"
#include "evaluation/ccalcpolinom.h"
#include "model/cmeasuredata.h"

#include <cstddef>

// Result series of one sample over the reference temperatures of the store. A sample is addressed
// by its point index inside a reference temperature (its position in the sample array).
//
// Getters return true and write the value when the point at (temperature, sample) is complete and
// the value could be computed; otherwise they return false and leave the output alone. Nothing
// thrown by the calculation passes through here.
//
// Builders collect the (Tavr, value) pairs of the sample in store order and fit them with the
// polynomial's own current degree. True: the polynomial holds the series (check its IsFitted()
// before drawing a curve). False: no usable point; the polynomial is left as it was.
class CCalcData {
public:
    // The store is read, not owned; null gives false everywhere.
    explicit CCalcData(const CMeasrueData* data) : pData(data) {}

    bool PointTavr(std::size_t sample, std::size_t tempIndex, double& value) const;
    bool PointAlpha(std::size_t sample, std::size_t tempIndex, double& value) const;
    bool PointSigma(std::size_t sample, std::size_t tempIndex, double& value) const;
    bool PointKappa(std::size_t sample, std::size_t tempIndex, double& value) const;
    bool PointKappaCorr(std::size_t sample, std::size_t tempIndex, double& value) const;
    bool PointZ(std::size_t sample, std::size_t tempIndex, double& value) const;
    bool PointZCorr(std::size_t sample, std::size_t tempIndex, double& value) const;

    // Any of the six properties by selector; false for a selector outside 0..5.
    bool PointValue(TCalcValue which, std::size_t sample, std::size_t tempIndex, double& value) const;

    bool FitAlpha(std::size_t sample, CCalcPolinom& poly) const;
    bool FitSigma(std::size_t sample, CCalcPolinom& poly) const;
    bool FitKappa(std::size_t sample, CCalcPolinom& poly, bool corrected) const;
    bool FitZ(std::size_t sample, CCalcPolinom& poly, bool corrected) const;

    // The series of any property (what the four builders use).
    bool FitValue(TCalcValue which, std::size_t sample, CCalcPolinom& poly) const;

private:
    const CMeasrueData* pData;
};
