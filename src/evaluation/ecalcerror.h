#pragma once

#include <stdexcept>
#include <string>

// An arithmetic fault in an evaluation: a division by zero, an invalid operation (0/0) or a result
// that is not finite. The operation that raises it delivers no value. Found by checked operations,
// never by floating-point traps, so the outcome is the same with every compiler and optimisation.
class ECalcError : public std::runtime_error {
public:
    explicit ECalcError(const std::string& what) : std::runtime_error(what) {}
};
