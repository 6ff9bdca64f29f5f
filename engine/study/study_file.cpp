#include "study_file.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <variant>

#include "csv.h"
#include "lhs.h"
#include "run.h"
#include "saltelli.h"
#include "seeds.h"
#include "study_reader.h"
#include "tables.h"

namespace tds::study {

using nlohmann::json;

const char* op_name(Output::Op op) {
  switch (op) {
    case Output::Op::Final:
      return "final";
    case Output::Op::Mean:
      return "mean";
    case Output::Op::Min:
      return "min";
    case Output::Op::Max:
      return "max";
    case Output::Op::Sum:
      return "sum";
  }
  return "?";
}

std::vector<std::string> figure_columns(const Plan& plan) {
  std::vector<std::string> columns = {"days"};
  for (const NodeCount& c : plan.counts()) columns.push_back(c.name);
  columns.push_back("shortfall_days");
  for (const NodeCount& c : plan.shortfalls()) columns.push_back(c.name);
  return columns;
}

double factor_value(const Factor& f, double u) {
  u = std::min(1.0, std::max(0.0, u));
  if (!f.levels.empty()) {
    const auto count = f.levels.size();
    return f.levels[std::min(count - 1, static_cast<std::size_t>(std::floor(u * double(count))))];
  }
  if (f.type == Factor::Type::Int)
    return std::min(f.high, f.low + std::floor(u * (f.high - f.low + 1.0)));
  return f.low + u * (f.high - f.low);
}

double point_value(const Study& s, std::size_t i, double x) {
  return s.value_points ? x : factor_value(s.factors[i], x);
}

std::string read_named_file(const StudyFileReader& read_file, const std::string& name,
                            const std::string& source, const std::string& where) {
  if (!read_file)
    throw InputError(source + ": " + where + ": " + quote_input(name) + " cannot be read here");
  try {
    return read_file(name);
  } catch (const InputError& e) {
    throw InputError(source + ": " + where + ": " + e.what());
  }
}

namespace {

// Names of outputs: they become CSV columns and plot labels.
bool plain_name(const std::string& name) {
  return !name.empty() && name.size() <= 100 && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
  });
}

std::size_t value_named(const Reader& r, const std::string& key, const std::string& name,
                        const Description& d, const Labels& labels) {
  const auto v = d.find_value(name);
  if (!v) r.fail(key, unknown_value(d, name, &labels));
  return *v;
}

// A per-day column of the scenario that can be scaled.
std::size_t column_named(const Reader& r, const std::string& key, const std::string& name,
                         const Description& d, const Scenario& scenario, const Labels& labels) {
  const std::size_t v = value_named(r, key, name, d, labels);
  check_scaled(d, scenario.daily, v, r.source() + ": " + r.at(key) + ": " + name);
  return v;
}

Factor read_factor(const Reader& r, const Description& d, const Scenario& scenario,
                   const Labels& labels) {
  r.only({"name", "low", "high", "values"});
  Factor f;
  f.name = r.text("name");
  constexpr std::string_view kScale = "scale:";
  if (f.name.rfind(kScale, 0) == 0) {
    f.type = Factor::Type::Scale;
    f.value = column_named(r, "name", f.name.substr(kScale.size()), d, scenario, labels);
  } else {
    f.value = value_named(r, "name", f.name, d, labels);
    const Kind kind = d.values()[f.value].kind;
    if (kind == Kind::Text) r.fail("name", f.name + " is a text; a factor is a double or an int");
    f.type = kind == Kind::Int ? Factor::Type::Int : Factor::Type::Double;
  }
  if (r.has("values")) {
    if (r.has("low") || r.has("high")) r.fail("values", "takes the place of \"low\" and \"high\"");
    const json& values = r.list("values", true);
    if (values.empty()) r.fail("values", "is empty");
    for (std::size_t i = 0; i < values.size(); ++i) {
      const json& v = values[i];
      const std::string key = "values[" + std::to_string(i) + "]";
      if (!v.is_number() || !std::isfinite(v.get<double>())) r.fail(key, "must be a finite number");
      const double x = v.get<double>();
      if (f.type == Factor::Type::Int &&
          (x != std::floor(x) || x < -2147483648.0 || x > 2147483647.0))
        r.fail(key, v.dump() + " is not an int");
      f.levels.push_back(x);
    }
    f.low = *std::min_element(f.levels.begin(), f.levels.end());
    f.high = *std::max_element(f.levels.begin(), f.levels.end());
    return f;
  }
  f.low = r.required_number("low");
  f.high = r.required_number("high");
  if (!(f.low < f.high)) r.fail("high", "must be above \"low\"");
  if (f.type == Factor::Type::Int)
    for (const char* key : {"low", "high"}) {
      const double x = r.number(key, 0.0);
      if (x != std::floor(x) || x < -2147483648.0 || x > 2147483647.0)
        r.fail(key, r.get(key)->dump() + " is not an int");
    }
  return f;
}

// The months of a 365-day year: their names and first days.
constexpr const char* kMonths[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};
constexpr int kMonthStarts[] = {1, 32, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366};

// An output's window: a month's name, or {"from": DAY, "to": DAY}.
void read_window(const Reader& r, Output& o) {
  if (!r.has("window")) return;
  const json& w = *r.get("window");
  if (w.is_string()) {
    const std::string month = w.get<std::string>();
    for (int m = 0; m < 12; ++m)
      if (month == kMonths[m]) {
        o.from = kMonthStarts[m];
        o.to = kMonthStarts[m + 1] - 1;
      }
    if (o.from == 0) {
      const std::vector<std::string_view> names(std::begin(kMonths), std::end(kMonths));
      r.fail("window",
             with_nearest(quote_input(month) + " is not a month", nearest_names(month, names, 1)));
    }
  } else if (w.is_object()) {
    const Reader days = r.member("window");
    days.only({"from", "to"});
    for (const char* key : {"from", "to"})
      if (!days.has(key)) days.fail(key, "is missing");
    o.from = static_cast<int>(days.count("from", 1, 1, 365));
    o.to = static_cast<int>(days.count("to", 365, 1, 365));
  } else {
    r.fail("window", "is a month's name or {\"from\": DAY, \"to\": DAY}");
  }
  if (o.source == Output::Source::Level)
    r.fail("window", "a level is its final value; reduce its variable over the window");
}

Output read_output_source(const Reader& r, const Description& d, const Plan& plan,
                          const Labels& labels);

Output read_output(const Reader& r, const Description& d, const Plan& plan, const Labels& labels) {
  r.only({"name", "figure", "variable", "reduce", "window"});
  Output o = read_output_source(r, d, plan, labels);
  read_window(r, o);
  return o;
}

Output read_output_source(const Reader& r, const Description& d, const Plan& plan,
                          const Labels& labels) {
  Output o;
  o.name = r.text("name");
  if (!plain_name(o.name))
    r.fail("name", quote_input(o.name) + " is not a name (letters, digits, '_', '-' and '.')");
  if (r.has("figure") == r.has("variable")) r.fail("", "give either \"figure\" or \"variable\"");
  if (r.has("figure")) {
    if (r.has("reduce")) r.fail("reduce", "belongs to a \"variable\"");
    const std::string figure = r.text("figure");
    std::vector<std::string_view> known;
    for (std::size_t i = 0; i < plan.counts().size(); ++i) {
      known.push_back(plan.counts()[i].name);
      if (plan.counts()[i].name == figure) {
        o.source = Output::Source::Count;
        o.index = i;
        return o;
      }
    }
    known.emplace_back("shortfall_days");
    if (figure == "shortfall_days") {
      o.source = Output::Source::ShortfallDays;
      return o;
    }
    for (std::size_t i = 0; i < plan.shortfalls().size(); ++i) {
      known.push_back(plan.shortfalls()[i].name);
      if (plan.shortfalls()[i].name == figure) {
        o.source = Output::Source::Shortfall;
        o.index = i;
        return o;
      }
    }
    for (std::size_t i = 0; i < plan.levels().size(); ++i) {
      known.push_back(d.values()[plan.levels()[i]].name);
      if (d.values()[plan.levels()[i]].name == figure) {
        o.source = Output::Source::Level;
        o.index = i;
        return o;
      }
    }
    r.fail("figure", with_nearest("unknown figure " + figure, nearest_names(figure, known, 3)));
  }
  o.source = Output::Source::Reduction;
  o.index = value_named(r, "variable", r.text("variable"), d, labels);
  if (d.values()[o.index].kind == Kind::Text)
    r.fail("variable", d.values()[o.index].name + " is a text; only numbers are reduced");
  const std::string op = r.has("reduce") ? r.text("reduce") : "final";
  static const std::vector<std::string_view> ops = {"final", "mean", "min", "max", "sum"};
  const auto it = std::find(ops.begin(), ops.end(), op);
  if (it == ops.end()) r.fail("reduce", quote_input(op) + " is not final, mean, min, max or sum");
  o.op = static_cast<Output::Op>(it - ops.begin());
  return o;
}

// The recorded years an uncertainty "input" runs: per-day tables, each read
// through read_file and checked once.
Factor read_input(const Reader& r, const Description& d, const Scenario& scenario,
                  const StudyFileReader& read_file) {
  r.only({"name", "values"});
  Factor f;
  f.name = "input";
  f.type = Factor::Type::Input;
  f.label = "Per-day table";
  const nlohmann::json& values = r.list("values", true);
  if (values.empty()) r.fail("values", "is empty");
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::string key = "values[" + std::to_string(i) + "]";
    if (!values[i].is_string() || values[i].get<std::string>().empty())
      r.fail(key, "must be the name of a per-day table");
    const std::string path = values[i].get<std::string>();
    if (std::find(f.paths.begin(), f.paths.end(), path) != f.paths.end())
      r.fail(key, path + " is already a value");
    const std::string text = read_named_file(read_file, path, r.source(), r.at(key));
    f.tables.push_back(
        std::make_shared<const DailyInputs>(DailyInputs::parse(text, path, d, scenario.cycle)));
    f.paths.push_back(path);
    f.levels.push_back(static_cast<double>(i));
  }
  f.low = 0.0;
  f.high = f.levels.back();
  return f;
}

}  // namespace

double factor_cell(const Factor& f, const std::string& cell, const std::string& where) {
  if (f.type == Factor::Type::Input) {
    const auto it = std::find(f.paths.begin(), f.paths.end(), cell);
    if (it == f.paths.end())
      throw InputError(where + ": " + quote_input(cell) + " is not one of the per-day tables");
    return static_cast<double>(it - f.paths.begin());
  }
  std::deque<std::string> keep;
  const double x = parse_cell(Kind::Double, cell, where, keep).d;
  if (!f.levels.empty()) {
    if (std::find(f.levels.begin(), f.levels.end(), x) == f.levels.end())
      throw InputError(where + ": " + quote_input(cell) + " is not one of the values of " + f.name);
    return x;
  }
  if (!(x >= f.low && x <= f.high))
    throw InputError(where + ": " + quote_input(cell) + " is outside " + f.name + "'s bounds");
  if (f.type == Factor::Type::Int && x != std::floor(x))
    throw InputError(where + ": " + quote_input(cell) + " is not an int");
  return x;
}

namespace {

// The futures: sampled ({"sample": "lhs" or "sobol", "count": N}) from the
// study's seed, or read from a CSV file of a "future" column and one column
// per uncertainty.
Futures read_futures(const Reader& top, const Study& s, const StudyFileReader& read_file) {
  const std::size_t first = s.levers, k = s.factors.size() - s.levers;
  const nlohmann::json* given = top.get("futures");
  if (given == nullptr) top.fail("futures", "is missing");
  Futures futures;
  if (given->is_string()) {
    const std::string path = given->get<std::string>();
    const std::string text = read_named_file(read_file, path, top.source(), top.at("futures"));
    const CsvTable table = parse_csv(text, path);
    std::vector<std::size_t> column(k, table.header.size());
    std::size_t name_column = table.header.size();
    for (std::size_t c = 0; c < table.header.size(); ++c) {
      const std::string& h = table.header[c];
      std::size_t u = 0;
      while (u < k && s.factors[first + u].name != h) ++u;
      if (h == "future" && name_column == table.header.size()) {
        name_column = c;
      } else if (u < k && column[u] == table.header.size()) {
        column[u] = c;
      } else {
        throw InputError(path + ": column " + std::to_string(c + 1) + ": " + quote_input(h) +
                         (u < k || h == "future" ? " is given twice" : " is not an uncertainty"));
      }
    }
    if (name_column == table.header.size())
      throw InputError(path + ": the \"future\" column is missing");
    for (std::size_t u = 0; u < k; ++u)
      if (column[u] == table.header.size())
        throw InputError(path + ": the column of the uncertainty " + s.factors[first + u].name +
                         " is missing");
    if (table.rows.empty()) throw InputError(path + ": holds no future");
    std::set<std::string> names;
    for (const CsvTable::Row& row : table.rows) {
      const std::string at = path + ": line " + std::to_string(row.line);
      const std::string& name = row.fields[name_column];
      if (name.empty() || !names.insert(name).second)
        throw InputError(at + ": future " + quote_input(name) + " is empty or given twice");
      std::vector<double> values;
      values.reserve(k);
      for (std::size_t u = 0; u < k; ++u)
        values.push_back(factor_cell(s.factors[first + u], row.fields[column[u]],
                                     at + ": column " + std::to_string(column[u] + 1)));
      futures.names.push_back(name);
      futures.values.push_back(std::move(values));
    }
    return futures;
  }
  const Reader r = top.member("futures");
  r.only({"sample", "count"});
  const std::string sample = r.has("sample") ? r.text("sample") : "lhs";
  if (sample != "lhs" && sample != "sobol")
    r.fail("sample", quote_input(sample) + " is not lhs or sobol");
  const std::size_t count = r.count("count", 100, 2, 10000000);
  const std::vector<std::vector<double>> units =
      sample == "lhs" ? lhs_design(k, count, stream_seed(s.seed, kFutures))
                      : saltelli_design(k, count, false, false, 0);
  for (std::size_t i = 0; i < count; ++i) {
    futures.names.push_back(numbered('f', i + 1, count));
    std::vector<double> values;
    values.reserve(k);
    for (std::size_t u = 0; u < k; ++u)
      values.push_back(factor_value(s.factors[first + u], units[i][u]));
    futures.values.push_back(std::move(values));
  }
  return futures;
}

// Reads a list of factors (factors, levers or uncertainties) into s.factors.
void read_factors(const Reader& top, const std::string& key, Study& s, const Description& d,
                  const Plan& plan, const Scenario& scenario, const Labels& labels,
                  const StudyFileReader& read_file, bool inputs);

// A factor in words: its value's label, a scale's "Scale of <label>".
void name_factor(Factor& f, const Description& d, const Plan& plan, const Scenario& scenario) {
  const std::string label = label_of(d, plan, scenario, f.value);
  if (f.type == Factor::Type::Scale) {
    f.label = "Scale of " + in_sentence(label);
  } else {
    f.label = label;
    f.unit = unit_of(plan, scenario, f.value);
  }
}

// An output in words: a count's label, the shortfall days as the page names
// them, a level's "Final <label>", a reduction's operation on the variable's
// label. A sum over the days of a daily rate is a quantity ("units/day"
// summed gives "units"); a sum of anything else has no unit of its own.
void name_output_source(Output& o, const Description& d, const Plan& plan,
                        const Scenario& scenario);

// An output in words, and its window's: "in August", "on days 150 to 250".
void name_output(Output& o, const Description& d, const Plan& plan, const Scenario& scenario) {
  name_output_source(o, d, plan, scenario);
  if (o.from == 0) return;
  for (int m = 0; m < 12; ++m)
    if (o.from == kMonthStarts[m] && o.to == kMonthStarts[m + 1] - 1) {
      o.label += std::string(" in ") + kMonths[m];
      return;
    }
  o.label += " on days " + std::to_string(o.from) + " to " + std::to_string(o.to);
}

void name_output_source(Output& o, const Description& d, const Plan& plan,
                        const Scenario& scenario) {
  switch (o.source) {
    case Output::Source::Count:
      o.label = label_of(plan.counts()[o.index]);
      return;
    case Output::Source::ShortfallDays:
      o.label = "Days with any shortfall";
      return;
    case Output::Source::Shortfall:
      o.label = "Days short of " + in_sentence(label_of(plan.shortfalls()[o.index]));
      return;
    case Output::Source::Level:
      o.label = "Final " + in_sentence(label_of(d, plan, scenario, plan.levels()[o.index]));
      o.unit = unit_of(plan, scenario, plan.levels()[o.index]);
      return;
    case Output::Source::Reduction:
      break;
  }
  static const char* const kOps[] = {"Final ", "Mean ", "Lowest ", "Highest ", "Total "};
  o.label = kOps[static_cast<int>(o.op)] + in_sentence(label_of(d, plan, scenario, o.index));
  o.unit = unit_of(plan, scenario, o.index);
  constexpr std::string_view kPerDay = "/day";
  if (o.op == Output::Op::Sum)
    o.unit = o.unit.size() > kPerDay.size() &&
                     o.unit.compare(o.unit.size() - kPerDay.size(), kPerDay.size(), kPerDay) == 0
                 ? o.unit.substr(0, o.unit.size() - kPerDay.size())
                 : std::string();
}

void read_factors(const Reader& top, const std::string& key, Study& s, const Description& d,
                  const Plan& plan, const Scenario& scenario, const Labels& labels,
                  const StudyFileReader& read_file, bool inputs) {
  const json& factors = top.list(key, true);
  if (factors.empty()) top.fail(key, "is empty");
  const std::size_t before = s.factors.size();
  for (std::size_t i = 0; i < factors.size(); ++i) {
    const Reader r = top.element(key, i);
    const json* name = r.get("name");
    if (inputs && name != nullptr && *name == "input") {
      s.factors.push_back(read_input(r, d, scenario, read_file));
    } else {
      s.factors.push_back(read_factor(r, d, scenario, labels));
      name_factor(s.factors.back(), d, plan, scenario);
    }
    const Factor& f = s.factors.back();
    for (std::size_t j = 0; j + 1 < s.factors.size(); ++j) {
      if (s.factors[j].name != f.name) continue;
      if (j < before && f.type == Factor::Type::Scale) continue;  // a lever's scale, and the year's
      r.fail("name", f.name + (j < before ? " is a lever; only a per-day column's scale can be an "
                                            "uncertainty too"
                                          : " is already a factor"));
    }
  }
}

// The methods' names in the order of Method's alternatives.
template <std::size_t... I>
std::vector<std::string_view> method_names(std::index_sequence<I...> /*indices*/) {
  return {std::variant_alternative_t<I, Method>::kName...};
}

// The options of Method's alternative `index`, read from the study's member
// of the method's name.
template <std::size_t I = 0>
Method read_method(std::size_t index, const Reader& top, const Study& s,
                   const StudyFileReader& read_file) {
  using Options = std::variant_alternative_t<I, Method>;
  if constexpr (I + 1 < std::variant_size_v<Method>)
    if (index != I) return read_method<I + 1>(index, top, s, read_file);
  if constexpr (std::is_same_v<Options, RobustOptions>)
    return Options::read(top.member(Options::kName), top, s, read_file);
  else
    return Options::read(top.member(Options::kName), top, s);
}

}  // namespace

Study parse_study(std::string_view text, const std::string& source, const Description& d,
                  const Plan& plan, const Scenario& scenario, const StudyFileReader& read_file) {
  const json doc = read_json(text, source);
  if (!doc.is_object()) throw InputError(source + ": a study is a JSON object");
  const Reader top(doc, "", source);
  static const std::vector<std::string_view> methods =
      method_names(std::make_index_sequence<std::variant_size_v<Method>>());
  std::vector<std::string_view> keys = {"$schema", "description", "method",        "days",
                                        "seed",    "factors",     "outputs",       "set",
                                        "scale",   "levers",      "uncertainties", "futures"};
  keys.insert(keys.end(), methods.begin(), methods.end());
  top.only(keys);
  Study s;
  const Labels labels = shown_labels(scenario.labels, plan.labels());
  const std::string method = top.text("method");
  const auto it = std::find(methods.begin(), methods.end(), method);
  if (it == methods.end())
    top.fail("method", with_nearest(quote_input(method) + " is not a method",
                                    nearest_names(method, methods, 1)));
  const auto method_index = static_cast<std::size_t>(it - methods.begin());
  for (std::string_view other : methods)
    if (other != method && top.has(std::string(other)))
      top.fail(std::string(other), "holds the options of another method than " + method);
  if (top.has("description")) top.text("description");
  s.days = static_cast<long long>(top.count("days", 365, 1, 1000000000));
  {
    const json* seed = top.get("seed");
    if (seed != nullptr) {
      if (!seed->is_number_integer() || (!seed->is_number_unsigned() && seed->get<long long>() < 0))
        top.fail("seed", "must be a whole number from 0 to 18446744073709551615");
      s.seed = seed->get<std::uint64_t>();
    }
  }

  // A robust study, or a robust search: an nsga2 study over levers, each
  // design run in every future.
  const bool search =
      method == "nsga2" && (top.has("levers") || top.has("uncertainties") || top.has("futures"));
  if (method == "robust" || search) {
    if (top.has("factors"))
      top.fail("factors", std::string(search ? "a robust search" : "a robust study") +
                              " has \"levers\" and \"uncertainties\"");
    read_factors(top, "levers", s, d, plan, scenario, labels, read_file, false);
    s.levers = s.factors.size();
    read_factors(top, "uncertainties", s, d, plan, scenario, labels, read_file, true);
    s.value_points = true;
    // Every per-day table a case may run scales the columns the study scales.
    for (const Factor& f : s.factors)
      if (f.type == Factor::Type::Input)
        for (std::size_t t = 0; t < f.tables.size(); ++t)
          for (const Factor& g : s.factors)
            if (g.type == Factor::Type::Scale)
              check_scaled(d, *f.tables[t], g.value, f.paths[t] + ": " + g.name);
    s.futures = read_futures(top, s, read_file);
  } else {
    for (const char* key : {"levers", "uncertainties", "futures"})
      if (top.has(key)) top.fail(key, "belongs to a robust study; give \"factors\"");
    read_factors(top, "factors", s, d, plan, scenario, labels, read_file, false);
  }

  const json& outputs = top.list("outputs", true);
  if (outputs.empty()) top.fail("outputs", "is empty");
  std::set<std::string> taken = {"case", "status"};
  for (const std::string& c : figure_columns(plan)) taken.insert(c);
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const Reader r = top.element("outputs", i);
    s.outputs.push_back(read_output(r, d, plan, labels));
    name_output(s.outputs.back(), d, plan, scenario);
    if (!taken.insert(s.outputs.back().name).second)
      r.fail("name", s.outputs.back().name + " is already a column of results.csv");
  }

  {
    const Reader r = top.member("set");
    for (const auto& [name, value] : r.self().items()) {
      const std::size_t v = value_named(r, name, name, d, labels);
      for (const Factor& f : s.factors)
        if (f.type != Factor::Type::Scale && f.value == v)
          r.fail(name, "is a factor; it cannot be fixed too");
      s.set.emplace_back(v, parse_json_cell(d.values()[v].kind, value, r.at(name), s.texts));
    }
  }
  {
    const Reader r = top.member("scale");
    for (const auto& [name, value] : r.self().items()) {
      const std::size_t v = column_named(r, name, name, d, scenario, labels);
      for (const Factor& f : s.factors)
        if (f.type == Factor::Type::Scale && f.value == v)
          r.fail(name, "is a factor; it cannot be fixed too");
      s.scale.emplace_back(v, r.number(name, 1.0));
    }
  }

  s.method = read_method(method_index, top, s, read_file);
  return s;
}

}  // namespace tds::study
