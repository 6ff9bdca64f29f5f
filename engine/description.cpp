#include "description.h"

#include <nlohmann/json.hpp>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tds {

using nlohmann::json;

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

}  // namespace tds
