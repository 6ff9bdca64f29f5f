#include "sweep.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "csv.h"
#include "progress.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace tds {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr int kShardFormat = 1;

std::string hex_digest(std::string_view bytes) {
  // FNV-1a, 64 bits: enough to tell the cases files of two sweeps apart.
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return buf;
}

bool safe_case_name(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
  });
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
  return (fs::path(o.out_dir) / (c.name + ".csv")).string();
}

// Runs one case in this process, which must hold a pristine library, and
// returns its summary fields after "case" and "status" as CSV text.
std::string run_case(const Model& model, const Plan& plan, const Scenario& scenario,
                     const SweepCase& c, const SweepOptions& o) {
  RunOptions options = o.run;
  options.days = c.days;
  options.progress = false;
  options.write_csv = o.daily;
  options.overrides.insert(options.overrides.end(), c.values.begin(), c.values.end());

  std::FILE* daily = nullptr;
  const std::string path = daily_path(o, c), partial = path + ".part";
  if (o.daily) {
    daily = std::fopen(partial.c_str(), "wb");
    if (daily == nullptr) throw RunError("cannot write " + partial);
  }
  RunResult r;
  try {
    r = run_model(model, plan, scenario, options, [&](std::string& chunk) {
      if (daily && std::fwrite(chunk.data(), 1, chunk.size(), daily) != chunk.size())
        throw RunError("cannot write " + partial);
    });
  } catch (...) {
    if (daily) std::fclose(daily);
    std::remove(partial.c_str());
    throw;
  }
  if (daily) {
    if (std::fclose(daily) != 0) throw RunError("cannot write " + partial);
    std::error_code error;
    fs::rename(partial, path, error);
    if (error) throw RunError("cannot rename " + partial + ": " + error.message());
  }
  CsvWriter csv;
  csv.number(static_cast<std::int64_t>(r.days));
  for (const Cell& cell : r.finals) csv.cell(cell);
  for (long long n : r.counted) csv.number(static_cast<std::int64_t>(n));
  csv.number(static_cast<std::int64_t>(r.shortfall_days));
  for (long long n : r.shortfall_each) csv.number(static_cast<std::int64_t>(n));
  return csv.buffer();
}

// What a child hands back: its fields, or "!" and the reason it failed.
std::string child_result(const Model& model, const Plan& plan, const Scenario& scenario,
                         const SweepCase& c, const SweepOptions& o, int& status) {
  try {
    status = 0;
    return run_case(model, plan, scenario, c, o);
  } catch (const std::exception& e) {
    status = 1;
    std::string why = e.what();
    std::replace(why.begin(), why.end(), '\n', ' ');
    return "!" + why;
  }
}

struct Outcome {
  bool done = false;
  std::string status;  // "ok" or what went wrong
  std::string fields;  // the summary fields after case and status, when ok
};

void record(Outcome& out, int exit_status, const std::string& data, const std::string& crash) {
  out.done = true;
  if (!crash.empty()) {
    out.status = "crashed: " + crash;
  } else if (!data.empty() && data[0] == '!') {
    out.status = "failed: " + data.substr(1);
  } else if (exit_status != 0 || data.empty()) {
    out.status = "failed: exit status " + std::to_string(exit_status);
  } else {
    out.status = "ok";
    out.fields = data;
  }
}

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

std::string read_and_remove(const std::string& path) {
  std::string data;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) data.append(chunk, n);
    std::fclose(f);
  }
  std::remove(path.c_str());
  return data;
}

// One child process per case: this program again, told to run that case,
// its standard output going to a file that the parent reads when it ends.
void run_children(const std::vector<std::size_t>& todo, const SweepOptions& o,
                  std::vector<Outcome>& outcomes, ProgressBar& progress) {
  char self[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
  if (n == 0 || n == MAX_PATH) throw RunError("cannot find this program's own file");
  struct Running {
    HANDLE process;
    std::size_t index;
    std::string result;
  };
  std::vector<Running> running;
  std::size_t next = 0, finished = 0;
  const unsigned jobs = std::min<unsigned>(o.jobs, MAXIMUM_WAIT_OBJECTS);
  while (next < todo.size() || !running.empty()) {
    while (running.size() < jobs && next < todo.size()) {
      const std::size_t index = todo[next++];
      std::string command = quote_argument(self);
      for (const std::string& arg : o.argv) command += " " + quote_argument(arg);
      command += " --sweep-worker " + std::to_string(index);
      const std::string result =
          (fs::path(o.out_dir) / (".case-" + std::to_string(index))).string();
      SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
      HANDLE out = CreateFileA(result.c_str(), GENERIC_WRITE, 0, &inherit, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
      if (out == INVALID_HANDLE_VALUE) throw RunError("cannot write " + result);
      STARTUPINFOA startup{};
      startup.cb = sizeof startup;
      startup.dwFlags = STARTF_USESTDHANDLES;
      startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
      startup.hStdOutput = out;
      startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
      PROCESS_INFORMATION child{};
      const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                                          nullptr, nullptr, &startup, &child);
      CloseHandle(out);
      if (!started) {
        std::remove(result.c_str());
        record(outcomes[index], 0, "",
               "could not be started (error " + std::to_string(GetLastError()) + ")");
        continue;
      }
      CloseHandle(child.hThread);
      running.push_back({child.hProcess, index, result});
    }
    if (running.empty()) continue;
    std::vector<HANDLE> handles;
    for (const Running& r : running) handles.push_back(r.process);
    const DWORD which =
        WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE);
    const std::size_t k = which - WAIT_OBJECT_0;
    if (k >= running.size()) throw RunError("waiting for a case failed");
    DWORD code = 0;
    GetExitCodeProcess(running[k].process, &code);
    CloseHandle(running[k].process);
    const std::string data = read_and_remove(running[k].result);
    std::string crash;
    if (code >= 0xC0000000u) {
      char text[32];
      std::snprintf(text, sizeof text, "exception 0x%08lx", static_cast<unsigned long>(code));
      crash = text;
    }
    record(outcomes[running[k].index], static_cast<int>(code), data, crash);
    running.erase(running.begin() + static_cast<std::ptrdiff_t>(k));
    progress.update(static_cast<long long>(++finished));
  }
}

#else

// One forked child per case: it inherits the library as loaded, runs its case
// and writes its result into a pipe that the parent reads as it comes.
void run_children(const Model& model, const Plan& plan, const Scenario& scenario,
                  const CaseTable& table, const std::vector<std::size_t>& todo,
                  const SweepOptions& o, std::vector<Outcome>& outcomes, ProgressBar& progress) {
  struct Running {
    pid_t pid;
    int fd;
    std::size_t index;
    std::string data;
  };
  // Every page that parent or child writes while both live is copied once
  // more for each case, so the parent's loop reuses what it has.
  std::vector<Running> running;
  running.reserve(o.jobs);
  std::vector<pollfd> polls;
  polls.reserve(o.jobs);
  std::size_t next = 0, finished = 0;
  std::fflush(nullptr);
  while (next < todo.size() || !running.empty()) {
    while (running.size() < o.jobs && next < todo.size()) {
      const std::size_t index = todo[next++];
      int fds[2];
      if (pipe(fds) != 0)
        throw RunError(std::string("cannot make a pipe: ") + std::strerror(errno));
      const pid_t pid = fork();
      if (pid < 0) throw RunError(std::string("cannot fork: ") + std::strerror(errno));
      if (pid == 0) {
        close(fds[0]);
        for (const Running& r : running) close(r.fd);
        int status = 0;
        const std::string out = child_result(model, plan, scenario, table.cases[index], o, status);
        for (std::size_t done = 0; done < out.size();) {
          const ssize_t n = write(fds[1], out.data() + done, out.size() - done);
          if (n <= 0) _exit(3);
          done += static_cast<std::size_t>(n);
        }
        _exit(status);
      }
      close(fds[1]);
      running.push_back({pid, fds[0], index, {}});
    }
    polls.clear();
    for (const Running& r : running) polls.push_back({r.fd, POLLIN, 0});
    if (poll(polls.data(), polls.size(), -1) < 0) {
      if (errno == EINTR) continue;
      throw RunError(std::string("poll: ") + std::strerror(errno));
    }
    for (std::size_t k = running.size(); k-- > 0;) {
      if (polls[k].revents == 0) continue;
      char chunk[4096];
      const ssize_t n = read(running[k].fd, chunk, sizeof chunk);
      if (n > 0) {
        running[k].data.append(chunk, static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      // End of the child's output: collect it.
      close(running[k].fd);
      int status = 0;
      while (waitpid(running[k].pid, &status, 0) < 0 && errno == EINTR) {
      }
      std::string crash;
      if (WIFSIGNALED(status))
        crash = "killed by signal " + std::to_string(WTERMSIG(status)) + " (" +
                strsignal(WTERMSIG(status)) + ")";
      record(outcomes[running[k].index], WIFEXITED(status) ? WEXITSTATUS(status) : -1,
             running[k].data, crash);
      running.erase(running.begin() + static_cast<std::ptrdiff_t>(k));
      progress.update(static_cast<long long>(++finished));
    }
  }
}

#endif

void write_atomically(const fs::path& path, const std::string& text) {
  const fs::path partial = path.string() + ".part";
  std::FILE* f = std::fopen(partial.string().c_str(), "wb");
  if (f == nullptr) throw RunError("cannot write " + partial.string());
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !written) {
    std::remove(partial.string().c_str());
    throw RunError("cannot write " + partial.string());
  }
  std::error_code error;
  fs::rename(partial, path, error);
  if (error) throw RunError("cannot rename " + partial.string() + ": " + error.message());
}

// The records of a CSV text as they stand, split at line ends outside quotes.
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
  if (!current.empty()) records.push_back(std::move(current));
  return records;
}

}  // namespace

CaseTable CaseTable::parse(std::string_view text, const std::string& source, const Description& d,
                           long long default_days) {
  CaseTable table;
  table.digest = hex_digest(text);
  const CsvTable csv = parse_csv(text, source);
  const TableColumns columns = table_columns(csv, source, d, {"case", "days"});
  const std::optional<std::size_t> case_column = columns.own[0], days_column = columns.own[1];
  if (!case_column) throw InputError(source + ":1: no \"case\" column");
  std::map<std::string, std::size_t> lines;
  for (std::size_t r = 0; r < csv.rows.size(); ++r) {
    const CsvTable::Row& row = csv.rows[r];
    const std::string at = source + ":" + std::to_string(row.line);
    SweepCase c{row.fields[*case_column], r, default_days, {}};
    if (!safe_case_name(c.name))
      throw InputError(at + ": column case: " + quote_input(c.name) +
                       " is not a case name (letters, digits, '.', '_' and '-')");
    if (const auto [it, fresh] = lines.emplace(c.name, row.line); !fresh)
      throw InputError(at + ": column case: '" + c.name + "' is already the case of line " +
                       std::to_string(it->second));
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

std::size_t run_sweep(const Model& model, const Plan& plan, const Scenario& scenario,
                      const CaseTable& table, const SweepOptions& o) {
#if defined(_WIN32)
  (void)scenario;  // each child reads its own
#endif
  std::error_code error;
  fs::create_directories(o.out_dir, error);
  if (error)
    throw InputError("--out: cannot make the directory " + o.out_dir + ": " + error.message());

  std::vector<std::size_t> todo;
  for (std::size_t i = 0; i < table.cases.size(); ++i)
    if (table.cases[i].row % o.shards == o.shard) todo.push_back(i);
  std::vector<Outcome> outcomes(table.cases.size());
  {
    ProgressBar progress(o.progress, static_cast<long long>(todo.size()), "case");
#if defined(_WIN32)
    run_children(todo, o, outcomes, progress);
#else
    run_children(model, plan, scenario, table, todo, o, outcomes, progress);
#endif
  }

  const auto columns = result_columns(model.description(), plan, o.run);
  CsvWriter csv;
  csv.field("case");
  csv.field("status");
  for (const std::string& c : columns) csv.field(c);
  csv.end_row();
  std::size_t failed = 0;
  json rows = json::array();
  for (std::size_t i : todo) {
    const Outcome& out = outcomes[i];
    const SweepCase& c = table.cases[i];
    csv.field(c.name);
    csv.field(out.status);
    if (out.status == "ok") {
      csv.buffer() += "," + out.fields;
    } else {
      ++failed;
      for (std::size_t k = 0; k < columns.size(); ++k) csv.field("");
      if (o.daily) std::remove((daily_path(o, c) + ".part").c_str());
    }
    csv.end_row();
    rows.push_back(c.row);
  }
  if (o.shards > 1) {
    const json shard = {{"format", "tarvello-sweep-shard"},
                        {"formatVersion", kShardFormat},
                        {"shard", o.shard},
                        {"shards", o.shards},
                        {"cases", table.cases.size()},
                        {"casesDigest", table.digest},
                        {"rows", rows}};
    write_atomically(fs::path(o.out_dir) / "shard.json", shard.dump(2) + "\n");
  }
  write_atomically(fs::path(o.out_dir) / "summary.csv", csv.buffer());
  return failed;
}

int run_sweep_case(const Model& model, const Plan& plan, const Scenario& scenario,
                   const CaseTable& table, std::size_t index, const SweepOptions& o) {
  if (index >= table.cases.size()) return 2;
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  int status = 0;
  const std::string out = child_result(model, plan, scenario, table.cases[index], o, status);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  return status;
}

void merge_shards(const std::string& out_dir, const std::vector<std::string>& shard_dirs) {
  struct Shard {
    std::string dir;
    json meta;
    std::vector<std::string> records;
  };
  std::vector<Shard> shards;
  for (const std::string& dir : shard_dirs) {
    Shard s{dir, {}, {}};
    const std::string meta_path = (fs::path(dir) / "shard.json").string();
    try {
      s.meta = json::parse(read_text_file(meta_path, "shard description"));
    } catch (const json::exception& e) {
      throw InputError(meta_path + ": not a shard description (" + e.what() + ")");
    }
    if (s.meta.value("format", "") != "tarvello-sweep-shard" ||
        s.meta.value("formatVersion", 0) != kShardFormat || !s.meta.contains("shard") ||
        !s.meta.contains("shards") || !s.meta.contains("cases") || !s.meta.contains("rows"))
      throw InputError(meta_path + ": not a shard description");
    s.records =
        raw_records(read_text_file((fs::path(dir) / "summary.csv").string(), "shard summary"));
    if (s.records.empty() || s.records.size() - 1 != s.meta["rows"].size())
      throw InputError((fs::path(dir) / "summary.csv").string() +
                       ": its rows do not match shard.json");
    shards.push_back(std::move(s));
  }
  if (shards.empty()) throw InputError("--merge: no shard directories");
  const Shard& first = shards.front();
  const auto n = first.meta["shards"].get<unsigned>();
  const auto cases = first.meta["cases"].get<std::size_t>();
  std::map<unsigned, std::string> seen;
  for (const Shard& s : shards) {
    if (s.meta["shards"] != first.meta["shards"] || s.meta["cases"] != first.meta["cases"] ||
        s.meta.value("casesDigest", "") != first.meta.value("casesDigest", "") ||
        s.records.front() != first.records.front())
      throw InputError("--merge: " + s.dir + " is a shard of another sweep than " + first.dir);
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
  for (const Shard& s : shards) {
    const json& indexes = s.meta["rows"];
    for (std::size_t k = 0; k < indexes.size(); ++k) {
      const auto r = indexes[k].get<std::size_t>();
      if (r >= cases || rows[r] != nullptr)
        throw InputError("--merge: " + s.dir + " holds a case that is out of place");
      rows[r] = &s.records[k + 1];
    }
  }
  std::string text = first.records.front() + "\n";
  for (std::size_t r = 0; r < cases; ++r) {
    if (rows[r] == nullptr)
      throw InputError("--merge: case row " + std::to_string(r) + " is in no shard");
    text += *rows[r] + "\n";
  }
  std::error_code error;
  fs::create_directories(out_dir, error);
  if (error) throw InputError("--merge: cannot make the directory " + out_dir);
  // The cases' daily files, where the shards wrote them.
  for (const Shard& s : shards)
    for (const auto& entry : fs::directory_iterator(s.dir)) {
      const std::string name = entry.path().filename().string();
      if (name == "summary.csv" || name.size() < 5 || name.substr(name.size() - 4) != ".csv")
        continue;
      fs::copy_file(entry.path(), fs::path(out_dir) / name, fs::copy_options::overwrite_existing);
    }
  write_atomically(fs::path(out_dir) / "summary.csv", text);
}

}  // namespace tds
