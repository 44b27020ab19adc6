// AES and the AES-256 key values: libcrypto wired right (a published test
// vector), padding handled without losing data, passwords told apart, and
// each crypt filter method undone by its own inverse.
#include <gtest/gtest.h>

#include "pdf/security/vxCryptPrimitives.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFUtils.h"

using namespace vx;

TEST(AESPrimitives, KnownVectorAndPadding) {
  // AES-128-CBC, first block of the NIST SP 800-38A example.
  std::string key = HexToBytes("2b7e151628aed2a6abf7158809cf4f3c");
  std::string iv = HexToBytes("000102030405060708090a0b0c0d0e0f");
  std::string plain = HexToBytes("6bc1bee22e409f96e93d7e117393172a");
  EXPECT_EQ(BytesToHex(AESEncryptCBC(key, iv, plain, false)), BytesToHex(HexToBytes("7649abac8119b246cee98e9b12e9197d")));
  // SHA-256 of "abc".
  EXPECT_EQ(BytesToHex(SHA256("abc")),
            BytesToHex(HexToBytes("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad")));

  // Padding: every length round-trips, a whole block of padding included.
  for (size_t n : {0u, 1u, 15u, 16u, 17u, 40u}) {
    std::string data(n, 'x');
    std::string sealed = AESEncryptCBC(key, iv, data, true);
    EXPECT_EQ(sealed.size(), (n / 16 + 1) * 16) << n;
    EXPECT_EQ(AESDecryptCBC(key, iv, sealed, true), data) << n;
  }
  // Padding that does not check out is kept rather than cutting data.
  std::string unpadded = AESEncryptCBC(key, iv, std::string(16, 'A'), false);
  EXPECT_EQ(AESDecryptCBC(key, iv, unpadded, true), std::string(16, 'A'));
  EXPECT_THROW(AESEncryptCBC("short", iv, plain, false), Exception);
}

TEST(AES256Keys, PasswordsUnlockTheKeyAndNothingElse) {
  for (int revision : {5, 6}) {
    std::string fileKey = RandomBytes(32);
    std::string ue, oe;
    std::string u = MakeUserKey256("user", revision, ue, fileKey);
    std::string o = MakeOwnerKey256("owner", u, revision, oe, fileKey);
    ASSERT_EQ(u.size(), 48u);
    ASSERT_EQ(o.size(), 48u);
    EXPECT_EQ(FileKeyFromPassword256("user", false, o, u, oe, ue, revision), fileKey) << revision;
    EXPECT_EQ(FileKeyFromPassword256("owner", true, o, u, oe, ue, revision), fileKey) << revision;
    EXPECT_EQ(FileKeyFromPassword256("owner", false, o, u, oe, ue, revision), "") << revision;
    EXPECT_EQ(FileKeyFromPassword256("user", true, o, u, oe, ue, revision), "") << revision;
    EXPECT_EQ(FileKeyFromPassword256("", false, o, u, oe, ue, revision), "") << revision;
    // Damaged values are a wrong password, not a crash.
    EXPECT_EQ(FileKeyFromPassword256("user", false, o, u.substr(0, 20), oe, ue, revision), "");
  }
  // Passwords count up to 127 bytes.
  std::string longer(200, 'p');
  EXPECT_EQ(HashPassword256(longer, "saltsalt", "", 6), HashPassword256(longer.substr(0, 127), "saltsalt", "", 6));
  EXPECT_NE(HashPassword256("a", "saltsalt", "", 6), HashPassword256("a", "saltsalt", "", 5));

  // /Perms holds /P and the metadata flag under the file key.
  std::string key = RandomBytes(32);
  std::string perms = AESDecryptBlock(key, MakePerms256(key, uint32_t(-3904), false));
  EXPECT_EQ(BytesToHex(perms.substr(0, 8)), BytesToHex(HexToBytes("c0f0ffffffffffff")));
  EXPECT_EQ(perms.substr(8, 4), "Fadb");
}

TEST(CryptFilter, EachMethodRoundTripsPerObject) {
  const std::string text = "BT /F1 12 Tf (Hello) Tj ET";
  struct Case {
    TvxCryptMethod method;
    size_t keySize;
  };
  for (Case c : {Case{TvxCryptMethod::RC4, 16}, Case{TvxCryptMethod::RC4, 5}, Case{TvxCryptMethod::AESV2, 16},
                 Case{TvxCryptMethod::AESV3, 32}}) {
    TvxCryptFilter filter(c.method, RandomBytes(c.keySize));
    std::string sealed = filter.Encrypt(text, 7, 0);
    EXPECT_NE(sealed, text);
    EXPECT_EQ(filter.Decrypt(sealed, 7, 0), text);
    if (c.method != TvxCryptMethod::AESV3) {
      // Object keys: another object number does not decrypt it.
      EXPECT_NE(filter.Decrypt(sealed, 8, 0), text);
    }
    if (c.method != TvxCryptMethod::RC4) {
      EXPECT_EQ(sealed.size(), 16 + (text.size() / 16 + 1) * 16);  // IV, then padded blocks
      EXPECT_NE(filter.Encrypt(text, 7, 0), sealed);               // a fresh IV every time
      EXPECT_EQ(filter.Decrypt("short", 7, 0), "");                // shorter than an IV: empty
    }
  }
  TvxCryptFilter identity(TvxCryptMethod::Identity, RandomBytes(16));
  EXPECT_EQ(identity.Encrypt(text, 7, 0), text);
  EXPECT_EQ(identity.Decrypt(text, 7, 0), text);
}

// The key values of enc-XI-R6,V5,U=view,O=master.pdf (user password
// "view", owner "master", /P -3076), which Acrobat XI made, and its file key
// as qpdf 11 shows it (--show-encryption-key): values of two other
// implementations, so that a fault our writer and reader share (a wrong
// round count, say) cannot pass.
TEST(AES256Keys, Revision6HashMatchesAcrobatAndQpdf) {
  const std::string u = HexToBytes("2fa09f7750947a91aa85899f3197fd0d88ff8ad743c962030fa4ae61662bcf63"
                                   "2bd3a8dad2ea7bd18e696b705ee7bf5f");
  const std::string o = HexToBytes("3dec4da2ebc9ce7f36a48ebb50c59692097cc73e60c02dd697ede933130337eb"
                                   "5d1eabe88863dd415f73175c9aa777be");
  const std::string ue = HexToBytes("03506811fe2544e3bbc945feaa9bba18fb4a96961e1056b20397cc3b6891d6cd");
  const std::string oe = HexToBytes("dbe23f220ee17fc7079a80fc8df67c450bb5f69d488ca607315e7102a3235aec");
  const std::string key = HexToBytes("99b8c28eaeebac3fb51195ea44e41c7b9705cc982344ada5851daf808eb7d42f");
  EXPECT_EQ(BytesToHex(HashPassword256("view", u.substr(32, 8), "", 6)), BytesToHex(u.substr(0, 32)));
  EXPECT_EQ(BytesToHex(HashPassword256("master", o.substr(32, 8), u, 6)), BytesToHex(o.substr(0, 32)));
  EXPECT_EQ(BytesToHex(FileKeyFromPassword256("view", false, o, u, oe, ue, 6)), BytesToHex(key));
  EXPECT_EQ(BytesToHex(FileKeyFromPassword256("master", true, o, u, oe, ue, 6)), BytesToHex(key));
  // Its /Perms decrypts under that key to the metadata flag and "adb".
  EXPECT_EQ(AESDecryptBlock(key, HexToBytes("711a56949c0f9f11307e8405063bcfed")).substr(8, 4), "Tadb");
}
