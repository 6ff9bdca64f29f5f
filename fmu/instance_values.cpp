// Values by reference: the variable a reference names, its value read, and
// a value set as the variable's causality and the instance's mode allow.
#include <cstdint>
#include <optional>
#include <string>

#include "instance.h"

namespace tds::fmu {

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

void Instance::no_such_type(const std::uint32_t vr[], std::size_t n, const char* type) const {
  if (n == 0) return;
  if (vr == nullptr) throw Refusal("the value references are a null array");
  variable(vr[0], std::nullopt, type);  // refuses: no variable is of this type
}

}  // namespace tds::fmu
