// The encrypting and decrypting handlers against each other and against the
// rules for reading /ID, /O, /U, /P, /R and /Length.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/parsers/vxClasses.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFUtils.h"
#include "pdf/util/vxUtils.h"

namespace vx {
namespace {

std::string Bytes(const uint8_t* data, size_t n) { return std::string(reinterpret_cast<const char*>(data), n); }
template <size_t N>
std::string Bytes(const std::array<uint8_t, N>& a) { return Bytes(a.data(), N); }

TvxPDFEncryptionSettings Settings(TvxPDFEncryptionLevel level, std::string owner, std::string user,
                                  TvxUserPermissions permissions = TvxUserPermissions::All()) {
  TvxPDFEncryptionSettings s;
  s.SetEnabled(true);
  s.SetLevel(level);
  s.SetOwnerPassword(std::move(owner));
  s.SetUserPassword(std::move(user));
  s.SetUserPermissions(permissions);
  return s;
}

std::string Text(const TvxPDFObject* obj) {
  if (auto n = As<TvxPDFNameObject>(obj)) return n->Text;
  if (auto s = As<TvxPDFStringObject>(obj)) return s->Text;
  return "";
}

// Sets a decrypting handler up from the dictionary and /ID the encrypting
// handler writes, the way a reader sees them.
void SetUpFromWritten(TvxPDFDecrypt& d, const TvxPDFEncryption& e) {
  auto dict = e.BuildEncryptDictionary();
  auto ids = e.BuildIdArray();
  d.SetFileId(HexToBytes(Cast<TvxPDFStringObject>(ids->GetItem(0)).Contents()));
  d.SetOwnerKey(Text(dict->Find("/O")));
  d.SetUserKey(Text(dict->Find("/U")));
  d.SetP(*IntegerValue(dict->Find("/P")));
  int revision = int(*IntegerValue(dict->Find("/R")));
  d.SetRevision(revision);
  d.SetKeyLength(TvxPDFDecrypt::KeyLengthFromDictionary(revision, IntegerValue(dict->Find("/Length")),
                                                        IntegerValue(dict->Find("/V"))));
}

void ExpectRaises(const std::function<void()>& f, const char* message) {
  try {
    f();
    ADD_FAILURE() << "expected: " << message;
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), message);
  }
}

}  // namespace

TEST(PDFEncryption, FileIdAndIdArray) {
  TvxPDFEncryption e("Output1.pdf", Settings(el128bit, "o", "u"), "D:20240315101112+01'00'");
  TMD5Digest id = MD5("Output1.pdfD:20240315101112+01'00'");
  EXPECT_EQ(e.GetFileId(), Bytes(id));
  auto ids = e.BuildIdArray();
  ASSERT_EQ(ids->Count(), 2);
  for (int i = 0; i < 2; ++i) {
    const auto& s = Cast<TvxPDFStringObject>(ids->GetItem(i));
    EXPECT_TRUE(s.IsHex);
    EXPECT_EQ(s.Text, "<" + BytesToHex(Bytes(id)) + ">");
  }
  // Same creation date, same keys; another date, other keys.
  TvxPDFEncryption same("Output1.pdf", Settings(el128bit, "o", "u"), "D:20240315101112+01'00'");
  TvxPDFEncryption other("Output1.pdf", Settings(el128bit, "o", "u"), "D:20240315101113+01'00'");
  EXPECT_EQ(same.GetUserKey(), e.GetUserKey());
  EXPECT_EQ(same.GetEncryptionKey(), e.GetEncryptionKey());
  EXPECT_NE(other.GetFileId(), e.GetFileId());
  EXPECT_NE(other.GetEncryptionKey(), e.GetEncryptionKey());
}

TEST(PDFEncryption, EncryptDictionaryEntriesInOrder) {
  struct Case {
    TvxPDFEncryptionLevel level;
    TvxUserPermissions permissions;
    int p, v, r, length;
  } cases[] = {
      {el128bit, TvxUserPermissions::All(), -4, 2, 3, 128},
      {el40bit, TvxUserPermissions{AllowPrint}, -60, 1, 2, 40},
      {el128bit, TvxUserPermissions{}, -3904, 2, 3, 128},
      {el40bit, TvxUserPermissions{}, -64, 1, 2, 40},
  };
  for (const auto& c : cases) {
    TvxPDFEncryption e("Output1.pdf", Settings(c.level, "owner", "user", c.permissions), "D:2024");
    auto dict = e.BuildEncryptDictionary();
    ASSERT_EQ(dict->Count(), 7);
    const char* keys[] = {"/Filter", "/O", "/U", "/P", "/V", "/R", "/Length"};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(dict->KeyAt(i), keys[i]);
    EXPECT_EQ(Cast<TvxPDFNameObject>(dict->Find("/Filter")).Text, "/Standard");
    // /O and /U are verbatim name tokens of 64 upper-case hex digits.
    EXPECT_EQ(Cast<TvxPDFNameObject>(dict->Find("/O")).Text, "<" + BytesToHex(e.GetOwnerKey()) + ">");
    EXPECT_EQ(Cast<TvxPDFNameObject>(dict->Find("/U")).Text, "<" + BytesToHex(e.GetUserKey()) + ">");
    EXPECT_EQ(Text(dict->Find("/O")).size(), 66u);
    EXPECT_EQ(Cast<TvxPDFIntegerObject>(dict->Find("/P")).Value, c.p);
    EXPECT_EQ(Cast<TvxPDFIntegerObject>(dict->Find("/V")).Value, c.v);
    EXPECT_EQ(Cast<TvxPDFIntegerObject>(dict->Find("/R")).Value, c.r);
    EXPECT_EQ(Cast<TvxPDFIntegerObject>(dict->Find("/Length")).Value, c.length);
  }
}

TEST(PDFDecrypt, RoundTripBothLevels) {
  for (auto level : {el40bit, el128bit}) {
    for (auto [owner, user] : {std::pair<std::string, std::string>{"master", "view"},
                               {"", "view"},
                               {"master", ""},
                               {"", ""},
                               {"an owner password longer than thirty-two bytes", "u"}}) {
      SCOPED_TRACE(std::to_string(level) + " owner=" + owner + " user=" + user);
      TvxPDFEncryption e("Output1.pdf", Settings(level, owner, user), "D:20240101");
      std::string effectiveOwner = owner.empty() ? user : owner;

      TvxPDFDecrypt d;
      SetUpFromWritten(d, e);
      EXPECT_EQ(d.Level(), level);
      std::string derived = "unset";
      EXPECT_TRUE(d.CheckOwnerPassword(effectiveOwner, derived));
      EXPECT_EQ(derived, user);
      EXPECT_EQ(Bytes(d.ObjectKeyBase()).substr(0, d.KeyLength()), e.GetEncryptionKey());
      EXPECT_TRUE(d.CheckUserPassword(user));
      EXPECT_FALSE(d.CheckUserPassword(user + "x"));
      EXPECT_FALSE(d.CheckOwnerPassword("x" + effectiveOwner, derived));

      // Per-object encryption is undone per object, and only under the same
      // number and generation.
      std::string plain = "BT /F1 12 Tf (Hello) Tj ET";
      std::string cipher = e.Encrypt(plain, 0, 7);
      EXPECT_NE(cipher, plain);
      EXPECT_EQ(d.DecryptString(cipher, 0, 7), plain);
      EXPECT_NE(d.DecryptString(cipher, 1, 7), plain);
      EXPECT_NE(d.DecryptString(cipher, 0, 8), plain);
      TvxMemoryStream stream(cipher + "trailing");
      d.DecryptStream(stream, cipher.size(), 0, 7);
      EXPECT_EQ(stream.Bytes(), plain);
    }
  }
}

TEST(PDFDecrypt, KeyLengthAndRevisionRules) {
  using std::nullopt;
  auto length = [](int r, std::optional<int64_t> v, std::optional<int64_t> bits) {
    return TvxPDFDecrypt::KeyLengthFromDictionary(r, bits, v);
  };
  // /V 1 is always 40 bits; /V 2 reads /Length, 40 when absent.
  EXPECT_EQ(length(2, 1, nullopt), 5u);
  EXPECT_EQ(length(2, 1, 128), 5u);
  EXPECT_EQ(length(3, 1, 128), 5u);
  EXPECT_EQ(length(3, 2, nullopt), 5u);
  EXPECT_EQ(length(3, 2, 40), 5u);
  EXPECT_EQ(length(3, 2, 56), 7u);
  EXPECT_EQ(length(3, 2, 128), 16u);
  EXPECT_EQ(length(2, 2, 128), 16u);
  // Without /V the revision decides.
  EXPECT_EQ(length(2, nullopt, 128), 5u);
  EXPECT_EQ(length(3, nullopt, nullopt), 5u);
  EXPECT_EQ(length(3, nullopt, 128), 16u);
  for (int64_t bad : {0, 32, 44, 136, 4096, -40}) {
    EXPECT_THROW(length(3, 2, bad), EUnsupportedEncryption) << bad;
    EXPECT_THROW(length(3, nullopt, bad), EUnsupportedEncryption) << bad;
  }
  EXPECT_THROW(length(4, 4, 128), EUnsupportedEncryption);
  EXPECT_THROW(length(3, 4, 128), EUnsupportedEncryption);
  EXPECT_THROW(length(1, 1, 40), EUnsupportedEncryption);
  TvxPDFDecrypt d;
  EXPECT_THROW(d.SetRevision(1), EUnsupportedEncryption);
  EXPECT_THROW(d.SetRevision(7), EUnsupportedEncryption);  // 5 and 6 are AES-256 now
  EXPECT_THROW(d.SetKeyLength(4), EUnsupportedEncryption);
  EXPECT_THROW(d.SetKeyLength(17), EUnsupportedEncryption);
  d.SetKeyLength(7);
  EXPECT_EQ(d.Level(), el128bit);
  d.SetKeyLength(5);
  EXPECT_EQ(d.Level(), el40bit);
}

TEST(PDFDecrypt, OwnerAndUserKeyForms) {
  std::string value;
  for (int i = 0; i < 32; ++i) value += char(0xE0 + i);
  TvxPDFDecrypt d;
  d.SetOwnerKey("<" + BytesToHex(value) + ">");
  EXPECT_EQ(d.GetOwnerKey(), value);
  d.SetUserKey("(" + value + ")");
  EXPECT_EQ(d.GetUserKey(), value);
  // Short values are filled with zeros.
  d.SetOwnerKey("(abc)");
  EXPECT_EQ(d.GetOwnerKey(), "abc" + std::string(29, '\0'));
  // Longer values never run past the 32-byte fields.
  d.SetOwnerKey("<" + BytesToHex(value + "0123456789") + ">");
  EXPECT_EQ(d.GetOwnerKey(), value);
  d.SetUserKey("(" + value + std::string(300, 'x') + ")");
  EXPECT_EQ(d.GetUserKey(), value);

  for (std::string empty : {"", "()", "<>"}) {
    ExpectRaises([&] { d.SetOwnerKey(empty); }, "Invalid Owner Key.");
    ExpectRaises([&] { d.SetUserKey(empty); }, "Invalid User Key.");
  }
}

TEST(PDFDecrypt, PBytes) {
  auto bytes = [](int64_t p) {
    TvxPDFDecrypt d;
    d.SetP(p);
    return BytesToHex(Bytes(d.PBytes()));
  };
  EXPECT_EQ(bytes(-3904), "C0F0FFFF");
  EXPECT_EQ(bytes(4294963396LL), bytes(-3900));
  EXPECT_EQ(bytes(-3900), "C4F0FFFF");
  EXPECT_EQ(bytes(65535), "FFFF0000");
  // Positive values beyond 16 bits keep their own high bytes.
  EXPECT_EQ(bytes(0x7FFFFFFC), "FCFFFF7F");
  EXPECT_EQ(bytes(0x12345678), "78563412");
}

TEST(PDFDecrypt, ReducePermissionsByRevision) {
  TvxPDFDecrypt r3;
  r3.SetP(-3904);
  r3.ReducePermissions();
  EXPECT_TRUE(r3.Permissions().Empty());
  TvxPDFDecrypt all;
  all.SetP(-4);
  all.ReducePermissions();
  EXPECT_EQ(all.Permissions(), TvxUserPermissions::All());
  TvxPDFDecrypt r2;
  r2.SetLevel(el40bit);
  r2.SetP(-3904 + 4 + 32);  // print, annotate; extended bits clear
  r2.ReducePermissions();
  EXPECT_EQ(r2.Permissions(), (TvxUserPermissions{AllowPrint, AllowAnnotation, AllowFormFill,
                                                  AllowAccessibility, AllowDocAssembly,
                                                  AllowHighResPrint}));
}

// The derived user password stops where the padding begins, and a user
// password that itself holds the first padding byte survives.
TEST(PDFDecrypt, DerivedUserPassword) {
  for (std::string user : {std::string("("), std::string("a(b"), std::string(32, 'p'),
                           std::string("\x28\xBF", 2)}) {
    TvxPDFEncryption e("Output1.pdf", Settings(el128bit, "owner", user), "D:1");
    TvxPDFDecrypt d;
    SetUpFromWritten(d, e);
    std::string derived;
    ASSERT_TRUE(d.CheckOwnerPassword("owner", derived));
    if (user == std::string("\x28\xBF", 2))
      EXPECT_EQ(derived, "");  // indistinguishable from the padding itself
    else
      EXPECT_EQ(derived, user);
  }
}

}  // namespace vx
