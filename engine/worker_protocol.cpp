#include "worker_protocol.h"

#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "bytes.h"

namespace tds::wire {

namespace {

// Whether a request names a table of its own: none, one the worker has, or
// one sent with it.
constexpr std::uint8_t kNoTable = 0, kTableKept = 1, kTableSent = 2;

// A case's and an outcome's fields on the byte codec: cells by their kind,
// texts with a byte that says whether there is one, lists by their count.
class Writer : public ByteWriter {
 public:
  void count(std::size_t n) { u64(n); }
  void text_or_null(const char* t) {
    u8(t != nullptr ? 1 : 0);
    if (t != nullptr) text(t);
  }
  void cell(const Cell& c) {
    u8(static_cast<std::uint8_t>(c.kind));
    switch (c.kind) {
      case Kind::Double:
        f64(c.d);
        break;
      case Kind::Int:
        i32(c.i);
        break;
      case Kind::Text:
        text_or_null(c.t);
        break;
    }
  }
  void numbers(const std::vector<long long>& v) {
    count(v.size());
    for (const long long x : v) i64(x);
  }
  void numbers(const std::vector<double>& v) {
    count(v.size());
    for (const double x : v) f64(x);
  }
  void cells(const std::vector<Cell>& v) {
    count(v.size());
    for (const Cell& c : v) cell(c);
  }
};

// Reads what Writer wrote; every read checks that the bytes are there.
class Reader : public ByteReader {
 public:
  using ByteReader::ByteReader;
  bool text_or_null(const char*& t, std::deque<std::string>& texts) {
    std::uint8_t present = 0;
    if (!u8(present)) return false;
    t = nullptr;
    if (present == 0) return true;
    std::string s;
    if (!text(s)) return false;
    texts.push_back(std::move(s));
    t = texts.back().c_str();
    return true;
  }
  bool cell(Cell& c, std::deque<std::string>& texts) {
    std::uint8_t kind = 0;
    if (!u8(kind)) return false;
    c = Cell{};
    c.kind = static_cast<Kind>(kind);
    switch (c.kind) {
      case Kind::Double:
        return f64(c.d);
      case Kind::Int:
        return i32(c.i);
      case Kind::Text:
        return text_or_null(c.t, texts);
    }
    return false;
  }
  bool numbers(std::vector<long long>& v) {
    std::size_t n = 0;
    if (!count(n, 8)) return false;
    v.resize(n);
    for (long long& x : v) {
      std::int64_t i = 0;
      if (!i64(i)) return false;
      x = i;
    }
    return true;
  }
  bool numbers(std::vector<double>& v) {
    std::size_t n = 0;
    if (!count(n, 8)) return false;
    v.resize(n);
    for (double& x : v)
      if (!f64(x)) return false;
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

std::string encode_request(Request kind, const BatchCase& c, std::uint64_t table, bool with_table) {
  Writer w;
  w.u8(static_cast<std::uint8_t>(kind));
  w.text(c.label);
  w.i64(c.days);
  w.count(c.values.size());
  for (const auto& [value, cell] : c.values) {
    w.count(value);
    w.cell(cell);
  }
  w.count(c.scales.size());
  for (const auto& [value, factor] : c.scales) {
    w.count(value);
    w.f64(factor);
  }
  if (!c.input) {
    w.u8(kNoTable);
  } else {
    w.u8(with_table ? kTableSent : kTableKept);
    w.u64(table);
    if (with_table) c.input->encode(w);
  }
  return frame(w.bytes());
}

bool decode_request(std::string_view payload, Request& kind, BatchCase& c,
                    std::deque<std::string>& texts, const Description& d, Tables& tables) {
  Reader r(payload);
  std::uint8_t k = 0;
  std::int64_t days = 0;
  std::size_t n = 0;
  if (!r.u8(k) || !r.text(c.label) || !r.i64(days) || !r.count(n, 9)) return false;
  kind = static_cast<Request>(k);
  if (kind != Request::Run && kind != Request::RunOnce && kind != Request::Check) return false;
  c.days = days;
  c.values.resize(n);
  for (auto& [value, cell] : c.values) {
    std::uint64_t v = 0;
    if (!r.u64(v) || !r.cell(cell, texts)) return false;
    value = static_cast<std::size_t>(v);
  }
  if (!r.count(n, 16)) return false;
  c.scales.resize(n);
  for (auto& [value, factor] : c.scales) {
    std::uint64_t v = 0;
    if (!r.u64(v) || !r.f64(factor)) return false;
    value = static_cast<std::size_t>(v);
  }
  std::uint8_t has = 0;
  std::uint64_t id = 0;
  if (!r.u8(has)) return false;
  c.input.reset();
  if (has == kNoTable) return r.done();
  if ((has != kTableKept && has != kTableSent) || !r.u64(id)) return false;
  if (has == kTableKept) {
    const auto it = tables.find(id);
    if (it == tables.end() || !r.done()) return false;
    c.input = it->second;
    return true;
  }
  auto table = std::make_shared<DailyInputs>();
  if (!DailyInputs::decode(r, d, *table) || !r.done()) return false;
  c.input = table;
  tables[id] = std::move(table);
  return true;
}

std::string encode_outcome(const CaseOutcome& o) {
  Writer w;
  w.u8(static_cast<std::uint8_t>(o.status));
  if (o.status != CaseOutcome::Status::Ok) {
    w.raw(o.reason);
    return w.take();
  }
  const RunResult& f = o.figures;
  w.i64(f.days);
  w.numbers(f.counted);
  w.numbers(f.shortfall_each);
  w.i64(f.shortfall_days);
  w.cells(f.levels);
  w.cells(f.finals);
  w.count(f.model_nodes_visited);
  w.f64(f.seconds);
  w.cells(o.daily);
  w.numbers(o.reduced);
  return w.take();
}

bool decode_outcome(std::string_view payload, CaseOutcome& o) {
  Reader r(payload);
  std::uint8_t status = 0;
  if (!r.u8(status) || status > static_cast<std::uint8_t>(CaseOutcome::Status::Crashed))
    return false;
  o.status = static_cast<CaseOutcome::Status>(status);
  if (o.status != CaseOutcome::Status::Ok) {
    o.reason = std::string(payload.substr(1));
    return true;
  }
  RunResult& f = o.figures;
  std::int64_t days = 0, shortfall_days = 0;
  std::uint64_t visited = 0;
  if (!r.i64(days) || !r.numbers(f.counted) || !r.numbers(f.shortfall_each) ||
      !r.i64(shortfall_days) || !r.cells(f.levels, o.texts) || !r.cells(f.finals, o.texts) ||
      !r.u64(visited) || !r.f64(f.seconds) || !r.cells(o.daily, o.texts) || !r.numbers(o.reduced))
    return false;
  f.days = days;
  f.shortfall_days = shortfall_days;
  f.model_nodes_visited = static_cast<std::size_t>(visited);
  return r.done();
}

}  // namespace tds::wire
