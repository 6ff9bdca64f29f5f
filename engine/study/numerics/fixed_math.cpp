#include "fixed_math.h"

#include <array>
#include <cmath>

namespace tds::study {

namespace {

constexpr double kLn2 = 0.6931471805599453094;

// The series' coefficients, 1/(2n+1) and 1/i, as constants: a correctly
// rounded quotient, folded alike by every compiler, and no division at run
// time.
template <int N, int Step, int First>
constexpr std::array<double, N> reciprocals() {
  std::array<double, N> r{};
  for (int i = 0; i < N; ++i) {
    r[i] = 1.0 / (First + Step * i);
  }
  return r;
}
constexpr auto kOdd = reciprocals<11, 2, 1>();      // 1/1, 1/3, ..., 1/21
constexpr auto kInverse = reciprocals<14, 1, 1>();  // 1/1, 1/2, ..., 1/14

// log(x) for x > 0: x = m 2^e with m in [sqrt(1/2), sqrt(2)), and
// log(m) = 2 atanh(s), s = (m - 1) / (m + 1), |s| < 0.172, by its series.
double fixed_log(double x) {
  int e = 0;
  double m = std::frexp(x, &e);  // exact: m in [0.5, 1)
  if (m < 0.70710678118654752440) {
    m *= 2;
    --e;
  }
  const double s = (m - 1) / (m + 1);
  const double s2 = s * s;
  double sum = 0;
  // Horner over the odd terms 1/(2n+1), n = 0..10: the first left out,
  // |s|^23/23, is about 1e-19 of the sum.
  for (int n = 10; n >= 0; --n) {
    sum = sum * s2 + kOdd[n];
  }
  return 2 * s * sum + e * kLn2;
}

// exp(x): x = n ln2 + r, |r| <= ln2/2, exp(r) by its Taylor series, then
// exact scaling by 2^n.
double fixed_exp(double x) {
  if (x > 709.8) {
    return HUGE_VAL;
  }
  if (x < -745.2) {
    return 0;
  }
  const double n = std::nearbyint(x / kLn2);
  const double r = x - n * kLn2;
  double sum = 1;
  // Horner over r^i / i!, i = 0..14: the first left out, (ln2/2)^15 / 15!,
  // is below 1e-19.
  for (int i = 14; i >= 1; --i) {
    sum = 1 + sum * r * kInverse[i - 1];
  }
  return std::ldexp(sum, static_cast<int>(n));
}

}  // namespace

double fixed_pow(double x, double y) {
  if (x == 0) {
    return 0;
  }
  if (x == 1 || y == 0) {
    return 1;
  }
  // Small whole exponents (NSGA-II's distribution indices plus one, as a
  // rule) by binary powering: a few products, closer than exp and log.
  if (y == std::nearbyint(y) && std::fabs(y) <= 64) {
    auto e = static_cast<int>(std::fabs(y));
    double result = 1, square = x;
    for (; e > 0; e >>= 1) {
      if (e & 1) {
        result *= square;
      }
      square *= square;
    }
    return y < 0 ? 1 / result : result;
  }
  return fixed_exp(y * fixed_log(x));
}

}  // namespace tds::study
