#pragma once

// The stretch of playing time the selection covers: the marking formulas run backwards, a
// fraction of the track bar's width being the same fraction of the duration.
struct CutTimes
{
    double start = 0; // seconds
    double end = 0;   // seconds
};

// L and W are the track bar's Left and Width, Ls and Ws the selection's, d the duration in
// seconds. Throws ArithmeticError where the arithmetic fails (a bar of no width).
CutTimes cutTimes(double L, double W, double Ls, double Ws, double d);
