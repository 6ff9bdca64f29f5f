// Scenario sweeps: every case of a cases file run by the batch engine, with
// a summary of one row per case in the order of the file and, with --daily,
// each case's daily CSV, in an output directory that also holds shard.json
// (see sweep_files.h). A sweep can be split into shards (the cases whose row
// index modulo N is I), each run on another machine, and the shard summaries
// merged into the one summary (merge.h).
#ifndef TDS_HOST_SWEEP_H
#define TDS_HOST_SWEEP_H

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "batch.h"
#include "cases.h"
#include "model.h"
#include "plan.h"
#include "run.h"
#include "scenario.h"
#include "snapshot.h"

namespace tds {

struct SweepOptions {
  std::string out_dir;
  bool resume = false;
  unsigned shard = 0, shards = 1;  // run the cases whose row % shards == shard
  bool progress = false;
  // How every case runs: jobs, isolation, the library's load-time state for
  // lasting workers to restore, the run options (variables, every, and --set
  // / --scale values), daily files (written as DIR/<case>.csv) and, on
  // Windows, the command line that starts a worker (tarvello-run again).
  BatchOptions batch;
  // What determines the results beyond the cases file: {"inputs": {...
  // digests}, "options": {...}}, recorded in shard.json.
  nlohmann::json identity = {{"inputs", nlohmann::json::object()},
                             {"options", nlohmann::json::object()}};
  std::string token;  // names this sweep's temporary files
};

struct SweepResult {
  std::size_t ran = 0;     // cases run now
  std::size_t kept = 0;    // cases whose results a resumed sweep found
  std::size_t failed = 0;  // cases that failed or crashed, kept ones included
};

// The batch options of a sweep's cases with the host's hooks for
// interruption and, with daily files, their writing in the workers: what
// run_sweep runs and what a Windows worker serves.
BatchOptions sweep_batch(const SweepOptions& o, const Description& d);

// Runs the sweep into out_dir. The model's module must be loaded and
// untouched (no IniModel yet): every worker starts from it. Throws InputError
// before any case runs for an output directory it must not use, RunError
// when the results cannot be written.
SweepResult run_sweep(const Model& model, const Plan& plan, const Scenario& scenario,
                      const CaseTable& table, const SweepOptions& o);

}  // namespace tds

#endif  // TDS_HOST_SWEEP_H
