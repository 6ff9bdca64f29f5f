// One instance of the site's FMU, whatever the FMI version: the model
// module's private copy bound to the run engine, the instance's mode, its
// time and day, the values set by the importer, and saved states. The FMI
// 2.0 and 3.0 wrappers check their arguments' shape, call guarded() with the
// modes their function is allowed in, and convert types.
#ifndef TDS_FMU_INSTANCE_H
#define TDS_FMU_INSTANCE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#include "description.h"
#include "loader.h"
#include "model.h"
#include "plan.h"
#include "run.h"
#include "scenario.h"
#include "site.h"
#include "snapshot.h"
#include "variables.h"

namespace tds::fmu {

enum class Mode { Instantiated, Initialization, Step, Terminated, Error };
constexpr unsigned bit(Mode m) { return 1u << static_cast<unsigned>(m); }
constexpr unsigned kAnyMode = 0x1fu;
const char* mode_name(Mode m);

// A call refused or failed: the message names the cause; the wrapper puts
// the function's name before it.
class Refusal : public std::runtime_error {
 public:
  explicit Refusal(const std::string& message) : std::runtime_error(message) {}
};

// What a wrapper reports: fine, or an error already logged.
enum class Status { Ok, Error };

// The log categories the FMU declares, and where each message goes.
struct LogCategory {
  const char* name;
  const char* description;
};
const std::vector<LogCategory>& log_categories();

// Told every message: its category ("logStatusError", "logEvents") and text.
using Logger = std::function<void(bool error, const char* category, const std::string& text)>;

// A saved state (the importer's FMU state handle points to one).
struct SavedState;

// The directory of the FMU binary itself; throws Refusal.
std::string binary_directory();
// Where an unpacked FMU keeps its resources: binaries/<platform>/../../resources.
std::string resources_beside(const std::string& binary_dir);
// The local path of a file URI ("file:///dir", "file:/dir", "file://localhost/dir",
// with %-escapes), or nothing for another URI.
std::optional<std::string> path_of_file_uri(const char* uri);

class Instance {
 public:
  // Loads a private copy of the model module from binary_dir and the
  // description, plan and scenario from resources_dir, and checks that the
  // token is theirs. Throws Refusal.
  Instance(const std::string& binary_dir, const std::string& resources_dir,
           const std::string& token, Logger logger, bool logging_on, bool with_time);
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  // Runs work(*this) if the instance is in one of the modes: a refusal or a
  // failure is logged as "<function>: <cause>", turns the instance to Error
  // mode and gives Status::Error. Never throws.
  template <class F>
  Status guarded(const char* function, unsigned modes, F&& work) noexcept {
    try {
      if ((modes & bit(mode_)) == 0)
        throw Refusal(std::string("not allowed in ") + mode_name(mode_) + " mode");
      work(*this);
      return Status::Ok;
    } catch (const std::exception& e) {
      fail(function, e.what());
    } catch (...) {
      fail(function, "an unexpected failure");
    }
    return Status::Error;
  }

  // Logging: debug messages only for the enabled categories; errors always.
  void set_debug_logging(bool on, std::size_t n, const char* const categories[]);
  void log_event(const std::string& text) const;
  void fail(const char* function, const std::string& cause);

  // The experiment: its start time, and the stop time no step may pass
  // when one is defined.
  void setup(double start_time, std::optional<double> stop_time);
  void enter_initialization();
  void exit_initialization();
  void terminate();
  void reset();

  // Values by reference; `type` is what the function reads or writes. Get
  // answers the model's current values; Set follows the variable's causality
  // and the mode (see the README). Texts returned stay valid until the next
  // call on the instance.
  void get_reals(const std::uint32_t vr[], std::size_t n, double out[]);
  void get_integers(const std::uint32_t vr[], std::size_t n, std::int32_t out[]);
  void get_booleans(const std::uint32_t vr[], std::size_t n, bool out[]);
  void get_strings(const std::uint32_t vr[], std::size_t n, const char* out[]);
  void set_reals(const std::uint32_t vr[], std::size_t n, const double in[]);
  void set_integers(const std::uint32_t vr[], std::size_t n, const std::int32_t in[]);
  void set_booleans(const std::uint32_t vr[], std::size_t n, const bool in[]);
  void set_strings(const std::uint32_t vr[], std::size_t n, const char* const in[]);

  // Performs every day whose end lies within (at, at + step]; at must be the
  // instance's time. A step that passes the stop time, or that would perform
  // more than kMaxStepDays days or go beyond day kMaxDay, is refused before
  // any work.
  void step(double at, double step);
  static constexpr long long kMaxStepDays = 1000000;
  static constexpr long long kMaxDay = 10000000000;
  double time() const { return time_; }
  long long day() const { return runner_->day(); }

  // FMU states by the importer's handles, as both versions pass them: the
  // state saved into *state (a new one when it is null), restored, freed,
  // its serialized size and bytes, and a state read back from bytes.
  void get_state(void** state) const;
  void set_state(const void* state);
  static void free_state(void** state);
  void serialized_size(const void* state, std::size_t* size) const;
  void serialize(const void* state, unsigned char* bytes, std::size_t size) const;
  void deserialize(const unsigned char* bytes, std::size_t size, void** state) const;

  [[noreturn]] static void unsupported(const std::string& what);
  // Refuses value references for a type the FMU has no variables of: names
  // the first one's real type (or that it is unknown).
  void no_such_type(const std::uint32_t vr[], std::size_t n, const char* type) const;

 private:
  // The variable of a value reference, refused when it is unknown or not of
  // the type asked for (none: a type the FMU has no variables of).
  const Variable& variable(std::uint32_t vr, std::optional<Type> type, const char* asked) const;
  const Variable& variable(std::uint32_t vr, Type type) const;
  const char* type_name(Type type) const;
  void set(std::uint32_t vr, Type type, const Cell& cell);
  Cell get(std::uint32_t vr, Type type);
  const char* keep(const char* text);
  SavedState* save(SavedState* reuse) const;
  void restore(const SavedState& state);
  std::string bytes_of(const SavedState& state) const;
  SavedState* read_state(const unsigned char* bytes, std::size_t size) const;
  void settle();
  void write_driven() const;

  Logger logger_;
  bool log_all_ = false;
  bool fmi3_ = false;  // type names in messages
  std::unordered_set<std::string> enabled_;
  std::string token_;
  // The description, the module's private copy, the model, the plan, the
  // scenario and the pristine state, and those parts by the names that the
  // instance's code uses.
  Site site_;
  const Description& description_ = site_.description();
  const Model* model_ = nullptr;
  const Plan* plan_ = nullptr;
  const Scenario* scenario_ = nullptr;
  std::vector<Variable> variables_;
  const Snapshot* pristine_ = nullptr;
  std::optional<DayRunner> runner_;

  Mode mode_ = Mode::Instantiated;
  double start_time_ = 0.0;
  std::optional<double> stop_time_;
  double time_ = 0.0;
  bool use_scenario_inputs_ = true;
  bool dirty_ = false;  // values set in Initialization mode not yet in the model
  std::vector<std::optional<Cell>> overrides_;  // set before step mode, like --set
  std::vector<std::optional<Cell>> driven_;     // inputs the importer holds
  std::vector<bool> skip_;                      // per value: set or driven, not the table's
  std::vector<std::size_t> driven_list_;        // the values in driven_
  bool skip_stale_ = true;                      // overrides_ or driven_ changed since
  std::unordered_set<std::string> texts_;       // every text handed to the model
  std::vector<const char*> returned_;           // texts returned by get_strings
};

}  // namespace tds::fmu

#endif  // TDS_FMU_INSTANCE_H
