// A sweep's cases file: a "case" column of unique names, an optional "days"
// column, an optional "input" column (a per-day table to run in place of the
// scenario's: a CSV file's path, relative to the cases file's folder), one
// column per value to set (with the names and kinds of --set) and one
// "scale:NAME" column per per-day column to scale (factors as --scale takes
// them). An empty cell leaves the value, table or column alone.
#ifndef TDS_HOST_CASES_H
#define TDS_HOST_CASES_H

#include <cstddef>
#include <deque>
#include <functional>
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

// How the tables of an "input" column are read: by `read` (a path's bytes;
// throws InputError), with the scenario's cycle, and each must have the
// columns that every case scales (--scale). Without `read` a cases file
// that names a table is refused.
struct CaseInputs {
  std::function<std::string(const std::string& path)> read;
  int cycle = 0;
  std::vector<std::size_t> scaled;
};

struct CaseTable {
  std::vector<SweepCase> cases;
  std::vector<BatchCase> runs;  // what each case runs, by the same index
  std::string digest;           // of the file's bytes
  // The tables of the "input" column: path as read (relative to the current
  // folder), and the digest of its bytes, in the order first named.
  std::vector<std::pair<std::string, std::string>> input_digests;
  std::deque<std::string> texts;

  // Throws InputError naming the line and column of the first problem; a
  // scale column must name a double column of `daily` (of the case's own
  // table, with an "input" column). Each table of the "input" column is
  // read and checked once, as --input reads one. The nearest names of an
  // unknown one use the labels when there are some.
  static CaseTable parse(std::string_view text, const std::string& source, const Description& d,
                         const DailyInputs& daily, long long default_days,
                         const Labels* labels = nullptr, const CaseInputs& inputs = {});
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
