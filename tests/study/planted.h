// Futures with failures planted in a box of their uncertainties, for scenario
// discovery to find again: uniform points from the study's generator, a
// failure flag set inside the box, and noise both ways.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "random.h"

namespace tds::study::test {

struct Planted {
  std::vector<std::vector<double>> points;
  std::vector<bool> discrete;
  std::vector<bool> failed;
};

// Five uncertainties uniform on [0, 1); the futures with x0 < 0.3 and
// x2 > 0.6 fail, except 2 % of them, and 1 % of the others fail too.
inline Planted planted_box(std::size_t n, std::uint64_t seed) {
  Random random(seed);
  Planted p;
  p.discrete.assign(5, false);
  p.points.reserve(n);
  p.failed.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    std::vector<double> x(5);
    for (auto& v : x) {
      v = random.unit();
    }
    const bool in = x[0] < 0.3 && x[2] > 0.6;
    const bool noise = random.below(100) < (in ? 2U : 1U);
    p.points.push_back(std::move(x));
    p.failed.push_back(in != noise);
  }
  return p;
}

// Three uncertainties, the middle one discrete with categories 0 to 3; the
// futures with x0 < 0.4 in categories 1 and 3 fail, with the same noise.
inline Planted planted_categories(std::size_t n, std::uint64_t seed) {
  Random random(seed);
  Planted p;
  p.discrete = {false, true, false};
  p.points.reserve(n);
  p.failed.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double x0 = random.unit();
    const auto category = random.below(4);
    const double x2 = random.unit();
    const bool in = x0 < 0.4 && (category == 1 || category == 3);
    const bool noise = random.below(100) < (in ? 2U : 1U);
    p.points.push_back({x0, static_cast<double>(category), x2});
    p.failed.push_back(in != noise);
  }
  return p;
}

}  // namespace tds::study::test
