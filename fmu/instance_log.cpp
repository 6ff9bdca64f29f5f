// The instance's log categories, which of them are enabled, and where its
// events and errors go.
#include <cstring>
#include <string>
#include <vector>

#include "instance.h"

namespace tds::fmu {

const std::vector<LogCategory>& log_categories() {
  static const std::vector<LogCategory> categories = {
      {"logEvents", "the instance's changes of mode, resets and restored states"},
      {"logStatusError", "calls refused or failed: the function and the cause"},
  };
  return categories;
}

void Instance::set_debug_logging(bool on, std::size_t n, const char* const categories[]) {
  if (n > 0 && categories == nullptr) throw Refusal("the categories are a null array");
  std::vector<std::string> names;
  for (std::size_t k = 0; k < n; ++k) {
    if (categories[k] == nullptr) throw Refusal("category " + std::to_string(k) + " is null");
    bool known = false;
    for (const LogCategory& c : log_categories())
      known = known || std::strcmp(c.name, categories[k]) == 0;
    if (!known)
      throw Refusal("unknown log category " + quote_input(categories[k]) +
                    " (the FMU declares logEvents and logStatusError)");
    names.emplace_back(categories[k]);
  }
  if (n == 0) {
    log_all_ = on;
    enabled_.clear();
    return;
  }
  if (!on && log_all_) {
    log_all_ = false;
    for (const LogCategory& c : log_categories()) enabled_.insert(c.name);
  }
  for (const std::string& name : names) {
    if (on)
      enabled_.insert(name);
    else
      enabled_.erase(name);
  }
}

void Instance::log_event(const std::string& text) const {
  if (log_all_ || enabled_.count("logEvents") != 0) logger_(false, "logEvents", text);
}

void Instance::fail(const char* function, const std::string& cause) {
  mode_ = Mode::Error;
  // Errors are reported whatever the logging settings: the importer's user
  // needs the cause.
  try {
    logger_(true, "logStatusError", std::string(function) + ": " + cause);
  } catch (...) {
  }
}

}  // namespace tds::fmu
