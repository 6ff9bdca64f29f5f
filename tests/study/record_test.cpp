// study.json as the study's directory keeps it: the record's text read back
// gives the record, and a hand-edited record is refused naming its file and
// key, before its numbers are used.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "description.h"
#include "study_record.h"

namespace tds::study {
namespace {

using nlohmann::json;

TEST(StudyRecord, ReadsBackWhatItWrites) {
  StudyRecord r;
  r.identity = {{"inputs", {{"study", "ab12"}}}, {"options", json::object()}};
  r.shard = 2;
  r.shards = 3;
  r.cases = 120;
  r.complete = true;
  const std::string text = record_text(r);
  EXPECT_EQ(text.substr(0, 2), "{\n");
  EXPECT_EQ(text.back(), '\n');
  const json j = json::parse(text);
  EXPECT_EQ(j["format"], kRecordFormat);
  EXPECT_EQ(j["formatVersion"], kRecordVersion);
  const StudyRecord back = read_record(j, "d/study.json");
  EXPECT_EQ(back.identity, r.identity);
  EXPECT_EQ(back.shard, 2U);
  EXPECT_EQ(back.shards, 3U);
  EXPECT_EQ(back.cases, 120U);
  EXPECT_TRUE(back.complete);
}

// A record without "complete" is an unfinished one.
TEST(StudyRecord, WithoutCompleteIsUnfinished) {
  const json j = {{"identity", json::object()}, {"shard", 0}, {"shards", 1}};
  EXPECT_FALSE(read_record(j, "d/study.json").complete);
}

struct Bad {
  std::string what;
  json record;
  std::string message;
};

class StudyRecordRefuses : public testing::TestWithParam<Bad> {};

TEST_P(StudyRecordRefuses, NamingFileAndKey) {
  try {
    read_record(GetParam().record, "d/study.json");
    ADD_FAILURE() << "accepted";
  } catch (const InputError& e) {
    EXPECT_EQ(e.what(), GetParam().message);
  }
}

const std::string kShards =
    "d/study.json: \"shard\" and \"shards\" must be I and N with 0 <= I < N";

INSTANTIATE_TEST_SUITE_P(
    Records, StudyRecordRefuses,
    testing::Values(
        Bad{"NoShards", {{"identity", json::object()}, {"shard", 0}}, kShards},
        Bad{"ShardPastShards",
            {{"identity", json::object()}, {"shard", 3}, {"shards", 3}},
            kShards},
        // More shards than --shard takes: a merge would make a slot for each.
        Bad{"TooManyShards",
            {{"identity", json::object()}, {"shard", 0}, {"shards", 1000000000000LL}},
            kShards},
        Bad{"ShardsAText",
            {{"identity", json::object()}, {"shard", 0}, {"shards", "2"}},
            "d/study.json: \"shards\" must be a whole number"},
        Bad{"CompleteAText",
            {{"identity", json::object()}, {"shard", 0}, {"shards", 1}, {"complete", "yes"}},
            "d/study.json: \"complete\" must be true or false"},
        Bad{"IdentityAList",
            {{"identity", json::array()}, {"shard", 0}, {"shards", 1}},
            "d/study.json: \"identity\" must be an object"}),
    [](const testing::TestParamInfo<Bad>& info) { return info.param.what; });

}  // namespace
}  // namespace tds::study
