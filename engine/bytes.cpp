#include "bytes.h"

#include <cstring>

namespace tds {

namespace {

template <std::size_t N, class U>
void put(std::string& out, U x) {
  char b[N];
  for (std::size_t k = 0; k < N; ++k) b[k] = static_cast<char>((x >> (8 * k)) & 0xFFu);
  out.append(b, N);
}

template <std::size_t N, class U>
U get(const char* p) {
  U x = 0;
  for (std::size_t k = 0; k < N; ++k)
    x |= static_cast<U>(static_cast<unsigned char>(p[k])) << (8 * k);
  return x;
}

}  // namespace

void ByteWriter::u32(std::uint32_t x) { put<4>(out_, x); }

void ByteWriter::u64(std::uint64_t x) { put<8>(out_, x); }

void ByteWriter::f64(double d) {
  std::uint64_t x = 0;
  std::memcpy(&x, &d, sizeof x);
  u64(x);
}

void ByteWriter::text(std::string_view s) {
  u64(s.size());
  out_.append(s);
}

bool ByteReader::u8(std::uint8_t& x) {
  if (left() < 1) return false;
  x = static_cast<std::uint8_t>(in_[at_]);
  at_ += 1;
  return true;
}

bool ByteReader::u32(std::uint32_t& x) {
  if (left() < 4) return false;
  x = get<4, std::uint32_t>(in_.data() + at_);
  at_ += 4;
  return true;
}

bool ByteReader::u64(std::uint64_t& x) {
  if (left() < 8) return false;
  x = get<8, std::uint64_t>(in_.data() + at_);
  at_ += 8;
  return true;
}

bool ByteReader::i32(std::int32_t& x) {
  std::uint32_t u = 0;
  if (!u32(u)) return false;
  x = static_cast<std::int32_t>(u);
  return true;
}

bool ByteReader::i64(std::int64_t& x) {
  std::uint64_t u = 0;
  if (!u64(u)) return false;
  x = static_cast<std::int64_t>(u);
  return true;
}

bool ByteReader::f64(double& d) {
  std::uint64_t x = 0;
  if (!u64(x)) return false;
  std::memcpy(&d, &x, sizeof d);
  return true;
}

bool ByteReader::count(std::size_t& n, std::size_t each) {
  const std::size_t at = at_;
  std::uint64_t v = 0;
  if (!u64(v)) return false;
  if (v > left() / each) {
    at_ = at;
    return false;
  }
  n = static_cast<std::size_t>(v);
  return true;
}

bool ByteReader::text(std::string& s) {
  std::size_t n = 0;
  std::string_view bytes;
  if (!count(n, 1) || !raw(n, bytes)) return false;  // raw() cannot fail after count()
  s.assign(bytes);
  return true;
}

bool ByteReader::raw(std::size_t n, std::string_view& s) {
  if (left() < n) return false;
  s = in_.substr(at_, n);
  at_ += n;
  return true;
}

}  // namespace tds
