// The site's parts that need a loaded module: native builds only.
#include "site.h"

namespace tds {

void Site::load_module(const std::string& path, bool private_copy) {
  try {
    module_ = private_copy ? Module::load_private_copy(path) : Module::load(path);
  } catch (const LoadError& e) {
    throw InputError(e.what());
  }
}

const Snapshot& Site::take_snapshot() { return snapshot_.emplace(Snapshot::take(*module_)); }

void Site::bind() {
  const Module& module = *module_;
  bind([&module](const char* name) { return module.symbol(name); }, module.path());
}

}  // namespace tds
