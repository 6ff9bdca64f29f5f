#include "lhs.h"

#include <numeric>

#include "random.h"

namespace tds::study {

std::vector<std::vector<double>> lhs_design(std::size_t k, std::size_t n, std::uint64_t seed) {
  std::vector<std::vector<double>> points(n, std::vector<double>(k));
  Random random(seed);
  std::vector<std::size_t> strata(n);
  const double width = n ? 1.0 / static_cast<double>(n) : 0;
  for (std::size_t d = 0; d < k; ++d) {
    // A random permutation of the strata (Fisher-Yates), then a uniform
    // position within each.
    std::iota(strata.begin(), strata.end(), std::size_t{0});
    for (std::size_t i = n; i > 1; --i) {
      std::swap(strata[i - 1], strata[random.below(i)]);
    }
    for (std::size_t i = 0; i < n; ++i) {
      const double x = (static_cast<double>(strata[i]) + random.unit()) * width;
      // Rounding may carry the last stratum's point up to 1; keep it below.
      points[i][d] = x < 1 ? x : 1 - 0x1p-53;
    }
  }
  return points;
}

}  // namespace tds::study
