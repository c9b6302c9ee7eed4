#pragma once

#include <QtGlobal>

#include <stdexcept>

// A floating-point fault, or a result that does not fit the 32-bit integers.
class ArithmeticError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The arithmetic of the marking formulas: doubles, evaluated by the caller strictly left to right;
// every step that would produce an infinity or a NaN throws instead of passing it on.
namespace Numeric {
double Add(double a, double b);
double Sub(double a, double b);
double Mul(double a, double b);
double Div(double a, double b); // throws on a zero divisor
// Round to nearest, ties to even; throws outside the signed 32-bit range or on NaN.
qint32 ToInt32(double value);
} // namespace Numeric
