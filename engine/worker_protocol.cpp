#include "worker_protocol.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace tds::wire {

namespace {

// Appends fixed-size numbers in little-endian order (both targets are
// little-endian, so their bytes as they stand).
class Writer {
 public:
  template <class T>
  void put(T v) {
    static_assert(std::is_trivially_copyable_v<T>);
    char bytes[sizeof(T)];
    std::memcpy(bytes, &v, sizeof(T));
    out.append(bytes, sizeof(T));
  }
  void count(std::size_t n) { put(static_cast<std::uint64_t>(n)); }
  void text(const char* t) {
    put(static_cast<std::uint8_t>(t != nullptr));
    if (t == nullptr) return;
    const std::size_t n = std::strlen(t);
    count(n);
    out.append(t, n);
  }
  void cell(const Cell& c) {
    put(static_cast<std::uint8_t>(c.kind));
    switch (c.kind) {
      case Kind::Double:
        put(c.d);
        break;
      case Kind::Int:
        put(c.i);
        break;
      case Kind::Text:
        text(c.t);
        break;
    }
  }
  template <class T>
  void numbers(const std::vector<T>& v) {
    count(v.size());
    for (const T& x : v) put(x);
  }
  void cells(const std::vector<Cell>& v) {
    count(v.size());
    for (const Cell& c : v) cell(c);
  }
  std::string out;
};

// Reads what Writer wrote; every read checks that the bytes are there.
class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  template <class T>
  bool get(T& v) {
    if (in_.size() - at_ < sizeof(T)) return false;
    std::memcpy(&v, in_.data() + at_, sizeof(T));
    at_ += sizeof(T);
    return true;
  }
  // A count of items of at least `each` bytes that the rest can hold.
  bool count(std::size_t& n, std::size_t each) {
    std::uint64_t v = 0;
    if (!get(v) || v > (in_.size() - at_) / each) return false;
    n = static_cast<std::size_t>(v);
    return true;
  }
  bool text(std::string& t) {
    std::size_t n = 0;
    if (!count(n, 1)) return false;
    t.assign(in_.substr(at_, n));
    at_ += n;
    return true;
  }
  bool text(const char*& t, std::deque<std::string>& texts) {
    std::uint8_t present = 0;
    if (!get(present)) return false;
    t = nullptr;
    if (present == 0) return true;
    std::size_t n = 0;
    if (!count(n, 1)) return false;
    texts.emplace_back(in_.substr(at_, n));
    at_ += n;
    t = texts.back().c_str();
    return true;
  }
  bool cell(Cell& c, std::deque<std::string>& texts) {
    std::uint8_t kind = 0;
    if (!get(kind)) return false;
    c = Cell{};
    c.kind = static_cast<Kind>(kind);
    switch (c.kind) {
      case Kind::Double:
        return get(c.d);
      case Kind::Int:
        return get(c.i);
      case Kind::Text:
        return text(c.t, texts);
    }
    return false;
  }
  template <class T>
  bool numbers(std::vector<T>& v) {
    std::size_t n = 0;
    if (!count(n, sizeof(T))) return false;
    v.resize(n);
    for (T& x : v)
      if (!get(x)) return false;
    return true;
  }
  bool cells(std::vector<Cell>& v, std::deque<std::string>& texts) {
    std::size_t n = 0;
    if (!count(n, 2)) return false;
    v.resize(n);
    for (Cell& c : v)
      if (!cell(c, texts)) return false;
    return true;
  }
  bool done() const { return at_ == in_.size(); }

 private:
  std::string_view in_;
  std::size_t at_ = 0;
};

}  // namespace

std::string frame(std::string_view payload) {
  std::string out = std::to_string(payload.size());
  out += '\n';
  out.append(payload);
  return out;
}

std::optional<std::string> next_frame(std::string& buffer) {
  const auto eol = buffer.find('\n');
  if (eol == std::string::npos) return std::nullopt;
  const std::size_t size = std::strtoull(buffer.c_str(), nullptr, 10);
  if (buffer.size() - (eol + 1) < size) return std::nullopt;
  std::string payload = buffer.substr(eol + 1, size);
  buffer.erase(0, eol + 1 + size);
  return payload;
}

std::string encode_request(Request kind, const BatchCase& c) {
  Writer w;
  w.put(static_cast<char>(kind));
  w.count(c.label.size());
  w.out += c.label;
  w.put(static_cast<std::int64_t>(c.days));
  w.count(c.values.size());
  for (const auto& [value, cell] : c.values) {
    w.count(value);
    w.cell(cell);
  }
  w.count(c.scales.size());
  for (const auto& [value, factor] : c.scales) {
    w.count(value);
    w.put(factor);
  }
  return frame(w.out);
}

bool decode_request(std::string_view payload, Request& kind, BatchCase& c,
                    std::deque<std::string>& texts) {
  Reader r(payload);
  char k = 0;
  std::int64_t days = 0;
  std::size_t n = 0;
  if (!r.get(k) || !r.text(c.label) || !r.get(days) || !r.count(n, 9)) return false;
  kind = static_cast<Request>(k);
  if (kind != Request::Run && kind != Request::RunOnce && kind != Request::Check) return false;
  c.days = days;
  c.values.resize(n);
  for (auto& [value, cell] : c.values) {
    std::uint64_t v = 0;
    if (!r.get(v) || !r.cell(cell, texts)) return false;
    value = static_cast<std::size_t>(v);
  }
  if (!r.count(n, 16)) return false;
  c.scales.resize(n);
  for (auto& [value, factor] : c.scales) {
    std::uint64_t v = 0;
    if (!r.get(v) || !r.get(factor)) return false;
    value = static_cast<std::size_t>(v);
  }
  return r.done();
}

std::string encode_outcome(const CaseOutcome& o) {
  Writer w;
  w.put(static_cast<std::uint8_t>(o.status));
  if (o.status != CaseOutcome::Status::Ok) {
    w.out += o.reason;
    return w.out;
  }
  const RunResult& f = o.figures;
  w.put(static_cast<std::int64_t>(f.days));
  w.numbers(f.counted);
  w.numbers(f.shortfall_each);
  w.put(static_cast<std::int64_t>(f.shortfall_days));
  w.cells(f.levels);
  w.cells(f.finals);
  w.count(f.model_nodes_visited);
  w.put(f.seconds);
  w.cells(o.daily);
  w.numbers(o.reduced);
  return w.out;
}

bool decode_outcome(std::string_view payload, CaseOutcome& o) {
  Reader r(payload);
  std::uint8_t status = 0;
  if (!r.get(status) || status > static_cast<std::uint8_t>(CaseOutcome::Status::Crashed))
    return false;
  o.status = static_cast<CaseOutcome::Status>(status);
  if (o.status != CaseOutcome::Status::Ok) {
    o.reason = std::string(payload.substr(1));
    return true;
  }
  RunResult& f = o.figures;
  std::int64_t days = 0, shortfall_days = 0;
  std::uint64_t visited = 0;
  if (!r.get(days) || !r.numbers(f.counted) || !r.numbers(f.shortfall_each) ||
      !r.get(shortfall_days) || !r.cells(f.levels, o.texts) || !r.cells(f.finals, o.texts) ||
      !r.get(visited) || !r.get(f.seconds) || !r.cells(o.daily, o.texts) || !r.numbers(o.reduced))
    return false;
  f.days = days;
  f.shortfall_days = shortfall_days;
  f.model_nodes_visited = static_cast<std::size_t>(visited);
  return r.done();
}

}  // namespace tds::wire
