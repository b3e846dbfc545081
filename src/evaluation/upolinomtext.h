#pragma once

#include "evaluation/ccalcpolinom.h"

#include <string>

// The formula text of a polynomial, e.g. "+1.5000000E+00*X^2-2.5000000E-01*X^1+3.0000000E+02":
// every coefficient highest power first, each followed by "*X^" and its power except the constant.
// Independent of the process locale: the decimal separator is always ".".

// One coefficient: sign always written ("+" also for 0 and -0), one digit, ".", seven digits, "E",
// exponent sign and at least two digits. Non-finite values give "+INF", "-INF" or "+NAN".
std::string PolinomNumberText(double value);

// The text of the polynomial of the given degree (>= 0) with degree + 1 coefficients.
std::string PolinomText(int degree, const double* coefs);

// The text of a fitted polynomial; empty when it has no usable fit (IsFitted() false).
std::string PolinomText(const CCalcPolinom& poly);
