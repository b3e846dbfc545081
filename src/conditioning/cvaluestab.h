#pragma once

#include "conditioning/cvalueavr.h"

#include <array>

// Decides whether a reading has settled: three cascaded stages of non-overlapping block means;
// stable when the last stage's block means all lie within Threshold of their own mean. Once
// reached, the verdict holds until Reset.
class CValueStab {
public:
    CValueStab(int size1, int size2, int size3, double threshold);

    void Add(double reading);
    void Reset();
    bool IsStable() const { return bStable; }

    bool bStable = false;
    double Threshold;

private:
    std::array<CValueAvr<double>, 3> Stage;
};
