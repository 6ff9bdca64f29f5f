// A design study as its file (JSON) describes it, read and checked against
// the model's description, plan and scenario: the method and its options, the
// factors that vary (a value between bounds, an int between bounds, a scale
// factor of a per-day column, or a list of values), the outputs studied (the
// run's figures and variables reduced over the run), and the values fixed for
// every case. The format is documented in docs/studies.md.
#ifndef TDS_ENGINE_STUDY_SPEC_H
#define TDS_ENGINE_STUDY_SPEC_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "description.h"
#include "model.h"
#include "plan.h"
#include "scenario.h"

namespace tds::study {

enum class Method { Morris, Sobol, Lhs, Nsga2 };
const char* method_name(Method m);

struct Factor {
  enum class Type { Double, Int, Scale };
  std::string name;  // as the study names it: a value's name, or "scale:NAME"
  Type type = Type::Double;
  std::size_t value = 0;  // value index (of the per-day column for a scale)
  double low = 0.0, high = 1.0;
  std::vector<double> levels;  // a discrete list in place of the bounds, or empty
  // In the plan's and scenario's words: the value's label ("Scale of solar
  // production" for a scale) and its unit ("" for a scale or when none).
  std::string label, unit;
};

// An output: one of the run's figures, or a variable reduced over the run.
struct Output {
  enum class Source { Count, ShortfallDays, Shortfall, Level, Reduction };
  enum class Op { Final, Mean, Min, Max, Sum };
  std::string name;
  Source source = Source::ShortfallDays;
  std::size_t index = 0;  // Count, Shortfall, Level: into the plan's list; Reduction: value index
  Op op = Op::Final;
  // What the output measures in the plan's and scenario's words ("Days short
  // of crop water", "Total energy from the grid"), and its unit or "".
  std::string label, unit;
};
const char* op_name(Output::Op op);

// An objective or a constraint on an output, by its index in Study::outputs.
struct Goal {
  std::size_t output = 0;
  bool maximise = false;
};
struct Constraint {
  std::size_t output = 0;
  double min = -std::numeric_limits<double>::infinity();
  double max = std::numeric_limits<double>::infinity();
};

struct Study {
  Method method = Method::Morris;
  long long days = 365;
  std::uint64_t seed = 0;
  std::vector<Factor> factors;
  std::vector<Output> outputs;
  std::vector<std::pair<std::size_t, Cell>> set;      // fixed values of every case
  std::vector<std::pair<std::size_t, double>> scale;  // fixed per-day column factors
  std::deque<std::string> texts;                      // texts that `set` refers to

  // morris
  std::size_t trajectories = 10, levels = 4;
  // sobol
  std::size_t n = 1024;
  bool scrambled = true, second_order = false;
  std::size_t resamples = 1000;
  double confidence = 0.95;
  // lhs
  std::size_t samples = 100, best = 10;
  Goal objective;
  // nsga2
  std::size_t population = 100, generations = 100;
  double crossover = 0.9, eta_c = 20.0, mutation = -1.0, eta_m = 20.0;
  std::vector<Goal> objectives;
  std::vector<Constraint> constraints;
};

// Reads a study. Throws InputError "<source>: <where>: <problem>" naming the
// first bad key or value (an unknown key or name with the nearest known ones).
Study parse_study(std::string_view text, const std::string& source, const Description& d,
                  const Plan& plan, const Scenario& scenario);

// A factor's value at a unit coordinate u in [0, 1]: low + u (high - low) for
// a double or a scale; for an int, low + floor(u (high - low + 1)), at most
// high, so that every whole number of the bounds has an equal share; for a
// list, its element floor(u count), the last one at u = 1.
double factor_value(const Factor& f, double u);

// The columns of a case's figures as the sweep summary names them after
// "case" and "status": days, the plan's counts, shortfall_days and each
// shortfall.
std::vector<std::string> figure_columns(const Plan& plan);

}  // namespace tds::study

#endif  // TDS_ENGINE_STUDY_SPEC_H
