// --merge OUT_DIR SHARD_DIR... of a sweep: its shards joined into one
// directory (a study's shards are joined by --study with --merge).
#include <cstdio>
#include <filesystem>

#include "cli_context.h"
#include "merge.h"

namespace tds {

namespace fs = std::filesystem;

int merge_command(const Options& o) {
  merge_shards(o.merge.front(), {o.merge.begin() + 1, o.merge.end()});
  if (!o.quiet)
    std::fprintf(stderr, "%s: %zu shards merged into %s\n", kProgram, o.merge.size() - 1,
                 (fs::path(o.merge.front()) / "summary.csv").string().c_str());
  return 0;
}

}  // namespace tds
