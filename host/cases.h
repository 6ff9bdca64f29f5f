// A sweep's cases file: a "case" column of unique names, an optional "days"
// column, one column per value to set (with the names and kinds of --set)
// and one "scale:NAME" column per per-day column to scale (factors as
// --scale takes them). An empty cell leaves the value or column alone.
#ifndef TDS_HOST_CASES_H
#define TDS_HOST_CASES_H

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "batch.h"
#include "description.h"
#include "scenario.h"

namespace tds {

struct SweepCase {
  std::string name;
  std::size_t row;  // 0-based row index in the cases file
};

struct CaseTable {
  std::vector<SweepCase> cases;
  std::vector<BatchCase> runs;  // what each case runs, by the same index
  std::string digest;           // of the file's bytes
  std::deque<std::string> texts;

  // Throws InputError naming the line and column of the first problem; a
  // scale column must name a double column of `daily`. The nearest names of
  // an unknown one use the labels when there are some.
  static CaseTable parse(std::string_view text, const std::string& source, const Description& d,
                         const DailyInputs& daily, long long default_days,
                         const Labels* labels = nullptr);
};

// Why a case name cannot name a case's daily file on Linux and on Windows,
// or an empty string when it can.
std::string case_name_problem(const std::string& name);

// The digest that tells inputs apart (FNV-1a, 64 bits, as 16 hex digits): it
// tells a changed file from the one a sweep was run with, it does not
// protect against forgery.
std::string hex_digest(std::string_view bytes);

}  // namespace tds

#endif  // TDS_HOST_CASES_H
