// A saved state as bytes, and back: the form an importer stores.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bytes.h"
#include "instance.h"
#include "instance_impl.h"

namespace tds::fmu {

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

std::uint32_t crc32c(std::string_view bytes) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (const char b : bytes)
    c = kCrc32c.entry[(c ^ static_cast<unsigned char>(b)) & 0xFFu] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

void write_held(ByteWriter& w, const std::vector<Held>& list) {
  w.u64(list.size());
  for (const Held& h : list) {
    w.u64(h.value);
    w.u64(static_cast<std::uint64_t>(h.kind));
    w.f64(h.d);
    w.u64(static_cast<std::uint32_t>(h.i));
    w.u64(h.null ? 1 : 0);
    w.text(h.text);
  }
}

// The codec's reader for a state: what is cut short is refused.
class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  std::uint64_t u64() {
    std::uint64_t x = 0;
    if (!in_.u64(x)) cut_short();
    return x;
  }
  double f64() {
    double d = 0.0;
    if (!in_.f64(d)) cut_short();
    return d;
  }
  std::size_t count(std::size_t each) {
    std::size_t n = 0;
    if (!in_.count(n, each)) cut_short();
    return n;
  }
  std::string text() {
    std::string s;
    if (!in_.text(s)) cut_short();
    return s;
  }
  void skip(std::size_t n) {
    std::string_view skipped;
    if (!in_.raw(n, skipped)) cut_short();
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
  bool done() const { return in_.done(); }

 private:
  [[noreturn]] static void cut_short() { throw Refusal("the serialized state is cut short"); }
  ByteReader in_;
};

Kind kind_of(std::uint64_t k) {
  if (k > static_cast<std::uint64_t>(Kind::Text))
    throw Refusal("the serialized state is malformed");
  return static_cast<Kind>(k);
}

}  // namespace

std::string Instance::bytes_of(const SavedState& s) const {
  ByteWriter w;
  w.raw(std::string_view(kMagic, sizeof kMagic));
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
  write_held(w, s.overrides);
  write_held(w, s.driven);
  write_held(w, s.texts);
  w.u32(crc32c(w.bytes()));
  return w.take();
}

SavedState* Instance::read_state(const unsigned char* bytes, std::size_t size) const {
  if (size > 0 && bytes == nullptr) throw Refusal("the serialized state is a null array");
  if (size < 12 || std::memcmp(bytes, kMagic, sizeof kMagic) != 0)
    throw Refusal("the bytes are not a serialized state of this FMU");
  const std::string_view all(reinterpret_cast<const char*>(bytes), size);
  const std::string_view fields = all.substr(0, size - 4);
  ByteReader tail(all.substr(size - 4));
  std::uint32_t stored = 0;
  if (!tail.u32(stored) || crc32c(fields) != stored)
    throw Refusal("the serialized state is corrupt (its CRC-32C checksum does not match)");
  Reader r(fields);
  r.skip(sizeof kMagic);
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

}  // namespace tds::fmu
