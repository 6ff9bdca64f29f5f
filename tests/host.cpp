#include "host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <unordered_map>

namespace tds_test {

const char* to_string(Kind kind) {
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

const std::vector<Export>& expected_exports() {
  static const std::vector<Export> list = [] {
    std::vector<Export> out;
    std::istringstream in(kExpectedExportsText);
    std::string name, kind;
    while (in >> name >> kind) {
      if (kind != "double" && kind != "int" && kind != "text") {
        std::fprintf(stderr, "bad kind '%s' in the expected export list\n", kind.c_str());
        std::abort();
      }
      out.push_back({name, kind == "double" ? Kind::Double
                           : kind == "int"  ? Kind::Int
                                            : Kind::Text});
    }
    return out;
  }();
  return list;
}

const std::string& module_file() {
  static const std::string name = tds::module_file_name("TarvelloDemoSite");
  return name;
}

namespace {

std::unique_ptr<tds::Module> current;
unsigned generation = 0;  // counts the modules loaded, so caches know when to resolve again

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  std::abort();
}

template <class F>
F function(const char* name) {
  try {
    return module().function<F>(name);
  } catch (const tds::LoadError& e) {
    fail(e.what());
  }
}

// Loads a pristine module before every test case.
class PristineModulePerCase : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { load_pristine_module(); }
};

[[maybe_unused]] const bool registered = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new PristineModulePerCase);
  return true;
}();

}  // namespace

void load_pristine_module() {
  current.reset();
  try {
    current = tds::Module::load_private_copy(module_file());
  } catch (const tds::LoadError& e) {
    fail(e.what());
  }
  ++generation;
}

tds::Module& module() {
  if (!current) load_pristine_module();
  return *current;
}

const std::vector<Value>& values() {
  static std::vector<Value> list;
  static unsigned resolved_in = 0;
  if (resolved_in == generation && !list.empty()) return list;
  list = [] {
    std::unordered_map<std::string, Kind> setters;
    for (const Export& e : expected_exports())
      if (e.name.rfind("Set", 0) == 0) setters.emplace(e.name.substr(3), e.kind);
    std::vector<Value> out;
    for (const Export& e : expected_exports()) {
      if (e.name.rfind("Get", 0) != 0) continue;
      std::string q = e.name.substr(3);
      auto it = setters.find(q);
      if (it == setters.end()) continue;  // GetModelName and friends
      if (it->second != e.kind) {
        std::fprintf(stderr, "Get/Set kinds differ for %s\n", q.c_str());
        std::abort();
      }
      out.push_back(
          {q, e.kind, function<void*>(e.name.c_str()), function<void*>(("Set" + q).c_str())});
    }
    return out;
  }();
  resolved_in = generation;
  return list;
}

const Value& value(std::string_view name) {
  static std::unordered_map<std::string_view, const Value*> index;
  static unsigned indexed_in = 0;
  if (indexed_in != generation || index.empty()) {
    index.clear();
    for (const Value& v : values()) index.emplace(v.name, &v);
    indexed_in = generation;
  }
  auto it = index.find(name);
  if (it == index.end()) {
    std::fprintf(stderr, "no value named %.*s\n", static_cast<int>(name.size()), name.data());
    std::abort();
  }
  return *it->second;
}

std::uint64_t bits_of(double d) {
  std::uint64_t b = 0;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

double double_of_bits(std::uint64_t bits) {
  double d = 0.0;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// A cell keeps a text's address as its bits; this gives the address back.
const char* text_of(const Cell& c) {
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the bits were an address to begin with
  return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(c.bits));
}

Cell zero_of(Kind kind) { return {kind, 0}; }
Cell cell_of(double d) { return {Kind::Double, bits_of(d)}; }
Cell cell_of(std::int32_t i) { return {Kind::Int, static_cast<std::uint32_t>(i)}; }
Cell cell_of(const char* text) { return {Kind::Text, reinterpret_cast<std::uintptr_t>(text)}; }

std::string describe(const Cell& c) {
  char buf[96];
  switch (c.kind) {
    case Kind::Double:
      std::snprintf(buf, sizeof buf, "double %.17g (0x%016llx)", double_of_bits(c.bits),
                    static_cast<unsigned long long>(c.bits));
      break;
    case Kind::Int:
      std::snprintf(buf, sizeof buf, "int %d", static_cast<std::int32_t>(c.bits));
      break;
    case Kind::Text:
      std::snprintf(buf, sizeof buf, "text at 0x%llx", static_cast<unsigned long long>(c.bits));
      break;
  }
  return buf;
}

Cell read(const Value& v) {
  switch (v.kind) {
    case Kind::Double:
      return cell_of(reinterpret_cast<double (*)()>(v.get)());
    case Kind::Int:
      return cell_of(reinterpret_cast<std::int32_t (*)()>(v.get)());
    case Kind::Text:
      return cell_of(reinterpret_cast<const char* (*)()>(v.get)());
  }
  std::abort();
}

Cell write(const Value& v, const Cell& c) {
  switch (v.kind) {
    case Kind::Double:
      return cell_of(reinterpret_cast<double (*)(double)>(v.set)(double_of_bits(c.bits)));
    case Kind::Int:
      return cell_of(reinterpret_cast<std::int32_t (*)(std::int32_t)>(v.set)(
          static_cast<std::int32_t>(c.bits)));
    case Kind::Text:
      return cell_of(reinterpret_cast<const char* (*)(const char*)>(v.set)(text_of(c)));
  }
  std::abort();
}

std::vector<Cell> snapshot() {
  std::vector<Cell> out;
  out.reserve(values().size());
  for (const Value& v : values()) out.push_back(read(v));
  return out;
}

Markers::Markers() : texts_(values().size()) {
  cells_.reserve(values().size());
  for (std::size_t i = 0; i < values().size(); ++i) {
    switch (values()[i].kind) {
      case Kind::Double:
        cells_.push_back(cell_of(1.0 + static_cast<double>(i + 1) * 0.3183098861837907));
        break;
      case Kind::Int:
        cells_.push_back(cell_of(static_cast<std::int32_t>(100000 + i)));
        break;
      case Kind::Text:
        cells_.push_back(cell_of(texts_.data() + i));
        break;
    }
  }
}

void Markers::write_all() const {
  for (std::size_t i = 0; i < values().size(); ++i) write(values()[i], cells_[i]);
}

namespace {

const Value& typed(std::string_view name, Kind kind) {
  const Value& v = value(name);
  if (v.kind != kind) {
    std::fprintf(stderr, "%.*s is a %s, not a %s\n", static_cast<int>(name.size()), name.data(),
                 to_string(v.kind), to_string(kind));
    std::abort();
  }
  return v;
}

}  // namespace

double get_double(std::string_view n) { return double_of_bits(read(typed(n, Kind::Double)).bits); }
double set_double(std::string_view n, double d) {
  return double_of_bits(write(typed(n, Kind::Double), cell_of(d)).bits);
}
std::int32_t get_int(std::string_view n) {
  return static_cast<std::int32_t>(read(typed(n, Kind::Int)).bits);
}
std::int32_t set_int(std::string_view n, std::int32_t i) {
  return static_cast<std::int32_t>(write(typed(n, Kind::Int), cell_of(i)).bits);
}
const char* get_text(std::string_view n) { return text_of(read(typed(n, Kind::Text))); }
const char* set_text(std::string_view n, const char* t) {
  return text_of(write(typed(n, Kind::Text), cell_of(t)));
}

const char* ini_model() { return function<const char* (*)()>("IniModel")(); }
const char* model_name() { return function<const char* (*)()>("GetModelName")(); }
std::int32_t decision(const char* node) {
  return function<std::int32_t (*)(const char*)>("GetModelDecision")(node);
}
std::int32_t task(const char* node) {
  return function<std::int32_t (*)(const char*)>("GetModelTask")(node);
}

}  // namespace tds_test
