#include "batch_worker.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <optional>
#include <string>

#include "batch.h"
#include "snapshot.h"
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
  wire::Tables tables;  // the per-day tables of the cases so far, by id
  for (;;) {
    std::optional<std::string> payload = wire::next_frame(in);
    if (!payload) {
      if (!read_some(in)) return 0;
      continue;
    }
    wire::Request kind{};
    texts.clear();
    if (!wire::decode_request(*payload, kind, c, texts, model.description(), tables)) return 2;
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

#if !defined(_WIN32)
int serve_forked_worker(int requests, int answers, const Model& model, const Plan& plan,
                        const Scenario& scenario, const BatchOptions& options) {
  return serve([requests](std::string& in) { return read_some(requests, in); },
               [answers](const std::string& out) { return write_all(answers, out); }, model, plan,
               scenario, options);
}
#endif

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
