// Independent streams of random numbers drawn from a study's seed: each part
// of a study (the design, the search, each output's bootstrap) seeds its
// generator with the first draw of a generator of its own stream, so that
// none of them depends on how many numbers another one drew.
#ifndef TDS_ENGINE_STUDY_SEEDS_H
#define TDS_ENGINE_STUDY_SEEDS_H

#include <cstdint>

namespace tds::study {

enum Stream : std::uint64_t { kDesign = 1, kSearch = 2, kFutures = 3, kBootstrap = 1000 };
// The seed of a stream (for the bootstrap of output j, kBootstrap + j).
std::uint64_t stream_seed(std::uint64_t seed, std::uint64_t stream);

}  // namespace tds::study

#endif  // TDS_ENGINE_STUDY_SEEDS_H
