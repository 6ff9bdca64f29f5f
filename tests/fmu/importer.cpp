// fmu_importer: imports an unpacked FMU the way an FMI tool does (the
// binary loaded by file name, every FMI function resolved by name, the token
// and the variables taken from modelDescription.xml) and runs one of the
// checks that check_fmu.py compares with tarvello-run.
//
//   fmu_importer DIR 2|3 VARS COLUMNS COMMAND [OPTIONS]
//
// VARS lists the FMU's variables, one "name vr type" per line, as
// check_fmu.py reads them from modelDescription.xml; COLUMNS the CSV columns
// after "day", comma-separated. Commands:
//   year [--days N] [--step S] [--start NAME=VALUE]... [--inputs TABLE]
//        [--scenario-inputs 0|1]
//       the run as CSV: a row whenever a communication point ends a day.
//       TABLE ("day" then input columns, a row per day) gives the inputs the
//       importer drives, set at the start of each day's step.
//   reset      a year, a reset, the year again: prints the second.
//   state      to day 100, a state saved and serialized, on to the end; the
//              state restored, and deserialized into a fresh instance, each
//              run to the end again: all three must agree. Prints the year.
//   interleave VAR=VALUE  two instances stepped in turn, the second with a
//              start value: prints both years, the second after a "--" line.
//   misuse     calls against the rules: each must fail with one message
//              naming its function.
//   planted VICTIM  links to VICTIM planted at the names a predictable
//              private copy would take in $TMPDIR, then instances run.
//   hold       three instances alive until the process is killed.
//   cycles N   N cycles of load, instantiate, a day, free, unload: the
//              process must grow by less than 4 kB a cycle.
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "csv.h"
#include "loader.h"

#if defined(_WIN32)
#include <windows.h>
// psapi.h needs the types of windows.h.
#include <psapi.h>
#else
#include <malloc.h>
#include <unistd.h>
#endif

namespace {

using tds::CsvWriter;

constexpr double kDay = 86400.0;
int failures = 0;

struct Var {
  std::uint32_t vr = 0;
  std::string type;  // Real/Float64, Integer/Int32, Boolean, String
};

// The messages the FMU logged since the last take().
std::vector<std::string> logged;

// The FMI 2.0 logger is a C variadic function by the standard's definition.
// NOLINTNEXTLINE(cert-dcl50-cpp)
void fmi2_logger(void*, const char* instance, int status, const char* category, const char* format,
                 ...) {
  char buf[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  logged.push_back(std::string(category) + ": " + buf);
  (void)instance;
  (void)status;
}

void fmi3_logger(void*, int, const char* category, const char* message) {
  logged.push_back(std::string(category) + ": " + message);
}

struct Fmi2Callbacks {
  void (*logger)(void*, const char*, int, const char*, const char*, ...);
  void* (*allocate)(std::size_t, std::size_t);
  void (*free)(void*);
  void (*finished)(void*, int);
  void* environment;
};

void* allocate(std::size_t n, std::size_t size) { return std::calloc(n, size); }

// One FMI version's functions behind one interface. Status 0 is OK and 3 an
// error in both versions.
class Fmu {
 public:
  Fmu(const std::string& dir, int version) : dir_(dir), version_(version) {
    const std::string platform =
#if defined(_WIN32)
        version == 2 ? "win64" : "x86_64-windows";
#else
        version == 2 ? "linux64" : "x86_64-linux";
#endif
    module_ =
        tds::Module::load(tds::path_join(tds::path_join(tds::path_join(dir, "binaries"), platform),
                                         tds::module_file_name("TarvelloDemoSiteFMU")));
    std::ifstream xml(tds::path_join(dir, "modelDescription.xml"), std::ios::binary);
    std::stringstream text;
    text << xml.rdbuf();
    const std::string key = version == 2 ? "guid=\"" : "instantiationToken=\"";
    const std::string s = text.str();
    const auto at = s.find(key);
    if (at != std::string::npos) {
      const auto end = s.find('"', at + key.size());
      token_ = s.substr(at + key.size(), end - at - key.size());
    }
  }

  template <class F>
  F fn(const std::string& suffix) const {
    return module_->function<F>("fmi" + std::to_string(version_) + suffix);
  }

  void* instantiate(const char* name, const char* token = nullptr) {
    const std::string resources = tds::path_join(dir_, "resources");
    const char* t = token != nullptr ? token : token_.c_str();
    if (version_ == 2) {
      static Fmi2Callbacks callbacks{fmi2_logger, allocate, std::free, nullptr, nullptr};
      std::string uri = "file://";
      if (resources[0] != '/') uri += '/';
      for (char ch : resources) uri += ch == '\\' ? '/' : ch;
      return fn<void* (*)(const char*, int, const char*, const char*, const void*, int, int)>(
          "Instantiate")(name, 1, t, uri.c_str(), &callbacks, 0, 1);
    }
    const std::string path = resources + (resources.find('\\') != std::string::npos ? "\\" : "/");
    return fn<void* (*)(const char*, const char*, const char*, bool, bool, bool, bool,
                        const std::uint32_t*, std::size_t, void*,
                        void (*)(void*, int, const char*, const char*), void*)>(
        "InstantiateCoSimulation")(name, t, path.c_str(), false, true, false, false, nullptr, 0,
                                   nullptr, fmi3_logger, nullptr);
  }
  void free(void* c) { fn<void (*)(void*)>("FreeInstance")(c); }
  // Initialisation from time 0, with a stop time when stop > 0.
  int enter(void* c, double stop = 0.0) {
    if (version_ == 2) {
      const int s = fn<int (*)(void*, int, double, double, int, double)>("SetupExperiment")(
          c, 0, 0.0, 0.0, stop > 0 ? 1 : 0, stop);
      if (s != 0) return s;
      return fn<int (*)(void*)>("EnterInitializationMode")(c);
    }
    return fn<int (*)(void*, bool, double, double, bool, double)>("EnterInitializationMode")(
        c, false, 0.0, 0.0, stop > 0, stop);
  }
  int exit(void* c) { return fn<int (*)(void*)>("ExitInitializationMode")(c); }
  int step(void* c, double t, double h) {
    if (version_ == 2) return fn<int (*)(void*, double, double, int)>("DoStep")(c, t, h, 1);
    bool event = false, terminate = false, early = false;
    double last = 0.0;
    return fn<int (*)(void*, double, double, bool, bool*, bool*, bool*, double*)>("DoStep")(
        c, t, h, true, &event, &terminate, &early, &last);
  }
  int reset(void* c) { return fn<int (*)(void*)>("Reset")(c); }
  int debug_logging(void* c, bool on, std::size_t n, const char* const categories[]) {
    if (version_ == 2)
      return fn<int (*)(void*, int, std::size_t, const char* const*)>("SetDebugLogging")(
          c, on ? 1 : 0, n, categories);
    return fn<int (*)(void*, bool, std::size_t, const char* const*)>("SetDebugLogging")(c, on, n,
                                                                                        categories);
  }
  int terminate(void* c) { return fn<int (*)(void*)>("Terminate")(c); }

  const char* real() const { return version_ == 2 ? "Real" : "Float64"; }
  const char* integer() const { return version_ == 2 ? "Integer" : "Int32"; }

  int get_real(void* c, std::uint32_t vr, double* v) { return get<double>(c, real(), vr, v); }
  int get_int(void* c, std::uint32_t vr, std::int32_t* v) {
    return get<std::int32_t>(c, integer(), vr, v);
  }
  int get_string(void* c, std::uint32_t vr, const char** v) {
    return get<const char*>(c, "String", vr, v);
  }
  int set_real(void* c, std::uint32_t vr, double v) { return set<double>(c, real(), vr, v); }
  int set_int(void* c, std::uint32_t vr, std::int32_t v) {
    return set<std::int32_t>(c, integer(), vr, v);
  }
  int set_string(void* c, std::uint32_t vr, const char* v) {
    return set<const char*>(c, "String", vr, v);
  }
  int set_bool(void* c, std::uint32_t vr, bool v) {
    if (version_ == 2) return set<int>(c, "Boolean", vr, v ? 1 : 0);
    return set<bool>(c, "Boolean", vr, v);
  }

  template <class T>
  int get(void* c, const char* type, std::uint32_t vr, T* v) {
    if (version_ == 2)
      return fn<int (*)(void*, const std::uint32_t*, std::size_t, T*)>(std::string("Get") + type)(
          c, &vr, 1, v);
    return fn<int (*)(void*, const std::uint32_t*, std::size_t, T*, std::size_t)>(
        std::string("Get") + type)(c, &vr, 1, v, 1);
  }
  template <class T>
  int set(void* c, const char* type, std::uint32_t vr, T v) {
    if (version_ == 2)
      return fn<int (*)(void*, const std::uint32_t*, std::size_t, const T*)>(std::string("Set") +
                                                                             type)(c, &vr, 1, &v);
    return fn<int (*)(void*, const std::uint32_t*, std::size_t, const T*, std::size_t)>(
        std::string("Set") + type)(c, &vr, 1, &v, 1);
  }

  std::string state_name() const { return version_ == 2 ? "FMUstate" : "FMUState"; }
  int get_state(void* c, void** s) {
    return fn<int (*)(void*, void**)>("Get" + state_name())(c, s);
  }
  int set_state(void* c, void* s) { return fn<int (*)(void*, void*)>("Set" + state_name())(c, s); }
  int free_state(void* c, void** s) {
    return fn<int (*)(void*, void**)>("Free" + state_name())(c, s);
  }
  std::vector<unsigned char> serialize(void* c, void* s) {
    std::size_t n = 0;
    if (fn<int (*)(void*, void*, std::size_t*)>("Serialized" + state_name() + "Size")(c, s, &n) !=
        0)
      return {};
    std::vector<unsigned char> bytes(n);
    if (fn<int (*)(void*, void*, unsigned char*, std::size_t)>("Serialize" + state_name())(
            c, s, bytes.data(), n) != 0)
      return {};
    return bytes;
  }
  int deserialize(void* c, const std::vector<unsigned char>& bytes, void** s) {
    return fn<int (*)(void*, const unsigned char*, std::size_t, void**)>(
        (version_ == 2 ? "DeSerialize" : "Deserialize") + state_name())(c, bytes.data(),
                                                                        bytes.size(), s);
  }

  int version() const { return version_; }
  const std::string& token() const { return token_; }

 private:
  std::string dir_;
  int version_;
  std::unique_ptr<tds::Module> module_;
  std::string token_;
};

struct Setup {
  std::map<std::string, Var> vars;
  std::vector<std::string> columns;
  long long days = 365;
  double step = kDay;
  std::vector<std::pair<std::string, std::string>> starts;
  tds::CsvTable inputs;
  int scenario_inputs = -1;  // -1: not set
};

void check(bool ok, const std::string& what) {
  if (!ok) {
    std::cerr << "FAIL " << what << "\n";
    ++failures;
  }
}

const Var& var(const Setup& s, const std::string& name) {
  const auto it = s.vars.find(name);
  if (it == s.vars.end()) throw std::runtime_error("no variable " + name + " in the FMU");
  return it->second;
}

int set_text(Fmu& fmu, void* c, const Var& v, const std::string& text) {
  if (v.type == "String") return fmu.set_string(c, v.vr, text.c_str());
  if (v.type == "Boolean") return fmu.set_bool(c, v.vr, text == "true" || text == "1");
  if (v.type == "Real" || v.type == "Float64")
    return fmu.set_real(c, v.vr, std::strtod(text.c_str(), nullptr));
  return fmu.set_int(c, v.vr, static_cast<std::int32_t>(std::strtol(text.c_str(), nullptr, 10)));
}

void row(Fmu& fmu, void* c, const Setup& s, long long day, CsvWriter& csv) {
  csv.number(static_cast<std::int64_t>(day));
  for (const std::string& name : s.columns) {
    const Var& v = var(s, name);
    int status = 0;
    if (v.type == "Real" || v.type == "Float64") {
      double d = 0;
      status = fmu.get_real(c, v.vr, &d);
      csv.number(d);
    } else if (v.type == "String") {
      const char* t = nullptr;
      status = fmu.get_string(c, v.vr, &t);
      csv.text(t);
    } else {
      std::int32_t i = 0;
      status = fmu.get_int(c, v.vr, &i);
      csv.number(static_cast<std::int64_t>(i));
    }
    check(status == 0, "get " + name + " on day " + std::to_string(day));
  }
  csv.end_row();
}

void header(const Setup& s, CsvWriter& csv) {
  csv.field("day");
  for (const std::string& name : s.columns) csv.field(name);
  csv.end_row();
}

// One instance through initialisation, with the setup's start values.
void* start(Fmu& fmu, const Setup& s, const char* name) {
  void* c = fmu.instantiate(name);
  check(c != nullptr, "instantiate " + std::string(name));
  if (c == nullptr)
    throw std::runtime_error("cannot instantiate: " + (logged.empty() ? "" : logged.back()));
  for (const auto& [n, value] : s.starts)
    check(set_text(fmu, c, var(s, n), value) == 0, "start " + n);
  if (s.scenario_inputs >= 0)
    check(fmu.set_bool(c, var(s, "useScenarioInputs").vr, s.scenario_inputs == 1) == 0,
          "useScenarioInputs");
  check(fmu.enter(c) == 0, "enter initialisation");
  check(fmu.exit(c) == 0, "exit initialisation");
  return c;
}

// Steps an instance from `from_day` on to the setup's last day, driving the
// table's inputs at the start of each day's step; CSV rows at day ends.
class Runner {
 public:
  Runner(Fmu& fmu, void* c, const Setup& s) : fmu_(fmu), c_(c), s_(s) {}
  bool next(CsvWriter& csv) {
    const double end_time = static_cast<double>(s_.days) * kDay;
    if (!(t_ < end_time)) return false;
    drive();
    const double h = std::min(s_.step, end_time - t_);
    check(fmu_.step(c_, t_, h) == 0, "step at " + std::to_string(t_));
    t_ += h;
    const double days = t_ / kDay;
    if (days == static_cast<double>(static_cast<long long>(days)))
      row(fmu_, c_, s_, static_cast<long long>(days), csv);
    return true;
  }
  double time() const { return t_; }
  void set_time(double t) { t_ = t; }

 private:
  void drive() {
    if (s_.inputs.rows.empty()) return;
    // The row of the day that begins at t.
    const auto day = static_cast<long long>(t_ / kDay) + 1;
    for (const auto& r : s_.inputs.rows) {
      if (std::stoll(r.fields[0]) != day) continue;
      for (std::size_t col = 1; col < r.fields.size(); ++col)
        if (!r.fields[col].empty())
          check(set_text(fmu_, c_, var(s_, s_.inputs.header[col]), r.fields[col]) == 0,
                "drive " + s_.inputs.header[col]);
    }
  }
  Fmu& fmu_;
  void* c_;
  const Setup& s_;
  double t_ = 0.0;
};

std::string year(Fmu& fmu, void* c, const Setup& s) {
  CsvWriter csv;
  header(s, csv);
  Runner r(fmu, c, s);
  while (r.next(csv)) {
  }
  return csv.buffer();
}

std::string run_until(Runner& r, double t, CsvWriter& csv) {
  while (r.time() < t && r.next(csv)) {
  }
  return csv.buffer();
}

int state(Fmu& fmu, const Setup& s) {
  void* c = start(fmu, s, "a");
  CsvWriter first;
  header(s, first);
  Runner r(fmu, c, s);
  run_until(r, 100 * kDay, first);
  void* saved = nullptr;
  check(fmu.get_state(c, &saved) == 0 && saved != nullptr, "get state on day 100");
  const std::vector<unsigned char> bytes = fmu.serialize(c, saved);
  check(!bytes.empty(), "serialize the state");
  // Every single flipped bit of the serialized state is refused, before
  // anything is made of it (by an instance of its own: a refusal leaves an
  // instance in error mode).
  void* judge = fmu.instantiate("judge");
  std::size_t accepted = 0;
  std::vector<unsigned char> flipped = bytes;
  for (std::size_t bit = 0; bit < 8 * bytes.size(); ++bit) {
    flipped[bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
    void* corrupt = nullptr;
    if (fmu.deserialize(judge, flipped, &corrupt) != 3 || corrupt != nullptr) ++accepted;
    flipped[bit / 8] = bytes[bit / 8];
    logged.clear();
  }
  fmu.free(judge);
  check(accepted == 0, std::to_string(accepted) + " of the " + std::to_string(8 * bytes.size()) +
                           " single-bit flips of a serialized state accepted");
  std::cerr << 8 * bytes.size() << " single-bit flips of the serialized state refused\n";
  const std::size_t head = first.size();
  while (r.next(first)) {
  }
  const std::string rest = first.buffer().substr(head);

  check(fmu.set_state(c, saved) == 0, "set the state");
  CsvWriter again;
  r.set_time(100 * kDay);
  while (r.next(again)) {
  }
  check(again.buffer() == rest, "the restored state runs days 101 to the end as before");

  void* fresh = fmu.instantiate("fresh");
  void* restored = nullptr;
  check(fmu.deserialize(fresh, bytes, &restored) == 0, "deserialize into a fresh instance");
  check(fmu.set_state(fresh, restored) == 0, "set the deserialized state");
  CsvWriter other;
  Runner r2(fmu, fresh, s);
  r2.set_time(100 * kDay);
  while (r2.next(other)) {
  }
  check(other.buffer() == rest, "the deserialized state runs days 101 to the end as before");
  check(fmu.free_state(fresh, &restored) == 0 && restored == nullptr, "free the state");
  check(fmu.free_state(c, &saved) == 0, "free the first state");
  fmu.free(fresh);
  fmu.free(c);
  std::cout << first.buffer();
  return 0;
}

int reset(Fmu& fmu, const Setup& s) {
  void* c = start(fmu, s, "a");
  const std::string once = year(fmu, c, s);
  check(fmu.reset(c) == 0, "reset");
  for (const auto& [n, value] : s.starts)
    check(set_text(fmu, c, var(s, n), value) == 0, "start " + n);
  check(fmu.enter(c) == 0 && fmu.exit(c) == 0, "initialise after the reset");
  const std::string twice = year(fmu, c, s);
  check(once == twice, "the year after a reset equals the first");
  fmu.free(c);
  std::cout << twice;
  return 0;
}

int interleave(Fmu& fmu, const Setup& s, const std::string& start_value) {
  void* a = start(fmu, s, "a");
  Setup s2 = s;
  const auto eq = start_value.find('=');
  s2.starts.emplace_back(start_value.substr(0, eq), start_value.substr(eq + 1));
  void* b = start(fmu, s2, "b");
  CsvWriter ca, cb;
  header(s, ca);
  header(s2, cb);
  Runner ra(fmu, a, s), rb(fmu, b, s2);
  bool more = true;
  while (more) {
    more = ra.next(ca);
    more = rb.next(cb) || more;
  }
  fmu.free(a);
  fmu.free(b);
  std::cout << ca.buffer() << "--\n" << cb.buffer();
  return 0;
}

// Calls against the rules, each on a fresh instance: every one must return
// an error and log exactly one message that names its function.
int misuse(Fmu& fmu, const Setup& s) {
  const std::uint32_t out = var(s, s.columns.back()).vr;
  const std::uint32_t param = var(s, "percentReuse_B1_Water_P1_WasteWater").vr;
  const std::uint32_t input = var(s, "qttWater_B1_Water_P1_CleanWater").vr;
  const std::uint32_t text_vr = [&] {
    for (const auto& [n, v] : s.vars)
      if (v.type == "String") return v.vr;
    return out;
  }();
  const std::string v = "fmi" + std::to_string(fmu.version());
  struct Case {
    const char* what;
    std::string function;
    bool initialised;  // called after initialisation
    std::function<int(void*)> call;
    const char* says = "";  // what the message must also contain
  };
  const std::vector<Case> cases = {
      {"a step before initialisation", v + "DoStep", false,
       [&](void* c) { return fmu.step(c, 0, kDay); }},
      {"a get before initialisation", v + "Get" + fmu.real(), false,
       [&](void* c) {
         double d = 0;
         return fmu.get_real(c, param, &d);
       }},
      {"exit initialisation twice", v + "ExitInitializationMode", true,
       [&](void* c) { return fmu.exit(c); }},
      {"a negative step", v + "DoStep", true, [&](void* c) { return fmu.step(c, 0, -1); }},
      {"a zero step", v + "DoStep", true, [&](void* c) { return fmu.step(c, 0, 0); }},
      {"a step from another time", v + "DoStep", true,
       [&](void* c) { return fmu.step(c, 5 * kDay, kDay); }},
      {"a step past the stop time", v + "DoStep", false,
       [&](void* c) {
         fmu.enter(c, 10 * kDay);
         fmu.exit(c);
         fmu.step(c, 0, 9 * kDay);
         logged.clear();
         return fmu.step(c, 9 * kDay, 2 * kDay);
       },
       "after the stop time 864000 s"},
      {"a step of more days than a step may perform", v + "DoStep", true,
       [&](void* c) { return fmu.step(c, 0, 1e15); }, "bound of 1000000 days"},

      {"an unknown value reference", v + "Get" + fmu.real(), true,
       [&](void* c) {
         double d = 0;
         return fmu.get_real(c, 99999, &d);
       }},
      {"a value of another type", v + "Get" + fmu.integer(), true,
       [&](void* c) {
         std::int32_t i = 0;
         return fmu.get_int(c, param, &i);
       }},
      {"a null value array", v + "Get" + fmu.real(), true,
       [&](void* c) { return fmu.get<double>(c, fmu.real(), out, nullptr); }},
      {"a fixed parameter after initialisation", v + "Set" + fmu.real(), true,
       [&](void* c) { return fmu.set_real(c, param, 0.8); }},
      {"an output set", v + "Set" + fmu.real(), true,
       [&](void* c) { return fmu.set_real(c, out, 1.0); }},
      {"a null text", v + "SetString", false,
       [&](void* c) { return fmu.set_string(c, text_vr, nullptr); }},
      {"a state restored from null", v + "Set" + fmu.state_name(), true,
       [&](void* c) { return fmu.set_state(c, nullptr); }},
      {"a serialized state of garbage",
       v + (fmu.version() == 2 ? "DeSerialize" : "Deserialize") + fmu.state_name(), true,
       [&](void* c) {
         void* st = nullptr;
         return fmu.deserialize(c, {1, 2, 3, 4, 5, 6, 7, 8, 9}, &st);
       }},
      {"terminate before initialisation", v + "Terminate", false,
       [&](void* c) { return fmu.terminate(c); }},
      {"an unknown log category", v + "SetDebugLogging", false,
       [&](void* c) {
         const char* category[] = {"logEverything"};
         return fmu.debug_logging(c, true, 1, category);
       }},
  };
  (void)input;
  for (const Case& k : cases) {
    void* c = fmu.instantiate("misuse");
    if (k.initialised) {
      fmu.enter(c);
      fmu.exit(c);
    }
    logged.clear();
    const int status = k.call(c);
    const bool named = logged.size() == 1 &&
                       logged[0].find("logStatusError: " + k.function + ": ") == 0 &&
                       logged[0].find(k.says) != std::string::npos;
    check(status == 3, std::string(k.what) + ": status " + std::to_string(status));
    check(named,
          std::string(k.what) + ": " + (logged.empty() ? std::string("no message") : logged[0]));
    std::cout << (status == 3 && named ? "ok   " : "FAIL ") << k.what << ": "
              << (logged.empty() ? "" : logged[0]) << "\n";
    fmu.free(c);
  }
  // Debug logging as SetDebugLogging sets it: events are logged only while
  // their category is on.
  void* c = fmu.instantiate("logging");
  const char* events[] = {"logEvents"};
  logged.clear();
  check(fmu.debug_logging(c, false, 0, nullptr) == 0 && fmu.reset(c) == 0 && logged.empty(),
        "no events logged with logging off");
  check(fmu.debug_logging(c, true, 1, events) == 0 && fmu.reset(c) == 0 && logged.size() == 1 &&
            logged[0].rfind("logEvents: ", 0) == 0,
        "an event logged with logEvents on");
  std::cout << (failures == 0 ? "ok   " : "FAIL ")
            << "SetDebugLogging: " << (logged.empty() ? "" : logged[0]) << "\n";
  fmu.free(c);
  // A wrong token is refused at instantiation, with its message.
  logged.clear();
  void* wrong = fmu.instantiate("wrong", "{00000000-0000-0000-0000-000000000000}");
  check(wrong == nullptr && logged.size() == 1 && logged[0].find("the token") != std::string::npos,
        "a wrong token is refused");
  std::cout << (wrong == nullptr ? "ok   " : "FAIL ")
            << "a wrong token: " << (logged.empty() ? "" : logged[0]) << "\n";
  return 0;
}

// The process's memory in bytes: what the heap holds in use plus what is
// mapped (Linux), or the private bytes (Windows).
double memory_in_use() {
#if defined(_WIN32)
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  K32GetProcessMemoryInfo(GetCurrentProcess(),
                          reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
  return static_cast<double>(counters.PrivateUsage);
#else
  const struct mallinfo2 heap = mallinfo2();
  std::ifstream statm("/proc/self/statm");
  double pages = 0;
  statm >> pages;
  return static_cast<double>(heap.uordblks + heap.hblkhd) +
         pages * static_cast<double>(sysconf(_SC_PAGESIZE));
#endif
}

// What an importer such as a Python FMI library does for each simulation:
// the binary loaded, an instance made, a day simulated, the instance freed
// and the binary unloaded, `cycles` times. The growth of the process per
// cycle, after a few cycles to warm up, must stay below `limit` bytes.
int cycles(const std::string& dir, int version, const Setup& s, long cycles, double limit) {
  auto one = [&] {
    Fmu fmu(dir, version);
    void* c = start(fmu, s, "cycle");
    check(fmu.step(c, 0, kDay) == 0, "a day");
    fmu.free(c);
  };
  // Unloaded means unmapped: no more mappings of the binary or of model
  // copies than before (the importer's own load of the binary).
  auto mappings = [] {
    int n = 0;
#if !defined(_WIN32)
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
      n += line.find("TarvelloDemoSite") != std::string::npos ? 1 : 0;
#endif
    return n;
  };
  for (int k = 0; k < 20; ++k) one();
  const int mapped = mappings();
  const double before = memory_in_use();
  for (long k = 0; k < cycles; ++k) one();
  const double growth = (memory_in_use() - before) / static_cast<double>(cycles);
  check(mappings() == mapped, std::to_string(mappings() - mapped) +
                                  " more mappings of the FMU or the model after unloading");
  std::cout << "growth per load, instantiate, day, free, unload cycle over " << cycles
            << " cycles: " << growth << " bytes\n";
  check(growth < limit, "the process grew by " + std::to_string(growth) + " bytes a cycle");
  return 0;
}

#if !defined(_WIN32)
// A link planted at each name that a predictable private copy could take in
// the temporary directory, "<model>-<pid>-<n>.so", all naming `victim`;
// then instances made, run and freed. The victim must keep its bytes.
int planted(Fmu& fmu, const Setup& s, const std::string& victim) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string dir = tmp != nullptr ? tmp : "/tmp";
  for (int n = 0; n < 16; ++n) {
    const std::string link = tds::path_join(
        dir, "TarvelloDemoSite-" + std::to_string(getpid()) + "-" + std::to_string(n) + ".so");
    check(symlink(victim.c_str(), link.c_str()) == 0, "plant " + link);
  }
  std::vector<void*> instances;
  for (int k = 0; k < 4; ++k) {
    instances.push_back(start(fmu, s, "planted"));
    check(fmu.step(instances.back(), 0, kDay) == 0, "a day");
  }
  for (void* c : instances) fmu.free(c);
  return 0;
}
#endif

// Instances alive, until the process is killed: prints "ready" when they
// are made and have run a day.
int hold(Fmu& fmu, const Setup& s) {
  std::vector<void*> instances;
  for (int k = 0; k < 3; ++k) {
    instances.push_back(start(fmu, s, "held"));
    check(fmu.step(instances.back(), 0, kDay) == 0, "a day");
  }
  std::cout << "ready" << std::endl;
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc < 6) {
      std::cerr << "usage: fmu_importer DIR 2|3 VARS COLUMNS COMMAND [OPTIONS]\n";
      return 2;
    }
    Setup s;
    std::ifstream vars(argv[3]);
    for (std::string name, type; vars >> name;) {
      Var v{};
      vars >> v.vr >> type;
      v.type = type;
      s.vars[name] = v;
    }
    std::stringstream columns(argv[4]);
    for (std::string c; std::getline(columns, c, ',');) s.columns.push_back(c);
    const std::string command = argv[5];
    std::string extra;
    for (int i = 6; i < argc; ++i) {
      const std::string a = argv[i];
      auto value = [&] { return i + 1 < argc ? std::string(argv[++i]) : std::string(); };
      if (a == "--days") {
        s.days = std::stoll(value());
      } else if (a == "--step") {
        s.step = std::stod(value());
      } else if (a == "--start") {
        const std::string nv = value();
        s.starts.emplace_back(nv.substr(0, nv.find('=')), nv.substr(nv.find('=') + 1));
      } else if (a == "--inputs") {
        std::ifstream f(value(), std::ios::binary);
        std::stringstream text;
        text << f.rdbuf();
        s.inputs = tds::parse_csv(text.str(), "inputs");
      } else if (a == "--scenario-inputs") {
        s.scenario_inputs = std::stoi(value());
      } else {
        extra = a;
      }
    }
    if (command == "cycles") {
      // Without a load of its own that would keep the binary loaded.
      cycles(argv[1], std::stoi(argv[2]), s, std::stol(extra), 4096);
      return failures == 0 ? 0 : 1;
    }
    Fmu fmu(argv[1], std::stoi(argv[2]));
    if (command == "year") {
      void* c = start(fmu, s, "year");
      std::cout << year(fmu, c, s);
      fmu.free(c);
    } else if (command == "reset") {
      reset(fmu, s);
    } else if (command == "state") {
      state(fmu, s);
    } else if (command == "interleave") {
      interleave(fmu, s, extra);
#if !defined(_WIN32)
    } else if (command == "planted") {
      planted(fmu, s, extra);
#endif
    } else if (command == "hold") {
      hold(fmu, s);
    } else if (command == "misuse") {
      misuse(fmu, s);
    } else {
      std::cerr << "fmu_importer: unknown command " << command << "\n";
      return 2;
    }
    std::cout.flush();
    if (!std::cout) return 1;
  } catch (const std::exception& e) {
    std::cerr << "fmu_importer: " << e.what() << "\n";
    return 1;
  }
  return failures == 0 ? 0 : 1;
}
