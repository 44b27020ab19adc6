// RunLength: the exact bytes of the encoder's choices, the decoder's errors,
// and round trips over data with runs of every length.
#include <gtest/gtest.h>

#include "pdf/filters/vxFilters.h"
#include "pdf/util/vxExceptions.h"
#include "tests/pdf/filters/FilterTestSupport.h"

using namespace vx;
using vxtest::Bytes;
using vxtest::Random;

namespace {

std::string Encode(const std::string& s) { return TvxRLEFilter().EncodeString(s); }
std::string Decode(const std::string& s) { return TvxRLEFilter().DecodeString(s); }

std::string DecodeError(const std::string& s) { return vxtest::DecodeError<TvxRLEFilter>(s); }

}  // namespace

TEST(RunLength, EncoderChoosesLiteralsAndRepeatsExactly) {
  EXPECT_EQ(Encode("ABCCCD"), Bytes({1, 'A', 'B', 254, 'C', 0, 'D', 128}));
  EXPECT_EQ(Encode("AABCC"), Bytes({255, 'A', 0, 'B', 255, 'C', 128}));
  // A pair joins a pending literal unless the next byte begins another pair.
  EXPECT_EQ(Encode("ABBC"), Bytes({3, 'A', 'B', 'B', 'C', 128}));
  EXPECT_EQ(Encode("ABBCD"), Bytes({4, 'A', 'B', 'B', 'C', 'D', 128}));
  EXPECT_EQ(Encode("ABBCCD"), Bytes({0, 'A', 255, 'B', 255, 'C', 0, 'D', 128}));
  EXPECT_EQ(Encode("A"), Bytes({0, 'A', 128}));
  EXPECT_EQ(Encode(""), Bytes({128}));
  // A run ending the data comes after the pending literal.
  EXPECT_EQ(Encode("ABCC"), Bytes({1, 'A', 'B', 255, 'C', 128}));
}

TEST(RunLength, LongRunsAndLongLiteralsAreSplit) {
  std::string v300(300, 'v');
  EXPECT_EQ(Encode(v300), Bytes({129, 'v', 129, 'v', 213, 'v', 128}));
  // 129 equal bytes: 128 then a remainder of 1, written as a one-byte literal.
  EXPECT_EQ(Encode(std::string(129, 'v')), Bytes({129, 'v', 0, 'v', 128}));
  EXPECT_EQ(Encode(std::string(130, 'v')), Bytes({129, 'v', 255, 'v', 128}));

  std::string distinct;
  for (int i = 0; i < 200; ++i) distinct.push_back(char(i));
  std::string expected = Bytes({127}) + distinct.substr(0, 128) + Bytes({71}) +
                         distinct.substr(128) + Bytes({128});
  EXPECT_EQ(Encode(distinct), expected);
}

TEST(RunLength, DecoderExamples) {
  EXPECT_EQ(Decode(Bytes({2, 'X', 'Y', 'Z', 128})), "XYZ");
  EXPECT_EQ(Decode(Bytes({254, 'Q', 128})), "QQQ");
  EXPECT_EQ(Decode(Bytes({129, 'v', 129, 'v', 213, 'v', 128})), std::string(300, 'v'));
  EXPECT_EQ(Decode(Bytes({128})), "");
  EXPECT_EQ(Decode(Bytes({0, 0, 128})), std::string(1, '\0'));
}

TEST(RunLength, DecoderErrors) {
  EXPECT_EQ(DecodeError(Bytes({0, 'A', 128, 128})), "Premature EndOfData Marker found");
  EXPECT_EQ(DecodeError(Bytes({5, 'A', 'B', 128})), "Unexpected EndOfFile found");
  EXPECT_EQ(DecodeError(Bytes({0, 'A'})), "EndOfData Marker is wrong");
  EXPECT_EQ(DecodeError(""), "EndOfData Marker is wrong");
  // A literal may not swallow the final marker, nor a repeat use it as its byte.
  EXPECT_EQ(DecodeError(Bytes({1, 'A', 128})), "Unexpected EndOfFile found");
  EXPECT_EQ(DecodeError(Bytes({200, 128})), "Unexpected EndOfFile found");
  EXPECT_EQ(DecodeError(Bytes({0, 'A', 200, 128})), "Unexpected EndOfFile found");
}

TEST(RunLength, RoundTripsRandomData) {
  Random rnd(31);
  for (int round = 0; round < 300; ++round) {
    // Runs of random lengths (1..300) of few distinct values, so pairs,
    // triples and long runs meet literals in every order.
    std::string input;
    size_t target = rnd.Below(2000);
    while (input.size() < target) {
      size_t run = rnd.Below(4) == 0 ? 1 + rnd.Below(300) : 1 + rnd.Below(3);
      input.append(run, char('a' + rnd.Below(3)));
    }
    std::string encoded = Encode(input);
    ASSERT_EQ(Decode(encoded), input) << "round " << round;
  }
  std::string noise = vxtest::RandomBytes(rnd, 100000);
  EXPECT_EQ(Decode(Encode(noise)), noise);
}

TEST(RunLength, StreamFormsMatchStringForms) {
  std::string input = "AAAAABCDEFFG" + std::string(500, 'z');
  TvxMemoryStream source(input);
  TvxRLEFilter rle;
  auto encoded = rle.EncodeStream(source);
  ASSERT_TRUE(encoded);
  EXPECT_EQ(encoded->Bytes(), Encode(input));
  vxtest::PieceStream other(encoded->Bytes(), 3);
  EXPECT_EQ(rle.DecodeStream(other)->Bytes(), input);
}
