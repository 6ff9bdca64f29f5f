// tarvello-run: the reference host. It loads a model library and its
// description, walks the process diagrams day by day as the plan says, feeds
// the scenario's inputs, and writes the chosen variables as CSV. This file
// parses and checks the command line and hands over to the command it asks
// for (cli_context.h).
#include "cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <sstream>
#include <thread>
#include <tuple>

#include "cli_context.h"
#include "interrupt.h"
#include "output.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define TDS_ISATTY _isatty
#define TDS_FILENO _fileno
#else
#include <unistd.h>
#define TDS_ISATTY isatty
#define TDS_FILENO fileno
#endif

namespace tds {

bool progress_shown(const Options& o) { return !o.quiet && TDS_ISATTY(TDS_FILENO(stderr)); }

BatchOptions case_batch(const Context& c) {
  BatchOptions batch;
  batch.jobs = c.checked.jobs;
  batch.isolation = c.checked.isolation;
  batch.snapshot = c.loaded.site.snapshot();
  batch.run = c.run;
  batch.daily = c.o.daily;
  return batch;
}

void add_worker_command([[maybe_unused]] BatchOptions& batch, [[maybe_unused]] const Options& o,
                        [[maybe_unused]] const std::string& token) {
#if defined(_WIN32)
  // A worker is this program again with the same arguments, serving cases.
  char self[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
  if (n == 0 || n == MAX_PATH) throw RunError("cannot find this program's own file");
  batch.worker_command.emplace_back(self);
  batch.worker_command.insert(batch.worker_command.end(), o.argv.begin(), o.argv.end());
  batch.worker_command.insert(batch.worker_command.end(), {"--sweep-worker", token});
#endif
}

namespace {

// "I/N" with 0 <= I < N.
std::pair<unsigned, unsigned> parse_shard(const std::string& text) {
  const auto slash = text.find('/');
  if (slash != std::string::npos) {
    try {
      std::size_t a = 0, b = 0;
      const long long i = std::stoll(text.substr(0, slash), &a);
      const long long n = std::stoll(text.substr(slash + 1), &b);
      if (a == slash && b == text.size() - slash - 1 && i >= 0 && n >= 1 && i < n && n <= 1000000)
        return {static_cast<unsigned>(i), static_cast<unsigned>(n)};
    } catch (const std::exception&) {
    }
  }
  throw InputError("--shard: " + quote_input(text) + " is not I/N with 0 <= I < N");
}

// The options that need nothing read, checked in this order.
Checked check(const Options& o) {
  Checked c;
  const bool studying = !o.study.empty();
  c.studying = studying;
  c.days = parse_positive(o.days, "--days");
  c.every = parse_positive(o.every, "--every");
  if (studying && (!o.sweep.empty() || !o.sets.empty() || !o.scales.empty() || o.vars_given ||
                   o.days_given || o.every_given || o.daily))
    throw InputError(
        "--sweep, --set, --scale, --vars, --days, --every and --daily do not go with --study: the "
        "study "
        "file says what every case runs");
  if (studying && o.merge.empty() && o.out == "-")
    throw InputError("--study needs --out DIR for its results");
  if (studying && !o.merge.empty() &&
      (!o.jobs.empty() || !o.shard.empty() || o.resume || !o.isolation.empty()))
    throw InputError("--jobs, --shard, --resume and --isolation do not go with --merge");
  const bool sweeping = !o.sweep.empty() || studying;
  c.sweeping = sweeping;
  if (sweeping && o.out == "-" && o.merge.empty())
    throw InputError("--sweep needs --out DIR for its results");
  c.jobs = o.jobs.empty()
               ? std::max(1u, std::thread::hardware_concurrency())
               : static_cast<unsigned>(std::min<long long>(parse_positive(o.jobs, "--jobs"), 4096));
  std::tie(c.shard, c.shards) =
      o.shard.empty() ? std::pair<unsigned, unsigned>{0, 1} : parse_shard(o.shard);
  if (!sweeping &&
      (!o.jobs.empty() || !o.shard.empty() || o.daily || o.resume || !o.isolation.empty()))
    throw InputError("--jobs, --shard, --daily, --resume and --isolation belong to --sweep");
  c.isolation = Isolation::Snapshot;
  if (o.isolation == "process") {
    c.isolation = Isolation::Process;
  } else if (!o.isolation.empty() && o.isolation != "snapshot") {
    throw InputError("--isolation: " + quote_input(o.isolation) + " is not snapshot or process");
  }
  c.worker = !o.worker.empty();
  return c;
}

// --vars, --every, --set and --scale as the run options of every case, with
// the texts that --set values point into.
struct RunSettings {
  Labels labels;
  std::deque<std::string> texts;
  RunOptions run;
};

void settle(const Options& o, const Checked& c, const Loaded& l, RunSettings& s) {
  const Description& description = l.site.description();
  const Plan& plan = l.site.plan();
  const Scenario& scenario = l.site.scenario();
  s.labels = l.site.labels();
  const Labels& labels = s.labels;
  RunOptions& options = s.run;
  options.days = c.days;
  options.every = c.every;
  if (o.vars_given && o.vars.empty())
    throw InputError("--vars: the list is empty; give NAME,NAME,... or all");
  if (o.vars.empty()) {
    options.variables = plan.default_variables();
  } else if (o.vars == "all") {
    for (std::size_t i = 0; i < description.values().size(); ++i) options.variables.push_back(i);
  } else {
    std::stringstream list(o.vars);
    for (std::string name; std::getline(list, name, ',');)
      options.variables.push_back(value_named(description, name, "--vars: ", &labels));
  }
  for (const std::string& set : o.sets)
    options.overrides.push_back(parse_set(description, set, s.texts, &labels));
  for (const std::string& scale : o.scales)
    options.scales.push_back(parse_scale(description, scenario.daily, scale, &labels));
}

int run(const Options& o) {
  if (!o.merge.empty() && o.study.empty()) return merge_command(o);
  const Checked checked = check(o);
  Loaded loaded;
  load(o, checked, loaded);
  if (o.listing) return list_command(o, loaded);
  if (o.info) return info_command(loaded);
  RunSettings settings;
  settle(o, checked, loaded, settings);
  const Context c{
      o,
      checked,
      loaded,
      loaded.site.model(),
      loaded.site.plan(),
      loaded.site.scenario(),
      settings.labels,
      settings.run,
  };
  if (checked.studying) return study_command(c);
  if (checked.sweeping) return sweep_command(c);
  return run_command(c);
}

}  // namespace

int tarvello_run(int argc, char** argv) {
  guard_standard_streams();
#if defined(_WIN32)
  // LF line ends and the same bytes as on Linux.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  CLI::App app{
      "Runs the TarvelloDemoSite model library day by day, walking its process diagrams as "
      "a plan says, and writes the chosen variables as CSV.",
      kProgram};
  Options o;
  app.add_option("--library", o.library, "The model module (default: beside this program)");
  app.add_option("--description", o.description,
                 "The model description (default: beside the module)");
  app.add_option("--plan", o.plan, "A diagram plan (JSON) in place of the built-in one");
  app.add_option("--scenario", o.scenario, "A scenario (JSON) in place of the built-in one");
  app.add_option("--input", o.input, "A per-day input table (CSV) in place of the scenario's");
  app.add_option("--days", o.days, "Days to run (default 365)");
  app.add_option("--set", o.sets, "Set a value after the scenario: NAME=VALUE (repeatable)");
  app.add_option("--scale", o.scales,
                 "Multiply every value of a per-day column of the scenario's table: "
                 "NAME=FACTOR (repeatable)");
  app.add_option("--vars", o.vars,
                 "Variables to write: NAME,NAME,... or all (default: the plan's)");
  app.add_option("--every", o.every, "Write every K-th day (default 1)");
  app.add_option("--out", o.out, "The CSV file (default -, standard output)");
  app.add_flag("--quiet", o.quiet, "No progress bar and no summary on standard error");
  app.add_flag("--info", o.info, "Describe the model, plan and scenario, and run nothing");
  app.add_option("--list", o.list,
                 "List the values whose names match a pattern (* and ?; plain text matches "
                 "names containing it) with kind and initial value, and run nothing");
  app.add_option("--sweep", o.sweep,
                 "Run every case of a cases CSV (a case column, optionally days, and one column "
                 "per variable), each from a pristine library; results in --out DIR");
  app.add_option("--study", o.study,
                 "Run a design study (JSON: morris, sobol, lhs or nsga2) into --out DIR, or join "
                 "its shards with --merge OUT_DIR SHARD_DIR...");
  app.add_option("--jobs", o.jobs, "Cases run at once in a sweep (default: the number of cores)");
  app.add_flag("--daily", o.daily, "In a sweep, also write each case's CSV as DIR/<case>.csv");
  app.add_option("--shard", o.shard,
                 "Run only the cases whose 0-based row index modulo N is I: I/N");
  app.add_option("--merge", o.merge, "Join shard summaries: --merge OUT_DIR SHARD_DIR...")
      ->expected(2, 1 << 20);
  app.add_flag("--resume", o.resume,
               "Continue a sweep that was stopped: run only the cases without a result in --out");
  app.add_option("--isolation", o.isolation,
                 "How each case of a sweep starts pristine: snapshot (a worker restores the "
                 "library's memory; the default where a self-check passes) or process (a fresh "
                 "process per case)");
  app.add_flag("--version", o.version,
               "Print the versions of this program and of the model, and the digest of the "
               "model's description, and run nothing");
  app.add_option("--sweep-worker", o.worker)->group("");  // a sweep's worker on Windows
  app.footer(
      "Exit status: 0 on success, 2 for a bad option or input (nothing is run), 1 when the run "
      "fails.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    try {
      write_stdout(app.help());
      close_stdout();
    } catch (const RunError& e) {
      std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
      return 1;
    }
    return 0;
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
    return 2;
  }
  if (o.version) {
    try {
      write_stdout(version_text(o));
      close_stdout();
    } catch (const RunError& e) {
      std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
      return 1;
    }
    return 0;
  }
  o.argv.assign(argv + 1, argv + argc);
  o.listing = app.count("--list") > 0;
  o.vars_given = app.count("--vars") > 0;
  o.days_given = app.count("--days") > 0;
  o.every_given = app.count("--every") > 0;
  if (o.worker.empty()) interrupt::install();
  try {
    const int status = run(o);
    close_stdout();
    return status;
  } catch (const InputError& e) {
    std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
    return 2;
  } catch (const RunError& e) {
    std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
    return 1;
  }
}

}  // namespace tds
