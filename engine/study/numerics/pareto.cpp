#include "pareto.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>

namespace tds::study {

bool dominates(const std::vector<double>& a, const std::vector<double>& b) {
  bool better = false;
  for (std::size_t j = 0; j < a.size(); ++j) {
    if (a[j] > b[j]) {
      return false;
    }
    better = better || a[j] < b[j];
  }
  return better;
}

std::vector<std::vector<std::size_t>> nondominated_fronts(
    const std::vector<std::vector<double>>& objectives, const std::vector<double>& violations) {
  const std::size_t n = objectives.size();
  if (!violations.empty() && violations.size() != n) {
    throw std::invalid_argument("Pareto fronts: one violation per point needed");
  }
  // The objectives side by side, for a tight comparison loop.
  const std::size_t m = n ? objectives[0].size() : 0;
  std::vector<double> flat;
  flat.reserve(n * m);
  for (const auto& f : objectives) {
    if (f.size() != m) {
      throw std::invalid_argument("Pareto fronts: points with different numbers of objectives");
    }
    flat.insert(flat.end(), f.begin(), f.end());
  }
  const auto violation = [&](std::size_t i) { return violations.empty() ? 0.0 : violations[i]; };
  // -1: a beats b, 1: b beats a, 0: neither.
  const auto compare = [&](std::size_t a, std::size_t b) {
    const double va = violation(a), vb = violation(b);
    if (va > 0 || vb > 0) {
      return va < vb ? -1 : vb < va ? 1 : 0;
    }
    const double* fa = flat.data() + a * m;
    const double* fb = flat.data() + b * m;
    bool a_better = false, b_better = false;
    for (std::size_t j = 0; j < m; ++j) {
      a_better = a_better || fa[j] < fb[j];
      b_better = b_better || fb[j] < fa[j];
    }
    return a_better == b_better ? 0 : a_better ? -1 : 1;
  };
  // Deb et al. 2002: how many dominate each point, and whom each dominates.
  std::vector<std::size_t> dominated_by(n, 0);
  std::vector<std::vector<std::size_t>> dominated(n);
  for (std::size_t a = 0; a < n; ++a) {
    for (std::size_t b = a + 1; b < n; ++b) {
      const int c = compare(a, b);
      if (c < 0) {
        dominated[a].push_back(b);
        ++dominated_by[b];
      } else if (c > 0) {
        dominated[b].push_back(a);
        ++dominated_by[a];
      }
    }
  }
  std::vector<std::vector<std::size_t>> fronts;
  std::vector<std::size_t> current;
  for (std::size_t i = 0; i < n; ++i) {
    if (dominated_by[i] == 0) {
      current.push_back(i);
    }
  }
  while (!current.empty()) {
    std::vector<std::size_t> next;
    for (const std::size_t a : current) {
      for (const std::size_t b : dominated[a]) {
        if (--dominated_by[b] == 0) {
          next.push_back(b);
        }
      }
    }
    std::sort(next.begin(), next.end());
    fronts.push_back(std::move(current));
    current = std::move(next);
  }
  return fronts;
}

std::vector<double> crowding_distances(const std::vector<std::vector<double>>& objectives,
                                       const std::vector<std::size_t>& front) {
  const double infinity = std::numeric_limits<double>::infinity();
  const std::size_t size = front.size();
  std::vector<double> distance(size, 0);
  if (size == 0) {
    return distance;
  }
  const std::size_t m = objectives[front[0]].size();
  // A NaN or infinite objective (a failed case) sorts last.
  const auto key = [infinity](double x) { return std::isfinite(x) ? x : infinity; };
  std::vector<std::size_t> order(size);
  for (std::size_t j = 0; j < m; ++j) {
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      const double fa = key(objectives[front[a]][j]), fb = key(objectives[front[b]][j]);
      return fa < fb || (fa == fb && front[a] < front[b]);
    });
    const double low = key(objectives[front[order.front()]][j]);
    const double high = key(objectives[front[order.back()]][j]);
    distance[order.front()] = distance[order.back()] = infinity;
    const double range = high - low;
    if (!(range > 0) || !std::isfinite(range)) {
      continue;
    }
    for (std::size_t s = 1; s + 1 < size; ++s) {
      const double gap =
          key(objectives[front[order[s + 1]]][j]) - key(objectives[front[order[s - 1]]][j]);
      distance[order[s]] += std::isfinite(gap) ? gap / range : 0;
    }
  }
  return distance;
}

std::size_t knee_point(const std::vector<std::vector<double>>& front_objectives) {
  if (front_objectives.empty()) {
    throw std::invalid_argument("knee point: the front is empty");
  }
  const std::size_t m = front_objectives[0].size();
  std::vector<double> low(m, std::numeric_limits<double>::infinity());
  std::vector<double> high(m, -std::numeric_limits<double>::infinity());
  for (const auto& f : front_objectives) {
    for (std::size_t j = 0; j < m; ++j) {
      low[j] = std::min(low[j], f[j]);
      high[j] = std::max(high[j], f[j]);
    }
  }
  std::size_t best = 0;
  double best_sum = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < front_objectives.size(); ++i) {
    double sum = 0;
    for (std::size_t j = 0; j < m; ++j) {
      if (high[j] > low[j]) {
        sum += (front_objectives[i][j] - low[j]) / (high[j] - low[j]);
      }
    }
    if (sum < best_sum) {
      best_sum = sum;
      best = i;
    }
  }
  return best;
}

double hypervolume2(std::vector<std::vector<double>> front, double ref0, double ref1) {
  std::erase_if(front,
                [&](const std::vector<double>& f) { return !(f.at(0) < ref0 && f.at(1) < ref1); });
  std::sort(front.begin(), front.end(), [](const auto& a, const auto& b) {
    return a[0] < b[0] || (a[0] == b[0] && a[1] < b[1]);
  });
  // Slices from the top: each point that reaches lower than all before it
  // adds the band between its second objective and the previous lowest,
  // from its first objective to the reference.
  double volume = 0, lowest = ref1;
  for (const auto& f : front) {
    if (f[1] < lowest) {
      volume += (ref0 - f[0]) * (lowest - f[1]);
      lowest = f[1];
    }
  }
  return volume;
}

}  // namespace tds::study
