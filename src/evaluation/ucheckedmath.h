#pragma once

#include "evaluation/ecalcerror.h"

#include <cmath>

// Checked arithmetic of the evaluation: every step that could divide by zero, produce 0/0 or
// overflow throws ECalcError instead of carrying a NaN or an infinity into a published number.
// Internal to this folder.
namespace qm_calc {

inline double Finite(double value) {
    if (std::isnan(value))
        throw ECalcError("Invalid floating point operation");
    if (std::isinf(value))
        throw ECalcError("Floating point overflow");
    return value;
}

inline double Add(double a, double b) {
    return Finite(a + b);
}
inline double Sub(double a, double b) {
    return Finite(a - b);
}
inline double Mul(double a, double b) {
    return Finite(a * b);
}

inline double Div(double a, double b) {
    if (b == 0.0)
        throw ECalcError(a == 0.0 || std::isnan(a) ? "Invalid floating point operation"
                                                   : "Floating point division by zero");
    return Finite(a / b);
}

} // namespace qm_calc
