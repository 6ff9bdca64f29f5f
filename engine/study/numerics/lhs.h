// Latin hypercube sampling (McKay, Beckman & Conover 1979).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tds::study {

// n points in [0,1)^k: in every dimension each of the n strata [j/n, (j+1)/n)
// holds exactly one point, placed uniformly within it; the strata are paired
// across dimensions by independent random permutations drawn from
// Random(seed). Points are the rows of the result.
std::vector<std::vector<double>> lhs_design(std::size_t k, std::size_t n, std::uint64_t seed);

}  // namespace tds::study
