// Small geometry helpers of the widgets. User-interface thread only.
#pragma once

#include <cmath>

#include "Drawing.h"

// The side of a widget's rectangle in pixels as arranged, 0 when it is not finite (a host
// may arrange a module with any values).
inline float finiteSide(float side)
{
    return std::isfinite(side) ? side : 0.0f;
}
