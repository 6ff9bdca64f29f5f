// --study: a design study run into an output directory, or its shards joined
// with --merge, with a line on standard error of what it found.
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "batch_hooks.h"
#include "cases.h"
#include "cli_context.h"
#include "csv.h"
#include "interrupt.h"
#include "model_cases.h"
#include "output.h"
#include "study_command.h"
#include "study_file.h"

namespace tds {

int study_command(const Context& c) {
  const Options& o = c.o;
  const Description& description = c.loaded.site.description();
  BatchOptions batch = case_batch(c);
  add_host_hooks(batch);
  add_worker_command(batch, o, random_token());
  const std::string study_text = read_text_file(o.study, "study file");
  // The files a study names (designs, futures, per-day tables) are beside it.
  // Their digests, in the order they are read, belong to the study's identity.
  const std::filesystem::path folder = std::filesystem::path(o.study).parent_path();
  nlohmann::json named_files = nlohmann::json::array();
  const study::Study st = study::parse_study(study_text, o.study, description, c.plan, c.scenario,
                                             [&folder, &named_files](const std::string& name) {
                                               std::string text =
                                                   read_text_file((folder / name).string(), "file");
                                               named_files.push_back(hex_digest(text));
                                               return text;
                                             });
  if (c.checked.worker) {
    interrupt::as_child();
    // The options that the study's evaluator gives its cases.
    study::ModelCases(description, c.plan, st).configure(batch);
    return serve_batch_worker(c.model, c.plan, c.scenario, batch);
  }
  nlohmann::json identity = record_identity(c.loaded, "study", hex_digest(study_text));
  // Recorded only when the study names files, so that other studies keep the
  // study.json of before.
  if (!named_files.empty()) identity["inputs"]["studyFiles"] = named_files;
  const auto started = std::chrono::steady_clock::now();
  std::string summary_line;
  if (!o.merge.empty()) {
    summary_line = merge_study(c.plan, st, identity, o.merge.front(),
                               {o.merge.begin() + 1, o.merge.end()}, folder.string(), true);
  } else {
    StudyOptions so;
    so.out_dir = o.out;
    so.study_folder = folder.string();
    so.resume = o.resume;
    so.shard = c.checked.shard;
    so.shards = c.checked.shards;
    so.progress = progress_shown(o);
    so.batch = batch;
    summary_line = run_study(c.model, c.plan, c.scenario, st, identity, so);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (!o.quiet)
    std::fprintf(
        stderr, "%s: %s study in %s s; %s\n", kProgram, study::method_name(st.method),
        format_double(static_cast<double>(static_cast<long long>(seconds * 1000)) / 1000.0).c_str(),
        summary_line.c_str());
  return 0;
}

}  // namespace tds
