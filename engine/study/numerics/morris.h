// Elementary effects screening: Morris (1991), with mu* of Campolongo,
// Cariboni & Saltelli (2007).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tds::study {

// r trajectories of k + 1 points each on the grid {0, 1/(p-1), ..., 1} of
// p = levels levels, one after another (r (k + 1) rows). Consecutive points
// of a trajectory differ in one factor by +-delta, delta = p / (2 (p - 1)),
// each factor once, in a random order. levels must be even and >= 2.
std::vector<std::vector<double>> morris_design(std::size_t k, std::size_t r, std::size_t levels,
                                               std::uint64_t seed);

struct MorrisEffect {
  double mu;            // mean of the elementary effects
  double mu_star;       // mean of their absolute values
  double sigma;         // their standard deviation (divisor effects - 1)
  std::size_t effects;  // how many effects were used (failed cases skipped)
};

// The effects of a design from morris_design: outputs[point][j]. A NaN
// output (a failed case) drops the two effects that use it. The effects are
// in units of the output per unit of the unit coordinate. Result [factor][output].
std::vector<std::vector<MorrisEffect>> morris_effects(
    const std::vector<std::vector<double>>& design, const std::vector<std::vector<double>>& outputs,
    std::size_t k);

}  // namespace tds::study
