#include "csv.h"

#include <algorithm>
#include <charconv>

namespace tds {

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
  buffer_.append(buf, write_double(buf, d));
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
    const std::size_t value = value_named(d, name, where + ": ", labels);
    if (seen[value]) throw InputError(where + " (" + name + "): appears twice");
    seen[value] = true;
    columns.values.emplace_back(c, value);
  }
  return columns;
}

}  // namespace tds
