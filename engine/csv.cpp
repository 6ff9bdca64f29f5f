#include "csv.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#ifdef __EMSCRIPTEN__
#include <fmt/format.h>
#endif

namespace tds {

namespace {

#ifdef __EMSCRIPTEN__
// The WebAssembly build's C++ library cannot print doubles with to_chars.
// {fmt} finds the same shortest digits that read back to the same bits; they
// are laid out here as to_chars lays them out: plain or scientific notation,
// whichever is shorter, plain on a tie; a plain whole number of 17 or more
// digits is printed exactly. Returns the end of the text written into buf
// (at least 32 bytes).
char* shortest_double(char* buf, double d) {
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
char* shortest_double(char* buf, double d) { return std::to_chars(buf, buf + 32, d).ptr; }
#endif

}  // namespace

std::string format_double(double d) {
  char buf[32];
  return std::string(buf, shortest_double(buf, d));
}

void CsvWriter::separate() {
  if (row_started_) buffer_ += ',';
  row_started_ = true;
}

void CsvWriter::field(std::string_view text) {
  separate();
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    buffer_ += text;
    return;
  }
  buffer_ += '"';
  for (char c : text) {
    if (c == '"') buffer_ += '"';
    buffer_ += c;
  }
  buffer_ += '"';
}

void CsvWriter::text(const char* text) {
  separate();
  if (text == nullptr) return;
  buffer_ += '"';
  for (const char* p = text; *p; ++p) {
    if (*p == '"') buffer_ += '"';
    buffer_ += *p;
  }
  buffer_ += '"';
}

void CsvWriter::number(double d) {
  separate();
  char buf[32];
  buffer_.append(buf, shortest_double(buf, d));
}

void CsvWriter::number(std::int64_t i) {
  separate();
  char buf[24];
  const auto result = std::to_chars(buf, buf + sizeof buf, i);
  buffer_.append(buf, result.ptr);
}

void CsvWriter::cell(const Cell& c) {
  switch (c.kind) {
    case Kind::Double:
      number(c.d);
      break;
    case Kind::Int:
      number(static_cast<std::int64_t>(c.i));
      break;
    case Kind::Text:
      text(c.t);
      break;
  }
}

void CsvWriter::end_row() {
  buffer_ += '\n';
  row_started_ = false;
}

CsvTable parse_csv(std::string_view text, const std::string& source) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  CsvTable table;
  std::vector<std::string> fields;
  std::string field;
  std::size_t line = 1, row_line = 1;
  bool in_row = false;
  auto error = [&](std::size_t at, const std::string& what) {
    return InputError(source + ":" + std::to_string(at) + ": " + what);
  };
  auto end_row = [&] {
    fields.push_back(std::move(field));
    field.clear();
    const bool blank = fields.size() == 1 && fields[0].empty();
    if (!blank) {
      if (table.header.empty() && table.rows.empty()) {
        table.header = std::move(fields);
      } else {
        if (fields.size() != table.header.size())
          throw error(row_line, "row has " + std::to_string(fields.size()) +
                                    " fields, the header " + std::to_string(table.header.size()));
        table.rows.push_back({row_line, std::move(fields)});
      }
    }
    fields.clear();
    in_row = false;
  };
  std::size_t i = 0;
  while (i < text.size()) {
    if (!in_row) {
      in_row = true;
      row_line = line;
    }
    const char c = text[i];
    if (c == '"' && field.empty()) {
      // A quoted field: runs to the closing quote; "" stands for one quote.
      const std::size_t opened = line;
      ++i;
      bool closed = false;
      while (i < text.size()) {
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        if (text[i] == '\n') ++line;
        field += text[i++];
      }
      if (!closed) throw error(opened, "a quoted field is not closed");
      if (i < text.size() && text[i] != ',' && text[i] != '\n' && text[i] != '\r')
        throw error(line, "text after the closing quote of a field");
      continue;
    }
    if (c == '"') throw error(line, "a quote inside an unquoted field");
    if (c == ',') {
      fields.push_back(std::move(field));
      field.clear();
      ++i;
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      end_row();
      i += 2;
      ++line;
    } else if (c == '\n') {
      end_row();
      ++i;
      ++line;
    } else {
      field += c;
      ++i;
    }
  }
  if (in_row) end_row();
  if (table.header.empty()) throw InputError(source + ": no header row");
  return table;
}

TableColumns table_columns(const CsvTable& table, const std::string& source, const Description& d,
                           const std::vector<std::string>& own, const Labels* labels) {
  TableColumns columns;
  columns.own.assign(own.size(), std::nullopt);
  std::vector<bool> seen(d.values().size(), false);
  for (std::size_t c = 0; c < table.header.size(); ++c) {
    const std::string& name = table.header[c];
    const std::string where = source + ":1: column " + std::to_string(c + 1);
    const auto mine = std::find(own.begin(), own.end(), name);
    if (mine != own.end()) {
      auto& at = columns.own[static_cast<std::size_t>(mine - own.begin())];
      if (at) throw InputError(where + " (" + name + "): appears twice");
      at = c;
      continue;
    }
    const auto value = d.find_value(name);
    if (!value)
      throw InputError(
          where + ": " +
          with_nearest("unknown variable " + one_line(name), d.nearest_values(name, labels)));
    if (seen[*value]) throw InputError(where + " (" + name + "): appears twice");
    seen[*value] = true;
    columns.values.emplace_back(c, *value);
  }
  return columns;
}

}  // namespace tds
