// Reading and refusing input, for every reader of options and input files:
// the one-line error that names the bad input, whole text files, values of
// the three kinds from text and from JSON (and doubles back to their
// shortest text), the typed members of JSON objects, plain labels, and the
// names offered for a mistyped one.
#ifndef TDS_ENGINE_INPUT_H
#define TDS_ENGINE_INPUT_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <nlohmann/json_fwd.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tds {

class Description;

// The text with its control characters written as escapes (\n, \t, \xNN), so
// that a message that quotes an input stays on one line.
std::string one_line(std::string_view text);

// Input text to quote in a message: on one line, and cut after 60 bytes.
std::string quote_input(std::string_view text);

// A bad input file or option: the message is one line naming the input. A
// host reports it and ends with exit status 2.
class InputError : public std::runtime_error {
 public:
  explicit InputError(const std::string& message) : std::runtime_error(one_line(message)) {}
};

// The whole content of a file; throws InputError "cannot read the <what> <path>".
std::string read_text_file(const std::string& path, const std::string& what);

// A text as JSON; throws InputError "<what>: not valid JSON (<why>)".
nlohmann::json read_json(std::string_view text, const std::string& what);

enum class Kind { Double, Int, Text };
const char* kind_name(Kind kind);
// "a double", "an int", "a text": the kind with its article, for messages.
std::string a_kind(Kind kind);

// One value of any kind. A text is a reference; whoever stores it keeps the
// text alive for as long as the library holds it.
struct Cell {
  Kind kind = Kind::Double;
  double d = 0.0;
  std::int32_t i = 0;
  const char* t = nullptr;
};

// Parses text as a value of the kind: a double in the C locale's syntax
// (inf and nan included), a decimal int within 32 bits, or any text (which
// `keep` then owns; a deque never moves what it holds). Throws InputError with `what` naming the
// input.
Cell parse_cell(Kind kind, std::string_view text, const std::string& what,
                std::deque<std::string>& keep);

// The shortest text that reads back as the same double ("0.1", "1e+300",
// "-0", "inf", "nan"): what parse_cell reads back to the same bits.
std::string format_double(double d);
// The same written into buf (at least 32 bytes); returns the end of the text.
char* write_double(char* buf, double d);

// Reads a JSON value as a value of the kind: a number for a double, a whole
// number for an int, a string for a text (which `keep` then owns). Throws
// InputError "<what>: <value> is not a <kind>".
Cell parse_json_cell(Kind kind, const nlohmann::json& value, const std::string& what,
                     std::deque<std::string>& keep);

// Parses a decimal whole number of at least 1 (a number of days, of jobs).
// Throws InputError "<what>: '<text>' is not a positive whole number".
long long parse_positive(std::string_view text, const std::string& what);

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

// A value's plain words as a plan's ("output.labels") or scenario's
// ("labels") give them: its label and its unit ("" when none is given).
struct Label {
  std::string label, unit;
};
// Labels by value index.
using Labels = std::map<std::size_t, Label>;

// Checks a "labels" object of a plan or scenario: each key a value of the
// description, each entry an object with a string "label" and optionally a
// string "unit", a string "help" and, when `ranges`, numbers "min" and
// "max" (min not above max). Returns the labels and units by value index;
// throws InputError "<where>.<NAME>: ...".
Labels check_labels(const nlohmann::json& labels, const std::string& where, const Description& d,
                    bool ranges);

// A value's label as a front end shows it: the scenario's, else the plan's,
// else none.
const Label* shown_label(const Labels& scenario, const Labels& plan, std::size_t value);
// Every value's label by that rule.
Labels shown_labels(const Labels& scenario, const Labels& plan);

// The candidates that a person who typed `name` most likely meant, closest
// first: every candidate whose name part (before its block, "_B1_") equals
// the name but for letter case, even beyond `count`; then, up to `count` in
// all, those whose label (labels[i] for candidates[i], when labels are
// given) contains each of the name's words but for letter case; then those
// closest by edit distance. Ties in the candidates' order.
std::vector<std::string> nearest_names(std::string_view name,
                                       const std::vector<std::string_view>& candidates,
                                       std::size_t count,
                                       const std::vector<std::string_view>& labels = {});

// "unknown variable 'x' (nearest: a, b, c)" style text for messages.
std::string with_nearest(const std::string& what, const std::vector<std::string>& nearest);

// How the message of an unknown value shows the name it was given: as given
// (a message is on one line in any case), quoted and cut as quote_input does,
// or not at all (when the place it was given names it).
enum class NameShown { Plain, Quoted, Omitted };

// "unknown variable <name> (nearest: a, b, c)": the value names nearest to
// `name`, ranked with the labels when there are some.
std::string unknown_value(const Description& d, std::string_view name,
                          const Labels* labels = nullptr, NameShown shown = NameShown::Plain);

// The index of the value named `name`. Throws InputError "<prefix>unknown
// variable <name> (nearest: ...)" when the description has none.
std::size_t value_named(const Description& d, std::string_view name, const std::string& prefix,
                        const Labels* labels = nullptr, NameShown shown = NameShown::Plain);

// A "NAME=VALUE" setting as --set gives it: the value named and its cell
// (a text then owned by `keep`). Throws InputError "--set <text>: expected
// NAME=VALUE", "--set: unknown variable <name> (nearest: ...)" or what
// parse_cell throws. The nearest names use the labels when there are some.
std::pair<std::size_t, Cell> parse_set(const Description& d, std::string_view set,
                                       std::deque<std::string>& keep,
                                       const Labels* labels = nullptr);

}  // namespace tds

#endif  // TDS_ENGINE_INPUT_H
