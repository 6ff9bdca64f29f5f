// Result recovery and debug dump: see Recover_execute_output.h.
#include "Recover_execute_output.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform.h"

namespace {

// Initial size of the values buffer; it grows for longer lines.
constexpr std::size_t kValuesInitialSize = 1024;
// Name of the result file inside the caller's directory.
constexpr char kResultFileName[] = "optim.out";
// Fixed name of the debug file, the same text on every platform (on POSIX systems this names a
// file in the working directory).
constexpr char kDebugFilePath[] = "C:\\out.txt";
// Size of the working-directory buffer, NUL included.
constexpr std::size_t kWorkingDirSize = 1024;

// Growable buffer collecting the text of one data line.
struct ValuesBuffer {
  char* data;
  std::size_t capacity;

  // Stores c at pos, keeping room for a NUL behind it. Returns false when memory runs out;
  // data then still holds the previous buffer.
  bool Put(std::size_t pos, char c) {
    if (pos + 1 >= capacity) {
      if (capacity > SIZE_MAX / 2) return false;
      const std::size_t grown_capacity = capacity * 2;
      char* grown = static_cast<char*>(std::realloc(data, grown_capacity));
      if (grown == nullptr) return false;
      data = grown;
      capacity = grown_capacity;
    }
    data[pos] = c;
    return true;
  }
};

}  // namespace

char* get_values(const char* path) {
  if (path == nullptr) return nullptr;
  std::FILE* file = std::fopen(path, "rt");
  if (file == nullptr) return nullptr;

  ValuesBuffer values{static_cast<char*>(std::malloc(kValuesInitialSize)), kValuesInitialSize};
  if (values.data == nullptr) {
    std::fclose(file);
    return nullptr;
  }
  // Until a data line is collected the buffer holds the empty text.
  values.data[0] = '\0';

  std::size_t pos = 0;     // write position in the current data line
  bool in_header = true;   // still on the first line
  bool in_token = false;   // the last byte read belongs to a token
  bool line_open = false;  // bytes of a data line have been read since its line start
  bool ok = true;
  int c = 0;
  // A byte 0xFF is taken for the end of the file.
  while (ok && (c = std::fgetc(file)) != EOF && c != 0xFF) {
    if (c == '\n') {
      if (!in_header) values.data[pos] = '\0';
      in_header = false;
      pos = 0;
      in_token = false;
      line_open = false;
    } else if (c == ' ' || c == '\t') {
      if (!in_header) {
        // One "%" ends a token that a separator ends; further separators add nothing.
        if (in_token) ok = values.Put(pos++, '%');
        line_open = true;
      }
      in_token = false;
    } else {
      if (!in_header) {
        ok = values.Put(pos++, static_cast<char>(c));
        line_open = true;
      }
      in_token = true;
    }
  }
  // A read error leaves the last line unknown: report the file as unreadable rather than hand
  // back a partial line (a directory opened as a file ends up here on POSIX systems).
  if (ok && std::ferror(file)) ok = false;
  std::fclose(file);
  if (!ok) {
    std::free(values.data);
    return nullptr;
  }
  // A last data line without a final newline still counts as the last line.
  if (line_open) values.data[pos] = '\0';
  return values.data;
}

double recoverOptiValue(const char* text, int index) {
  if (text == nullptr || index < 0) return -1.0;

  // The directory is the first run of characters without an apostrophe: leading apostrophes are
  // skipped and everything from the next one on is dropped. The caller's text is only read, so
  // a tokenising sequence the caller has under way is never disturbed.
  const char* dir = text;
  while (*dir == '\'') ++dir;
  std::size_t dir_len = 0;
  while (dir[dir_len] != '\0' && dir[dir_len] != '\'') ++dir_len;
  if (dir_len == 0) return -1.0;

  // Path: directory, separator, file name, NUL. The directory is taken as given: one that already
  // ends with a separator gets a second one.
  constexpr std::size_t kNameLen = sizeof(kResultFileName) - 1;
  if (dir_len > SIZE_MAX - kNameLen - 2) return -1.0;
  char* path = static_cast<char*>(std::calloc(dir_len + kNameLen + 2, 1));
  if (path == nullptr) return -1.0;
  std::memcpy(path, dir, dir_len);
  path[dir_len] = tds_dir_separator;
  std::memcpy(path + dir_len + 1, kResultFileName, kNameLen);

  char* values = get_values(path);
  std::free(path);
  if (values == nullptr) return -1.0;

  // Walk the "%"-separated tokens, skipping empty pieces, and convert the index-th one.
  double result = -1.0;
  int number = 0;
  char* piece = values;
  for (;;) {
    while (*piece == '%') ++piece;
    if (*piece == '\0') break;
    char* end = piece;
    while (*end != '\0' && *end != '%') ++end;
    if (number == index) {
      *end = '\0';
      // The conversion of atof (longest leading decimal number, 0.0 when there is none), through
      // strtod so that out-of-range values have a defined result.
      result = std::strtod(piece, nullptr);
      break;
    }
    ++number;
    piece = end;
  }
  std::free(values);
  return result;
}

void printFileDebug(const char* text) {
  char working_dir[kWorkingDirSize];
  const bool have_working_dir = tds_getcwd(working_dir, sizeof working_dir) != nullptr;
  if (have_working_dir) std::printf("Current working dir: %s\n", working_dir);

  std::FILE* file = std::fopen(kDebugFilePath, "w");
  if (file == nullptr) {
    std::printf("Error opening %s for writing. Program terminated.", kDebugFilePath);
    // exit flushes standard output, so the message is not lost.
    std::exit(1);
  }
  if (have_working_dir) std::fputs(working_dir, file);
  if (text != nullptr) std::fputs(text, file);
  std::fclose(file);
}
