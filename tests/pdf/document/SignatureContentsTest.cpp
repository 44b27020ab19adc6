// A signature dictionary's /Contents is stored unencrypted in encrypted
// files. Files are encrypted by qpdf, opened and saved by the library
// (keeping the encryption, with new encryption, decrypted), and pikepdf
// must read the same signature bytes, and the same other strings, from the
// output as from the source.
#include <gtest/gtest.h>

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
                         std::string("/AcroForm << /Fields [10 0 R 12 0 R 16 0 R") + (timeStamp ? " 18 0 R" : "") +
                             "] /SigFlags 3 >>",
                         [](int) { return "/Annots [10 0 R 12 0 R 14 0 R]"; });
  b.Object(10, "<< /FT /Sig /T (Sig1) /Type /Annot /Subtype /Widget /Rect [0 0 0 0] /P 3 0 R /V 11 0 R >>");
  b.Object(11, "<< /Contents <" + SignatureHex() +
                   "> /Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached"
                   " /ByteRange [0 10 20 30] /Reason (approved) /M (D:20260101120000Z) >>");
  b.Object(12, "<< /FT /Sig /T (Loose) /Type /Annot /Subtype /Widget /Rect [0 0 0 0] /P 3 0 R /V 13 0 R >>");
  b.Object(13, "<< /Filter /Adobe.PPKLite /Contents <3082ABCD> /ByteRange [0 1 2 3] /Name (clerk) >>");
  b.Object(14, "<< /Type /Annot /Subtype /Text /Rect [0 0 20 20] /Contents (a plain note) >>");
  b.Object(15, "<< /Type /Sig /Filter /Adobe.PPKLite /Contents (not signed yet) >>");
  b.Object(16, "<< /FT /Sig /T (Empty) /V 15 0 R >>");
  if (timeStamp) {
    b.Object(17, std::string("<< /Type /DocTimeStamp /Filter /Adobe.PPKLite /SubFilter /ETSI.RFC3161"
                             " /ByteRange [0 5 6 7] /Contents <") + kTimeStampHex + "> >>");
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

std::string Checker(const std::string& command) {
  std::string out;
  int status = RunCommand(command, &out);
  return status == 0 ? out : "exit " + std::to_string(status) + ": " + out;
}

std::unique_ptr<TvxPDFDocument> Open(const std::string& path, const std::string& password) {
  auto doc = std::make_unique<TvxPDFDocument>();
  doc->SetShowSetupDialog(false);
  doc->OnPassword = [password](TvxCustomPDFDocument&, std::string& pw, bool& proceed, int tries) {
    pw = password;
    proceed = tries == 0;
  };
  if (!doc->LoadFromFile(path)) return nullptr;
  return doc;
}

std::string Expected() {
  return SignatureHex() + " approved D:20260101120000Z\n3082abcd clerk\nnot signed yet\na plain note";
}

}  // namespace

TEST(SignatureContents, EncryptedSourcesKeepTheSignatureBytesThroughEverySave) {
  TempFile plain;
  plain.Write(SignedSource());
  ASSERT_EQ(vxtest::PikeQuery(plain.Path(), kSignatureStrings), Expected());
  struct Change {
    const char* name;
    bool enabled;
    TvxPDFEncryptionLevel level;
  };
  for (const char* options : {"128 --use-aes=n", "128 --use-aes=y", "256"}) {
    TempFile encrypted;
    ASSERT_EQ(Checker(std::string("qpdf --allow-weak-crypto --encrypt u o ") + options + " -- " + Quote(plain.Path()) + " " +
                      Quote(encrypted.Path())),
              "");
    // The source as another reader sees it is the reference.
    ASSERT_EQ(vxtest::PikeQuery(encrypted.Path(), kSignatureStrings, "u"), Expected()) << options;
    for (const Change& change : {Change{"kept", true, el40bit}, Change{"new RC4", true, el128bit},
                                 Change{"new AES-128", true, elAES128}, Change{"new AES-256", true, elAES256},
                                 Change{"decrypted", false, el40bit}}) {
      SCOPED_TRACE(std::string(options) + ", " + change.name);
      auto doc = Open(encrypted.Path(), "o");
      ASSERT_TRUE(doc);
      std::string password = "u";
      if (!change.enabled) {
        doc->Encryption().SetEnabled(false);
        password = "";
      } else if (std::string(change.name) != "kept") {
        doc->Encryption().SetLevel(change.level);
        doc->Encryption().SetUserPassword("nu");
        doc->Encryption().SetOwnerPassword("no");
        password = "nu";
      }
      TempFile out;
      doc->SaveToFile(out.Path());
      EXPECT_EQ(vxtest::QpdfProblems(out.Path(), password), "");
      EXPECT_EQ(vxtest::PikeQuery(out.Path(), kSignatureStrings, password), Expected());
    }
  }
}

TEST(SignatureContents, PlainSourcesGetTheSignatureWrittenUnencrypted) {
  TempFile plain;
  plain.Write(SignedSource(true));
  for (TvxPDFEncryptionLevel level : {el128bit, elAES128, elAES256}) {
    SCOPED_TRACE(int(level));
    auto doc = Open(plain.Path(), "");
    ASSERT_TRUE(doc);
    doc->Encryption().SetEnabled(true);
    doc->Encryption().SetLevel(level);
    doc->Encryption().SetUserPassword("u");
    doc->Encryption().SetOwnerPassword("o");
    TempFile out;
    doc->SaveToFile(out.Path());
    EXPECT_EQ(vxtest::QpdfProblems(out.Path(), "u"), "");
    EXPECT_EQ(vxtest::PikeQuery(out.Path(), kSignatureStrings, "u"), Expected());
    // The signature and the time stamp are in the file as they stand; the
    // ordinary strings are not.
    const std::string bytes = vxtest::ReadFile(out.Path());
    EXPECT_NE(bytes.find("<" + SignatureHex() + ">"), std::string::npos);
    EXPECT_NE(bytes.find(std::string("<") + kTimeStampHex + ">"), std::string::npos);
    for (const char* plainText : {"3082abcd", "3082ABCD", "a plain note", "not signed yet", "approved"})
      EXPECT_EQ(bytes.find(plainText), std::string::npos) << plainText;

    // Read back by the library and saved decrypted, every string is as in
    // the source: the time stamp was not decrypted on the way in.
    auto back = Open(out.Path(), "o");
    ASSERT_TRUE(back);
    back->Encryption().SetEnabled(false);
    TempFile clear;
    back->SaveToFile(clear.Path());
    EXPECT_EQ(vxtest::PikeQuery(clear.Path(), kSignatureStrings), Expected());
    EXPECT_EQ(vxtest::PikeQuery(clear.Path(), "print(bytes(pdf.Root.AcroForm.Fields[3].V.Contents).hex())"),
              kTimeStampHex);
  }
}

TEST(SignatureContents, SignedEncryptedCorpusFileKeepsItsSignature) {
  const std::string source = vxtest::CorpusDir() + "/qpdf-tests/minimal-signed-restricted.pdf";
  const char* signatures = R"(
for f in pdf.Root.AcroForm.Fields:
    if '/V' in f and '/Contents' in f.V:
        print(bytes(f.V.Contents).hex())
)";
  const std::string expected = vxtest::PikeQuery(source, signatures);
  ASSERT_EQ(expected.rfind("30821caf", 0), 0u) << expected.substr(0, 200);
  auto doc = Open(source, "");
  ASSERT_TRUE(doc);
  doc->ViewerPreferences().SetFitWindow(true);
  TempFile out;
  doc->SaveToFile(out.Path());
  EXPECT_EQ(vxtest::PikeQuery(out.Path(), signatures), expected);
}
