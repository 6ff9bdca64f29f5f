#include "study_reader.h"

#include <algorithm>
#include <cmath>

#include "description.h"

namespace tds::study {

using nlohmann::json;

void Reader::fail(const std::string& key, const std::string& problem) const {
  throw InputError(source_ + ": " + at(key) + ": " + problem);
}

std::string Reader::at(const std::string& key) const {
  return key.empty() ? where_ : where_.empty() ? key : where_ + "." + key;
}

const json* Reader::get(const std::string& key) const {
  const auto it = object_.find(key);
  return it == object_.end() ? nullptr : &*it;
}

void Reader::only(const std::vector<std::string_view>& known) const {
  for (const auto& [key, value] : object_.items())
    if (std::find(known.begin(), known.end(), key) == known.end())
      throw InputError(source_ + ": " + (where_.empty() ? std::string() : where_ + ": ") +
                       with_nearest("unknown key \"" + key + "\"", nearest_names(key, known, 3)));
}

double Reader::number(const std::string& key, double fallback) const {
  const json* v = get(key);
  if (v == nullptr) return fallback;
  if (!v->is_number() || !std::isfinite(v->get<double>())) fail(key, "must be a finite number");
  return v->get<double>();
}

double Reader::required_number(const std::string& key) const {
  if (!has(key)) fail(key, "is missing");
  return number(key, 0.0);
}

std::size_t Reader::count(const std::string& key, std::size_t fallback, std::size_t least,
                          std::size_t most) const {
  const json* v = get(key);
  if (v == nullptr) return fallback;
  if (!v->is_number_integer() || v->get<long long>() < static_cast<long long>(least) ||
      (v->is_number_unsigned() && v->get<unsigned long long>() > most) ||
      v->get<long long>() > static_cast<long long>(most))
    fail(key,
         "must be a whole number from " + std::to_string(least) + " to " + std::to_string(most));
  return v->get<std::size_t>();
}

bool Reader::flag(const std::string& key, bool fallback) const {
  const json* v = get(key);
  if (v == nullptr) return fallback;
  if (!v->is_boolean()) fail(key, "must be true or false");
  return v->get<bool>();
}

std::string Reader::text(const std::string& key) const {
  const json* v = get(key);
  if (v == nullptr) fail(key, "is missing");
  if (!v->is_string()) fail(key, "must be a string");
  return v->get<std::string>();
}

const json& Reader::list(const std::string& key, bool required) const {
  static const json empty = json::array();
  const json* v = get(key);
  if (v == nullptr) {
    if (required) fail(key, "is missing");
    return empty;
  }
  if (!v->is_array()) fail(key, "must be a list");
  return *v;
}

const json& Reader::object(const std::string& key) const {
  static const json empty = json::object();
  const json* v = get(key);
  if (v == nullptr) return empty;
  if (!v->is_object()) fail(key, "must be an object");
  return *v;
}

Reader Reader::element(const std::string& key, std::size_t i) const {
  const json& v = list(key, false)[i];
  const std::string place = at(key) + "[" + std::to_string(i) + "]";
  if (!v.is_object()) throw InputError(source_ + ": " + place + ": must be an object");
  return {v, place, source_};
}

}  // namespace tds::study
