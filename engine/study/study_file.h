// A design study as its file (JSON) describes it, read and checked against
// the model's description, plan and scenario: the method and its options
// (each method's own type, read and checked by its unit: see method.h), the
// factors that vary (a value between bounds, an int between bounds, a scale
// factor of a per-day column, or a list of values), the outputs studied (the
// run's figures and variables reduced over the run), and the values fixed for
// every case. A robust study has levers (what the planner decides) and
// uncertainties (what nobody decides) in place of the factors, and the
// futures every design meets. The format is documented in docs/studies.md.
#ifndef TDS_ENGINE_STUDY_STUDY_FILE_H
#define TDS_ENGINE_STUDY_STUDY_FILE_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
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
  enum class Type { Double, Int, Scale, Input };
  // As the study names it: a value's name, "scale:NAME", or "input" for the
  // per-day table a case runs with.
  std::string name;
  Type type = Type::Double;
  std::size_t value = 0;  // value index (of the per-day column for a scale)
  double low = 0.0, high = 1.0;
  std::vector<double> levels;  // a discrete list in place of the bounds, or empty
  // In the plan's and scenario's words: the value's label ("Scale of solar
  // production" for a scale) and its unit ("" for a scale or when none).
  std::string label, unit;
  // Input: the per-day tables as the study names them (its levels are their
  // indices), each read and checked once.
  std::vector<std::string> paths;
  std::vector<std::shared_ptr<const DailyInputs>> tables;
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
  // A window of the days of the year (1 to 365, from > to over the new year)
  // that a count, a shortfall or a variable is reduced over, in every year
  // run; from == 0: the whole run. A figure over a window is its days summed.
  int from = 0, to = 0;
};
const char* op_name(Output::Op op);

// The futures that every design of a robust study meets: their names and,
// per future, each uncertainty's value (an input's as its index).
struct Futures {
  std::vector<std::string> names;
  std::vector<std::vector<double>> values;
};

struct Study {
  Method method;  // the method and its options
  long long days = 365;
  std::uint64_t seed = 0;
  // The factors; in a study with levers and uncertainties, the levers and
  // then the uncertainties, `levers` of them levers.
  std::vector<Factor> factors;
  std::size_t levers = 0;
  // Whether the study's points are the factors' values (levers and
  // uncertainties) rather than unit coordinates.
  bool value_points = false;
  Futures futures;
  std::vector<Output> outputs;
  std::vector<std::pair<std::size_t, Cell>> set;      // fixed values of every case
  std::vector<std::pair<std::size_t, double>> scale;  // fixed per-day column factors
  std::deque<std::string> texts;                      // texts that `set` refers to
};

// The text of a file that a study names (a designs file, a futures file, a
// per-day table), by the name the study gives it. Throws InputError naming
// the file when it cannot be read.
using StudyFileReader = std::function<std::string(const std::string& name)>;

// Reads a study. Throws InputError "<source>: <where>: <problem>" naming the
// first bad key or value (an unknown key or name with the nearest known ones).
// read_file gives the files the study names; without one such a study is
// refused ("... cannot be read here").
Study parse_study(std::string_view text, const std::string& source, const Description& d,
                  const Plan& plan, const Scenario& scenario,
                  const StudyFileReader& read_file = {});

// Reads the file a study names through read_file, or throws InputError
// "<source>: <where>: <name> cannot be read here" without a reader.
std::string read_named_file(const StudyFileReader& read_file, const std::string& name,
                            const std::string& source, const std::string& where);

// A factor's value at a unit coordinate u in [0, 1]: low + u (high - low) for
// a double or a scale; for an int, low + floor(u (high - low + 1)), at most
// high, so that every whole number of the bounds has an equal share; for a
// list, its element floor(u count), the last one at u = 1.
double factor_value(const Factor& f, double u);
// A factor's value in a cell of a CSV file (designs, futures): an input's
// table by its name (as its index), one of a list's values, or a number
// within the bounds (whole for an int). Throws InputError "<where>: ...".
double factor_cell(const Factor& f, const std::string& cell, const std::string& where);
// Factor i's value at coordinate x of a study's point: x itself when the
// study's points are values, else factor_value.
double point_value(const Study& s, std::size_t i, double x);

// The columns of a case's figures as the sweep summary names them after
// "case" and "status": days, the plan's counts, shortfall_days and each
// shortfall.
std::vector<std::string> figure_columns(const Plan& plan);

}  // namespace tds::study

#endif  // TDS_ENGINE_STUDY_STUDY_FILE_H
