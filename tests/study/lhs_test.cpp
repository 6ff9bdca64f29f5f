#include "lhs.h"

#include <gtest/gtest.h>

namespace tds::study::test {
namespace {

// Every dimension has exactly one point in each of the n strata, and two
// dimensions are not paired alike.
TEST(LatinHypercube, OnePointPerStratumInEveryDimension) {
  for (const std::size_t n : {1, 7, 1000}) {
    const std::size_t k = 4;
    const auto points = lhs_design(k, n, n);
    ASSERT_EQ(points.size(), n);
    for (std::size_t d = 0; d < k; ++d) {
      std::vector<int> hits(n, 0);
      for (const auto& p : points) {
        ASSERT_GE(p[d], 0);
        ASSERT_LT(p[d], 1);
        ++hits[static_cast<std::size_t>(p[d] * static_cast<double>(n))];
      }
      EXPECT_EQ(std::count(hits.begin(), hits.end(), 1), static_cast<long>(n))
          << "n " << n << " dim " << d;
    }
    if (n > 1) {
      std::size_t same = 0;
      for (const auto& p : points) {
        const auto dn = static_cast<double>(n);
        same += static_cast<std::size_t>(p[0] * dn) == static_cast<std::size_t>(p[1] * dn);
      }
      EXPECT_LT(same, n);
    }
  }
}

}  // namespace
}  // namespace tds::study::test
