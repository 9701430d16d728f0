// Conversions of the library's page sizes, which are in points (1/72 inch).
#pragma once

#include <cstdint>

long double PointsToCm(double Points);

// Rounded to the nearest pixel with halves to even, whatever rounding mode the
// caller has set; sizes beyond the 32-bit range are held at its ends and a
// size that is not a number gives 0.
std::int32_t PointsToPixels(double Points, std::int32_t Dpi);
