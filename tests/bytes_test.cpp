// The byte codec that the batch's workers and the FMU's saved states share:
// the exact little-endian layout of every field, and input that is cut
// short, that claims more than it holds, or that goes on past its end.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "bytes.h"

namespace {

using tds::ByteReader;
using tds::ByteWriter;

// One field of each kind, as the writer lays them out.
std::string record() {
  ByteWriter w;
  w.u8(0xA5);
  w.u32(0x01020304u);
  w.i32(-2);
  w.u64(0x0102030405060708u);
  w.i64(-1);
  w.f64(-0.0);
  w.text("ab");
  w.raw("xy");
  return w.take();
}

// Reads record() back; false at the first field that cannot be read.
bool read_record(std::string_view in, bool& all_equal) {
  ByteReader r(in);
  std::uint8_t a = 0;
  std::uint32_t b = 0;
  std::int32_t c = 0;
  std::uint64_t d = 0;
  std::int64_t e = 0;
  double f = 1.0;
  std::string g;
  std::string_view h;
  if (!r.u8(a) || !r.u32(b) || !r.i32(c) || !r.u64(d) || !r.i64(e) || !r.f64(f) || !r.text(g) ||
      !r.raw(2, h))
    return false;
  all_equal = a == 0xA5 && b == 0x01020304u && c == -2 && d == 0x0102030405060708u && e == -1 &&
              f == 0.0 && std::signbit(f) && g == "ab" && h == "xy" && r.done();
  return true;
}

TEST(ByteCodec, LaysOutFieldsLittleEndian) {
  const std::string expected(
      "\xA5"
      "\x04\x03\x02\x01"
      "\xFE\xFF\xFF\xFF"
      "\x08\x07\x06\x05\x04\x03\x02\x01"
      "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"
      "\x00\x00\x00\x00\x00\x00\x00\x80"
      "\x02\x00\x00\x00\x00\x00\x00\x00"
      "ab"
      "xy",
      1 + 4 + 4 + 8 + 8 + 8 + 8 + 2 + 2);
  EXPECT_EQ(record(), expected);
  bool all_equal = false;
  ASSERT_TRUE(read_record(record(), all_equal));
  EXPECT_TRUE(all_equal);
}

// Cut anywhere, the record is refused rather than read beyond its end; one
// byte more and the reader is not done.
TEST(ByteCodec, RefusesInputCutShortOrOverlong) {
  const std::string full = record();
  for (std::size_t n = 0; n < full.size(); ++n) {
    bool all_equal = false;
    EXPECT_FALSE(read_record(std::string_view(full).substr(0, n), all_equal)) << n;
  }
  bool all_equal = true;
  ASSERT_TRUE(read_record(full + '\0', all_equal));
  EXPECT_FALSE(all_equal);
}

// A count or a text's length beyond what is left is refused, however large
// (no product that could wrap around), and takes nothing: the reader can
// still read what is there.
TEST(ByteCodec, RefusesLengthsPastTheEnd) {
  struct Case {
    std::uint64_t count;
    std::size_t each;
    bool fits;
  };
  const Case cases[] = {
      {0, 8, true},
      {2, 8, true},
      {3, 8, false},
      {16, 1, true},
      {17, 1, false},
      {std::numeric_limits<std::uint64_t>::max(), 1, false},
      {std::uint64_t{1} << 61, 8, false},  // 2^61 * 8 wraps to 0 in 64 bits
  };
  for (const Case& k : cases) {
    ByteWriter w;
    w.u64(k.count);
    w.raw(std::string(16, 'z'));
    const std::string in = w.take();
    ByteReader r(in);
    std::size_t n = 99;
    EXPECT_EQ(r.count(n, k.each), k.fits) << k.count << " of " << k.each;
    if (k.fits) {
      EXPECT_EQ(n, k.count);
    } else {
      EXPECT_EQ(r.left(), in.size()) << k.count;
      std::uint64_t again = 0;
      ASSERT_TRUE(r.u64(again));
      EXPECT_EQ(again, k.count);
    }
    ByteReader t(in);
    std::string text;
    const bool text_fits = k.count <= 16;
    EXPECT_EQ(t.text(text), text_fits) << k.count;
    EXPECT_EQ(t.left(), text_fits ? 16 - k.count : in.size()) << k.count;
  }
}

}  // namespace
