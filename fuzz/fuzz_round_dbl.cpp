// libFuzzer target: arbitrary doubles into round_dbl (support/CongruentailRandom).
//
// Input: 8 bytes, the bit pattern of a double in the machine's byte order (a shorter input is
// padded with zero bytes, a longer one is cut). Every input is checked as given, and so are the
// doubles around the decimal halfway point nearest to it, where rounding is hardest.
//
// The contract (CongruentailRandom.h and the README): inside the signed 32-bit range of the count
// the documented double arithmetic decides -- add +-0.000005, multiply by 100000, truncate, divide
// by 100000 -- so a value within rounding error of a decimal halfway point may go either way
// (0.123455 gives 0.12346 although its double lies below the half); beyond that range every
// value is rounded correctly. The oracle computes the exact decimal rounding of x (halves away
// from zero) with integer arithmetic on x's exact binary value, and demands:
//
//  - NaN and the infinities come back unchanged (bit for bit);
//  - a value with no decimals left to round, |x| * 100000 >= 2^53 exactly, comes back unchanged;
//  - otherwise the result is the double nearest to n / 100000 (with the sign of x; +0 when
//    n = 0), where n is the exactly rounded count, the integer part of |x| * 100000 + 1/2;
//  - except inside the 32-bit range, that is where the documented steps give a count u with
//    -2^31 - 1 < u < 2^31: there the result must be bit for bit that of the documented steps with a
//    32-bit count, and it may take the other neighbour count only when x lies within the
//    tolerance of a decimal halfway point. The tolerance is twice the rounding error the steps
//    can make, in units of 0.00001 (the error of 0.000005 itself, of |x| + 0.000005 and of the
//    product by 100000):
//      tolerance = 2 * (100000 * (ulp(|x| + 0.000005) / 2 + 2^-53 * 0.000005) + ulp(u) / 2)
//    with ulp(v) the spacing of doubles above v; inside the range it stays below 1e-6 units.
//    Beyond the range there is no tolerance;
//  - round_dbl of the result is the result itself (rounding is idempotent);
//  - round_dbl draws nothing.
// UBSan (float-cast-overflow included) and ASan abort on undefined behaviour of the library.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "CongruentailRandom.h"

namespace {

using u128 = unsigned __int128;

constexpr double kHalf = 0.000005;
constexpr double kScale = 100000.0;
constexpr double kTwo53 = 9007199254740992.0;

std::uint64_t Bits(double v) {
  std::uint64_t b = 0;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

[[noreturn]] void Fail(const char* what, double x, double got, double want) {
  std::fprintf(stderr,
               "fuzz_round_dbl: %s\n  x      = %.17g (0x%016llx)\n  got    = %.17g (0x%016llx)\n"
               "  expect = %.17g (0x%016llx)\n",
               what, x, static_cast<unsigned long long>(Bits(x)), got,
               static_cast<unsigned long long>(Bits(got)), want,
               static_cast<unsigned long long>(Bits(want)));
  std::abort();
}

// Spacing of doubles directly above v >= 0.
double UlpAbove(double v) { return std::nextafter(v, std::numeric_limits<double>::infinity()) - v; }

// The double nearest to sign * n / 100000 (n < 2^53 converts exactly; IEEE division rounds
// correctly); +0 for n = 0.
double Nearest(bool negative, std::uint64_t n) {
  if (n == 0) return 0.0;
  const double v = static_cast<double>(n) / kScale;
  return negative ? -v : v;
}

void Check(double x) {
  const long double seed_before = m_seed;
  const double got = round_dbl(x);
  if (m_seed != seed_before) Fail("round_dbl drew a random number", x, got, x);

  if (!std::isfinite(x)) {
    if (Bits(got) != Bits(x)) Fail("non-finite value changed", x, got, x);
    return;
  }

  const bool negative = std::signbit(x);
  const double ax = std::fabs(x);
  // |x| = m * 2^e exactly, m an integer below 2^53.
  int exp2 = 0;
  const double frac = std::frexp(ax, &exp2);
  const std::uint64_t m = static_cast<std::uint64_t>(std::ldexp(frac, 53));
  const int e = exp2 - 53;
  // |x| * 100000 = big * 2^e exactly; big < 2^70.
  const u128 big = static_cast<u128>(m) * 100000u;

  // No decimals left: the exact count reaches 2^53.
  bool no_decimals_left = false;
  if (m == 0) {
    no_decimals_left = false;
  } else if (e >= 0) {
    no_decimals_left = true;  // |x| >= 2^52
  } else {
    const int k = -e;
    no_decimals_left = k <= 70 && big >= (static_cast<u128>(1) << (53 + k));
  }
  if (no_decimals_left) {
    if (Bits(got) != Bits(x)) Fail("value without decimals left changed", x, got, x);
    return;
  }

  // Exact rounding: down = floor(|x| * 100000), the distance of |x| * 100000 from
  // down + 1/2 in units, and the count rounded half up.
  std::uint64_t down = 0;
  long double distance_units =
      0.0L;  // |fraction - 1/2|, approximate (only compared to the tolerance)
  bool round_up = false;
  // Here e < 0: |x| < 2^52.
  if (-e >= 120) {
    down = 0;
    distance_units = 0.5L;  // |x| * 100000 < 2^-50
    round_up = false;
  } else {
    const int k = -e;
    const u128 one = 1;
    down = static_cast<std::uint64_t>(big >> k);
    const u128 rem = big & ((one << k) - 1);
    const u128 half = one << (k - 1);
    round_up = rem >= half;
    const u128 diff = rem >= half ? rem - half : half - rem;
    distance_units = std::ldexp(static_cast<long double>(diff), -k);
  }
  const std::uint64_t exact = down + (round_up ? 1 : 0);
  const double want = Nearest(negative, exact);

  // The documented steps, in double arithmetic; |u| is the count they truncate.
  const double s = ax + kHalf;
  const double u = s * kScale;
  const bool in_32_bit_range = negative ? u < 2147483649.0 : u < 2147483648.0;

  if (!in_32_bit_range) {
    if (Bits(got) != Bits(want)) {
      std::fprintf(stderr, "  beyond the 32-bit range; distance from the halfway point %Lg units\n",
                   distance_units);
      Fail("result is not the exact decimal rounding", x, got, want);
    }
  } else {
    const double steps =
        static_cast<double>(static_cast<std::int32_t>((x + (x < 0.0 ? -kHalf : kHalf)) * kScale)) /
        kScale;
    if (Bits(got) != Bits(steps))
      Fail("result differs from the documented 32-bit steps", x, got, steps);
    // Twice the error bound of the steps, in units (see the top of the file).
    const long double tolerance_units =
        2.0L * (kScale * (UlpAbove(s) / 2.0L + std::ldexp(kHalf, -53)) + UlpAbove(u) / 2.0L);
    if (Bits(got) != Bits(want)) {
      const double other = Nearest(negative, round_up ? down : down + 1);
      if (!(distance_units <= tolerance_units && Bits(got) == Bits(other))) {
        std::fprintf(stderr, "  distance from the halfway point %Lg units, tolerance %Lg units\n",
                     distance_units, tolerance_units);
        Fail("result is not the exact decimal rounding", x, got, want);
      }
    }
  }

  const double again = round_dbl(got);
  if (Bits(again) != Bits(got)) Fail("rounding its own result changed it", got, again, got);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  unsigned char bytes[8] = {0};
  std::memcpy(bytes, data, size < sizeof bytes ? size : sizeof bytes);
  double x = 0.0;
  std::memcpy(&x, bytes, sizeof x);
  Check(x);

  // The doubles around the decimal halfway point nearest to x, where the double arithmetic and
  // exact rounding part ways.
  if (std::isfinite(x) && std::fabs(x) * kScale < kTwo53) {
    const double halfway = (std::floor(x * kScale) + 0.5) / kScale;
    double below = halfway;
    double above = halfway;
    Check(halfway);
    for (int i = 0; i < 3; ++i) {
      below = std::nextafter(below, -std::numeric_limits<double>::infinity());
      above = std::nextafter(above, std::numeric_limits<double>::infinity());
      Check(below);
      Check(above);
    }
  }
  return 0;
}
