// One run of a model: IniModel, the scenario, the start transitions, then the
// days, each a walk of every process in the plan's order, with a CSV row of
// the chosen variables after every K-th day.
#ifndef TDS_HOST_RUN_H
#define TDS_HOST_RUN_H

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "model.h"
#include "plan.h"
#include "scenario.h"

namespace tds {

// A failure while running (a walk that loops, an answer that leads nowhere):
// the message is one line naming the day and the node.
class RunError : public std::runtime_error {
 public:
  explicit RunError(const std::string& message) : std::runtime_error(one_line(message)) {}
};

struct RunResult {
  long long days = 0;
  std::vector<long long> counted;         // days per Plan::counts() entry
  std::vector<long long> shortfall_each;  // days per Plan::shortfalls() entry
  long long shortfall_days = 0;           // days with any shortfall
  std::vector<Cell> levels;               // Plan::levels() at the end
  std::vector<Cell> finals;               // RunOptions::variables at the end
  std::size_t model_nodes_visited = 0;    // nodes with model code that the run reached
  double seconds = 0.0;
};

struct RunOptions {
  long long days = 365;
  long long every = 1;
  std::vector<std::size_t> variables;                   // the CSV's columns after "day"
  std::vector<std::pair<std::size_t, Cell>> overrides;  // --set, after the scenario's constants
  // --scale: factors on double columns of the per-day table, as (value
  // index, factor). A column that an override fixes keeps the override.
  std::vector<std::pair<std::size_t, double>> scales;
  bool write_csv = true;
  // Told each day's number once the day is done (a front end's progress).
  std::function<void(long long day)> on_day;
  // Told, after on_day, each day's number with the figures so far (counted,
  // shortfall_each and shortfall_days up to and including the day): what
  // happened that day is what grew. Costs nothing when not set.
  std::function<void(long long day, const RunResult& so_far)> on_day_figures;
};

// Runs the model. CSV text goes to sink in pieces as it is produced (the
// header first); throws RunError. An overridden value keeps its value: the
// scenario's per-day table does not set it.
RunResult run_model(const Model& model, const Plan& plan, const Scenario& scenario,
                    const RunOptions& options, const std::function<void(std::string&)>& sink);
// The same with another per-day table in place of the scenario's (a
// recorded year, say); the scenario's constants still apply.
RunResult run_model(const Model& model, const Plan& plan, const Scenario& scenario,
                    const DailyInputs& daily, const RunOptions& options,
                    const std::function<void(std::string&)>& sink);

// The run's figures as tarvello-run reports them, two-space indented, a line
// each, in the plan's and scenario's words: the nodes with model code
// visited, the plan's counts, the shortfall days with each shortfall, the
// final levels with their units.
std::string run_figures(const Description& d, const Plan& plan, const Scenario& scenario,
                        const RunResult& r);

// The words a person reads for a value, as the explorer page shows them: the
// scenario's label, else the plan's output label, else its qualified name;
// the unit of the same entry, or "".
std::string label_of(const Description& d, const Plan& plan, const Scenario& scenario,
                     std::size_t value);
std::string unit_of(const Plan& plan, const Scenario& scenario, std::size_t value);
// A count's or shortfall's label, else its name with spaces for underscores.
std::string label_of(const NodeCount& count);
// A label inside a sentence: its first letter in lower case, unless its
// first word is an abbreviation or a name (another capital or an underscore
// in it: "COD at the inlet", a qualified name).
std::string in_sentence(std::string label);
// "245 units", or the figure alone without a unit.
std::string with_unit(const std::string& figure, const std::string& unit);
// A value as the figures show it: the shortest double, the int, the text
// itself or "(null)".
std::string figure_text(const Cell& c);

// The same run day by day, for a front end that advances the model in steps
// of its own (a co-simulation master): start() leaves the state of day 0,
// each next_day() performs one day, with the scenario's per-day inputs but
// for the values marked in `skip`. Throws RunError.
class DayRunner {
 public:
  DayRunner(const Model& model, const Plan& plan)
      : model_(&model), plan_(&plan), last_visit_(plan.nodes().size(), -1) {}
  // IniModel, the constants, the overrides, the start walks.
  void start(const Scenario& scenario, const std::vector<std::pair<std::size_t, Cell>>& overrides);
  // The day's per-day inputs (unless `daily` is null), scaled by `factors`
  // when given (DailyInputs::factors), then every process's walk.
  void next_day(const DailyInputs* daily, const std::vector<bool>& skip,
                const std::vector<double>* factors = nullptr);
  long long day() const { return day_; }
  void set_day(long long day) { day_ = day; }
  // By node index: the last day a walk visited the node (0 for the start
  // transitions), or -1.
  const std::vector<long long>& last_visit() const { return last_visit_; }

 private:
  const Model* model_;
  const Plan* plan_;
  long long day_ = 0;
  std::vector<long long> last_visit_;
};

}  // namespace tds

#endif  // TDS_HOST_RUN_H
