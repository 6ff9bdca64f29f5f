// The batch engine: many cases of one plan and scenario, each from a pristine
// library (its load-time zeros and generator state), on worker processes, with
// each case's result handed back as numbers through a callback in case order.
// It writes no file: a sweep writes its summary and daily files from these
// results; a study turns them into its tables.
//
// Cases never run in the caller's own process, so that a case that crashes is
// reported and the others run on. On Linux a worker is a fork of the caller's
// process, which holds the library as loaded; on Windows it is a program
// started again (BatchOptions::worker_command) that serves requests on its
// standard input with serve_batch_worker(). Each request carries its case, so
// a worker needs only the model, plan, scenario and batch options.
//
// With a snapshot, workers last: each restores the snapshot before each case.
// Before the first case a self-check runs it, restores, runs it again and
// compares every daily value and figure bit for bit; on any difference every
// case gets a worker of its own (BatchOptions::on_notice says why).
//
// A BatchSession runs batch after batch of one model, plan, scenario and
// options on the same lasting workers, with one self-check: a search that
// asks for a generation of cases at a time pays for starting its workers
// once. run_batch is a session of one batch.
#ifndef TDS_ENGINE_BATCH_H
#define TDS_ENGINE_BATCH_H

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model.h"
#include "plan.h"
#include "run.h"
#include "scenario.h"
#include "snapshot.h"

namespace tds {

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
};

// A variable reduced over a case's days (the values after each day, days 1
// to N), computed in the worker: the value after the last day, the mean, the
// smallest, the largest, the sum. An int counts as its double.
struct Reduction {
  enum class Op { Final, Mean, Min, Max, Sum };
  std::size_t value;  // value index (a double or an int)
  Op op;
};

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

class Pool;

// Workers (and the self-check's verdict) that outlive one batch. The first
// batch starts them, as many as the options' jobs and as its cases need; a
// worker that crashes is replaced by the next case of its slot; the
// destructor kills and reaps those left. The model, plan and scenario must
// outlive the session.
class BatchSession {
 public:
  // Throws InputError for a reduction of a text.
  BatchSession(const Model& model, const Plan& plan, const Scenario& scenario,
               BatchOptions options);
  ~BatchSession();
  BatchSession(const BatchSession&) = delete;
  BatchSession& operator=(const BatchSession&) = delete;
  BatchSession(BatchSession&&) = delete;
  BatchSession& operator=(BatchSession&&) = delete;

  // Runs the cases and calls on_result(index, outcome) for each, in the
  // order of `cases` whatever the order of completion; on_progress counts
  // the cases of this batch. The model's module must be loaded and
  // untouched (no IniModel yet). Throws RunError when no worker can be had
  // at all; a case that fails or crashes is an outcome, not an error. An
  // exception from on_result ends the batch and is passed on: its workers
  // are killed and reaped, and the next batch starts new ones. With `last`,
  // a worker ends as soon as no case is left for it, as when nothing
  // follows (a later batch starts new ones).
  void run(const std::vector<BatchCase>& cases,
           const std::function<void(std::size_t index, CaseOutcome&& outcome)>& on_result,
           bool last = false);

  const BatchOptions& options() const { return options_; }

 private:
  enum class Check { Pending, Passed, Failed };
  const Model& model_;
  const Plan& plan_;
  const Scenario& scenario_;
  BatchOptions options_;
  Check check_ = Check::Pending;
  std::unique_ptr<Pool> pool_;  // started with the first batch
  std::vector<bool> alive_;     // per slot: whether its worker is up
};

// One batch in a session of its own: its workers end with it.
void run_batch(const Model& model, const Plan& plan, const Scenario& scenario,
               const std::vector<BatchCase>& cases, const BatchOptions& options,
               const std::function<void(std::size_t index, CaseOutcome&& outcome)>& on_result);

// Runs one case in this process, which must hold a pristine library; its
// failure is an outcome. What a worker does for each request.
CaseOutcome run_case(const Model& model, const Plan& plan, const Scenario& scenario,
                     const BatchCase& c, const BatchOptions& options);

// A Windows worker's part: serves case requests on standard input and answers
// on standard output. Returns the exit status.
int serve_batch_worker(const Model& model, const Plan& plan, const Scenario& scenario,
                       const BatchOptions& options);

}  // namespace tds

#endif  // TDS_ENGINE_BATCH_H
