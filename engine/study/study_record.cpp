#include "study_record.h"

#include <algorithm>

#include "description.h"
#include "model.h"

namespace tds::study {

using nlohmann::json;

std::string record_text(const StudyRecord& r) {
  const json record = {{"format", kRecordFormat}, {"formatVersion", kRecordVersion},
                       {"identity", r.identity},  {"shard", r.shard},
                       {"shards", r.shards},      {"cases", r.cases},
                       {"complete", r.complete}};
  return record.dump(2) + "\n";
}

StudyRecord read_record(const json& record, const std::string& path) {
  // As many shards as --shard takes.
  constexpr long long kMostShards = 1000000;
  StudyRecord r;
  const long long shards = json_integer(record, "shards", path, -1);
  const long long shard = json_integer(record, "shard", path, -1);
  if (shards < 1 || shards > kMostShards || shard < 0 || shard >= shards)
    throw InputError(path + ": \"shard\" and \"shards\" must be I and N with 0 <= I < N");
  r.shard = static_cast<std::uint64_t>(shard);
  r.shards = static_cast<std::uint64_t>(shards);
  r.cases = static_cast<std::uint64_t>(std::max(0LL, json_integer(record, "cases", path, 0)));
  r.complete = json_bool(record, "complete", path, false);
  if (!record.contains("identity") || !record["identity"].is_object())
    throw InputError(path + ": \"identity\" must be an object");
  r.identity = record["identity"];
  return r;
}

}  // namespace tds::study
