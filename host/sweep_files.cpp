#include "sweep_files.h"

#include <filesystem>

#include "interrupt.h"
#include "model.h"
#include "run.h"

namespace tds {

namespace fs = std::filesystem;

std::string in_dir(const std::string& dir, const std::string& name) {
  return (fs::path(dir) / name).string();
}

// The records of a CSV text as they stand, split at line ends outside quotes;
// a last record without its line end is left out (a write cut short).
std::vector<std::string> raw_records(const std::string& text) {
  std::vector<std::string> records;
  std::string current;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (c == '\n' && !quoted) {
      records.push_back(std::move(current));
      current.clear();
    } else {
      current += c;
    }
  }
  return records;
}

// The first field of a record (case names need no quoting).
std::string first_field(const std::string& record) { return record.substr(0, record.find(',')); }

bool record_ok(const std::string& record) {
  const auto comma = record.find(',');
  return comma != std::string::npos && record.compare(comma + 1, 3, "ok,") == 0;
}

std::string read_file_or_empty(const std::string& path) {
  std::error_code error;
  if (!fs::exists(path, error)) return {};
  return read_text_file(path, "file");
}

Journal::Journal(std::string path, const std::string& start) : path_(std::move(path)) {
  write_file_atomically(path_, start);
  std::string reason;
  file_ = RawFile::open_append(path_, reason);
  if (!file_.is_open()) throw RunError("cannot write " + path_ + ": " + reason);
}

void Journal::append(const std::string& records) {
  // Whole records, and none once an interruption has begun: the cases that
  // it stops must not be recorded as crashed.
  const interrupt::Hold held;
  const std::string reason = file_.write(records);
  if (!reason.empty()) throw RunError("cannot write " + path_ + ": " + reason);
}

void Journal::finish(const std::string& final_path) {
  std::string reason = file_.sync();
  if (reason.empty()) reason = file_.close();
  if (reason.empty()) reason = replace_file(path_, final_path);
  if (!reason.empty()) throw RunError("cannot write " + final_path + ": " + reason);
}

}  // namespace tds
