// Digests of the study numerics on fixed seeds, computed without the C
// library's transcendental functions, so that Linux, the Windows build
// (under wine) and WebAssembly must all give the stored values bit for bit.
// The unit tests check them on the native targets; a small program checks
// them under node for WebAssembly.
#pragma once

#include <cstdint>

namespace tds::study::test {

// Morris, Latin hypercube and Saltelli designs, Sobol' indices with their
// bootstrap intervals, and an NSGA-II run on ZDT1 with its knee point and
// hypervolume.
std::uint64_t designs_digest();
constexpr std::uint64_t kDesignsDigest = 0x4d2344ef218178d9ULL;

// Designs across a Latin hypercube of futures: every design's outcome
// summary, regret and satisficing, PRIM's trajectory and pasted box over
// continuous and discrete uncertainties, the epsilon-archive with and
// without thinning, and the hypervolume of its fronts in two, three and four
// objectives.
std::uint64_t robust_digest();
constexpr std::uint64_t kRobustDigest = 0xdeb719ada854319eULL;

}  // namespace tds::study::test
