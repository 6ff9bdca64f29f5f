#include "description.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
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

std::string sibling_node(const std::string& id, long long number) {
  return id.substr(0, id.rfind('_') + 1) + std::to_string(number);
}

namespace {

Kind parse_kind(const std::string& s, const std::string& where) {
  if (s == "double") return Kind::Double;
  if (s == "int") return Kind::Int;
  if (s == "text") return Kind::Text;
  throw InputError(where + ": unknown kind '" + s + "'");
}

}  // namespace

// Reads a description as a stream of parse events, keeping only what a host
// needs: hosts read it at every start, and building the whole document first
// would cost several times as much.
class DescriptionReader : public nlohmann::json_sax<json> {
 public:
  explicit DescriptionReader(const std::string& source) : source_(source) {}

  bool null() override { return scalar(Scalar{}); }
  bool boolean(bool b) override { return scalar(Scalar{b ? "true" : "false", false, false}); }
  bool number_integer(number_integer_t n) override {
    return scalar(Scalar{std::to_string(n), false, true});
  }
  bool number_unsigned(number_unsigned_t n) override {
    return scalar(Scalar{std::to_string(n), false, true});
  }
  bool number_float(number_float_t, const string_t& text) override {
    return scalar(Scalar{text, false, true});
  }
  // Copied, not moved: the parser reuses the string's buffer for the next token.
  bool string(string_t& s) override { return scalar(Scalar{s, true, false}); }
  bool binary(binary_t&) override { return true; }
  bool key(string_t& k) override {
    if (depth_ == 1) top_ = k;
    if (depth_ == 2 && top_ == "functions") role_ = k;
    if (depth_ == 3) field_ = field_of(k);
    return true;
  }
  bool start_object(std::size_t) override {
    if (++depth_ == 3) std::fill(std::begin(present_), std::end(present_), false);
    return true;
  }
  bool end_object() override {
    if (depth_-- == 3) commit();
    return true;
  }
  bool start_array(std::size_t) override {
    ++depth_;
    return true;
  }
  bool end_array() override {
    --depth_;
    return true;
  }
  bool parse_error(std::size_t position, const std::string&,
                   const nlohmann::detail::exception& e) override {
    throw InputError(source_ + ": not valid JSON at byte " + std::to_string(position) + " (" +
                     e.what() + ")");
  }

  Description take(Description d) {
    if (format_ != "1")
      throw InputError(source_ + ": description format " + (format_.empty() ? "(none)" : format_) +
                       " is not supported (expected 1)");
    d.model_ = model_;
    d.version_ = version_;
    d.functions_ = std::move(functions_);
    d.values_ = std::move(values_);
    d.nodes_ = std::move(nodes_);
    d.processes_ = std::move(processes_);
    return d;
  }

 private:
  struct Scalar {
    std::string text;
    bool is_string = false;
    bool is_number = false;
  };
  // The fields of an entry that a host uses; others are skipped.
  enum Field {
    kName,
    kKind,
    kGetter,
    kSetter,
    kProcessNumber,
    kCategory,
    kInitial,
    kId,
    kLabel,
    kNode,
    kIfTrue,
    kIfFalse,
    kNumber,
    kBlock,
    kFieldCount,
    kOther = kFieldCount
  };
  static Field field_of(const std::string& key) {
    static const std::unordered_map<std::string, Field> fields = {{"name", kName},
                                                                  {"kind", kKind},
                                                                  {"getter", kGetter},
                                                                  {"setter", kSetter},
                                                                  {"processNumber", kProcessNumber},
                                                                  {"category", kCategory},
                                                                  {"initial", kInitial},
                                                                  {"id", kId},
                                                                  {"label", kLabel},
                                                                  {"node", kNode},
                                                                  {"ifTrue", kIfTrue},
                                                                  {"ifFalse", kIfFalse},
                                                                  {"number", kNumber},
                                                                  {"block", kBlock}};
    const auto it = fields.find(key);
    return it == fields.end() ? kOther : it->second;
  }
  static constexpr const char* kFieldNames[kFieldCount] = {
      "name", "kind",  "getter", "setter", "processNumber", "category", "initial",
      "id",   "label", "node",   "ifTrue", "ifFalse",       "number",   "block"};

  bool scalar(Scalar v) {
    if (depth_ == 1) {
      if (top_ == "model") model_ = v.text;
      if (top_ == "version") version_ = v.text;
      if (top_ == "formatVersion") format_ = v.text;
    } else if (depth_ == 2 && top_ == "functions") {
      functions_[role_] = v.text;
    } else if (depth_ == 3 && field_ != kOther) {
      entry_[field_] = std::move(v.text);
      present_[field_] = true;
    }
    return true;
  }

  const std::string& text(Field f) const {
    if (!present_[f])
      throw InputError(source_ + ": not a model description (" + top_ + "[" +
                       std::to_string(count()) + "] has no \"" + kFieldNames[f] + "\")");
    return entry_[f];
  }
  int number(Field f) const {
    const std::string& t = text(f);
    try {
      return std::stoi(t);
    } catch (const std::exception&) {
      throw InputError(source_ + ": not a model description (" + top_ + "[" +
                       std::to_string(count()) + "]." + kFieldNames[f] + " is not a number)");
    }
  }
  std::size_t count() const {
    return top_ == "values" ? values_.size() : top_ == "nodes" ? nodes_.size() : processes_.size();
  }

  void commit() {
    if (top_ == "values") {
      ValueInfo v{text(kName),   parse_kind(text(kKind), source_), text(kGetter),
                  text(kSetter), number(kProcessNumber),           text(kCategory) == "slot",
                  std::nullopt};
      if (present_[kInitial]) v.initial = entry_[kInitial];
      values_.push_back(std::move(v));
    } else if (top_ == "nodes") {
      NodeInfo n{text(kId), text(kKind) == "decision", number(kProcessNumber), text(kLabel),
                 number(kNode)};
      if (n.decision) {
        n.if_true = number(kIfTrue);
        n.if_false = number(kIfFalse);
      }
      nodes_.push_back(std::move(n));
    } else if (top_ == "processes") {
      processes_.push_back({number(kNumber), text(kName), text(kBlock)});
    }
  }

  const std::string& source_;
  int depth_ = 0;
  std::string top_, role_, model_, version_, format_;
  Field field_ = kOther;
  std::string entry_[kFieldCount];
  bool present_[kFieldCount] = {};
  std::unordered_map<std::string, std::string> functions_;
  std::vector<ValueInfo> values_;
  std::vector<NodeInfo> nodes_;
  std::vector<ProcessInfo> processes_;
};

Description Description::parse(std::string_view text, const std::string& source) {
  DescriptionReader reader(source);
  json::sax_parse(text.begin(), text.end(), &reader);
  Description d = reader.take(Description());
  d.source_ = source;
  if (d.model_.empty()) throw InputError(source + ": not a model description (no \"model\")");
  for (const char* role : {"initialise", "modelName", "decision", "task"})
    if (!d.functions_.count(role))
      throw InputError(source + ": not a model description (no function \"" + role + "\")");
  for (std::size_t i = 0; i < d.values_.size(); ++i)
    if (!d.value_index_.emplace(d.values_[i].name, i).second)
      throw InputError(source + ": value " + d.values_[i].name + " is described twice");
  for (std::size_t i = 0; i < d.nodes_.size(); ++i)
    if (!d.node_index_.emplace(d.nodes_[i].id, i).second)
      throw InputError(source + ": node " + d.nodes_[i].id + " is described twice");
  return d;
}

Description Description::load(const std::string& path) {
#if defined(_WIN32)
  return parse(read_text_file(path, "model description"), path);
#else
  // Mapped rather than read: hosts read the description at every start, and
  // the page cache's pages cost less than fresh ones filled by a copy.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0 || info.st_size == 0) {
    if (fd >= 0) close(fd);
    return parse(read_text_file(path, "model description"), path);
  }
  const auto size = static_cast<std::size_t>(info.st_size);
  void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
  close(fd);
  if (mapped == MAP_FAILED) return parse(read_text_file(path, "model description"), path);
  try {
    Description d = parse(std::string_view(static_cast<const char*>(mapped), size), path);
    munmap(mapped, size);
    return d;
  } catch (...) {
    munmap(mapped, size);
    throw;
  }
#endif
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

const std::string& Description::function(const char* role) const { return functions_.at(role); }

std::optional<std::size_t> Description::find_value(std::string_view name) const {
  auto it = value_index_.find(name);
  if (it == value_index_.end()) return std::nullopt;
  return it->second;
}

std::optional<std::size_t> Description::find_node(std::string_view id) const {
  auto it = node_index_.find(id);
  if (it == node_index_.end()) return std::nullopt;
  return it->second;
}

const ProcessInfo* Description::find_process(std::string_view name) const {
  for (const ProcessInfo& p : processes_)
    if (p.name == name) return &p;
  return nullptr;
}

std::vector<std::string> Description::nearest_values(std::string_view name, const Labels* labels,
                                                     std::size_t count) const {
  std::vector<std::string_view> names, shown;
  names.reserve(values_.size());
  for (const ValueInfo& v : values_) names.push_back(v.name);
  if (labels != nullptr && !labels->empty()) {
    shown.reserve(values_.size());
    for (std::size_t i = 0; i < values_.size(); ++i) {
      const auto it = labels->find(i);
      shown.push_back(it == labels->end() ? std::string_view()
                                          : std::string_view(it->second.label));
    }
  }
  return nearest_names(name, names, count, shown);
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

}  // namespace tds
