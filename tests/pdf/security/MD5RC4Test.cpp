// MD5 and RC4 against published vectors and independently computed ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFUtils.h"

namespace vx {
namespace {

// Lower-case hexadecimal, as md5sum prints it.
std::string Hex(const TMD5Digest& d) {
  std::string hex = BytesToHex(std::string_view(reinterpret_cast<const char*>(d.data()), d.size()));
  for (char& c : hex)
    if (c >= 'A' && c <= 'F') c = char(c - 'A' + 'a');
  return hex;
}

}  // namespace

TEST(MD5, RfcVectors) {
  EXPECT_EQ(Hex(MD5("")), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Hex(MD5("a")), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(Hex(MD5("abc")), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Hex(MD5("message digest")), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(Hex(MD5("abcdefghijklmnopqrstuvwxyz")), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(Hex(MD5("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(Hex(MD5("1234567890123456789012345678901234567890"
                    "1234567890123456789012345678901234567890")),
            "57edf4a22be3c955ac49da2e2107b67a");
}

// Lengths around the block and padding boundaries (digests from md5sum).
TEST(MD5, BlockBoundaries) {
  struct Case {
    size_t length;
    const char* digest;
  } cases[] = {
      {55, "e38a93ffe074a99b3fed47dfbe37db21"},  // padding fits in one block
      {56, "a2f3e2024931bd470555002aa5ccc010"},  // length spills into a second block
      {63, "5f1c4bb2970471a5c75b7ba1dc9ee3ed"},
      {64, "d289a97565bc2d27ac8b8545a5ddba45"},  // a full block, then padding alone
      {65, "162b6d6eb17cd9da55f95f8c73a32dda"},
      {80, "d1d9abe750525b2b6c74a5291f52baa7"},
      {128, "af35b0d348e5162036e183339d385b0c"},
  };
  for (const auto& c : cases) EXPECT_EQ(Hex(MD5(std::string(c.length, 'A'))), c.digest) << c.length;
}

TEST(MD5, PiecewiseUpdatesEqualOneShotAndFinalWipesContext) {
  std::string data;
  for (int i = 0; i < 1024; ++i) data += char(i);
  const std::string expected = "b2ea9f7fcea831a4a63b213f41a8855b";  // bytes 0..255 four times
  ASSERT_EQ(Hex(MD5(data)), expected);
  for (size_t piece : {1u, 3u, 55u, 63u, 64u, 65u, 200u}) {
    TMD5Context context;
    MD5Init(context);
    for (size_t at = 0; at < data.size(); at += piece)
      MD5Update(context, data.data() + at, std::min(piece, data.size() - at));
    TMD5Digest digest;
    MD5Final(context, digest);
    EXPECT_EQ(Hex(digest), expected) << piece;
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&context);
    for (size_t i = 0; i < sizeof context; ++i) ASSERT_EQ(raw[i], 0) << "byte " << i;
  }
}

namespace {

std::string Rc4(std::string_view key, std::string_view data) {
  TRC4State state;
  RC4Init(state, key.data(), key.size());
  std::string out(data.size(), '\0');
  RC4Crypt(state, data.data(), out.data(), data.size());
  return out;
}

}  // namespace

TEST(RC4, KnownVectors) {
  EXPECT_EQ(BytesToHex(Rc4("Key", "Plaintext")), "BBF316E8D940AF0AD3");
  EXPECT_EQ(BytesToHex(Rc4("Wiki", "pedia")), "1021BF0420");
  EXPECT_EQ(BytesToHex(Rc4("Secret", "Attack at dawn")), "45A01F645FC35B383552544B9BF5");
}

// Expected keystreams from openssl (1-byte key) and an independent reference.
TEST(RC4, ShortestAndLongestKeys) {
  EXPECT_EQ(BytesToHex(Rc4("A", std::string(16, '\0'))), "C2CBE63DC0A3CDA1BAAB695CE4F0352B");
  std::string key256;
  for (int i = 0; i < 256; ++i) key256 += char(i);
  EXPECT_EQ(BytesToHex(Rc4(key256, std::string(32, '\0'))),
            "5E2EB7B20D86864F73D39DD95C5A1525D51905D9A65AA2D297908146CDBD4883");
}

TEST(RC4, InvalidKeyLengthsRaise) {
  TRC4State state;
  std::string key(257, 'k');
  for (size_t length : {size_t(0), size_t(257)}) {
    try {
      RC4Init(state, key.data(), length);
      ADD_FAILURE() << "no exception for length " << length;
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "RC4: Invalid key length");
    }
  }
}

TEST(RC4, InPlaceRoundTripAndKeptTable) {
  const std::string plain = "The quick brown fox jumps over the lazy dog";
  std::string buffer = plain;
  TRC4State state;
  RC4Init(state, "secret", 6);
  // The copy area keeps the table as the key schedule left it.
  TRC4State fresh;
  RC4Init(fresh, "secret", 6);
  RC4Crypt(state, buffer.data(), buffer.data(), buffer.size());
  EXPECT_NE(buffer, plain);
  EXPECT_EQ(0, std::memcmp(state.Copy, fresh.S, 256));
  RC4Init(state, "secret", 6);
  RC4Crypt(state, buffer.data(), buffer.data(), buffer.size());
  EXPECT_EQ(buffer, plain);
  // Counters restart at 0 on every call: a second call on the advanced table
  // is not the continuation of the first keystream.
  RC4Init(state, "secret", 6);
  std::string first(10, '\0'), second(10, '\0');
  RC4Crypt(state, first.data(), first.data(), 10);
  RC4Crypt(state, second.data(), second.data(), 10);
  EXPECT_NE(Rc4("secret", std::string(20, '\0')), first + second);
}

TEST(PadPassword, ShortExactAndLongPasswords) {
  auto view = [](const TvxPaddedPassword& p) {
    return std::string(reinterpret_cast<const char*>(p.data()), p.size());
  };
  std::string padding = view(kPasswordPadding);
  EXPECT_EQ(BytesToHex(padding), "28BF4E5E4E758A4164004E56FFFA01082E2E00B6D0683E802F0CA9FE6453697A");
  EXPECT_EQ(view(PadPassword("")), padding);
  EXPECT_EQ(view(PadPassword("user")), "user" + padding.substr(0, 28));
  std::string exact(32, 'x');
  EXPECT_EQ(view(PadPassword(exact)), exact);
  std::string forty = "0123456789012345678901234567890123456789";
  EXPECT_EQ(view(PadPassword(forty)), forty.substr(0, 32));
}

}  // namespace vx
