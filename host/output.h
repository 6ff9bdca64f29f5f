// Output that never half-exists: a result file is written under a temporary
// name of its own in the target's directory (created exclusively, never
// through a link), flushed to disk and renamed over the target, so that the
// target always holds exactly one run's complete output and an interrupted
// or killed run leaves only a temporary name. Targets that are not regular
// files (a FIFO, a device) are written directly. Standard output is checked
// at every write and at its close.
#ifndef TDS_HOST_OUTPUT_H
#define TDS_HOST_OUTPUT_H

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "os_error.h"

namespace tds {

// A file opened for writing by the platform's own calls.
class RawFile {
 public:
  RawFile() = default;
  ~RawFile();
  RawFile(RawFile&& other) noexcept;
  RawFile& operator=(RawFile&& other) noexcept;
  RawFile(const RawFile&) = delete;
  RawFile& operator=(const RawFile&) = delete;

  // A new file at path, failing when anything (a link too) is there already;
  // an empty error means success, otherwise it is the reason.
  static RawFile create_new(const std::string& path, std::string& error);
  // An existing regular file, opened to append to.
  static RawFile open_append(const std::string& path, std::string& error);
  // An existing file, device or FIFO, written from its start.
  static RawFile open_existing(const std::string& path, std::string& error);

  bool is_open() const;
  // Each returns the reason of a failure, or an empty string.
  std::string write(std::string_view bytes);
  std::string sync();
  std::string close();

 private:
#if defined(_WIN32)
  static RawFile open_with(const std::string& path, unsigned long access, unsigned long share,
                           unsigned long disposition, unsigned long flags, std::string& error);
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

// 16 random hex digits, different in every call and every process.
std::string random_token();

// A name for a temporary file beside `path`: ".<name>.<random>.tmp".
std::string temporary_name_for(const std::string& path);

// Renames `from` over `to`, replacing it; returns the reason of a failure.
std::string replace_file(const std::string& from, const std::string& to);

class OutputFile {
 public:
  // Checks the target before any work is done and opens it: "-" is standard
  // output (held until commit), an existing regular file or a new name gets
  // a temporary file in its directory, anything else is written directly.
  // Throws InputError "<what>: ..." for an empty name, a directory, a
  // directory that does not exist or cannot be written.
  static std::unique_ptr<OutputFile> open(const std::string& target, const std::string& what);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  OutputFile(OutputFile&&) = delete;
  OutputFile& operator=(OutputFile&&) = delete;

  // Throw RunError "cannot write <target>: <reason>".
  void write(std::string_view bytes);
  void commit();

 private:
  OutputFile() = default;
  enum class Mode { Stdout, Replace, Direct } mode_ = Mode::Stdout;
  std::string target_, temporary_;
  std::size_t slot_ = 0;  // of the temporary file in the interruption registry
  RawFile file_;
  std::string held_;
  bool committed_ = false;
};

// Writes a whole file through a temporary one (see OutputFile); throws
// RunError.
void write_file_atomically(const std::string& path, std::string_view text);

// At the start of the program: a standard stream whose descriptor is closed
// gets /dev/null, so that no file opened later takes its number, and writes
// to standard output then fail as they should.
void guard_standard_streams();

// Writes to standard output and flushes; throws RunError "cannot write to
// standard output: <reason>".
void write_stdout(std::string_view text);
// Closes standard output if anything was written to it; throws RunError.
void close_stdout();

}  // namespace tds

#endif  // TDS_HOST_OUTPUT_H
