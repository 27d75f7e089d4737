#include "session/RouteResult.h"

#include <cmath>

int RouteResult::percent() const
{
    if (!std::isfinite(score))
        return 0;
    return int(std::round(score * 100));
}
