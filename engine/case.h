// One case of the batch engine: what it runs (BatchCase), what it gives
// back (CaseOutcome), the options every case of a batch runs with
// (BatchOptions), and run_case, which runs one in this process. A batch's
// workers run their cases with it; the page runs each case in an instance
// of its own program with it, where there is no process, snapshot or pool.
#ifndef TDS_ENGINE_CASE_H
#define TDS_ENGINE_CASE_H

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model.h"
#include "plan.h"
#include "run.h"
#include "scenario.h"

namespace tds {

class Snapshot;

enum class Isolation { Snapshot, Process };

// One case: its days, the values it sets (after the scenario's constants and
// the batch's own overrides, as --set sets them), and factors on double
// columns of the scenario's per-day table (as --scale gives them, after the
// batch's own scales).
struct BatchCase {
  // Names the case for BatchOptions::in_worker (a file name, say); the
  // engine only carries it to the worker.
  std::string label;
  long long days = 365;
  std::vector<std::pair<std::size_t, Cell>> values;
  std::vector<std::pair<std::size_t, double>> scales;  // (value index, factor)
  // The per-day table the case runs with in place of the scenario's (a
  // recorded year, say), or null. Shared: the cases of a batch that run the
  // same table point to one copy, read and checked once.
  std::shared_ptr<const DailyInputs> input;
};

// A variable reduced over a case's days (the values after each day, days 1
// to N), computed in the worker: the value after the last day, the mean, the
// smallest, the largest, the sum. An int counts as its double. Instead of a
// variable, a day's count, shortfall or any shortfall may be reduced (1 on a
// day that counted it, else 0), and the days may be limited to a window of
// the days of the year, in every year of the run.
struct Reduction {
  enum class Op { Final, Mean, Min, Max, Sum };
  enum class Source { Value, Count, Shortfall, AnyShortfall };
  std::size_t value;  // Value: value index (a double or an int); Count, Shortfall: plan index
  Op op;
  Source source = Source::Value;
  // Days of the year from..to, both included, 1 to 365 (day d of the run is
  // day (d - 1) % 365 + 1 of its year); from > to wraps over the new year.
  // from == 0: every day of the run. Final is the value of the run's last
  // day in the window. A window that no day of the run reaches gives a Sum
  // of 0 and NaN for the others.
  int from = 0, to = 0;
};

// Checks reductions against the model and the plan: a Value's value a double
// or an int, a Count's or Shortfall's index one of the plan's, a window of
// days 1 to 365. Throws InputError naming the first bad one.
void check_reductions(const Description& d, const Plan& plan,
                      const std::vector<Reduction>& reductions);

struct CaseOutcome {
  enum class Status { Ok, Failed, Crashed };
  Status status = Status::Ok;
  // Failed, Crashed: one line, e.g. "killed by signal 11 (Segmentation fault)".
  std::string reason;
  // Ok: the run's figures (days, counted, shortfall_days, shortfall_each,
  // levels, finals of BatchOptions::run.variables).
  RunResult figures;
  // Ok with BatchOptions::daily: the rows of every K-th day (K =
  // run.every), each run.variables.size() cells, row after row.
  std::vector<Cell> daily;
  // Ok: one per BatchOptions::reductions, in order.
  std::vector<double> reduced;
  // The texts that text cells above point into.
  std::deque<std::string> texts;
};

// What the caller does around worker processes: the host registers them for
// its interruption handling. Each may be empty.
struct BatchHooks {
  // Around a worker's start and its reaping: an interruption waits meanwhile.
  std::function<void()> hold, release;
#if defined(_WIN32)
  // A started worker (its process handle), still suspended.
  std::function<void(void* process)> started;
#else
  // A started worker's pid, and its end once reaped.
  std::function<void(int pid)> started, ended;
  // First thing in a forked worker.
  std::function<void()> in_worker;
#endif
};

struct BatchOptions {
  unsigned jobs = 1;
  Isolation isolation = Isolation::Snapshot;
  // The library's load-time state, for lasting workers to restore; without
  // one every case gets a worker of its own.
  const Snapshot* snapshot = nullptr;
  RunOptions run;  // variables, every, overrides and scales for every case
  bool daily = false;
  std::vector<Reduction> reductions;
  // Windows: the command line that starts a worker (one that calls
  // serve_batch_worker with the same model, plan, scenario and options).
  std::vector<std::string> worker_command;
  // Told after each finished case: cases done, of how many.
  std::function<void(std::size_t done, std::size_t total)> on_progress;
  // In the worker, after a case that ran to its end and before its answer:
  // may consume what need not travel back (write the daily rows to a file of
  // the case's label and clear them, say). A non-empty return is the reason
  // the case failed. A Windows worker must be given the same.
  std::function<std::string(const BatchCase& c, CaseOutcome& outcome)> in_worker;
  // Told when a case goes to a worker, and when its worker has answered or
  // ended (in the order of completion, before on_result): by case index.
  std::function<void(std::size_t index)> on_case_started, on_case_ended;
  // Told, in one line, when the snapshot's self-check fails.
  std::function<void(const std::string& line)> on_notice;
  BatchHooks hooks;
};

// Runs one case in this process, which must hold a pristine library; its
// failure is an outcome. What a worker does for each request. The case's own
// per-day table, when it has one, replaces the scenario's.
CaseOutcome run_case(const Model& model, const Plan& plan, const Scenario& scenario,
                     const BatchCase& c, const BatchOptions& options);

}  // namespace tds

#endif  // TDS_ENGINE_CASE_H
