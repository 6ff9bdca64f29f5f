#include "instance.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "csv.h"

namespace tds::fmu {

namespace {

constexpr double kDay = 86400.0;

std::string seconds(double t) { return format_double(t) + " s"; }

}  // namespace

const char* mode_name(Mode m) {
  switch (m) {
    case Mode::Instantiated:
      return "Instantiated";
    case Mode::Initialization:
      return "Initialization";
    case Mode::Step:
      return "Step";
    case Mode::Terminated:
      return "Terminated";
    case Mode::Error:
      break;
  }
  return "Error";
}

const std::vector<LogCategory>& log_categories() {
  static const std::vector<LogCategory> categories = {
      {"logEvents", "the instance's changes of mode, resets and restored states"},
      {"logStatusError", "calls refused or failed: the function and the cause"},
  };
  return categories;
}

struct Held {
  std::size_t value = 0;
  Kind kind = Kind::Double;
  double d = 0.0;
  std::int32_t i = 0;
  bool null = false;
  std::string text;
};

struct SavedState {
  std::vector<Snapshot::Word> memory;
  Mode mode = Mode::Instantiated;
  double start_time = 0.0, time = 0.0;
  std::optional<double> stop_time;
  long long day = 0;
  bool use_scenario_inputs = true, dirty = false;
  std::vector<Held> overrides, driven, texts;
};

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

Instance::Instance(const std::string& binary_dir, const std::string& resources_dir,
                   const std::string& token, Logger logger, bool logging_on, bool with_time)
    : logger_(std::move(logger)), log_all_(logging_on), fmi3_(with_time) {
  std::vector<std::string> texts;
  for (const std::string& name : resource_names())
    texts.push_back(read_text_file(path_join(resources_dir, name), "FMU resource"));
  token_ = fmu::token(texts);
  if (token != token_)
    throw Refusal("the token " + quote_input(token) + " is not this FMU's " + token_ +
                  " (the modelDescription.xml and the resources of different builds?)");
  site_.set_description(
      Description::parse(texts[0], path_join(resources_dir, resource_names()[0])));
  site_.load_module(path_join(binary_dir, module_file_name(description_.model())), true);
  site_.bind();
  site_.read_plan({path_join(resources_dir, "plan.json"), texts[1]});
  site_.read_scenario({path_join(resources_dir, "scenario.json"), texts[2]},
                      [&](const std::string& name) {
                        return read_text_file(path_join(resources_dir, name), "per-day table");
                      });
  model_ = &site_.model();
  plan_ = &site_.plan();
  scenario_ = &site_.scenario();
  variables_ = variables(description_, *plan_, *scenario_, with_time);
  pristine_ = &site_.take_snapshot();
  runner_.emplace(*model_, *plan_);
  overrides_.assign(description_.values().size(), std::nullopt);
  driven_.assign(description_.values().size(), std::nullopt);
}

Instance::~Instance() = default;

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

void Instance::setup(double start_time, std::optional<double> stop_time) {
  if (!std::isfinite(start_time))
    throw Refusal("the start time " + seconds(start_time) + " is not finite");
  if (stop_time && !(std::isfinite(*stop_time) && *stop_time >= start_time))
    throw Refusal("the stop time " + seconds(*stop_time) + " is not a finite time from the start " +
                  seconds(start_time) + " on");
  start_time_ = start_time;
  stop_time_ = stop_time;
  time_ = start_time;
}

void Instance::enter_initialization() {
  mode_ = Mode::Initialization;
  dirty_ = true;
  settle();
  log_event("initialised: day 0 at " + seconds(time_));
}

void Instance::settle() {
  if (!dirty_) return;
  std::vector<std::pair<std::size_t, Cell>> overrides;
  for (std::size_t v = 0; v < overrides_.size(); ++v)
    if (overrides_[v]) overrides.emplace_back(v, *overrides_[v]);
  pristine_->restore();
  runner_->start(*scenario_, overrides);
  dirty_ = false;
}

void Instance::exit_initialization() {
  settle();
  if (!use_scenario_inputs_)
    for (std::size_t v : scenario_->daily.columns()) driven_[v] = model_->read(v);
  skip_stale_ = true;
  mode_ = Mode::Step;
  log_event(use_scenario_inputs_ ? "step mode: the scenario's per-day table drives the inputs"
                                 : "step mode: the importer drives every input");
}

void Instance::terminate() {
  mode_ = Mode::Terminated;
  log_event("terminated on day " + std::to_string(runner_->day()));
}

void Instance::reset() {
  pristine_->restore();
  runner_->set_day(0);
  mode_ = Mode::Instantiated;
  start_time_ = time_ = 0.0;
  stop_time_.reset();
  use_scenario_inputs_ = true;
  dirty_ = false;
  overrides_.assign(overrides_.size(), std::nullopt);
  driven_.assign(driven_.size(), std::nullopt);
  skip_stale_ = true;
  log_event("reset to the state after instantiation");
}

const char* Instance::type_name(Type type) const {
  return fmi3_ ? fmi3_type_name(type) : fmi2_type_name(type);
}

const Variable& Instance::variable(std::uint32_t vr, std::optional<Type> type,
                                   const char* asked) const {
  if (vr >= variables_.size())
    throw Refusal("unknown value reference " + std::to_string(vr) + " (the FMU has 0 to " +
                  std::to_string(variables_.size() - 1) + ")");
  const Variable& v = variables_[vr];
  if (v.type != type)
    throw Refusal("value reference " + std::to_string(vr) + " (" + v.name + ") is a " +
                  type_name(v.type) + ", not a " + asked);
  return v;
}

const Variable& Instance::variable(std::uint32_t vr, Type type) const {
  return variable(vr, type, type_name(type));
}

const char* Instance::keep(const char* text) {
  if (text == nullptr) return nullptr;
  return texts_.insert(text).first->c_str();
}

Cell Instance::get(std::uint32_t vr, Type type) {
  const Variable& v = variable(vr, type);
  if (mode_ == Mode::Initialization) settle();
  Cell c;
  if (v.own == Variable::Own::Time) {
    c.d = time_;
    return c;
  }
  if (v.own == Variable::Own::UseScenarioInputs) {
    c.kind = Kind::Int;
    c.i = use_scenario_inputs_ ? 1 : 0;
    return c;
  }
  return model_->read(*v.value);
}

void Instance::set(std::uint32_t vr, Type type, const Cell& cell) {
  const Variable& v = variable(vr, type);
  if (v.own == Variable::Own::Time)
    throw Refusal("time is the independent variable: it cannot be set");
  if (mode_ == Mode::Step) {
    if (v.causality == Causality::Input) {
      Cell c = cell;
      c.t = keep(cell.t);
      driven_[*v.value] = c;
      skip_stale_ = true;
      model_->write(*v.value, c);
      return;
    }
    if (v.causality == Causality::Parameter)
      throw Refusal(v.name + " is a fixed parameter: it cannot be set after initialisation");
    throw Refusal(v.name + " is not an input: only inputs can be set in step mode");
  }
  if (!v.start)
    throw Refusal(v.name + " has no start value: the model calculates it, and it cannot be set");
  if (v.own == Variable::Own::UseScenarioInputs) {
    use_scenario_inputs_ = cell.i != 0;
    return;
  }
  Cell c = cell;
  c.t = keep(cell.t);
  overrides_[*v.value] = c;
  skip_stale_ = true;
  if (mode_ == Mode::Initialization) dirty_ = true;
}

namespace {

void check_arrays(std::size_t n, const void* vr, const void* values) {
  if (n > 0 && vr == nullptr) throw Refusal("the value references are a null array");
  if (n > 0 && values == nullptr) throw Refusal("the values are a null array");
}

}  // namespace

void Instance::get_reals(const std::uint32_t vr[], std::size_t n, double out[]) {
  check_arrays(n, vr, out);
  for (std::size_t k = 0; k < n; ++k) out[k] = get(vr[k], Type::Real).d;
}

void Instance::get_integers(const std::uint32_t vr[], std::size_t n, std::int32_t out[]) {
  check_arrays(n, vr, out);
  for (std::size_t k = 0; k < n; ++k) out[k] = get(vr[k], Type::Integer).i;
}

void Instance::get_booleans(const std::uint32_t vr[], std::size_t n, bool out[]) {
  check_arrays(n, vr, out);
  for (std::size_t k = 0; k < n; ++k) out[k] = get(vr[k], Type::Boolean).i != 0;
}

void Instance::get_strings(const std::uint32_t vr[], std::size_t n, const char* out[]) {
  check_arrays(n, vr, out);
  for (std::size_t k = 0; k < n; ++k) {
    const char* t = get(vr[k], Type::String).t;
    out[k] = t != nullptr ? t : "";
  }
}

void Instance::set_reals(const std::uint32_t vr[], std::size_t n, const double in[]) {
  check_arrays(n, vr, in);
  for (std::size_t k = 0; k < n; ++k) {
    Cell c;
    c.d = in[k];
    set(vr[k], Type::Real, c);
  }
}

void Instance::set_integers(const std::uint32_t vr[], std::size_t n, const std::int32_t in[]) {
  check_arrays(n, vr, in);
  for (std::size_t k = 0; k < n; ++k) {
    Cell c;
    c.kind = Kind::Int;
    c.i = in[k];
    set(vr[k], Type::Integer, c);
  }
}

void Instance::set_booleans(const std::uint32_t vr[], std::size_t n, const bool in[]) {
  check_arrays(n, vr, in);
  for (std::size_t k = 0; k < n; ++k) {
    Cell c;
    c.kind = Kind::Int;
    c.i = in[k] ? 1 : 0;
    set(vr[k], Type::Boolean, c);
  }
}

void Instance::set_strings(const std::uint32_t vr[], std::size_t n, const char* const in[]) {
  check_arrays(n, vr, in);
  for (std::size_t k = 0; k < n; ++k) {
    if (in[k] == nullptr)
      throw Refusal("the text for value reference " + std::to_string(vr[k]) + " is null");
    Cell c;
    c.kind = Kind::Text;
    c.t = in[k];
    set(vr[k], Type::String, c);
  }
}

void Instance::write_driven() const {
  for (std::size_t v : driven_list_) model_->write(v, *driven_[v]);
}

void Instance::step(double at, double step) {
  if (!(step > 0.0)) throw Refusal("the step size " + seconds(step) + " is not positive");
  if (!std::isfinite(step)) throw Refusal("the step size " + seconds(step) + " is not finite");
  const double tolerance = 1e-9 * std::max(1.0, std::fabs(time_));
  if (!(std::fabs(at - time_) <= tolerance))
    throw Refusal("the communication point " + seconds(at) + " is not the instance's time " +
                  seconds(time_));
  const double end = at + step;
  if (stop_time_ && end > *stop_time_ + 1e-9 * std::max(1.0, std::fabs(*stop_time_)))
    throw Refusal("the step ends at " + seconds(end) + ", after the stop time " +
                  seconds(*stop_time_));
  // The days whose end the step reaches; a step that ends within a day
  // leaves it for a later step. The margin absorbs the rounding of a time
  // summed from many small steps. The bounds are checked on the double
  // before it becomes a day number, which could not hold a larger one.
  const double days = std::floor((end - start_time_) / kDay + 1e-9);
  if (days - static_cast<double>(runner_->day()) > static_cast<double>(kMaxStepDays))
    throw Refusal("the step of " + seconds(step) + " would perform " +
                  format_double(days - static_cast<double>(runner_->day())) +
                  " days, more than the bound of " + std::to_string(kMaxStepDays) + " days a step");
  if (days > static_cast<double>(kMaxDay))
    throw Refusal("the step would end on day " + format_double(days) +
                  ", beyond the bound of day " + std::to_string(kMaxDay));
  const auto target = static_cast<long long>(days);
  if (skip_stale_) {
    skip_.assign(overrides_.size(), false);
    driven_list_.clear();
    for (std::size_t v = 0; v < skip_.size(); ++v) {
      skip_[v] = overrides_[v] || driven_[v];
      if (driven_[v]) driven_list_.push_back(v);
    }
    skip_stale_ = false;
  }
  while (runner_->day() < target) {
    write_driven();
    runner_->next_day(use_scenario_inputs_ ? &scenario_->daily : nullptr, skip_);
  }
  time_ = end;
}

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

// The serialized form: a magic and format number, the token of the FMU that
// wrote it, then the fields, integers little-endian, doubles by their bits,
// and last the CRC-32C of everything before it (4 bytes, little-endian),
// checked before any field is read.
namespace {

constexpr char kMagic[8] = {'T', 'D', 'S', 'F', 'M', 'U', 'S', '2'};

// CRC-32C (Castagnoli, reflected polynomial 0x82F63B78), as iSCSI and ext4
// use it: it finds every error of up to three bits in anything shorter than
// 256 MB, and every burst of up to 32 bits.
struct Crc32cTable {
  std::uint32_t entry[256];
  constexpr Crc32cTable() : entry() {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1u) != 0 ? (c >> 1) ^ 0x82F63B78u : c >> 1;
      entry[i] = c;
    }
  }
};
constexpr Crc32cTable kCrc32c;

std::uint32_t crc32c(const unsigned char* p, std::size_t n) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < n; ++i) c = kCrc32c.entry[(c ^ p[i]) & 0xFFu] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

class Writer {
 public:
  void u64(std::uint64_t x) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<unsigned char>(x >> (8 * i)));
  }
  void f64(double d) {
    std::uint64_t x = 0;
    std::memcpy(&x, &d, 8);
    u64(x);
  }
  void text(const std::string& s) {
    u64(s.size());
    out.insert(out.end(), s.begin(), s.end());
  }
  void held(const std::vector<Held>& list) {
    u64(list.size());
    for (const Held& h : list) {
      u64(h.value);
      u64(static_cast<std::uint64_t>(h.kind));
      f64(h.d);
      u64(static_cast<std::uint32_t>(h.i));
      u64(h.null ? 1 : 0);
      text(h.text);
    }
  }
  std::vector<unsigned char> out;
};

class Reader {
 public:
  Reader(const unsigned char* p, std::size_t n) : p_(p), end_(p + n) {}
  std::uint64_t u64() {
    need(8);
    std::uint64_t x = 0;
    for (int i = 0; i < 8; ++i) x |= static_cast<std::uint64_t>(p_[i]) << (8 * i);
    p_ += 8;
    return x;
  }
  double f64() {
    const std::uint64_t x = u64();
    double d = 0.0;
    std::memcpy(&d, &x, 8);
    return d;
  }
  std::uint64_t count(std::uint64_t each) {
    const std::uint64_t n = u64();
    if (n > static_cast<std::uint64_t>(end_ - p_) / each)
      throw Refusal("the serialized state is cut short");
    return n;
  }
  std::string text() {
    const std::uint64_t n = count(1);
    std::string s(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    return s;
  }
  std::vector<Held> held(std::size_t values, Kind (*kind_of)(std::uint64_t)) {
    std::vector<Held> list(count(48));
    for (Held& h : list) {
      h.value = u64();
      if (h.value >= values) throw Refusal("the serialized state names an unknown value");
      h.kind = kind_of(u64());
      h.d = f64();
      h.i = static_cast<std::int32_t>(static_cast<std::uint32_t>(u64()));
      h.null = u64() != 0;
      h.text = text();
    }
    return list;
  }
  void need(std::size_t n) const {
    if (static_cast<std::size_t>(end_ - p_) < n) throw Refusal("the serialized state is cut short");
  }
  bool done() const { return p_ == end_; }
  const unsigned char* p_;
  const unsigned char* end_;
};

Kind kind_of(std::uint64_t k) {
  if (k > static_cast<std::uint64_t>(Kind::Text))
    throw Refusal("the serialized state is malformed");
  return static_cast<Kind>(k);
}

}  // namespace

std::vector<unsigned char> Instance::bytes_of(const SavedState& s) const {
  Writer w;
  w.out.insert(w.out.end(), kMagic, kMagic + 8);
  w.text(token_);
  w.u64(pristine_->size());
  w.u64(s.memory.size());
  for (const Snapshot::Word& word : s.memory) {
    w.u64(word.offset);
    w.u64(word.bits);
  }
  w.u64(static_cast<std::uint64_t>(s.mode));
  w.f64(s.start_time);
  w.u64(s.stop_time ? 1 : 0);
  w.f64(s.stop_time.value_or(0.0));
  w.f64(s.time);
  w.u64(static_cast<std::uint64_t>(s.day));
  w.u64((s.use_scenario_inputs ? 1 : 0) | (s.dirty ? 2 : 0));
  w.held(s.overrides);
  w.held(s.driven);
  w.held(s.texts);
  const std::uint32_t crc = crc32c(w.out.data(), w.out.size());
  for (int i = 0; i < 4; ++i) w.out.push_back(static_cast<unsigned char>(crc >> (8 * i)));
  return std::move(w.out);
}

SavedState* Instance::read_state(const unsigned char* bytes, std::size_t size) const {
  if (size > 0 && bytes == nullptr) throw Refusal("the serialized state is a null array");
  if (size < 12 || std::memcmp(bytes, kMagic, 8) != 0)
    throw Refusal("the bytes are not a serialized state of this FMU");
  size -= 4;
  std::uint32_t stored = 0;
  for (int i = 0; i < 4; ++i) stored |= static_cast<std::uint32_t>(bytes[size + i]) << (8 * i);
  if (crc32c(bytes, size) != stored)
    throw Refusal("the serialized state is corrupt (its CRC-32C checksum does not match)");
  Reader r(bytes, size);
  r.p_ += 8;
  const std::string token = r.text();
  if (token != token_)
    throw Refusal("the serialized state is of another FMU build (token " + quote_input(token) +
                  ")");
  if (r.u64() != pristine_->size())
    throw Refusal("the serialized state is of another model module");
  auto s = std::make_unique<SavedState>();
  s->memory.resize(r.count(16));
  for (Snapshot::Word& word : s->memory) {
    word.offset = r.u64();
    word.bits = r.u64();
  }
  const std::uint64_t mode = r.u64();
  if (mode > static_cast<std::uint64_t>(Mode::Error))
    throw Refusal("the serialized state is malformed");
  s->mode = static_cast<Mode>(mode);
  s->start_time = r.f64();
  const bool stop_defined = r.u64() != 0;
  const double stop = r.f64();
  if (stop_defined) s->stop_time = stop;
  s->time = r.f64();
  s->day = static_cast<long long>(r.u64());
  const std::uint64_t flags = r.u64();
  s->use_scenario_inputs = (flags & 1) != 0;
  s->dirty = (flags & 2) != 0;
  const std::size_t n = description_.values().size();
  s->overrides = r.held(n, kind_of);
  s->driven = r.held(n, kind_of);
  s->texts = r.held(n, kind_of);
  if (!r.done()) throw Refusal("the serialized state has bytes after its end");
  if (s->day < 0 || !std::isfinite(s->time)) throw Refusal("the serialized state is malformed");
  for (const auto* list : {&s->overrides, &s->driven, &s->texts})
    for (const Held& h : *list)
      if (description_.values()[h.value].kind != h.kind)
        throw Refusal("the serialized state is malformed");
  return s.release();
}

std::string binary_directory() {
  static const int anchor = 0;
  std::string dir = module_directory(&anchor);
  if (dir.empty()) throw Refusal("cannot find the FMU binary's own file");
  return dir;
}

std::string resources_beside(const std::string& binary_dir) {
  return path_join(path_join(path_join(binary_dir, ".."), ".."), "resources");
}

std::optional<std::string> path_of_file_uri(const char* uri) {
  if (uri == nullptr) return std::nullopt;
  std::string s = uri;
  if (s.rfind("file:", 0) != 0) return std::nullopt;
  s.erase(0, 5);
  if (s.rfind("//", 0) == 0) {
    // An authority: empty or localhost.
    const auto slash = s.find('/', 2);
    const std::string host =
        s.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
    if (!host.empty() && host != "localhost") return std::nullopt;
    s = slash == std::string::npos ? "" : s.substr(slash);
  }
  std::string path;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      path += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      path += s[i];
    }
  }
#if defined(_WIN32)
  // "/C:/dir" names the drive's directory.
  if (path.size() >= 3 && path[0] == '/' && path[2] == ':') path.erase(0, 1);
#endif
  if (path.empty()) return std::nullopt;
  return path;
}

void Instance::no_such_type(const std::uint32_t vr[], std::size_t n, const char* type) const {
  if (n == 0) return;
  if (vr == nullptr) throw Refusal("the value references are a null array");
  variable(vr[0], std::nullopt, type);  // refuses: no variable is of this type
}

void Instance::unsupported(const std::string& what) {
  throw Refusal("this FMU does not provide " + what);
}

}  // namespace tds::fmu
