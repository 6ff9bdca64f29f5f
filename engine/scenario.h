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

class ByteReader;
class ByteWriter;

class DailyInputs {
 public:
  // Parses the per-day CSV; cycle 0 means no repetition. Throws InputError
  // naming the source, line and column.
  static DailyInputs parse(std::string_view text, const std::string& source, const Description& d,
                           int cycle);

  // Writes every value held on this day (counted from 1), but for the values
  // marked in `skip` (by value index), which were given explicitly. With
  // `factors` (one per column, as factors() makes them) each double is first
  // multiplied by its column's factor.
  void apply(const Model& model, long long day, const std::vector<bool>& skip,
             const std::vector<double>* factors = nullptr) const;
  const std::vector<std::size_t>& columns() const { return columns_; }

  // The table as bytes (bytes.h) for a batch's workers: what it was parsed
  // from. decode parses them again, so that damaged bytes are refused as
  // a bad table is; false for bytes that are not a table.
  void encode(ByteWriter& w) const;
  [[nodiscard]] static bool decode(ByteReader& r, const Description& d, DailyInputs& out);

  // Whether the value is a column of this table.
  bool has_column(std::size_t value) const;
  // The factor of every column for the scales given as (value index, factor):
  // 1 where none is given, the product where a value is given twice. Throws
  // InputError when a value is not a double column of this table.
  std::vector<double> factors(const Description& d,
                              const std::vector<std::pair<std::size_t, double>>& scales) const;

 private:
  std::vector<std::size_t> columns_;
  std::vector<long long> days_;                         // the rows' days, increasing
  std::vector<std::vector<std::optional<Cell>>> held_;  // per row: every column's held value
  std::vector<std::optional<Cell>> before_first_;       // held before the first row's day
  int cycle_ = 0;
  std::deque<std::string> texts_;
  std::string text_, source_;  // what it was parsed from
};

// A "NAME=FACTOR" scale as --scale gives it: NAME a double column of the
// per-day table, FACTOR a finite double as --set reads doubles. Throws
// InputError naming the bad part ("--scale NAME: ...").
std::pair<std::size_t, double> parse_scale(const Description& d, const DailyInputs& daily,
                                           std::string_view scale, const Labels* labels = nullptr);
// A scale factor alone: a finite double. Throws InputError "<what>: ...".
double parse_factor(std::string_view text, const std::string& what);
// Checks that the value can be scaled: a double column of the table. Throws
// InputError "<what>: ..." otherwise.
void check_scaled(const Description& d, const DailyInputs& daily, std::size_t value,
                  const std::string& what);

struct Scenario {
  std::string source;
  std::vector<std::pair<std::size_t, Cell>> constants;  // in name order
  DailyInputs daily;
  int cycle = 0;
  Labels labels;  // plain words for constants and per-day columns
  std::deque<std::string> texts;

  // Reads a scenario; read_file(name) gives the text of the per-day table it
  // names (relative to the scenario). Throws InputError.
  static Scenario parse(std::string_view text, const std::string& source, const Description& d,
                        const std::function<std::string(const std::string&)>& read_file);
};

}  // namespace tds

#endif  // TDS_HOST_SCENARIO_H
