#include "pdf_render/page_units.h"

#include <cmath>
#include <limits>

long double PointsToCm(double Points) { return static_cast<long double>(Points) / 72.0L * 2.54L; }

std::int32_t PointsToPixels(double Points, std::int32_t Dpi) {
  const double exact = Points / 72.0 * Dpi;
  if (std::isnan(exact))
    return 0;
  constexpr double lowest = std::numeric_limits<std::int32_t>::min();
  constexpr double highest = std::numeric_limits<std::int32_t>::max();
  if (exact <= lowest)
    return std::numeric_limits<std::int32_t>::min();
  if (exact >= highest)
    return std::numeric_limits<std::int32_t>::max();
  double whole = std::floor(exact);
  const double fraction = exact - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
    whole += 1.0;
  return static_cast<std::int32_t>(whole);
}
