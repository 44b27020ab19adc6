// PNG row predictors with one byte per pixel.
#include <gtest/gtest.h>

#include <climits>

#include "pdf/filters/vxPredictors.h"
#include "pdf/util/vxExceptions.h"
#include "tests/pdf/filters/FilterTestSupport.h"

using namespace vx;
using vxtest::Bytes;

namespace {

std::string Rows(const std::string& data, int columns) { return DecodePngRows(data, columns)->Bytes(); }

}  // namespace

TEST(PngRows, EachTagAgainstThePreviousRow) {
  std::string data = Bytes({0, 1, 2, 3,     // None
                            1, 1, 1, 1,     // Sub: running sum
                            2, 1, 1, 1,     // Up: + row above (1 2 3)
                            3, 2, 2, 2,     // Average of left and up (2 3 4)
                            4, 1, 1, 1});   // Paeth over (3 5 6)
  EXPECT_EQ(Rows(data, 3), Bytes({1, 2, 3, 1, 2, 3, 2, 3, 4, 3, 5, 6, 4, 6, 7}));
}

TEST(PngRows, FirstRowDecodesAgainstZeros) {
  EXPECT_EQ(Rows(Bytes({2, 5, 6, 7}), 3), Bytes({5, 6, 7}));  // Up
  EXPECT_EQ(Rows(Bytes({3, 4, 4}), 2), Bytes({4, 6}));        // Average: 4+0, 4+2
  EXPECT_EQ(Rows(Bytes({4, 1, 1, 1}), 3), Bytes({1, 2, 3}));  // Paeth picks left
}

TEST(PngRows, ArithmeticIsModulo256) {
  EXPECT_EQ(Rows(Bytes({1, 200, 100}), 2), Bytes({200, 44}));
  EXPECT_EQ(Rows(Bytes({0, 255, 255, 2, 1, 2}), 2), Bytes({255, 255, 0, 1}));
  // Average halves the full sum: 128 + (0 + 255) / 2, then 0 + (255 + 255) / 2.
  EXPECT_EQ(Rows(Bytes({0, 255, 255, 3, 128, 0}), 2), Bytes({255, 255, 255, 255}));
}

TEST(PngRows, PaethPredictorTies) {
  EXPECT_EQ(PaethPredictor(1, 1, 1), 1);
  EXPECT_EQ(PaethPredictor(5, 10, 5), 10);   // up is nearest
  EXPECT_EQ(PaethPredictor(10, 20, 15), 15);  // upper-left is nearest
  EXPECT_EQ(PaethPredictor(3, 0, 2), 0);     // a tie between up and upper-left goes to up
  EXPECT_EQ(PaethPredictor(0, 3, 0), 3);
}

TEST(PngRows, ImproperTagRaises) {
  try {
    Rows(Bytes({0, 1, 5, 1}), 1);
    ADD_FAILURE() << "tag 5 accepted";
  } catch (const EImproperPNGAlgorithm& e) {
    EXPECT_STREQ(e.what(), "Improper PNG algorithm tag in stream");
  }
  EXPECT_THROW(Rows(Bytes({255}), 4), EImproperPNGAlgorithm);
}

TEST(PngRows, ShortFinalRowAndOddWidths) {
  // The last row has its tag and two of its three bytes: both are decoded.
  EXPECT_EQ(Rows(Bytes({0, 1, 2, 3, 2, 1, 1}), 3), Bytes({1, 2, 3, 2, 3}));
  EXPECT_EQ(Rows(Bytes({0, 1, 2, 3, 2}), 3), Bytes({1, 2, 3}));  // only a tag
  EXPECT_EQ(Rows(Bytes({1, 1, 1, 1}), INT_MAX), Bytes({1, 2, 3}));  // no huge row buffer
  EXPECT_EQ(Rows(Bytes({0, 1, 2}), 0), "");
  EXPECT_EQ(Rows(Bytes({0, 1, 2}), -4), "");
  EXPECT_EQ(Rows("", 5), "");
}

TEST(TiffRows, EachByteAddsTheOneToItsLeftWithinItsRow) {
  // Rows of 3: the first byte of a row stands as it is; a short last row
  // is decoded with what it has; the sum wraps at 256.
  const std::string encoded("\x01\x01\x01" "\x05\xFF\x02" "\x07\x01", 8);
  EXPECT_EQ(DecodeTiffRows(encoded, 3)->Bytes(), std::string("\x01\x02\x03" "\x05\x04\x06" "\x07\x08", 8));
  EXPECT_EQ(DecodeTiffRows(encoded, 0)->Bytes(), "");
}
