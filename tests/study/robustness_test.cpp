#include "robustness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace tds::study::test {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct PercentileCase {
  std::vector<double> values;
  double p;
  double expected;  // worked by hand: h = (n - 1) p / 100 into the sorted values
};

class Percentile : public ::testing::TestWithParam<PercentileCase> {};

TEST_P(Percentile, MatchesTheHandWorkedValue) {
  const auto& c = GetParam();
  const double got = percentile(c.values, c.p);
  if (std::isnan(c.expected)) {
    EXPECT_TRUE(std::isnan(got));
  } else {
    EXPECT_DOUBLE_EQ(got, c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    HandTable, Percentile,
    ::testing::Values(PercentileCase{{3, 1, 2, 4}, 50, 2.5},         // between ranks 1 and 2
                      PercentileCase{{3, 1, 2, 4}, 0, 1},            // the smallest
                      PercentileCase{{3, 1, 2, 4}, 100, 4},          // the largest
                      PercentileCase{{50, 40, 30, 20, 10}, 25, 20},  // on a rank
                      PercentileCase{{50, 40, 30, 20, 10}, 10, 14},  // t < 0.5: from below
                      PercentileCase{{50, 40, 30, 20, 10}, 90, 46},  // t >= 0.5: from above
                      PercentileCase{{1, 5, 1}, 75, 3},              // ties
                      PercentileCase{{7}, 37, 7},                    // one value
                      PercentileCase{{-2, -8, 4}, 60, -0.8},         // negatives: -2 + 6 * 0.2
                      PercentileCase{{1, kNaN, 3}, 50, kNaN}));      // a failed case

TEST(Robustness, SummaryOfOneDesignWorkedByHand) {
  const std::vector<double> x{4, 9, 2, 4, 5, 7, 4, 5};
  for (const Sense sense : {Sense::Minimise, Sense::Maximise}) {
    const auto s = summarise(x, sense);
    EXPECT_DOUBLE_EQ(s.mean, 5);
    EXPECT_DOUBLE_EQ(s.std, std::sqrt(32.0 / 7));  // squared deviations 32 over n - 1
    EXPECT_DOUBLE_EQ(s.p10, 3.4);
    EXPECT_DOUBLE_EQ(s.p50, 4.5);
    EXPECT_DOUBLE_EQ(s.p90, 7.6);
    EXPECT_EQ(s.worst, sense == Sense::Minimise ? 9 : 2);
  }
  EXPECT_EQ(summarise({3}, Sense::Minimise).std, 0);
  const auto failed = summarise({1, kNaN, 3}, Sense::Minimise);
  EXPECT_TRUE(std::isnan(failed.mean) && std::isnan(failed.std) && std::isnan(failed.p50) &&
              std::isnan(failed.worst));
}

TEST(Robustness, RegretAgainstTheBestDesignOfEachFutureWorkedByHand) {
  const std::vector<std::vector<double>> outcome{{1, 5, 3}, {2, 4, 6}, {0, 7, kNaN}};
  const std::vector<std::vector<double>> minimise{{1, 1, 0}, {2, 0, 3}, {0, 3, kNaN}};
  const std::vector<std::vector<double>> maximise{{1, 2, 3}, {0, 3, 0}, {2, 0, kNaN}};
  for (const auto& [sense, expected] :
       {std::pair{Sense::Minimise, minimise}, std::pair{Sense::Maximise, maximise}}) {
    const auto got = regrets(outcome, sense);
    ASSERT_EQ(got.size(), 3U);
    for (std::size_t d = 0; d < 3; ++d) {
      for (std::size_t f = 0; f < 3; ++f) {
        if (std::isnan(expected[d][f])) {
          EXPECT_TRUE(std::isnan(got[d][f])) << d << " " << f;
        } else {
          EXPECT_EQ(got[d][f], expected[d][f]) << d << " " << f;
        }
      }
    }
  }
  EXPECT_DOUBLE_EQ(satisficing({true, false, true, true}), 0.75);
}

TEST(Robustness, RefusesWhatHasNoAnswer) {
  EXPECT_THROW(percentile({}, 50), std::invalid_argument);
  EXPECT_THROW(percentile({1, 2}, 100.5), std::invalid_argument);
  EXPECT_THROW(percentile({1, 2}, kNaN), std::invalid_argument);
  EXPECT_THROW(summarise({}, Sense::Minimise), std::invalid_argument);
  EXPECT_THROW(regrets({{1, 2}, {3}}, Sense::Minimise), std::invalid_argument);
  EXPECT_THROW(satisficing({}), std::invalid_argument);
}

}  // namespace
}  // namespace tds::study::test
