// Elementary effects: the design's geometry, exact effects of a linear
// function (with a failed case), and the ranking of the g-function's factors.
#include "morris.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "functions.h"

namespace tds::study::test {
namespace {

TEST(Morris, TrajectoriesMoveEachFactorOnceByDeltaOnTheGrid) {
  const std::size_t k = 5, r = 20, levels = 6;
  const double delta = 6.0 / (2 * 5);
  const auto design = morris_design(k, r, levels, 42);
  ASSERT_EQ(design.size(), r * (k + 1));
  for (std::size_t t = 0; t < r; ++t) {
    std::vector<int> moved(k, 0);
    for (std::size_t s = t * (k + 1); s < t * (k + 1) + k; ++s) {
      for (std::size_t i = 0; i < k; ++i) {
        const double level = design[s][i] * (levels - 1);
        EXPECT_NEAR(level, std::round(level), 1e-12);
        EXPECT_GE(design[s][i], 0);
        EXPECT_LE(design[s][i], 1);
        if (design[s][i] != design[s + 1][i]) {
          ++moved[i];
          EXPECT_NEAR(std::fabs(design[s + 1][i] - design[s][i]), delta, 1e-15);
        }
      }
    }
    EXPECT_EQ(std::count(moved.begin(), moved.end(), 1), static_cast<long>(k))
        << "trajectory " << t;
  }
}

TEST(Morris, LinearEffectsExactAndFailedCasesDropped) {
  const std::size_t k = 3, r = 10;
  const auto design = morris_design(k, r, 4, 7);
  FunctionEvaluator linear(1, [](const std::vector<double>& u) {
    return std::vector<double>{3 * u[0] - 2 * u[1] + 0 * u[2]};
  });
  auto outputs = evaluate_all(linear, design);
  // A failed case inside the first trajectory drops the two effects that
  // use it, of the factors moved into and out of it.
  const std::size_t failed = 1;
  outputs[failed][0] = std::numeric_limits<double>::quiet_NaN();
  std::size_t into = 0, out_of = 0;
  for (std::size_t i = 0; i < k; ++i) {
    into = design[failed - 1][i] != design[failed][i] ? i : into;
    out_of = design[failed][i] != design[failed + 1][i] ? i : out_of;
  }
  const auto effects = morris_effects(design, outputs, k);
  const double expected[] = {3, -2, 0};
  for (std::size_t i = 0; i < k; ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(effects[i][0].mu, expected[i], 1e-12);
    EXPECT_NEAR(effects[i][0].mu_star, std::fabs(expected[i]), 1e-12);
    EXPECT_NEAR(effects[i][0].sigma, 0, 1e-12);
    EXPECT_EQ(effects[i][0].effects, r - (i == into ? 1 : 0) - (i == out_of ? 1 : 0));
  }
}

// The g-function's factors matter in the order of their a: 0, 1, 4.5, 9,
// then four of 99 that hardly matter.
TEST(Morris, RanksTheGFunctionsFactors) {
  const std::vector<double> a = {0, 1, 4.5, 9, 99, 99, 99, 99};
  const std::size_t k = a.size();
  const auto design = morris_design(k, 50, 4, 3);
  FunctionEvaluator g(
      1, [&](const std::vector<double>& u) { return std::vector<double>{g_function(u, a)}; });
  const auto effects = morris_effects(design, evaluate_all(g, design), k);
  for (std::size_t i = 0; i + 1 < 4; ++i) {
    EXPECT_GT(effects[i][0].mu_star, effects[i + 1][0].mu_star) << i;
  }
  for (std::size_t i = 4; i < k; ++i) {
    EXPECT_LT(effects[i][0].mu_star, 0.25 * effects[3][0].mu_star) << i;
  }
}

}  // namespace
}  // namespace tds::study::test
