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
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "case.h"
#include "model.h"
#include "plan.h"
#include "run.h"
#include "scenario.h"
#include "snapshot.h"

namespace tds {

class Pool;
namespace wire {
enum class Request : char;
}

// Workers (and the self-check's verdict) that outlive one batch. The first
// batch starts them, as many as the options' jobs and as its cases need; a
// worker that crashes is replaced by the next case of its slot; the
// destructor kills and reaps those left. The model, plan and scenario must
// outlive the session.
class BatchSession {
 public:
  // Throws InputError for a reduction that check_reductions refuses.
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
  // The cases' own per-day tables by id (kept, so that no other table takes
  // an address while the session lasts), and per slot the ids its worker
  // has been sent.
  std::map<const DailyInputs*, std::uint64_t> table_ids_;
  std::vector<std::shared_ptr<const DailyInputs>> tables_;
  std::vector<std::set<std::uint64_t>> sent_;

  // The request for case c to the slot's worker, with the case's table's
  // bytes when that worker has not had them.
  std::string request(wire::Request kind, std::size_t slot, const BatchCase& c);
};

// One batch in a session of its own: its workers end with it.
void run_batch(const Model& model, const Plan& plan, const Scenario& scenario,
               const std::vector<BatchCase>& cases, const BatchOptions& options,
               const std::function<void(std::size_t index, CaseOutcome&& outcome)>& on_result);

// A Windows worker's part: serves case requests on standard input and answers
// on standard output. Returns the exit status.
int serve_batch_worker(const Model& model, const Plan& plan, const Scenario& scenario,
                       const BatchOptions& options);

}  // namespace tds

#endif  // TDS_ENGINE_BATCH_H
