#include "hypervolume.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <numeric>
#include <stdexcept>
#include <utility>

namespace tds::study {

namespace {

// Points side by side, m values each.
using Rows = std::vector<double>;

// The rows that no other row dominates, a repeated row kept once (its first).
Rows nondominated(const Rows& p, std::size_t m) {
  const std::size_t n = p.size() / m;
  Rows kept;
  kept.reserve(p.size());
  for (std::size_t i = 0; i < n; ++i) {
    const double* a = p.data() + i * m;
    bool covered = false;
    for (std::size_t j = 0; j < n && !covered; ++j) {
      if (j == i) continue;
      const double* b = p.data() + j * m;
      bool no_worse = true, equal = true;
      for (std::size_t d = 0; d < m && no_worse; ++d) {
        no_worse = b[d] <= a[d];
        equal = equal && b[d] == a[d];
      }
      covered = no_worse && (!equal || j < i);
    }
    if (!covered) kept.insert(kept.end(), a, a + m);
  }
  return kept;
}

// The volume of rows that are all strictly better than the reference.
double volume(const Rows& p, std::size_t m, const double* reference) {
  const std::size_t n = p.size() / m;
  if (n == 0) return 0;
  if (m == 1) return reference[0] - *std::min_element(p.begin(), p.end());
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), std::size_t{0});
  if (m == 2) {
    // Sorted by the first objective: each row lower in the second than all
    // before it adds the band below the previous lowest.
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      return p[a * 2] < p[b * 2] || (p[a * 2] == p[b * 2] && p[a * 2 + 1] < p[b * 2 + 1]);
    });
    double total = 0, lowest = reference[1];
    for (const std::size_t i : order) {
      if (p[i * 2 + 1] < lowest) {
        total += (reference[0] - p[i * 2]) * (lowest - p[i * 2 + 1]);
        lowest = p[i * 2 + 1];
      }
    }
    return total;
  }
  if (m == 3) {
    // Best in the last objective first: the slab up to the next row's last
    // objective has the area of the two-objective front of the rows so far,
    // kept as a staircase (first objective ascending, second descending).
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return p[a * 3 + 2] < p[b * 3 + 2]; });
    std::vector<std::pair<double, double>> stairs;
    double total = 0, area = 0;
    for (std::size_t k = 0; k < n; ++k) {
      const double* a = p.data() + order[k] * 3;
      auto at = std::lower_bound(stairs.begin(), stairs.end(), a[0],
                                 [](const auto& step, double x) { return step.first < x; });
      const bool covered = (at != stairs.begin() && std::prev(at)->second <= a[1]) ||
                           (at != stairs.end() && at->first == a[0] && at->second <= a[1]);
      if (!covered) {
        auto end = at;
        while (end != stairs.end() && end->second >= a[1]) ++end;
        at = stairs.erase(at, end);
        stairs.insert(at, {a[0], a[1]});
        area = 0;
        for (std::size_t i = 0; i < stairs.size(); ++i) {
          const double right = i + 1 < stairs.size() ? stairs[i + 1].first : reference[0];
          area += (right - stairs[i].first) * (reference[1] - stairs[i].second);
        }
      }
      const double top = k + 1 < n ? p[order[k + 1] * 3 + 2] : reference[2];
      total += area * (top - a[2]);
    }
    return total;
  }
  // Four objectives or more: worst in the last objective first (ties by
  // index, for the same sums every time). A row's part that no later row covers is its box less the
  // later rows limited to that box; those all reach the row's own last
  // objective, so the part is a slab over an (m - 1)-dimensional difference.
  const std::size_t last = m - 1;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return p[a * m + last] > p[b * m + last]; });
  double total = 0;
  Rows limited;
  for (std::size_t k = 0; k < n; ++k) {
    const double* a = p.data() + order[k] * m;
    limited.clear();
    limited.reserve((n - k - 1) * last);
    for (std::size_t j = k + 1; j < n; ++j) {
      const double* b = p.data() + order[j] * m;
      for (std::size_t d = 0; d < last; ++d) limited.push_back(std::max(a[d], b[d]));
    }
    // Two objectives need no thinning: their sweep skips covered rows.
    if (last > 2) limited = nondominated(limited, last);
    double box = 1;
    for (std::size_t d = 0; d < last; ++d) box *= reference[d] - a[d];
    total += (reference[last] - a[last]) * (box - volume(limited, last, reference));
  }
  return total;
}

}  // namespace

double hypervolume(const std::vector<std::vector<double>>& front,
                   const std::vector<double>& reference) {
  const std::size_t m = reference.size();
  if (m == 0) throw std::invalid_argument("hypervolume: no objectives");
  Rows rows;
  rows.reserve(front.size() * m);
  for (const auto& f : front) {
    if (f.size() != m)
      throw std::invalid_argument("hypervolume: a point has not one value per objective");
    bool inside = true;
    for (std::size_t d = 0; d < m; ++d) inside = inside && f[d] < reference[d];
    if (inside) rows.insert(rows.end(), f.begin(), f.end());
  }
  if (m > 2) rows = nondominated(rows, m);
  return volume(rows, m, reference.data());
}

}  // namespace tds::study
