// Sobol' indices of functions whose indices are known exactly, through the
// evaluator interface, on the plain and the scrambled sequence.
#include "saltelli.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "functions.h"

namespace tds::study::test {
namespace {

struct AnalyticCase {
  std::string name;
  std::size_t k;
  FunctionEvaluator::Function f;
  std::vector<double> first, total;
};

const std::vector<double> kGA = {0, 1, 4.5, 9, 99, 99, 99, 99};

std::vector<AnalyticCase> analytic_cases() {
  const auto [g_first, g_total] = g_function_indices(kGA);
  return {
      {"Ishigami",
       3,
       [](const std::vector<double>& u) { return std::vector<double>{ishigami(u)}; },
       {0.3139, 0.4424, 0},
       {0.5576, 0.4424, 0.2437}},
      {"GFunction", kGA.size(),
       [](const std::vector<double>& u) { return std::vector<double>{g_function(u, kGA)}; },
       g_first, g_total},
  };
}

class SobolAnalytic : public testing::TestWithParam<std::tuple<std::size_t, bool>> {};

TEST_P(SobolAnalytic, IndicesWithinTwoHundredthsAndInsideTheirIntervals) {
  const auto [which, scrambled] = GetParam();
  const AnalyticCase c = analytic_cases()[which];
  const std::size_t n = 1 << 14;
  const auto design = saltelli_design(c.k, n, scrambled, false, 5);
  ASSERT_EQ(design.size(), n * (c.k + 2));
  FunctionEvaluator evaluator(1, c.f);
  const auto outputs = evaluate_all(evaluator, design);
  std::vector<double> y;
  y.reserve(outputs.size());
  for (const auto& o : outputs) {
    y.push_back(o[0]);
  }
  const SobolIndices s = sobol_indices(y, c.k, n, false, 200, 0.99, 11);
  for (std::size_t i = 0; i < c.k; ++i) {
    SCOPED_TRACE(c.name + " factor " + std::to_string(i));
    EXPECT_NEAR(s.first[i].value, c.first[i], 0.02);
    EXPECT_NEAR(s.total[i].value, c.total[i], 0.02);
    // The bootstrap treats the rows as independent, which overstates the
    // error of a Sobol' sequence: the exact index must lie inside.
    EXPECT_LE(s.first[i].low, c.first[i]);
    EXPECT_GE(s.first[i].high, c.first[i]);
    EXPECT_LE(s.total[i].low, c.total[i]);
    EXPECT_GE(s.total[i].high, c.total[i]);
  }
}

INSTANTIATE_TEST_SUITE_P(Functions, SobolAnalytic,
                         testing::Combine(testing::Values(0, 1), testing::Bool()),
                         [](const auto& info) {
                           return analytic_cases()[std::get<0>(info.param)].name +
                                  (std::get<1>(info.param) ? "Scrambled" : "Plain");
                         });

// Of Ishigami's pairs only x1 and x3 interact: S13 = ST3 - S3 = 0.2437.
TEST(SobolSecondOrder, IshigamiPairs) {
  const std::size_t n = 1 << 14;
  const auto design = saltelli_design(3, n, true, true, 5);
  ASSERT_EQ(design.size(), n * 8);
  std::vector<double> y;
  y.reserve(design.size());
  for (const auto& point : design) {
    y.push_back(ishigami(point));
  }
  const SobolIndices s = sobol_indices(y, 3, n, true, 0, 0.95, 1);
  EXPECT_NEAR(s.second[0][1].value, 0, 0.03);
  EXPECT_NEAR(s.second[0][2].value, 0.2437, 0.03);
  EXPECT_NEAR(s.second[1][2].value, 0, 0.03);
  // The B_A^i rows are B with column i from A.
  for (std::size_t j : {std::size_t{0}, n - 1}) {
    for (std::size_t i = 0; i < 3; ++i) {
      for (std::size_t c = 0; c < 3; ++c) {
        EXPECT_EQ(design[(2 + 3 + i) * n + j][c], c == i ? design[j][c] : design[n + j][c]);
        EXPECT_EQ(design[(2 + i) * n + j][c], c == i ? design[n + j][c] : design[j][c]);
      }
    }
  }
}

// Without variance, or with a failed case, the indices are undefined: NaN,
// never an infinity or a number made of one.
TEST(SobolIndices, ConstantOrFailedOutputsGiveNaN) {
  const std::size_t k = 2, n = 16;
  for (const double failed : {1.0, std::numeric_limits<double>::quiet_NaN()}) {
    std::vector<double> y(n * (k + 2), 1.0);
    y[n + 3] = failed;
    y[2 * n + 5] = 2;
    const SobolIndices s = sobol_indices(y, k, n, false, 10, 0.9, 1);
    for (std::size_t i = 0; i < k; ++i) {
      for (const Interval& v : {s.first[i], s.total[i]}) {
        EXPECT_TRUE(std::isnan(v.value) && std::isnan(v.low) && std::isnan(v.high))
            << failed << " " << i;
      }
    }
  }
}

// Each coordinate of the first 2^m points of the sequence, plain or
// scrambled, has one point in each of the 2^m equal intervals.
TEST(SaltelliDesign, EveryCoordinateStratified) {
  const std::size_t k = 6, n = 256;
  for (const bool scrambled : {false, true}) {
    const auto design = saltelli_design(k, n, scrambled, false, 3);
    for (std::size_t c = 0; c < 2 * k; ++c) {
      std::vector<int> hits(n, 0);
      for (std::size_t j = 0; j < n; ++j) {
        const double x = design[(c < k ? 0 : n) + j][c % k];
        ASSERT_GE(x, 0);
        ASSERT_LT(x, 1);
        ++hits[static_cast<std::size_t>(x * n)];
      }
      EXPECT_EQ(std::count(hits.begin(), hits.end(), 1), static_cast<long>(n))
          << "coordinate " << c << (scrambled ? " scrambled" : " plain");
    }
  }
}

}  // namespace
}  // namespace tds::study::test
