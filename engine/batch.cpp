#include "batch.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <utility>

#include "batch_worker.h"
#include "pool.h"
#include "worker_protocol.h"

namespace tds {

BatchSession::BatchSession(const Model& model, const Plan& plan, const Scenario& scenario,
                           BatchOptions options)
    : model_(model), plan_(plan), scenario_(scenario), options_(std::move(options)) {
  check_reductions(model.description(), plan, options_.reductions);
}

BatchSession::~BatchSession() = default;

std::string BatchSession::request(wire::Request kind, std::size_t slot, const BatchCase& c) {
  if (!c.input) return wire::encode_request(kind, c);
  const auto [it, fresh] = table_ids_.emplace(c.input.get(), tables_.size());
  if (fresh) tables_.push_back(c.input);
  const bool first = sent_[slot].insert(it->second).second;
  return wire::encode_request(kind, c, it->second, first);
}

void BatchSession::run(
    const std::vector<BatchCase>& cases,
    const std::function<void(std::size_t index, CaseOutcome&& outcome)>& on_result, bool last) {
  const std::size_t total = cases.size();
  if (total == 0) return;
  const BatchOptions& o = options_;

  // Outcomes wait here until every earlier case's has been handed on.
  std::deque<std::optional<CaseOutcome>> waiting;
  std::size_t delivered = 0;
  auto deliver = [&](std::size_t k, CaseOutcome&& outcome) {
    if (k - delivered >= waiting.size()) waiting.resize(k - delivered + 1);
    waiting[k - delivered] = std::move(outcome);
    while (!waiting.empty() && waiting.front()) {
      CaseOutcome ready = std::move(*waiting.front());
      waiting.pop_front();
      on_result(delivered++, std::move(ready));
    }
  };
  auto failure = [](CaseOutcome::Status status, std::string reason) {
    CaseOutcome outcome;
    outcome.status = status;
    outcome.reason = std::move(reason);
    return outcome;
  };

  // The workers, made once for the session's life: one slot per job. On
  // Windows the workers read their own plan and scenario.
  if (!pool_) {
    const std::size_t jobs = std::max(o.jobs, 1u);
    pool_ = make_pool(jobs, o, [this](int requests, [[maybe_unused]] int answers) {
#if defined(_WIN32)
      (void)requests;
      return 2;
#else
      return serve_forked_worker(requests, answers, model_, plan_, scenario_, options_);
#endif
    });
    alive_.assign(jobs, false);
    sent_.assign(jobs, {});
  }
  Pool& pool = *pool_;
  std::vector<bool>& alive = alive_;

  // Cases to run, each on the next free worker: a lasting worker that
  // restores the snapshot before each case (and waits for the next batch
  // after the last), or a fresh worker per case.
  bool lasting =
      o.isolation == Isolation::Snapshot && o.snapshot != nullptr && check_ != Check::Failed;
  const std::size_t slots = std::min(alive.size(), total);
  std::vector<std::optional<std::size_t>> running(alive.size());  // the case each slot runs
  std::vector<bool> answered(alive.size(), false);
  std::size_t next = 0, finished = 0, busy = 0;
  auto progress = [&] {
    ++finished;
    if (o.on_progress) o.on_progress(finished, total);
  };

  // The self-check, once per session: the first case, twice in one worker
  // with a restore between; any difference, and every case gets a process.
  auto self_check = [&] {
    if (!lasting || check_ != Check::Pending) return;
    std::string why, verdict = "the self-check's worker did not start";
    sent_[0].clear();
    if (pool.start(0, why) && pool.send(0, request(wire::Request::Check, 0, cases[0]))) {
      const PoolEvent e = pool.wait();
      alive[0] = !e.ended;
      verdict = e.ended ? "the self-check's worker ended" : e.answer;
    }
    check_ = verdict == "same" ? Check::Passed : Check::Failed;
    if (check_ == Check::Failed) {
      if (o.on_notice)
        o.on_notice("a restored library did not repeat its first run (" + verdict +
                    "): each case runs in a process of its own");
      lasting = false;
      if (alive[0]) {
        pool.retire(0);
        while (!pool.wait().ended) {
        }
        alive[0] = false;
      }
    }
  };
  // Gives the slot's worker its next case, starting a worker when the slot
  // has none.
  // A case whose request a waiting worker could not take (it had died
  // meanwhile) goes again to a worker started for it.
  std::deque<std::size_t> again;
  std::vector<bool> unsent(alive.size(), false);
  auto dispatch = [&](std::size_t slot) {
    while (next < total || !again.empty()) {
      std::size_t k = next;
      if (again.empty()) {
        ++next;
      } else {
        k = again.front();
        again.pop_front();
      }
      std::string why;
      const bool waiting = alive[slot];
      if (!waiting) sent_[slot].clear();
      if (!waiting && !pool.start(slot, why)) {
        deliver(k, failure(CaseOutcome::Status::Crashed, why));
        progress();
        continue;
      }
      alive[slot] = true;
      if (o.on_case_started) o.on_case_started(k);
      running[slot] = k;
      answered[slot] = false;
      ++busy;
      const std::string bytes =
          request(lasting ? wire::Request::Run : wire::Request::RunOnce, slot, cases[k]);
      unsent[slot] = !pool.send(slot, bytes) && waiting;
      if (!lasting) pool.retire(slot);
      return;
    }
    if (last && alive[slot]) pool.retire(slot);  // nothing left: it ends
  };
  try {
    self_check();
    for (std::size_t s = 0; s < slots; ++s) dispatch(s);
    while (busy > 0) {
      PoolEvent e = pool.wait();
      if (e.ended) alive[e.slot] = false;
      if (!running[e.slot]) continue;  // a worker that had nothing to do
      const std::size_t k = *running[e.slot];
      if (o.on_case_ended && (e.ended || lasting)) o.on_case_ended(k);
      if (!e.ended) {
        CaseOutcome outcome;
        if (!wire::decode_outcome(e.answer, outcome))
          outcome = failure(CaseOutcome::Status::Failed, "its worker's answer is malformed");
        answered[e.slot] = true;
        deliver(k, std::move(outcome));
        progress();
        if (!lasting) continue;  // its end follows
      } else if (unsent[e.slot]) {
        again.push_back(k);
      } else if (!answered[e.slot]) {
        deliver(k, e.crash.empty() ? failure(CaseOutcome::Status::Failed,
                                             "exit status " + std::to_string(e.status))
                                   : failure(CaseOutcome::Status::Crashed, e.crash));
        progress();
      }
      running[e.slot].reset();
      --busy;
      dispatch(e.slot);
    }
  } catch (...) {
    // Workers amid cases of a batch that is given up: none is reused.
    pool_.reset();
    alive_.clear();
    throw;
  }
  if (last) {
    pool_.reset();
    alive_.clear();
  }
}

void run_batch(const Model& model, const Plan& plan, const Scenario& scenario,
               const std::vector<BatchCase>& cases, const BatchOptions& options,
               const std::function<void(std::size_t index, CaseOutcome&& outcome)>& on_result) {
  BatchSession(model, plan, scenario, options).run(cases, on_result, true);
}

}  // namespace tds
