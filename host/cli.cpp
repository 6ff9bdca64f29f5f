// tarvello-run: the reference host. It loads a model library and its
// description, walks the process diagrams day by day as the plan says, feeds
// the scenario's inputs, and writes the chosen variables as CSV.
#include "cli.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <thread>

#include "csv.h"
#include "description.h"
#include "interrupt.h"
#include "loader.h"
#include "merge.h"
#include "model.h"
#include "model_cases.h"
#include "output.h"
#include "plan.h"
#include "progress.h"
#include "run.h"
#include "scenario.h"
#include "site.h"
#include "snapshot.h"
#include "study_command.h"
#include "study_file.h"
#include "sweep.h"

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

namespace fs = std::filesystem;

namespace {

constexpr const char* kProgram = "tarvello-run";

// Where the module and its description are: --library, or the model's plain
// module name beside this program (or in ../lib, as installed on Linux); the
// description beside the module or in ../share/<model>/.
struct Located {
  std::string module, description;
};

Located locate(const std::string& model, const std::string& library,
               const std::string& description) {
  Located found;
  const std::string file = module_file_name(model);
  if (!library.empty()) {
    // A path must name a file; a plain name is left to the platform's search.
    const fs::path path(library);
    if (path.has_parent_path() && !fs::exists(path))
      throw InputError("--library: there is no file " + library);
    found.module = library;
  } else {
    const fs::path here = executable_directory();
    for (const fs::path& candidate : {here / file, here.parent_path() / "lib" / file}) {
      if (fs::exists(candidate)) {
        found.module = candidate.string();
        break;
      }
    }
    if (found.module.empty())
      throw InputError("cannot find " + file + " beside " + kProgram + " (in " + here.string() +
                       " or " + (here.parent_path() / "lib").string() + "); give --library PATH");
  }
  if (!description.empty()) {
    found.description = description;
    return found;
  }
  const fs::path module(found.module);
  const std::string stem = module.stem().string();
  const fs::path dir = module.has_parent_path() ? module.parent_path() : fs::path(".");
  for (const fs::path& candidate :
       {dir / (stem + ".json"), dir.parent_path() / "share" / stem / (stem + ".json")}) {
    if (fs::exists(candidate)) {
      found.description = candidate.string();
      return found;
    }
  }
  throw InputError("cannot find the model description " + stem + ".json beside " + found.module +
                   "; give --description PATH");
}

// The model that a plan is for, to find its module by name; a plan that does
// not say is reported when it is read.
std::string model_of(const nlohmann::json& plan) {
  if (plan.is_object() && plan.contains("model") && plan["model"].is_string())
    return plan["model"].get<std::string>();
  return "TarvelloDemoSite";
}

// A glob with * and ?; a pattern without either matches names that contain it.
bool matches(std::string_view pattern, std::string_view name) {
  if (pattern.find_first_of("*?") == std::string_view::npos)
    return name.find(pattern) != std::string_view::npos;
  std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

void print_info(std::ostream& out, const Description& d, const Located& at, const Plan& plan,
                const Scenario& scenario) {
  std::size_t slots = 0, initial = 0, kinds[3] = {0, 0, 0}, decisions = 0;
  for (const ValueInfo& v : d.values()) {
    slots += v.slot;
    initial += v.initial.has_value();
    ++kinds[static_cast<int>(v.kind)];
  }
  for (const NodeInfo& n : d.nodes()) decisions += n.decision;
  out << d.model() << " " << d.version() << "\n"
      << "  module       " << at.module << "\n"
      << "  description  " << at.description << "\n"
      << "  values       " << d.values().size() << " (" << d.values().size() - slots
      << " variables, " << slots << " signal parameter slots; " << kinds[0] << " double, "
      << kinds[1] << " int, " << kinds[2] << " text), " << initial << " with an initial value\n"
      << "  nodes        " << d.nodes().size() << " with model code (" << decisions
      << " decisions, " << d.nodes().size() - decisions << " tasks)\n"
      << "  processes    " << d.processes().size() << "\n";
  for (const ProcessInfo& p : d.processes()) {
    out << "    " << p.number << " " << p.name << " (block " << p.block << "):";
    const char* separator = " ";
    for (const NodeInfo& n : d.nodes())
      if (n.process == p.number) {
        out << separator << n.id << (n.decision ? " (decision)" : "");
        separator = ", ";
      }
    if (*separator == ' ') out << " no nodes with model code";
    out << "\n";
  }
  std::size_t host_nodes = 0;
  for (const PlanNode& n : plan.nodes()) host_nodes += n.kind == PlanNode::Kind::Host;
  // Each entry in plain words with the name that options and files take in
  // parentheses, one list per heading.
  const auto list = [&out](const char* heading, const std::vector<std::string>& entries) {
    std::string indent = std::string("    ") + heading;
    indent.resize(17, ' ');
    for (const std::string& e : entries) {
      out << indent << e << "\n";
      indent.assign(17, ' ');
    }
  };
  const auto value = [&](std::size_t v) {
    const std::string unit = unit_of(plan, scenario, v);
    return label_of(d, plan, scenario, v) + (unit.empty() ? "" : ", " + unit) + " (" +
           d.values()[v].name + ")";
  };
  const auto counts = [](const std::vector<NodeCount>& of) {
    std::vector<std::string> entries;
    entries.reserve(of.size());
    for (const NodeCount& c : of) entries.push_back(label_of(c) + " (" + c.name + ")");
    return entries;
  };
  const auto values = [&](const std::vector<std::size_t>& of) {
    std::vector<std::string> entries;
    entries.reserve(of.size());
    for (std::size_t v : of) entries.push_back(value(v));
    return entries;
  };
  out << "  plan         " << plan.source() << ": " << plan.processes().size() << " processes, "
      << plan.nodes().size() << " nodes (" << host_nodes << " without model code)\n";
  list("counts", counts(plan.counts()));
  list("shortfalls", counts(plan.shortfalls()));
  list("levels", values(plan.levels()));
  list("columns", values(plan.default_variables()));
  out << "  scenario     " << scenario.source << ": " << scenario.constants.size() << " constants, "
      << scenario.daily.columns().size() << " per-day inputs";
  if (scenario.cycle > 0) out << " repeating every " << scenario.cycle << " days";
  out << "\n";
  std::vector<std::string> constants;
  for (const auto& [v, cell] : scenario.constants) {
    const std::string unit = unit_of(plan, scenario, v);
    constants.push_back(label_of(d, plan, scenario, v) + " (" + d.values()[v].name +
                        "): " + with_unit(figure_text(cell), unit));
  }
  list("constants", constants);
  list("per-day", values(scenario.daily.columns()));
}

void print_list(std::ostream& out, const Description& d, const std::string& pattern) {
  CsvWriter csv;
  csv.field("name");
  csv.field("kind");
  csv.field("initial");
  csv.end_row();
  for (const ValueInfo& v : d.values()) {
    if (!matches(pattern, v.name)) continue;
    csv.field(v.name);
    csv.field(kind_name(v.kind));
    if (!v.initial)
      csv.field("");
    else if (v.kind == Kind::Text)
      csv.text(v.initial->c_str());
    else
      csv.field(*v.initial);
    csv.end_row();
  }
  out << csv.buffer();
}

std::string summary(const Description& d, const Plan& plan, const Scenario& scenario,
                    const RunResult& r) {
  std::ostringstream s;
  s << kProgram << ": " << r.days << " days of " << d.model() << " " << d.version() << " in ";
  if (r.seconds < 1.0)
    s << format_double(static_cast<double>(static_cast<long long>(r.seconds * 1e4)) / 10.0)
      << " ms\n";
  else
    s << format_double(static_cast<double>(static_cast<long long>(r.seconds * 100)) / 100.0)
      << " s\n";
  s << run_figures(d, plan, scenario, r);
  return s.str();
}

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

std::string sweep_summary(const std::string& out_dir, const SweepResult& r, double seconds) {
  std::ostringstream s;
  s << kProgram << ": sweep of " << r.ran + r.kept << " cases in "
    << format_double(static_cast<double>(static_cast<long long>(seconds * 1000)) / 1000.0) << " s";
  if (r.kept) s << " (" << r.kept << " kept from before, " << r.ran << " run now)";
  if (r.failed) s << ", " << r.failed << " failed";
  s << "; summary in " << (fs::path(out_dir) / "summary.csv").string() << "\n";
  return s.str();
}

// The digest of a file's bytes, or "unreadable" (a module found by the
// platform's search).
std::string file_digest(const std::string& path) {
  try {
    return hex_digest(read_text_file(path, "file"));
  } catch (const InputError&) {
    return "unreadable";
  }
}

// What --version prints: this program's version, and the model's name and
// version with the digest of its description (the one that study and sweep
// records keep), each with the file it came from. It loads no module and
// runs nothing; a model that cannot be found is reported on its line, since
// that is when one asks.
std::string version_text(const Options& o) {
  std::string out = std::string(kProgram) + " " + TDS_VERSION + "\n";
  try {
    const SiteText plan = Site::given_plan(o.plan);
    const Located at =
        locate(model_of(Plan::read_json(plan.text, plan.source)), o.library, o.description);
    const std::string text = read_text_file(at.description, "model description");
    const Description d = Description::parse(text, at.description);
    out += "model " + d.model() + " " + d.version() + " (" + at.module + ")\n";
    out += "description fnv1a64:" + hex_digest(text) + " (" + at.description + ")\n";
  } catch (const InputError& e) {
    out += std::string("model: unknown (") + e.what() + ")\n";
  }
  return out;
}

int run(const Options& o) {
  const bool studying = !o.study.empty();
  if (!o.merge.empty() && !studying) {
    merge_shards(o.merge.front(), {o.merge.begin() + 1, o.merge.end()});
    if (!o.quiet)
      std::fprintf(stderr, "%s: %zu shards merged into %s\n", kProgram, o.merge.size() - 1,
                   (fs::path(o.merge.front()) / "summary.csv").string().c_str());
    return 0;
  }
  const long long days = parse_positive(o.days, "--days");
  const long long every = parse_positive(o.every, "--every");
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
  if (sweeping && o.out == "-" && o.merge.empty())
    throw InputError("--sweep needs --out DIR for its results");
  const unsigned jobs =
      o.jobs.empty()
          ? std::max(1u, std::thread::hardware_concurrency())
          : static_cast<unsigned>(std::min<long long>(parse_positive(o.jobs, "--jobs"), 4096));
  const auto [shard, shards] =
      o.shard.empty() ? std::pair<unsigned, unsigned>{0, 1} : parse_shard(o.shard);
  if (!sweeping &&
      (!o.jobs.empty() || !o.shard.empty() || o.daily || o.resume || !o.isolation.empty()))
    throw InputError("--jobs, --shard, --daily, --resume and --isolation belong to --sweep");
  Isolation isolation = Isolation::Snapshot;
  if (o.isolation == "process") {
    isolation = Isolation::Process;
  } else if (!o.isolation.empty() && o.isolation != "snapshot") {
    throw InputError("--isolation: " + quote_input(o.isolation) + " is not snapshot or process");
  }
  const bool worker = !o.worker.empty();

  // The plan as given (--plan, else the built-in one) is read first: its
  // JSON names the model whose module is looked for.
  SiteText plan_input = Site::given_plan(o.plan);
  const nlohmann::json plan_json = Plan::read_json(plan_input.text, plan_input.source);
  const Located at = locate(model_of(plan_json), o.library, o.description);
  Site site;
  site.load_description(at.description);
  const Description& description = site.description();
  site.load_module(at.module, false);
  // A sweep's workers restore the library's load-time state: recorded now,
  // before anything has called into it.
  // A Windows worker takes its own, for the requests that restore it.
  if (sweeping && (isolation == Isolation::Snapshot || worker)) {
    try {
      site.take_snapshot();
    } catch (const LoadError& e) {
      if (!worker)
        std::fprintf(stderr, "%s: %s; each case runs in a process of its own\n", kProgram,
                     e.what());
    }
  }
  site.bind();
  const Model& model = site.model();

  if (o.listing) {
    std::ostringstream list;
    print_list(list, description, o.list);
    write_stdout(list.str());
    return 0;
  }

  site.read_plan(std::move(plan_input), plan_json);
  site.read_scenario(o.scenario);
  if (!o.input.empty()) site.read_daily(o.input);
  const Plan& plan = site.plan();
  const Scenario& scenario = site.scenario();
  if (o.info) {
    std::ostringstream info;
    print_info(info, description, at, plan, scenario);
    write_stdout(info.str());
    return 0;
  }

  // The texts read, whose digests the records keep.
  const std::string& plan_text = site.plan_text();
  const std::string& scenario_text = site.scenario_text();
  const std::string& daily_text = site.daily_text();
  // The plain labels of the plan and the scenario, for the nearest names of
  // a mistyped one.
  const Labels& labels = site.labels();
  RunOptions options;
  options.days = days;
  options.every = every;
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
  std::deque<std::string> texts;
  std::vector<std::size_t> overridden;
  for (const std::string& set : o.sets) {
    options.overrides.push_back(parse_set(description, set, texts, &labels));
    overridden.push_back(options.overrides.back().first);
  }
  for (const std::string& scale : o.scales)
    options.scales.push_back(parse_scale(description, scenario.daily, scale, &labels));

  if (sweeping) {
    SweepOptions sweep;
    sweep.out_dir = o.out;
    sweep.jobs = jobs;
    sweep.daily = o.daily;
    sweep.resume = o.resume;
    sweep.shard = shard;
    sweep.shards = shards;
    sweep.isolation = isolation;
    sweep.snapshot = site.snapshot();
    sweep.run = options;
    if (worker && !studying) {
      // Its daily files are named by the sweep's token.
      sweep.token = o.worker;
      interrupt::as_child();
      return serve_batch_worker(model, plan, scenario, batch_options(sweep, description));
    }
    sweep.token = random_token();
#if defined(_WIN32)
    // A worker is this program again with the same arguments, serving cases.
    char self[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (n == 0 || n == MAX_PATH) throw RunError("cannot find this program's own file");
    sweep.worker_command.emplace_back(self);
    sweep.worker_command.insert(sweep.worker_command.end(), o.argv.begin(), o.argv.end());
    sweep.worker_command.insert(sweep.worker_command.end(), {"--sweep-worker", sweep.token});
#endif
    if (studying) {
      const std::string study_text = read_text_file(o.study, "study file");
      const study::Study st = study::parse_study(study_text, o.study, description, plan, scenario);
      if (worker) {
        interrupt::as_child();
        // The options that the study's evaluator gives its cases.
        BatchOptions served = batch_options(sweep, description);
        study::ModelCases(description, plan, st).configure(served);
        return serve_batch_worker(model, plan, scenario, served);
      }
      const nlohmann::json identity = {{"inputs",
                                        {{"study", hex_digest(study_text)},
                                         {"plan", hex_digest(plan_text)},
                                         {"scenario", hex_digest(scenario_text)},
                                         {"daily", hex_digest(daily_text)},
                                         {"module", file_digest(at.module)},
                                         {"description", file_digest(at.description)}}},
                                       {"options", nlohmann::json::object()}};
      const auto started = std::chrono::steady_clock::now();
      std::string summary_line;
      if (!o.merge.empty()) {
        summary_line = merge_study(plan, st, identity, o.merge.front(),
                                   {o.merge.begin() + 1, o.merge.end()}, true);
      } else {
        StudyOptions so;
        so.out_dir = o.out;
        so.resume = o.resume;
        so.shard = shard;
        so.shards = shards;
        so.progress = !o.quiet && TDS_ISATTY(TDS_FILENO(stderr));
        so.batch = batch_options(sweep, description);
        summary_line = run_study(model, plan, scenario, st, identity, so);
      }
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      if (!o.quiet)
        std::fprintf(
            stderr, "%s: %s study in %s s; %s\n", kProgram, study::method_name(st.method),
            format_double(static_cast<double>(static_cast<long long>(seconds * 1000)) / 1000.0)
                .c_str(),
            summary_line.c_str());
      return 0;
    }

    const std::string cases_text = read_text_file(o.sweep, "cases file");
    const CaseTable table =
        CaseTable::parse(cases_text, o.sweep, description, scenario.daily, days, &labels);
    nlohmann::json vars = nlohmann::json::array();
    for (std::size_t v : options.variables) vars.push_back(description.values()[v].name);
    sweep.identity = {{"inputs",
                       {{"cases", table.digest},
                        {"plan", hex_digest(plan_text)},
                        {"scenario", hex_digest(scenario_text)},
                        {"daily", hex_digest(daily_text)},
                        {"module", file_digest(at.module)},
                        {"description", file_digest(at.description)}}},
                      {"options",
                       {{"days", days},
                        {"set", o.sets},
                        {"vars", vars},
                        {"every", every},
                        {"dailyFiles", o.daily}}}};
    // Recorded only when given, so that a sweep without scales keeps the
    // shard.json of before.
    if (!o.scales.empty()) sweep.identity["options"]["scale"] = o.scales;
    sweep.progress = !o.quiet && TDS_ISATTY(TDS_FILENO(stderr));
    const auto started = std::chrono::steady_clock::now();
    const SweepResult result = run_sweep(model, plan, scenario, table, sweep);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!o.quiet) std::fputs(sweep_summary(o.out, result, seconds).c_str(), stderr);
    return result.failed ? 1 : 0;
  }

  // The target is checked and opened before the run: a temporary file beside
  // it, renamed into place once the run has succeeded; standard output is
  // held until then.
  const std::unique_ptr<OutputFile> out = OutputFile::open(o.out, "--out");
  RunResult result;
  {
    ProgressBar progress(!o.quiet && TDS_ISATTY(TDS_FILENO(stderr)), days, "day");
    options.on_day = [&progress](long long day) { progress.update(day); };
    result =
        run_model(model, plan, scenario, options, [&](std::string& chunk) { out->write(chunk); });
  }
  out->commit();
  if (!o.quiet) std::fputs(summary(description, plan, scenario, result).c_str(), stderr);
  return 0;
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
