// libFuzzer target: node identifiers into GetModelDecision and GetModelTask of the module
// TarvelloDemoSite.so, loaded from beside this program the way a host loads it.
//
// At start the target reads the model description TarvelloDemoSite.json beside the module for
// the 35 node identifiers (with their kind and, for a decision, its two successors) and the
// getter, setter and kind of every one of the 1003 values, and sets every value to a distinct
// marker through its setter.
//
// Input: the bytes up to the first NUL (or all of them) are the identifier; it is passed in a
// buffer of exactly its length plus the NUL, so that ASan sees any read beyond it.
//  - An identifier that names no node: GetModelDecision and GetModelTask must both return 0 and
//    no value may change (all 1003 compared bit for bit before and after).
//  - A decision identifier: GetModelTask returns 0 and changes nothing; GetModelDecision returns
//    one of the node's two described successors and changes nothing.
//  - A task identifier: GetModelDecision returns 0 and changes nothing; GetModelTask returns 0.
//    Its effect is not checked here (tests/ do that); the markers are restored afterwards.
// Any violation aborts, so that libFuzzer reports the input.
#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "loader.h"

namespace {

// The harness's own bookkeeping (reading 1003 values, comparing them) is neither coverage for
// libFuzzer nor worth the comparison tracing: it would flood the comparison tables with marker
// values and cost most of each run. The casts of the getters and setters are checked once by
// the tests of the description; here their calls skip -fsanitize=function.
#define TDS_HARNESS __attribute__((no_sanitize("coverage", "function")))

using DecisionFn = std::int32_t (*)(const char*);
using TaskFn = std::int32_t (*)(const char*);

enum class Kind { kDouble, kInt, kText };

struct Value {
  std::string name;
  Kind kind = Kind::kDouble;
  void* getter = nullptr;
  void* setter = nullptr;
};

struct Node {
  bool decision;
  std::int32_t if_true;
  std::int32_t if_false;
};

std::unique_ptr<tds::Module> g_module;
DecisionFn g_decision = nullptr;
TaskFn g_task = nullptr;
std::vector<Value> g_values;
std::map<std::string, Node> g_nodes;
std::vector<std::string> g_text_markers;  // the texts whose addresses are the text markers
std::vector<std::uint64_t> g_markers;     // the marker of every value, as its bit pattern

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "fuzz_node_ids: %s\n", message.c_str());
  std::abort();
}

TDS_HARNESS std::uint64_t Read(const Value& v) {
  switch (v.kind) {
    case Kind::kDouble: {
      const double d = reinterpret_cast<double (*)(void)>(v.getter)();
      std::uint64_t bits = 0;
      std::memcpy(&bits, &d, sizeof bits);
      return bits;
    }
    case Kind::kInt:
      return static_cast<std::uint32_t>(reinterpret_cast<std::int32_t (*)(void)>(v.getter)());
    case Kind::kText:
      return reinterpret_cast<std::uintptr_t>(reinterpret_cast<const char* (*)(void)>(v.getter)());
  }
  return 0;
}

TDS_HARNESS void Write(const Value& v, std::uint64_t bits) {
  switch (v.kind) {
    case Kind::kDouble: {
      double d = 0.0;
      std::memcpy(&d, &bits, sizeof d);
      reinterpret_cast<double (*)(double)>(v.setter)(d);
      break;
    }
    case Kind::kInt:
      reinterpret_cast<std::int32_t (*)(std::int32_t)>(v.setter)(
          static_cast<std::int32_t>(static_cast<std::uint32_t>(bits)));
      break;
    case Kind::kText:
      reinterpret_cast<const char* (*)(const char*)>(v.setter)(
          // NOLINTNEXTLINE(performance-no-int-to-ptr): the bits were an address to begin with
          reinterpret_cast<const char*>(static_cast<std::uintptr_t>(bits)));
      break;
  }
}

TDS_HARNESS void SetMarkers() {
  for (std::size_t i = 0; i < g_values.size(); ++i) Write(g_values[i], g_markers[i]);
}

std::string Quote(const char* id) {
  std::string q = "\"";
  for (const char* p = id; *p != '\0'; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      q += static_cast<char>(c);
    } else {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02x", c);
      q += esc;
    }
  }
  return q + "\"";
}

// The index of the first value that no longer holds its marker, or -1 when all do.
TDS_HARNESS long FirstChanged() {
  for (std::size_t i = 0; i < g_values.size(); ++i) {
    if (Read(g_values[i]) != g_markers[i]) return static_cast<long>(i);
  }
  return -1;
}

// Aborts when a value no longer holds its marker; call names the call that was made.
void ExpectUnchanged(const char* call, const char* id) {
  const long i = FirstChanged();
  if (i >= 0) {
    Fail(std::string(call) + "(" + Quote(id) + ") changed " +
         g_values[static_cast<std::size_t>(i)].name);
  }
}

void SetUp() {
  const std::string dir = tds::executable_directory();
  g_module = tds::Module::load(tds::path_join(dir, tds::module_file_name("TarvelloDemoSite")));
  g_decision = g_module->function<DecisionFn>("GetModelDecision");
  g_task = g_module->function<TaskFn>("GetModelTask");

  const std::string description_path = tds::path_join(dir, "TarvelloDemoSite.json");
  std::ifstream in(description_path);
  if (!in) Fail("cannot read " + description_path);
  const nlohmann::json description = nlohmann::json::parse(in);

  for (const auto& v : description.at("values")) {
    const std::string kind = v.at("kind").get<std::string>();
    Value value;
    value.name = v.at("name").get<std::string>();
    value.kind = kind == "double" ? Kind::kDouble : kind == "int" ? Kind::kInt : Kind::kText;
    if (kind != "double" && kind != "int" && kind != "text") Fail("unknown kind " + kind);
    value.getter = g_module->function<void*>(v.at("getter").get<std::string>());
    value.setter = g_module->function<void*>(v.at("setter").get<std::string>());
    g_values.push_back(value);
  }
  for (const auto& n : description.at("nodes")) {
    Node node{};
    node.decision = n.at("kind").get<std::string>() == "decision";
    if (node.decision) {
      node.if_true = n.at("ifTrue").get<std::int32_t>();
      node.if_false = n.at("ifFalse").get<std::int32_t>();
    }
    g_nodes[n.at("id").get<std::string>()] = node;
  }
  if (g_values.size() != 1003 || g_nodes.size() != 35) {
    Fail("the description lists " + std::to_string(g_values.size()) + " values and " +
         std::to_string(g_nodes.size()) + " nodes, not 1003 and 35");
  }

  // Distinct markers: doubles 1000.375 + i, ints 1000 + i, texts at distinct addresses.
  g_text_markers.reserve(g_values.size());
  for (std::size_t i = 0; i < g_values.size(); ++i) {
    g_text_markers.push_back("marker " + std::to_string(i));
  }
  for (std::size_t i = 0; i < g_values.size(); ++i) {
    std::uint64_t bits = 0;
    switch (g_values[i].kind) {
      case Kind::kDouble: {
        const double d = 1000.375 + static_cast<double>(i);
        std::memcpy(&bits, &d, sizeof bits);
        break;
      }
      case Kind::kInt:
        bits = static_cast<std::uint32_t>(1000 + static_cast<std::int32_t>(i));
        break;
      case Kind::kText:
        bits = reinterpret_cast<std::uintptr_t>(g_text_markers[i].c_str());
        break;
    }
    g_markers.push_back(bits);
  }
  SetMarkers();
  if (FirstChanged() >= 0) Fail("a setter did not store its marker");

  // A null identifier names no node (README, deliberate differences).
  if (g_decision(nullptr) != 0) Fail("GetModelDecision(NULL) is not 0");
  if (g_task(nullptr) != 0) Fail("GetModelTask(NULL) is not 0");
  if (FirstChanged() >= 0) Fail("GetModelTask(NULL) changed a value");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  try {
    SetUp();
  } catch (const std::exception& e) {
    Fail(e.what());
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t length = strnlen(reinterpret_cast<const char*>(data), size);
  // Exactly the identifier and its NUL, on the heap: a read past the NUL is an ASan report.
  std::unique_ptr<char[]> id(new char[length + 1]);
  std::memcpy(id.get(), data, length);
  id[length] = '\0';

  const auto node = g_nodes.find(std::string(id.get(), length));
  // Before each call every value holds its marker.

  if (node == g_nodes.end()) {
    const std::int32_t decision = g_decision(id.get());
    if (decision != 0) {
      Fail("GetModelDecision(" + Quote(id.get()) + ") = " + std::to_string(decision) +
           " for an identifier that names no node");
    }
    ExpectUnchanged("GetModelDecision", id.get());
    const std::int32_t task = g_task(id.get());
    if (task != 0) Fail("GetModelTask(" + Quote(id.get()) + ") = " + std::to_string(task));
    ExpectUnchanged("GetModelTask", id.get());
    return 0;
  }

  if (node->second.decision) {
    const std::int32_t task = g_task(id.get());
    if (task != 0) Fail("GetModelTask(" + Quote(id.get()) + ") = " + std::to_string(task));
    ExpectUnchanged("GetModelTask of a decision node: GetModelTask", id.get());
    const std::int32_t next = g_decision(id.get());
    if (next != node->second.if_true && next != node->second.if_false) {
      Fail("GetModelDecision(" + Quote(id.get()) + ") = " + std::to_string(next) +
           ", not one of its successors");
    }
    ExpectUnchanged("GetModelDecision", id.get());
  } else {
    const std::int32_t decision = g_decision(id.get());
    if (decision != 0) {
      Fail("GetModelDecision(" + Quote(id.get()) + ") = " + std::to_string(decision) +
           " for a task node");
    }
    ExpectUnchanged("GetModelDecision of a task node: GetModelDecision", id.get());
    const std::int32_t task = g_task(id.get());
    if (task != 0) Fail("GetModelTask(" + Quote(id.get()) + ") = " + std::to_string(task));
    SetMarkers();  // the task's effect is not checked here
  }
  return 0;
}
