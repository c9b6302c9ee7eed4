#include "app/Numeric.h"

#include <cfenv>
#include <cmath>
#include <limits>

namespace {

double checked(double result)
{
    if (std::isnan(result))
        throw ArithmeticError("计算出错：结果不是有效的数值。");
    if (std::isinf(result))
        throw ArithmeticError("计算出错：数值溢出。");
    return result;
}

} // namespace

namespace Numeric {

double Add(double a, double b)
{
    return checked(checked(a) + checked(b));
}

double Sub(double a, double b)
{
    return checked(checked(a) - checked(b));
}

double Mul(double a, double b)
{
    return checked(checked(a) * checked(b));
}

double Div(double a, double b)
{
    if (checked(b) == 0.0)
        throw ArithmeticError("计算出错：除数为零。");
    return checked(checked(a) / b);
}

qint32 ToInt32(double value)
{
    checked(value);
    // nearbyint follows the current rounding mode; pin it to nearest-even for this conversion.
    const int previousMode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(previousMode);
    if (rounded < static_cast<double>(std::numeric_limits<qint32>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<qint32>::max()))
        throw ArithmeticError("计算出错：数值超出范围。");
    return static_cast<qint32>(rounded);
}

} // namespace Numeric
