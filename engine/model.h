// A model library bound to its description: every value's accessors and the
// four model functions resolved by name from the loaded module.
#ifndef TDS_HOST_MODEL_H
#define TDS_HOST_MODEL_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "description.h"
#include "input.h"
#include "loader.h"

namespace tds {

// The address of a model function by its export name, or null when there is
// none: a loaded module's symbol table, or a table of linked-in functions.
using Resolver = std::function<void*(const char* name)>;

class Model {
 public:
  // Resolves every export that the description names; throws LoadError naming
  // the first one that the module lacks, or InputError when the description
  // is of another model than the one the module carries.
  Model(const Module& module, const Description& description)
      : Model([&module](const char* name) { return module.symbol(name); }, module.path(),
              description) {}
  // The same for functions that `resolve` finds; `origin` names where they
  // come from in messages (the module's path).
  Model(const Resolver& resolve, const std::string& origin, const Description& description);

  const Description& description() const { return *description_; }

  const char* initialise() const { return initialise_(); }
  const char* model_name() const { return model_name_(); }
  std::int32_t decision(const char* id) const { return decision_(id); }
  std::int32_t task(const char* id) const { return task_(id); }

  Cell read(std::size_t value) const;
  void write(std::size_t value, const Cell& cell) const;

 private:
  void check_distinct(const Resolver& resolve, const std::string& origin) const;
  struct Accessors {
    Kind kind;
    void* get;
    void* set;
  };
  const Description* description_;
  std::vector<Accessors> accessors_;
  const char* (*initialise_)();
  const char* (*model_name_)();
  std::int32_t (*decision_)(const char*);
  std::int32_t (*task_)(const char*);
};

}  // namespace tds

#endif  // TDS_HOST_MODEL_H
