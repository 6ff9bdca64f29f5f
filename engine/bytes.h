// Binary records of fixed-width fields, as the batch's workers and the FMU's
// saved states exchange them: integers little-endian whatever the target,
// doubles as the little-endian bytes of their bits, texts as a 64-bit length
// and the bytes. A reader checks every field against what is left, so that
// input cut short, or with a length that runs past its end, is refused
// rather than read beyond it.
#ifndef TDS_ENGINE_BYTES_H
#define TDS_ENGINE_BYTES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace tds {

// Appends fields to a buffer of bytes.
class ByteWriter {
 public:
  void u8(std::uint8_t x) { out_ += static_cast<char>(x); }
  void u32(std::uint32_t x);
  void u64(std::uint64_t x);
  void i32(std::int32_t x) { u32(static_cast<std::uint32_t>(x)); }
  void i64(std::int64_t x) { u64(static_cast<std::uint64_t>(x)); }
  void f64(double d);
  // A text: its length (u64), then its bytes.
  void text(std::string_view s);
  // Bytes as they are, without a length.
  void raw(std::string_view s) { out_.append(s); }

  const std::string& bytes() const { return out_; }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
};

// Reads fields off the front of a buffer. Each read is false, and takes
// nothing, when the rest is too short for it.
class ByteReader {
 public:
  explicit ByteReader(std::string_view in) : in_(in) {}
  [[nodiscard]] bool u8(std::uint8_t& x);
  [[nodiscard]] bool u32(std::uint32_t& x);
  [[nodiscard]] bool u64(std::uint64_t& x);
  [[nodiscard]] bool i32(std::int32_t& x);
  [[nodiscard]] bool i64(std::int64_t& x);
  [[nodiscard]] bool f64(double& d);
  // A count (u64) of items of at least `each` bytes (each > 0) that the rest
  // can hold, so that a count read from damaged bytes never sizes anything
  // beyond them.
  [[nodiscard]] bool count(std::size_t& n, std::size_t each);
  // A text as ByteWriter::text writes it.
  [[nodiscard]] bool text(std::string& s);
  // The next n bytes as they are.
  [[nodiscard]] bool raw(std::size_t n, std::string_view& s);

  std::size_t left() const { return in_.size() - at_; }
  bool done() const { return at_ == in_.size(); }

 private:
  std::string_view in_;
  std::size_t at_ = 0;
};

}  // namespace tds

#endif  // TDS_ENGINE_BYTES_H
