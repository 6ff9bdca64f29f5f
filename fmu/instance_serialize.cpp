// A saved state as bytes, and back: the form an importer stores.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

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

}  // namespace tds::fmu
