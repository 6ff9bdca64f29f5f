// Scenario sweeps: many runs of one plan and scenario, each case with its own
// values, each from a pristine library (its load-time zeros and generator
// state), and a summary with one row per case.
//
// Cases run in worker processes, never in the sweep's own process, so that a
// case that crashes is reported and the others run on. On Linux a worker is
// a fork of the sweep's process, which holds the library as loaded; on
// Windows it is this program started again. Up to `jobs` cases run at once;
// the summary is in the order of the cases file whatever the order of
// completion.
//
// The output directory holds the summary, written as the cases finish in the
// order of the file (summary.csv.partial, renamed to summary.csv at the end),
// the daily files of --daily, and shard.json, which records what determines
// the results (digests of every input, the result-relevant options) so that
// --resume continues only the same sweep and --merge joins only shards of
// one sweep. A sweep can be split into shards (the cases whose row index
// modulo N is I), each run on another machine, and the shard summaries
// merged into the one summary.
#ifndef TDS_HOST_SWEEP_H
#define TDS_HOST_SWEEP_H

#include <cstddef>
#include <deque>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "description.h"
#include "model.h"
#include "plan.h"
#include "run.h"
#include "scenario.h"
#include "snapshot.h"

namespace tds {

struct SweepCase {
  std::string name;
  std::size_t row;  // 0-based row index in the cases file
  long long days;
  std::vector<std::pair<std::size_t, Cell>> values;
};

struct CaseTable {
  std::vector<SweepCase> cases;
  std::string digest;  // of the file's bytes
  std::deque<std::string> texts;

  // A "case" column of unique names that are file names on every supported
  // platform, an optional "days" column, and one column per variable.
  // Throws InputError naming the line and column of the first problem.
  static CaseTable parse(std::string_view text, const std::string& source, const Description& d,
                         long long default_days);
};

// Why a case name cannot name a case's daily file on Linux and on Windows,
// or an empty string when it can.
std::string case_name_problem(const std::string& name);

// The digest that tells inputs apart (FNV-1a, 64 bits, as 16 hex digits): it
// tells a changed file from the one a sweep was run with, it does not
// protect against forgery.
std::string hex_digest(std::string_view bytes);

enum class Isolation { Snapshot, Process };

struct SweepOptions {
  std::string out_dir;
  unsigned jobs = 1;
  bool daily = false;
  bool resume = false;
  unsigned shard = 0, shards = 1;  // run the cases whose row % shards == shard
  bool progress = false;
  Isolation isolation = Isolation::Process;
  // The library's load-time state, for lasting workers to restore (on Linux
  // the sweep's own, on Windows the worker's).
  const Snapshot* snapshot = nullptr;
  RunOptions run;  // variables, every, and --set values for every case
  // What determines the results beyond the cases file: {"inputs": {...
  // digests}, "options": {...}}, recorded in shard.json.
  nlohmann::json identity = {{"inputs", nlohmann::json::object()},
                             {"options", nlohmann::json::object()}};
  std::vector<std::string> argv;  // the command line, for a Windows worker to repeat
  std::string token;              // names this sweep's temporary files
};

struct SweepResult {
  std::size_t ran = 0;     // cases run now
  std::size_t kept = 0;    // cases whose results a resumed sweep found
  std::size_t failed = 0;  // cases that failed or crashed, kept ones included
};

// Runs the sweep into out_dir. The model's module must be loaded and
// untouched (no IniModel yet): every worker starts from it. Throws InputError
// before any case runs for an output directory it must not use, RunError
// when the results cannot be written.
SweepResult run_sweep(const Model& model, const Plan& plan, const Scenario& scenario,
                      const CaseTable& table, const SweepOptions& o);

// A Windows worker's part: serves the case requests on standard input.
// Returns the exit status.
int serve_sweep_worker(const Model& model, const Plan& plan, const Scenario& scenario,
                       const CaseTable& table, const SweepOptions& o);

// Joins the shard summaries in shard_dirs into out_dir, byte for byte what
// one machine would have written, with the cases' daily files. Throws
// InputError naming what differs for shards of different sweeps, a missing,
// duplicated, incomplete or edited shard.
void merge_shards(const std::string& out_dir, const std::vector<std::string>& shard_dirs);

}  // namespace tds

#endif  // TDS_HOST_SWEEP_H
