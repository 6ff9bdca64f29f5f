#include "batch.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <optional>

#include "pool.h"
#include "worker_protocol.h"

#if defined(_WIN32)
#include <windows.h>

#include <cstdio>
#else
#include <unistd.h>

#include <cerrno>
#endif

namespace tds {

namespace {

bool same_bits(double a, double b) {
  std::uint64_t x = 0, y = 0;
  std::memcpy(&x, &a, sizeof a);
  std::memcpy(&y, &b, sizeof b);
  return x == y;
}

bool same_cell(const Cell& a, const Cell& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case Kind::Double:
      return same_bits(a.d, b.d);
    case Kind::Int:
      return a.i == b.i;
    case Kind::Text:
      return (a.t == nullptr) == (b.t == nullptr) && (a.t == nullptr || std::strcmp(a.t, b.t) == 0);
  }
  return false;
}

bool same_cells(const std::vector<Cell>& a, const std::vector<Cell>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), same_cell);
}

// Whether two outcomes of one case agree bit for bit, or what differs.
std::string difference(const CaseOutcome& a, const CaseOutcome& b) {
  if (a.status != CaseOutcome::Status::Ok) return "it failed: " + a.reason;
  if (b.status != CaseOutcome::Status::Ok) return "it failed: " + b.reason;
  if (!same_cells(a.daily, b.daily)) return "its daily values differ";
  const RunResult &x = a.figures, &y = b.figures;
  if (x.days != y.days || x.counted != y.counted || x.shortfall_each != y.shortfall_each ||
      x.shortfall_days != y.shortfall_days || !same_cells(x.levels, y.levels) ||
      !same_cells(x.finals, y.finals) ||
      !std::equal(a.reduced.begin(), a.reduced.end(), b.reduced.begin(), b.reduced.end(),
                  same_bits))
    return "its final values differ";
  return {};
}

// The self-check of a snapshot in a worker that has just restored it: the
// case run, the library restored, the case run again, every daily value
// kept; "same" when both runs gave the same bits, else what differed.
std::string check_answer(const Model& model, const Plan& plan, const Scenario& scenario,
                         const BatchCase& c, const BatchOptions& o) {
  BatchOptions all = o;
  all.daily = true;
  const CaseOutcome first = run_case(model, plan, scenario, c, all);
  o.snapshot->restore();
  const CaseOutcome second = run_case(model, plan, scenario, c, all);
  const std::string differs = difference(first, second);
  return differs.empty() ? "same" : differs;
}

// The worker's loop: read_some(buffer) appends what arrived and returns false
// at the end of the input; write_all(bytes) returns false when the batch is
// gone. A lasting worker restores the library's snapshot before every case,
// so that it does not matter what the process it came from had done with the
// library; a one-shot request runs in the library as it is, and ends it.
template <class Read, class Write>
int serve(Read read_some, Write write_all, const Model& model, const Plan& plan,
          const Scenario& scenario, const BatchOptions& o) {
  const std::size_t values = model.description().values().size();
  std::string in;
  BatchCase c;
  std::deque<std::string> texts;
  for (;;) {
    std::optional<std::string> payload = wire::next_frame(in);
    if (!payload) {
      if (!read_some(in)) return 0;
      continue;
    }
    wire::Request kind{};
    texts.clear();
    if (!wire::decode_request(*payload, kind, c, texts)) return 2;
    for (const auto& [value, cell] : c.values)
      if (value >= values || cell.kind != model.description().values()[value].kind) return 2;
    for (const auto& [value, factor] : c.scales)
      if (value >= values) return 2;
    if (kind != wire::Request::RunOnce) {
      if (o.snapshot == nullptr) return 2;
      o.snapshot->restore();
    }
    std::string answer;
    if (kind == wire::Request::Check) {
      answer = check_answer(model, plan, scenario, c, o);
    } else {
      CaseOutcome outcome = run_case(model, plan, scenario, c, o);
      if (outcome.status == CaseOutcome::Status::Ok && o.in_worker) {
        std::string reason = o.in_worker(c, outcome);
        if (!reason.empty()) {
          outcome = CaseOutcome{};
          outcome.status = CaseOutcome::Status::Failed;
          outcome.reason = one_line(reason);
        }
      }
      answer = wire::encode_outcome(outcome);
    }
    if (!write_all(wire::frame(answer))) return 3;
    if (kind == wire::Request::RunOnce) return 0;
  }
}

#if !defined(_WIN32)
bool read_some(int fd, std::string& in) {
  char chunk[4096];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    in.append(chunk, static_cast<std::size_t>(n));
    return true;
  }
}

bool write_all(int fd, const std::string& out) {
  for (std::size_t sent = 0; sent < out.size();) {
    const ssize_t n = write(fd, out.data() + sent, out.size() - sent);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}
#endif

}  // namespace

BatchSession::BatchSession(const Model& model, const Plan& plan, const Scenario& scenario,
                           BatchOptions options)
    : model_(model), plan_(plan), scenario_(scenario), options_(std::move(options)) {
  const Description& d = model.description();
  for (const Reduction& r : options_.reductions)
    if (r.value >= d.values().size() || d.values()[r.value].kind == Kind::Text)
      throw InputError("a reduction needs a double or an int value");
}

BatchSession::~BatchSession() = default;

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
      return serve([requests](std::string& in) { return read_some(requests, in); },
                   [answers](const std::string& out) { return write_all(answers, out); },
                   model_, plan_, scenario_, options_);
#endif
    });
    alive_.assign(jobs, false);
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
    if (pool.start(0, why) && pool.send(0, wire::encode_request(wire::Request::Check, cases[0]))) {
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
      const std::string request =
          wire::encode_request(lasting ? wire::Request::Run : wire::Request::RunOnce, cases[k]);
      unsent[slot] = !pool.send(slot, request) && waiting;
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

int serve_batch_worker(const Model& model, const Plan& plan, const Scenario& scenario,
                       const BatchOptions& options) {
#if defined(_WIN32)
  // The answers go through a handle of the worker's own; what the model
  // might print goes nowhere.
  HANDLE answers = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_OUTPUT_HANDLE), GetCurrentProcess(),
                  &answers, 0, FALSE, DUPLICATE_SAME_ACCESS);
  HANDLE requests = GetStdHandle(STD_INPUT_HANDLE);
  std::freopen("NUL", "wb", stdout);
  return serve(
      [requests](std::string& in) {
        char chunk[4096];
        DWORD n = 0;
        if (!ReadFile(requests, chunk, sizeof chunk, &n, nullptr) || n == 0) return false;
        in.append(chunk, n);
        return true;
      },
      [answers](const std::string& out) {
        DWORD n = 0;
        return WriteFile(answers, out.data(), static_cast<DWORD>(out.size()), &n, nullptr) &&
               n == out.size();
      },
      model, plan, scenario, options);
#else
  (void)model;
  (void)plan;
  (void)scenario;
  (void)options;
  return 2;  // Linux workers are forks of the batch
#endif
}

}  // namespace tds
