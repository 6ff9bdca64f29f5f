// main() for the tests of the support units, whose state (the generator, the
// polar method's stored pair) is process-wide: run without a filter, every
// test case runs in a child process of its own, forked before any case has
// touched that state, so each case starts from the program's load-time state
// whether CTest runs the cases one by one or the program runs them all. With
// a filter (CTest passes one case), and on Windows, where there is no fork,
// the cases run in this process as usual.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
#if defined(_WIN32)
  return RUN_ALL_TESTS();
#else
  const std::string filter = ::testing::GTEST_FLAG(filter);
  if (filter != "*" || ::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

  std::vector<std::string> cases;
  const auto* unit = ::testing::UnitTest::GetInstance();
  for (int i = 0; i < unit->total_test_suite_count(); ++i) {
    const auto* suite = unit->GetTestSuite(i);
    for (int j = 0; j < suite->total_test_count(); ++j)
      cases.push_back(std::string(suite->name()) + "." + suite->GetTestInfo(j)->name());
  }
  std::vector<std::string> failed;
  for (const std::string& name : cases) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
      std::perror("fork");
      return 1;
    }
    if (child == 0) {
      ::testing::GTEST_FLAG(filter) = name;
      _exit(RUN_ALL_TESTS());
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) failed.push_back(name);
  }
  std::printf("\n%zu test cases, each in a process of its own: %zu failed\n", cases.size(),
              failed.size());
  for (const std::string& name : failed) std::printf("  FAILED %s\n", name.c_str());
  return failed.empty() ? 0 : 1;
#endif
}
