#include "cases.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "csv.h"

namespace tds {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kLongestCaseName = 200;
constexpr std::string_view kScalePrefix = "scale:";

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

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
                           const DailyInputs& daily, long long default_days, const Labels* labels,
                           const CaseInputs& inputs) {
  CaseTable table;
  table.digest = hex_digest(text);
  const CsvTable csv = parse_csv(text, source);
  // The table's own columns: case, days, input, and every scale:NAME.
  std::vector<std::string> own = {"case", "days", "input"};
  constexpr std::size_t kFirstScale = 3;
  for (const std::string& name : csv.header)
    if (name.rfind(kScalePrefix, 0) == 0) own.push_back(name);
  const TableColumns columns = table_columns(csv, source, d, own, labels);
  const std::optional<std::size_t> case_column = columns.own[0], days_column = columns.own[1],
                                   input_column = columns.own[2];
  if (!case_column) throw InputError(source + ":1: no \"case\" column");
  std::vector<std::pair<std::size_t, std::size_t>> scale_columns;  // (CSV column, value)
  for (std::size_t k = kFirstScale; k < own.size(); ++k) {
    const std::string name = own[k].substr(kScalePrefix.size());
    const std::string where = source + ":1: column " + std::to_string(*columns.own[k] + 1);
    const std::size_t value = value_named(d, name, where + ": ", labels);
    // With tables of the cases' own, each row's table is checked instead.
    if (!input_column) check_scaled(d, daily, value, where + " (" + own[k] + ")");
    scale_columns.emplace_back(*columns.own[k], value);
  }
  // The "input" column's tables, each read and checked once, by path.
  const fs::path folder = fs::path(source).parent_path();
  std::map<std::string, std::shared_ptr<const DailyInputs>> tables;
  const auto table_of = [&](const std::string& cell, const std::string& at) {
    const fs::path given(cell);
    const std::string path =
        (given.is_absolute() ? given : folder / given).lexically_normal().string();
    auto& found = tables[path];
    if (!found) {
      const std::string where = at + ": column input: ";
      try {
        if (!inputs.read) throw InputError("per-day tables are not read here");
        const std::string bytes = inputs.read(path);
        found =
            std::make_shared<const DailyInputs>(DailyInputs::parse(bytes, path, d, inputs.cycle));
        table.input_digests.emplace_back(path, hex_digest(bytes));
        for (const std::size_t value : inputs.scaled)
          check_scaled(d, *found, value, path + ": --scale " + d.values()[value].name);
      } catch (const InputError& e) {
        tables.erase(path);
        throw InputError(where + e.what());
      }
    }
    return found;
  };
  std::map<std::string, std::pair<std::size_t, std::string>> lines;  // upper-case name
  for (std::size_t r = 0; r < csv.rows.size(); ++r) {
    const CsvTable::Row& row = csv.rows[r];
    const std::string at = source + ":" + std::to_string(row.line);
    SweepCase c{row.fields[*case_column], r};
    BatchCase run;
    run.label = c.name;
    run.days = default_days;
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
      run.days = parse_positive(row.fields[*days_column], at + ": column days");
    }
    if (input_column && !row.fields[*input_column].empty())
      run.input = table_of(row.fields[*input_column], at);
    for (const auto& [column, value] : columns.values) {
      const std::string& field = row.fields[column];
      if (field.empty()) continue;  // this case leaves the value alone
      run.values.emplace_back(value,
                              parse_cell(d.values()[value].kind, field,
                                         at + ": column " + d.values()[value].name, table.texts));
    }
    for (const auto& [column, value] : scale_columns) {
      const std::string& field = row.fields[column];
      if (field.empty()) continue;
      const std::string where = at + ": column " + csv.header[column];
      if (input_column) check_scaled(d, run.input ? *run.input : daily, value, where);
      run.scales.emplace_back(value, parse_factor(field, where));
    }
    table.cases.push_back(std::move(c));
    table.runs.push_back(std::move(run));
  }
  if (table.cases.empty()) throw InputError(source + ": no cases");
  return table;
}

}  // namespace tds
