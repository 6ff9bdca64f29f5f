// The model bound for Python: the engine's site over a private copy of the
// model module, with the module's load-time state, so that every run starts
// from a pristine library whatever ran before it.
#ifndef TDS_PYTHON_SITE_H
#define TDS_PYTHON_SITE_H

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
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

namespace tds::python {

// Where the inputs come from; an empty plan or scenario is the built-in one.
struct SiteInputs {
  std::string library, description, plan, scenario;
};

// One value a run sets, as Python gives it: a number or a text.
struct Setting {
  std::string name;
  enum class Type { Float, Integer, Text } type;
  double d = 0.0;
  long long i = 0;
  std::string text;
};

// A run's daily values, column by column, and its figures.
struct Columns {
  std::vector<long long> days;
  std::vector<std::size_t> variables;
  std::vector<std::vector<double>> doubles;     // per variable, empty unless a double
  std::vector<std::vector<std::int32_t>> ints;  // per variable, empty unless an int
  std::vector<std::vector<std::optional<std::string>>> texts;  // per variable, unless a text
  RunResult result;
};

class Site {
 public:
  explicit Site(const SiteInputs& inputs);

  const SiteInputs& inputs() const { return inputs_; }
  const Description& description() const { return site_.description(); }
  const Plan& plan() const { return site_.plan(); }
  const Scenario& scenario() const { return site_.scenario(); }
  const Model& model() const { return site_.model(); }
  const Module& module() const { return *site_.module(); }
  const Snapshot* snapshot() const { return site_.snapshot(); }

  // The value index of a name; throws InputError with the nearest names.
  std::size_t value(const std::string& name, const std::string& what) const;
  // Value indexes: the plan's default variables (empty names and !all), every
  // value (all) or the named ones.
  std::vector<std::size_t> variables(const std::vector<std::string>& names, bool all,
                                     bool defaults) const;
  // The cells a run sets; texts are kept in `keep`.
  std::vector<std::pair<std::size_t, Cell>> cells(const std::vector<Setting>& settings,
                                                  std::deque<std::string>& keep) const;

  // The scale factors a run applies: each name a double column of the
  // scenario's per-day table, each factor finite.
  std::vector<std::pair<std::size_t, double>> scales(
      const std::vector<std::pair<std::string, double>>& factors) const;

  // Runs from the pristine library; one run at a time per site.
  Columns run(const RunOptions& options) const;

  // Runs the cases on the batch engine's workers, each from the pristine
  // library; outcomes in case order.
  void batch(const std::vector<BatchCase>& cases, BatchOptions options,
             const std::function<void(std::size_t, CaseOutcome&&)>& on_result) const;

  // Calls f(model, plan, scenario, snapshot) with the library in its
  // load-time state and no other run of this site under way: for work that
  // drives the batch engine itself, such as a study's evaluator.
  template <class F>
  void exclusive(F&& f) const {
    const std::lock_guard<std::mutex> lock(running_);
    site_.snapshot()->restore();
    f(model(), plan(), scenario(), *site_.snapshot());
  }

  // A line per part, as a researcher reads it.
  std::string info() const;

 private:
  SiteInputs inputs_;
  tds::Site site_;
  mutable std::mutex running_;
};

}  // namespace tds::python

#endif  // TDS_PYTHON_SITE_H
