#include "run_record.h"

#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "cases.h"
#include "model.h"
#include "run.h"
#include "study.h"
#include "study_plot.h"
#include "sweep_files.h"

namespace tds {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// More cases than any sweep has: a bound for what shard.json may claim.
constexpr std::size_t kMostCases = 100000000;

// The files a study writes into its directory: its record and journal, the
// tables of every method and their plots.
const std::set<std::string>& study_files() {
  static const std::set<std::string> names = [] {
    std::set<std::string> n = {kStudyRecord, kResultsJournal, study::kSamplesFile,
                               study::kResultsFile};
    for (const std::string& table : study::method_tables()) n.insert(table);
    for (const std::string& plot : plot_files()) n.insert(plot);
    return n;
  }();
  return names;
}

// Removes the owned files from dir, and the temporary files of owned ones:
// ".<name>.<token>.tmp".
void remove_owned(const std::string& dir, const std::set<std::string>& owned) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir, error)) {
    const std::string name = entry.path().filename().string();
    bool remove = owned.count(name) > 0;
    if (!remove && name.size() > 5 && name[0] == '.' &&
        name.compare(name.size() - 4, 4, ".tmp") == 0) {
      const std::string inner = name.substr(1, name.size() - 5);
      const auto dot = inner.rfind('.');
      remove = dot != std::string::npos && owned.count(inner.substr(0, dot)) > 0;
    }
    if (remove) fs::remove(entry.path(), error);
  }
}

// The first input or option whose value differs between two identities, by
// its key or, in `words`, in words; "inputs" when they differ otherwise, an
// empty string when they are the same.
std::string first_difference(const json& a, const json& b,
                             const std::map<std::string, std::string>& words) {
  for (const char* part : {"inputs", "options"}) {
    const json empty = json::object();
    const json& x = a.value(part, empty);
    const json& y = b.value(part, empty);
    std::set<std::string> keys;
    for (const auto& [k, v] : x.items()) keys.insert(k);
    for (const auto& [k, v] : y.items()) keys.insert(k);
    for (const std::string& k : keys)
      if (x.value(k, json()) != y.value(k, json()))
        return words.count(k) ? words.at(k) : std::string(k);
  }
  return a == b ? std::string() : std::string("inputs");
}

// Makes sure dir can take a sweep's or a study's results (`noun`, whose
// record is `file`, read by `read`): an absent or empty directory, or one of
// the same kind, which resumes when `mismatch` finds nothing that differs
// and otherwise has its files removed by `remove` first. Returns the record
// found when it resumes.
std::optional<json> claim(const std::string& dir, bool resume, const std::string& what,
                          const std::string& noun, const std::string& file,
                          const std::function<std::optional<json>(const std::string&)>& read,
                          const std::function<std::string(const json&)>& mismatch,
                          const std::function<void(const json&)>& remove) {
  std::error_code error;
  if (!existing_directory(dir, what)) return std::nullopt;
  std::optional<json> found = read(dir);
  if (!found) {
    if (!fs::is_empty(dir, error))
      throw InputError(what + ": " + dir + " is not empty and holds no " + noun + " (no " + file +
                       "); give a new or empty directory");
    return std::nullopt;
  }
  if (resume) {
    const std::string differs = mismatch(*found);
    if (differs.empty()) return found;
    throw InputError("--resume: " + dir + " holds another " + noun + " (its " + differs +
                     " differs)");
  }
  remove(*found);
  return std::nullopt;
}

}  // namespace

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

std::optional<study::StudyRecord> read_study_record(const std::string& dir) {
  const std::optional<json> found = read_format_file(dir, kStudyRecord, "study record",
                                                     study::kRecordFormat, study::kRecordVersion);
  if (!found) return std::nullopt;
  return study::read_record(*found, in_dir(dir, kStudyRecord));
}

std::string difference(const json& a, const json& b) {
  static const std::map<std::string, std::string> words = {
      {"cases", "cases file"},    {"plan", "plan"},        {"scenario", "scenario"},
      {"daily", "per-day table"}, {"module", "module"},    {"description", "description"},
      {"days", "--days"},         {"set", "--set values"}, {"scale", "--scale values"},
      {"vars", "--vars"},         {"every", "--every"},    {"dailyFiles", "--daily"}};
  if (a.value("casesDigest", json()) != b.value("casesDigest", json())) return "cases file";
  if (a.value("cases", json()) != b.value("cases", json())) return "number of cases";
  if (a.value("shards", json()) != b.value("shards", json())) return "number of shards";
  return first_difference(a["identity"], b["identity"], words);
}

std::string identity_difference(const json& a, const json& b) {
  static const std::map<std::string, std::string> words = {
      {"studyFiles", "designs, futures or per-day table file"}};
  return first_difference(a, b, words);
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

std::optional<json> claim_directory(const std::string& dir, const json& manifest, bool resume,
                                    const std::string& what) {
  return claim(
      dir, resume, what, "sweep", kManifest, read_manifest,
      [&manifest](const json& found) {
        std::string differs = difference(found, manifest);
        if (differs.empty() && found.value("shard", -1) == manifest["shard"]) return differs;
        return differs.empty() ? std::string("shard") : differs;
      },
      [&dir](const json& found) {
        // The summary, its journal and the cases' daily files; shard.json last.
        std::set<std::string> owned = {kSummary, kJournal};
        for (const json& n : found["caseNames"]) owned.insert(n.get<std::string>() + ".csv");
        remove_owned(dir, owned);
        std::error_code error;
        fs::remove(in_dir(dir, kManifest), error);
      });
}

bool claim_study_directory(const std::string& dir, const study::StudyRecord& record, bool resume,
                           const std::string& what) {
  // The record found, as the JSON that its file holds.
  const auto read = [](const std::string& d) -> std::optional<json> {
    const std::optional<study::StudyRecord> found = read_study_record(d);
    if (!found) return std::nullopt;
    return json::parse(study::record_text(*found));
  };
  return claim(
             dir, resume, what, "study", kStudyRecord, read,
             [&record](const json& found) {
               std::string differs = identity_difference(found["identity"], record.identity);
               if (differs.empty() && found["shard"] == record.shard &&
                   found["shards"] == record.shards)
                 return differs;
               return differs.empty() ? std::string("shard") : differs;
             },
             [&dir](const json&) { remove_owned(dir, study_files()); })
      .has_value();
}

}  // namespace tds
