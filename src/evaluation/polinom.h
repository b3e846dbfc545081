#pragma once

#include <cstddef>
#include <span>

// Least-squares polynomials by the normal equations and Gaussian elimination. Coefficients are
// held highest power first: c[0] multiplies x^d, c[d] is the constant term.
//
// Powers use std::pow with a double exponent; x^0 counts as 1, also for x = 0.

// Sum of x^power over the points; for power 0 the count.
double PowerSum(std::span<const double> x, int power);

// Sum of y * x^power over the points; for power 0 the sum of y. x and y have the same length.
double PowerSumY(std::span<const double> x, std::span<const double> y, int power);

// Value at x of the polynomial of the given degree with degree + 1 coefficients.
double PolyValue(double x, int degree, const double* coef);

// Solves the m-by-m system (matrix row-major, m * m values) into solution (m values) by Gaussian
// elimination without pivot search; a row is exchanged only for a pivot that is exactly zero.
// Returns false and leaves solution untouched when the system is singular (an exactly zero pivot
// with no row below to exchange it for) or when any step divides by zero or gives a non-finite
// value.
bool SolveLinear(int m, const double* matrix, const double* rhs, double* solution);

// Fits the polynomial of the given degree (>= 0) through the n points and writes its degree + 1
// coefficients into coef. Returns true for a usable fit. Returns false, with coef all 0, when the
// points cannot determine such a polynomial: fewer distinct x values than degree + 1 (the normal
// equations are singular, so anything the elimination gave would be rounding noise), a singular
// system, an arithmetic fault, or non-finite coefficients. rms always receives the root-mean-square
// residual of what coef holds on return (for false: of the zero polynomial).
bool PolyFit(int degree, std::span<const double> x, std::span<const double> y, double* coef, double& rms);
