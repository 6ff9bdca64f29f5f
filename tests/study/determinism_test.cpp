// The same seeds give the same bits on every target: digests of the study
// numerics (determinism.h) against the stored values that Linux, the Windows
// build (under wine) and WebAssembly must all give.
#include <gtest/gtest.h>

#include <cmath>

#include "determinism.h"
#include "fixed_math.h"

namespace tds::study::test {
namespace {

TEST(StudyDeterminism, DigestOfFixedSeeds) {
  EXPECT_EQ(designs_digest(), kDesignsDigest) << std::hex << designs_digest();
}

TEST(StudyDeterminism, DigestOfRobustnessPrimArchiveAndHypervolume) {
  EXPECT_EQ(robust_digest(), kRobustDigest) << std::hex << robust_digest();
}

// The study's own powers against the C library's, which is within an ulp
// of the exact value; ours loses the rounding of y log x, which exp
// magnifies by |y log x|.
TEST(StudyDeterminism, FixedPowMatchesPow) {
  for (const double x :
       {1e-300, 1e-12, 0.001, 0.3, 0.5, 0.7071, 0.999999, 1.0000001, 1.5, 2.0, 77.0, 1e10}) {
    for (const double y : {-21.0, -1.0, 1.0 / 21, 0.5, 1.0 / 3, 21.0, 101.0}) {
      const double expected = std::pow(x, y);
      if (expected == 0 || !std::isfinite(expected) || expected < 1e-290) {
        continue;
      }
      EXPECT_NEAR(fixed_pow(x, y) / expected, 1, 1e-15 * (1 + std::fabs(y * std::log(x))))
          << x << "^" << y;
    }
  }
  EXPECT_EQ(fixed_pow(0, 0.5), 0);
  EXPECT_EQ(fixed_pow(4, 0.5), 2);
}

}  // namespace
}  // namespace tds::study::test
