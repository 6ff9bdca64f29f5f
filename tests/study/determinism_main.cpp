// The digests of determinism.h as a program, for the targets that run no
// unit tests (WebAssembly under node): prints each digest and exits with 1
// when one differs from its stored value.
#include <cstdint>
#include <cstdio>

#include "determinism.h"

int main() {
  using namespace tds::study::test;
  struct Check {
    const char* name;
    std::uint64_t got, want;
  };
  const Check checks[] = {{"designs", designs_digest(), kDesignsDigest},
                          {"robust", robust_digest(), kRobustDigest}};
  int status = 0;
  for (const Check& c : checks) {
    const bool same = c.got == c.want;
    std::printf("%s digest %016llx%s\n", c.name, static_cast<unsigned long long>(c.got),
                same ? "" : " differs from the stored value");
    if (!same) status = 1;
  }
  return status;
}
