#include "morris.h"

#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "random.h"

namespace tds::study {

std::vector<std::vector<double>> morris_design(std::size_t k, std::size_t r, std::size_t levels,
                                               std::uint64_t seed) {
  if (k == 0 || levels < 2 || levels % 2 != 0) {
    throw std::invalid_argument(
        "Morris: needs at least one factor and an even number of levels >= 2");
  }
  // Grid level j is j / (p - 1); delta = p / (2 (p - 1)) is p/2 levels, so
  // a factor moves between level j and level j + p/2, j < p/2. Drawing j
  // uniformly and the direction by a coin gives every level the same
  // chance as a trajectory's start (Morris 1991's B* construction).
  const std::size_t half = levels / 2;
  // Level j as the double nearest j / (p - 1).
  const auto level = [&](std::size_t j) {
    return static_cast<double>(j) / static_cast<double>(levels - 1);
  };
  Random random(seed);
  std::vector<std::vector<double>> design;
  design.reserve(r * (k + 1));
  std::vector<std::size_t> low(k), order(k);
  std::vector<bool> up(k);
  for (std::size_t t = 0; t < r; ++t) {
    std::vector<double> point(k);
    for (std::size_t i = 0; i < k; ++i) {
      low[i] = random.below(half);
      up[i] = random.below(2) == 0;
      point[i] = level(up[i] ? low[i] : low[i] + half);
    }
    std::iota(order.begin(), order.end(), std::size_t{0});
    for (std::size_t i = k; i > 1; --i) {
      std::swap(order[i - 1], order[random.below(i)]);
    }
    design.push_back(point);
    for (const std::size_t i : order) {
      point[i] = level(up[i] ? low[i] + half : low[i]);
      design.push_back(point);
    }
  }
  return design;
}

std::vector<std::vector<MorrisEffect>> morris_effects(
    const std::vector<std::vector<double>>& design, const std::vector<std::vector<double>>& outputs,
    std::size_t k) {
  if (k == 0 || design.size() % (k + 1) != 0 || outputs.size() != design.size()) {
    throw std::invalid_argument(
        "Morris: the design and outputs do not match k + 1 points per trajectory");
  }
  const std::size_t m = outputs.empty() ? 0 : outputs.front().size();
  // Sums per factor and output: effects, their absolute values, squares
  // about the mean in a second pass (numerically sound), and the counts.
  std::vector<std::vector<std::vector<double>>> effects(k, std::vector<std::vector<double>>(m));
  for (std::size_t start = 0; start < design.size(); start += k + 1) {
    for (std::size_t s = start; s < start + k; ++s) {
      const auto& a = design[s];
      const auto& b = design[s + 1];
      if (a.size() != k || b.size() != k) {
        throw std::invalid_argument("Morris: a design point does not have k coordinates");
      }
      std::size_t i = 0;
      while (i < k && a[i] == b[i]) {
        ++i;
      }
      if (i == k || outputs[s].size() != m || outputs[s + 1].size() != m) {
        throw std::invalid_argument(
            "Morris: consecutive points of a trajectory must differ in one factor");
      }
      const double dx = b[i] - a[i];
      for (std::size_t j = 0; j < m; ++j) {
        const double dy = outputs[s + 1][j] - outputs[s][j];
        if (!std::isnan(dy)) {
          effects[i][j].push_back(dy / dx);
        }
      }
    }
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<std::vector<MorrisEffect>> result(k, std::vector<MorrisEffect>(m));
  for (std::size_t i = 0; i < k; ++i) {
    for (std::size_t j = 0; j < m; ++j) {
      const auto& e = effects[i][j];
      MorrisEffect& out = result[i][j];
      out.effects = e.size();
      if (e.empty()) {
        out.mu = out.mu_star = out.sigma = nan;
        continue;
      }
      double sum = 0, sum_abs = 0;
      for (const double x : e) {
        sum += x;
        sum_abs += std::fabs(x);
      }
      const auto count = static_cast<double>(e.size());
      out.mu = sum / count;
      out.mu_star = sum_abs / count;
      double squares = 0;
      for (const double x : e) {
        squares += (x - out.mu) * (x - out.mu);
      }
      out.sigma = e.size() > 1 ? std::sqrt(squares / (count - 1)) : nan;
    }
  }
  return result;
}

}  // namespace tds::study
