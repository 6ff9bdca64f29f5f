// Lehmer generator, decimal rounding and the distributions built on them.
#include "CongruentailRandom.h"

#include <cmath>
#include <cstdint>

// Every variable holds its value from load: constant initialisation only.
constinit long double m_seed = 48271.0L;
constinit long double m_multiplier = 16807.0L;
constinit long double m_increment = 0.0L;
constinit long double m_last_random = 0.0L;
constinit int digits = 5;

namespace {

constexpr double kModulus = 2147483647.0;  // 2^31 - 1

// --- x87 precision control ---------------------------------------------------
//
// The extended-precision steps must be computed with a 64-bit significand. A
// host may run with the x87 precision-control field at 53 bits (the Windows
// default), which would silently shorten every long double operation, so those
// steps switch the field to extended for their duration and then restore the
// caller's control word.
//
// The compiler may move register arithmetic across an asm statement, so the
// operands are pinned in memory right after the switch and the result right
// before the restore: the data dependencies keep the arithmetic in between.

#if defined(__x86_64__) || defined(__i386__)

constexpr unsigned short kPrecisionMask = 0x300;  // precision-control bits; 0x300 = 64-bit

struct X87Extended {
  unsigned short saved;
  bool switched;
};

inline X87Extended x87_enter_extended() {
  X87Extended state{};
  __asm__ __volatile__("fnstcw %0" : "=m"(state.saved) : : "memory");
  state.switched = (state.saved & kPrecisionMask) != kPrecisionMask;
  if (state.switched) {
    const unsigned short extended = static_cast<unsigned short>(state.saved | kPrecisionMask);
    __asm__ __volatile__("fldcw %0" : : "m"(extended) : "memory");
  }
  return state;
}

inline void x87_leave(const X87Extended& state) {
  if (state.switched) {
    __asm__ __volatile__("fldcw %0" : : "m"(state.saved) : "memory");
  }
}

template <typename T>
inline void x87_pin(T& value) {
  __asm__ __volatile__("" : "+m"(value));
}

#else

struct X87Extended {};
inline X87Extended x87_enter_extended() { return {}; }
inline void x87_leave(const X87Extended&) {}
template <typename T>
inline void x87_pin(T&) {}

#endif

// --- helpers -----------------------------------------------------------------

// Truncates toward zero. Inside the signed 32-bit range this goes through an int,
// as the rounding grid is defined; beyond it the value is truncated without a
// narrowing conversion. NaN and the infinities come back unchanged.
double truncate_to_integer(double r) {
  if (r > -2147483649.0 && r < 2147483648.0) {
    return static_cast<double>(static_cast<std::int32_t>(r));
  }
  return std::trunc(r);
}

// low + (high - low) * U, with the sum formed in extended precision and then
// narrowed to a double; one draw, not rounded.
double uniform_unrounded(double low, double high) {
  const double w = high - low;
  long double u = get_random();
  long double lo = low;
  long double wide_w = w;
  const X87Extended fpu = x87_enter_extended();
  x87_pin(u);
  x87_pin(lo);
  x87_pin(wide_w);
  double v = static_cast<double>(lo + wide_w * u);
  x87_pin(v);
  x87_leave(fpu);
  return v;
}

// The persistent values of the polar method; normal and bimodal own one each.
struct PolarState {
  int f;      // 1: the next call generates a pair; otherwise it uses p2
  double p1;  // first coordinate of the current pair
  double p2;  // second coordinate of the current pair
  double p;   // p1^2 + p2^2 of the current pair
};

constinit PolarState normal_state = {1, 0.0, 0.0, 0.0};
constinit PolarState bimodal_state = {1, 0.0, 0.0, 0.0};
// The variate that chose the mode of the latest bimodal call.
constinit double bimodal_select = 0.0;

// Marsaglia's polar method with the stored second value, on the state of its owner.
double polar_sample(PolarState& s, double mean, double sd, int nonnegative) {
  double z = 0.0;
  if (s.f == 1) {
    do {
      s.p1 = uniform(-1.0, 1.0);
      s.p2 = uniform(-1.0, 1.0);
      s.p = s.p1 * s.p1 + s.p2 * s.p2;
    } while (!(s.p < 1.0));
    z = s.p1;
  } else {
    z = s.p2;
  }
  s.f = (s.f == 1) ? 0 : 1;
  const double scaled = sd * z;
  const double v = std::sqrt((std::log(s.p) * -2.0) / s.p) * scaled + mean;
  if (v < 0.0 && nonnegative == 1) {
    return 0.0;
  }
  return round_dbl(v);
}

}  // namespace

long double get_random(void) {
  const X87Extended fpu = x87_enter_extended();
  // The state and the product stay integers below 2^53, so they are exact; the
  // precision matters for the quotient only.
  const long double t = m_seed * m_multiplier + m_increment;
  m_seed = static_cast<long double>(std::fmod(static_cast<double>(t), kModulus));
  long double variate = m_seed / 2147483647.0L;
  x87_pin(variate);
  x87_leave(fpu);
  m_last_random = variate;
  return variate;
}

double round_dbl(double x) {
  if (!std::isfinite(x)) {
    return x;
  }
  // The exponents are formed in double so that no value of digits can overflow.
  const double half = (x < 0.0 ? -5.0 : 5.0) / std::pow(10.0, static_cast<double>(digits) + 1.0);
  const double scale = std::pow(10.0, static_cast<double>(digits));
  const double units = (x + half) * scale;
  // From 2^53 units on, every double is a whole number of units and the spacing
  // of doubles exceeds a unit: there are no decimals left to round. This also
  // keeps the count inside a 64-bit integer.
  if (!(std::fabs(units) < 0x1p53)) {
    return x;
  }
  // Inside the signed 32-bit range of the count: the documented double arithmetic decides.
  if (units > -2147483649.0 && units < 2147483648.0) {
    return static_cast<double>(static_cast<std::int64_t>(units)) / scale;
  }
  // Beyond it these steps lose too much: from |x| >= 2^35 on the spacing of doubles exceeds
  // half, so x + half lands a whole spacing above x (68444961007.62647 would become
  // 68444961007.62648, and rounding a result again could move it). Count exactly instead: the
  // integer part of x times scale is an exact integer below 2^53, and so is the fractional part
  // times scale (with 5 digits: |x| >= 21474 leaves the fraction at most 38 bits and
  // scale = 2^5 * 3125 adds 12), as is that plus or minus one half, whose truncation is the
  // fraction rounded half away from zero.
  const double whole = std::trunc(x);
  const double fraction = (x - whole) * scale;
  const double rounded_fraction = std::trunc(fraction + (x < 0.0 ? -0.5 : 0.5));
  const std::int64_t n = static_cast<std::int64_t>(whole * scale + rounded_fraction);
  return static_cast<double>(n) / scale;
}

double uniform(double low, double high) { return round_dbl(uniform_unrounded(low, high)); }

double intuniform(double low, double high) {
  return truncate_to_integer(round_dbl(uniform_unrounded(low, high)));
}

double exponential(double location, double mean) {
  double u = uniform(0.0, 1.0);
  if (u == 0.0) {
    // ln 0 is -inf; take the smallest positive value of the rounding grid instead.
    u = 1.0 / std::pow(10.0, static_cast<double>(digits));
  }
  const double v = location - std::log(u) * mean;
  return round_dbl(v);
}

double normal(double mean, double sd, int nonnegative) {
  return polar_sample(normal_state, mean, sd, nonnegative);
}

double lognormal(double shift, double mean, double sd) {
  const double n = normal(mean, sd, 0);
  return round_dbl(std::exp(n) + shift);
}

double kerlang(double k, double mean) {
  double sum = 0.0;
  // A 64-bit count: a phase count beyond the int range would otherwise overflow it.
  for (std::int64_t i = 0; k > static_cast<double>(i); ++i) {
    sum = sum + exponential(0.0, mean);
  }
  return round_dbl(sum);
}

double hypoexponential(double n, const double* means) {
  // Without means there is no phase to sample: as for a phase count of 0.
  if (means == nullptr) return 0.0;
  double sum = 0.0;
  for (std::int64_t i = 0; n > static_cast<double>(i); ++i) {
    sum = sum + exponential(0.0, means[i]);
  }
  return round_dbl(sum);
}

double hiperexponential(const double* thresholds, const double* means) {
  const double u = static_cast<double>(get_random());
  // Without both arrays no branch can be taken: as for thresholds that never reach the draw.
  if (thresholds == nullptr || means == nullptr) return 0.0;
  for (int i = 0; i < 8; ++i) {
    if (thresholds[i] >= u) {
      return round_dbl(exponential(0.0, means[i]));
    }
  }
  return 0.0;
}

double bimodal(double mean1, double sd1, double mean2, double sd2, int nonnegative) {
  bimodal_select = static_cast<double>(get_random());
  if (bimodal_select > 0.5) {
    return polar_sample(bimodal_state, mean2, sd2, nonnegative);
  }
  return polar_sample(bimodal_state, mean1, sd1, nonnegative);
}
