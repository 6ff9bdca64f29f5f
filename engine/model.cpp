#include "model.h"

#include <algorithm>

namespace tds {

namespace {

// The named function of type F; throws LoadError naming it when there is none.
template <class F>
F resolved(const Resolver& resolve, const std::string& origin, const std::string& name) {
  void* p = resolve(name.c_str());
  if (p == nullptr) throw LoadError(origin + ": no export named " + name);
  return reinterpret_cast<F>(p);
}

}  // namespace

Model::Model(const Resolver& resolve, const std::string& origin, const Description& description)
    : description_(&description),
      initialise_(resolved<const char* (*)()>(resolve, origin, description.function("initialise"))),
      model_name_(resolved<const char* (*)()>(resolve, origin, description.function("modelName"))),
      decision_(resolved<std::int32_t (*)(const char*)>(resolve, origin,
                                                        description.function("decision"))),
      task_(
          resolved<std::int32_t (*)(const char*)>(resolve, origin, description.function("task"))) {
  const char* carried = model_name_();
  if (carried == nullptr || description.model() != carried)
    throw InputError(description.source() + " describes the model " + description.model() +
                     ", but " + origin + " carries " +
                     (carried ? std::string(carried) : std::string("no model name")));
  accessors_.reserve(description.values().size());
  for (const ValueInfo& v : description.values())
    accessors_.push_back({v.kind, resolved<void*>(resolve, origin, v.getter),
                          resolved<void*>(resolve, origin, v.setter)});
  check_distinct(resolve, origin);
}

void Model::check_distinct(const Resolver& resolve, const std::string& origin) const {
  // Every function a description names has an entry point of its own; two
  // names at one address mean the description belongs to another build.
  std::vector<std::pair<const void*, std::string>> entries;
  entries.reserve(accessors_.size() * 2 + 4);
  for (const char* role : {"initialise", "modelName", "decision", "task"})
    entries.emplace_back(resolve(description_->function(role).c_str()),
                         description_->function(role));
  for (std::size_t i = 0; i < accessors_.size(); ++i) {
    entries.emplace_back(accessors_[i].get, description_->values()[i].getter);
    entries.emplace_back(accessors_[i].set, description_->values()[i].setter);
  }
  std::sort(entries.begin(), entries.end());
  for (std::size_t i = 1; i < entries.size(); ++i)
    if (entries[i].first == entries[i - 1].first)
      throw InputError(
          description_->source() + " does not belong to " + origin + ": " +
          (entries[i].second == entries[i - 1].second
               ? "it names " + entries[i].second + " twice"
               : entries[i - 1].second + " and " + entries[i].second + " are the same function"));
}

Cell Model::read(std::size_t value) const {
  const Accessors& a = accessors_[value];
  Cell c;
  c.kind = a.kind;
  switch (a.kind) {
    case Kind::Double:
      c.d = reinterpret_cast<double (*)()>(a.get)();
      break;
    case Kind::Int:
      c.i = reinterpret_cast<std::int32_t (*)()>(a.get)();
      break;
    case Kind::Text:
      c.t = reinterpret_cast<const char* (*)()>(a.get)();
      break;
  }
  return c;
}

void Model::write(std::size_t value, const Cell& c) const {
  const Accessors& a = accessors_[value];
  switch (a.kind) {
    case Kind::Double:
      reinterpret_cast<double (*)(double)>(a.set)(c.d);
      break;
    case Kind::Int:
      reinterpret_cast<std::int32_t (*)(std::int32_t)>(a.set)(c.i);
      break;
    case Kind::Text:
      reinterpret_cast<const char* (*)(const char*)>(a.set)(c.t);
      break;
  }
}

}  // namespace tds
