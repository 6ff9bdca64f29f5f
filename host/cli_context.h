// What the commands of tarvello-run share: the command line as parsed, the
// options checked before any work, and the model, plan and scenario loaded
// for them. cli.cpp parses and checks the options and hands over to one
// command, each in a file of its own: --version, --list and --info
// (cli_inspect.cpp), a run (cli_run.cpp), --sweep (cli_sweep.cpp), --study
// (cli_study.cpp) and the merge of a sweep's shards (cli_merge.cpp).
#ifndef TDS_HOST_CLI_CONTEXT_H
#define TDS_HOST_CLI_CONTEXT_H

#include <deque>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "batch.h"
#include "description.h"
#include "loader.h"
#include "model.h"
#include "plan.h"
#include "run.h"
#include "scenario.h"
#include "site.h"
#include "snapshot.h"

namespace tds {

constexpr const char* kProgram = "tarvello-run";

// The command line as given.
struct Options {
  std::string library, description, plan, scenario, input, days = "365", every = "1", out = "-",
                                                           vars, list;
  std::vector<std::string> sets, scales;
  bool quiet = false, info = false, listing = false, vars_given = false, version = false;
  // Sweeps.
  std::string sweep, jobs, shard;
  bool daily = false;
  std::vector<std::string> merge;
  bool resume = false;
  std::string isolation;
  std::string study;
  bool days_given = false, every_given = false;
  std::string worker;  // a Windows worker of a sweep or a study: the sweep's token
  std::vector<std::string> argv;
};

// The options' values, checked before anything is read.
struct Checked {
  long long days = 365, every = 1;
  unsigned jobs = 1;
  unsigned shard = 0, shards = 1;
  Isolation isolation = Isolation::Snapshot;
  bool studying = false, sweeping = false, worker = false;
};

// Where the module and its description are.
struct Located {
  std::string module, description;
};

// The model that a plan is for, to find its module by name.
std::string model_of(const nlohmann::json& plan);
// --library, or the model's plain module name beside this program (or in
// ../lib, as installed on Linux); the description beside the module or in
// ../share/<model>/. Throws InputError naming what is missing.
Located locate(const std::string& model, const std::string& library,
               const std::string& description);

// The model loaded for a command, and but for --list its plan and its
// scenario with the texts that the records digest. Built in place: the
// model refers to the description.
struct Loaded {
  Loaded() = default;
  Loaded(const Loaded&) = delete;
  Loaded& operator=(const Loaded&) = delete;
  Loaded(Loaded&&) = delete;
  Loaded& operator=(Loaded&&) = delete;
  ~Loaded() = default;

  Located at;
  Site site;
};

// Loads the module, its description, the plan and the scenario (with --input
// in place of its per-day table) into `into`; with --list only as far as the
// model. Throws InputError.
void load(const Options& o, const Checked& checked, Loaded& into);

// What a run, a sweep and a study start from.
struct Context {
  const Options& o;
  const Checked& checked;
  const Loaded& loaded;
  const Model& model;
  const Plan& plan;
  const Scenario& scenario;
  // The plain labels of the plan and the scenario, for the nearest names of
  // a mistyped one.
  const Labels& labels;
  // --vars, --every, --set and --scale.
  const RunOptions& run;
};

// Whether a progress bar is shown: on a terminal, without --quiet.
bool progress_shown(const Options& o);

// The commands. Each returns the exit status; each throws InputError for a
// bad input, RunError when it fails.
int merge_command(const Options& o);
// What --version prints.
std::string version_text(const Options& o);
int list_command(const Options& o, const Loaded& loaded);
int info_command(const Loaded& loaded);
int run_command(const Context& c);
int sweep_command(const Context& c);
int study_command(const Context& c);

// What a sweep and a study share: their cases' batch options (--jobs,
// --isolation, --daily, the snapshot and the run options); on Windows, the
// command line that starts a worker, this program again with the same
// arguments serving the batch that token names; and the record of their
// inputs, {"inputs": {key: digest, and the plan's, the scenario's, the
// per-day table's, the module's and the description's}, "options": {}}.
BatchOptions case_batch(const Context& c);
void add_worker_command(BatchOptions& batch, const Options& o, const std::string& token);
nlohmann::json record_identity(const Loaded& loaded, const std::string& key,
                               const std::string& digest);

}  // namespace tds

#endif  // TDS_HOST_CLI_CONTEXT_H
