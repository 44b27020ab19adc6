// A signature dictionary's /Contents is stored unencrypted in encrypted
// files. Files are encrypted by qpdf, opened and saved by the library
// (keeping the encryption, with new encryption, decrypted), and pikepdf
// must read the same signature bytes, and the same other strings, from the
// output as from the source.
#include <gtest/gtest.h>

#include <optional>

#include "WriterTestSupport.h"
#include "pdf/security/vxPDFCrypt.h"
#include "support/PikeQuery.h"

using namespace vx;
using vxtest::Quote;
using vxtest::RunCommand;
using vxtest::TempFile;

namespace {

// A DER-like signature long enough to span several cipher blocks.
std::string SignatureHex() {
  std::string hex = "30820101";
  for (int i = 0; i < 64; ++i) hex += "0a1b2c3d";
  return hex;
}

const char* kTimeStampHex = "3082feed0102030405060708090a0b0c0d0e0f";

// One page holding a text note and signature fields. The signature names
// /Contents before /Type and /ByteRange; a dictionary with /ByteRange but no
// /Type and an unsigned /Type /Sig without /ByteRange are no signatures, so
// their /Contents is an ordinary (encrypted) string. `timeStamp` adds a
// document time stamp (fields 18, 19).
std::string SignedSource(bool timeStamp = false) {
  vxtest::PdfBuilder b;
  vxtest::AddSimplePages(b, 1,
                         std::string("/AcroForm << /Fields [10 0 R 12 0 R 16 0 R") +
                             (timeStamp ? " 18 0 R" : "") + "] /SigFlags 3 >>",
                         [](int) { return "/Annots [10 0 R 12 0 R 14 0 R]"; });
  b.Object(
      10,
      "<< /FT /Sig /T (Sig1) /Type /Annot /Subtype /Widget /Rect [0 0 0 0] /P 3 0 R /V 11 0 R >>");
  b.Object(11, "<< /Contents <" + SignatureHex() +
                   "> /Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached"
                   " /ByteRange [0 10 20 30] /Reason (approved) /M (D:20260101120000Z) >>");
  b.Object(
      12,
      "<< /FT /Sig /T (Loose) /Type /Annot /Subtype /Widget /Rect [0 0 0 0] /P 3 0 R /V 13 0 R >>");
  b.Object(13,
           "<< /Filter /Adobe.PPKLite /Contents <3082ABCD> /ByteRange [0 1 2 3] /Name (clerk) >>");
  b.Object(14, "<< /Type /Annot /Subtype /Text /Rect [0 0 20 20] /Contents (a plain note) >>");
  b.Object(15, "<< /Type /Sig /Filter /Adobe.PPKLite /Contents (not signed yet) >>");
  b.Object(16, "<< /FT /Sig /T (Empty) /V 15 0 R >>");
  if (timeStamp) {
    b.Object(17,
             std::string("<< /Type /DocTimeStamp /Filter /Adobe.PPKLite /SubFilter /ETSI.RFC3161"
                         " /ByteRange [0 5 6 7] /Contents <") +
                 kTimeStampHex + "> >>");
    b.Object(18, "<< /FT /Sig /T (Stamp) /V 17 0 R >>");
  }
  b.FinishWithTable("/Root 1 0 R");
  return b.Bytes();
}

// The strings pikepdf reads: the signatures' /Contents in hex, their other
// strings, the placeholder's and the note's /Contents.
const char* kSignatureStrings = R"(
f = pdf.Root.AcroForm.Fields
print(bytes(f[0].V.Contents).hex(), bytes(f[0].V.Reason).decode(), bytes(f[0].V.M).decode())
print(bytes(f[1].V.Contents).hex(), bytes(f[1].V.Name).decode())
print(bytes(f[2].V.Contents).decode())
print(bytes(pdf.pages[0].Annots[2].Contents).decode())
)";

using vxtest::OpenWithPassword;

// Opens `path` as owner, saves it encrypted at `level` (nothing: keeps the
// source's encryption; null: decrypted) and answers what pikepdf reads.
std::string SavedAndRead(const std::string& path,
                         std::optional<std::optional<TvxPDFEncryptionLevel>> level) {
  auto doc = OpenWithPassword(path, "o");
  if (!doc) return "not opened";
  if (level && !*level) {
    doc->Encryption().SetEnabled(false);
  } else if (level) {
    doc->Encryption().SetEnabled(true);
    doc->Encryption().SetLevel(**level);
    doc->Encryption().SetUserPassword("u");
    doc->Encryption().SetOwnerPassword("o");
  }
  const std::string password = doc->Encryption().Enabled() ? "u" : "";
  TempFile out;
  doc->SaveToFile(out.Path());
  std::string problems = vxtest::QpdfProblems(out.Path(), password);
  return problems + vxtest::PikeQuery(out.Path(), kSignatureStrings, password);
}

const std::string kExpected =
    SignatureHex() + " approved D:20260101120000Z\n3082abcd clerk\nnot signed yet\na plain note";

}  // namespace

TEST(SignatureContents, SignatureBytesSurviveEverySaveOfEncryptedAndPlainSources) {
  TempFile plain;
  plain.Write(SignedSource());
  ASSERT_EQ(vxtest::PikeQuery(plain.Path(), kSignatureStrings), kExpected);
  for (const char* options : {"", "128 --use-aes=n", "128 --use-aes=y", "256"}) {
    TempFile source;
    if (*options) {
      std::string said;
      ASSERT_EQ(RunCommand(std::string("qpdf --allow-weak-crypto --encrypt u o ") + options +
                               " -- " + Quote(plain.Path()) + " " + Quote(source.Path()),
                           &said),
                0)
          << said;
      // The source as another reader sees it is the reference.
      ASSERT_EQ(vxtest::PikeQuery(source.Path(), kSignatureStrings, "u"), kExpected) << options;
    } else {
      source.Write(SignedSource());
    }
    using Level = std::optional<TvxPDFEncryptionLevel>;
    for (std::optional<Level> level :
         {std::optional<Level>(), std::optional<Level>(Level()), std::optional<Level>(el128bit),
          std::optional<Level>(elAES128), std::optional<Level>(elAES256)}) {
      SCOPED_TRACE(std::string(options) + " saved " +
                   (!level    ? "as it was"
                    : !*level ? "decrypted"
                              : "at level " + std::to_string(int(**level))));
      EXPECT_EQ(SavedAndRead(source.Path(), level), kExpected);
    }
  }
}

TEST(SignatureContents, TimeStampWrittenAndReadAsItStands) {
  // qpdf does not take a /DocTimeStamp as a signature, so the library is
  // checked against the raw bytes of its own output instead.
  TempFile plain;
  plain.Write(SignedSource(true));
  for (TvxPDFEncryptionLevel level : {el128bit, elAES256}) {
    SCOPED_TRACE(int(level));
    auto doc = OpenWithPassword(plain.Path(), "");
    ASSERT_TRUE(doc);
    doc->Encryption().SetEnabled(true);
    doc->Encryption().SetLevel(level);
    doc->Encryption().SetOwnerPassword("o");
    TempFile out;
    doc->SaveToFile(out.Path());
    const std::string bytes = vxtest::ReadFile(out.Path());
    EXPECT_NE(bytes.find("<" + SignatureHex() + ">"), std::string::npos);
    EXPECT_NE(bytes.find(std::string("<") + kTimeStampHex + ">"), std::string::npos);
    for (const char* plainText :
         {"3082abcd", "3082ABCD", "a plain note", "not signed yet", "approved"})
      EXPECT_EQ(bytes.find(plainText), std::string::npos) << plainText;
    // Opened again and saved decrypted, the time stamp is as in the source.
    auto back = OpenWithPassword(out.Path(), "o");
    ASSERT_TRUE(back);
    back->Encryption().SetEnabled(false);
    TempFile clear;
    back->SaveToFile(clear.Path());
    EXPECT_EQ(vxtest::PikeQuery(clear.Path(),
                                "print(bytes(pdf.Root.AcroForm.Fields[3].V.Contents).hex())"),
              kTimeStampHex);
  }
}

TEST(SignatureContents, SignedEncryptedCorpusFileKeepsItsSignature) {
  VX_NEEDS_CORPUS();
  const std::string source = vxtest::CorpusDir() + "/qpdf-tests/minimal-signed-restricted.pdf";
  const char* signatures = "print(bytes(pdf.Root.AcroForm.Fields[0].V.Contents).hex())";
  const std::string expected = vxtest::PikeQuery(source, signatures);
  ASSERT_EQ(expected.rfind("30821caf", 0), 0u) << expected.substr(0, 200);
  auto doc = OpenWithPassword(source, "");
  ASSERT_TRUE(doc);
  doc->ViewerPreferences().SetFitWindow(true);
  TempFile out;
  doc->SaveToFile(out.Path());
  EXPECT_EQ(vxtest::PikeQuery(out.Path(), signatures), expected);
}
