#include "input.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <system_error>

#include "description.h"

#ifdef __EMSCRIPTEN__
#include <fmt/format.h>
#endif

namespace tds {

using nlohmann::json;

std::string one_line(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20 || u == 0x7f) {
      static const char hex[] = "0123456789abcdef";
      out += "\\x";
      out += hex[u >> 4];
      out += hex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string quote_input(std::string_view text) {
  constexpr std::size_t kLongest = 60;
  if (text.size() <= kLongest) return "'" + one_line(text) + "'";
  return "'" + one_line(text.substr(0, kLongest)) + "...' (" + std::to_string(text.size()) +
         " bytes)";
}

std::string read_text_file(const std::string& path, const std::string& what) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) throw InputError("cannot read the " + what + " " + path);
  // One buffer of the file's size: growing a string page by page costs more
  // than the reading (every new page is a fault), and hosts read the
  // description at every start.
  std::string text;
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (!error) text.resize(static_cast<std::size_t>(size));
  std::size_t used = std::fread(text.data(), 1, text.size(), f);
  text.resize(used);
  char chunk[4096];
  for (std::size_t n = 0; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) text.append(chunk, n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw InputError("cannot read the " + what + " " + path);
  return text;
}

json read_json(std::string_view text, const std::string& what) {
  try {
    return json::parse(text.begin(), text.end());
  } catch (const json::exception& e) {
    throw InputError(what + ": not valid JSON (" + e.what() + ")");
  }
}

const char* kind_name(Kind kind) {
  switch (kind) {
    case Kind::Double:
      return "double";
    case Kind::Int:
      return "int";
    case Kind::Text:
      return "text";
  }
  return "?";
}

std::string a_kind(Kind kind) {
  return std::string(kind == Kind::Int ? "an " : "a ") + kind_name(kind);
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

#ifdef __EMSCRIPTEN__
// The WebAssembly build's C++ library cannot print doubles with to_chars.
// {fmt} finds the same shortest digits that read back to the same bits; they
// are laid out here as to_chars lays them out: plain or scientific notation,
// whichever is shorter, plain on a tie; a plain whole number of 17 or more
// digits is printed exactly.
char* write_double(char* buf, double d) {
  char* out = buf;
  if (std::signbit(d)) *out++ = '-';
  if (std::isnan(d) || std::isinf(d) || d == 0.0) {
    const char* word = std::isnan(d) ? "nan" : std::isinf(d) ? "inf" : "0";
    while (*word) *out++ = *word++;
    return out;
  }
  const double magnitude = std::fabs(d);
  // {fmt}'s shortest form: digits with a point ("0.00012", "123.4",
  // "100000") or in scientific notation ("1.5e+16").
  char raw[40];
  char* const raw_end = fmt::format_to_n(raw, sizeof raw - 1, "{}", magnitude).out;
  *raw_end = '\0';
  std::string digits;
  int exponent = 0;  // of the first significant digit
  const char* e = std::find(raw, raw_end, 'e');
  int before_point = 0;
  bool seen_point = false;
  for (const char* p = raw; p != e; ++p) {
    if (*p == '.') {
      seen_point = true;
    } else {
      digits += *p;
      if (!seen_point) ++before_point;
    }
  }
  const std::size_t leading = digits.find_first_not_of('0');
  exponent = before_point - 1 - static_cast<int>(leading);
  digits.erase(0, leading);
  digits.erase(digits.find_last_not_of('0') + 1);
  if (e != raw_end) exponent = std::atoi(e + 1);
  const int n = static_cast<int>(digits.size());

  std::string scientific = digits.substr(0, 1);
  if (n > 1) scientific += "." + digits.substr(1);
  scientific += exponent < 0 ? "e-" : "e+";
  const int power = exponent < 0 ? -exponent : exponent;
  if (power < 10) scientific += '0';
  scientific += std::to_string(power);

  std::size_t plain_size = 0;
  if (exponent >= n - 1)
    plain_size = static_cast<std::size_t>(exponent) + 1;
  else if (exponent >= 0)
    plain_size = static_cast<std::size_t>(n) + 1;
  else
    plain_size = static_cast<std::size_t>(n - exponent) + 1;
  if (scientific.size() < plain_size) return std::copy(scientific.begin(), scientific.end(), out);
  std::string plain;
  if (exponent >= n - 1)
    plain = exponent >= 16 ? fmt::format("{:.0f}", magnitude)
                           : digits + std::string(static_cast<std::size_t>(exponent + 1 - n), '0');
  else if (exponent >= 0)
    plain = digits.substr(0, static_cast<std::size_t>(exponent) + 1) + "." +
            digits.substr(static_cast<std::size_t>(exponent) + 1);
  else
    plain = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  return std::copy(plain.begin(), plain.end(), out);
}
#else
char* write_double(char* buf, double d) { return std::to_chars(buf, buf + 32, d).ptr; }
#endif

std::string format_double(double d) {
  char buf[32];
  return std::string(buf, write_double(buf, d));
}

Cell parse_json_cell(Kind kind, const nlohmann::json& value, const std::string& what,
                     std::deque<std::string>& keep) {
  const bool fits = kind == Kind::Text  ? value.is_string()
                    : kind == Kind::Int ? value.is_number_integer()
                                        : value.is_number();
  if (!fits) throw InputError(what + ": " + value.dump() + " is not " + a_kind(kind));
  return parse_cell(kind, value.is_string() ? value.get<std::string>() : value.dump(), what, keep);
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

Labels check_labels(const nlohmann::json& labels, const std::string& where, const Description& d,
                    bool ranges) {
  if (!labels.is_object()) throw InputError(where + ": must be an object of labels by name");
  Labels found;
  for (const auto& [name, entry] : labels.items()) {
    const std::string at = where + "." + name;
    const std::size_t index = value_named(d, name, at + ": ");
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
    found[index] = {entry["label"].get<std::string>(), entry.value("unit", std::string())};
  }
  return found;
}

const Label* shown_label(const Labels& scenario, const Labels& plan, std::size_t value) {
  if (const auto it = scenario.find(value); it != scenario.end()) return &it->second;
  if (const auto it = plan.find(value); it != plan.end()) return &it->second;
  return nullptr;
}

Labels shown_labels(const Labels& scenario, const Labels& plan) {
  Labels out = scenario;
  out.insert(plan.begin(), plan.end());  // keeps the scenario's where both label a value
  return out;
}

namespace {

unsigned char fold(char c) {
  return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

bool equal_folded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

bool contains_folded(std::string_view text, std::string_view word) {
  if (word.size() > text.size()) return false;
  for (std::size_t at = 0; at + word.size() <= text.size(); ++at)
    if (equal_folded(text.substr(at, word.size()), word)) return true;
  return false;
}

// A value's name without its block and what follows ("waterTank" of
// "waterTank_B1_Food_P1_Crop"); a name without a block is its own part.
std::string_view name_part(std::string_view name) {
  for (std::size_t at = name.find("_B"); at != std::string_view::npos;
       at = name.find("_B", at + 1)) {
    std::size_t end = at + 2;
    while (end < name.size() && name[end] >= '0' && name[end] <= '9') ++end;
    if (end > at + 2 && end < name.size() && name[end] == '_') return name.substr(0, at);
  }
  return name;
}

// The distinct words of a text, in lower case: its runs of characters other
// than blanks. Repeated words count once, so that a long name costs no more
// label searches than the words it has.
std::vector<std::string> words_of(std::string_view text) {
  std::vector<std::string> words;
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  for (std::size_t i = 0; i < text.size();) {
    while (i < text.size() && blank(text[i])) ++i;
    std::string word;
    for (; i < text.size() && !blank(text[i]); ++i) word += static_cast<char>(fold(text[i]));
    if (!word.empty()) words.push_back(std::move(word));
  }
  std::sort(words.begin(), words.end());
  words.erase(std::unique(words.begin(), words.end()), words.end());
  return words;
}

}  // namespace

std::vector<std::string> nearest_names(std::string_view name,
                                       const std::vector<std::string_view>& candidates,
                                       std::size_t count,
                                       const std::vector<std::string_view>& labels) {
  if (count == 0) return {};
  std::vector<std::string> out;
  std::vector<bool> taken(candidates.size(), false);
  // What a person types first: the name without its block, which names the
  // same quantity in every process that has one, so all of them are offered.
  for (std::size_t i = 0; i < candidates.size(); ++i)
    if (equal_folded(name_part(candidates[i]), name)) {
      out.emplace_back(candidates[i]);
      taken[i] = true;
    }
  // Then the words of a label as the page shows it.
  const std::vector<std::string> words =
      labels.size() == candidates.size() ? words_of(name) : std::vector<std::string>();
  if (!words.empty())
    for (std::size_t i = 0; i < candidates.size() && out.size() < count; ++i) {
      if (taken[i] || labels[i].empty()) continue;
      if (std::all_of(words.begin(), words.end(),
                      [&](const std::string& w) { return contains_folded(labels[i], w); })) {
        out.emplace_back(candidates[i]);
        taken[i] = true;
      }
    }
  if (out.size() >= count) return out;
  const std::size_t wanted = count - out.size();

  // A name more than twice as long as every candidate is near none: more
  // than half of it would have to go.
  std::size_t longest = 0;
  for (std::string_view c : candidates) longest = std::max(longest, c.size());
  if (name.size() > 2 * longest) return out;

  // Levenshtein distance in half steps, a substitution that changes only the
  // letter case counting one half step, so that such a name ranks first. A
  // candidate is given up as soon as it cannot beat the best so far of the
  // places left.
  std::vector<int> row, next;
  auto distance = [&](std::string_view b, int limit) {
    row.resize(b.size() + 1);
    next.resize(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = static_cast<int>(2 * j);
    for (std::size_t i = 1; i <= name.size(); ++i) {
      next[0] = static_cast<int>(2 * i);
      int best = next[0];
      const char x = name[i - 1];
      const unsigned char fx = fold(x);
      for (std::size_t j = 1; j <= b.size(); ++j) {
        const int substitute = x == b[j - 1] ? 0 : fx == fold(b[j - 1]) ? 1 : 2;
        next[j] = std::min(std::min(row[j], next[j - 1]) + 2, row[j - 1] + substitute);
        best = std::min(best, next[j]);
      }
      if (best > limit) return best;
      std::swap(row, next);
    }
    return row[b.size()];
  };

  // A lower bound of each distance: the letters (case aside) that one name
  // has more often than the other, each of which costs an edit of a whole
  // step. Candidates are measured in the order of their bounds, so that the
  // closest are met first and the rest are given up on their bound alone.
  std::array<int, 256> letters{};  // the name's letters, by how often each occurs
  for (char c : name) ++letters[fold(c)];
  std::vector<std::pair<int, std::size_t>> order;  // (bound, candidate)
  order.reserve(candidates.size());
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (taken[i]) continue;
    int lacking = 0;  // the candidate's letters that the name lacks
    for (char c : candidates[i])
      if (--letters[fold(c)] < 0) ++lacking;
    for (char c : candidates[i]) ++letters[fold(c)];
    const int extra = static_cast<int>(name.size() + static_cast<std::size_t>(lacking)) -
                      static_cast<int>(candidates[i].size());
    order.emplace_back(2 * std::max(lacking, extra), i);
  }
  std::sort(order.begin(), order.end());

  std::vector<std::pair<int, std::size_t>> best;  // (distance, candidate), sorted: ties by order
  for (const auto& [bound, i] : order) {
    if (best.size() >= wanted && std::pair(bound, i) > best.back()) {
      if (bound > best.back().first) break;
      continue;
    }
    const int limit = best.size() < wanted ? std::numeric_limits<int>::max() : best.back().first;
    const std::pair<int, std::size_t> found(distance(candidates[i], limit), i);
    if (best.size() >= wanted && found > best.back()) continue;
    best.insert(std::upper_bound(best.begin(), best.end(), found), found);
    if (best.size() > wanted) best.pop_back();
  }
  for (const auto& [d, i] : best) out.emplace_back(candidates[i]);
  return out;
}

std::string with_nearest(const std::string& what, const std::vector<std::string>& nearest) {
  if (nearest.empty()) return what;
  std::string s = what + " (nearest:";
  for (std::size_t i = 0; i < nearest.size(); ++i) s += (i ? ", " : " ") + nearest[i];
  return s + ")";
}

std::string unknown_value(const Description& d, std::string_view name, const Labels* labels,
                          NameShown shown) {
  std::string what = "unknown variable";
  if (shown == NameShown::Plain) what += " " + std::string(name);
  if (shown == NameShown::Quoted) what += " " + quote_input(name);
  return with_nearest(what, d.nearest_values(name, labels));
}

std::size_t value_named(const Description& d, std::string_view name, const std::string& prefix,
                        const Labels* labels, NameShown shown) {
  const std::optional<std::size_t> v = d.find_value(name);
  if (!v) throw InputError(prefix + unknown_value(d, name, labels, shown));
  return *v;
}

std::pair<std::size_t, Cell> parse_set(const Description& d, std::string_view set,
                                       std::deque<std::string>& keep, const Labels* labels) {
  const auto eq = set.find('=');
  if (eq == std::string_view::npos || eq == 0)
    throw InputError("--set " + std::string(set) + ": expected NAME=VALUE");
  const std::string name(set.substr(0, eq));
  const std::size_t v = value_named(d, name, "--set: ", labels);
  return {v, parse_cell(d.values()[v].kind, set.substr(eq + 1), "--set " + name, keep)};
}

}  // namespace tds
