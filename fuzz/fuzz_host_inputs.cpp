// libFuzzer target: what users feed the reference host. The first byte picks
// the reader, the rest is its text (up to a NUL; what follows a NUL is the
// per-day table that a scenario names):
//   'p' a diagram plan          's' a scenario and its per-day table
//   'd' a per-day input table   'c' a sweep's cases file
//   'v' a --set value: the second byte picks the kind (d, i, t), the rest is the text
// against the model description beside this program. Each input is either
// accepted or rejected with an InputError whose message is one non-empty line
// that starts by naming its source; anything else escaping (another
// exception, a crash, a sanitizer report) is a finding. An accepted plan or
// scenario is run for a day on the loaded module, where a walk that
// loops ends in a RunError.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "cases.h"
#include "defaults.h"
#include "description.h"
#include "loader.h"
#include "model.h"
#include "plan.h"
#include "run.h"
#include "scenario.h"

namespace {

struct Host {
  tds::Description description;
  std::unique_ptr<tds::Module> module;
  std::unique_ptr<tds::Model> model;
  std::unique_ptr<tds::Plan> plan;
  std::unique_ptr<tds::Scenario> scenario;
};

Host& host() {
  static Host* h = [] {
    auto* made = new Host;
    const std::string dir = tds::executable_directory();
    made->description = tds::Description::load(tds::path_join(dir, "TarvelloDemoSite.json"));
    made->module = tds::Module::load_private_copy(
        tds::path_join(dir, tds::module_file_name("TarvelloDemoSite")));
    made->model = std::make_unique<tds::Model>(*made->module, made->description);
    made->plan = std::make_unique<tds::Plan>(
        tds::Plan::parse(tds::kDefaultPlan, "default plan", made->description));
    made->scenario = std::make_unique<tds::Scenario>(
        tds::Scenario::parse(tds::kDefaultScenario, "default scenario", made->description,
                             [](const std::string&) { return std::string(tds::kDefaultInputs); }));
    return made;
  }();
  return *h;
}

[[noreturn]] void finding(const char* what, const std::string& detail) {
  std::fprintf(stderr, "fuzz_host_inputs: %s: %s\n", what, detail.c_str());
  std::abort();
}

// A rejection must be one line that names the input's source (or the file
// that the input names, where the fault lies in that file).
void check_message(const tds::InputError& e, std::string_view source, std::string_view named) {
  const std::string message = e.what();
  if (message.empty() || message.find('\n') != std::string::npos ||
      message.find('\r') != std::string::npos)
    finding("a message that is not one line", message);
  if (message.find(source) == std::string::npos &&
      (named.empty() || message.find(named) == std::string::npos))
    finding("a message that does not name its source", message);
}

void run_briefly(const tds::Plan& plan, const tds::Scenario& scenario) {
  tds::RunOptions options;
  options.days = 1;
  options.variables = plan.default_variables();
  try {
    tds::run_model(*host().model, plan, scenario, options, [](std::string&) {});
  } catch (const tds::RunError& e) {
    if (std::string(e.what()).find('\n') != std::string::npos)
      finding("a run error that is not one line", e.what());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Host& h = host();
  if (size == 0) return 0;
  const std::string_view all(reinterpret_cast<const char*>(data) + 1, size - 1);
  const auto nul = all.find('\0');
  const std::string_view text = all.substr(0, nul);
  const std::string extra(nul == std::string_view::npos ? std::string_view() : all.substr(nul + 1));
  std::string source, named;
  try {
    switch (data[0]) {
      case 'p': {
        source = "plan fuzz";
        const tds::Plan plan = tds::Plan::parse(text, "fuzz", h.description);
        run_briefly(plan, *h.scenario);
        break;
      }
      case 's': {
        source = "scenario fuzz";
        const tds::Scenario scenario =
            tds::Scenario::parse(text, "fuzz", h.description, [&](const std::string& name) {
              named = tds::one_line(name);  // the per-day table's own messages name it
              return std::string(extra);
            });
        run_briefly(*h.plan, scenario);
        break;
      }
      case 'd': {
        source = "fuzz";
        const int cycle = extra.empty() ? 0 : static_cast<unsigned char>(extra[0]);
        const tds::DailyInputs daily = tds::DailyInputs::parse(text, "fuzz", h.description, cycle);
        const std::vector<bool> none(h.description.values().size(), false);
        for (long long day : {1LL, 2LL, 365LL, 366LL, 100000LL}) daily.apply(*h.model, day, none);
        break;
      }
      case 'c': {
        source = "fuzz";
        tds::CaseTable::parse(text, "fuzz", h.description, h.scenario->daily, 365);
        break;
      }
      case 'v': {
        source = "--set";
        if (text.empty()) return 0;
        const tds::Kind kind = text[0] == 'i'   ? tds::Kind::Int
                               : text[0] == 't' ? tds::Kind::Text
                                                : tds::Kind::Double;
        std::deque<std::string> keep;
        tds::parse_cell(kind, text.substr(1), "--set x", keep);
        break;
      }
      default:
        return 0;
    }
  } catch (const tds::InputError& e) {
    check_message(e, source, named);
  } catch (const std::exception& e) {
    finding("an exception other than a clear rejection", e.what());
  }
  return 0;
}
