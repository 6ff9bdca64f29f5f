// libFuzzer target: result files and indexes into recoverOptiValue
// (support/Recover_execute_output).
//
// Input layout, chosen so that seeds stay readable:
//   byte 0   the index: (signed char)(byte - '0'), so '0'..'9' give 0..9, '/' gives -1, and the
//            other bytes cover -128 ... 127;
//   byte 1   how the directory is passed, byte & 7 ('0'..'7' give 0..7): 0 dir, 1 'dir',
//            2 ''dir'rest (leading apostrophes are skipped, the next one ends the directory),
//            3 dir/ and 4 'dir/' (on Linux "dir//optim.out" names the same file), and three
//            texts that name no file: 5 "" (empty), 6 ''' (apostrophes only), 7 dir/missing;
//   the rest the bytes of the file optim.out, written into a private temporary directory.
// Missing bytes count as '0'.
//
// The answer must equal, bit for bit (or both NaN), that of the reference reader below, written
// from the reader's contract (its header and the README's deliberate differences), and so must the
// text that get_values makes of the file; ASan aborts on a memory error and LeakSanitizer on a
// leaked buffer.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Recover_execute_output.h"

namespace {

// --- reference reader ----------------------------------------------------------------------
//
// Straight from the contract, favouring obviousness over speed:
//  1. The file's bytes up to the first 0xFF byte (0xFF reads as the end of the file).
//  2. Lines end at newlines. The first line is the header. The data lines are the lines after
//     it; a last line without a newline counts too, an empty remainder after the final newline
//     is no line. No data line: the empty text (so -1.0 for every index).
//  3. The last data line's collected text: each token (maximal run of bytes other than space,
//     tab and newline) followed by "%" when a space or tab ends it.
//  4. The text is a C string: it ends at its first NUL byte, if any. This is what get_values
//     hands back.
//  5. The text's pieces between "%" characters, empty ones skipped, numbered from 0. The
//     index-th piece converted by strtod; -1.0 when there is none (negative index included).
std::string ReferenceText(const std::string& file) {
  // 1.
  std::string content = file.substr(0, file.find('\xff'));

  // 2.
  std::vector<std::string> lines;
  std::string current;
  for (char c : content) {
    if (c == '\n') {
      lines.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) lines.push_back(current);  // a last line without a newline
  // lines[0] is the header (whether or not a newline ends it); the rest are data lines.
  if (lines.size() < 2) return "";
  const std::string& last = lines.back();

  // 3.
  std::string text;
  std::size_t i = 0;
  while (i < last.size()) {
    if (last[i] == ' ' || last[i] == '\t') {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < last.size() && last[j] != ' ' && last[j] != '\t') ++j;
    text += last.substr(i, j - i);
    if (j < last.size()) text += '%';  // a space or tab ends this token
    i = j;
  }

  // 4.
  return text.substr(0, text.find('\0'));
}

double ReferenceValue(const std::string& text, int index) {
  // 5.
  std::vector<std::string> pieces;
  std::string piece;
  for (char c : text + "%") {
    if (c == '%') {
      if (!piece.empty()) pieces.push_back(piece);
      piece.clear();
    } else {
      piece += c;
    }
  }
  if (index < 0 || static_cast<std::size_t>(index) >= pieces.size()) return -1.0;
  return std::strtod(pieces[static_cast<std::size_t>(index)].c_str(), nullptr);
}

// --- harness -------------------------------------------------------------------------------

std::string g_dir;   // the private directory
std::string g_file;  // g_dir + "/optim.out"

void RemoveDirectory() {
  std::remove(g_file.c_str());
  rmdir(g_dir.c_str());
}

void SetUp() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/fuzz_recover.XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    std::perror("fuzz_recover: mkdtemp");
    std::abort();
  }
  g_dir = buffer.data();
  g_file = g_dir + "/optim.out";
  std::atexit(RemoveDirectory);
}

void WriteResultFile(const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(g_file.c_str(), "wb");
  if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
    std::perror("fuzz_recover: writing optim.out");
    std::abort();
  }
}

bool SameDouble(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  std::uint64_t x = 0, y = 0;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x == y;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetUp();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t index_byte = size > 0 ? data[0] : '0';
  const std::uint8_t mode_byte = size > 1 ? data[1] : '0';
  const std::size_t skip = size < 2 ? size : 2;
  const std::uint8_t* file = data + skip;
  const std::size_t file_size = size - skip;

  // The byte less '0', as a signed 8-bit number: -128 ... 127.
  const int offset = static_cast<std::uint8_t>(index_byte - '0');
  const int index = offset < 128 ? offset : offset - 256;
  WriteResultFile(file, file_size);

  std::string text;
  bool names_the_file = true;
  switch (mode_byte & 7) {
    case 0:
      text = g_dir;
      break;
    case 1:
      text = "'" + g_dir + "'";
      break;
    case 2:
      text = "''" + g_dir + "'rest'";
      break;
    case 3:
      text = g_dir + "/";
      break;
    case 4:
      text = "'" + g_dir + "/'";
      break;
    case 5:
      text = "";
      names_the_file = false;
      break;
    case 6:
      text = "'''";
      names_the_file = false;
      break;
    default:
      text = g_dir + "/missing";
      names_the_file = false;
      break;
  }

  const std::string reference_text = ReferenceText(std::string(file, file + file_size));

  // The line reader on its own: the collected text of the last data line.
  char* values = get_values(g_file.c_str());
  if (values == nullptr || reference_text != values) {
    std::fprintf(stderr, "fuzz_recover: get_values gave %s%s%s, the reference reader \"%s\"\n",
                 values == nullptr ? "" : "\"", values == nullptr ? "a null pointer" : values,
                 values == nullptr ? "" : "\"", reference_text.c_str());
    std::abort();
  }
  std::free(values);

  const std::string text_before = text;
  const double got = recoverOptiValue(text.c_str(), index);
  const double want = names_the_file ? ReferenceValue(reference_text, index) : -1.0;

  if (text != text_before) {
    std::fprintf(stderr, "fuzz_recover: recoverOptiValue changed its text\n");
    std::abort();
  }
  if (!SameDouble(got, want)) {
    std::fprintf(stderr,
                 "fuzz_recover: recoverOptiValue(\"%s\", %d) = %.17g, reference reader %.17g\n",
                 text.c_str(), index, got, want);
    std::abort();
  }
  return 0;
}
