// A minimal simulation host for the tests: it loads the model module by its
// name, resolves exports by name and calls them with the kind that the
// independent list of expected exports gives.
#ifndef TDS_TESTS_HOST_H
#define TDS_TESTS_HOST_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tds_test {

enum class Kind { Double, Int, Text };
const char* to_string(Kind kind);

// One exported function of the expected list: its name and the kind of its
// value (for Get/Set) or of its result (for the four model functions).
struct Export {
  std::string name;
  Kind kind;
};

// The 2010 expected exports, in the order of the data file.
const std::vector<Export>& expected_exports();
extern const char* const kExpectedExportsText;

// The loaded module. Loading happens once per process, on first use.
class Module {
 public:
  static Module& get();
  static const char* file_name();
  // Null when the module has no export of that name.
  void* symbol(const char* name) const;

 private:
  Module();
  void* handle_;
};

// A value of the store as the host sees it: its qualified name, kind and
// resolved accessor pair.
struct Value {
  std::string name;
  Kind kind;
  void* get;
  void* set;
};

// All 1003 values (every expected Get<q> that has a Set<q> twin), resolved.
const std::vector<Value>& values();
// One value by qualified name; fails the current test if it is unknown.
const Value& value(std::string_view name);

// A value's content, whatever its kind: the bit pattern of a double, an int,
// or the address of a text.
struct Cell {
  Kind kind;
  std::uint64_t bits;
  bool operator==(const Cell&) const = default;
};
Cell zero_of(Kind kind);
Cell cell_of(double d);
Cell cell_of(std::int32_t i);
Cell cell_of(const char* text);
std::string describe(const Cell& cell);

Cell read(const Value& v);
// Calls the setter and returns the setter's result.
Cell write(const Value& v, const Cell& c);
// The contents of all values, in the order of values().
std::vector<Cell> snapshot();

// One distinct marker per value of values(), never zero and never an initial
// value of the model: doubles whose sums and products round, ints, and
// addresses inside the object's own text storage (valid while it lives).
class Markers {
 public:
  Markers();
  const Cell& operator[](std::size_t i) const { return cells_[i]; }
  // Stores every marker through its value's setter.
  void write_all() const;

 private:
  std::vector<char> texts_;
  std::vector<Cell> cells_;
};

// Typed access by qualified name.
double get_double(std::string_view name);
double set_double(std::string_view name, double d);
std::int32_t get_int(std::string_view name);
std::int32_t set_int(std::string_view name, std::int32_t i);
const char* get_text(std::string_view name);
const char* set_text(std::string_view name, const char* text);

// The four model functions.
const char* ini_model();
const char* model_name();
std::int32_t decision(const char* node);
std::int32_t task(const char* node);

std::uint64_t bits_of(double d);
double double_of_bits(std::uint64_t bits);

}  // namespace tds_test

#endif  // TDS_TESTS_HOST_H
