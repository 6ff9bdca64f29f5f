#include "random.h"

namespace tds::study {

namespace {

std::uint64_t splitmix64(std::uint64_t& x) {
  std::uint64_t z = (x += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

}  // namespace

Random::Random(std::uint64_t seed) {
  // SplitMix64 never gives four zero words in a row, the one state
  // xoshiro cannot leave.
  for (auto& word : state_) {
    word = splitmix64(seed);
  }
}

std::uint64_t Random::bits() {
  const std::uint64_t result = rotl(state_[1] * 5, 7) * 9;
  const std::uint64_t t = state_[1] << 17;
  state_[2] ^= state_[0];
  state_[3] ^= state_[1];
  state_[1] ^= state_[2];
  state_[0] ^= state_[3];
  state_[2] ^= t;
  state_[3] = rotl(state_[3], 45);
  return result;
}

double Random::unit() { return static_cast<double>(bits() >> 11) * 0x1p-53; }

std::uint64_t Random::below(std::uint64_t n) {
  if (n == 0) {
    return 0;
  }
  if (n <= 0xffffffffULL) {
    // Lemire (2019): the top 32 bits of 32 random bits times n, rejecting
    // the 2^32 mod n low products that would favour some results; the
    // modulo is only computed when a draw comes near the edge.
    std::uint64_t product = (bits() >> 32) * n;
    auto low = static_cast<std::uint32_t>(product);
    if (low < n) {
      const auto threshold = static_cast<std::uint32_t>((0x100000000ULL - n) % n);
      while (low < threshold) {
        product = (bits() >> 32) * n;
        low = static_cast<std::uint32_t>(product);
      }
    }
    return product >> 32;
  }
  // 2^64 mod n values at the bottom would be drawn once more often than the
  // rest; they are drawn again.
  const std::uint64_t threshold = (0 - n) % n;
  for (;;) {
    const std::uint64_t r = bits();
    if (r >= threshold) {
      return r % n;
    }
  }
}

}  // namespace tds::study
