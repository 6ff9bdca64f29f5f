#include "prim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "planted.h"

namespace tds::study::test {
namespace {

// The points and cases of interest in a box, counted afresh from the data.
std::pair<std::size_t, std::size_t> count_in(const Planted& p, const PrimBox& box) {
  std::size_t points = 0, failed = 0;
  for (std::size_t i = 0; i < p.points.size(); ++i) {
    bool in = true;
    for (std::size_t k = 0; k < p.discrete.size(); ++k) {
      const double x = p.points[i][k];
      const auto& c = box.categories[k];
      in = in &&
           (p.discrete[k] ? std::find(c.begin(), c.end(), static_cast<std::size_t>(x)) != c.end()
                          : x >= box.low[k] && x <= box.high[k]);
    }
    points += in;
    failed += in && p.failed[i];
  }
  return {points, failed};
}

// Every step's coverage, density and mass, recomputed from the points, equal
// the reported ones exactly; the mass never falls below the minimum.
void expect_counts_agree(const Planted& p, const PrimResult& r, const PrimOptions& options) {
  const auto all = static_cast<double>(std::count(p.failed.begin(), p.failed.end(), true));
  const auto n = static_cast<double>(p.points.size());
  auto steps = r.trajectory;
  steps.push_back(r.box);
  for (std::size_t s = 0; s < steps.size(); ++s) {
    const auto [points, failed] = count_in(p, steps[s].box);
    EXPECT_EQ(steps[s].points, points) << "step " << s;
    EXPECT_EQ(steps[s].of_interest, failed) << "step " << s;
    EXPECT_EQ(steps[s].coverage, static_cast<double>(failed) / all) << "step " << s;
    EXPECT_EQ(steps[s].density, static_cast<double>(failed) / static_cast<double>(points));
    EXPECT_EQ(steps[s].mass, static_cast<double>(points) / n) << "step " << s;
    EXPECT_GE(steps[s].mass, options.min_mass) << "step " << s;
    if (s > 0 && s < r.trajectory.size()) {
      EXPECT_LT(steps[s].points, steps[s - 1].points) << "step " << s;
    }
  }
  EXPECT_GE(r.box.density, r.trajectory[r.chosen].density);
  EXPECT_GE(r.box.points, r.trajectory[r.chosen].points);
}

TEST(Prim, FindsTheBoxOfTwoOfFiveUncertainties) {
  const auto p = planted_box(5000, 31);
  PrimOptions options;
  options.density = 0.9;
  const auto r = prim(p.points, p.discrete, p.failed, options);
  const auto& box = r.box.box;
  EXPECT_EQ(box.restricted, (std::vector<bool>{true, false, true, false, false}));
  EXPECT_NEAR(box.high[0], 0.3, 0.05);
  EXPECT_NEAR(box.low[2], 0.6, 0.05);
  EXPECT_GE(r.box.coverage, 0.9);
  EXPECT_GE(r.box.density, 0.9);
  EXPECT_EQ(r.trajectory[0].mass, 1);
  EXPECT_EQ(r.trajectory[r.chosen].density >= 0.9, true);
  for (std::size_t s = 0; s < r.chosen; ++s) {
    EXPECT_LT(r.trajectory[s].density, 0.9) << "step " << s << " reached the density first";
  }
  expect_counts_agree(p, r, options);
}

TEST(Prim, FindsTheCategoriesOfADiscreteUncertainty) {
  const auto p = planted_categories(4000, 7);
  PrimOptions options;
  options.density = 0.9;
  const auto r = prim(p.points, p.discrete, p.failed, options);
  const auto& box = r.box.box;
  EXPECT_EQ(box.restricted, (std::vector<bool>{true, true, false}));
  EXPECT_EQ(box.categories[1], (std::vector<std::size_t>{1, 3}));
  EXPECT_TRUE(box.categories[0].empty() && box.categories[2].empty());
  EXPECT_NEAR(box.high[0], 0.4, 0.05);
  EXPECT_GE(r.box.coverage, 0.9);
  EXPECT_GE(r.box.density, 0.9);
  expect_counts_agree(p, r, options);
}

// An uncertainty with few distinct values, given as a number: when the value
// at the peeling share is the smallest (or largest), its whole block goes.
TEST(Prim, PeelsBlocksOfEqualValues) {
  Random random(3);
  Planted p;
  p.discrete = {false, false};
  for (std::size_t i = 0; i < 2000; ++i) {
    const auto level = static_cast<double>(random.below(3));
    const double x = random.unit();
    p.points.push_back({level, x});
    p.failed.push_back(level == 2 && x < 0.5);
  }
  PrimOptions options;
  options.density = 0.95;
  const auto r = prim(p.points, p.discrete, p.failed, options);
  EXPECT_EQ(r.box.box.low[0], 2);
  EXPECT_EQ(r.box.box.high[0], 2);
  EXPECT_NEAR(r.box.box.high[1], 0.5, 0.05);
  EXPECT_GE(r.box.density, 0.95);
  expect_counts_agree(p, r, options);
}

// The result is a function of the data alone: the same points in another
// order, a larger minimum mass, give the same or a shorter trajectory.
TEST(Prim, DependsOnThePointsNotTheirOrder) {
  const auto p = planted_box(3000, 5);
  auto shuffled = p;
  std::vector<std::size_t> order(p.points.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  Random random(11);
  for (std::size_t i = order.size(); i > 1; --i) {
    std::swap(order[i - 1], order[random.below(i)]);
  }
  for (std::size_t i = 0; i < order.size(); ++i) {
    shuffled.points[i] = p.points[order[i]];
    shuffled.failed[i] = p.failed[order[i]];
  }
  const auto a = prim(p.points, p.discrete, p.failed);
  const auto b = prim(shuffled.points, shuffled.discrete, shuffled.failed);
  ASSERT_EQ(a.trajectory.size(), b.trajectory.size());
  EXPECT_EQ(a.chosen, b.chosen);
  auto steps_a = a.trajectory, steps_b = b.trajectory;
  steps_a.push_back(a.box);
  steps_b.push_back(b.box);
  for (std::size_t s = 0; s < steps_a.size(); ++s) {
    EXPECT_EQ(steps_a[s].box.low, steps_b[s].box.low) << "step " << s;
    EXPECT_EQ(steps_a[s].box.high, steps_b[s].box.high) << "step " << s;
    EXPECT_EQ(steps_a[s].points, steps_b[s].points) << "step " << s;
    EXPECT_EQ(steps_a[s].of_interest, steps_b[s].of_interest) << "step " << s;
  }
  PrimOptions heavier;
  heavier.min_mass = 0.2;
  const auto c = prim(p.points, p.discrete, p.failed, heavier);
  ASSERT_LT(c.trajectory.size(), a.trajectory.size());
  EXPECT_EQ(c.trajectory.back().points, a.trajectory[c.trajectory.size() - 1].points);
  EXPECT_LT(static_cast<double>(a.trajectory[c.trajectory.size()].points) / 3000.0, 0.2);
}

TEST(Prim, RefusesBadOptionsAndData) {
  const std::vector<std::vector<double>> points{{0.1, 1}, {0.5, 0}, {0.9, 1}};
  const std::vector<bool> discrete{false, true}, failed{true, false, false};
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const auto& options : {PrimOptions{0, 0.05, 0.05, 0.8}, PrimOptions{0.6, 0.05, 0.05, 0.8},
                              PrimOptions{0.05, 0, 0.05, 0.8}, PrimOptions{0.05, 0.05, 1, 0.8},
                              PrimOptions{0.05, 0.05, -0.1, 0.8}, PrimOptions{0.05, 0.05, 0.05, 0},
                              PrimOptions{nan, 0.05, 0.05, 0.8}}) {
    EXPECT_THROW(prim(points, discrete, failed, options), std::invalid_argument);
  }
  EXPECT_THROW(prim({{0.1, 1}, {0.5}}, discrete, {true, false}), std::invalid_argument);
  EXPECT_THROW(prim(points, discrete, {false, false, false}), std::invalid_argument);
  EXPECT_THROW(prim(points, discrete, {true, false}), std::invalid_argument);
  EXPECT_THROW(prim({{0.1, 0.5}, {0.5, 1}}, discrete, {true, false}), std::invalid_argument);
  EXPECT_THROW(prim({{nan, 1}, {0.5, 1}}, discrete, {true, false}), std::invalid_argument);
  EXPECT_NO_THROW(prim(points, discrete, failed));
}

}  // namespace
}  // namespace tds::study::test
