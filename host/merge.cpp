#include "merge.h"

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "cases.h"
#include "model.h"
#include "output.h"
#include "run_record.h"
#include "sweep_files.h"

namespace tds {

namespace fs = std::filesystem;
using nlohmann::json;

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
