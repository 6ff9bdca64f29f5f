// The scenario: the inputs that a run gives the model beyond IniModel's
// initial values. Constants are set once, after IniModel; per-day values come
// from a CSV table with a "day" column, each value held from its row's day
// until the next row that gives the variable a value, and are set again at
// the start of every day, before the walk (a walk may overwrite an input, and
// the next day's input must still arrive). With a cycle of N days the table
// starts over every N days, so that a seasonal year repeats. The format is
// documented in docs/plan-and-scenario.md.
#ifndef TDS_HOST_SCENARIO_H
#define TDS_HOST_SCENARIO_H

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "description.h"
#include "model.h"

namespace tds {

class DailyInputs {
 public:
  // Parses the per-day CSV; cycle 0 means no repetition. Throws InputError
  // naming the source, line and column.
  static DailyInputs parse(std::string_view text, const std::string& source, const Description& d,
                           int cycle);

  // Writes every value held on this day (counted from 1), but for the values
  // marked in `skip` (by value index), which were given explicitly.
  void apply(const Model& model, long long day, const std::vector<bool>& skip) const;
  const std::vector<std::size_t>& columns() const { return columns_; }

 private:
  std::vector<std::size_t> columns_;
  std::vector<long long> days_;                         // the rows' days, increasing
  std::vector<std::vector<std::optional<Cell>>> held_;  // per row: every column's held value
  std::vector<std::optional<Cell>> before_first_;       // held before the first row's day
  int cycle_ = 0;
  std::deque<std::string> texts_;
};

struct Scenario {
  std::string source;
  std::vector<std::pair<std::size_t, Cell>> constants;  // in name order
  DailyInputs daily;
  int cycle = 0;
  std::deque<std::string> texts;

  // Reads a scenario; read_file(name) gives the text of the per-day table it
  // names (relative to the scenario). Throws InputError.
  static Scenario parse(std::string_view text, const std::string& source, const Description& d,
                        const std::function<std::string(const std::string&)>& read_file);
};

}  // namespace tds

#endif  // TDS_HOST_SCENARIO_H
