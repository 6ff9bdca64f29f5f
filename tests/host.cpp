#include "host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <unordered_map>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

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

const char* Module::file_name() {
#if defined(_WIN32)
  return "TarvelloDemoSite.dll";
#else
  return "TarvelloDemoSite.so";
#endif
}

Module::Module() {
  // By plain module name: the loader finds it beside the test program.
#if defined(_WIN32)
  handle_ = reinterpret_cast<void*>(LoadLibraryA(file_name()));
  if (!handle_) {
    std::fprintf(stderr, "cannot load %s (error %lu)\n", file_name(), GetLastError());
    std::abort();
  }
#else
  handle_ = dlopen(file_name(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    std::fprintf(stderr, "cannot load %s: %s\n", file_name(), dlerror());
    std::abort();
  }
#endif
}

Module& Module::get() {
  static Module module;
  return module;
}

void* Module::symbol(const char* name) const {
#if defined(_WIN32)
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
  return dlsym(handle_, name);
#endif
}

namespace {

template <class F>
F function(const char* name) {
  void* p = Module::get().symbol(name);
  if (!p) {
    std::fprintf(stderr, "the module has no export %s\n", name);
    std::abort();
  }
  return reinterpret_cast<F>(p);
}

}  // namespace

const std::vector<Value>& values() {
  static const std::vector<Value> list = [] {
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
  return list;
}

const Value& value(std::string_view name) {
  static const std::unordered_map<std::string_view, const Value*> index = [] {
    std::unordered_map<std::string_view, const Value*> m;
    for (const Value& v : values()) m.emplace(v.name, &v);
    return m;
  }();
  auto it = index.find(name);
  if (it == index.end()) {
    std::fprintf(stderr, "no value named %.*s\n", static_cast<int>(name.size()), name.data());
    std::abort();
  }
  return *it->second;
}

std::uint64_t bits_of(double d) {
  std::uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

double double_of_bits(std::uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
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
      return cell_of(reinterpret_cast<const char* (*)(const char*)>(v.set)(
          reinterpret_cast<const char*>(static_cast<std::uintptr_t>(c.bits))));
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
const char* get_text(std::string_view n) {
  return reinterpret_cast<const char*>(
      static_cast<std::uintptr_t>(read(typed(n, Kind::Text)).bits));
}
const char* set_text(std::string_view n, const char* t) {
  return reinterpret_cast<const char*>(
      static_cast<std::uintptr_t>(write(typed(n, Kind::Text), cell_of(t)).bits));
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
