// The Pareto tools on small fronts with known answers, and NSGA-II keeping
// to constraints and surviving failed cases.
#include "nsga2.h"

#include <gtest/gtest.h>

#include <limits>

#include "functions.h"

namespace tds::study::test {
namespace {

TEST(Pareto, HypervolumeAndKneeOfKnownFronts) {
  struct Case {
    std::vector<std::vector<double>> front;
    double volume;
    std::size_t knee;
  };
  const std::size_t none = std::numeric_limits<std::size_t>::max();
  const std::vector<Case> cases = {
      // One point: its rectangle to the reference (2, 2).
      {{{1, 1}}, 1, 0},
      // A staircase given out of order, with a dominated point and one
      // beyond the reference, which add nothing: 2 + 1.5 * 0.75 + 1 * 0.25.
      {{{1, 0}, {0, 1}, {0.5, 0.25}, {0.75, 0.75}, {3, -1}}, 3.375, none},
      // Both ends and a middle point inside the straight line between them:
      // that is the knee. 2 * 1 + 1.6 * 0.6 + 1 * 0.4.
      {{{0, 1}, {0.4, 0.4}, {1, 0}}, 3.36, 1},
      // Three objectives: normalised sums 1, 1, 1 and 0.75.
      {{{0, 0, 1}, {1, 0, 0}, {0, 1, 0}, {0.25, 0.25, 0.25}}, 0, 3},
  };
  for (std::size_t c = 0; c < cases.size(); ++c) {
    SCOPED_TRACE(c);
    if (cases[c].front[0].size() == 2) {
      EXPECT_DOUBLE_EQ(hypervolume2(cases[c].front, 2, 2), cases[c].volume);
    }
    if (cases[c].knee != none) {
      EXPECT_EQ(knee_point(cases[c].front), cases[c].knee);
    }
  }
}

// Minimise (x0, 1 - x0 + x1) with x0 >= 0.5 required, and every case with
// x1 > 0.9 failing: the front is x1 = 0, x0 in [0.5, 1], feasible only.
TEST(Nsga2, KeepsToConstraintsAndSurvivesFailures) {
  Nsga2Options o;
  o.population = 40;
  o.generations = 60;
  o.seed = 9;
  Nsga2 search(2, 2, o);
  run_to_end(search, [](const std::vector<double>& x) -> std::pair<std::vector<double>, double> {
    if (x[1] > 0.9) {
      const double nan = std::numeric_limits<double>::quiet_NaN();
      return {{nan, nan}, std::numeric_limits<double>::infinity()};
    }
    return {{x[0], 1 - x[0] + x[1]}, x[0] < 0.5 ? 0.5 - x[0] : 0};
  });
  const auto front = search.front();
  ASSERT_GE(front.size(), 20u);
  double low = 1, high = 0;
  for (const std::size_t i : front) {
    const auto& x = search.population()[i];
    EXPECT_GE(x[0], 0.5);
    EXPECT_LT(x[1], 1e-3);
    low = std::min(low, x[0]);
    high = std::max(high, x[0]);
  }
  EXPECT_LT(low, 0.51);
  EXPECT_GT(high, 0.99);
}

}  // namespace
}  // namespace tds::study::test
