// Tests of the result reader (get_values, recoverOptiValue) and the debug dump (printFileDebug),
// on real files in a fresh temporary directory per test.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "Recover_execute_output.h"

namespace fs = std::filesystem;

namespace {

// The debug file: relative to the working directory on POSIX systems, drive C on Windows.
const char kDebugFile[] = "C:\\out.txt";

fs::path MakeFreshDir() {
  std::random_device random;
  const fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path candidate = base / ("recover_test_" + std::to_string(random()));
    if (fs::create_directory(candidate)) return candidate;
  }
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  ASSERT_TRUE(out.good()) << path;
}

std::string ReadFile(const fs::path& path, std::ios::openmode mode = std::ios::binary) {
  std::ifstream in(path, std::ios::in | mode);
  EXPECT_TRUE(in.is_open()) << path;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Takes ownership of a buffer from get_values.
std::string TakeValues(char* values) {
  std::string text = values == nullptr ? "<null>" : values;
  std::free(values);
  return text;
}

class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = MakeFreshDir(); }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  fs::path dir_;
};

// --- Result reader -------------------------------------------------------------------------

// A content of "optim.out", the text get_values makes of it, and lookups with their results.
struct ResultCase {
  std::string label;
  std::string content;
  const char* values;  // nullptr: the text differs between platforms and is not checked
  std::vector<std::pair<int, double>> lookups;
};

std::string Numbers(int count) {
  std::string line;
  for (int i = 1; i <= count; ++i) line += std::to_string(i) + (i % 7 == 0 ? "\t" : " ");
  line.pop_back();
  return line;
}

std::string NumbersText(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += std::to_string(i) + "%";
  text.pop_back();
  return text;
}

std::vector<ResultCase> ResultCases() {
  // Built once, at registration.
  static const std::string kLong = Numbers(2000);  // about 8900 bytes
  static const std::string kLongText = NumbersText(2000);
  static const std::string kLongHeader = std::string(3000, '#') + " \t%x" + std::string(3000, 'y');
  return {
      {"TwoLines",
       "header\n1 2 3\n4 5 6\n",
       "4%5%6",
       {{0, 4.0}, {1, 5.0}, {2, 6.0}, {3, -1.0}, {-1, -1.0}, {INT_MIN, -1.0}, {INT_MAX, -1.0}}},
      {"RunsOfBlanksAndTabs",
       "h\n \t1  \t2\t\t3 \n\t 4 \t 5\t\t\t6  \t\n",
       "4%5%6%",
       {{0, 4.0}, {1, 5.0}, {2, 6.0}, {3, -1.0}}},
      {"SpacingOfOneLine", "h\n1.5 2\t7\n", "1.5%2%7", {{0, 1.5}, {2, 7.0}, {3, -1.0}}},
      {"LongerLastLine", "h\n1 2\n4 5 6 7\n", "4%5%6%7", {{3, 7.0}, {4, -1.0}}},
      {"ShorterLastLine", "h\n10 20 30 40\n5 6\n", "5%6", {{1, 6.0}, {2, -1.0}, {3, -1.0}}},
      {"ShorterLastLineTrailingBlank", "h\n10 20 30 40\n5 \n", "5%", {{0, 5.0}, {1, -1.0}}},
      {"EmptyLastLine", "h\n1 2 3\n\n", "", {{0, -1.0}, {2, -1.0}}},
      {"BlankLastLine", "h\n1 2 3\n \t \n", "", {{0, -1.0}}},
      {"MinusOneToken", "h\n7 -1 8\n", "7%-1%8", {{1, -1.0}, {2, 8.0}}},
      {"NonNumericTokens",
       "h\nabc 2.5x 1e3 -0.5e-1junk .\n",
       "abc%2.5x%1e3%-0.5e-1junk%.",
       {{0, 0.0}, {1, 2.5}, {2, 1000.0}, {3, -0.05}, {4, 0.0}}},
      {"ByteFFAfterNewline",
       "h\n1 2 3\n4 5 6\n\xFF"
       "7 8 9\n",
       "4%5%6",
       {{0, 4.0}, {2, 6.0}}},
      {"ByteFFInsideLine", "h\n4 5 6\n7 8\xFF 9\n", "7%8", {{1, 8.0}, {2, -1.0}}},
      {"ByteFFInHeader",
       "he\xFF"
       "ader\n1 2\n",
       "",
       {{0, -1.0}}},
      {"NoFinalNewline", "h\n1 2 3\n4 5 6", "4%5%6", {{0, 4.0}, {2, 6.0}, {3, -1.0}}},
      {"ShorterLastLineNoFinalNewline", "h\n1 2 3\n4 5", "4%5", {{1, 5.0}, {2, -1.0}}},
      {"EmptyFile", "", "", {{0, -1.0}}},
      {"HeaderAlone", "h\n", "", {{0, -1.0}}},
      {"HeaderWithoutNewline", "header 1 2 3", "", {{0, -1.0}}},
      {"CrLfLineEnds", "h\r\n1 2\r\n", nullptr, {{0, 1.0}, {1, 2.0}}},
      {"LongHeader", kLongHeader + "\n1 2\n", "1%2", {{0, 1.0}, {1, 2.0}, {2, -1.0}}},
      {"LongLastLine",
       "h\n1 2\n" + kLong + "\n",
       kLongText.c_str(),
       {{0, 1.0}, {1000, 1001.0}, {1999, 2000.0}, {2000, -1.0}}},
      {"LongLastLineNoFinalNewline", "h\n" + kLong, kLongText.c_str(), {{1999, 2000.0}}},
      {"LongLineThenShortLine", "h\n" + kLong + "\n7 8\n", "7%8", {{0, 7.0}, {2, -1.0}}},
  };
}

void PrintTo(const ResultCase& c, std::ostream* os) { *os << c.label; }

class ResultFileTest : public TempDirTest, public ::testing::WithParamInterface<ResultCase> {};

TEST_P(ResultFileTest, ReadsLastLine) {
  const ResultCase& c = GetParam();
  const fs::path file = dir_ / "optim.out";
  WriteFile(file, c.content);
  if (c.values != nullptr) {
    EXPECT_EQ(TakeValues(get_values(file.string().c_str())), c.values);
  }
  for (const auto& [index, expected] : c.lookups) {
    EXPECT_DOUBLE_EQ(recoverOptiValue(dir_.string().c_str(), index), expected) << "index " << index;
  }
}

INSTANTIATE_TEST_SUITE_P(Files, ResultFileTest, ::testing::ValuesIn(ResultCases()),
                         [](const auto& info) { return info.param.label; });

// Forms of the directory text around a directory "d" (value 4) and a directory "d'x" (value 9).
TEST_F(TempDirTest, DirectoryIsFirstRunWithoutApostrophes) {
  fs::create_directory(dir_ / "d");
  fs::create_directory(dir_ / "d'x");
  WriteFile(dir_ / "d" / "optim.out", "h\n4\n");
  WriteFile(dir_ / "d'x" / "optim.out", "h\n9\n");
  const std::string d = (dir_ / "d").string();
  for (const std::string& form :
       {d, "'" + d + "'", "'''" + d + "''", d + "'x", "'" + d + "'x'", d + "'"}) {
    const std::string before = form;
    EXPECT_EQ(recoverOptiValue(form.c_str(), 0), 4.0) << form;
    EXPECT_EQ(form, before);
  }
}

TEST_F(TempDirTest, NoDirectoryInTextOpensNothing) {
  // A result file in the working directory must not be taken for an empty directory's.
  const fs::path previous = fs::current_path();
  fs::current_path(dir_);
  WriteFile("optim.out", "h\n5\n");
#if !defined(_WIN32)
  WriteFile("\\optim.out", "h\n5\n");
#endif
  EXPECT_EQ(recoverOptiValue(nullptr, 0), -1.0);
  for (const char* text : {"", "'", "'''"}) EXPECT_EQ(recoverOptiValue(text, 0), -1.0) << text;
  fs::current_path(previous);
}

TEST_F(TempDirTest, DirectoryEndingInBackslash) {
  fs::create_directory(dir_ / "sub");
  WriteFile(dir_ / "sub" / "optim.out", "h\n3\n");
  const std::string text = (dir_ / "sub").string() + "\\";
#if defined(_WIN32)
  // Two backslashes before the file name separate like one.
  EXPECT_EQ(recoverOptiValue(text.c_str(), 0), 3.0);
#else
  // The backslash is part of the directory's name.
  EXPECT_EQ(recoverOptiValue(text.c_str(), 0), -1.0);
  fs::create_directory(dir_ / "sub\\");
  WriteFile(dir_ / "sub\\" / "optim.out", "h\n7\n");
  EXPECT_EQ(recoverOptiValue(text.c_str(), 0), 7.0);
#endif
}

TEST_F(TempDirTest, UnreadableResultFile) {
  fs::create_directory(dir_ / "empty");
  fs::create_directories(dir_ / "dir" / "optim.out");  // a directory in place of the file
  for (const fs::path& d : {dir_ / "empty", dir_ / "missing", dir_ / "dir"}) {
    EXPECT_EQ(recoverOptiValue(d.string().c_str(), 0), -1.0) << d;
    EXPECT_EQ(TakeValues(get_values((d / "optim.out").string().c_str())), "<null>") << d;
  }
  EXPECT_EQ(get_values(nullptr), nullptr);
}

TEST_F(TempDirTest, CallersTokenisingIsUndisturbed) {
  WriteFile(dir_ / "optim.out", "h\n1 2 3\n");
  char list[] = "a,b,c";
  ASSERT_STREQ(std::strtok(list, ","), "a");
  EXPECT_EQ(recoverOptiValue(("'" + dir_.string() + "'").c_str(), 1), 2.0);
  EXPECT_STREQ(std::strtok(nullptr, ","), "b");
}

// --- Debug dump ----------------------------------------------------------------------------

// Runs in a fresh temporary working directory; on Windows the debug file is removed around each
// test.
class DebugDumpTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    previous_ = fs::current_path();
    fs::current_path(dir_);
    RemoveDebugFile();
  }
  void TearDown() override {
    RemoveDebugFile();
    fs::current_path(previous_);
    TempDirTest::TearDown();
  }
  static void RemoveDebugFile() {
    std::error_code ignored;
    fs::remove(kDebugFile, ignored);
  }
  // Calls printFileDebug and returns what it printed.
  static std::string Dump(const char* text) {
    ::testing::internal::CaptureStdout();
    printFileDebug(text);
    return ::testing::internal::GetCapturedStdout();
  }
  fs::path previous_;
};

TEST_F(DebugDumpTest, WritesWorkingDirectoryThenText) {
  const std::string cwd = fs::current_path().string();
  EXPECT_EQ(Dump("some text\t!"), "Current working dir: " + cwd + "\n");
  EXPECT_EQ(ReadFile(kDebugFile), cwd + "some text\t!");
}

TEST_F(DebugDumpTest, SecondCallReplacesFirst) {
  const std::string cwd = fs::current_path().string();
  Dump("a much longer first text");
  Dump("B");
  EXPECT_EQ(ReadFile(kDebugFile), cwd + "B");
}

TEST_F(DebugDumpTest, EmptyOrNullTextLeavesWorkingDirectoryAlone) {
  const std::string cwd = fs::current_path().string();
  Dump("");
  EXPECT_EQ(ReadFile(kDebugFile), cwd);
  Dump("x");
  Dump(nullptr);
  EXPECT_EQ(ReadFile(kDebugFile), cwd);
}

TEST_F(DebugDumpTest, UnknownWorkingDirectory) {
#if defined(_WIN32)
  GTEST_SKIP() << "a working directory too long for the buffer cannot be set up here";
#else
  // A working directory whose name does not fit 1024 bytes cannot be determined.
  fs::path deep = dir_;
  for (int i = 0; i < 6; ++i) deep /= std::string(200, static_cast<char>('a' + i));
  fs::create_directories(deep);
  fs::current_path(deep);
  EXPECT_EQ(Dump("text"), "");
  EXPECT_EQ(ReadFile(kDebugFile), "text");
#endif
}

// The child process of a death test may run the test anew from its start (always on Windows).
// It then works in the directory its parent made, which the parent hands on in the environment.
constexpr char kSharedDirVariable[] = "RECOVER_TEST_DEATH_DIR";

void SetSharedDir(const std::string& value) {
#if defined(_WIN32)
  _putenv((std::string(kSharedDirVariable) + "=" + value).c_str());
#else
  if (value.empty()) {
    unsetenv(kSharedDirVariable);
  } else {
    setenv(kSharedDirVariable, value.c_str(), 1);
  }
#endif
}

class DebugDumpDeathTest : public DebugDumpTest {
 protected:
  void SetUp() override {
    if (const char* shared = std::getenv(kSharedDirVariable); shared != nullptr && *shared) {
      dir_ = shared;
      previous_ = fs::current_path();
      fs::current_path(dir_);
      return;
    }
    DebugDumpTest::SetUp();
    SetSharedDir(dir_.string());
  }
  void TearDown() override {
    SetSharedDir("");
    DebugDumpTest::TearDown();
  }
};

TEST_F(DebugDumpDeathTest, OpenFailureEndsProgram) {
  // A directory in place of the debug file makes the open fail, whatever the permissions.
  std::error_code ignored;
  fs::create_directory(kDebugFile, ignored);
  ASSERT_TRUE(fs::is_directory(kDebugFile));
  const fs::path out = dir_ / "stdout.txt";
  const std::string cwd = fs::current_path().string();
  // Death tests watch standard error, so the child sends standard output to a file.
  EXPECT_EXIT(
      {
        if (std::freopen(out.string().c_str(), "w", stdout) == nullptr) std::abort();
        printFileDebug("text");
      },
      ::testing::ExitedWithCode(1), "");
  EXPECT_EQ(ReadFile(out, std::ios::in),
            "Current working dir: " + cwd +
                "\nError opening C:\\out.txt for writing. Program terminated.");
  EXPECT_TRUE(fs::is_empty(kDebugFile));
}

}  // namespace
