// AES files: made by qpdf and opened with each password, written again with
// their own encryption (same key) unless the settings change, and made by
// this library at AES-128 and AES-256 for qpdf and Poppler to open.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "WriterTestSupport.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"

using namespace vx;
using vxtest::Quote;
using vxtest::RunCommand;
using vxtest::TempFile;

namespace {

const std::string kFont = "/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>";
const std::string kXmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'>clear metadata</x:xmpmeta>";

// Two pages of text, an XMP packet and a page entry holding an odd hex string.
std::string Source() {
  vxtest::PdfBuilder b;
  vxtest::AddSimplePages(b, 2, "/Metadata 20 0 R", [](int i) { return kFont + (i == 0 ? " /PieceTag <414>" : ""); });
  b.Stream(20, "/Type /Metadata /Subtype /XML", kXmp);
  b.Object(21, "<< /Title (AES test) >>");
  b.FinishWithTable("/Root 1 0 R /Info 21 0 R");
  return b.Bytes();
}

std::string Checker(const std::string& command) {
  std::string out;
  int status = RunCommand(command, &out);
  return status == 0 ? out : "exit " + std::to_string(status) + ": " + out;
}

// qpdf's view of a file's encryption, with the key, opened with `password`.
std::string Shown(const std::string& path, const std::string& password) {
  return Checker("qpdf --show-encryption --show-encryption-key --password=" + Quote(password) + " " + Quote(path));
}

std::string Line(const std::string& shown, const std::string& start) {
  std::smatch m;
  if (std::regex_search(shown, m, std::regex("(^|\n)(" + start + "[^\n]*)"))) return m[2];
  return "<no " + start + ">";
}

// The file as qpdf decrypts it, in its uncompressed form.
std::string Decrypted(const std::string& path, const std::string& password) {
  TempFile plain;
  std::string result = Checker("qpdf --password=" + Quote(password) + " --decrypt --qdf --object-streams=disable " +
                               Quote(path) + " " + Quote(plain.Path()));
  return result.empty() ? vxtest::ReadFile(plain.Path()) : result;
}

using vxtest::OpenWithPassword;

}  // namespace

TEST(AESEncryption, QpdfFilesOpenWithEachPasswordAndKeepTheirEncryption) {
  TempFile plain;
  plain.Write(Source());
  const std::string sourceText = vxtest::PdfText(plain.Path());
  ASSERT_NE(sourceText.find("Page 2"), std::string::npos);
  struct Variant {
    std::string options;
    TvxPDFEncryptionLevel level;
    bool clearMetadata;
  };
  for (const Variant& v : {Variant{"128 --use-aes=y", elAES128, false},
                           Variant{"128 --use-aes=y --cleartext-metadata", elAES128, true},
                           Variant{"256", elAES256, false}, Variant{"256 --cleartext-metadata", elAES256, true},
                           Variant{"256 --print=none --modify=none --", elAES256, false}}) {
    for (bool objectStreams : {false, true}) {
      SCOPED_TRACE(v.options + (objectStreams ? " with object streams" : ""));
      TempFile encrypted;
      ASSERT_EQ(Checker("qpdf --encrypt u o " + v.options + (v.options.back() == '-' ? "" : " --") +
                    (objectStreams ? " --object-streams=generate " : " ") + Quote(plain.Path()) + " " +
                    Quote(encrypted.Path())),
                "");
      const std::string sourceShown = Shown(encrypted.Path(), "o");
      for (const std::string& password : {std::string("u"), std::string("o")}) {
        auto doc = OpenWithPassword(encrypted.Path(), password);
        ASSERT_TRUE(doc) << password;
        EXPECT_EQ(doc->PageCount(), 2);
        EXPECT_EQ(doc->IsOwner(), password == "o");
        EXPECT_EQ(doc->Encryption().Level(), v.level);
        EXPECT_EQ(doc->Info().Title(), u"AES test");

        // Saved without new settings: the same key, revision and /P, and
        // both passwords still open it with their own rights.
        TempFile out;
        doc->SaveToFile(out.Path());
        const std::string outShown = Shown(out.Path(), "o");
        for (const char* line : {"R = ", "P = ", "Encryption key = ", "stream encryption method: ",
                                 "string encryption method: "})
          EXPECT_EQ(Line(outShown, line), Line(sourceShown, line)) << password;
        EXPECT_NE(outShown.find("Supplied password is owner password"), std::string::npos) << outShown;
        EXPECT_NE(Shown(out.Path(), "u").find("Supplied password is user password"), std::string::npos);
        EXPECT_EQ(vxtest::QpdfProblems(out.Path(), "u"), "");
        EXPECT_EQ(vxtest::PdfText(out.Path(), "u"), sourceText);
        // Metadata stays readable exactly when the source left it so.
        const std::string bytes = vxtest::ReadFile(out.Path());
        EXPECT_EQ(bytes.find("clear metadata") != std::string::npos, v.clearMetadata);
        EXPECT_NE(Decrypted(out.Path(), "u").find(kXmp), std::string::npos);
      }
    }
  }
  // A wrong password is refused, and the document says so.
  TempFile encrypted;
  ASSERT_EQ(Checker("qpdf --encrypt u o 256 -- " + Quote(plain.Path()) + " " + Quote(encrypted.Path())), "");
  EXPECT_EQ(OpenWithPassword(encrypted.Path(), "nope"), nullptr);
  TvxPDFDocument noPrompt;
  EXPECT_THROW(noPrompt.LoadFromFile(encrypted.Path()), EPasswordError);
}

TEST(AESEncryption, NewAesFilesOpenInOtherReaders) {
  TempFile plain;
  plain.Write(Source());
  const std::string sourceText = vxtest::PdfText(plain.Path());
  struct Level {
    TvxPDFEncryptionLevel level;
    std::string revision, method;
  };
  for (const Level& l : {Level{elAES128, "R = 4", "AESv2"}, Level{elAES256, "R = 6", "AESv3"}}) {
    SCOPED_TRACE(l.revision);
    auto doc = OpenWithPassword(plain.Path(), "");
    ASSERT_TRUE(doc);
    doc->Encryption().SetEnabled(true);
    doc->Encryption().SetLevel(l.level);
    doc->Encryption().SetUserPassword("user");
    doc->Encryption().SetOwnerPassword("owner");
    doc->Encryption().SetUserPermissions({AllowPrint, AllowCopy});
    TempFile out;
    doc->SaveToFile(out.Path());
    std::string shown = Shown(out.Path(), "owner");
    EXPECT_EQ(Line(shown, "R = "), l.revision);
    EXPECT_EQ(Line(shown, "stream encryption method: "), "stream encryption method: " + l.method);
    EXPECT_EQ(Line(shown, "string encryption method: "), "string encryption method: " + l.method);
    EXPECT_NE(shown.find("print low resolution: allowed"), std::string::npos) << shown;
    EXPECT_NE(shown.find("extract for any purpose: allowed"), std::string::npos) << shown;
    EXPECT_NE(shown.find("modify other: not allowed"), std::string::npos) << shown;
    EXPECT_NE(shown.find("modify annotations: not allowed"), std::string::npos) << shown;
    EXPECT_NE(Shown(out.Path(), "user").find("Supplied password is user password"), std::string::npos);
    EXPECT_NE(Shown(out.Path(), "wrong").find("Incorrect password"), std::string::npos);
    EXPECT_EQ(vxtest::QpdfProblems(out.Path(), "user"), "");
    EXPECT_EQ(vxtest::PdfText(out.Path(), "user"), sourceText);
    // The odd hex string <414> reads as "A@" once decrypted, as it did before.
    std::string decrypted = Decrypted(out.Path(), "user");
    EXPECT_NE(decrypted.find("/PieceTag (A@)"), std::string::npos) << decrypted.substr(0, 2000);

    // And the library reads back what it wrote, with either password.
    for (const char* password : {"user", "owner"}) {
      auto back = OpenWithPassword(out.Path(), password);
      ASSERT_TRUE(back) << password;
      EXPECT_EQ(back->PageCount(), 2);
      EXPECT_EQ(back->Encryption().Level(), l.level);
      EXPECT_EQ(back->Encryption().UserPermissions(), (TvxUserPermissions{AllowPrint, AllowCopy}));
    }
  }
}

TEST(AESEncryption, OwnerOpenKeepsPermissionsAndChangesOnlyWhatIsAsked) {
  VX_NEEDS_CORPUS();
  // RC4 with /P -3104: an owner open shows those permissions, and a save
  // without changes keeps them (and the key) rather than granting all.
  const std::string rc4 = vxtest::CorpusDir() + "/qpdf-tests/enc-R3,V2,U=view,O=master.pdf";
  auto doc = OpenWithPassword(rc4, "master");
  ASSERT_TRUE(doc);
  EXPECT_TRUE(doc->IsOwner());
  EXPECT_EQ(doc->Encryption().UserPermissions(), UserPermissionsFromP(-3104, true));
  TempFile kept;
  doc->SaveToFile(kept.Path());
  EXPECT_EQ(Line(Shown(kept.Path(), "master"), "P = "), "P = -3104");
  EXPECT_EQ(Line(Shown(kept.Path(), "master"), "Encryption key = "), Line(Shown(rc4, "master"), "Encryption key = "));
  // A change of permissions alone is a new encryption with both passwords.
  doc->Encryption().SetUserPermissions(TvxUserPermissions::All());
  TempFile changed;
  doc->SaveToFile(changed.Path());
  EXPECT_EQ(Line(Shown(changed.Path(), "master"), "P = "), "P = -4");
  EXPECT_NE(Shown(changed.Path(), "view").find("Supplied password is user password"), std::string::npos);

  // AES-256: the owner cannot learn the user password, yet may change the
  // permissions and the owner password; the user password keeps working.
  TempFile plain, aes;
  plain.Write(Source());
  ASSERT_EQ(Checker("qpdf --encrypt u o 256 --print=none -- " + Quote(plain.Path()) + " " + Quote(aes.Path())), "");
  auto owner = OpenWithPassword(aes.Path(), "o");
  ASSERT_TRUE(owner);
  EXPECT_FALSE(owner->Encryption().UserPasswordKnown());
  EXPECT_FALSE(owner->Encryption().UserPermissions().Contains(AllowPrint));
  owner->Encryption().SetUserPermissions(TvxUserPermissions::All());
  owner->Encryption().SetOwnerPassword("new owner");
  TempFile reowned;
  owner->SaveToFile(reowned.Path());
  std::string shown = Shown(reowned.Path(), "new owner");
  EXPECT_NE(shown.find("Supplied password is owner password"), std::string::npos) << shown;
  EXPECT_NE(shown.find("print high resolution: allowed"), std::string::npos) << shown;
  EXPECT_NE(Shown(reowned.Path(), "u").find("Supplied password is user password"), std::string::npos);
  EXPECT_NE(Shown(reowned.Path(), "o").find("Incorrect password"), std::string::npos) << "the old owner password is replaced";
  EXPECT_EQ(vxtest::PdfText(reowned.Path(), "u"), vxtest::PdfText(plain.Path()));

  // A level change needs a user password it cannot recover: refused, and
  // the target is left as it was.
  owner->Encryption().SetLevel(el128bit);
  const std::string before = vxtest::ReadFile(reowned.Path());
  EXPECT_THROW(owner->SaveToFile(reowned.Path()), Exception);
  EXPECT_EQ(vxtest::ReadFile(reowned.Path()), before);
  // Given a user password, the change goes through.
  owner->Encryption().SetUserPassword("fresh");
  TempFile rc4Copy;
  owner->SaveToFile(rc4Copy.Path());
  EXPECT_EQ(Line(Shown(rc4Copy.Path(), "fresh"), "R = "), "R = 3");
}

TEST(AESEncryption, DamagedKeyValuesAreAWrongPasswordNotACrash) {
  TempFile plain, aes;
  plain.Write(Source());
  ASSERT_EQ(Checker("qpdf --encrypt u o 256 -- " + Quote(plain.Path()) + " " + Quote(aes.Path())), "");
  const std::string bytes = vxtest::ReadFile(aes.Path());
  // Each key value cut short in turn (same byte count, so the offsets hold):
  // the password it belongs to stops working, the other keeps working where
  // it does not depend on the damaged value (the owner hash covers /U).
  struct Case {
    std::string key;
    bool userOpens, ownerOpens;
  };
  for (const Case& c : {Case{"/U <", false, false}, Case{"/UE <", false, true}, Case{"/O <", true, false},
                        Case{"/OE <", true, false}}) {
    SCOPED_TRACE(c.key);
    size_t at = bytes.find(c.key);
    ASSERT_NE(at, std::string::npos);
    size_t digits = at + c.key.size(), end = bytes.find('>', digits);
    std::string damaged = bytes;
    damaged.replace(digits, end - digits, "00" + std::string(end - digits - 2, ' '));
    TempFile file;
    file.Write(damaged);
    std::unique_ptr<TvxPDFDocument> user, owner;
    EXPECT_NO_THROW(user = OpenWithPassword(file.Path(), "u"));
    EXPECT_NO_THROW(owner = OpenWithPassword(file.Path(), "o"));
    EXPECT_EQ(user != nullptr, c.userOpens);
    EXPECT_EQ(owner != nullptr, c.ownerOpens);
  }
}

TEST(AESEncryption, KeptEncryptionWithoutAnIdReadsBack) {
  VX_NEEDS_CORPUS();
  // An RC4 file with no /ID: its key hashes no identifier, so the copy keeps
  // an empty one, which reads back as the same key.
  const std::string source = vxtest::CorpusDir() + "/qpdf-tests/invalid-id-xref.pdf";
  auto doc = OpenWithPassword(source, "");
  ASSERT_TRUE(doc);
  TempFile out;
  doc->SaveToFile(out.Path());
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
  EXPECT_EQ(Line(Shown(out.Path(), ""), "Encryption key = "), Line(Shown(source, ""), "Encryption key = "));
  auto back = OpenWithPassword(out.Path(), "");
  ASSERT_TRUE(back);
  EXPECT_EQ(back->PageCount(), 1);
}
