// NSGA-II (Deb, Pratap, Agarwal & Meyarivan 2002) in the unit hypercube:
// simulated binary crossover and polynomial mutation (Deb & Agrawal 1995, in
// the bounded form of Deb's NSGA-II code), binary tournaments by rank and
// crowding distance, and constrained domination (Deb 2000) for constraint
// violations. Run by ask/tell: the front end evaluates each generation as a
// batch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pareto.h"
#include "random.h"

namespace tds::study {

struct Nsga2Options {
  std::size_t population = 100;   // even, >= 4
  std::size_t generations = 100;  // generations after the initial population
  double crossover = 0.9;         // probability of crossing a pair
  double eta_c = 20;              // crossover distribution index
  double mutation = -1;           // per-variable mutation probability; < 0: 1/k
  double eta_m = 20;              // mutation distribution index
  std::uint64_t seed = 0;
};

class Nsga2 {
 public:
  // Objectives are minimised; the front end negates maximised ones.
  Nsga2(std::size_t k, std::size_t objectives, Nsga2Options o);
  // The points to evaluate now: the initial population, then each
  // generation's offspring.
  const std::vector<std::vector<double>>& ask();
  // Their objectives, and constraint violations (>= 0, 0 = feasible; a failed
  // case is +inf or NaN, and so is a case whose objectives are not all
  // finite). Selects the next population. Throws std::invalid_argument on
  // sizes that do not match ask() or a negative violation.
  void tell(const std::vector<std::vector<double>>& objectives,
            const std::vector<double>& violation);
  // Whether the initial population and every generation have been told.
  bool done() const;
  std::size_t generation() const { return told_; }
  // The current non-dominated feasible set: indices into population(),
  // ascending.
  std::vector<std::size_t> front() const;
  const std::vector<std::vector<double>>& population() const { return population_; }
  const std::vector<std::vector<double>>& objectives() const { return objectives_; }
  const std::vector<double>& violations() const { return violation_; }

 private:
  void make_offspring();

  std::size_t k_, m_;
  Nsga2Options options_;
  Random random_;
  std::size_t told_ = 0;  // batches told: 0 before the initial population
  std::vector<std::vector<double>> population_, objectives_;
  std::vector<double> violation_;
  std::vector<std::size_t> rank_;
  std::vector<double> crowding_;
  std::vector<std::vector<double>> offspring_;
};

}  // namespace tds::study
