// Scenario sweeps: many runs of one plan and scenario, each case with its own
// values, each from a pristine library (its load-time zeros and generator
// state), and a summary with one row per case.
//
// On Linux the library is loaded once and each case runs in a forked child,
// which inherits the image as loaded; on Windows each case runs in a child
// process of its own. Up to `jobs` cases run at once; the summary is in the
// order of the cases file whatever the order of completion. A sweep can be
// split into shards (the cases whose row index modulo N is I), each run on
// another machine, and the shard summaries merged into the one summary.
#ifndef TDS_HOST_SWEEP_H
#define TDS_HOST_SWEEP_H

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "description.h"
#include "model.h"
#include "plan.h"
#include "run.h"
#include "scenario.h"

namespace tds {

struct SweepCase {
  std::string name;
  std::size_t row;  // 0-based row index in the cases file
  long long days;
  std::vector<std::pair<std::size_t, Cell>> values;
};

struct CaseTable {
  std::vector<SweepCase> cases;
  std::string digest;  // of the file's bytes, to tell shards of different sweeps apart
  std::deque<std::string> texts;

  // A "case" column of unique names (letters, digits, '.', '_', '-': they
  // name files), an optional "days" column, and one column per variable.
  // Throws InputError naming the line and column of the first problem.
  static CaseTable parse(std::string_view text, const std::string& source, const Description& d,
                         long long default_days);
};

struct SweepOptions {
  std::string out_dir;
  unsigned jobs = 1;
  bool daily = false;
  unsigned shard = 0, shards = 1;  // run the cases whose row % shards == shard
  bool progress = false;
  RunOptions run;                 // variables, every, and --set values for every case
  std::vector<std::string> argv;  // the command line, for a Windows child to repeat
};

// Runs the sweep and writes out_dir/summary.csv (and, for a shard, its
// shard.json). Returns the number of cases that failed. The model's module
// must be loaded and untouched (no IniModel yet): every child starts from it.
std::size_t run_sweep(const Model& model, const Plan& plan, const Scenario& scenario,
                      const CaseTable& table, const SweepOptions& o);

// The child's part on Windows: runs one case and writes its summary fields
// to standard output. Returns the exit status.
int run_sweep_case(const Model& model, const Plan& plan, const Scenario& scenario,
                   const CaseTable& table, std::size_t index, const SweepOptions& o);

// Joins the shard summaries in shard_dirs into out_dir/summary.csv, byte for
// byte what one machine would have written, with the cases' daily files.
// Throws InputError on a missing, duplicated or foreign shard.
void merge_shards(const std::string& out_dir, const std::vector<std::string>& shard_dirs);

}  // namespace tds

#endif  // TDS_HOST_SWEEP_H
