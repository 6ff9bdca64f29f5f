#include "sweep.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "csv.h"
#include "interrupt.h"
#include "output.h"
#include "progress.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#else
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace tds {

namespace fs = std::filesystem;
using nlohmann::json;

std::string hex_digest(std::string_view bytes) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return buf;
}

namespace {

constexpr int kShardFormat = 2;
constexpr const char* kSummary = "summary.csv";
constexpr const char* kJournal = "summary.csv.partial";
constexpr const char* kManifest = "shard.json";
constexpr std::size_t kLongestCaseName = 200;
// More cases than any sweep has: a bound for what shard.json may claim.
constexpr std::size_t kMostCases = 100000000;

std::string in_dir(const std::string& dir, const std::string& name) {
  return (fs::path(dir) / name).string();
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The summary's columns after "case" and "status".
std::vector<std::string> result_columns(const Description& d, const Plan& plan,
                                        const RunOptions& run) {
  std::vector<std::string> columns = {"days"};
  for (std::size_t v : run.variables) columns.push_back(d.values()[v].name);
  for (const NodeCount& c : plan.counts()) columns.push_back(c.name);
  columns.push_back("shortfall_days");
  for (const NodeCount& c : plan.shortfalls()) columns.push_back(c.name);
  return columns;
}

std::string daily_path(const SweepOptions& o, const SweepCase& c) {
  return in_dir(o.out_dir, c.name + ".csv");
}

// Where a worker writes a case's daily file until it is complete. The sweep
// knows the name, so it can remove what a crashed or stopped worker left.
std::string daily_temporary(const SweepOptions& o, const SweepCase& c) {
  return in_dir(o.out_dir, "." + c.name + ".csv." + o.token + ".tmp");
}

// A case's fields of the summary after "case" and "status".
std::string summary_fields(const RunResult& r) {
  CsvWriter csv;
  csv.number(static_cast<std::int64_t>(r.days));
  for (const Cell& cell : r.finals) csv.cell(cell);
  for (long long n : r.counted) csv.number(static_cast<std::int64_t>(n));
  csv.number(static_cast<std::int64_t>(r.shortfall_days));
  for (long long n : r.shortfall_each) csv.number(static_cast<std::int64_t>(n));
  return csv.buffer();
}

// Runs one case in this process, which must hold a pristine library, and
// returns its summary fields after "case" and "status" as CSV text. With
// `capture` the daily CSV goes there instead of to its file.
std::string run_case(const Model& model, const Plan& plan, const Scenario& scenario,
                     const SweepCase& c, const SweepOptions& o, std::string* capture = nullptr) {
  RunOptions options = o.run;
  options.days = c.days;
  options.on_day = nullptr;
  options.write_csv = o.daily || capture != nullptr;
  options.overrides.insert(options.overrides.end(), c.values.begin(), c.values.end());
  if (capture != nullptr) {
    const RunResult r = run_model(model, plan, scenario, options,
                                  [capture](std::string& chunk) { *capture += chunk; });
    return summary_fields(r);
  }

  RawFile daily;
  const std::string path = daily_path(o, c), temporary = daily_temporary(o, c);
  std::string reason;
  if (o.daily) {
    daily = RawFile::create_new(temporary, reason);
    if (!daily.is_open()) throw RunError("cannot write " + temporary + ": " + reason);
  }
  const RunResult r = run_model(model, plan, scenario, options, [&](std::string& chunk) {
    if (!daily.is_open()) return;
    reason = daily.write(chunk);
    if (!reason.empty()) throw RunError("cannot write " + path + ": " + reason);
  });
  if (o.daily) {
    reason = daily.sync();
    if (reason.empty()) reason = daily.close();
    if (reason.empty()) reason = replace_file(temporary, path);
    if (!reason.empty()) throw RunError("cannot write " + path + ": " + reason);
  }
  return summary_fields(r);
}

// A worker's answer for a case: its fields, or "!" and the reason it failed.
std::string case_answer(const Model& model, const Plan& plan, const Scenario& scenario,
                        const SweepCase& c, const SweepOptions& o) {
  try {
    return run_case(model, plan, scenario, c, o);
  } catch (const std::exception& e) {
    std::remove(daily_temporary(o, c).c_str());
    return "!" + one_line(e.what());
  }
}

// The self-check of a snapshot: the case run, the library restored, the case
// run again; "same" when both runs gave the same bits (every daily value and
// the summary), else what differed.
std::string check_answer(const Model& model, const Plan& plan, const Scenario& scenario,
                         const SweepCase& c, const SweepOptions& o) {
  try {
    std::string first, second;
    const std::string a = run_case(model, plan, scenario, c, o, &first);
    o.snapshot->restore();
    const std::string b = run_case(model, plan, scenario, c, o, &second);
    if (a == b && first == second) return "same";
    return first != second ? "its daily values differ" : "its final values differ";
  } catch (const std::exception& e) {
    return "it failed: " + one_line(e.what());
  }
}

// The worker protocol: the sweep writes one request per line ("r <case
// index>" to run a case, "c <case index>" for the self-check); the worker
// answers each with its length, a line end and the answer itself.
std::string frame(const std::string& payload) {
  return std::to_string(payload.size()) + "\n" + payload;
}

// Takes complete answers off the front of what a worker has written.
std::optional<std::string> next_frame(std::string& buffer) {
  const auto eol = buffer.find('\n');
  if (eol == std::string::npos) return std::nullopt;
  const std::size_t size = std::strtoull(buffer.c_str(), nullptr, 10);
  if (buffer.size() < eol + 1 + size) return std::nullopt;
  std::string payload = buffer.substr(eol + 1, size);
  buffer.erase(0, eol + 1 + size);
  return payload;
}

// The worker's loop: read_some(buffer) appends what arrived and returns false
// at the end of the input; write_all(bytes) returns false when the sweep is
// gone. A one-shot worker serves one case and ends; a lasting one restores
// the library's snapshot before every case, so that it does not matter what
// the process it was forked from had done with the library.
template <class Read, class Write>
int serve(Read read_some, Write write_all, const Model& model, const Plan& plan,
          const Scenario& scenario, const CaseTable& table, const SweepOptions& o, bool one_shot) {
  std::string in;
  for (;;) {
    const auto eol = in.find('\n');
    if (eol == std::string::npos) {
      if (!read_some(in)) return 0;
      continue;
    }
    const std::string request = in.substr(0, eol);
    in.erase(0, eol + 1);
    const std::size_t index =
        std::strtoull(request.c_str() + std::min<std::size_t>(2, request.size()), nullptr, 10);
    const bool check = request.rfind("c ", 0) == 0;
    if ((!check && request.rfind("r ", 0) != 0) || index >= table.cases.size() ||
        (o.snapshot == nullptr && (check || !one_shot)))
      return 2;
    if (!one_shot) o.snapshot->restore();
    const SweepCase& c = table.cases[index];
    if (!write_all(frame(check ? check_answer(model, plan, scenario, c, o)
                               : case_answer(model, plan, scenario, c, o))))
      return 3;
    if (one_shot) return 0;
  }
}

// What the pool reports: an answer from a worker, or its end.
struct Event {
  std::size_t slot = 0;
  bool ended = false;
  std::string answer;  // when !ended
  std::string crash;   // when ended: how it died, if it died of a crash
  int status = 0;      // when ended normally: its exit status
};

#if defined(_WIN32)

std::string quote_argument(const std::string& arg) {
  // The quoting that the C runtime's command-line parser undoes.
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string out = "\"";
  for (std::size_t i = 0;; ++i) {
    std::size_t backslashes = 0;
    while (i < arg.size() && arg[i] == '\\') {
      ++i;
      ++backslashes;
    }
    if (i == arg.size()) {
      out.append(backslashes * 2, '\\');
      break;
    }
    if (arg[i] == '"') {
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    out += arg[i];
  }
  return out + "\"";
}

// Workers are this program again, started with --sweep-worker, in the job
// object that kills them when the sweep ends in any way. A thread per worker
// reads its answers.
class Pool {
 public:
  // `lasting` tells, at each start, whether the new worker is to restore the
  // snapshot between cases or serve one case.
  Pool(std::size_t slots, const SweepOptions& o, const bool& lasting)
      : workers_(slots), lasting_(lasting) {
    char self[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (n == 0 || n == MAX_PATH) throw RunError("cannot find this program's own file");
    command_ = quote_argument(self);
    for (const std::string& arg : o.argv) command_ += " " + quote_argument(arg);
    command_ += " --sweep-worker " + o.token;
  }
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;
  Pool(Pool&&) = delete;
  Pool& operator=(Pool&&) = delete;
  ~Pool() {
    for (Worker& w : workers_)
      if (w.process != nullptr) TerminateProcess(w.process, 1);
    for (Worker& w : workers_) finish(w);
  }

  // Starts a worker in the slot; false when it cannot be started.
  bool start(std::size_t slot, std::string& why) {
    Worker& w = workers_[slot];
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE request_read = nullptr, request_write = nullptr, answer_read = nullptr,
           answer_write = nullptr;
    if (!CreatePipe(&request_read, &request_write, &inherit, 0)) {
      why = "cannot make a pipe: " + last_windows_error();
      return false;
    }
    if (!CreatePipe(&answer_read, &answer_write, &inherit, 0)) {
      why = "cannot make a pipe: " + last_windows_error();
      CloseHandle(request_read);
      CloseHandle(request_write);
      return false;
    }
    SetHandleInformation(request_write, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(answer_read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = request_read;
    startup.hStdOutput = answer_write;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    std::string command = command_ + (lasting_ ? ":snapshot" : ":process");
    const interrupt::Hold held;  // in the job before an interruption can miss it
    const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE,
                                        CREATE_SUSPENDED, nullptr, nullptr, &startup, &child);
    CloseHandle(request_read);
    CloseHandle(answer_write);
    if (!started) {
      why = "could not be started (" + last_windows_error() + ")";
      CloseHandle(request_write);
      CloseHandle(answer_read);
      return false;
    }
    AssignProcessToJobObject(static_cast<HANDLE>(interrupt::job()), child.hProcess);
    ResumeThread(child.hThread);
    CloseHandle(child.hThread);
    w.process = child.hProcess;
    w.to = request_write;
    w.reader = std::thread([this, slot, answer_read, process = child.hProcess] {
      read_loop(slot, answer_read, process);
    });
    return true;
  }

  bool send(std::size_t slot, const std::string& request) {
    DWORD n = 0;
    return WriteFile(workers_[slot].to, request.data(), static_cast<DWORD>(request.size()), &n,
                     nullptr) &&
           n == request.size();
  }

  // No more requests: the worker ends when it has answered.
  void retire(std::size_t slot) {
    Worker& w = workers_[slot];
    if (w.to != nullptr) CloseHandle(w.to);
    w.to = nullptr;
  }

  Event wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return !events_.empty(); });
    Event e = std::move(events_.front());
    events_.pop_front();
    lock.unlock();
    if (e.ended) finish(workers_[e.slot]);
    return e;
  }

 private:
  struct Worker {
    HANDLE process = nullptr;
    HANDLE to = nullptr;
    std::thread reader;
  };

  void finish(Worker& w) {
    if (w.reader.joinable()) w.reader.join();
    retire(static_cast<std::size_t>(&w - workers_.data()));
    if (w.process != nullptr) CloseHandle(w.process);
    w.process = nullptr;
  }

  void push(Event e) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      events_.push_back(std::move(e));
    }
    ready_.notify_one();
  }

  void read_loop(std::size_t slot, HANDLE from, HANDLE process) {
    std::string buffer;
    char chunk[4096];
    for (DWORD n = 0; ReadFile(from, chunk, sizeof chunk, &n, nullptr) && n > 0;) {
      buffer.append(chunk, n);
      while (auto answer = next_frame(buffer)) push({slot, false, std::move(*answer), {}, 0});
    }
    CloseHandle(from);
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    Event e{slot, true, {}, {}, static_cast<int>(code)};
    if (code >= 0xC0000000u) {
      char text[32];
      std::snprintf(text, sizeof text, "exception 0x%08lx", static_cast<unsigned long>(code));
      e.crash = text;
    }
    push(std::move(e));
  }

  std::vector<Worker> workers_;
  const bool& lasting_;
  std::string command_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Event> events_;
};

#else

// Workers are forks of this process, which holds the library as loaded. The
// pool polls their answer pipes.
class Pool {
 public:
  using Body = std::function<int(int from_sweep, int to_sweep)>;
  Pool(std::size_t slots, Body body) : workers_(slots), body_(std::move(body)) {}
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;
  Pool(Pool&&) = delete;
  Pool& operator=(Pool&&) = delete;
  ~Pool() {
    for (Worker& w : workers_)
      if (w.pid > 0) kill(w.pid, SIGKILL);
    for (Worker& w : workers_)
      if (w.pid > 0) reap(w);
  }

  bool start(std::size_t slot, std::string& why) {
    Worker& w = workers_[slot];
    int requests[2], answers[2];
    if (pipe(requests) != 0) {
      why = "cannot make a pipe: " + error_text(errno);
      return false;
    }
    if (pipe(answers) != 0) {
      why = "cannot make a pipe: " + error_text(errno);
      close(requests[0]);
      close(requests[1]);
      return false;
    }
    std::fflush(nullptr);
    const interrupt::Hold held;
    const pid_t pid = fork();
    if (pid < 0) {
      why = "cannot fork: " + error_text(errno);
      for (int fd : {requests[0], requests[1], answers[0], answers[1]}) close(fd);
      return false;
    }
    if (pid == 0) {
      interrupt::as_child();
      for (const Worker& other : workers_) {
        if (other.to >= 0) close(other.to);
        if (other.from >= 0) close(other.from);
      }
      close(requests[1]);
      close(answers[0]);
      _exit(body_(requests[0], answers[1]));
    }
    interrupt::add_child(pid);
    close(requests[0]);
    close(answers[1]);
    w.pid = pid;
    w.to = requests[1];
    w.from = answers[0];
    w.buffer.clear();
    return true;
  }

  bool send(std::size_t slot, const std::string& request) {
    const Worker& w = workers_[slot];
    for (std::size_t done = 0; done < request.size();) {
      const ssize_t n = write(w.to, request.data() + done, request.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  void retire(std::size_t slot) {
    Worker& w = workers_[slot];
    if (w.to >= 0) close(w.to);
    w.to = -1;
  }

  Event wait() {
    for (;;) {
      polls_.clear();
      slots_.clear();
      for (std::size_t s = 0; s < workers_.size(); ++s)
        if (workers_[s].from >= 0) {
          polls_.push_back({workers_[s].from, POLLIN, 0});
          slots_.push_back(s);
        }
      if (polls_.empty()) throw RunError("a sweep waited for no worker");
      if (poll(polls_.data(), polls_.size(), -1) < 0) {
        if (errno == EINTR) continue;
        throw RunError("poll: " + error_text(errno));
      }
      for (std::size_t k = 0; k < polls_.size(); ++k) {
        if (polls_[k].revents == 0) continue;
        Worker& w = workers_[slots_[k]];
        char chunk[65536];
        const ssize_t n = read(w.from, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n > 0) {
          w.buffer.append(chunk, static_cast<std::size_t>(n));
          if (auto answer = next_frame(w.buffer))
            return {slots_[k], false, std::move(*answer), {}, 0};
          continue;
        }
        // The end of its answers: the worker has ended.
        return reap(w);
      }
    }
  }

 private:
  struct Worker {
    pid_t pid = -1;
    int to = -1, from = -1;
    std::string buffer;
  };

  Event reap(Worker& w) {
    Event e;
    e.slot = static_cast<std::size_t>(&w - workers_.data());
    e.ended = true;
    if (w.from >= 0) close(w.from);
    if (w.to >= 0) close(w.to);
    w.from = w.to = -1;
    int status = 0;
    {
      const interrupt::Hold held;
      while (waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
      }
      interrupt::remove_child(w.pid);
    }
    w.pid = -1;
    if (WIFSIGNALED(status))
      e.crash = "killed by signal " + std::to_string(WTERMSIG(status)) + " (" +
                strsignal(WTERMSIG(status)) + ")";
    else
      e.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return e;
  }

  std::vector<Worker> workers_;
  Body body_;
  std::vector<pollfd> polls_;
  std::vector<std::size_t> slots_;
};

#endif

// The records of a CSV text as they stand, split at line ends outside quotes;
// a last record without its line end is left out (a write cut short).
std::vector<std::string> raw_records(const std::string& text) {
  std::vector<std::string> records;
  std::string current;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (c == '\n' && !quoted) {
      records.push_back(std::move(current));
      current.clear();
    } else {
      current += c;
    }
  }
  return records;
}

// The first field of a record (case names need no quoting).
std::string first_field(const std::string& record) { return record.substr(0, record.find(',')); }

bool record_ok(const std::string& record) {
  const auto comma = record.find(',');
  return comma != std::string::npos && record.compare(comma + 1, 3, "ok,") == 0;
}

std::string read_file_or_empty(const std::string& path) {
  std::error_code error;
  if (!fs::exists(path, error)) return {};
  return read_text_file(path, "file");
}

// Reads a sweep directory's shard.json; nothing when there is none.
std::optional<json> read_manifest(const std::string& dir) {
  const std::string path = in_dir(dir, kManifest);
  std::error_code error;
  if (!fs::exists(path, error)) return std::nullopt;
  json m;
  try {
    m = json::parse(read_text_file(path, "shard description"));
  } catch (const json::exception& e) {
    throw InputError(path + ": not a shard description (" + std::string(e.what()) + ")");
  }
  if (!m.is_object() || json_string(m, "format", path) != "tarvello-sweep-shard")
    throw InputError(path + ": not a shard description");
  if (json_integer(m, "formatVersion", path, 0) != kShardFormat)
    throw InputError(path + ": written by another version of tarvello-run (format " +
                     std::to_string(json_integer(m, "formatVersion", path, 0)) + ", not " +
                     std::to_string(kShardFormat) + ")");
  const long long cases = json_integer(m, "cases", path, -1);
  const long long shards = json_integer(m, "shards", path, -1);
  const long long shard = json_integer(m, "shard", path, -1);
  if (cases < 1 || static_cast<unsigned long long>(cases) > kMostCases)
    throw InputError(path + ": \"cases\" must be a number of cases from 1 to " +
                     std::to_string(kMostCases));
  if (shards < 1 || shards > 1000000 || shard < 0 || shard >= shards)
    throw InputError(path + ": \"shard\" and \"shards\" must be I and N with 0 <= I < N");
  json_string(m, "casesDigest", path);
  json_bool(m, "complete", path, false);
  const json& names = json_list(m, "caseNames", path);
  if (names.size() > static_cast<std::size_t>(cases))
    throw InputError(path + ": more case names than cases");
  for (const json& n : names)
    if (!n.is_string() || !case_name_problem(n.get<std::string>()).empty())
      throw InputError(path + ": \"caseNames\" must be a list of case names");
  if (!m.contains("identity") || !m["identity"].is_object() ||
      !m["identity"].value("inputs", json::object()).is_object() ||
      !m["identity"].value("options", json::object()).is_object())
    throw InputError(path + ": \"identity\" must be an object of inputs and options");
  return m;
}

// What differs between two sweeps' records, in words, or an empty string.
std::string difference(const json& a, const json& b) {
  static const std::map<std::string, std::string> words = {
      {"cases", "cases file"},    {"plan", "plan"},         {"scenario", "scenario"},
      {"daily", "per-day table"}, {"module", "module"},     {"description", "description"},
      {"days", "--days"},         {"set", "--set values"},  {"vars", "--vars"},
      {"every", "--every"},       {"dailyFiles", "--daily"}};
  if (a.value("casesDigest", json()) != b.value("casesDigest", json())) return "cases file";
  if (a.value("cases", json()) != b.value("cases", json())) return "number of cases";
  if (a.value("shards", json()) != b.value("shards", json())) return "number of shards";
  for (const char* part : {"inputs", "options"}) {
    const json empty = json::object();
    const json& x = a["identity"].value(part, empty);
    const json& y = b["identity"].value(part, empty);
    std::set<std::string> keys;
    for (const auto& [k, v] : x.items()) keys.insert(k);
    for (const auto& [k, v] : y.items()) keys.insert(k);
    for (const std::string& k : keys)
      if (x.value(k, json()) != y.value(k, json()))
        return words.count(k) ? words.at(k) : std::string(k);
  }
  return a["identity"] == b["identity"] ? std::string() : std::string("inputs");
}

// The files that the sweep recorded in a manifest owns in its directory.
void remove_owned(const std::string& dir, const json& manifest) {
  std::set<std::string> owned = {kSummary, kJournal};
  for (const json& n : manifest["caseNames"]) owned.insert(n.get<std::string>() + ".csv");
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir, error)) {
    const std::string name = entry.path().filename().string();
    bool remove = owned.count(name) > 0;
    // A temporary file of an owned one: ".<name>.<token>.tmp".
    if (!remove && name.size() > 5 && name[0] == '.' && name.size() >= 4 &&
        name.compare(name.size() - 4, 4, ".tmp") == 0) {
      const std::string inner = name.substr(1, name.size() - 5);
      const auto dot = inner.rfind('.');
      remove = dot != std::string::npos && owned.count(inner.substr(0, dot)) > 0;
    }
    if (remove) fs::remove(entry.path(), error);
  }
  fs::remove(in_dir(dir, kManifest), error);
}

// Makes sure dir can take a sweep's results: an absent or empty directory,
// or a sweep's own (whose files go first unless the same sweep resumes).
// Returns the manifest found when it may be resumed.
std::optional<json> claim_directory(const std::string& dir, const json& manifest, bool resume,
                                    const std::string& what) {
  if (dir.empty()) throw InputError(what + ": the directory name is empty");
  std::error_code error;
  const fs::file_status status = fs::status(dir, error);
  if (fs::exists(status) && !fs::is_directory(status))
    throw InputError(what + ": " + dir + " is not a directory");
  if (!fs::exists(status)) {
    fs::create_directories(dir, error);
    if (error)
      throw InputError(what + ": cannot make the directory " + dir + ": " + error.message());
    return std::nullopt;
  }
  std::optional<json> found = read_manifest(dir);
  if (!found) {
    if (!fs::is_empty(dir, error))
      throw InputError(what + ": " + dir +
                       " is not empty and holds no sweep (no shard.json); give a new or empty "
                       "directory");
    return std::nullopt;
  }
  if (resume) {
    const std::string differs = difference(*found, manifest);
    if (differs.empty() && found->value("shard", -1) == manifest["shard"]) return found;
    throw InputError("--resume: " + dir + " holds another sweep (its " +
                     (differs.empty() ? std::string("shard") : differs) + " differs)");
  }
  remove_owned(dir, *found);
  return std::nullopt;
}

// The summary so far, appended to as the cases finish in order.
class Journal {
 public:
  Journal(std::string path, const std::string& start) : path_(std::move(path)) {
    write_file_atomically(path_, start);
    std::string reason;
    file_ = RawFile::open_append(path_, reason);
    if (!file_.is_open()) throw RunError("cannot write " + path_ + ": " + reason);
  }
  void append(const std::string& records) {
    // Whole records, and none once an interruption has begun: the cases that
    // it stops must not be recorded as crashed.
    const interrupt::Hold held;
    const std::string reason = file_.write(records);
    if (!reason.empty()) throw RunError("cannot write " + path_ + ": " + reason);
  }
  void finish(const std::string& final_path) {
    std::string reason = file_.sync();
    if (reason.empty()) reason = file_.close();
    if (reason.empty()) reason = replace_file(path_, final_path);
    if (!reason.empty()) throw RunError("cannot write " + final_path + ": " + reason);
  }

 private:
  std::string path_;
  RawFile file_;
};

}  // namespace

std::string case_name_problem(const std::string& name) {
  if (name.empty() || name == "." || name == ".." ||
      !std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '_' || c == '-';
      }))
    return "is not a case name (letters, digits, '.', '_' and '-')";
  if (name.size() > kLongestCaseName)
    return "is longer than " + std::to_string(kLongestCaseName) + " bytes";
  if (name.back() == '.') return "ends in a dot, which Windows drops from file names";
  const std::string stem = upper(name.substr(0, name.find('.')));
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" ||
      (stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) &&
       stem[3] >= '1' && stem[3] <= '9'))
    return "is a device name on Windows, not a file name";
  if (upper(name) == "SUMMARY") return "would write summary.csv, the sweep's own summary";
  return {};
}

CaseTable CaseTable::parse(std::string_view text, const std::string& source, const Description& d,
                           long long default_days) {
  CaseTable table;
  table.digest = hex_digest(text);
  const CsvTable csv = parse_csv(text, source);
  const TableColumns columns = table_columns(csv, source, d, {"case", "days"});
  const std::optional<std::size_t> case_column = columns.own[0], days_column = columns.own[1];
  if (!case_column) throw InputError(source + ":1: no \"case\" column");
  std::map<std::string, std::pair<std::size_t, std::string>> lines;  // upper-case name
  for (std::size_t r = 0; r < csv.rows.size(); ++r) {
    const CsvTable::Row& row = csv.rows[r];
    const std::string at = source + ":" + std::to_string(row.line);
    SweepCase c{row.fields[*case_column], r, default_days, {}};
    if (const std::string problem = case_name_problem(c.name); !problem.empty())
      throw InputError(at + ": column case: " + quote_input(c.name) + " " + problem);
    if (const auto [it, fresh] = lines.emplace(upper(c.name), std::pair(row.line, c.name)); !fresh)
      throw InputError(at + ": column case: '" + c.name + "' " +
                       (it->second.second == c.name
                            ? "is already the case of line " + std::to_string(it->second.first)
                            : "differs only in letter case from '" + it->second.second +
                                  "' of line " + std::to_string(it->second.first) +
                                  ": one file on Windows"));
    if (days_column && !row.fields[*days_column].empty()) {
      c.days = parse_positive(row.fields[*days_column], at + ": column days");
    }
    for (const auto& [column, value] : columns.values) {
      const std::string& field = row.fields[column];
      if (field.empty()) continue;  // this case leaves the value alone
      c.values.emplace_back(value,
                            parse_cell(d.values()[value].kind, field,
                                       at + ": column " + d.values()[value].name, table.texts));
    }
    table.cases.push_back(std::move(c));
  }
  if (table.cases.empty()) throw InputError(source + ": no cases");
  return table;
}

SweepResult run_sweep(const Model& model, const Plan& plan, const Scenario& scenario,
                      const CaseTable& table, const SweepOptions& o) {
#if defined(_WIN32)
  (void)scenario;  // each worker reads its own
#endif
  std::vector<std::size_t> todo;
  json names = json::array();
  for (std::size_t i = 0; i < table.cases.size(); ++i)
    if (table.cases[i].row % o.shards == o.shard) {
      todo.push_back(i);
      names.push_back(table.cases[i].name);
    }
  const auto columns = result_columns(model.description(), plan, o.run);
  CsvWriter header;
  header.field("case");
  header.field("status");
  for (const std::string& c : columns) header.field(c);
  header.end_row();

  json manifest = {{"format", "tarvello-sweep-shard"},
                   {"formatVersion", kShardFormat},
                   {"shard", o.shard},
                   {"shards", o.shards},
                   {"cases", table.cases.size()},
                   {"casesDigest", table.digest},
                   {"identity", o.identity},
                   {"caseNames", names},
                   {"complete", false}};
  const std::optional<json> resumed = claim_directory(o.out_dir, manifest, o.resume, "--out");

  // What a resumed sweep keeps: the summary's rows in order as far as they
  // belong to this sweep's cases, each with its daily file.
  std::vector<std::string> records;
  SweepResult result;
  if (resumed) {
    std::string text = read_file_or_empty(in_dir(o.out_dir, kJournal));
    if (text.empty()) text = read_file_or_empty(in_dir(o.out_dir, kSummary));
    const std::vector<std::string> found = raw_records(text);
    if (!found.empty() && found.front() + "\n" == header.buffer()) {
      for (std::size_t k = 1; k < found.size() && k - 1 < todo.size(); ++k) {
        const SweepCase& c = table.cases[todo[k - 1]];
        std::error_code error;
        if (first_field(found[k]) != c.name ||
            (o.daily && record_ok(found[k]) && !fs::exists(daily_path(o, c), error)))
          break;
        records.push_back(found[k]);
      }
    }
  }
  result.kept = records.size();
  {
    const interrupt::Hold held;  // the manifest and the journal, each whole
    write_file_atomically(in_dir(o.out_dir, kManifest), manifest.dump() + "\n");
  }
  std::string start = header.buffer();
  for (const std::string& r : records) start += r + "\n";
  Journal journal(in_dir(o.out_dir, kJournal), start);

  records.resize(todo.size());
  std::vector<bool> done(todo.size(), false);
  for (std::size_t k = 0; k < result.kept; ++k) done[k] = true;
  std::size_t written = result.kept;  // records in the journal
  auto record = [&](std::size_t k, const std::string& status, const std::string& fields) {
    const SweepCase& c = table.cases[todo[k]];
    CsvWriter row;
    row.field(c.name);
    row.field(status);
    std::string text = row.buffer();
    if (status == "ok") {
      text += "," + fields;
    } else {
      text.append(columns.size(), ',');
    }
    records[k] = std::move(text);
    done[k] = true;
    std::string ready;
    for (; written < todo.size() && done[written]; ++written) ready += records[written] + "\n";
    if (!ready.empty()) journal.append(ready);
  };

  // Cases to run, each on the next free worker: a lasting worker that
  // restores the snapshot before each case, or a fresh worker per case.
  bool lasting = o.isolation == Isolation::Snapshot && o.snapshot != nullptr;
  std::size_t next = result.kept;
  const std::size_t slots = std::min<std::size_t>(o.jobs, std::max<std::size_t>(todo.size(), 1));
  std::vector<std::optional<std::size_t>> running(slots);  // the case each slot runs
  std::vector<std::size_t> temporary_slot(slots, 0);
  std::vector<bool> answered(slots, false);
  {
#if defined(_WIN32)
    Pool pool(slots, o, lasting);
#else
    Pool pool(slots, [&](int from_sweep, int to_sweep) {
      return serve(
          [from_sweep](std::string& in) {
            char chunk[4096];
            for (;;) {
              const ssize_t n = read(from_sweep, chunk, sizeof chunk);
              if (n < 0 && errno == EINTR) continue;
              if (n <= 0) return false;
              in.append(chunk, static_cast<std::size_t>(n));
              return true;
            }
          },
          [to_sweep](const std::string& out) {
            for (std::size_t sent = 0; sent < out.size();) {
              const ssize_t n = write(to_sweep, out.data() + sent, out.size() - sent);
              if (n < 0 && errno == EINTR) continue;
              if (n <= 0) return false;
              sent += static_cast<std::size_t>(n);
            }
            return true;
          },
          model, plan, scenario, table, o, !lasting);
    });
#endif
    ProgressBar progress(o.progress, static_cast<long long>(todo.size() - result.kept), "case");
    std::size_t finished = 0, busy = 0;
    std::vector<bool> alive(slots, false);
    // The self-check: the first case to run, twice in one worker with a
    // restore between; any difference, and every case gets a process.
    if (lasting && next < todo.size()) {
      std::string why, verdict = "the self-check's worker did not start";
      if (pool.start(0, why) && pool.send(0, "c " + std::to_string(todo[next]) + "\n")) {
        const Event e = pool.wait();
        alive[0] = !e.ended;
        verdict = e.ended ? "the self-check's worker ended" : e.answer;
      }
      if (verdict != "same") {
        std::fprintf(stderr,
                     "tarvello-run: a restored library did not repeat its first run (%s): each "
                     "case runs in a process of its own\n",
                     verdict.c_str());
        lasting = false;
        if (alive[0]) {
          pool.retire(0);
          while (!pool.wait().ended) {
          }
          alive[0] = false;
        }
      }
    }
    // Gives the slot's worker its next case, starting a worker when the slot
    // has none.
    auto dispatch = [&](std::size_t slot) {
      while (next < todo.size()) {
        const std::size_t k = next++;
        const SweepCase& c = table.cases[todo[k]];
        std::string why;
        if (!alive[slot] && !pool.start(slot, why)) {
          record(k, "crashed: " + why, "");
          progress.update(static_cast<long long>(++finished));
          continue;
        }
        alive[slot] = true;
        if (o.daily) temporary_slot[slot] = interrupt::add_file(daily_temporary(o, c));
        running[slot] = k;
        answered[slot] = false;
        ++busy;
        pool.send(slot, "r " + std::to_string(todo[k]) + "\n");
        if (!lasting) pool.retire(slot);
        return;
      }
      if (alive[slot]) pool.retire(slot);  // nothing left: it ends
    };
    for (std::size_t s = 0; s < slots; ++s) dispatch(s);
    while (busy > 0) {
      const Event e = pool.wait();
      if (e.ended) alive[e.slot] = false;
      if (!running[e.slot]) continue;  // a worker that had nothing to do
      const std::size_t k = *running[e.slot];
      const SweepCase& c = table.cases[todo[k]];
      if (!e.ended) {
        if (!e.answer.empty() && e.answer[0] == '!')
          record(k, "failed: " + e.answer.substr(1), "");
        else
          record(k, "ok", e.answer);
        answered[e.slot] = true;
        if (!lasting) continue;  // its end follows
      } else if (!answered[e.slot]) {
        record(k,
               e.crash.empty() ? "failed: exit status " + std::to_string(e.status)
                               : "crashed: " + e.crash,
               "");
      }
      if (o.daily) {
        std::remove(daily_temporary(o, c).c_str());
        interrupt::remove_file(temporary_slot[e.slot]);
      }
      running[e.slot].reset();
      --busy;
      progress.update(static_cast<long long>(++finished));
      dispatch(e.slot);
    }
  }
  result.ran = todo.size() - result.kept;
  for (std::size_t k = 0; k < todo.size(); ++k)
    if (!record_ok(records[k])) ++result.failed;

  std::string rows_text;
  json rows = json::array();
  for (std::size_t k = 0; k < todo.size(); ++k) {
    rows_text += records[k] + "\n";
    rows.push_back(table.cases[todo[k]].row);
  }
  journal.finish(in_dir(o.out_dir, kSummary));
  manifest["complete"] = true;
  manifest["rows"] = rows;
  manifest["rowsDigest"] = hex_digest(rows_text);
  write_file_atomically(in_dir(o.out_dir, kManifest), manifest.dump() + "\n");
  return result;
}

int serve_sweep_worker(const Model& model, const Plan& plan, const Scenario& scenario,
                       const CaseTable& table, const SweepOptions& o) {
  interrupt::as_child();
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
      model, plan, scenario, table, o, o.isolation == Isolation::Process);
#else
  (void)model;
  (void)plan;
  (void)scenario;
  (void)table;
  (void)o;
  return 2;  // Linux workers are forks of the sweep
#endif
}

void merge_shards(const std::string& out_dir, const std::vector<std::string>& shard_dirs) {
  struct Shard {
    std::string dir;
    json meta;
    std::vector<std::string> records;
  };
  if (shard_dirs.empty()) throw InputError("--merge: no shard directories");
  std::vector<Shard> shards;
  std::error_code error;
  for (const std::string& dir : shard_dirs) {
    if (fs::exists(out_dir, error) && fs::equivalent(out_dir, dir, error))
      throw InputError("--merge: the output directory " + out_dir + " is one of the shards");
    std::optional<json> meta = read_manifest(dir);
    if (!meta) throw InputError("--merge: " + dir + " holds no shard (no shard.json)");
    const std::string summary = in_dir(dir, kSummary);
    if (!json_bool(*meta, "complete", dir, false) || !fs::exists(summary, error))
      throw InputError("--merge: " + dir + " holds a sweep that has not finished (--resume it)");
    Shard s{dir, std::move(*meta), raw_records(read_text_file(summary, "shard summary"))};
    const json& rows = json_list(s.meta, "rows", in_dir(dir, kManifest));
    const json& names = s.meta["caseNames"];
    if (s.records.empty() || s.records.size() - 1 != rows.size() || names.size() != rows.size())
      throw InputError("--merge: " + summary + ": its rows do not match shard.json");
    std::string rows_text;
    for (std::size_t k = 1; k < s.records.size(); ++k) rows_text += s.records[k] + "\n";
    if (hex_digest(rows_text) != json_string(s.meta, "rowsDigest", in_dir(dir, kManifest)))
      throw InputError("--merge: " + summary + " has been changed since its sweep wrote it");
    const auto shard = s.meta["shard"].get<long long>(), count = s.meta["shards"].get<long long>();
    const auto cases = s.meta["cases"].get<long long>();
    for (std::size_t k = 0; k < rows.size(); ++k) {
      if (!rows[k].is_number_integer() || rows[k].get<long long>() < 0 ||
          rows[k].get<long long>() >= cases || rows[k].get<long long>() % count != shard ||
          (k > 0 && rows[k].get<long long>() <= rows[k - 1].get<long long>()))
        throw InputError("--merge: " + in_dir(dir, kManifest) +
                         ": its rows are not this shard's in ascending order");
      if (first_field(s.records[k + 1]) != names[k].get<std::string>())
        throw InputError("--merge: " + summary + ": row " + std::to_string(k + 1) +
                         " is not the case shard.json names");
    }
    shards.push_back(std::move(s));
  }
  const Shard& first = shards.front();
  const auto n = first.meta["shards"].get<unsigned>();
  const auto cases = first.meta["cases"].get<std::size_t>();
  std::map<unsigned, std::string> seen;
  for (const Shard& s : shards) {
    const std::string differs = difference(first.meta, s.meta);
    if (!differs.empty())
      throw InputError("--merge: " + s.dir + " is a shard of another sweep than " + first.dir +
                       ": its " + differs + " differs");
    if (s.records.front() != first.records.front())
      throw InputError("--merge: " + s.dir + " has other summary columns than " + first.dir);
    const auto i = s.meta["shard"].get<unsigned>();
    if (const auto [it, fresh] = seen.emplace(i, s.dir); !fresh)
      throw InputError("--merge: shard " + std::to_string(i) + " of " + std::to_string(n) +
                       " appears twice: " + it->second + " and " + s.dir);
  }
  for (unsigned i = 0; i < n; ++i)
    if (!seen.count(i))
      throw InputError("--merge: shard " + std::to_string(i) + " of " + std::to_string(n) +
                       " is missing");
  std::vector<const std::string*> rows(cases, nullptr);
  std::vector<const std::string*> row_names(cases, nullptr);
  std::vector<const Shard*> owner(cases, nullptr);
  for (const Shard& s : shards) {
    const json& indexes = s.meta["rows"];
    for (std::size_t k = 0; k < indexes.size(); ++k) {
      const auto r = indexes[k].get<std::size_t>();
      rows[r] = &s.records[k + 1];
      row_names[r] = s.meta["caseNames"][k].get_ptr<const std::string*>();
      owner[r] = &s;
    }
  }
  std::string text = first.records.front() + "\n", rows_text;
  json all_rows = json::array(), all_names = json::array();
  for (std::size_t r = 0; r < cases; ++r) {
    if (rows[r] == nullptr)
      throw InputError("--merge: case row " + std::to_string(r) + " is in no shard");
    rows_text += *rows[r] + "\n";
    all_rows.push_back(r);
    all_names.push_back(*row_names[r]);
  }
  text += rows_text;
  json merged = first.meta;
  merged["shard"] = 0;
  merged["shards"] = 1;
  merged["caseNames"] = all_names;
  merged["rows"] = all_rows;
  merged["rowsDigest"] = hex_digest(rows_text);
  claim_directory(out_dir, merged, false, "--merge");
  // The cases' daily files, where the shards wrote them.
  const bool daily =
      first.meta["identity"].value("options", json::object()).value("dailyFiles", false);
  if (daily)
    for (std::size_t r = 0; r < cases; ++r) {
      if (!record_ok(*rows[r])) continue;
      const std::string name = *row_names[r] + ".csv";
      write_file_atomically(in_dir(out_dir, name),
                            read_text_file(in_dir(owner[r]->dir, name), "daily file"));
    }
  write_file_atomically(in_dir(out_dir, kSummary), text);
  write_file_atomically(in_dir(out_dir, kManifest), merged.dump() + "\n");
}

}  // namespace tds
