// Per-call costs of the model library, set against the cost of an empty call.
//
// The module is loaded from beside this program and its exports are called
// through pointers resolved by name, as a simulation host calls them; the
// support units that node code calls are linked in and called directly.
//
// Every measured call goes through a function pointer read from a volatile
// variable in each iteration, the baseline's as well: the compiler can neither
// hoist, merge nor drop the calls, and all rows pay the same indirect call.
// The callees are opaque to the compiler (another module, another unit, no
// link-time optimisation), so it must assume that each call reads and writes
// memory; DoNotOptimize keeps each result alive and no ClobberMemory is needed.
//
// A benchmark that does more than one call per iteration (a batch of sweep
// cases) reports how many with per_iteration(), and the report then divides
// its time by that number. The reference host's rows measure a whole run.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "CongruentailRandom.h"
#include "Recover_execute_output.h"
#include "baseline.h"
#include "defaults.h"
#include "description.h"
#include "loader.h"
#include "model.h"
#include "plan.h"
#include "run.h"
#include "scenario.h"
#include "snapshot.h"
#include "study_benchmarks.h"
#include "sweep.h"

namespace {

namespace fs = std::filesystem;

// The module under measurement, loaded by main before any benchmark runs.
const tds::Module* loaded = nullptr;
// The module's load-time state, taken before IniModel.
const tds::Snapshot* pristine = nullptr;

// "name(arg, ...)" as the call would be written in C, for the report's labels.
std::string shown(const char* text) { return '"' + std::string(text) + '"'; }
template <class T>
std::string shown(T value) {
  std::ostringstream out;
  out << value;
  return out.str();
}
template <class... A>
std::string call_text(const std::string& name, A... args) {
  std::string text;
  ((text += (text.empty() ? "" : ", ") + shown(args)), ...);
  return name + "(" + text + ")";
}

// Tells the report that one iteration makes `calls` calls of what the row
// measures, so that it shows the time of one of them.
[[maybe_unused]] void per_iteration(benchmark::State& state, double calls) {
  state.counters["calls"] = calls;
}

// Calls fn(args...) once per iteration.
template <class R, class... P, class... A>
void measure(benchmark::State& state, const std::string& label, R (*fn)(P...), A... args) {
  state.SetLabel(label);
  R (*volatile call)(P...) = fn;
  for (auto _ : state) {
    if constexpr (std::is_void_v<R>) {
      call(args...);
    } else {
      benchmark::DoNotOptimize(call(args...));
    }
  }
}

// The export of the given name as a pointer of type F, or null after marking
// the benchmark as failed when the module has no such export.
template <class F>
F resolve(benchmark::State& state, const char* name) {
  try {
    return loaded->function<F>(name);
  } catch (const tds::LoadError& error) {
    state.SkipWithError(error.what());
    return nullptr;
  }
}

// Calls the named export with the given arguments once per iteration.
template <class F, class... A>
void call_export(benchmark::State& state, const char* name, A... args) {
  if (F fn = resolve<F>(state, name)) measure(state, call_text(name, args...), fn, args...);
}

// A node call, checked once before it is measured: a decision answers 0 exactly
// when the identifier names no decision node. A task answers 0 in any case.
void node_call(benchmark::State& state, const char* function, const char* node, bool names_a_node) {
  auto fn = resolve<std::int32_t (*)(const char*)>(state, function);
  if (fn == nullptr) return;
  if (std::string(function) == "GetModelDecision" && (fn(node) != 0) != names_a_node) {
    state.SkipWithError("the decision's answer contradicts the node list");
    return;
  }
  measure(state, call_text(function, node), fn, node);
}

// The identifiers of the nodes of one kind ("decision" or "task"), from the
// description beside the module; empty when it cannot be read.
std::vector<std::string> node_ids(const std::string& kind) {
  std::vector<std::string> ids;
  std::ifstream in(tds::path_join(tds::executable_directory(), "TarvelloDemoSite.json"));
  const nlohmann::json description = nlohmann::json::parse(in, nullptr, false);
  if (description.is_discarded()) return ids;
  for (const auto& node : description.value("nodes", nlohmann::json::array()))
    if (node.value("kind", "") == kind) ids.push_back(node.value("id", ""));
  return ids;
}

// Node calls as a host makes them: a different identifier on every call, in
// a fixed pseudo-random order far longer than the branch predictor can learn.
// Task nodes do their work too, the random draws of one of them included.
void varied_node_calls(benchmark::State& state, const char* function, const char* kind) {
  auto fn = resolve<std::int32_t (*)(const char*)>(state, function);
  if (fn == nullptr) return;
  const std::vector<std::string> ids = node_ids(kind);
  if (ids.empty()) {
    state.SkipWithError("no node identifiers in TarvelloDemoSite.json");
    return;
  }
  std::vector<const char*> order(4096);
  std::minstd_rand pick(1);
  for (const char*& id : order) id = ids[pick() % ids.size()].c_str();

  state.SetLabel(std::string(function) + "(each of the " + std::to_string(ids.size()) + " " + kind +
                 " identifiers, in random order)");
  std::int32_t (*volatile call)(const char*) = fn;
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(call(order[next]));
    next = (next + 1) % order.size();
  }
}

// A result file of 10 000 data lines in a fresh temporary directory, written
// on first use and removed at exit.
class ResultFile {
 public:
  static constexpr int kLines = 10000;
  static constexpr int kColumns = 8;

  ResultFile() {
    std::string pattern = (fs::temp_directory_path() / "tds_bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    directory_ = pattern;
    std::ofstream out(fs::path(directory_) / "optim.out", std::ios::binary);
    out << "iteration\tobjective cost energy water waste co2 money\n";
    std::string token;
    for (int line = 0; line < kLines; ++line) {
      for (int column = 0; column < kColumns; ++column) {
        token = std::to_string(line) + "." + std::to_string(column + 1) + "25";
        out << token << (column + 1 == kColumns ? "\n" : column % 2 ? " " : "\t");
      }
    }
    expected_ = std::strtod(token.c_str(), nullptr);
    if (!out.flush()) directory_.clear();
  }
  ~ResultFile() {
    std::error_code ignored;
    if (!directory_.empty()) fs::remove_all(directory_, ignored);
  }
  ResultFile(const ResultFile&) = delete;
  ResultFile& operator=(const ResultFile&) = delete;

  // The directory holding optim.out; empty when it could not be written.
  const std::string& directory() const { return directory_; }
  // The last value of the last line.
  double expected() const { return expected_; }

 private:
  std::string directory_;
  double expected_ = 0.0;
};

void recover_last_value(benchmark::State& state) {
  static const ResultFile file;
  const int index = ResultFile::kColumns - 1;
  if (file.directory().empty()) {
    state.SkipWithError("cannot write the result file");
    return;
  }
  if (recoverOptiValue(file.directory().c_str(), index) != file.expected()) {
    state.SkipWithError("recoverOptiValue does not find the file's last value");
    return;
  }
  measure(state, "recoverOptiValue(dir, 7), optim.out of 10000 lines", &recoverOptiValue,
          file.directory().c_str(), index);
}

// The reference host in-process, on the loaded module: its description, the
// built-in plan and scenario. Null after marking the benchmark as failed when
// any of them cannot be read.
struct Host {
  tds::Description description;
  std::unique_ptr<tds::Model> model;
  std::unique_ptr<tds::Plan> plan;
  std::unique_ptr<tds::Scenario> scenario;
  std::string error;
};

const Host* host(benchmark::State& state) {
  static const Host* const made = [] {
    auto* h = new Host;
    try {
      h->description = tds::Description::load(
          tds::path_join(tds::executable_directory(), "TarvelloDemoSite.json"));
      h->model = std::make_unique<tds::Model>(*loaded, h->description);
      h->plan = std::make_unique<tds::Plan>(
          tds::Plan::parse(tds::kDefaultPlan, "built-in plan", h->description));
      h->scenario = std::make_unique<tds::Scenario>(tds::Scenario::parse(
          tds::kDefaultScenario, "built-in scenario", h->description,
          [](const std::string&) { return std::string(tds::kDefaultInputs); }));
    } catch (const std::exception& e) {
      h->error = e.what();
    }
    return h;
  }();
  if (!made->error.empty()) {
    state.SkipWithError(made->error.c_str());
    return nullptr;
  }
  return made;
}

// One default year as tarvello-run makes it, the CSV of the plan's variables
// kept in memory: IniModel, the scenario, the start walks, 365 days of walks.
void host_year(benchmark::State& state) {
  const Host* h = host(state);
  if (h == nullptr) return;
  tds::RunOptions options;
  options.variables = h->plan->default_variables();
  state.SetLabel("run_model: the default 365-day year, CSV of " +
                 std::to_string(options.variables.size()) + " variables");
  std::string csv;
  for (auto _ : state) {
    csv.clear();
    const tds::RunResult r = tds::run_model(*h->model, *h->plan, *h->scenario, options,
                                            [&](std::string& chunk) { csv += chunk; });
    benchmark::DoNotOptimize(r.days);
  }
}

// One run of the given length in this process: what a sweep's case costs
// without any isolation.
void host_days(benchmark::State& state, long long days) {
  const Host* h = host(state);
  if (h == nullptr) return;
  tds::RunOptions options;
  options.days = days;
  options.write_csv = false;
  options.variables = h->plan->default_variables();
  state.SetLabel("run_model in-process: " + std::to_string(days) + (days == 1 ? " day" : " days") +
                 ", no CSV");
  for (auto _ : state) {
    const tds::RunResult r =
        tds::run_model(*h->model, *h->plan, *h->scenario, options, [](std::string&) {});
    benchmark::DoNotOptimize(r.days);
  }
}

// The FMI 2.0 logger is a C variadic function by the standard's definition.
// NOLINTNEXTLINE(cert-dcl50-cpp)
void quiet_logger(void*, const char*, int, const char*, const char*, ...) {}

// One default year through the site's FMU (FMI 2.0), as an importer runs it:
// a reset, initialisation, 365 steps of a day, and after each step the plan's
// 18 variables read with fmi2GetReal / fmi2GetInteger. Instantiated once (a
// private copy of the module loaded, the resources read); the FMU binary is
// the one this build stages.
void fmu_year(benchmark::State& state) {
  const Host* h = host(state);
  if (h == nullptr) return;
  const std::string stage =
      tds::path_join(tds::path_join(tds::executable_directory(), ".."), "fmu/fmi2");
  std::unique_ptr<tds::Module> fmu;
  std::string token;
  try {
    fmu = tds::Module::load(stage + "/binaries/linux64/TarvelloDemoSiteFMU.so");
    std::ifstream xml(stage + "/modelDescription.xml");
    std::stringstream text;
    text << xml.rdbuf();
    const std::string s = text.str();
    const auto at = s.find("guid=\"") + 6;
    token = s.substr(at, s.find('"', at) - at);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  using Status = int;
  using Refs = const unsigned*;
  struct Callbacks {
    void (*logger)(void*, const char*, int, const char*, const char*, ...);
    void* (*allocate)(std::size_t, std::size_t);
    void (*free)(void*);
    void* finished;
    void* environment;
  } callbacks{quiet_logger, std::calloc, std::free, nullptr, nullptr};
  auto instantiate = fmu->function<void* (*)(const char*, int, const char*, const char*,
                                             const Callbacks*, int, int)>("fmi2Instantiate");
  auto reset = fmu->function<Status (*)(void*)>("fmi2Reset");
  auto setup =
      fmu->function<Status (*)(void*, int, double, double, int, double)>("fmi2SetupExperiment");
  auto enter = fmu->function<Status (*)(void*)>("fmi2EnterInitializationMode");
  auto exit = fmu->function<Status (*)(void*)>("fmi2ExitInitializationMode");
  auto step = fmu->function<Status (*)(void*, double, double, int)>("fmi2DoStep");
  auto get_real = fmu->function<Status (*)(void*, Refs, std::size_t, double*)>("fmi2GetReal");
  auto get_int = fmu->function<Status (*)(void*, Refs, std::size_t, int*)>("fmi2GetInteger");
  auto free_instance = fmu->function<void (*)(void*)>("fmi2FreeInstance");
  std::vector<unsigned> reals, ints;
  for (std::size_t v : h->plan->default_variables())
    (h->description.values()[v].kind == tds::Kind::Int ? ints : reals)
        .push_back(static_cast<unsigned>(v));
  const std::string uri = "file://" + std::filesystem::absolute(stage + "/resources").string();
  void* c = instantiate("bench", 1, token.c_str(), uri.c_str(), &callbacks, 0, 0);
  if (c == nullptr) {
    state.SkipWithError("fmi2Instantiate failed");
    return;
  }
  state.SetLabel("FMI 2.0: reset, initialisation, 365 steps of a day, 18 variables read each day");
  std::vector<double> r(reals.size());
  std::vector<int> i(ints.size());
  for (auto _ : state) {
    Status s = reset(c) | setup(c, 0, 0.0, 0.0, 0, 0.0) | enter(c) | exit(c);
    for (int day = 0; day < 365; ++day) {
      s |= step(c, day * 86400.0, 86400.0, 1);
      s |= get_real(c, reals.data(), reals.size(), r.data());
      s |= get_int(c, ints.data(), ints.size(), i.data());
    }
    if (s != 0) {
      state.SkipWithError("an FMI call failed");
      break;
    }
    benchmark::DoNotOptimize(r.data());
  }
  free_instance(c);
}

// A sweep of 1000 cases of the given length into a temporary directory, per
// case: with process isolation a forked worker from the loaded image, its run
// and its summary fields handed back through a pipe; with snapshot isolation
// the same from workers started once, which restore the module's memory
// before each case.
void sweep_cases(benchmark::State& state, long long days, tds::Isolation isolation, unsigned jobs) {
  constexpr int kCases = 1000;
  const Host* h = host(state);
  if (h == nullptr) return;
  std::string cases = "case,percentReuse_B1_Water_P1_WasteWater\n";
  for (int i = 0; i < kCases; ++i) {
    cases += 'c';
    cases += std::to_string(i);
    cases += ',';
    cases += std::to_string(i / double(kCases));
    cases += '\n';
  }
  std::string directory = (fs::temp_directory_path() / "tds_bench_sweep-XXXXXX").string();
  if (mkdtemp(directory.data()) == nullptr) {
    state.SkipWithError("cannot make a temporary directory");
    return;
  }
  try {
    const tds::CaseTable table =
        tds::CaseTable::parse(cases, "cases", h->description, h->scenario->daily, days);
    tds::SweepOptions options;
    options.out_dir = directory;
    options.batch.jobs = jobs;
    options.batch.isolation = isolation;
    options.batch.snapshot = pristine;
    options.token = "bench";
    options.batch.run.variables = h->plan->default_variables();
    state.SetLabel(std::string("run_sweep, --isolation ") +
                   (isolation == tds::Isolation::Snapshot ? "snapshot" : "process") + ", --jobs " +
                   std::to_string(jobs) + ": one case of " + std::to_string(days) +
                   (days == 1 ? " day" : " days"));
    for (auto _ : state)
      benchmark::DoNotOptimize(
          tds::run_sweep(*h->model, *h->plan, *h->scenario, table, options).failed);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
  per_iteration(state, kCases);
  state.counters["wall"] = 1;  // the report takes wall-clock time: the cases run in children
  std::error_code ignored;
  fs::remove_all(directory, ignored);
}

// An identifier of the right form that names no node, with the prefix that
// several nodes share, so that a miss compares as far as a near match does.
constexpr const char* kNoNode = "0_4_12_GROWING_99";

struct NodeCase {
  const char* row;
  const char* node;
  bool names_a_node;
};

// The rows of the report, in this order. A new row is one more entry here.
void register_benchmarks() {
  using benchmark::RegisterBenchmark;
  using benchmark::State;

  RegisterBenchmark("baseline", [](State& s) {
    measure(s, "tds_bench::empty_function()", &tds_bench::empty_function);
  });

  RegisterBenchmark("Get/double",
                    [](State& s) { call_export<double (*)()>(s, "GetwaterTank_B1_Food_P1_Crop"); });
  RegisterBenchmark("Set/double", [](State& s) {
    call_export<double (*)(double)>(s, "SetwaterTank_B1_Food_P1_Crop", 12.5);
  });
  RegisterBenchmark("Get/int", [](State& s) {
    call_export<std::int32_t (*)()>(s, "Getdies_B1_Environment_P1_Environment");
  });
  RegisterBenchmark("Set/int", [](State& s) {
    call_export<std::int32_t (*)(std::int32_t)>(s, "Setdies_B1_Environment_P1_Environment",
                                                std::int32_t{42});
  });
  RegisterBenchmark("Get/text", [](State& s) {
    call_export<const char* (*)()>(s, "GetclimateZone_B1_Food_P1_Crop");
  });
  RegisterBenchmark("Set/text", [](State& s) {
    // A literal: the module keeps the pointer, not a copy.
    call_export<const char* (*)(const char*)>(s, "SetclimateZone_B1_Food_P1_Crop", "temperate");
  });

  RegisterBenchmark("IniModel", [](State& s) { call_export<const char* (*)()>(s, "IniModel"); });

  // GetModelDecision stops at the first match; GetModelTask compares all 26.
  const NodeCase decisions[] = {{"first", "0_7_11_ACTIVE_5", true},
                                {"last", "0_6_13_ACTIVO_12", true},
                                {"miss", kNoNode, false}};
  for (const NodeCase& c : decisions)
    RegisterBenchmark((std::string("GetModelDecision/") + c.row).c_str(),
                      [c](State& s) { node_call(s, "GetModelDecision", c.node, c.names_a_node); });
  RegisterBenchmark("GetModelDecision/varied",
                    [](State& s) { varied_node_calls(s, "GetModelDecision", "decision"); });
  const NodeCase tasks[] = {{"first", "0_5_10_ACTIVE_7", true},
                            {"last", "0_6_13_ACTIVO_13", true},
                            {"miss", kNoNode, false}};
  for (const NodeCase& c : tasks)
    RegisterBenchmark((std::string("GetModelTask/") + c.row).c_str(),
                      [c](State& s) { node_call(s, "GetModelTask", c.node, c.names_a_node); });
  RegisterBenchmark("GetModelTask/varied",
                    [](State& s) { varied_node_calls(s, "GetModelTask", "task"); });

  // The node code's own distribution call: the inlet quality of nitrogen.
  RegisterBenchmark("normal", [](State& s) {
    measure(s, call_text("normal", 438.0, 74.0, 1), &normal, 438.0, 74.0, 1);
  });
  RegisterBenchmark("recoverOptiValue/10000_lines", recover_last_value);

  // The reference host: a whole year, and what a sweep costs per case.
  RegisterBenchmark("host/year", host_year)->Unit(benchmark::kMicrosecond);
  RegisterBenchmark("host/day", [](State& s) { host_days(s, 1); })->Unit(benchmark::kMicrosecond);
  RegisterBenchmark("host/year_without_csv", [](State& s) {
    host_days(s, 365);
  })->Unit(benchmark::kMicrosecond);
  RegisterBenchmark("fmu/year", fmu_year)->Unit(benchmark::kMicrosecond);
  struct SweepRow {
    const char* name;
    long long days;
    tds::Isolation isolation;
    unsigned jobs;
  };
  const SweepRow sweeps[] = {
      {"sweep/process/case_of_1_day", 1, tds::Isolation::Process, 1},
      {"sweep/snapshot/case_of_1_day", 1, tds::Isolation::Snapshot, 1},
      {"sweep/process/case_of_365_days", 365, tds::Isolation::Process, 1},
      {"sweep/snapshot/case_of_365_days", 365, tds::Isolation::Snapshot, 1},
      {"sweep/process/jobs_2/case_of_365_days", 365, tds::Isolation::Process, 2},
      {"sweep/snapshot/jobs_2/case_of_365_days", 365, tds::Isolation::Snapshot, 2}};
  for (const SweepRow& r : sweeps)
    RegisterBenchmark(r.name, [r](State& s) {
      sweep_cases(s, r.days, r.isolation, r.jobs);
    })->Unit(benchmark::kMicrosecond);
  register_study_benchmarks([](State& s) -> const StudySite* {
    static StudySite site{};
    const Host* h = host(s);
    if (h == nullptr) return nullptr;
    site = {&h->description, h->plan.get(), h->scenario.get()};
    return &site;
  });
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  std::unique_ptr<tds::Module> module;
  try {
    module = tds::Module::load(
        tds::path_join(tds::executable_directory(), tds::module_file_name("TarvelloDemoSite")));
    // The load-time state, for the sweeps' workers, then the state a host
    // starts from.
    static const tds::Snapshot snapshot = tds::Snapshot::take(*module);
    pristine = &snapshot;
    module->function<const char* (*)()>("IniModel")();
  } catch (const tds::LoadError& error) {
    std::fprintf(stderr, "tds_bench: %s\n", error.what());
    return 1;
  }
  loaded = module.get();

  benchmark::AddCustomContext("module", module->path());
  benchmark::AddCustomContext("compiler", TDS_BENCH_COMPILER);
  benchmark::AddCustomContext("build_type", TDS_BENCH_BUILD_TYPE);
  benchmark::AddCustomContext("build_flags", TDS_BENCH_FLAGS);

  register_benchmarks();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
