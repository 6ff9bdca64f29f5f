// The files of a sweep's output directory: the summary (summary.csv,
// written as summary.csv.partial while the sweep runs, through a Journal as
// a study writes its results) and the daily files (<case>.csv); its record
// shard.json is in run_record.h.
#ifndef TDS_HOST_SWEEP_FILES_H
#define TDS_HOST_SWEEP_FILES_H

#include <cstddef>
#include <string>
#include <vector>

#include "output.h"

namespace tds {

constexpr const char* kSummary = "summary.csv";
constexpr const char* kJournal = "summary.csv.partial";

std::string in_dir(const std::string& dir, const std::string& name);

// The records of a CSV text as they stand, split at line ends outside quotes;
// a last record without its line end is left out (a write cut short).
std::vector<std::string> raw_records(const std::string& text);
// The first field of a record (case names need no quoting).
std::string first_field(const std::string& record);
// Whether a summary record is of a case that ran to its end.
bool record_ok(const std::string& record);
// A file's text, or an empty one when there is no such file.
std::string read_file_or_empty(const std::string& path);

// The summary so far, appended to as the cases finish in order.
class Journal {
 public:
  Journal(std::string path, const std::string& start);
  // Whole records; none once an interruption has begun.
  void append(const std::string& records);
  // Flushed, closed and renamed to final_path.
  void finish(const std::string& final_path);

 private:
  std::string path_;
  RawFile file_;
};

}  // namespace tds

#endif  // TDS_HOST_SWEEP_FILES_H
