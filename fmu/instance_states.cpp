// Saved states: the model module's memory as it differs from its
// load-time snapshot, the instance's mode, time and day, and the values set
// and held, saved, restored and freed by the importer's handles.
#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "instance.h"
#include "instance_impl.h"

namespace tds::fmu {

namespace {

Held hold(std::size_t value, const Cell& c) {
  Held h;
  h.value = value;
  h.kind = c.kind;
  h.d = c.d;
  h.i = c.i;
  h.null = c.t == nullptr;
  if (c.t != nullptr) h.text = c.t;
  return h;
}

std::vector<Held> hold_all(const std::vector<std::optional<Cell>>& cells) {
  std::vector<Held> out;
  for (std::size_t v = 0; v < cells.size(); ++v)
    if (cells[v]) out.push_back(hold(v, *cells[v]));
  return out;
}

}  // namespace

SavedState* Instance::save(SavedState* reuse) const {
  std::unique_ptr<SavedState> fresh;
  SavedState* s = reuse;
  if (s == nullptr) {
    fresh = std::make_unique<SavedState>();
    s = fresh.get();
  }
  s->memory = pristine_->changes();
  s->mode = mode_;
  s->start_time = start_time_;
  s->stop_time = stop_time_;
  s->time = time_;
  s->day = runner_->day();
  s->use_scenario_inputs = use_scenario_inputs_;
  s->dirty = dirty_;
  s->overrides = hold_all(overrides_);
  s->driven = hold_all(driven_);
  s->texts.clear();
  for (std::size_t v = 0; v < description_.values().size(); ++v)
    if (description_.values()[v].kind == Kind::Text) s->texts.push_back(hold(v, model_->read(v)));
  return fresh ? fresh.release() : s;
}

void Instance::restore(const SavedState& s) {
  if (!pristine_->apply(s.memory))
    throw Refusal("the state does not fit this instance's model module");
  // The texts the model held are written again from their contents: the
  // state may come from another instance, whose texts are not this one's.
  for (const Held& h : s.texts) {
    Cell c;
    c.kind = Kind::Text;
    c.t = h.null ? nullptr : keep(h.text.c_str());
    model_->write(h.value, c);
  }
  auto cells = [&](const std::vector<Held>& held) {
    std::vector<std::optional<Cell>> out(description_.values().size());
    for (const Held& h : held) {
      Cell c;
      c.kind = h.kind;
      c.d = h.d;
      c.i = h.i;
      c.t = h.kind == Kind::Text && !h.null ? keep(h.text.c_str()) : nullptr;
      out[h.value] = c;
    }
    return out;
  };
  overrides_ = cells(s.overrides);
  driven_ = cells(s.driven);
  skip_stale_ = true;
  mode_ = s.mode;
  start_time_ = s.start_time;
  stop_time_ = s.stop_time;
  time_ = s.time;
  runner_->set_day(s.day);
  use_scenario_inputs_ = s.use_scenario_inputs;
  dirty_ = s.dirty;
  log_event("state restored: day " + std::to_string(s.day) + " at " + seconds(s.time));
}

void Instance::get_state(void** state) const {
  if (state == nullptr) throw Refusal("the state pointer is null");
  *state = save(static_cast<SavedState*>(*state));
}

void Instance::set_state(const void* state) {
  if (state == nullptr) throw Refusal("the state is null");
  restore(*static_cast<const SavedState*>(state));
}

void Instance::free_state(void** state) {
  if (state == nullptr) throw Refusal("the state pointer is null");
  delete static_cast<SavedState*>(*state);
  *state = nullptr;
}

void Instance::serialized_size(const void* state, std::size_t* size) const {
  if (state == nullptr || size == nullptr) throw Refusal("the state or the size is null");
  *size = bytes_of(*static_cast<const SavedState*>(state)).size();
}

void Instance::serialize(const void* state, unsigned char* bytes, std::size_t size) const {
  if (state == nullptr || bytes == nullptr) throw Refusal("the state or the bytes are null");
  const auto out = bytes_of(*static_cast<const SavedState*>(state));
  if (size != out.size())
    throw Refusal("the buffer holds " + std::to_string(size) + " bytes, the state " +
                  std::to_string(out.size()));
  std::copy(out.begin(), out.end(), bytes);
}

void Instance::deserialize(const unsigned char* bytes, std::size_t size, void** state) const {
  if (state == nullptr) throw Refusal("the state pointer is null");
  *state = read_state(bytes, size);
}

}  // namespace tds::fmu
