// CSV as RFC 4180 has it: comma-separated fields, a field quoted with '"'
// when it holds a comma, a quote or a line break, quotes inside doubled.
// Written with LF line ends on every platform, so that the same data gives
// the same bytes everywhere.
#ifndef TDS_HOST_CSV_H
#define TDS_HOST_CSV_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "description.h"
#include "input.h"

namespace tds {

// Appends fields and rows to a text buffer; the caller decides when to hand
// the buffer on (take()).
class CsvWriter {
 public:
  // A field as it stands, quoted only when it must be.
  void field(std::string_view text);
  // A text value: always quoted, so that it cannot be taken for a number; a
  // null reference is an empty, unquoted field.
  void text(const char* text);
  // A double in its shortest form that reads back to the same bits.
  void number(double d);
  void number(std::int64_t i);
  // A value of any kind, in the forms above.
  void cell(const Cell& c);
  void end_row();

  std::string& buffer() { return buffer_; }
  std::size_t size() const { return buffer_.size(); }

 private:
  void separate();
  std::string buffer_;
  bool row_started_ = false;
};

// A parsed CSV file: the header row and the data rows, each row the line it
// started on and its fields. Blank lines are skipped; a UTF-8 byte-order mark
// is ignored. Throws InputError naming source and line on malformed quoting
// or a row whose field count differs from the header's.
struct CsvTable {
  struct Row {
    std::size_t line;
    std::vector<std::string> fields;
  };
  std::vector<std::string> header;
  std::vector<Row> rows;
};
CsvTable parse_csv(std::string_view text, const std::string& source);

// The columns of a table whose header names the description's values, but
// for a few columns of its own (such as "day"): where each of those stands
// (or nothing), and the CSV column and value of every other. Throws
// InputError naming the column of an unknown name, with the nearest names,
// or of a name given twice (the nearest names use the labels when there are
// some).
struct TableColumns {
  std::vector<std::optional<std::size_t>> own;              // by the names given
  std::vector<std::pair<std::size_t, std::size_t>> values;  // (CSV column, value)
};
TableColumns table_columns(const CsvTable& table, const std::string& source, const Description& d,
                           const std::vector<std::string>& own, const Labels* labels = nullptr);

}  // namespace tds

#endif  // TDS_HOST_CSV_H
