// A model library bound to its description: every value's accessors and the
// four model functions resolved by name from the loaded module, and the
// conversions between values and text that options, input files and output
// share.
#ifndef TDS_HOST_MODEL_H
#define TDS_HOST_MODEL_H

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "description.h"
#include "loader.h"

namespace tds {

// One value of any kind. A text is a reference; whoever stores it keeps the
// text alive for as long as the library holds it.
struct Cell {
  Kind kind = Kind::Double;
  double d = 0.0;
  std::int32_t i = 0;
  const char* t = nullptr;
};

// The address of a model function by its export name, or null when there is
// none: a loaded module's symbol table, or a table of linked-in functions.
using Resolver = std::function<void*(const char* name)>;

class Model {
 public:
  // Resolves every export that the description names; throws LoadError naming
  // the first one that the module lacks, or InputError when the description
  // is of another model than the one the module carries.
  Model(const Module& module, const Description& description)
      : Model([&module](const char* name) { return module.symbol(name); }, module.path(),
              description) {}
  // The same for functions that `resolve` finds; `origin` names where they
  // come from in messages (the module's path).
  Model(const Resolver& resolve, const std::string& origin, const Description& description);

  const Description& description() const { return *description_; }

  const char* initialise() const { return initialise_(); }
  const char* model_name() const { return model_name_(); }
  std::int32_t decision(const char* id) const { return decision_(id); }
  std::int32_t task(const char* id) const { return task_(id); }

  Cell read(std::size_t value) const;
  void write(std::size_t value, const Cell& cell) const;

 private:
  void check_distinct(const Resolver& resolve, const std::string& origin) const;
  struct Accessors {
    Kind kind;
    void* get;
    void* set;
  };
  const Description* description_;
  std::vector<Accessors> accessors_;
  const char* (*initialise_)();
  const char* (*model_name_)();
  std::int32_t (*decision_)(const char*);
  std::int32_t (*task_)(const char*);
};

// Parses text as a value of the kind: a double in the C locale's syntax
// (inf and nan included), a decimal int within 32 bits, or any text (which
// `keep` then owns; a deque never moves what it holds). Throws InputError with `what` naming the
// input.
Cell parse_cell(Kind kind, std::string_view text, const std::string& what,
                std::deque<std::string>& keep);

// A "NAME=VALUE" setting as --set gives it: the value named and its cell
// (a text then owned by `keep`). Throws InputError "--set <text>: expected
// NAME=VALUE", "--set: unknown variable <name> (nearest: ...)" or what
// parse_cell throws. The nearest names use the labels when there are some.
std::pair<std::size_t, Cell> parse_set(const Description& d, std::string_view set,
                                       std::deque<std::string>& keep,
                                       const Labels* labels = nullptr);

// Reads a JSON value as a value of the kind: a number for a double, a whole
// number for an int, a string for a text (which `keep` then owns). Throws
// InputError "<what>: <value> is not a <kind>".
Cell parse_json_cell(Kind kind, const nlohmann::json& value, const std::string& what,
                     std::deque<std::string>& keep);

// "a double", "an int", "a text": the kind with its article, for messages.
std::string a_kind(Kind kind);

// Typed members of a JSON object, for input files: the member `key` of the
// type asked for, or `fallback` when the object has no such member. Throws
// InputError "<where>: \"<key>\" must be <type>" when it has another type.
std::string json_string(const nlohmann::json& object, const char* key, const std::string& where,
                        const std::string& fallback = "");
long long json_integer(const nlohmann::json& object, const char* key, const std::string& where,
                       long long fallback);
bool json_bool(const nlohmann::json& object, const char* key, const std::string& where,
               bool fallback);
// An array member, or an empty one when there is none.
const nlohmann::json& json_list(const nlohmann::json& object, const char* key,
                                const std::string& where);

// Checks a "labels" object of a plan or scenario: each key a value of the
// description, each entry an object with a string "label" and optionally a
// string "unit", a string "help" and, when `ranges`, numbers "min" and
// "max" (min not above max). Returns the labels and units by value index;
// throws InputError "<where>.<NAME>: ...".
Labels check_labels(const nlohmann::json& labels, const std::string& where, const Description& d,
                    bool ranges);

// The labels that a front end shows: the scenario's, and the plan's for the
// values that the scenario leaves without one.
Labels shown_labels(const Labels& scenario, const Labels& plan);

// Parses a decimal whole number of at least 1 (a number of days, of jobs).
// Throws InputError "<what>: '<text>' is not a positive whole number".
long long parse_positive(std::string_view text, const std::string& what);

}  // namespace tds

#endif  // TDS_HOST_MODEL_H
