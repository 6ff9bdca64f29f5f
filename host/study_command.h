// tarvello-run --study: a design study run into a directory as a sweep runs,
// its tables, their plots and a record of its inputs (study.json). Results
// are journalled as cases finish (results.csv.partial), so that --resume
// continues a stopped study; a one-batch study can be split into shards and
// the shards merged into the tables of one machine.
#ifndef TDS_HOST_STUDY_COMMAND_H
#define TDS_HOST_STUDY_COMMAND_H

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "batch.h"
#include "study_file.h"

namespace tds {

struct StudyOptions {
  std::string out_dir;
  std::string study_folder;  // where the study file lies, whose files it names
  bool resume = false;
  unsigned shard = 0, shards = 1;
  bool progress = false;
  bool plots = true;
  BatchOptions
      batch;  // jobs, isolation, snapshot, workers  // jobs, isolation, snapshot, worker command
};

// Runs the study into out_dir and returns the summary line. Throws
// InputError before any case runs for a directory it must not use,
// RunError when results cannot be written.
// identity: what determines the results, {"inputs": {...digests},
// "options": {...}}, recorded in study.json.
std::string run_study(const Model& model, const Plan& plan, const Scenario& scenario,
                      const study::Study& study, const nlohmann::json& identity,
                      const StudyOptions& o);

// Joins the shards of a study into out_dir: the tables of one machine.
// Throws InputError naming a missing, duplicated, unfinished or foreign
// shard. Returns the summary line. study_folder: where the study file lies.
std::string merge_study(const Plan& plan, const study::Study& study, const nlohmann::json& identity,
                        const std::string& out_dir, const std::vector<std::string>& shard_dirs,
                        const std::string& study_folder, bool plots);

}  // namespace tds

#endif  // TDS_HOST_STUDY_COMMAND_H
