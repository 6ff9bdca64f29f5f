#include "scenario.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>

#include "bytes.h"
#include "csv.h"

namespace tds {

using nlohmann::json;

DailyInputs DailyInputs::parse(std::string_view text, const std::string& source,
                               const Description& d, int cycle) {
  DailyInputs in;
  in.cycle_ = cycle;
  in.text_ = text;
  in.source_ = source;
  const CsvTable table = parse_csv(text, source);
  const TableColumns columns = table_columns(table, source, d, {"day"});
  const std::optional<std::size_t> day_column = columns.own[0];
  std::vector<std::size_t> field_of;  // CSV column of each input column
  for (const auto& [column, value] : columns.values) {
    in.columns_.push_back(value);
    field_of.push_back(column);
  }
  if (!day_column) throw InputError(source + ":1: no \"day\" column");

  std::vector<std::optional<Cell>> current(in.columns_.size());
  for (const CsvTable::Row& row : table.rows) {
    const std::string where = source + ":" + std::to_string(row.line);
    const std::string& day_text = row.fields[*day_column];
    const long long day = parse_positive(day_text, where + ": column day");
    if (!in.days_.empty() && day <= in.days_.back())
      throw InputError(where + ": day " + day_text + " does not come after day " +
                       std::to_string(in.days_.back()));
    if (cycle > 0 && day > cycle)
      throw InputError(where + ": day " + day_text + " lies beyond the scenario's cycle of " +
                       std::to_string(cycle) + " days");
    for (std::size_t c = 0; c < in.columns_.size(); ++c) {
      const std::string& field = row.fields[field_of[c]];
      if (field.empty()) continue;  // holds the previous value
      const ValueInfo& v = d.values()[in.columns_[c]];
      current[c] = parse_cell(v.kind, field, where + ": column " + v.name, in.texts_);
    }
    in.days_.push_back(day);
    in.held_.push_back(current);
  }
  // In a cycle, the days before the first row hold what the end of the
  // previous cycle held; without one, nothing is set before the first row.
  in.before_first_.assign(in.columns_.size(), std::nullopt);
  if (cycle > 0 && !in.held_.empty()) in.before_first_ = in.held_.back();
  return in;
}

void DailyInputs::apply(const Model& model, long long day, const std::vector<bool>& skip,
                        const std::vector<double>* factors) const {
  if (columns_.empty()) return;
  const long long d = cycle_ > 0 ? (day - 1) % cycle_ + 1 : day;
  const auto it = std::upper_bound(days_.begin(), days_.end(), d);
  const auto& row =
      it == days_.begin() ? before_first_ : held_[static_cast<std::size_t>(it - days_.begin() - 1)];
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    if (!row[c] || skip[columns_[c]]) continue;
    if (factors == nullptr || row[c]->kind != Kind::Double) {
      model.write(columns_[c], *row[c]);
      continue;
    }
    Cell scaled = *row[c];
    scaled.d *= (*factors)[c];
    model.write(columns_[c], scaled);
  }
}

void DailyInputs::encode(ByteWriter& w) const {
  w.text(source_);
  w.i64(cycle_);
  w.text(text_);
}

bool DailyInputs::decode(ByteReader& r, const Description& d, DailyInputs& out) {
  std::string source, text;
  std::int64_t cycle = 0;
  if (!r.text(source) || !r.i64(cycle) || !r.text(text) || cycle < 0 ||
      cycle > std::numeric_limits<int>::max())
    return false;
  try {
    out = parse(text, source, d, static_cast<int>(cycle));
  } catch (const InputError&) {
    return false;
  }
  return true;
}

bool DailyInputs::has_column(std::size_t value) const {
  return std::find(columns_.begin(), columns_.end(), value) != columns_.end();
}

std::vector<double> DailyInputs::factors(
    const Description& d, const std::vector<std::pair<std::size_t, double>>& scales) const {
  std::vector<double> out(columns_.size(), 1.0);
  for (const auto& [value, factor] : scales) {
    check_scaled(d, *this, value, "scale " + d.values()[value].name);
    out[static_cast<std::size_t>(std::find(columns_.begin(), columns_.end(), value) -
                                 columns_.begin())] *= factor;
  }
  return out;
}

void check_scaled(const Description& d, const DailyInputs& daily, std::size_t value,
                  const std::string& what) {
  if (!daily.has_column(value))
    throw InputError(what + ": not a column of the scenario's per-day table");
  if (d.values()[value].kind != Kind::Double)
    throw InputError(what + ": " + a_kind(d.values()[value].kind) +
                     " column; only doubles can be scaled");
}

double parse_factor(std::string_view text, const std::string& what) {
  std::deque<std::string> keep;
  const Cell c = parse_cell(Kind::Double, text, what, keep);
  if (!std::isfinite(c.d)) throw InputError(what + ": " + quote_input(text) + " is not finite");
  return c.d;
}

std::pair<std::size_t, double> parse_scale(const Description& d, const DailyInputs& daily,
                                           std::string_view scale, const Labels* labels) {
  const auto eq = scale.find('=');
  if (eq == std::string_view::npos || eq == 0)
    throw InputError("--scale: " + quote_input(scale) + " is not NAME=FACTOR");
  const std::string name(scale.substr(0, eq));
  const std::size_t value = value_named(d, name, "--scale: ", labels);
  check_scaled(d, daily, value, "--scale " + name);
  return {value, parse_factor(scale.substr(eq + 1), "--scale " + name)};
}

Scenario Scenario::parse(std::string_view text, const std::string& source, const Description& d,
                         const std::function<std::string(const std::string&)>& read_file) {
  Scenario s;
  s.source = source;
  auto fail = [&](const std::string& where, const std::string& what) {
    return InputError("scenario " + source + ": " + where + ": " + what);
  };
  const json doc = read_json(text, "scenario " + source);
  if (!doc.is_object()) throw fail("top level", "must be a JSON object");
  static const std::set<std::string> keys = {"format",    "formatVersion", "model", "description",
                                             "constants", "daily",         "cycle", "notes",
                                             "labels",    "presets"};
  for (const auto& [key, value] : doc.items())
    if (!keys.count(key)) throw fail("top level", "unknown key \"" + key + "\"");
  const std::string top = "scenario " + source;
  if (json_string(doc, "format", top) != "tarvello-scenario" ||
      json_integer(doc, "formatVersion", top, 0) != 1)
    throw fail("top level",
               "not a scenario (expected \"format\": \"tarvello-scenario\", \"formatVersion\": 1)");
  if (json_string(doc, "model", top) != d.model())
    throw fail("model", "the scenario is for " + json_string(doc, "model", top, "no model") +
                            ", the library carries " + d.model());
  if (doc.contains("cycle")) {
    if (!doc["cycle"].is_number_integer() || doc["cycle"].get<long long>() < 1 ||
        doc["cycle"].get<long long>() > 1000000)
      throw fail("cycle", "must be a whole number of days from 1 to 1000000");
    s.cycle = doc["cycle"].get<int>();
  }
  if (doc.contains("constants")) {
    if (!doc["constants"].is_object()) throw fail("constants", "must be an object of values");
    for (const auto& [name, v] : doc["constants"].items()) {
      const std::string where = "constants." + name;
      const std::size_t value =
          value_named(d, name, top + ": " + where + ": ", nullptr, NameShown::Omitted);
      s.constants.emplace_back(
          value,
          parse_json_cell(d.values()[value].kind, v, "scenario " + source + ": " + where, s.texts));
    }
  }
  if (doc.contains("labels")) s.labels = check_labels(doc["labels"], top + ": labels", d, true);
  // Presets are named sets of constants (and per-day scale factors) that a
  // front end offers; a run reads none of them, but they must name values
  // and fit their kinds.
  if (doc.contains("presets")) {
    if (!doc["presets"].is_object()) throw fail("presets", "must be an object of presets by name");
    for (const auto& [preset, p] : doc["presets"].items()) {
      const std::string where = "presets." + preset;
      if (!p.is_object()) throw fail(where, "must be an object");
      for (const auto& [key, v] : p.items()) {
        if (key == "description") {
          if (!v.is_string()) throw fail(where, "\"description\" must be a string");
          continue;
        }
        if (key != "constants" && key != "scale") throw fail(where, "unknown key \"" + key + "\"");
        if (!v.is_object()) throw fail(where + "." + key, "must be an object of values by name");
        for (const auto& [name, value] : v.items()) {
          const std::size_t i =
              value_named(d, name, top + ": " + where + "." + key + "." + name + ": ", nullptr,
                          NameShown::Omitted);
          std::deque<std::string> keep;
          parse_json_cell(key == "scale" ? Kind::Double : d.values()[i].kind, value,
                          top + ": " + where + "." + key + "." + name, keep);
        }
      }
    }
  }
  if (doc.contains("daily")) {
    if (!doc["daily"].is_string()) throw fail("daily", "must name a CSV file");
    const std::string file = doc["daily"].get<std::string>();
    s.daily = DailyInputs::parse(read_file(file), file, d, s.cycle);
  }
  return s;
}

}  // namespace tds
