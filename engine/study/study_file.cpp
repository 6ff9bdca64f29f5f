#include "study_file.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <set>
#include <variant>

#include "run.h"
#include "study_reader.h"

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

Output read_output(const Reader& r, const Description& d, const Plan& plan, const Labels& labels) {
  r.only({"name", "figure", "variable", "reduce"});
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
void name_output(Output& o, const Description& d, const Plan& plan, const Scenario& scenario) {
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

// The methods' names in the order of Method's alternatives.
template <std::size_t... I>
std::vector<std::string_view> method_names(std::index_sequence<I...> /*indices*/) {
  return {std::variant_alternative_t<I, Method>::kName...};
}

// The options of Method's alternative `index`, read from the study's member
// of the method's name.
template <std::size_t I = 0>
Method read_method(std::size_t index, const Reader& top, const Study& s) {
  using Options = std::variant_alternative_t<I, Method>;
  if constexpr (I + 1 < std::variant_size_v<Method>)
    if (index != I) return read_method<I + 1>(index, top, s);
  return Options::read(top.member(Options::kName), top, s);
}

}  // namespace

Study parse_study(std::string_view text, const std::string& source, const Description& d,
                  const Plan& plan, const Scenario& scenario) {
  const json doc = read_json(text, source);
  if (!doc.is_object()) throw InputError(source + ": a study is a JSON object");
  const Reader top(doc, "", source);
  static const std::vector<std::string_view> methods =
      method_names(std::make_index_sequence<std::variant_size_v<Method>>());
  std::vector<std::string_view> keys = {"$schema", "description", "method", "days", "seed",
                                        "factors", "outputs",     "set",    "scale"};
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

  const json& factors = top.list("factors", true);
  if (factors.empty()) top.fail("factors", "is empty");
  std::set<std::string> factor_names;
  for (std::size_t i = 0; i < factors.size(); ++i) {
    const Reader r = top.element("factors", i);
    s.factors.push_back(read_factor(r, d, scenario, labels));
    name_factor(s.factors.back(), d, plan, scenario);
    if (!factor_names.insert(s.factors.back().name).second)
      r.fail("name", s.factors.back().name + " is already a factor");
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

  s.method = read_method(method_index, top, s);
  return s;
}

}  // namespace tds::study
