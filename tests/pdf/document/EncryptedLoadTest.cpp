// Opening RC4-encrypted files made by other software, with each password.
#include <gtest/gtest.h>

#include <filesystem>

#include "pdf/document/vxPDFDoc.h"
#include "pdf/filters/vxFilterChain.h"
#include "pdf/security/vxPDFCrypt.h"
#include "support/PdfBuilder.h"

using namespace vx;

namespace {

std::string Corpus(const std::string& name) { return vxtest::CorpusDir() + "/qpdf-tests/" + name; }

// Loads with a password offered once (tries 0), as the command line does.
std::unique_ptr<TvxPDFDocument> Open(const std::string& path, const std::string& password, bool* accepted = nullptr) {
  auto doc = std::make_unique<TvxPDFDocument>();
  doc->OnPassword = [password](TvxCustomPDFDocument&, std::string& pw, bool& proceed, int tries) {
    if (tries == 0)
      pw = password;
    else
      proceed = false;
  };
  bool ok = doc->LoadFromFile(path);
  if (accepted) *accepted = ok;
  return doc;
}

// The decoded bytes of the first content stream of page `page`.
std::string FirstContent(TvxPDFDocument& doc, int page = 1) {
  auto& dict = Cast<TvxPDFDictObject>(doc.PageList().at(size_t(page - 1))->Content.get());
  TvxPDFObject* contents = dict.Find("/Contents");
  if (auto* array = As<TvxPDFArrayObject>(contents)) contents = array->GetItem(0);
  auto* stream = As<TvxPDFStreamObject>(doc.Store().Resolve(contents));
  if (!stream) return "<none>";
  TvxMemoryStream data(std::string(stream->DataView()));
  return DecodeFilterChain(data, doc.Store().Resolve(stream->Dictionary->Find("/Filter")))->Bytes();
}

}  // namespace

TEST(EncryptedLoad, CorpusRC4FilesOpenAsUserAndOwner) {
  VX_NEEDS_CORPUS();
  auto base = Open(Corpus("enc-base.pdf"), "");
  std::string expected = FirstContent(*base);
  ASSERT_GT(expected.size(), 10u);
  struct Case {
    std::string file, user, owner;
  };
  std::vector<Case> cases;
  for (const auto& entry : std::filesystem::directory_iterator(vxtest::CorpusDir() + "/qpdf-tests")) {
    std::string name = entry.path().filename().string();
    if (name.rfind("enc-R", 0) != 0 || name.find("R4") != std::string::npos || name.find("R5") != std::string::npos ||
        name.find("R6") != std::string::npos)
      continue;
    // enc-R2,V1,U=view,O=master.pdf: user "view", owner "master"; no U= means empty.
    Case c{name, "", ""};
    size_t u = name.find("U="), o = name.find("O=");
    if (u != std::string::npos) c.user = name.substr(u + 2, name.find_first_of(",.", u) - u - 2);
    if (o != std::string::npos) c.owner = name.substr(o + 2, name.find_first_of(",.", o) - o - 2);
    cases.push_back(c);
  }
  ASSERT_GE(cases.size(), 4u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    bool ok = false;
    auto user = Open(Corpus(c.file), c.user, &ok);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(user->IsEncrypted());
    EXPECT_EQ(user->IsOwner(), c.user == c.owner);
    EXPECT_EQ(FirstContent(*user), expected);
    auto owner = Open(Corpus(c.file), c.owner, &ok);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(owner->IsOwner());
    EXPECT_EQ(owner->Encryption().UserPassword(), c.user);
    EXPECT_EQ(FirstContent(*owner), expected);
    if (!c.user.empty()) {
      Open(Corpus(c.file), "wrong", &ok);
      EXPECT_FALSE(ok);
    }
  }
}

TEST(EncryptedLoad, Revision3WithFortyBitKey) {
  VX_NEEDS_CORPUS();
  bool ok = false;
  auto doc = Open(Corpus("encrypted-40-bit-R3.pdf"), "623", &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(doc->Encryption().Level(), el40bit);
  EXPECT_GT(doc->PageCount(), 0);
}

TEST(EncryptedLoad, FilesEncryptedByQpdfOpenWithEitherPassword) {
  VX_NEEDS_CORPUS();
  vxtest::TempFile plain, out40, out128;
  // Object streams too: the key must be known before they are unpacked.
  std::string input = vxtest::CorpusDir() + "/samples/006-pdflatex-outline_pdflatex-outline.pdf";
  ASSERT_EQ(vxtest::RunCommand("qpdf --object-streams=generate " + vxtest::Quote(input) + " " + vxtest::Quote(plain.Path())), 0);
  ASSERT_EQ(vxtest::RunCommand("qpdf --allow-weak-crypto --encrypt usr own 40 -- " + vxtest::Quote(plain.Path()) + " " + vxtest::Quote(out40.Path())), 0);
  ASSERT_EQ(vxtest::RunCommand("qpdf --allow-weak-crypto --encrypt usr own 128 --use-aes=n -- " + vxtest::Quote(plain.Path()) + " " +
                               vxtest::Quote(out128.Path())),
            0);
  auto reference = Open(plain.Path(), "");
  for (const auto* file : {&out40, &out128}) {
    for (const char* password : {"usr", "own"}) {
      SCOPED_TRACE(file->Path() + " " + password);
      bool ok = false;
      auto doc = Open(file->Path(), password, &ok);
      ASSERT_TRUE(ok);
      EXPECT_EQ(doc->PageCount(), reference->PageCount());
      EXPECT_EQ(FirstContent(*doc), FirstContent(*reference));
      EXPECT_EQ(doc->IsOwner(), std::string(password) == "own");
    }
  }
}

TEST(EncryptedLoad, NoPasswordHandlerAndCancelledPrompt) {
  VX_NEEDS_CORPUS();
  std::string file = Corpus("enc-R2,V1,U=view,O=master.pdf");
  TvxPDFDocument doc;
  EXPECT_THROW(doc.LoadFromFile(file), EPasswordError);
  EXPECT_FALSE(doc.IsLoaded());

  std::vector<int> tries;
  doc.OnPassword = [&](TvxCustomPDFDocument&, std::string& pw, bool& proceed, int t) {
    tries.push_back(t);
    pw = "nope";
    if (t == 2) proceed = false;
  };
  EXPECT_FALSE(doc.LoadFromFile(file));
  EXPECT_FALSE(doc.IsLoaded());
  EXPECT_EQ(doc.PageCount(), 0);
  EXPECT_EQ(tries, (std::vector<int>{0, 1, 2}));
}

TEST(EncryptedLoad, UserOpenLocksTheSettings) {
  VX_NEEDS_CORPUS();
  auto doc = Open(Corpus("enc-R2,V1,U=view,O=master.pdf"), "view");
  EXPECT_FALSE(doc->IsOwner());
  EXPECT_EQ(doc->Encryption().OwnerPassword(), "");
  EXPECT_THROW(doc->Encryption().SetEnabled(false), Exception);
  try {
    doc->Encryption().SetUserPassword("x");
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "User cannot change encryption settings");
  }
}

TEST(EncryptedLoad, OtherHandlersAreRefusedByName) {
  // AES files open now; a handler other than the standard one is refused
  // with its name, and so is a crypt filter method nobody defines.
  struct Case {
    std::string encrypt, message;
  };
  for (const Case& c : {Case{"/Filter /Adobe.PubSec /V 4 /R 4", "Unsupported encryption (security handler /Adobe.PubSec)"},
                        Case{"/Filter /Standard /V 4 /R 4 /O <00> /U <00> /P -4 /CF << /StdCF << /CFM /ROT13 >> >> "
                             "/StmF /StdCF /StrF /StdCF",
                             "Unsupported encryption (crypt filter method /ROT13)"},
                        Case{"/Filter /Standard /V 7 /R 9 /O <00> /U <00> /P -4", "Unsupported encryption (/V 7)"}}) {
    vxtest::TempFile file;
    std::string bytes = vxtest::SimplePdf(1);
    // The encryption dictionary goes into the trailer.
    size_t trailer = bytes.rfind("trailer");
    size_t open = bytes.find("<<", trailer);
    bytes.insert(open + 2, " /Encrypt << " + c.encrypt + " >> /ID [<00112233445566778899aabbccddeeff> <00112233445566778899aabbccddeeff>] ");
    file.Write(bytes);
    TvxPDFDocument doc;
    doc.OnPassword = [](TvxCustomPDFDocument&, std::string&, bool&, int) {};
    try {
      doc.LoadFromFile(file.Path());
      ADD_FAILURE() << c.encrypt;
    } catch (const EUnsupportedEncryption& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
}
