#pragma once

// x rounded to one decimal place, halves away from zero: 2.25 → 2.3, -2.25 → -2.3.
double round1(double x);
