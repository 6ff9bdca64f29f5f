#include "determinism.h"

#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "archive.h"
#include "functions.h"
#include "hypervolume.h"
#include "lhs.h"
#include "morris.h"
#include "nsga2.h"
#include "prim.h"
#include "robustness.h"
#include "saltelli.h"

namespace tds::study::test {
namespace {

class Digest {
 public:
  void add(double x) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    add(bits);
  }
  void add(std::uint64_t bits) {
    for (int b = 0; b < 8; ++b) {
      hash_ = (hash_ ^ ((bits >> (8 * b)) & 0xff)) * 0x100000001b3ULL;  // FNV-1a
    }
  }
  void add(const std::vector<double>& row) {
    for (const double x : row) {
      add(x);
    }
  }
  void add(const std::vector<std::vector<double>>& rows) {
    for (const auto& row : rows) {
      add(row);
    }
  }
  std::uint64_t value() const { return hash_; }

 private:
  std::uint64_t hash_ = 0xcbf29ce484222325ULL;
};

// ZDT1 (Zitzler, Deb & Thiele 2000) in 30 variables: square roots only,
// which IEEE rounds correctly everywhere.
std::vector<double> zdt1(const std::vector<double>& x) {
  double sum = 0;
  for (std::size_t i = 1; i < x.size(); ++i) {
    sum += x[i];
  }
  const double g = 1 + 9 * sum / static_cast<double>(x.size() - 1);
  return {x[0], g * (1 - std::sqrt(x[0] / g))};
}

void add_step(Digest& digest, const PrimStep& step) {
  digest.add(step.box.low);
  digest.add(step.box.high);
  for (const auto& kept : step.box.categories) {
    digest.add(std::uint64_t{kept.size()});
    for (const std::size_t c : kept) {
      digest.add(std::uint64_t{c});
    }
  }
  for (const bool r : step.box.restricted) {
    digest.add(std::uint64_t{r});
  }
  digest.add(step.coverage);
  digest.add(step.density);
  digest.add(step.mass);
  digest.add(std::uint64_t{step.points});
  digest.add(std::uint64_t{step.of_interest});
}

// A front of `m` minimised objectives from the unit points: a concave
// sphere's surface pushed out by the points' remaining coordinates, square
// roots only.
std::vector<std::vector<double>> sphere_points(const std::vector<std::vector<double>>& unit,
                                               std::size_t m) {
  std::vector<std::vector<double>> f;
  for (const auto& u : unit) {
    double norm = 0;
    for (std::size_t i = 0; i < m; ++i) {
      norm += u[i] * u[i];
    }
    double g = 1;
    for (std::size_t i = m; i < u.size(); ++i) {
      g += u[i] / 4;
    }
    std::vector<double> x(m);
    for (std::size_t i = 0; i < m; ++i) {
      x[i] = g * u[i] / std::sqrt(norm + 1e-12);
    }
    f.push_back(std::move(x));
  }
  return f;
}

}  // namespace

std::uint64_t designs_digest() {
  Digest digest;
  digest.add(morris_design(5, 10, 4, 1));
  digest.add(lhs_design(4, 50, 3));
  const std::size_t k = 3, n = 64;
  const auto design = saltelli_design(k, n, true, true, 7);
  digest.add(design);
  digest.add(saltelli_design(k, n, false, false, 7));
  std::vector<double> y;
  y.reserve(design.size());
  for (const auto& u : design) {
    y.push_back(u[0] + 2 * u[1] * u[1] + u[0] * u[2] * 3);
  }
  const SobolIndices s = sobol_indices(y, k, n, true, 50, 0.9, 5);
  for (std::size_t i = 0; i < k; ++i) {
    for (const Interval& v : {s.first[i], s.total[i]}) {
      digest.add(v.value);
      digest.add(v.low);
      digest.add(v.high);
    }
  }
  Nsga2Options o;
  o.population = 20;
  o.generations = 30;
  o.seed = 4;
  Nsga2 search(30, 2, o);
  run_to_end(search, [](const std::vector<double>& x) { return std::pair{zdt1(x), 0.0}; });
  digest.add(search.population());
  std::vector<std::vector<double>> front;
  for (const std::size_t i : search.front()) {
    front.push_back(search.objectives()[i]);
  }
  digest.add(std::uint64_t{knee_point(front)});
  digest.add(hypervolume2(front, 11, 11));
  return digest.value();
}

std::uint64_t robust_digest() {
  Digest digest;
  // 12 designs of two levers, 150 futures of three continuous uncertainties
  // and a fourth of four categories.
  const auto designs = lhs_design(2, 12, 21);
  auto futures = lhs_design(4, 150, 22);
  for (auto& u : futures) {
    u[3] = std::floor(u[3] * 4);
  }
  // Two outcomes per design and future: a shortfall to minimise and a
  // yield to maximise.
  const std::size_t nd = designs.size(), nf = futures.size();
  std::vector<std::vector<double>> shortfall(nd, std::vector<double>(nf)), yield = shortfall;
  for (std::size_t d = 0; d < nd; ++d) {
    const auto& l = designs[d];
    for (std::size_t f = 0; f < nf; ++f) {
      const auto& u = futures[f];
      const double demand = u[1] * (1 + u[3] / 3) - l[0] * u[0];
      shortfall[d][f] = demand > 0 ? std::sqrt(demand) * 20 : 0;
      yield[d][f] = l[1] * u[2] + std::sqrt(l[0] * u[0] + 1) / 7;
    }
  }
  for (std::size_t d = 0; d < nd; ++d) {
    std::vector<bool> met(nf);
    for (std::size_t f = 0; f < nf; ++f) {
      met[f] = shortfall[d][f] <= 18;
    }
    digest.add(satisficing(met));
    for (const auto& [outcome, sense] :
         {std::pair{&shortfall, Sense::Minimise}, std::pair{&yield, Sense::Maximise}}) {
      const OutcomeSummary s = summarise((*outcome)[d], sense);
      digest.add(std::vector<double>{s.mean, s.std, s.p10, s.p50, s.p90, s.worst});
      digest.add(percentile((*outcome)[d], 37.5));
    }
  }
  digest.add(regrets(shortfall, Sense::Minimise));
  digest.add(regrets(yield, Sense::Maximise));

  // Scenario discovery for the design that misses its threshold in nearest
  // a quarter of the futures.
  std::size_t chosen = 0, farthest = nf;
  for (std::size_t d = 0; d < nd; ++d) {
    std::size_t misses = 0;
    for (std::size_t f = 0; f < nf; ++f) {
      misses += static_cast<std::size_t>(shortfall[d][f] > 18);
    }
    const std::size_t off = 4 * misses > nf ? 4 * misses - nf : nf - 4 * misses;
    if (off < farthest) {
      farthest = off;
      chosen = d;
    }
  }
  std::vector<bool> missed(nf);
  for (std::size_t f = 0; f < nf; ++f) {
    missed[f] = shortfall[chosen][f] > 18;
  }
  for (const double peel : {0.05, 0.1}) {
    PrimOptions o;
    o.peel = peel;
    o.paste = peel;
    o.density = 0.9;
    const PrimResult r = prim(futures, {false, false, false, true}, missed, o);
    digest.add(std::uint64_t{r.trajectory.size()});
    for (const PrimStep& step : r.trajectory) {
      add_step(digest, step);
    }
    digest.add(std::uint64_t{r.chosen});
    add_step(digest, r.box);
  }

  // The archive of a stream of points, unthinned and thinned, and the
  // hypervolume of what it keeps.
  const auto unit = lhs_design(6, 400, 23);
  for (const std::size_t m : {2, 3, 4}) {
    const auto points = sphere_points(unit, m);
    const std::vector<double> reference(m, 1.6);
    for (const double epsilon : {0.0, 0.05}) {
      ParetoArchive archive(epsilon > 0 ? std::vector<double>(m, epsilon) : std::vector<double>{});
      for (std::size_t i = 0; i < points.size(); ++i) {
        digest.add(std::uint64_t{archive.offer(points[i], i)});
      }
      std::vector<std::vector<double>> front;
      for (const auto& member : archive.members()) {
        digest.add(member.objectives);
        digest.add(member.box);
        digest.add(std::uint64_t{member.id});
        front.push_back(member.objectives);
      }
      digest.add(hypervolume(front, reference));
    }
  }
  return digest.value();
}

}  // namespace tds::study::test
