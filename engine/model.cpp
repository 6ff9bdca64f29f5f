#include "model.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <system_error>

namespace tds {

namespace {

// The named function of type F; throws LoadError naming it when there is none.
template <class F>
F resolved(const Resolver& resolve, const std::string& origin, const std::string& name) {
  void* p = resolve(name.c_str());
  if (p == nullptr) throw LoadError(origin + ": no export named " + name);
  return reinterpret_cast<F>(p);
}

}  // namespace

Model::Model(const Resolver& resolve, const std::string& origin, const Description& description)
    : description_(&description),
      initialise_(resolved<const char* (*)()>(resolve, origin, description.function("initialise"))),
      model_name_(resolved<const char* (*)()>(resolve, origin, description.function("modelName"))),
      decision_(resolved<std::int32_t (*)(const char*)>(resolve, origin,
                                                        description.function("decision"))),
      task_(
          resolved<std::int32_t (*)(const char*)>(resolve, origin, description.function("task"))) {
  const char* carried = model_name_();
  if (carried == nullptr || description.model() != carried)
    throw InputError(description.source() + " describes the model " + description.model() +
                     ", but " + origin + " carries " +
                     (carried ? std::string(carried) : std::string("no model name")));
  accessors_.reserve(description.values().size());
  for (const ValueInfo& v : description.values())
    accessors_.push_back({v.kind, resolved<void*>(resolve, origin, v.getter),
                          resolved<void*>(resolve, origin, v.setter)});
  check_distinct(resolve, origin);
}

void Model::check_distinct(const Resolver& resolve, const std::string& origin) const {
  // Every function a description names has an entry point of its own; two
  // names at one address mean the description belongs to another build.
  std::vector<std::pair<const void*, std::string>> entries;
  entries.reserve(accessors_.size() * 2 + 4);
  for (const char* role : {"initialise", "modelName", "decision", "task"})
    entries.emplace_back(resolve(description_->function(role).c_str()),
                         description_->function(role));
  for (std::size_t i = 0; i < accessors_.size(); ++i) {
    entries.emplace_back(accessors_[i].get, description_->values()[i].getter);
    entries.emplace_back(accessors_[i].set, description_->values()[i].setter);
  }
  std::sort(entries.begin(), entries.end());
  for (std::size_t i = 1; i < entries.size(); ++i)
    if (entries[i].first == entries[i - 1].first)
      throw InputError(
          description_->source() + " does not belong to " + origin + ": " +
          (entries[i].second == entries[i - 1].second
               ? "it names " + entries[i].second + " twice"
               : entries[i - 1].second + " and " + entries[i].second + " are the same function"));
}

Cell Model::read(std::size_t value) const {
  const Accessors& a = accessors_[value];
  Cell c;
  c.kind = a.kind;
  switch (a.kind) {
    case Kind::Double:
      c.d = reinterpret_cast<double (*)()>(a.get)();
      break;
    case Kind::Int:
      c.i = reinterpret_cast<std::int32_t (*)()>(a.get)();
      break;
    case Kind::Text:
      c.t = reinterpret_cast<const char* (*)()>(a.get)();
      break;
  }
  return c;
}

void Model::write(std::size_t value, const Cell& c) const {
  const Accessors& a = accessors_[value];
  switch (a.kind) {
    case Kind::Double:
      reinterpret_cast<double (*)(double)>(a.set)(c.d);
      break;
    case Kind::Int:
      reinterpret_cast<std::int32_t (*)(std::int32_t)>(a.set)(c.i);
      break;
    case Kind::Text:
      reinterpret_cast<const char* (*)(const char*)>(a.set)(c.t);
      break;
  }
}

std::pair<std::size_t, Cell> parse_set(const Description& d, std::string_view set,
                                       std::deque<std::string>& keep, const Labels* labels) {
  const auto eq = set.find('=');
  if (eq == std::string_view::npos || eq == 0)
    throw InputError("--set " + std::string(set) + ": expected NAME=VALUE");
  const std::string name(set.substr(0, eq));
  const auto v = d.find_value(name);
  if (!v)
    throw InputError("--set: " +
                     with_nearest("unknown variable " + name, d.nearest_values(name, labels)));
  return {*v, parse_cell(d.values()[*v].kind, set.substr(eq + 1), "--set " + name, keep)};
}

Cell parse_json_cell(Kind kind, const nlohmann::json& value, const std::string& what,
                     std::deque<std::string>& keep) {
  const bool fits = kind == Kind::Text  ? value.is_string()
                    : kind == Kind::Int ? value.is_number_integer()
                                        : value.is_number();
  if (!fits) throw InputError(what + ": " + value.dump() + " is not " + a_kind(kind));
  return parse_cell(kind, value.is_string() ? value.get<std::string>() : value.dump(), what, keep);
}

std::string a_kind(Kind kind) {
  return std::string(kind == Kind::Int ? "an " : "a ") + kind_name(kind);
}

namespace {

const nlohmann::json* member(const nlohmann::json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  const auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

[[noreturn]] void wrong_type(const std::string& where, const char* key, const char* type) {
  throw InputError(where + ": \"" + key + "\" must be " + type);
}

}  // namespace

std::string json_string(const nlohmann::json& object, const char* key, const std::string& where,
                        const std::string& fallback) {
  const nlohmann::json* v = member(object, key);
  if (v == nullptr) return fallback;
  if (!v->is_string()) wrong_type(where, key, "a string");
  return v->get<std::string>();
}

long long json_integer(const nlohmann::json& object, const char* key, const std::string& where,
                       long long fallback) {
  const nlohmann::json* v = member(object, key);
  if (v == nullptr) return fallback;
  if (!v->is_number_integer()) wrong_type(where, key, "a whole number");
  if (v->is_number_unsigned() &&
      v->get<unsigned long long>() >
          static_cast<unsigned long long>(std::numeric_limits<long long>::max()))
    wrong_type(where, key, "a whole number of a sensible size");
  return v->get<long long>();
}

Labels check_labels(const nlohmann::json& labels, const std::string& where, const Description& d,
                    bool ranges) {
  if (!labels.is_object()) throw InputError(where + ": must be an object of labels by name");
  Labels found;
  for (const auto& [name, entry] : labels.items()) {
    const std::string at = where + "." + name;
    const auto index = d.find_value(name);
    if (!index)
      throw InputError(with_nearest(at + ": unknown variable " + name, d.nearest_values(name)));
    if (!entry.is_object() || !entry.contains("label"))
      throw InputError(at + ": must be an object with a \"label\"");
    for (const auto& [key, value] : entry.items()) {
      const bool text = key == "label" || key == "unit" || key == "help";
      const bool number = ranges && (key == "min" || key == "max");
      if (!text && !number) throw InputError(at + ": unknown key \"" + key + "\"");
      if (text && !value.is_string()) throw InputError(at + ": \"" + key + "\" must be a string");
      if (number && !value.is_number()) throw InputError(at + ": \"" + key + "\" must be a number");
    }
    if (entry.contains("min") && entry.contains("max") &&
        entry["min"].get<double>() > entry["max"].get<double>())
      throw InputError(at + ": \"min\" lies above \"max\"");
    found[*index] = {entry["label"].get<std::string>(), entry.value("unit", std::string())};
  }
  return found;
}

Labels shown_labels(const Labels& scenario, const Labels& plan) {
  Labels out = scenario;
  out.insert(plan.begin(), plan.end());  // keeps the scenario's where both label a value
  return out;
}

bool json_bool(const nlohmann::json& object, const char* key, const std::string& where,
               bool fallback) {
  const nlohmann::json* v = member(object, key);
  if (v == nullptr) return fallback;
  if (!v->is_boolean()) wrong_type(where, key, "true or false");
  return v->get<bool>();
}

const nlohmann::json& json_list(const nlohmann::json& object, const char* key,
                                const std::string& where) {
  static const nlohmann::json empty = nlohmann::json::array();
  const nlohmann::json* v = member(object, key);
  if (v == nullptr) return empty;
  if (!v->is_array()) wrong_type(where, key, "a list");
  return *v;
}

long long parse_positive(std::string_view text, const std::string& what) {
  long long n = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  const auto [end, error] = std::from_chars(first, last, n);
  if (text.empty() || error != std::errc() || end != last || n < 1)
    throw InputError(what + ": " + quote_input(text) + " is not a positive whole number");
  return n;
}

namespace {

#ifdef __EMSCRIPTEN__
// The WebAssembly build's C++ library cannot read doubles with from_chars;
// strtod reads the same numbers once what from_chars refuses is refused
// first: leading blanks, a sign '+' and hexadecimal digits. As from_chars
// does, a number too large or so small that it becomes zero is out of range.
std::from_chars_result read_double(const char* first, const char* last, double& d) {
  const char* p = first;
  if (p != last && *p == '-') ++p;
  if (p == last || *p == '+' || std::isspace(static_cast<unsigned char>(*p)) ||
      (last - p > 1 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')))
    return {first, std::errc::invalid_argument};
  const std::string text(first, last);
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  const char* stop = first + (end - text.c_str());
  if (stop == first) return {first, std::errc::invalid_argument};
  if (errno == ERANGE && (std::isinf(value) || value == 0.0))
    return {stop, std::errc::result_out_of_range};
  d = value;
  return {stop, std::errc()};
}
#else
std::from_chars_result read_double(const char* first, const char* last, double& d) {
  return std::from_chars(first, last, d);
}
#endif

}  // namespace

Cell parse_cell(Kind kind, std::string_view text, const std::string& what,
                std::deque<std::string>& keep) {
  Cell c;
  c.kind = kind;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  switch (kind) {
    case Kind::Double: {
      // from_chars takes no leading '+'; accept it as people write it.
      if (first != last && *first == '+' && last - first > 1 && first[1] != '-') ++first;
      const auto [end, error] = read_double(first, last, c.d);
      if (!text.empty() && end == last && error == std::errc::result_out_of_range) {
        const double magnitude = std::fabs(std::strtod(std::string(first, last).c_str(), nullptr));
        throw InputError(what + ": " + quote_input(text) +
                         (magnitude < 1.0 ? " is too small for a double (it underflows to zero)"
                                          : " is too large for a double (it overflows)"));
      }
      if (text.empty() || error != std::errc() || end != last)
        throw InputError(what + ": " + quote_input(text) + " is not a number");
      break;
    }
    case Kind::Int: {
      if (first != last && *first == '+' && last - first > 1 && first[1] != '-') ++first;
      long long n = 0;
      const auto [end, error] = std::from_chars(first, last, n);
      if (text.empty() || end != last ||
          (error != std::errc() && error != std::errc::result_out_of_range))
        throw InputError(what + ": " + quote_input(text) + " is not a whole number");
      if (error == std::errc::result_out_of_range || n < std::numeric_limits<std::int32_t>::min() ||
          n > std::numeric_limits<std::int32_t>::max())
        throw InputError(what + ": " + quote_input(text) + " does not fit a 32-bit int");
      c.i = static_cast<std::int32_t>(n);
      break;
    }
    case Kind::Text:
      keep.emplace_back(text);
      c.t = keep.back().c_str();
      break;
  }
  return c;
}

}  // namespace tds
