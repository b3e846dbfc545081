#pragma once

#include <cstddef>
#include <span>
#include <vector>

// One result series with its least-squares polynomial. The polynomial keeps copies of the points
// of its last fit, the coefficients (highest power first) and the root-mean-square residual.
//
// A fit that cannot be used (fewer distinct x values than degree + 1, a singular system, an
// arithmetic fault) still replaces degree, count and points, but leaves all coefficients 0 and
// IsFitted() false: callers draw the points and no curve. Coefficients are never NaN or infinite.
class CCalcPolinom {
public:
    // Degrees above this are refused by Fit (nothing of that size is allocated).
    static constexpr int MaxDegree = 64;

    void SetDegree(int degree) { iDegree = degree; }
    int GetDegree() const { return iDegree; }
    std::size_t GetCount() const { return iCount; }

    // Throw std::out_of_range("Index out of the range") for an index at or above GetCount().
    double GetX(std::size_t index) const;
    double GetY(std::size_t index) const;

    // Copies the GetDegree() + 1 coefficients, highest power first; copies nothing when it holds no
    // coefficients of that degree (never fitted, a degree Fit refused, or SetDegree since the fit).
    void GetCoefs(double* coefs) const;
    const std::vector<double>& Coefs() const { return pCoef; }

    // Replaces degree, points and coefficients with the fit of the n points (the polynomial keeps
    // copies). Returns IsFitted(). With no points the coefficients are all 0 and the result is
    // false; with a degree outside 0..MaxDegree the points are taken, no coefficients are held and
    // the result is false.
    bool Fit(int degree, const double* x, std::size_t n, const double* y);
    bool Fit(int degree, std::span<const double> x, std::span<const double> y); // the shorter length

    // True when the last fit gave a usable curve of the current degree; false for a new polynomial
    // and after SetDegree changed the degree since the fit.
    bool IsFitted() const;

    // Value at x of the coefficients held (whatever degree they were fitted with); 0 without any.
    double Calc(double x) const;

    // Root-mean-square residual of the last fit (of the zero polynomial for an unusable one);
    // 0 for a new polynomial.
    double GetRms() const { return dRms; }

private:
    int iDegree = 0;
    std::size_t iCount = 0;
    std::vector<double> pX;
    std::vector<double> pY;
    std::vector<double> pCoef;
    double dRms = 0.0;
    bool bFitted = false;

    bool HoldsCurrentDegree() const {
        return iDegree >= 0 && pCoef.size() == static_cast<std::size_t>(iDegree) + 1;
    }
};
