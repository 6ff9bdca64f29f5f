#include "sweep_files.h"

#include <filesystem>
#include <map>
#include <set>

#include "cases.h"
#include "interrupt.h"
#include "model.h"
#include "run.h"

namespace tds {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// More cases than any sweep has: a bound for what shard.json may claim.
constexpr std::size_t kMostCases = 100000000;

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

}  // namespace

std::string in_dir(const std::string& dir, const std::string& name) {
  return (fs::path(dir) / name).string();
}

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

std::optional<json> read_format_file(const std::string& dir, const std::string& name,
                                     const std::string& what, const std::string& format,
                                     long long version) {
  const std::string path = in_dir(dir, name);
  std::error_code error;
  if (!fs::exists(path, error)) return std::nullopt;
  json m;
  try {
    m = json::parse(read_text_file(path, what));
  } catch (const json::exception& e) {
    throw InputError(path + ": not a " + what + " (" + std::string(e.what()) + ")");
  }
  if (!m.is_object() || json_string(m, "format", path) != format)
    throw InputError(path + ": not a " + what);
  if (json_integer(m, "formatVersion", path, 0) != version)
    throw InputError(path + ": written by another version of tarvello-run (format " +
                     std::to_string(json_integer(m, "formatVersion", path, 0)) + ", not " +
                     std::to_string(version) + ")");
  return m;
}

// Reads a sweep directory's shard.json; nothing when there is none.
std::optional<json> read_manifest(const std::string& dir) {
  std::optional<json> found =
      read_format_file(dir, kManifest, "shard description", "tarvello-sweep-shard", kShardFormat);
  if (!found) return std::nullopt;
  json& m = *found;
  const std::string path = in_dir(dir, kManifest);
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
  return found;
}

// What differs between two sweeps' records, in words, or an empty string.
std::string difference(const json& a, const json& b) {
  static const std::map<std::string, std::string> words = {
      {"cases", "cases file"},    {"plan", "plan"},        {"scenario", "scenario"},
      {"daily", "per-day table"}, {"module", "module"},    {"description", "description"},
      {"days", "--days"},         {"set", "--set values"}, {"scale", "--scale values"},
      {"vars", "--vars"},         {"every", "--every"},    {"dailyFiles", "--daily"}};
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

bool existing_directory(const std::string& dir, const std::string& what) {
  if (dir.empty()) throw InputError(what + ": the directory name is empty");
  std::error_code error;
  const fs::file_status status = fs::status(dir, error);
  if (fs::exists(status) && !fs::is_directory(status))
    throw InputError(what + ": " + dir + " is not a directory");
  if (fs::exists(status)) return true;
  fs::create_directories(dir, error);
  if (error) throw InputError(what + ": cannot make the directory " + dir + ": " + error.message());
  return false;
}

// Makes sure dir can take a sweep's results: an absent or empty directory,
// or a sweep's own (whose files go first unless the same sweep resumes).
// Returns the manifest found when it may be resumed.
std::optional<json> claim_directory(const std::string& dir, const json& manifest, bool resume,
                                    const std::string& what) {
  std::error_code error;
  if (!existing_directory(dir, what)) return std::nullopt;
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

Journal::Journal(std::string path, const std::string& start) : path_(std::move(path)) {
  write_file_atomically(path_, start);
  std::string reason;
  file_ = RawFile::open_append(path_, reason);
  if (!file_.is_open()) throw RunError("cannot write " + path_ + ": " + reason);
}

void Journal::append(const std::string& records) {
  // Whole records, and none once an interruption has begun: the cases that
  // it stops must not be recorded as crashed.
  const interrupt::Hold held;
  const std::string reason = file_.write(records);
  if (!reason.empty()) throw RunError("cannot write " + path_ + ": " + reason);
}

void Journal::finish(const std::string& final_path) {
  std::string reason = file_.sync();
  if (reason.empty()) reason = file_.close();
  if (reason.empty()) reason = replace_file(path_, final_path);
  if (!reason.empty()) throw RunError("cannot write " + final_path + ": " + reason);
}

}  // namespace tds
