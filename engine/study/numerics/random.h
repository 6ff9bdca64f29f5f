// Random bits and their mapping to numbers, with results fixed on every
// platform: the generator is xoshiro256** (Blackman & Vigna 2018) seeded
// through SplitMix64, and numbers are made from its bits by integer code and
// exact operations only, never by the standard library's distributions,
// whose results differ between standard libraries.
#pragma once

#include <cstdint>

namespace tds::study {

class Random {
 public:
  explicit Random(std::uint64_t seed);
  // 64 random bits.
  std::uint64_t bits();
  // A double in [0, 1): the top 53 bits times 2^-53, exact.
  double unit();
  // An integer in [0, n) without bias (by rejection: Lemire's multiply and
  // shift below 2^32, the modulo of 64 bits above); 0 when n is 0.
  std::uint64_t below(std::uint64_t n);

 private:
  std::uint64_t state_[4]{};
};

}  // namespace tds::study
