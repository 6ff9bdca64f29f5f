#include "robustness.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace tds::study {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool any_nan(const std::vector<double>& values) {
  return std::any_of(values.begin(), values.end(), [](double v) { return std::isnan(v); });
}

}  // namespace

double percentile(std::vector<double> values, double p) {
  if (values.empty()) {
    throw std::invalid_argument("percentile: no values");
  }
  if (!(p >= 0 && p <= 100)) {
    throw std::invalid_argument("percentile: the percentile must lie in [0, 100]");
  }
  // A missing outcome makes every percentile unknown, as in NumPy.
  if (any_nan(values)) {
    return kNaN;
  }
  const std::size_t n = values.size();
  // The virtual index h = (n - 1) q with q = p / 100, computed in that order.
  const double h = static_cast<double>(n - 1) * (p / 100);
  if (h >= static_cast<double>(n - 1)) {
    return *std::max_element(values.begin(), values.end());
  }
  const double below = std::floor(h);
  const auto i = static_cast<std::size_t>(below);
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(i), values.end());
  const double a = values[i];
  const double b =
      *std::min_element(values.begin() + static_cast<std::ptrdiff_t>(i) + 1, values.end());
  // Linear interpolation from whichever end is nearer: exact at both ends and
  // monotonic in t.
  const double t = h - below;
  const double diff = b - a;
  return t >= 0.5 ? b - diff * (1 - t) : a + diff * t;
}

OutcomeSummary summarise(const std::vector<double>& outcomes, Sense sense) {
  if (outcomes.empty()) {
    throw std::invalid_argument("robustness: no outcomes to summarise");
  }
  OutcomeSummary s;
  const auto n = static_cast<double>(outcomes.size());
  double sum = 0;
  for (const double x : outcomes) {
    sum += x;
  }
  s.mean = sum / n;
  if (outcomes.size() > 1) {
    double squares = 0;
    for (const double x : outcomes) {
      const double d = x - s.mean;
      squares += d * d;
    }
    s.std = std::sqrt(squares / (n - 1));
  }
  s.p10 = percentile(outcomes, 10);
  s.p50 = percentile(outcomes, 50);
  s.p90 = percentile(outcomes, 90);
  if (any_nan(outcomes)) {
    s.std = s.worst = kNaN;
  } else if (sense == Sense::Minimise) {
    s.worst = *std::max_element(outcomes.begin(), outcomes.end());
  } else {
    s.worst = *std::min_element(outcomes.begin(), outcomes.end());
  }
  return s;
}

std::vector<std::vector<double>> regrets(const std::vector<std::vector<double>>& outcome,
                                         Sense sense) {
  const std::size_t futures = outcome.empty() ? 0 : outcome[0].size();
  for (const auto& row : outcome) {
    if (row.size() != futures) {
      throw std::invalid_argument("regret: designs with different numbers of futures");
    }
  }
  std::vector<std::vector<double>> regret(outcome.size(), std::vector<double>(futures, kNaN));
  for (std::size_t f = 0; f < futures; ++f) {
    // The best outcome of the designs that have one in this future.
    double best = kNaN;
    for (const auto& row : outcome) {
      const double x = row[f];
      if (!std::isnan(x) &&
          (std::isnan(best) || (sense == Sense::Minimise ? x < best : x > best))) {
        best = x;
      }
    }
    for (std::size_t d = 0; d < outcome.size(); ++d) {
      const double x = outcome[d][f];
      regret[d][f] = sense == Sense::Minimise ? x - best : best - x;
    }
  }
  return regret;
}

double satisficing(const std::vector<bool>& met) {
  if (met.empty()) {
    throw std::invalid_argument("satisficing: no futures");
  }
  const auto count = std::count(met.begin(), met.end(), true);
  return static_cast<double>(count) / static_cast<double>(met.size());
}

}  // namespace tds::study
