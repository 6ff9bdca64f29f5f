#include "prim.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <stdexcept>
#include <string>

namespace tds::study {

namespace {

// Counts of a box: its points and the cases of interest among them.
struct Count {
  std::size_t points = 0, of_interest = 0;
};

// Whether a has a strictly higher density than b, compared exactly as
// fractions of whole numbers (no rounding, so ties are ties on every target).
bool denser(const Count& a, const Count& b) {
  return static_cast<std::uint64_t>(a.of_interest) * b.points >
         static_cast<std::uint64_t>(b.of_interest) * a.points;
}

// How many of m points a share removes or adds: at least one.
std::size_t share_of(double share, std::size_t m) {
  return std::max<std::size_t>(
      1, static_cast<std::size_t>(std::floor(share * static_cast<double>(m))));
}

// The data column by column, discrete uncertainties as indices into their
// sorted categories.
struct Data {
  std::size_t n = 0, k = 0, total_of_interest = 0;
  std::vector<std::vector<double>> column;
  std::vector<bool> discrete;
  std::vector<std::vector<std::size_t>> level;       // per discrete uncertainty, per point
  std::vector<std::vector<std::size_t>> categories;  // per discrete uncertainty, sorted
  std::vector<double> min, max;                      // per continuous uncertainty
  std::vector<char> interest;
};

// The box while it is peeled or pasted: bounds, categories kept.
struct State {
  std::vector<double> low, high;
  std::vector<std::vector<char>> keep;  // per discrete uncertainty, per category
};

Data read(const std::vector<std::vector<double>>& points, const std::vector<bool>& discrete,
          const std::vector<bool>& of_interest) {
  Data d;
  d.n = points.size();
  d.k = discrete.size();
  d.discrete = discrete;
  if (of_interest.size() != d.n) {
    throw std::invalid_argument("PRIM: one flag per point needed");
  }
  d.column.assign(d.k, std::vector<double>(d.n));
  for (std::size_t i = 0; i < d.n; ++i) {
    if (points[i].size() != d.k) {
      throw std::invalid_argument("PRIM: point " + std::to_string(i) + " has " +
                                  std::to_string(points[i].size()) + " values, not " +
                                  std::to_string(d.k));
    }
    for (std::size_t j = 0; j < d.k; ++j) {
      const double x = points[i][j];
      if (!std::isfinite(x)) {
        throw std::invalid_argument("PRIM: point " + std::to_string(i) +
                                    " has no number for uncertainty " + std::to_string(j));
      }
      if (discrete[j] && (x < 0 || x != std::floor(x) || x > 9007199254740992.0)) {
        throw std::invalid_argument("PRIM: point " + std::to_string(i) +
                                    " has no category index for uncertainty " + std::to_string(j));
      }
      d.column[j][i] = x;
    }
  }
  d.interest.assign(of_interest.begin(), of_interest.end());
  d.total_of_interest =
      static_cast<std::size_t>(std::count(of_interest.begin(), of_interest.end(), true));
  if (d.total_of_interest == 0) {
    throw std::invalid_argument("PRIM: no cases of interest");
  }
  d.level.resize(d.k);
  d.categories.resize(d.k);
  d.min.assign(d.k, 0.0);
  d.max.assign(d.k, 0.0);
  for (std::size_t j = 0; j < d.k; ++j) {
    const auto& x = d.column[j];
    if (!discrete[j]) {
      const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
      d.min[j] = *lo;
      d.max[j] = *hi;
      continue;
    }
    std::vector<double> values = x;
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    d.categories[j].reserve(values.size());
    for (const double v : values) {
      d.categories[j].push_back(static_cast<std::size_t>(v));
    }
    d.level[j].resize(d.n);
    for (std::size_t i = 0; i < d.n; ++i) {
      d.level[j][i] = static_cast<std::size_t>(
          std::lower_bound(values.begin(), values.end(), x[i]) - values.begin());
    }
  }
  return d;
}

State whole(const Data& d) {
  State s;
  s.low = d.min;
  s.high = d.max;
  s.keep.resize(d.k);
  for (std::size_t j = 0; j < d.k; ++j) {
    s.keep[j].assign(d.categories[j].size(), 1);
  }
  return s;
}

bool inside(const Data& d, const State& s, std::size_t i, std::size_t j) {
  return d.discrete[j] ? s.keep[j][d.level[j][i]] != 0
                       : d.column[j][i] >= s.low[j] && d.column[j][i] <= s.high[j];
}

PrimStep step_of(const Data& d, const State& s, const Count& c) {
  PrimStep step;
  PrimBox& box = step.box;
  box.low = s.low;
  box.high = s.high;
  box.categories.resize(d.k);
  box.restricted.assign(d.k, false);
  for (std::size_t j = 0; j < d.k; ++j) {
    if (!d.discrete[j]) {
      box.restricted[j] = s.low[j] > d.min[j] || s.high[j] < d.max[j];
      continue;
    }
    for (std::size_t l = 0; l < s.keep[j].size(); ++l) {
      if (s.keep[j][l]) {
        box.categories[j].push_back(d.categories[j][l]);
      }
    }
    box.restricted[j] = box.categories[j].size() < d.categories[j].size();
    // A discrete uncertainty's bounds: its smallest and largest category kept.
    box.low[j] = static_cast<double>(box.categories[j].front());
    box.high[j] = static_cast<double>(box.categories[j].back());
  }
  step.points = c.points;
  step.of_interest = c.of_interest;
  step.coverage = static_cast<double>(c.of_interest) / static_cast<double>(d.total_of_interest);
  step.density = static_cast<double>(c.of_interest) / static_cast<double>(c.points);
  step.mass = static_cast<double>(c.points) / static_cast<double>(d.n);
  return step;
}

State state_of(const Data& d, const PrimBox& box) {
  State s = whole(d);
  for (std::size_t j = 0; j < d.k; ++j) {
    if (!d.discrete[j]) {
      s.low[j] = box.low[j];
      s.high[j] = box.high[j];
      continue;
    }
    std::fill(s.keep[j].begin(), s.keep[j].end(), 0);
    for (const std::size_t c : box.categories[j]) {
      const auto& all = d.categories[j];
      s.keep[j][static_cast<std::size_t>(std::lower_bound(all.begin(), all.end(), c) -
                                         all.begin())] = 1;
    }
  }
  return s;
}

// One change of the box: a new bound of a continuous uncertainty, or a
// category of a discrete one dropped or taken back, and the box it leaves.
struct Move {
  std::size_t k = 0;
  bool high = false;
  double bound = 0.0;
  std::size_t category = 0;
  Count left;
};

// The best of the moves offered: the one that leaves the densest box, the
// first offered of equals.
class BestMove {
 public:
  void consider(const Move& move) {
    if (!found_ || denser(move.left, best_.left)) {
      best_ = move;
      found_ = true;
    }
  }
  bool found() const { return found_; }
  const Move& move() const { return best_; }

 private:
  bool found_ = false;
  Move best_;
};

void apply(const Data& d, State& s, const Move& m, bool keep) {
  if (d.discrete[m.k]) {
    s.keep[m.k][m.category] = keep ? 1 : 0;
  } else if (m.high) {
    s.high[m.k] = m.bound;
  } else {
    s.low[m.k] = m.bound;
  }
}

// Peeling: each step removes about the share `peel` of the box's points from
// one side of one continuous uncertainty, or one category of a discrete one,
// whichever leaves the densest box.
std::vector<PrimStep> peel(const Data& d, const PrimOptions& options) {
  State s = whole(d);
  std::vector<char> in(d.n, 1);
  std::vector<std::size_t> members(d.n);
  std::iota(members.begin(), members.end(), std::size_t{0});
  // Per continuous uncertainty, the box's points in order of their values.
  // Sorted as (value, index) pairs, a total order that is cheap to sort.
  std::vector<std::vector<std::size_t>> order(d.k);
  std::vector<std::pair<double, std::size_t>> sorted(d.n);
  for (std::size_t j = 0; j < d.k; ++j) {
    if (!d.discrete[j]) {
      for (std::size_t i = 0; i < d.n; ++i) {
        sorted[i] = {d.column[j][i], i};
      }
      std::sort(sorted.begin(), sorted.end());
      order[j].resize(d.n);
      std::transform(sorted.begin(), sorted.end(), order[j].begin(),
                     [](const auto& entry) { return entry.second; });
    }
  }
  Count box{d.n, d.total_of_interest};
  std::vector<PrimStep> trajectory{step_of(d, s, box)};
  std::vector<std::size_t> count, count_of_interest;
  for (;;) {
    const std::size_t m = box.points;
    BestMove best;
    const std::size_t t = share_of(options.peel, m);
    for (std::size_t j = 0; j < d.k; ++j) {
      if (d.discrete[j]) {
        count.assign(d.categories[j].size(), 0);
        count_of_interest.assign(d.categories[j].size(), 0);
        for (const std::size_t i : members) {
          ++count[d.level[j][i]];
          count_of_interest[d.level[j][i]] += static_cast<std::size_t>(d.interest[i]);
        }
        for (std::size_t l = 0; l < count.size(); ++l) {
          if (count[l] > 0 && count[l] < m) {
            best.consider(
                Move{j, false, 0.0, l, {m - count[l], box.of_interest - count_of_interest[l]}});
          }
        }
        continue;
      }
      if (t >= m) {
        continue;
      }
      const auto& o = order[j];
      const auto& x = d.column[j];
      // Low side: every point below the value at rank t goes; when that
      // value is the smallest, every point holding it goes instead.
      const double low = x[o[t]];
      std::size_t cut = t;
      while (cut > 0 && x[o[cut - 1]] == low) {
        --cut;
      }
      if (cut == 0) {
        cut = t + 1;
        while (cut < m && x[o[cut]] == low) {
          ++cut;
        }
      }
      if (cut < m) {
        std::size_t removed = 0;
        for (std::size_t r = 0; r < cut; ++r) {
          removed += static_cast<std::size_t>(d.interest[o[r]]);
        }
        best.consider(Move{j, false, x[o[cut]], 0, {m - cut, box.of_interest - removed}});
      }
      // High side: likewise every point above the value at rank m - 1 - t.
      const std::size_t top = m - 1 - t;
      const double high = x[o[top]];
      std::size_t end = top + 1;
      while (end < m && x[o[end]] == high) {
        ++end;
      }
      if (end == m) {
        end = top;
        while (end > 0 && x[o[end - 1]] == high) {
          --end;
        }
      }
      if (end > 0) {
        std::size_t removed = 0;
        for (std::size_t r = end; r < m; ++r) {
          removed += static_cast<std::size_t>(d.interest[o[r]]);
        }
        best.consider(Move{j, true, x[o[end - 1]], 0, {end, box.of_interest - removed}});
      }
    }
    if (!best.found() || static_cast<double>(best.move().left.points) / static_cast<double>(d.n) <
                             options.min_mass) {
      break;
    }
    apply(d, s, best.move(), false);
    box = best.move().left;
    for (const std::size_t i : members) {
      in[i] = static_cast<char>(inside(d, s, i, best.move().k));
    }
    const auto out = [&](std::size_t i) { return in[i] == 0; };
    members.erase(std::remove_if(members.begin(), members.end(), out), members.end());
    for (auto& o : order) {
      o.erase(std::remove_if(o.begin(), o.end(), out), o.end());
    }
    trajectory.push_back(step_of(d, s, box));
  }
  return trajectory;
}

// Pasting: widens the box again, one side or one category at a time, taking
// in about the share `paste` of its points from those outside it on that
// uncertainty alone, while that raises its density.
PrimStep paste(const Data& d, const PrimStep& chosen, const PrimOptions& options) {
  State s = state_of(d, chosen.box);
  Count box{chosen.points, chosen.of_interest};
  // Per point: how many uncertainties it lies outside of, and the last one.
  std::vector<std::size_t> outside(d.n), where(d.n);
  std::vector<std::pair<double, char>> below, above;
  std::vector<std::size_t> count, count_of_interest;
  for (;;) {
    for (std::size_t i = 0; i < d.n; ++i) {
      outside[i] = 0;
      for (std::size_t j = 0; j < d.k; ++j) {
        if (!inside(d, s, i, j)) {
          ++outside[i];
          where[i] = j;
        }
      }
    }
    BestMove best;
    const std::size_t t = share_of(options.paste, box.points);
    // The candidates of one side, nearest the bound first: the new bound takes
    // in t of them (with any ties), or reaches the data's own bound.
    const auto widen = [&](std::vector<std::pair<double, char>>& side, std::size_t j, bool high,
                           double limit) {
      if (side.empty()) {
        return;
      }
      std::size_t added = std::min(t, side.size());
      while (added < side.size() && side[added].first == side[added - 1].first) {
        ++added;
      }
      std::size_t of_interest = 0;
      for (std::size_t r = 0; r < added; ++r) {
        of_interest += static_cast<std::size_t>(side[r].second);
      }
      const double bound = added == side.size() ? limit : side[added - 1].first;
      best.consider(Move{j, high, bound, 0, {box.points + added, box.of_interest + of_interest}});
    };
    for (std::size_t j = 0; j < d.k; ++j) {
      if (d.discrete[j]) {
        count.assign(d.categories[j].size(), 0);
        count_of_interest.assign(d.categories[j].size(), 0);
        for (std::size_t i = 0; i < d.n; ++i) {
          if (outside[i] == 1 && where[i] == j) {
            ++count[d.level[j][i]];
            count_of_interest[d.level[j][i]] += static_cast<std::size_t>(d.interest[i]);
          }
        }
        for (std::size_t l = 0; l < count.size(); ++l) {
          if (count[l] > 0) {
            best.consider(Move{
                j, false, 0.0, l, {box.points + count[l], box.of_interest + count_of_interest[l]}});
          }
        }
        continue;
      }
      below.clear();
      above.clear();
      const auto& x = d.column[j];
      for (std::size_t i = 0; i < d.n; ++i) {
        if (outside[i] == 1 && where[i] == j) {
          (x[i] < s.low[j] ? below : above).emplace_back(x[i], d.interest[i]);
        }
      }
      std::sort(below.begin(), below.end(),
                [](const auto& a, const auto& b) { return a.first > b.first; });
      std::sort(above.begin(), above.end(),
                [](const auto& a, const auto& b) { return a.first < b.first; });
      widen(below, j, false, d.min[j]);
      widen(above, j, true, d.max[j]);
    }
    if (!best.found() || !denser(best.move().left, box)) {
      break;
    }
    apply(d, s, best.move(), true);
    box = best.move().left;
  }
  return step_of(d, s, box);
}

}  // namespace

PrimResult prim(const std::vector<std::vector<double>>& points, const std::vector<bool>& discrete,
                const std::vector<bool>& of_interest, const PrimOptions& options) {
  if (!(options.peel > 0 && options.peel <= 0.5) || !(options.paste > 0 && options.paste <= 0.5) ||
      !(options.min_mass >= 0 && options.min_mass < 1) ||
      !(options.density > 0 && options.density <= 1)) {
    throw std::invalid_argument("PRIM: an option lies outside its range");
  }
  const Data d = read(points, discrete, of_interest);
  PrimResult result;
  result.trajectory = peel(d, options);
  const auto& steps = result.trajectory;
  const auto reaches = std::find_if(
      steps.begin(), steps.end(), [&](const PrimStep& s) { return s.density >= options.density; });
  if (reaches != steps.end()) {
    result.chosen = static_cast<std::size_t>(reaches - steps.begin());
  } else {
    for (std::size_t i = 1; i < steps.size(); ++i) {
      if (denser({steps[i].points, steps[i].of_interest},
                 {steps[result.chosen].points, steps[result.chosen].of_interest})) {
        result.chosen = i;
      }
    }
  }
  result.box = paste(d, steps[result.chosen], options);
  return result;
}

}  // namespace tds::study
