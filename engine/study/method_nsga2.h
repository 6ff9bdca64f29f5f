// A multi-objective search as a study method: NSGA-II of Deb, K., Pratap,
// A., Agarwal, S. & Meyarivan, T. (2002), "A fast and elitist
// multiobjective genetic algorithm: NSGA-II", IEEE Transactions on
// Evolutionary Computation 6(2), with constrained domination (Deb 2000) for
// the study's constraints. The numerics are nsga2.h's and pareto.h's. Its
// cases are not known beforehand: each generation is a batch, drawn from
// the evaluations of the previous ones.
#ifndef TDS_ENGINE_STUDY_METHOD_NSGA2_H
#define TDS_ENGINE_STUDY_METHOD_NSGA2_H

#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "goals.h"
#include "nsga2.h"

namespace tds::study {

class Reader;
struct Study;
struct Cases;
struct Tables;

struct Nsga2StudyOptions {
  static constexpr const char* kName = "nsga2";
  static constexpr bool kOneBatch = false;
  // The tables it writes beside samples.csv and results.csv.
  static constexpr const char* kPareto = "pareto.csv";
  static constexpr const char* kPopulation = "population.csv";
  static constexpr const char* kConvergence = "convergence.csv";
  static constexpr const char* kOptim = "optim.out";
  static constexpr std::array<const char*, 4> kTables = {kPareto, kPopulation, kConvergence,
                                                         kOptim};
  // The search's parameters; its seed is drawn from the study's (see
  // new_search).
  Nsga2Options search;
  std::vector<Goal> objectives;  // two or more
  std::vector<Constraint> constraints;
  // The archive's box size per objective, in the objective's unit; empty:
  // every non-dominated design is kept (see archive.h).
  std::vector<double> epsilons;
  // Reads the study file's "nsga2" object. Throws InputError naming the
  // first bad key.
  static Nsga2StudyOptions read(const Reader& options, const Reader& study, const Study& s);
};

// population (generations + 1) cases: the initial population, then each
// generation's offspring.
std::size_t case_count(const Study& s, const Nsga2StudyOptions& o);
// The search of a study, seeded from the study's seed.
Nsga2 new_search(const Study& s, const Nsga2StudyOptions& o);
// A case's objectives as NSGA-II minimises them (maximised ones negated) and
// the total violation of the constraints, from the study's outputs of the
// case (NaN when it failed); a failed case violates infinitely.
std::pair<std::vector<double>, double> objectives_of(const Nsga2StudyOptions& o,
                                                     const std::vector<double>& outputs);
// "initial population" for batch 0, then "generation G of N".
std::string generation_phase(const Nsga2StudyOptions& o, std::size_t g);
// From the generations replayed from the recorded cases: pareto.csv (the
// archive of every feasible non-dominated design evaluated, thinned by the
// epsilons, its knee marked), population.csv (the last population's
// feasible front, its own knee marked), convergence.csv (per generation the
// archive's size, the designs that entered and left it, and the share of a
// normalised box that its front dominates) and optim.out (the
// last population's knee after each generation). The summary gives the
// archive's knee. Throws std::logic_error when the cases do not replay the
// search.
void add_tables(const Study& s, const Nsga2StudyOptions& o,
                const std::vector<std::vector<double>>& outputs, const Cases& cases, Tables& t);

}  // namespace tds::study

#endif  // TDS_ENGINE_STUDY_METHOD_NSGA2_H
