#include "evaluation/polinom.h"

#include "evaluation/ucheckedmath.h"

#include <algorithm>
#include <cmath>
#include <vector>

using namespace qm_calc;

namespace {

// True when x holds at least `needed` different values. Stops as soon as enough are seen, so a
// well-spread series costs little more than `needed` steps.
bool HasDistinctValues(std::span<const double> x, std::size_t needed) {
    std::vector<double> seen;
    seen.reserve(needed);
    for (double v : x) {
        if (std::find(seen.begin(), seen.end(), v) == seen.end()) {
            seen.push_back(v);
            if (seen.size() >= needed)
                return true;
        }
    }
    return seen.size() >= needed;
}

double ResidualRms(int degree, std::span<const double> x, std::span<const double> y, const double* coef) {
    if (x.empty())
        return 0.0;
    double sum = 0.0;
    for (std::size_t k = 0; k < x.size(); ++k) {
        const double r = PolyValue(x[k], degree, coef) - y[k];
        sum += r * r;
    }
    return std::sqrt(sum / static_cast<double>(x.size()));
}

} // namespace

double PowerSum(std::span<const double> x, int power) {
    if (power == 0)
        return static_cast<double>(x.size());
    double sum = 0.0;
    for (double v : x)
        sum += std::pow(v, static_cast<double>(power));
    return sum;
}

double PowerSumY(std::span<const double> x, std::span<const double> y, int power) {
    const std::size_t n = std::min(x.size(), y.size());
    double sum = 0.0;
    if (power == 0) {
        for (std::size_t k = 0; k < n; ++k)
            sum += y[k];
        return sum;
    }
    for (std::size_t k = 0; k < n; ++k)
        sum += y[k] * std::pow(x[k], static_cast<double>(power));
    return sum;
}

double PolyValue(double x, int degree, const double* coef) {
    if (degree < 0)
        return 0.0;
    double value = 0.0;
    // A zero coefficient adds nothing; skipping it keeps 0 * inf (x^i overflowing) out of the sum.
    for (int i = degree; i >= 1; --i)
        if (coef[degree - i] != 0.0)
            value += coef[degree - i] * std::pow(x, static_cast<double>(i));
    return value + coef[degree];
}

bool SolveLinear(int m, const double* matrix, const double* rhs, double* solution) {
    if (m <= 0)
        return false;
    const std::size_t size = static_cast<std::size_t>(m);
    const std::size_t cols = size + 1;
    // Augmented matrix, row-major; column m holds the right-hand side.
    std::vector<double> a(size * cols);
    auto at = [&](std::size_t r, std::size_t c) -> double& { return a[r * cols + c]; };
    for (std::size_t r = 0; r < size; ++r) {
        for (std::size_t c = 0; c < size; ++c)
            at(r, c) = matrix[r * size + c];
        at(r, size) = rhs[r];
    }

    try {
        for (std::size_t i = 0; i + 1 < size; ++i) {
            if (at(i, i) == 0.0) {
                std::size_t j = i + 1;
                while (j < size && at(j, i) == 0.0)
                    ++j;
                // No row to exchange the zero pivot for: the system is singular. Exchanging columns
                // instead would mix up the coefficients of two powers, so give up instead.
                if (j == size)
                    return false;
                for (std::size_t c = 0; c < cols; ++c)
                    std::swap(at(i, c), at(j, c));
            }
            // The pivot itself is divided last, so that it is still the divisor for the others.
            for (std::size_t k = cols; k-- > i;)
                at(i, k) = Div(at(i, k), at(i, i));
            for (std::size_t r = i + 1; r < size; ++r)
                for (std::size_t k = cols; k-- > i;)
                    at(r, k) = Sub(at(r, k), Mul(at(i, k), at(r, i)));
        }

        std::vector<double> c(size);
        c[size - 1] = Div(at(size - 1, size), at(size - 1, size - 1));
        for (std::size_t r = size - 1; r-- > 0;) {
            double s = at(r, size);
            for (std::size_t j = size; --j > r;)
                s = Sub(s, Mul(at(r, j), c[j]));
            c[r] = s;
        }
        std::copy(c.begin(), c.end(), solution);
        return true;
    } catch (const ECalcError&) {
        return false;
    }
}

bool PolyFit(int degree, std::span<const double> x, std::span<const double> y, double* coef, double& rms) {
    // The points that have both coordinates.
    const std::span<const double> px = x.first(std::min(x.size(), y.size()));
    if (degree < 0) {
        rms = ResidualRms(degree, px, y, coef);
        return false;
    }
    const std::size_t m = static_cast<std::size_t>(degree) + 1;
    std::fill(coef, coef + m, 0.0);

    const bool usable = [&] {
        if (x.empty() || x.size() != y.size() || !HasDistinctValues(x, m))
            return false;
        // The normal matrix depends on i + j only: 2d + 1 different power sums.
        std::vector<double> sums(2 * m - 1);
        for (std::size_t p = 0; p < sums.size(); ++p)
            sums[p] = PowerSum(x, static_cast<int>(p));
        std::vector<double> matrix(m * m);
        std::vector<double> rhs(m);
        for (std::size_t i = 0; i < m; ++i) {
            for (std::size_t j = 0; j < m; ++j)
                matrix[i * m + j] = sums[2 * (m - 1) - i - j];
            rhs[i] = PowerSumY(x, y, static_cast<int>(m - 1 - i));
        }
        const auto finite = [](double v) { return std::isfinite(v); };
        if (!std::all_of(matrix.begin(), matrix.end(), finite) ||
            !std::all_of(rhs.begin(), rhs.end(), finite))
            return false;
        return SolveLinear(static_cast<int>(m), matrix.data(), rhs.data(), coef);
    }();

    if (usable) {
        rms = ResidualRms(degree, px, y, coef);
        if (std::isfinite(rms))
            return true;
    }
    // Whatever the elimination left is meaningless; hold the zero polynomial instead.
    std::fill(coef, coef + m, 0.0);
    rms = ResidualRms(degree, px, y, coef);
    return false;
}
