// Variance-based sensitivity indices (Sobol' 1993) from a Saltelli design.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tds::study {

// The design: matrices A and B of n rows from the first n points of the
// Sobol' sequence of dimension 2k (A its first k coordinates, B the last
// k): the origin, then Boost.Random's sobol (Joe & Kuo's direction numbers),
// so that the first 2^m points are a net and every coordinate has one point
// in each interval of width 2^-m. Then the k matrices A_B^i (A with column i
// taken from B), and with second_order the k matrices B_A^i (B with column i
// from A): n (k + 2) or n (2k + 2) rows, matrix after matrix. scrambled
// randomises the sequence with a random linear matrix scramble and a digital
// shift (Matousek 1998) drawn from Random(seed); it keeps the net property.
std::vector<std::vector<double>> saltelli_design(std::size_t k, std::size_t n, bool scrambled,
                                                 bool second_order, std::uint64_t seed);

struct Interval {
  double value, low, high;
};
struct SobolIndices {
  std::vector<Interval> first, total;         // per factor
  std::vector<std::vector<Interval>> second;  // second[i][j] for i < j, with second_order
};

// The indices of one output over a design from saltelli_design, its values
// in the design's order. With g the outputs less their mean over the A, B
// and A_B^i rows, and V the variance of g(A) (divisor n - 1):
// first order (Saltelli et al. 2010, Comput. Phys. Commun. 181, table 2 (b)):
//   S_i  = 1/(n-1) sum_j g(B)_j (g(A_B^i)_j - g(A)_j) / V
// total (Jansen 1999; Saltelli et al. 2010, table 2 (f)):
//   ST_i = 1/(2n-1) sum_j (g(A)_j - g(A_B^i)_j)^2 / V
// These divisors and this centring are those of OpenTURNS's estimators of
// the same formulas, so that the two can be compared bit for bit in
// meaning; they differ from the plain 1/n forms by O(1/n).
// Second order (Saltelli 2002: the closed index less both first orders):
//   V_il = 1/(n-1) sum_j g(B_A^i)_j g(A_B^l)_j - (1/n sum g(A))(1/n sum g(B)),
//   S_il = V_il / V - S_i - S_l.
// Bootstrap: `resamples` resamplings with replacement of the n rows drawn
// from Random(seed); low and high are the percentiles (1 -+ confidence) / 2
// of the resampled indices (linear interpolation between order statistics).
// With resamples == 0, low = high = value. An output that is NaN (a failed
// case) makes every index NaN: the estimators need every row; so does an
// output that does not vary over A (V = 0), whose indices are undefined.
SobolIndices sobol_indices(const std::vector<double>& output, std::size_t k, std::size_t n,
                           bool second_order, std::size_t resamples, double confidence,
                           std::uint64_t seed);

}  // namespace tds::study
