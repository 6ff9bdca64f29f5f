// The Pareto tools on small fronts with known answers, the archive's
// guarantees on a cloud of points, and NSGA-II keeping to constraints and
// surviving failed cases.
#include "nsga2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "archive.h"
#include "hypervolume.h"

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
      // Three objectives: normalised sums 1, 1, 1 and 0.75; the volume
      // counted on a grid of 0.25.
      {{{0, 0, 1}, {1, 0, 0}, {0, 1, 0}, {0.25, 0.25, 0.25}}, 7.421875, 3},
      // Four objectives, one point repeated and one dominated, one beyond
      // the reference; counted on the same grid.
      {{{0, 0, 1, 1}, {1, 1, 0, 0}, {0.5, 0.5, 0.5, 0.5}, {0, 0, 1, 1}, {1, 1, 1, 1}, {0, 0, 0, 2}},
       8.5625,
       none},
  };
  for (std::size_t c = 0; c < cases.size(); ++c) {
    SCOPED_TRACE(c);
    const std::size_t m = cases[c].front[0].size();
    EXPECT_DOUBLE_EQ(hypervolume(cases[c].front, std::vector<double>(m, 2)), cases[c].volume);
    if (m == 2) {
      EXPECT_DOUBLE_EQ(hypervolume2(cases[c].front, 2, 2), cases[c].volume);
    }
    if (cases[c].knee != none) {
      EXPECT_EQ(knee_point(cases[c].front), cases[c].knee);
    }
  }
}

// A cloud of three-objective points near a sphere's octant, offered in
// order: without epsilons the archive is the cloud's non-dominated set; with
// them no member's box dominates or equals another's, and every point
// offered is within epsilon of a member in each objective.
class Archive : public testing::TestWithParam<std::vector<double>> {};

TEST_P(Archive, KeepsItsGuarantees) {
  const std::vector<double>& epsilons = GetParam();
  Random random(5);
  std::vector<std::vector<double>> cloud;
  for (int i = 0; i < 600; ++i) {
    std::vector<double> f = {random.unit(), random.unit(), random.unit()};
    const double norm = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    const double radius = 1 + 0.3 * random.unit();
    for (double& v : f) v = v / norm * radius;
    cloud.push_back(f);
    if (i % 50 == 0) cloud.push_back(f);  // a repeat
  }
  cloud.push_back({std::numeric_limits<double>::infinity(), 0, 0});
  ParetoArchive archive(epsilons);
  for (std::size_t i = 0; i < cloud.size(); ++i) archive.offer(cloud[i], i);
  const auto& members = archive.members();
  ASSERT_GT(members.size(), 5u);
  for (const auto& a : members) {
    for (const auto& b : members) {
      if (&a == &b) continue;
      EXPECT_FALSE(dominates(a.objectives, b.objectives));
      EXPECT_FALSE(dominates(a.box, b.box) || a.box == b.box);
    }
  }
  for (std::size_t i = 0; i + 1 < cloud.size(); ++i) {
    const auto& f = cloud[i];
    bool covered = false;
    for (const auto& a : members) {
      bool within = true;
      for (std::size_t j = 0; j < 3; ++j)
        within = within && a.objectives[j] - (epsilons.empty() ? 0 : epsilons[j]) <= f[j];
      covered = covered || within;
    }
    EXPECT_TRUE(covered) << i;
  }
  if (epsilons.empty()) {
    // The first of each non-dominated point, in the order offered.
    std::vector<std::size_t> expected;
    for (std::size_t i = 0; i + 1 < cloud.size(); ++i) {
      bool kept = true;
      for (std::size_t j = 0; j + 1 < cloud.size() && kept; ++j)
        kept = !(dominates(cloud[j], cloud[i]) || (j < i && cloud[j] == cloud[i]));
      if (kept) expected.push_back(i);
    }
    std::vector<std::size_t> ids;
    ids.reserve(members.size());
    for (const auto& a : members) ids.push_back(a.id);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Epsilons, Archive,
                         testing::Values(std::vector<double>{},
                                         std::vector<double>{0.05, 0.05, 0.05},
                                         std::vector<double>{0.02, 0.1, 0.3}));

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
