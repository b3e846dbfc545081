#include "evaluation/upolinomtext.h"

#include <charconv>
#include <cmath>
#include <string>

std::string PolinomNumberText(double value) {
    if (std::isnan(value))
        return "+NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "+INF";
    // A negative zero is a zero: it takes the "+" like any other.
    if (value == 0.0)
        return "+0.0000000E+00";
    // to_chars never looks at the locale, so the separator is always ".".
    char buf[32];
    const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 7);
    std::string text(buf, result.ptr);
    if (text.front() != '-')
        text.insert(text.begin(), '+');
    const std::size_t e = text.find('e');
    if (e != std::string::npos)
        text[e] = 'E';
    return text;
}

std::string PolinomText(int degree, const double* coefs) {
    std::string text;
    if (degree < 0 || coefs == nullptr)
        return text;
    for (int p = 0; p < degree; ++p) {
        text += PolinomNumberText(coefs[p]);
        text += "*X^";
        text += std::to_string(degree - p);
    }
    text += PolinomNumberText(coefs[degree]);
    return text;
}

std::string PolinomText(const CCalcPolinom& poly) {
    if (!poly.IsFitted())
        return {};
    return PolinomText(poly.GetDegree(), poly.Coefs().data());
}
