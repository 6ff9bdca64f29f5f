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
  std::uint64_t rows[64]{};
  std::uint64_t shift = 0;

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

// sum_j x_j y_j in four interleaved partial sums, added in a fixed order:
// the same bits everywhere, without the latency of one long chain.
double dot(const double* x, const double* y, std::size_t n) {
  double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
  std::size_t j = 0;
  for (; j + 4 <= n; j += 4) {
    s0 += x[j] * y[j];
    s1 += x[j + 1] * y[j + 1];
    s2 += x[j + 2] * y[j + 2];
    s3 += x[j + 3] * y[j + 3];
  }
  for (; j < n; ++j) {
    s0 += x[j] * y[j];
  }
  return (s0 + s1) + (s2 + s3);
}

// The indices of the rows weighted by how often a resampling draws each
// (all 1 for the sample itself); see the header for the formulas. The
// outputs are first shifted by their mean over the A, B and A_B^i rows, and
// each factor's differences g(A_B^i) - g(A) kept, so that every estimate is
// a few weighted sums over contiguous columns.
struct Estimate {
  std::vector<double> first, total;
  std::vector<std::vector<double>> second;
};

class Estimator {
 public:
  Estimator(const std::vector<double>& output, std::size_t k, std::size_t n, bool second_order)
      : k_(k), n_(n), second_order_(second_order) {
    double centre = 0;
    for (std::size_t r = 0; r < n * (k + 2); ++r) {
      centre += output[r];
    }
    centre /= static_cast<double>(n * (k + 2));
    z_.resize(output.size());
    for (std::size_t r = 0; r < output.size(); ++r) {
      z_[r] = output[r] - centre;
    }
    rows_.assign(n, 0);
    differences_.assign(k * n, 0);
    squares_.assign(k * n, 0);
    for (std::size_t j = 0; j < n; ++j) {
      for (std::size_t b = 0; b < k + 2; ++b) {
        rows_[j] += z_[b * n + j];
      }
      for (std::size_t i = 0; i < k; ++i) {
        differences_[i * n + j] = z_[(2 + i) * n + j] - z_[j];
        squares_[i * n + j] = differences_[i * n + j] * differences_[i * n + j];
      }
    }
  }

  // weight[j]: how many times row j counts; the weights sum to n.
  Estimate operator()(const std::vector<double>& weight) const {
    const auto dn = static_cast<double>(n_);
    const double* a = z_.data();
    const double* b = z_.data() + n_;
    // The resampling's own centre, relative to the sample's.
    double shift = 0, sum_a = 0, sum_b = 0;
    for (std::size_t j = 0; j < n_; ++j) {
      shift += weight[j] * rows_[j];
      sum_a += weight[j] * a[j];
      sum_b += weight[j] * b[j];
    }
    shift /= dn * static_cast<double>(k_ + 2);
    const double mean_a = sum_a / dn - shift, mean_b = sum_b / dn - shift;
    double variance = 0;
    for (std::size_t j = 0; j < n_; ++j) {
      const double d = a[j] - shift - mean_a;
      variance += weight[j] * d * d;
    }
    variance /= dn - 1;
    Estimate e;
    if (!(variance > 0)) {
      // No variance to share out: every index is undefined.
      e.first.assign(k_, kNaN);
      e.total.assign(k_, kNaN);
      if (second_order_) {
        e.second.assign(k_, std::vector<double>(k_, kNaN));
      }
      return e;
    }
    e.first.resize(k_);
    e.total.resize(k_);
    std::vector<double> weighted_b(n_);
    for (std::size_t j = 0; j < n_; ++j) {
      weighted_b[j] = weight[j] * (b[j] - shift);
    }
    for (std::size_t i = 0; i < k_; ++i) {
      e.first[i] = dot(weighted_b.data(), differences_.data() + i * n_, n_) / (dn - 1) / variance;
      e.total[i] = dot(weight.data(), squares_.data() + i * n_, n_) / (2 * dn - 1) / variance;
    }
    if (second_order_) {
      e.second.assign(k_, std::vector<double>(k_, kNaN));
      for (std::size_t i = 0; i < k_; ++i) {
        const double* ba = z_.data() + (2 + k_ + i) * n_;
        for (std::size_t l = i + 1; l < k_; ++l) {
          const double* ab = z_.data() + (2 + l) * n_;
          double closed = 0;
          for (std::size_t j = 0; j < n_; ++j) {
            closed += weight[j] * (ba[j] - shift) * (ab[j] - shift);
          }
          const double v = closed / (dn - 1) - mean_a * mean_b;
          e.second[i][l] = v / variance - e.first[i] - e.first[l];
        }
      }
    }
    return e;
  }

 private:
  std::size_t k_, n_;
  bool second_order_;
  std::vector<double> z_;            // the outputs less their centre
  std::vector<double> rows_;         // per row, the sum of its A, B, A_B^i outputs
  std::vector<double> differences_;  // [i * n + j]: z(A_B^i)_j - z(A)_j
  std::vector<double> squares_;      // their squares
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
  std::vector<double> weight(n, 1);
  const Estimate value = estimate(weight);
  // Each index's resampled values.
  std::vector<std::vector<double>> first(k), total(k);
  std::vector<std::vector<std::vector<double>>> second(second_order ? k : 0,
                                                       std::vector<std::vector<double>>(k));
  Random random(seed);
  for (std::size_t r = 0; r < resamples; ++r) {
    std::fill(weight.begin(), weight.end(), 0);
    for (std::size_t j = 0; j < n; ++j) {
      weight[random.below(n)] += 1;
    }
    const Estimate e = estimate(weight);
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
