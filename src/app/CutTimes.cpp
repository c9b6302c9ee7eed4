#include "app/CutTimes.h"

#include "app/Numeric.h"

using namespace Numeric;

CutTimes cutTimes(double L, double W, double Ls, double Ws, double d)
{
    return {Mul(Div(Sub(Ls, L), W), d), Mul(Div(Sub(Add(Ls, Ws), L), W), d)};
}
