#include "evaluation/ccalcpolinom.h"

#include "evaluation/polinom.h"

#include <algorithm>
#include <stdexcept>

double CCalcPolinom::GetX(std::size_t index) const {
    if (index >= iCount)
        throw std::out_of_range("Index out of the range");
    return pX[index];
}

double CCalcPolinom::GetY(std::size_t index) const {
    if (index >= iCount)
        throw std::out_of_range("Index out of the range");
    return pY[index];
}

void CCalcPolinom::GetCoefs(double* coefs) const {
    // Only coefficients of the current degree: after SetDegree without a new fit the caller's array
    // is sized for a degree these coefficients do not have.
    if (HoldsCurrentDegree())
        std::copy(pCoef.begin(), pCoef.end(), coefs);
}

bool CCalcPolinom::Fit(int degree, const double* x, std::size_t n, const double* y) {
    if (n == 0 || x == nullptr || y == nullptr) {
        pX.clear();
        pY.clear();
        n = 0;
    } else {
        pX.assign(x, x + n);
        pY.assign(y, y + n);
    }
    iDegree = degree;
    iCount = n;
    if (degree < 0 || degree > MaxDegree) {
        pCoef.clear();
        bFitted = false;
        PolyFit(-1, pX, pY, nullptr, dRms); // the residual of "no curve": the rms of y
        return false;
    }
    pCoef.assign(static_cast<std::size_t>(degree) + 1, 0.0);
    bFitted = PolyFit(degree, pX, pY, pCoef.data(), dRms);
    return bFitted;
}

bool CCalcPolinom::Fit(int degree, std::span<const double> x, std::span<const double> y) {
    return Fit(degree, x.data(), std::min(x.size(), y.size()), y.data());
}

bool CCalcPolinom::IsFitted() const {
    return bFitted && HoldsCurrentDegree();
}

double CCalcPolinom::Calc(double x) const {
    if (pCoef.empty())
        return 0.0;
    return PolyValue(x, static_cast<int>(pCoef.size()) - 1, pCoef.data());
}
