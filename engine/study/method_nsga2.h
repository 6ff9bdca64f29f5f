// A multi-objective search as a study method: NSGA-II of Deb, K., Pratap,
// A., Agarwal, S. & Meyarivan, T. (2002), "A fast and elitist
// multiobjective genetic algorithm: NSGA-II", IEEE Transactions on
// Evolutionary Computation 6(2), with constrained domination (Deb 2000) for
// the study's constraints. The numerics are nsga2.h's and pareto.h's. Its
// cases are not known beforehand: each generation is a batch, drawn from
// the evaluations of the previous ones.
//
// A study with futures (levers, uncertainties, futures in place of factors)
// makes it a robust search: NSGA-II searches the levers, each design it asks
// for runs in every future, and its objectives and constraints are
// statistics of an output over those futures (robustness.h), or the share of
// futures that meet every threshold. A generation is then one batch of
// population x futures cases, case c of it being design c / F in future
// c % F of F futures, its points the factors' values (levers, then the
// future's uncertainties), as in the robust method.
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

// What an objective or a constraint measures: the output itself (a study
// without futures), or a statistic of it over the futures of a design.
// Worst is the worst in the objective's direction; for a constraint, the
// outcome furthest beyond (or least within) its bounds: the smallest for a
// lower bound, the largest for an upper one. Satisficing is the share of
// futures that meet every threshold, and has no output.
enum class Statistic { Value, Mean, Std, P10, P50, P90, Worst, Satisficing };

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
  // What each objective and each constraint measures: Value without futures,
  // Mean by default with them.
  std::vector<Statistic> objective_statistics, constraint_statistics;
  // What a design must meet in a future for satisficing.
  std::vector<Constraint> thresholds;
  // The archive's box size per objective, in the objective's unit; empty:
  // every non-dominated design is kept (see archive.h).
  std::vector<double> epsilons;
  // Reads the study file's "nsga2" object. Throws InputError naming the
  // first bad key.
  static Nsga2StudyOptions read(const Reader& options, const Reader& study, const Study& s);
};

// population (generations + 1) designs, each run in every future (once
// without futures): the initial population, then each generation's
// offspring.
std::size_t case_count(const Study& s, const Nsga2StudyOptions& o);
// The search of a study, over its factors or its levers, seeded from the
// study's seed.
Nsga2 new_search(const Study& s, const Nsga2StudyOptions& o);
// How many cases each design of the search runs: one per future, or one in a
// study without futures.
std::size_t futures_per_design(const Study& s);
// The cases of the designs the search asked for (unit coordinates of the
// searched factors): the designs themselves, or each design's levers' values
// in every future.
std::vector<std::vector<double>> generation_points(const Study& s,
                                                   const std::vector<std::vector<double>>& asked);
// A design's measures, the objectives' then the constraints', from the
// study's outputs of its cases (one per future, NaN outputs for a failed
// case): each its statistic over the futures. A design that failed in any
// future has NaN measures, as a failure must not make a design look better.
std::vector<double> design_measures(const Study& s, const Nsga2StudyOptions& o,
                                    const std::vector<std::vector<double>>& outputs);
// The name of a measure's column: the output's name, "p90:NAME", or
// "satisficing".
std::string measure_name(const Study& s, Statistic statistic, std::size_t output);
// A measure in words: "90th percentile of days short of crop water", "share
// of futures meeting every threshold", or the output's words.
std::string measure_words(const Study& s, Statistic statistic, std::size_t output);
// The statistic of the i-th objective (of o.objective_statistics), the
// study's default when the options give none.
Statistic objective_statistic(const Study& s, const Nsga2StudyOptions& o, std::size_t i);
// The measure columns of a robust search's design tables: the objectives'
// then the constraints' measures, each name once, with the measure's index
// in design_measures.
std::vector<std::pair<std::string, std::size_t>> measure_columns(const Study& s,
                                                                 const Nsga2StudyOptions& o);
// A design's objectives as NSGA-II minimises them (maximised ones negated)
// and the total violation of the constraints, from its measures (NaN when it
// failed); a failed design violates infinitely.
std::pair<std::vector<double>, double> objectives_of(const Nsga2StudyOptions& o,
                                                     const std::vector<double>& measures);
// "initial population" for batch 0, then "generation G of N".
std::string generation_phase(const Nsga2StudyOptions& o, std::size_t g);
// From the generations replayed from the recorded cases: pareto.csv (the
// archive of every feasible non-dominated design evaluated, thinned by the
// epsilons, its knee marked), population.csv (the last population's
// feasible front, its own knee marked), convergence.csv (per generation the
// archive's size, the designs that entered and left it, and the share of a
// normalised box that its front dominates) and optim.out (the
// last population's knee after each generation). The summary gives the
// archive's knee. A robust search's design tables have a row per design: its
// name, the levers' values and its measures. Throws std::logic_error when the cases do not replay
// the search.
void add_tables(const Study& s, const Nsga2StudyOptions& o,
                const std::vector<std::vector<double>>& outputs, const Cases& cases, Tables& t);

}  // namespace tds::study

#endif  // TDS_ENGINE_STUDY_METHOD_NSGA2_H
