// The records that tarvello-run keeps in the directories it writes, so that
// --resume continues only the same sweep or study and --merge joins only
// shards of one: a sweep's shard.json (the digests of every input, the
// result-relevant options, the cases' names and, once finished, its rows and
// their digest) and a study's study.json (its identity, shard and number of
// cases); and the claim of an output directory for one of them.
#ifndef TDS_HOST_RUN_RECORD_H
#define TDS_HOST_RUN_RECORD_H

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "study_record.h"

namespace tds {

constexpr int kShardFormat = 2;
constexpr const char* kManifest = "shard.json";
constexpr const char* kStudyRecord = study::kRecordFile;
constexpr const char* kResultsJournal = "results.csv.partial";

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
// Reads a study directory's study.json; nothing when there is none. Throws
// InputError naming the file and key of a malformed one.
std::optional<study::StudyRecord> read_study_record(const std::string& dir);

// What differs between two sweeps' records, in words, or an empty string.
std::string difference(const nlohmann::json& a, const nlohmann::json& b);
// What differs between two studies' identities (the key of an input or an
// option), or an empty string.
std::string identity_difference(const nlohmann::json& a, const nlohmann::json& b);

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
// The same for a study and its record; returns whether it resumes.
bool claim_study_directory(const std::string& dir, const study::StudyRecord& record, bool resume,
                           const std::string& what);

}  // namespace tds

#endif  // TDS_HOST_RUN_RECORD_H
