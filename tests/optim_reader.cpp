// Reads a study's optim.out with the library's own result reader, as a model
// that takes its optimum from the file would: prints the first N values of
// its last line, one per line, in their shortest exact form.
//
//   optim_reader DIR N
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Recover_execute_output.h"
#include "csv.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: optim_reader DIR N\n");
    return 2;
  }
  const std::string text = std::string("'") + argv[1] + "'";
  const long n = std::strtol(argv[2], nullptr, 10);
  for (long i = 0; i < n && i < 1000000; ++i)
    std::printf("%s\n",
                tds::format_double(recoverOptiValue(text.c_str(), static_cast<int>(i))).c_str());
  return 0;
}
