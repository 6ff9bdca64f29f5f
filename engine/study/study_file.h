// A design study as its file (JSON) describes it, read and checked against
// the model's description, plan and scenario: the method and its options
// (each method's own type, read and checked by its unit: see method.h), the
// factors that vary (a value between bounds, an int between bounds, a scale
// factor of a per-day column, or a list of values), the outputs studied (the
// run's figures and variables reduced over the run), and the values fixed for
// every case. The format is documented in docs/studies.md.
#ifndef TDS_ENGINE_STUDY_STUDY_FILE_H
#define TDS_ENGINE_STUDY_STUDY_FILE_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "description.h"
#include "method.h"
#include "model.h"
#include "plan.h"
#include "scenario.h"

namespace tds::study {

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

struct Study {
  Method method;  // the method and its options
  long long days = 365;
  std::uint64_t seed = 0;
  std::vector<Factor> factors;
  std::vector<Output> outputs;
  std::vector<std::pair<std::size_t, Cell>> set;      // fixed values of every case
  std::vector<std::pair<std::size_t, double>> scale;  // fixed per-day column factors
  std::deque<std::string> texts;                      // texts that `set` refers to
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

#endif  // TDS_ENGINE_STUDY_STUDY_FILE_H
