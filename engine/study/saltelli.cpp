#include "saltelli.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <stdexcept>

#include <boost/random/sobol.hpp>

#include "random.h"

namespace tds::study {

namespace {

// A random linear matrix scramble and digital shift of one coordinate
// (Matousek 1998): the digits x_1 x_2 ... (most significant first) become
// y_r = x_r + sum_{s<r} L_rs x_s + e_r (mod 2), L lower triangular with
// random bits and a unit diagonal, e random. Row r of L is a mask of the
// digits it sums.
struct Scramble {
  std::uint64_t rows[64];
  std::uint64_t shift;

  explicit Scramble(Random& random) {
    for (int r = 0; r < 64; ++r) {
      const std::uint64_t diagonal = std::uint64_t{1} << (63 - r);
      const std::uint64_t above = r == 0 ? 0 : ~std::uint64_t{0} << (64 - r);  // digits s < r
      rows[r] = diagonal | (r == 0 ? 0 : random.bits() & above);
    }
    shift = random.bits();
  }

  std::uint64_t operator()(std::uint64_t x) const {
    std::uint64_t y = 0;
    for (int r = 0; r < 64; ++r) {
      y |= static_cast<std::uint64_t>(std::popcount(rows[r] & x) & 1) << (63 - r);
    }
    return y ^ shift;
  }
};

// The top 53 bits of a 64-bit fraction: exact, in [0, 1).
double unit_of(std::uint64_t x) { return static_cast<double>(x >> 11) * 0x1p-53; }

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The indices of one resampling of the rows (rows[j] is the row used as
// the j-th), as sums over the rows; see the header for the formulas.
struct Estimate {
  std::vector<double> first, total;
  std::vector<std::vector<double>> second;
};

class Estimator {
 public:
  Estimator(const std::vector<double>& output, std::size_t k, std::size_t n, bool second_order)
      : output_(output), k_(k), n_(n), second_order_(second_order) {}

  // The outputs of row j of matrix block b (0 = A, 1 = B, 2 + i = A_B^i,
  // 2 + k + i = B_A^i).
  double at(std::size_t block, std::size_t j) const { return output_[block * n_ + j]; }

  Estimate operator()(const std::vector<std::size_t>& rows) const {
    const std::size_t n = rows.size();
    const auto dn = static_cast<double>(n);
    // The centre: the mean over the A, B and A_B^i rows.
    double centre = 0;
    for (std::size_t b = 0; b < k_ + 2; ++b) {
      for (const std::size_t j : rows) {
        centre += at(b, j);
      }
    }
    centre /= dn * static_cast<double>(k_ + 2);
    double mean_a = 0, mean_b = 0;
    for (const std::size_t j : rows) {
      mean_a += at(0, j) - centre;
      mean_b += at(1, j) - centre;
    }
    mean_a /= dn;
    mean_b /= dn;
    double variance = 0;
    for (const std::size_t j : rows) {
      const double d = at(0, j) - centre - mean_a;
      variance += d * d;
    }
    variance /= dn - 1;
    Estimate e;
    e.first.resize(k_);
    e.total.resize(k_);
    for (std::size_t i = 0; i < k_; ++i) {
      double first = 0, total = 0;
      for (const std::size_t j : rows) {
        const double a = at(0, j) - centre, b = at(1, j) - centre, ab = at(2 + i, j) - centre;
        first += b * (ab - a);
        total += (a - ab) * (a - ab);
      }
      e.first[i] = first / (dn - 1) / variance;
      e.total[i] = total / (2 * dn - 1) / variance;
    }
    if (second_order_) {
      e.second.assign(k_, std::vector<double>(k_, kNaN));
      for (std::size_t i = 0; i < k_; ++i) {
        for (std::size_t l = i + 1; l < k_; ++l) {
          double closed = 0;
          for (const std::size_t j : rows) {
            closed += (at(2 + k_ + i, j) - centre) * (at(2 + l, j) - centre);
          }
          const double v = closed / (dn - 1) - mean_a * mean_b;
          e.second[i][l] = v / variance - e.first[i] - e.first[l];
        }
      }
    }
    return e;
  }

 private:
  const std::vector<double>& output_;
  std::size_t k_, n_;
  bool second_order_;
};

// The percentile q of sorted values, interpolating linearly between order
// statistics (position q (m - 1)).
double percentile(const std::vector<double>& sorted, double q) {
  const double position = q * static_cast<double>(sorted.size() - 1);
  const auto below = static_cast<std::size_t>(position);
  if (below + 1 >= sorted.size()) {
    return sorted.back();
  }
  const double fraction = position - static_cast<double>(below);
  return sorted[below] + fraction * (sorted[below + 1] - sorted[below]);
}

Interval interval(double value, std::vector<double>& resampled, double confidence) {
  if (resampled.empty() || std::isnan(value)) {
    return {value, value, value};
  }
  // NaN cannot occur when the value is a number: every resampled row is a
  // number; a resampling with zero variance gives inf or NaN, ordered last.
  std::sort(resampled.begin(), resampled.end(),
            [](double a, double b) { return std::isnan(b) ? !std::isnan(a) : a < b; });
  return {value, percentile(resampled, (1 - confidence) / 2),
          percentile(resampled, (1 + confidence) / 2)};
}

}  // namespace

std::vector<std::vector<double>> saltelli_design(std::size_t k, std::size_t n, bool scrambled,
                                                 bool second_order, std::uint64_t seed) {
  if (k == 0 || 2 * k > std::size_t{boost::random::default_sobol_table::max_dimension}) {
    throw std::invalid_argument(
        "Saltelli: the number of factors is 0 or beyond the Sobol' sequence's dimensions");
  }
  const std::size_t d = 2 * k;
  boost::random::sobol sequence(d);
  std::vector<Scramble> scrambles;
  if (scrambled) {
    Random random(seed);
    scrambles.reserve(d);
    for (std::size_t c = 0; c < d; ++c) {
      scrambles.emplace_back(random);
    }
  }
  std::vector<std::vector<double>> a(n, std::vector<double>(k)), b(n, std::vector<double>(k));
  for (std::size_t j = 0; j < n; ++j) {
    for (std::size_t c = 0; c < d; ++c) {
      // Point 0 of the digital sequence is the origin, which Boost skips;
      // without it the first 2^m points are not a net and miss a stratum.
      std::uint64_t x = j == 0 ? 0 : sequence();
      if (scrambled) {
        x = scrambles[c](x);
      }
      (c < k ? a[j][c] : b[j][c - k]) = unit_of(x);
    }
  }
  std::vector<std::vector<double>> design;
  design.reserve(n * (second_order ? 2 * k + 2 : k + 2));
  design.insert(design.end(), a.begin(), a.end());
  design.insert(design.end(), b.begin(), b.end());
  for (std::size_t i = 0; i < k; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      design.push_back(a[j]);
      design.back()[i] = b[j][i];
    }
  }
  if (second_order) {
    for (std::size_t i = 0; i < k; ++i) {
      for (std::size_t j = 0; j < n; ++j) {
        design.push_back(b[j]);
        design.back()[i] = a[j][i];
      }
    }
  }
  return design;
}

SobolIndices sobol_indices(const std::vector<double>& output, std::size_t k, std::size_t n,
                           bool second_order, std::size_t resamples, double confidence,
                           std::uint64_t seed) {
  if (k == 0 || n < 2 || output.size() != n * (second_order ? 2 * k + 2 : k + 2) ||
      !(confidence > 0) || !(confidence < 1)) {
    throw std::invalid_argument(
        "Sobol' indices: the outputs do not match the design, or the confidence is not in (0, 1)");
  }
  SobolIndices result;
  if (std::any_of(output.begin(), output.end(), [](double y) { return std::isnan(y); })) {
    result.first.assign(k, {kNaN, kNaN, kNaN});
    result.total = result.first;
    if (second_order) {
      result.second.assign(k, std::vector<Interval>(k, {kNaN, kNaN, kNaN}));
    }
    return result;
  }
  const Estimator estimate(output, k, n, second_order);
  std::vector<std::size_t> rows(n);
  for (std::size_t j = 0; j < n; ++j) {
    rows[j] = j;
  }
  const Estimate value = estimate(rows);
  // Each index's resampled values.
  std::vector<std::vector<double>> first(k), total(k);
  std::vector<std::vector<std::vector<double>>> second(second_order ? k : 0,
                                                       std::vector<std::vector<double>>(k));
  Random random(seed);
  for (std::size_t r = 0; r < resamples; ++r) {
    for (auto& row : rows) {
      row = random.below(n);
    }
    const Estimate e = estimate(rows);
    for (std::size_t i = 0; i < k; ++i) {
      first[i].push_back(e.first[i]);
      total[i].push_back(e.total[i]);
      for (std::size_t l = i + 1; second_order && l < k; ++l) {
        second[i][l].push_back(e.second[i][l]);
      }
    }
  }
  for (std::size_t i = 0; i < k; ++i) {
    result.first.push_back(interval(value.first[i], first[i], confidence));
    result.total.push_back(interval(value.total[i], total[i], confidence));
  }
  if (second_order) {
    result.second.assign(k, std::vector<Interval>(k, {kNaN, kNaN, kNaN}));
    for (std::size_t i = 0; i < k; ++i) {
      for (std::size_t l = i + 1; l < k; ++l) {
        result.second[i][l] = interval(value.second[i][l], second[i][l], confidence);
      }
    }
  }
  return result;
}

}  // namespace tds::study
