// Tests of the random-number support unit.
//
// Each test case runs in a fresh process, so every test starts from the state
// the unit has at load and must not rely on any other test having run.
// Expected generator states are computed here independently, with 64-bit integer
// arithmetic; expected samples are decimal literals, which equal the samples
// exactly because a rounded sample is the nearest double to its decimal.
#include "CongruentailRandom.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t kModulus = 2147483647;
constexpr std::int64_t kLoadState = 48271;
// 16807^-1 mod 2147483647: one step back in the sequence.
constexpr std::int64_t kInverseMultiplier = 1407677000;

std::int64_t step(std::int64_t s) { return s * 16807 % kModulus; }
std::int64_t step_back(std::int64_t s) { return s * kInverseMultiplier % kModulus; }

std::int64_t state_after(int draws) {
  std::int64_t s = kLoadState;
  for (int i = 0; i < draws; ++i) s = step(s);
  return s;
}

std::int64_t current_state() { return static_cast<std::int64_t>(m_seed); }

// --- x87 control word ---------------------------------------------------------

#if defined(__x86_64__) || defined(__i386__)
constexpr bool kHasX87 = true;
unsigned short read_control_word() {
  unsigned short cw = 0;
  __asm__ __volatile__("fnstcw %0" : "=m"(cw) : : "memory");
  return cw;
}
void write_control_word(unsigned short cw) {
  __asm__ __volatile__("fldcw %0" : : "m"(cw) : "memory");
}
#else
constexpr bool kHasX87 = false;
unsigned short read_control_word() { return 0; }
void write_control_word(unsigned short) {}
#endif

constexpr unsigned short kPrecisionMask = 0x300;
constexpr unsigned short kPrecision24 = 0x000;
constexpr unsigned short kPrecision53 = 0x200;
constexpr unsigned short kPrecision64 = 0x300;

// Runs fn with the given precision-control setting and restores the caller's word.
void with_precision(unsigned short precision, const std::function<void()>& fn) {
  const unsigned short saved = read_control_word();
  write_control_word(static_cast<unsigned short>((saved & ~kPrecisionMask) | precision));
  fn();
  write_control_word(saved);
}

// state / 2147483647 divided with a 64-bit significand, whatever the process's
// control word (a Windows process may start at 53 bits). The volatile operands
// keep the division between the control-word switches.
long double extended_quotient(std::int64_t state) {
  volatile long double num = static_cast<long double>(state);
  volatile long double den = 2147483647.0L;
  volatile long double q = 0.0L;
  with_precision(kPrecision64, [&] { q = num / den; });
  return q;
}

// --- generator ----------------------------------------------------------------

TEST(Generator, FirstFiveDrawsStepTheLehmerSequence) {
  const std::int64_t states[] = {811290697, 989069676, 1770616752, 1074854385, 445210131};
  for (int i = 0; i < 5; ++i) {
    const long double u = get_random();
    EXPECT_EQ(current_state(), states[i]) << "draw " << i + 1;
    EXPECT_EQ(current_state(), state_after(i + 1)) << "draw " << i + 1;
    EXPECT_EQ(m_last_random, u);
    EXPECT_EQ(u, extended_quotient(states[i])) << "draw " << i + 1;
  }
  EXPECT_NEAR(static_cast<double>(extended_quotient(811290697)), 0.3777866705, 1e-10);
}

TEST(Generator, StateAfter10000Draws) {
  for (int i = 0; i < 10000; ++i) get_random();
  EXPECT_EQ(current_state(), 816224289);
  EXPECT_EQ(current_state(), state_after(10000));
}

// The draw must divide with a 64-bit significand even when the caller runs the
// x87 unit at a shorter precision, and must hand the caller's word back.
TEST(Generator, DrawKeepsExtendedPrecisionUnderShortControlWord) {
  if (!kHasX87) GTEST_SKIP() << "no x87 unit";
  const long double expected = extended_quotient(811290697);
  // The check discriminates: a 53-bit quotient differs in its last bits.
  ASSERT_NE(expected, static_cast<long double>(811290697.0 / 2147483647.0));
  unsigned short inside = 0;
  with_precision(kPrecision53, [&] {
    get_random();
    inside = read_control_word();
  });
  EXPECT_EQ(m_last_random, expected);
  EXPECT_EQ(inside & kPrecisionMask, kPrecision53);
}

// uniform forms low + w * U in extended precision. For these bounds the sum is
// the double-rounding case: at 53 bits it lands just above the rounding threshold
// (0.12346); with a 64-bit significand it stays below (0.12345).
class UniformUnderControlWord : public ::testing::TestWithParam<unsigned short> {};

TEST_P(UniformUnderControlWord, SampleIsTheExtendedPrecisionOne) {
  if (!kHasX87) GTEST_SKIP() << "no x87 unit";
  double sample = 0.0;
  unsigned short inside = 0;
  with_precision(GetParam(), [&] {
    sample = uniform(0.1234549999999934, 0.12345500000001083);
    inside = read_control_word();
  });
  EXPECT_EQ(sample, 0.12345);
  EXPECT_EQ(inside & kPrecisionMask, GetParam());
  EXPECT_EQ(m_last_random, extended_quotient(811290697));
}

INSTANTIATE_TEST_SUITE_P(Precision, UniformUnderControlWord,
                         ::testing::Values(kPrecision24, kPrecision53, kPrecision64));

// --- rounding -----------------------------------------------------------------

struct RoundCase {
  const char* name;
  double x;
  double expected;
};

class RoundDbl : public ::testing::TestWithParam<RoundCase> {};

TEST_P(RoundDbl, RoundsHalfAwayFromZeroToFiveDecimals) {
  const RoundCase& c = GetParam();
  const double r = round_dbl(c.x);
  EXPECT_EQ(r, c.expected);
  EXPECT_EQ(std::signbit(r), std::signbit(c.expected));
  EXPECT_EQ(round_dbl(r), r) << "rounding is not idempotent";
  EXPECT_EQ(current_state(), kLoadState) << "round_dbl drew";
}

INSTANTIATE_TEST_SUITE_P(
    Table, RoundDbl,
    ::testing::Values(
        RoundCase{"Up", 1.234567, 1.23457}, RoundCase{"NegativeUp", -1.234567, -1.23457},
        RoundCase{"Half", 0.123455, 0.12346}, RoundCase{"SmallestHalf", 0.000005, 0.00001},
        RoundCase{"NegativeSmallestHalf", -0.000005, -0.00001},
        RoundCase{"NegativeToPositiveZero", -0.000004, 0.0}, RoundCase{"NegativeZero", -0.0, 0.0},
        RoundCase{"Largest32BitCount", 21474.836474, 21474.83647},
        RoundCase{"Smallest32BitCount", -21474.836484, -21474.83648},
        // Beyond a 32-bit count of units.
        RoundCase{"Above32BitCount", 21474.836475, 21474.83648},
        RoundCase{"Below32BitCount", -21474.836486, -21474.83649},
        RoundCase{"Large", 30000.123456, 30000.12346},
        RoundCase{"NegativeLarge", -30000.123456, -30000.12346},
        RoundCase{"VeryLarge", 123456789.123455, 123456789.12346},
        RoundCase{"TenBillion", 10000000000.123455, 10000000000.12346},
        // Beyond 2^35 a double's spacing exceeds 0.000005, so x + 0.000005 overshoots: a value
        // with five decimals must still come back unchanged (found by fuzz_round_dbl).
        RoundCase{"FiveDecimalsAboveTwoTo35", 68444961007.62647, 68444961007.62647},
        // No decimals left to round at these magnitudes.
        RoundCase{"TwoTo36", 68719476736.1, 68719476736.1},
        RoundCase{"TwoTo53", 9007199254740992.0, 9007199254740992.0},
        RoundCase{"Huge", 1e300, 1e300}, RoundCase{"NegativeHuge", -1e300, -1e300},
        RoundCase{"Max", std::numeric_limits<double>::max(), std::numeric_limits<double>::max()}),
    [](const ::testing::TestParamInfo<RoundCase>& info) { return std::string(info.param.name); });

TEST(RoundDblNonFinite, ComesBackUnchanged) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_TRUE(std::isnan(round_dbl(std::numeric_limits<double>::quiet_NaN())));
  EXPECT_EQ(round_dbl(inf), inf);
  EXPECT_EQ(round_dbl(-inf), -inf);
}

// The signed 32-bit algorithm, for values whose count fits it.
double round_with_32_bit_count(double x) {
  const double half = (x < 0.0 ? -5.0 : 5.0) / std::pow(10.0, 6);
  const double scale = std::pow(10.0, 5);
  return static_cast<std::int32_t>((x + half) * scale) / scale;
}

TEST(RoundDblWithin32BitRange, MatchesThe32BitCountBitForBit) {
  std::uint64_t r = 12345;
  for (int i = 0; i < 200000; ++i) {
    r = r * 6364136223846793005ULL + 1442695040888963407ULL;
    const double unit = static_cast<double>(r >> 11) / 9007199254740992.0;  // [0, 1)
    const double x = (unit * 2.0 - 1.0) * 21474.8;
    const double on_half = std::round(x * 1e5) / 1e5 + 0.000005;  // near a decimal half
    for (double v : {x, on_half, -on_half}) {
      ASSERT_EQ(round_dbl(v), round_with_32_bit_count(v)) << v;
    }
  }
}

// --- distributions --------------------------------------------------------------

struct Call {
  std::function<double()> fn;
  double expected;
  int draws_so_far;  // draws since load after this call
};

struct Scenario {
  const char* name;
  std::vector<Call> calls;
};

void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

class Distributions : public ::testing::TestWithParam<Scenario> {};

TEST_P(Distributions, SamplesAndDrawsFromLoad) {
  const Scenario& s = GetParam();
  for (std::size_t i = 0; i < s.calls.size(); ++i) {
    const Call& c = s.calls[i];
    const double v = c.fn();
    EXPECT_EQ(v, c.expected) << "call " << i + 1;
    EXPECT_EQ(std::signbit(v), std::signbit(c.expected)) << "call " << i + 1;
    EXPECT_EQ(current_state(), state_after(c.draws_so_far)) << "call " << i + 1;
  }
}

const double kMeans18[8] = {1, 2, 3, 4, 5, 6, 7, 8};
const double kSteps[8] = {0.3, 0.6, 1, 1, 1, 1, 1, 1};
const double kLow[8] = {0.3, 0.2, 0.1, 0.0, -1, 0.3, 0.25, 0.3};
const double kOneThreshold[1] = {1.0};  // a first threshold of 1: nothing else is read
const double kOneMean[1] = {4.0};
const double kPhaseMeans[2] = {1, 3};

double alt1() { return normal(438, 74, 1); }
double alt2() { return normal(85, 22, 1); }
double std_normal() { return normal(0, 1, 0); }
double bimodal_0_10() { return bimodal(0, 1, 10, 1, 0); }

INSTANTIATE_TEST_SUITE_P(
    FromLoad, Distributions,
    ::testing::Values(
        Scenario{"UniformSix",
                 {{[] { return uniform(0, 1); }, 0.37779, 1},
                  {[] { return uniform(0, 1); }, 0.46057, 2},
                  {[] { return uniform(0, 1); }, 0.82451, 3},
                  {[] { return uniform(0, 1); }, 0.50052, 4},
                  {[] { return uniform(0, 1); }, 0.20732, 5},
                  {[] { return uniform(0, 1); }, 0.37888, 6}}},
        Scenario{"Uniform10To20", {{[] { return uniform(10, 20); }, 13.77787, 1}}},
        Scenario{"UniformBeyond32BitCount", {{[] { return uniform(1e6, 2e6); }, 1377786.67052, 1}}},
        Scenario{"UniformNoDecimalsLeft",
                 {{[] { return uniform(1e12, 2e12); }, 1377786670521.7336, 1}}},
        Scenario{"Intuniform1To7", {{[] { return intuniform(1, 7); }, 3, 1}}},
        Scenario{"IntuniformTruncatesTowardZero", {{[] { return intuniform(-1, 0); }, 0.0, 1}}},
        Scenario{"IntuniformBeyond32Bits",
                 {{[] { return intuniform(1e10, 2e10); }, 13777866705.0, 1}}},
        Scenario{"Exponential01", {{[] { return exponential(0, 1); }, 0.97342, 1}}},
        Scenario{"Exponential52", {{[] { return exponential(5, 2); }, 6.94683, 1}}},
        Scenario{"NormalAlternating",
                 {{alt1, 273.78232, 2},
                  {alt2, 69.24882, 2},
                  {alt1, 535.3081, 4},
                  {alt2, 85.04636, 4},
                  {alt1, 345.60445, 6},
                  {alt2, 73.63317, 6}}},
        Scenario{"NormalPair", {{std_normal, -2.21916, 2}, {std_normal, -0.71596, 2}}},
        Scenario{
            "NormalClamped",
            {{[] { return normal(0, 1, 1); }, 0.0, 2}, {[] { return normal(0, 1, 1); }, 0.0, 2}}},
        Scenario{"NormalClampsOnlyForFlagOne",
                 {{[] { return normal(0, 1, 2); }, -2.21916, 2},
                  {[] { return normal(0, 1, -1); }, -0.71596, 2}}},
        Scenario{"Lognormal", {{[] { return lognormal(0, 0, 1); }, 0.1087, 2}}},
        Scenario{"LognormalSharesNormalPair",
                 {{[] { return lognormal(0, 0, 1); }, 0.1087, 2}, {std_normal, -0.71596, 2}}},
        Scenario{"LognormalBeyond32BitCount",
                 {{[] { return lognormal(30000, 0, 1); }, 30000.1087, 2},
                  {[] { return lognormal(-30000, 0, 1); }, -29999.51128, 2}}},
        Scenario{"Kerlang2", {{[] { return kerlang(2, 1); }, 1.74871, 2}}},
        Scenario{"KerlangFractional", {{[] { return kerlang(2.5, 1); }, 1.94168, 3}}},
        Scenario{"KerlangNoPhase",
                 {{[] { return kerlang(0, 1); }, 0.0, 0},
                  {[] { return kerlang(-3, 1); }, 0.0, 0},
                  {[] { return kerlang(std::nan(""), 1); }, 0.0, 0}}},
        Scenario{"Hypoexponential",
                 {{[] { return hypoexponential(2, kPhaseMeans); }, 3.29929, 2},
                  {[] { return hypoexponential(0, kPhaseMeans); }, 0.0, 2}}},
        Scenario{"HiperexponentialSecondBranch",
                 {{[] { return hiperexponential(kSteps, kMeans18); }, 1.55058, 2}}},
        Scenario{"HiperexponentialNoBranch",
                 {{[] { return hiperexponential(kLow, kMeans18); }, 0.0, 1}}},
        Scenario{"HiperexponentialFirstThresholdOne",
                 {{[] { return hiperexponential(kOneThreshold, kOneMean); }, 3.10116, 2}}},
        Scenario{"Bimodal", {{bimodal_0_10, -0.15726, 3}}},
        Scenario{"BimodalClamped", {{[] { return bimodal(0, 1, 10, 1, 1); }, 0.0, 3}}},
        Scenario{"BimodalPairServesEitherMode",
                 {{bimodal_0_10, -0.15726, 3}, {bimodal_0_10, 11.29427, 4}}},
        // normal and bimodal each keep their own pair and phase.
        Scenario{"NormalThenBimodal",
                 {{std_normal, -2.21916, 2},
                  {bimodal_0_10, 10.0026, 5},
                  {std_normal, -0.71596, 5},
                  {bimodal_0_10, -1.46357, 6}}},
        Scenario{"BimodalThenNormal",
                 {{bimodal_0_10, -0.15726, 3},
                  {std_normal, 0.0026, 5},
                  {bimodal_0_10, 1.29427, 6},
                  {std_normal, -1.46357, 6}}}),
    [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

TEST(ArrayDistributions, NullArraysTakeNoBranchAndReadNothing) {
  const double means[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(hypoexponential(2, nullptr), 0.0);
  EXPECT_EQ(current_state(), state_after(0));
  EXPECT_EQ(hiperexponential(nullptr, means), 0.0);
  EXPECT_EQ(hiperexponential(kSteps, nullptr), 0.0);
  EXPECT_EQ(current_state(), state_after(2));
}

TEST(Intuniform, NanBoundGivesNanAfterOneDraw) {
  EXPECT_TRUE(std::isnan(intuniform(std::nan(""), 1)));
  EXPECT_EQ(current_state(), state_after(1));
}

// A rounded uniform of 0 (draws below 0.000005: states 1 to 10737) is taken as
// 0.00001, the smallest positive value of the rounding grid, so the sample stays
// finite; -ln 0.00001 = 11.51292546...
struct ZeroUniformCase {
  const char* name;
  std::int64_t target_state;  // the state of the draw that meets the zero
  int steps_back;             // draws of the call up to and including that one
  std::function<double()> fn;
  double expected;
};

class ExponentialAtZeroUniform : public ::testing::TestWithParam<ZeroUniformCase> {};

TEST_P(ExponentialAtZeroUniform, UsesSmallestGridValue) {
  const ZeroUniformCase& c = GetParam();
  std::int64_t start = c.target_state;
  for (int i = 0; i < c.steps_back; ++i) start = step_back(start);
  ASSERT_EQ(step(step_back(c.target_state)), c.target_state);
  m_seed = static_cast<long double>(start);
  EXPECT_EQ(c.fn(), c.expected);
  EXPECT_EQ(current_state(), c.target_state);
}

const double kAllOne[8] = {1, 1, 1, 1, 1, 1, 1, 1};
const double kAllTwo[8] = {2, 2, 2, 2, 2, 2, 2, 2};

INSTANTIATE_TEST_SUITE_P(
    Table, ExponentialAtZeroUniform,
    ::testing::Values(
        ZeroUniformCase{"StateOne", 1, 1, [] { return exponential(0, 1); }, 11.51293},
        ZeroUniformCase{"LastZeroState", 10737, 1, [] { return exponential(5, 2); }, 28.02585},
        ZeroUniformCase{"FirstNonzeroState", 10738, 1, [] { return exponential(0, 1); }, 11.51293},
        ZeroUniformCase{"Kerlang", 1, 1, [] { return kerlang(1, 1); }, 11.51293},
        ZeroUniformCase{"Hiperexponential", 1, 2, [] { return hiperexponential(kAllOne, kAllTwo); },
                        23.02585}),
    [](const ::testing::TestParamInfo<ZeroUniformCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
