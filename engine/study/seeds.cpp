#include "seeds.h"

#include "random.h"

namespace tds::study {

std::uint64_t stream_seed(std::uint64_t seed, std::uint64_t stream) {
  return Random(seed ^ (stream * 0x9e3779b97f4a7c15ull)).bits();
}

}  // namespace tds::study
