// Saving encrypted: files other readers open with the passwords, with the
// permissions set, a reproducible /ID, and document information that reads
// back right whenever it was set.
#include <gtest/gtest.h>

#include <regex>

#include "WriterTestSupport.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxPDFUtils.h"

using namespace vx;
using vxtest::Quote;
using vxtest::RunCommand;

namespace {

const std::string kFont = "/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>";
const std::string kDate = "D:20240102030405Z";

std::unique_ptr<TvxPDFDocument> Loaded() {
  return vxtest::LoadBytes(vxtest::SimplePdf(2, "", "/Title (Loaded title) /CreationDate (" + kDate + ")", kFont));
}

void Encrypt(TvxCustomPDFDocument& doc, TvxPDFEncryptionLevel level, TvxUserPermissions permissions,
             const std::string& user = "user", const std::string& owner = "owner") {
  doc.Encryption().SetEnabled(true);
  doc.Encryption().SetLevel(level);
  doc.Encryption().SetUserPassword(user);
  doc.Encryption().SetOwnerPassword(owner);
  doc.Encryption().SetUserPermissions(permissions);
}

std::string ShowEncryption(const std::string& path, const std::string& password) {
  std::string out;
  RunCommand("qpdf --show-encryption --password=" + Quote(password) + " " + Quote(path), &out);
  return out;
}

// Decrypts with qpdf and answers the text of the decrypted file.
std::string DecryptedText(const std::string& path, const std::string& password) {
  vxtest::TempFile plain;
  std::string out;
  int status = RunCommand("qpdf --password=" + Quote(password) + " --decrypt " + Quote(path) + " " +
                              Quote(plain.Path()),
                          &out);
  if (status != 0) return "qpdf --decrypt failed: " + out;
  std::string problems = vxtest::QpdfProblems(plain.Path());
  if (!problems.empty()) return problems;
  return vxtest::PdfText(plain.Path());
}

std::string InfoOf(const std::string& path, const std::string& password) {
  std::string out;
  RunCommand("pdfinfo -upw " + Quote(password) + " " + Quote(path), &out);
  return out;
}

}  // namespace

TEST(EncryptOnSave, Rc4At40BitsWithUserAndOwnerPasswords) {
  auto doc = Loaded();
  Encrypt(*doc, el40bit, TvxUserPermissions{AllowPrint});
  vxtest::TempFile out;
  doc->SaveToFile(out.Path());

  std::string shown = ShowEncryption(out.Path(), "owner");
  EXPECT_NE(shown.find("R = 2\nP = -60\nUser password = user\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("print low resolution: allowed"), std::string::npos) << shown;
  EXPECT_NE(shown.find("extract for any purpose: not allowed"), std::string::npos) << shown;
  EXPECT_NE(shown.find("modify other: not allowed"), std::string::npos) << shown;
  EXPECT_NE(shown.find("modify annotations: not allowed"), std::string::npos) << shown;

  EXPECT_EQ(vxtest::QpdfProblems(out.Path(), "user"), "");
  for (const char* password : {"user", "owner"}) {
    std::string text = DecryptedText(out.Path(), password);
    EXPECT_NE(text.find("Page 2"), std::string::npos) << password << ": " << text;
  }
  EXPECT_NE(RunCommand("qpdf --check --password=wrong " + Quote(out.Path())), 0);
  std::string info = InfoOf(out.Path(), "user");
  EXPECT_NE(info.find("Title:           Loaded title"), std::string::npos) << info;
  EXPECT_NE(info.find("Producer:        Vexor Paginox V2.5"), std::string::npos) << info;
}

TEST(EncryptOnSave, Rc4At128BitsAndThePermissionsShown) {
  auto doc = Loaded();
  Encrypt(*doc, el128bit, TvxUserPermissions::All());
  vxtest::TempFile all;
  doc->SaveToFile(all.Path());
  std::string shown = ShowEncryption(all.Path(), "owner");
  EXPECT_NE(shown.find("R = 3\nP = -4\n"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("not allowed"), std::string::npos) << shown;
  EXPECT_NE(DecryptedText(all.Path(), "user").find("Page 1"), std::string::npos);
  EXPECT_NE(all.Read().find("/V 2\r\n/R 3\r\n/Length 128\r\n"), std::string::npos);

  // Copying and form filling only; high-resolution printing needs printing.
  doc->Encryption().SetUserPermissions(TvxUserPermissions{AllowCopy, AllowFormFill, AllowHighResPrint});
  vxtest::TempFile some;
  doc->SaveToFile(some.Path());
  shown = ShowEncryption(some.Path(), "user");
  EXPECT_NE(shown.find("P = -3632\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("extract for any purpose: allowed"), std::string::npos) << shown;
  EXPECT_NE(shown.find("modify forms: allowed"), std::string::npos) << shown;
  EXPECT_NE(shown.find("print high resolution: not allowed"), std::string::npos) << shown;
  EXPECT_NE(shown.find("print low resolution: not allowed"), std::string::npos) << shown;
  EXPECT_NE(shown.find("modify annotations: not allowed"), std::string::npos) << shown;
}

TEST(EncryptOnSave, TheIdComesFromTheCreationDateAndSavesRepeat) {
  auto doc = Loaded();
  Encrypt(*doc, el128bit, TvxUserPermissions::All());
  doc->SetCompression(0, 2);
  doc->SetSaveThreads(1);
  std::string first = vxtest::SaveToBytes(*doc);

  TMD5Digest digest = MD5("Output1.pdf" + kDate);
  std::string id = "<" + BytesToHex(std::string(digest.begin(), digest.end())) + ">";
  std::smatch m;
  ASSERT_TRUE(std::regex_search(first, m,
                                std::regex("\r\n(\\d+) 0 obj\r\n<<\r\n/Filter /Standard\r\n/O <[0-9A-F]{64}>\r\n"
                                           "/U <[0-9A-F]{64}>\r\n/P -4\r\n/V 2\r\n/R 3\r\n/Length 128\r\n>>\r\n"
                                           "endobj\r\nxref\r\n")));
  std::string trailer = "/Info 2 0 R\r\n/ID [ " + id + " " + id + " ]\r\n/Encrypt " + std::string(m[1]) + " 0 R\r\n>>";
  EXPECT_NE(first.find(trailer), std::string::npos) << first.substr(first.rfind("trailer"));

  // The same document saved again, and another one with the same creation
  // date, on several threads: the same bytes.
  EXPECT_EQ(vxtest::SaveToBytes(*doc), first);
  auto other = Loaded();
  Encrypt(*other, el128bit, TvxUserPermissions::All());
  other->SetCompression(0, 2);
  other->SetSaveThreads(4);
  EXPECT_EQ(vxtest::SaveToBytes(*other), first);
}

TEST(EncryptOnSave, InformationReadsBackWheneverItWasSet) {
  auto doc = Loaded();
  doc->Info().SetTitle(u"Set\tbefore");  // before encryption was switched on
  Encrypt(*doc, el40bit, TvxUserPermissions::All());
  doc->Info().SetAuthor(u"Set after");
  vxtest::TempFile encrypted;
  doc->SaveToFile(encrypted.Path());
  std::string info = InfoOf(encrypted.Path(), "user");
  EXPECT_NE(info.find("Title:           Set\tbefore\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Author:          Set after\n"), std::string::npos) << info;

  // Switched off again: the values are written in the clear.
  doc->Encryption().SetEnabled(false);
  vxtest::TempFile plain;
  doc->SaveToFile(plain.Path());
  info = InfoOf(plain.Path(), "");
  EXPECT_NE(info.find("Title:           Set\tbefore\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Author:          Set after\n"), std::string::npos) << info;
  EXPECT_EQ(plain.Read().find("/Encrypt"), std::string::npos);
}

TEST(EncryptOnSave, ChangedPasswordsApplyToTheNextSave) {
  auto doc = Loaded();
  Encrypt(*doc, el128bit, TvxUserPermissions::All(), "one", "");
  vxtest::TempFile first;
  doc->SaveToFile(first.Path());
  EXPECT_EQ(vxtest::QpdfProblems(first.Path(), "one"), "");
  doc->Encryption().SetUserPassword("two");
  vxtest::TempFile second;
  doc->SaveToFile(second.Path());
  EXPECT_EQ(vxtest::QpdfProblems(second.Path(), "two"), "");
  EXPECT_NE(RunCommand("qpdf --check --password=one " + Quote(second.Path())), 0);
  // An empty owner password falls back to the user password.
  EXPECT_NE(ShowEncryption(second.Path(), "two").find("Supplied password is owner password"), std::string::npos);
}

TEST(EncryptOnSave, OpenedWithTheUserPasswordSavesEncryptedAgain) {
  VX_NEEDS_CORPUS();
  TvxPDFDocument doc;
  doc.SetShowSetupDialog(false);
  doc.OnPassword = [](TvxCustomPDFDocument&, std::string& password, bool& proceed, int tries) {
    password = "view";
    proceed = tries == 0;
  };
  ASSERT_TRUE(doc.LoadFromFile(vxtest::CorpusDir() + "/qpdf-tests/enc-R3,V2,U=view,O=master.pdf"));
  ASSERT_TRUE(doc.Encryption().Enabled());
  EXPECT_EQ(doc.Encryption().OwnerPassword(), "");
  vxtest::TempFile out;
  doc.SaveToFile(out.Path());
  EXPECT_EQ(vxtest::QpdfProblems(out.Path(), "view"), "");
  // The copy keeps the source's encryption: its owner password still works.
  EXPECT_EQ(vxtest::QpdfProblems(out.Path(), "master"), "");
  EXPECT_NE(ShowEncryption(out.Path(), "master").find("Supplied password is owner password"), std::string::npos);
  std::string shown = ShowEncryption(out.Path(), "view");
  EXPECT_NE(shown.find("User password = view"), std::string::npos) << shown;
  std::string original, copy;
  RunCommand("pdftotext -upw view " + Quote(vxtest::CorpusDir() + "/qpdf-tests/enc-R3,V2,U=view,O=master.pdf") + " -",
             &original, false);
  RunCommand("pdftotext -upw view " + Quote(out.Path()) + " -", &copy, false);
  EXPECT_FALSE(original.empty());
  EXPECT_EQ(copy, original);
}
