#include "nsga2.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "fixed_math.h"

namespace tds::study {

namespace {

// Simulated binary crossover of one variable of two parents in [0, 1], in
// the bounded form of Deb's NSGA-II code (Deb & Agrawal 1995): the spread
// factor's distribution is cut at each bound, so children stay inside.
void crossover(double& x1, double& x2, double eta, Random& random) {
  if (std::fabs(x1 - x2) <= 1e-14) {
    return;
  }
  const double y1 = std::min(x1, x2), y2 = std::max(x1, x2);
  const double u = random.unit();
  const auto spread = [&](double beta) {
    const double alpha = 2 - fixed_pow(beta, -(eta + 1));
    return u <= 1 / alpha ? fixed_pow(u * alpha, 1 / (eta + 1))
                          : fixed_pow(1 / (2 - u * alpha), 1 / (eta + 1));
  };
  const double c1 = 0.5 * ((y1 + y2) - spread(1 + 2 * y1 / (y2 - y1)) * (y2 - y1));
  const double c2 = 0.5 * ((y1 + y2) + spread(1 + 2 * (1 - y2) / (y2 - y1)) * (y2 - y1));
  const double low = std::clamp(c1, 0.0, 1.0), high = std::clamp(c2, 0.0, 1.0);
  if (random.unit() <= 0.5) {
    x1 = high;
    x2 = low;
  } else {
    x1 = low;
    x2 = high;
  }
}

// Polynomial mutation of one variable in [0, 1] (Deb & Goyal 1996, bounded
// form of Deb's NSGA-II code).
double mutate(double y, double eta, Random& random) {
  const double u = random.unit();
  const double power = 1 / (eta + 1);
  double delta = 0;
  if (u <= 0.5) {
    const double value = 2 * u + (1 - 2 * u) * fixed_pow(y, eta + 1);  // 1 - delta1 = y
    delta = fixed_pow(value, power) - 1;
  } else {
    const double value =
        2 * (1 - u) + 2 * (u - 0.5) * fixed_pow(1 - y, eta + 1);  // 1 - delta2 = 1 - y
    delta = 1 - fixed_pow(value, power);
  }
  return std::clamp(y + delta, 0.0, 1.0);
}

}  // namespace

Nsga2::Nsga2(std::size_t k, std::size_t objectives, Nsga2Options o)
    : k_(k), m_(objectives), options_(o), random_(o.seed) {
  if (k == 0 || objectives == 0 || o.population < 4 || o.population % 2 != 0) {
    throw std::invalid_argument(
        "NSGA-II: needs a factor, an objective and an even population of at least 4");
  }
  if (options_.mutation < 0) {
    options_.mutation = 1.0 / static_cast<double>(k);
  }
  offspring_.assign(o.population, std::vector<double>(k));
  for (auto& point : offspring_) {
    for (auto& x : point) {
      x = random_.unit();
    }
  }
}

const std::vector<std::vector<double>>& Nsga2::ask() { return offspring_; }

bool Nsga2::done() const { return told_ > options_.generations; }

void Nsga2::tell(const std::vector<std::vector<double>>& objectives,
                 const std::vector<double>& violation) {
  if (done()) {
    throw std::logic_error("NSGA-II: told after the last generation");
  }
  if (objectives.size() != offspring_.size() || violation.size() != offspring_.size()) {
    throw std::invalid_argument("NSGA-II: one objective vector and one violation per point asked");
  }
  // The pool: the population and its offspring (all offspring at first).
  std::vector<std::vector<double>> points = population_, values = objectives_;
  std::vector<double> violations = violation_;
  for (std::size_t i = 0; i < offspring_.size(); ++i) {
    if (objectives[i].size() != m_) {
      throw std::invalid_argument("NSGA-II: an objective vector of the wrong size");
    }
    const bool finite = std::all_of(objectives[i].begin(), objectives[i].end(),
                                    [](double f) { return std::isfinite(f); });
    // A case without finite objectives cannot be compared: it counts as
    // failed, whatever violation it came with. A NaN violation is a failed
    // case too; a negative one is a mistake of the caller's, which would
    // otherwise pass for feasible.
    const double v = violation[i];
    if (v < 0) {
      throw std::invalid_argument("NSGA-II: a negative constraint violation");
    }
    points.push_back(offspring_[i]);
    values.push_back(objectives[i]);
    violations.push_back(finite && v >= 0 ? v : std::numeric_limits<double>::infinity());
  }
  // Elitist selection: whole fronts while they fit, then the least crowded
  // of the next front (crowding descending, ties by index). Each member
  // keeps its front's number as its rank, which is its rank within the new
  // population too (every better front is kept whole), and its crowding
  // distance within the pool's front, as in Deb et al.'s own code.
  const std::size_t size = options_.population;
  population_.clear();
  objectives_.clear();
  violation_.clear();
  rank_.clear();
  crowding_.clear();
  const auto fronts = nondominated_fronts(values, violations);
  for (std::size_t r = 0; r < fronts.size() && population_.size() < size; ++r) {
    const auto& front = fronts[r];
    const std::vector<double> distance = crowding_distances(values, front);
    std::vector<std::size_t> order(front.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (population_.size() + front.size() > size) {
      std::stable_sort(order.begin(), order.end(),
                       [&](std::size_t a, std::size_t b) { return distance[a] > distance[b]; });
      order.resize(size - population_.size());
    }
    for (const std::size_t s : order) {
      population_.push_back(std::move(points[front[s]]));
      objectives_.push_back(std::move(values[front[s]]));
      violation_.push_back(violations[front[s]]);
      rank_.push_back(r);
      crowding_.push_back(distance[s]);
    }
  }
  ++told_;
  if (done()) {
    offspring_.clear();
  } else {
    make_offspring();
  }
}

void Nsga2::make_offspring() {
  const std::size_t size = options_.population;
  // Binary tournament: the lower rank wins, then the larger crowding
  // distance, then the first drawn.
  const auto tournament = [&] {
    const std::size_t a = random_.below(size), b = random_.below(size);
    if (rank_[b] < rank_[a] || (rank_[b] == rank_[a] && crowding_[b] > crowding_[a])) {
      return b;
    }
    return a;
  };
  offspring_.clear();
  while (offspring_.size() < size) {
    std::vector<double> child1 = population_[tournament()];
    std::vector<double> child2 = population_[tournament()];
    if (random_.unit() < options_.crossover) {
      for (std::size_t i = 0; i < k_; ++i) {
        if (random_.unit() <= 0.5) {
          crossover(child1[i], child2[i], options_.eta_c, random_);
        }
      }
    }
    for (auto* child : {&child1, &child2}) {
      for (auto& x : *child) {
        if (random_.unit() < options_.mutation) {
          x = mutate(x, options_.eta_m, random_);
        }
      }
    }
    offspring_.push_back(std::move(child1));
    offspring_.push_back(std::move(child2));
  }
}

std::vector<std::size_t> Nsga2::front() const {
  std::vector<std::size_t> front;
  for (std::size_t i = 0; i < population_.size(); ++i) {
    if (rank_[i] == 0 && violation_[i] == 0) {
      front.push_back(i);
    }
  }
  return front;
}

}  // namespace tds::study
