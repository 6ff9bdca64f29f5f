// study.json, the record that tarvello-run keeps in a study's directory:
// what determines the results (the identity: digests of the inputs and the
// result-relevant options), which shard of how many the directory holds, how
// many cases the whole study runs, and whether the directory's run has
// finished, so that --resume continues only the same study and --merge joins
// only finished shards of one study.
#ifndef TDS_ENGINE_STUDY_STUDY_RECORD_H
#define TDS_ENGINE_STUDY_STUDY_RECORD_H

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

namespace tds::study {

constexpr const char* kRecordFile = "study.json";
// The record's "format" and "formatVersion".
constexpr const char* kRecordFormat = "tarvello-study";
constexpr int kRecordVersion = 1;

struct StudyRecord {
  nlohmann::json identity;  // {"inputs": {...}, "options": {...}}
  std::uint64_t shard = 0, shards = 1;
  std::uint64_t cases = 0;
  bool complete = false;
};

// The record's text: its JSON indented by two, and a line end.
std::string record_text(const StudyRecord& r);
// Reads a record already known to be of the format and version (its
// "format" and "formatVersion" checked by the reader of such files). Throws
// InputError naming the file (`path`) and its bad key: "shard" and "shards"
// must be I and N with 0 <= I < N, N at most 1000000; a record without
// "complete" is unfinished.
StudyRecord read_record(const nlohmann::json& record, const std::string& path);

}  // namespace tds::study

#endif  // TDS_ENGINE_STUDY_STUDY_RECORD_H
