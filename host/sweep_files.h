// The files of a sweep's output directory: the summary (summary.csv,
// written as summary.csv.partial while the sweep runs), the daily files
// (<case>.csv) and shard.json, which records what determines the results
// (digests of every input, the result-relevant options), the cases' names
// and, once finished, its rows and their digest, so that --resume continues
// only the same sweep and --merge joins only shards of one sweep.
#ifndef TDS_HOST_SWEEP_FILES_H
#define TDS_HOST_SWEEP_FILES_H

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "output.h"

namespace tds {

constexpr int kShardFormat = 2;
constexpr const char* kSummary = "summary.csv";
constexpr const char* kJournal = "summary.csv.partial";
constexpr const char* kManifest = "shard.json";

std::string in_dir(const std::string& dir, const std::string& name);

// The records of a CSV text as they stand, split at line ends outside quotes;
// a last record without its line end is left out (a write cut short).
std::vector<std::string> raw_records(const std::string& text);
// The first field of a record (case names need no quoting).
std::string first_field(const std::string& record);
// Whether a summary record is of a case that ran to its end.
bool record_ok(const std::string& record);
// A file's text, or an empty one when there is no such file.
std::string read_file_or_empty(const std::string& path);

// Reads the record `name` that tarvello-run keeps in a directory it writes:
// a JSON object of the given "format" and "formatVersion"; nothing when
// there is none. Throws InputError "<path>: not a <what>" or naming the
// other version.
std::optional<nlohmann::json> read_format_file(const std::string& dir, const std::string& name,
                                               const std::string& what, const std::string& format,
                                               long long version);
// Reads a sweep directory's shard.json; nothing when there is none. Throws
// InputError naming the file and key of a malformed one.
std::optional<nlohmann::json> read_manifest(const std::string& dir);
// What differs between two sweeps' records, in words, or an empty string.
std::string difference(const nlohmann::json& a, const nlohmann::json& b);
// Whether dir is a directory already (true) or has just been made (false).
// Throws InputError "<what>: ..." for an empty name, a file that is not a
// directory, or a directory that cannot be made.
bool existing_directory(const std::string& dir, const std::string& what);
// Makes sure dir can take a sweep's results: an absent or empty directory,
// or a sweep's own (whose files go first unless the same sweep resumes).
// Returns the manifest found when it may be resumed. `what` names the option
// in messages.
std::optional<nlohmann::json> claim_directory(const std::string& dir,
                                              const nlohmann::json& manifest, bool resume,
                                              const std::string& what);

// The summary so far, appended to as the cases finish in order.
class Journal {
 public:
  Journal(std::string path, const std::string& start);
  // Whole records; none once an interruption has begun.
  void append(const std::string& records);
  // Flushed, closed and renamed to final_path.
  void finish(const std::string& final_path);

 private:
  std::string path_;
  RawFile file_;
};

}  // namespace tds

#endif  // TDS_HOST_SWEEP_FILES_H
