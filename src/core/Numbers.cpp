#include "core/Numbers.h"

#include <cmath>

double round1(double x)
{
    return std::round(x * 10) / 10;
}
