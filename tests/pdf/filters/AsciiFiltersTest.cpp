// ASCIIHex and ASCII85: exact encodings, the decoders' errors, and ASCII85
// round trips for every final-group length.
#include <gtest/gtest.h>

#include "pdf/filters/vxFilters.h"
#include "pdf/util/vxExceptions.h"
#include "tests/pdf/filters/FilterTestSupport.h"

using namespace vx;
using vxtest::Bytes;
using vxtest::DecodeError;

namespace {

std::string HexDecode(const std::string& s) { return TvxAsciiHexFilter().DecodeString(s); }
std::string A85Encode(const std::string& s) { return TvxAscii85Filter().EncodeString(s); }
std::string A85Decode(const std::string& s) { return TvxAscii85Filter().DecodeString(s); }

}  // namespace

TEST(AsciiHex, Decoding) {
  EXPECT_EQ(HexDecode("48 65 6c 6C 6f>"), "Hello");
  EXPECT_EQ(HexDecode("4>"), "\x40");                   // a lone digit is completed with 0
  EXPECT_EQ(HexDecode("4\r\n 1\t>"), "A");              // blanks do not break a pair
  EXPECT_EQ(HexDecode("41>4243>"), "A");                // nothing after the first ">" counts
  EXPECT_EQ(HexDecode(">"), "");
  EXPECT_EQ(HexDecode("00ff>"), Bytes({0, 255}));
}

TEST(AsciiHex, DecodingErrors) {
  EXPECT_EQ(DecodeError<TvxAsciiHexFilter>("41"), "EndOfData marker is wrong");
  EXPECT_EQ(DecodeError<TvxAsciiHexFilter>(""), "EndOfData marker is wrong");
  EXPECT_EQ(DecodeError<TvxAsciiHexFilter>("4G>"), "Illeagal character within stream");
  EXPECT_EQ(DecodeError<TvxAsciiHexFilter>("4\f1>"), "Illeagal character within stream");
  EXPECT_EQ(DecodeError<TvxAsciiHexFilter>(std::string("4\0" "1>", 4)),
            "Illeagal character within stream");
}

TEST(AsciiHex, Encoding) {
  TvxAsciiHexFilter hex;
  EXPECT_EQ(hex.EncodeString(Bytes({0x00, 0xAB})), "00AB>");
  EXPECT_EQ(hex.EncodeString(""), ">");
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(char(i));
  std::string encoded = hex.EncodeString(all);
  EXPECT_EQ(encoded.size(), 513u);
  EXPECT_EQ(encoded.substr(0, 8), "00010203");
  EXPECT_EQ(encoded.substr(504), "FCFDFEFF>");
  EXPECT_EQ(hex.DecodeString(encoded), all);
  TvxMemoryStream source(all);
  EXPECT_EQ(hex.EncodeStream(source)->Bytes(), encoded);
  vxtest::PieceStream other(encoded, 5);
  EXPECT_EQ(hex.DecodeStream(other)->Bytes(), all);
}

TEST(Ascii85, Encoding) {
  EXPECT_EQ(A85Encode(std::string(4, '\0')), "z~>");
  EXPECT_EQ(A85Encode(std::string(1, '\0')), "!!~>");
  EXPECT_EQ(A85Encode(std::string(3, '\0')), "!!!!~>");  // a partial group is never "z"
  EXPECT_EQ(A85Encode(""), "~>");
  EXPECT_EQ(A85Encode("Man "), "9jqo^~>");
  EXPECT_EQ(A85Encode("Man is"), "9jqo^Bla~>");
  EXPECT_EQ(A85Encode(Bytes({255, 255, 255, 255})), "s8W-!~>");
  EXPECT_EQ(A85Encode(std::string(8, '\0') + "Man "), "zz9jqo^~>");
}

TEST(Ascii85, Decoding) {
  EXPECT_EQ(A85Decode("z~>"), std::string(4, '\0'));
  EXPECT_EQ(A85Decode("!!~>"), std::string(1, '\0'));
  EXPECT_EQ(A85Decode("9j q\r\n\to^~>"), "Man ");  // blanks anywhere
  EXPECT_EQ(A85Decode("9jqo^z~>"), "Man " + std::string(4, '\0'));
  EXPECT_EQ(A85Decode("s8W-!~>"), Bytes({255, 255, 255, 255}));
  EXPECT_EQ(A85Decode("~>"), "");
}

TEST(Ascii85, DecodingErrors) {
  EXPECT_EQ(DecodeError<TvxAscii85Filter>("!z~>"), "\"z\" found at inappropriate position");
  EXPECT_EQ(DecodeError<TvxAscii85Filter>("!~>"), "Single Final Character");
  EXPECT_EQ(DecodeError<TvxAscii85Filter>("ab\f~>"), "Illeagal character within stream");
  EXPECT_EQ(DecodeError<TvxAscii85Filter>("9jqo^v~>"), "Illeagal character within stream");
  EXPECT_EQ(DecodeError<TvxAscii85Filter>("<~9jqo^~>"), "Illeagal character within stream");
  EXPECT_EQ(DecodeError<TvxAscii85Filter>("9jqo^"), "EndOfData marker is wrong");
  EXPECT_EQ(DecodeError<TvxAscii85Filter>("9jqo^~"), "EndOfData marker is wrong");
  EXPECT_EQ(DecodeError<TvxAscii85Filter>(">"), "EndOfData marker is wrong");
}

TEST(Ascii85, GroupsAbove32BitsAreRefused) {
  // "s8W-!" is 2^32 - 1; one more does not fit in four bytes.
  const char* tooLarge[] = {"s8W-\"~>", "uuuuu~>", "9jqo^uuuuu~>",
                            // partial groups are padded with "u" and may overflow too
                            "uuuu~>", "uu~>"};
  for (const char* input : tooLarge) {
    try {
      A85Decode(input);
      ADD_FAILURE() << input << " accepted";
    } catch (const TvxException& e) {
      EXPECT_STREQ(e.what(), "ASCII85 group exceeds 32 bits") << input;
    }
  }
}

TEST(Ascii85, RoundTripsEveryLengthWithEdgeBytes) {
  vxtest::Random rnd(41);
  for (size_t length = 0; length <= 12; ++length) {
    std::vector<std::string> inputs = {std::string(length, '\0'), std::string(length, '\xFF')};
    for (int last : {0x00, 0xFF}) {
      std::string s = vxtest::RandomBytes(rnd, length);
      if (length > 0) s.back() = char(last);
      inputs.push_back(s);
    }
    for (const auto& input : inputs) {
      std::string encoded = A85Encode(input);
      EXPECT_EQ(encoded.substr(encoded.size() - 2), "~>");
      EXPECT_EQ(A85Decode(encoded), input) << "length " << length;
    }
  }
  std::string big = vxtest::RandomBytes(rnd, 100003);
  TvxAscii85Filter a85;
  TvxMemoryStream source(big);
  auto encoded = a85.EncodeStream(source);
  EXPECT_EQ(encoded->Bytes(), A85Encode(big));
  vxtest::PieceStream other(encoded->Bytes(), 999);
  EXPECT_EQ(a85.DecodeStream(other)->Bytes(), big);
}
