// Reads one JSON object of a study file, naming its place in messages
// ("<source>: <where>.<key>: <problem>") and refusing keys it does not know.
// The study file's reader and each method's options use it alike.
#ifndef TDS_ENGINE_STUDY_STUDY_READER_H
#define TDS_ENGINE_STUDY_STUDY_READER_H

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tds::study {

class Reader {
 public:
  // Keeps references to the object and the source's name.
  Reader(const nlohmann::json& object, std::string where, const std::string& source)
      : object_(object), where_(std::move(where)), source_(source) {}

  // Throws InputError "<source>: <where>.<key>: <problem>" (the object's own
  // place for an empty key).
  [[noreturn]] void fail(const std::string& key, const std::string& problem) const;
  std::string at(const std::string& key) const;
  const nlohmann::json* get(const std::string& key) const;
  bool has(const std::string& key) const { return get(key) != nullptr; }

  // Refuses every key not among `known`, with the nearest known ones.
  void only(const std::vector<std::string_view>& known) const;

  // Typed members, `fallback` when absent; each refuses another type.
  double number(const std::string& key, double fallback) const;
  double required_number(const std::string& key) const;
  // A whole number from least to most.
  std::size_t count(const std::string& key, std::size_t fallback, std::size_t least,
                    std::size_t most) const;
  bool flag(const std::string& key, bool fallback) const;
  // A string, which must be there.
  std::string text(const std::string& key) const;
  // A list (empty when absent and not required).
  const nlohmann::json& list(const std::string& key, bool required) const;
  // An object, empty when absent.
  const nlohmann::json& object(const std::string& key) const;

  const nlohmann::json& self() const { return object_; }
  const std::string& source() const { return source_; }
  // The reader of a member object, and of a list's element, which must be an
  // object.
  Reader member(const std::string& key) const { return {object(key), at(key), source_}; }
  Reader element(const std::string& key, std::size_t i) const;

 private:
  const nlohmann::json& object_;
  std::string where_;
  const std::string& source_;
};

}  // namespace tds::study

#endif  // TDS_ENGINE_STUDY_STUDY_READER_H
