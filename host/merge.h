// The merge of a sweep's shards: the shard summaries joined into the one
// summary, with the cases' daily files, byte for byte what one machine would
// have written.
#ifndef TDS_HOST_MERGE_H
#define TDS_HOST_MERGE_H

#include <string>
#include <vector>

namespace tds {

// Joins the shard summaries in shard_dirs into out_dir. Throws InputError
// naming what differs for shards of different sweeps, a missing, duplicated,
// incomplete or edited shard.
void merge_shards(const std::string& out_dir, const std::vector<std::string>& shard_dirs);

}  // namespace tds

#endif  // TDS_HOST_MERGE_H
