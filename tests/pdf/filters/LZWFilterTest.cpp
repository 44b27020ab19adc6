// LZW decoding, checked against the small test encoder (early change, codes
// of 9 to 12 bits, a clear code when the table fills or earlier) and against
// hand-made code sequences for the end cases and the errors.
#include <gtest/gtest.h>

#include "pdf/filters/vxFilters.h"
#include "pdf/util/vxExceptions.h"
#include "tests/pdf/filters/FilterTestSupport.h"
#include "tests/pdf/filters/LzwTestEncoder.h"

using namespace vx;
using vxtest::Codes9;
using vxtest::Encoded;
using vxtest::LzwEncode;
using vxtest::Random;
using vxtest::WidthFor;

namespace {

std::string Decode(const std::string& s) { return TvxLZWFilter().DecodeString(s); }

std::string DecodeError(const std::string& s) { return vxtest::DecodeError<TvxLZWFilter>(s); }

}  // namespace

TEST(LZW, ReproducesDataWhoseTableFillsAndIsCleared) {
  Random rnd(51);
  std::string input = vxtest::WordSoup(rnd, 400000) + vxtest::RandomBytes(rnd, 30000);
  for (int clearAt : {4096, 4094}) {  // when full, and one earlier as some encoders do
    Encoded e = LzwEncode(input, clearAt);
    ASSERT_EQ(e.maxWidth, 12);
    ASSERT_GE(e.clears, 3);
    EXPECT_EQ(Decode(e.bytes), input) << "clear at " << clearAt;
  }
}

TEST(LZW, ReproducesDataWithEarlyClearCodes) {
  Random rnd(52);
  std::string input = vxtest::WordSoup(rnd, 60000);
  for (int clearAt : {300, 700, 1500, 3000}) {  // at 9, 10, 11 and 12 bits
    Encoded e = LzwEncode(input, clearAt);
    ASSERT_GE(e.clears, 2);
    EXPECT_EQ(e.maxWidth, WidthFor(clearAt));
    EXPECT_EQ(Decode(e.bytes), input) << "clear at " << clearAt;
  }
}

TEST(LZW, RepeatedBytesUseCodesNotYetInTheTable) {
  // Long runs make the encoder send each code right after creating it.
  for (size_t n : {1, 2, 3, 10, 1000, 100000}) {
    std::string input(n, 'a');
    EXPECT_EQ(Decode(LzwEncode(input).bytes), input) << n;
  }
  EXPECT_EQ(Decode(LzwEncode("").bytes), "");
}

TEST(LZW, KnownCodeSequence) {
  // 256 45 258 258 65 259 66 257 in 9-bit codes.
  EXPECT_EQ(Decode(vxtest::Bytes({0x80, 0x0B, 0x60, 0x50, 0x22, 0x0C, 0x0C, 0x85, 0x01})),
            "-----A---B");
}

TEST(LZW, StopsAtEndOfDataCode) {
  std::string e = LzwEncode("hello hello hello").bytes;
  EXPECT_EQ(Decode(e + "\xFF\xFF\x00 trailing bytes"), "hello hello hello");
  EXPECT_EQ(Decode(Codes9({256, 'A', 257, 'B', 'C'})), "A");
}

TEST(LZW, LastCodeInTheFinalByteIsOutput) {
  // No end-of-data code: 18 bits, the final code ends inside the last byte.
  EXPECT_EQ(Decode(Codes9({'A', 'B'})), "AB");
  // Eight 9-bit codes fill nine bytes exactly.
  EXPECT_EQ(Decode(Codes9({256, 'a', 'b', 'c', 'd', 'e', 'f', 'g'})), "abcdefg");
  // Left-over padding bits shorter than a code are ignored.
  EXPECT_EQ(Decode(Codes9({'x'})), "x");
  EXPECT_EQ(Decode(""), "");
}

TEST(LZW, CodesBeyondTheTableFailCleanly) {
  EXPECT_EQ(DecodeError(Codes9({258})), "LZW code out of range (258)");
  EXPECT_EQ(DecodeError(Codes9({256, 300, 'a'})), "LZW code out of range (300)");
  // After a clear the previous code (258) lies beyond the new table.
  EXPECT_EQ(DecodeError(Codes9({'A', 'B', 258, 256, 259})), "LZW code out of range (259)");
  // The same with a previous code still inside the table decodes.
  EXPECT_EQ(Decode(Codes9({'A', 'B', 256, 258, 257})), "ABBB");
}

TEST(LZW, TableFullWithoutClearCodeStaysSafe) {
  Random rnd(53);
  std::string input = vxtest::WordSoup(rnd, 300000);
  Encoded e = LzwEncode(input, 4096, /*freezeWhenFull=*/true);
  ASSERT_EQ(e.clears, 0);
  ASSERT_GT(e.bytesWhenFull, 1000u);
  try {
    std::string out = Decode(e.bytes);
    // Everything up to the reset is right; what follows is not defined.
    EXPECT_EQ(out.substr(0, e.bytesWhenFull / 2), input.substr(0, e.bytesWhenFull / 2));
  } catch (const TvxException& e) {
    EXPECT_EQ(std::string(e.what()).rfind("LZW code out of range (", 0), 0u) << e.what();
  }
}

TEST(LZW, OutputLimit) {
  std::string input(5000, 'a');
  std::string encoded = LzwEncode(input).bytes;
  TvxLZWFilter lzw;
  lzw.SetOutputLimit(1000);
  try {
    lzw.DecodeString(encoded);
    ADD_FAILURE() << "no exception";
  } catch (const TvxException& e) {
    EXPECT_STREQ(e.what(), "Decoded stream data exceeds the limit of 1000 bytes");
  }
  lzw.SetOutputLimit(5000);
  EXPECT_EQ(lzw.DecodeString(encoded), input);
}

TEST(LZW, OneFilterDecodesSeveralStreams) {
  Random rnd(54);
  std::string a = vxtest::WordSoup(rnd, 20000);
  std::string b = vxtest::RandomBytes(rnd, 20000);
  TvxLZWFilter lzw;
  EXPECT_EQ(lzw.DecodeString(LzwEncode(a).bytes), a);
  EXPECT_EQ(lzw.DecodeString(LzwEncode(b).bytes), b);
  TvxMemoryStream source(LzwEncode(a).bytes);
  EXPECT_EQ(lzw.DecodeStream(source)->Bytes(), a);
}
