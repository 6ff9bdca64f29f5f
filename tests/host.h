// A minimal simulation host for the tests: it loads the model module through
// the host's loader, resolves exports by name and calls them with the kind
// that the independent list of expected exports gives.
//
// Every test case runs on a pristine module: before each case a private copy
// of the module file is loaded, with all values zero and the random-number
// generator in its load-time state, so a test program passes whether CTest
// runs its cases one by one or it runs them all in one process.
#ifndef TDS_TESTS_HOST_H
#define TDS_TESTS_HOST_H

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "loader.h"

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
extern const char kExpectedExportsText[];

// The module file name, TarvelloDemoSite.so or TarvelloDemoSite.dll.
const std::string& module_file();
// The module of the current test case: a pristine private copy.
tds::Module& module();
// Replaces the current module with a new pristine copy; what values() and the
// typed accessors below resolved before is then gone.
void load_pristine_module();

// A value of the store as the host sees it: its qualified name, kind and
// resolved accessor pair.
struct Value {
  std::string name;
  Kind kind;
  void* get;
  void* set;
};

// All 1003 values (every expected Get<q> that has a Set<q> twin), resolved in
// the current module.
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
// The address that a text cell holds.
const char* text_of(const Cell& cell);
std::string describe(const Cell& cell);
// How GoogleTest prints a cell in a failure message.
inline void PrintTo(const Cell& cell, std::ostream* os) { *os << describe(cell); }

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
