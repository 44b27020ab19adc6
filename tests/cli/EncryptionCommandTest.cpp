// Encryption on the command line: --encrypt aes256 and aes128 make files
// qpdf, Poppler and MuPDF open with each password; files opened with a
// password and saved without --encrypt keep their own encryption; refusals
// have their exit codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "support/PdfBuilder.h"

using vxtest::Quote;
using vxtest::RunCommand;
using vxtest::TempFile;

namespace {

struct Result {
  int code;
  std::string out;
};

Result Vordel(const std::string& args) {
  Result r;
  r.code = RunCommand(std::string(VORDEL_BINARY) + " " + args, &r.out, true);
  return r;
}

std::string Shown(const std::string& path, const std::string& password) {
  std::string out;
  RunCommand("qpdf --show-encryption --show-encryption-key --password=" + Quote(password) + " " + Quote(path), &out);
  return out;
}

std::string Corpus(const std::string& name) { return vxtest::CorpusDir() + "/qpdf-tests/" + name; }

const std::string kFont = "/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>";

}  // namespace

TEST(VordelEncrypt, AesOutputsOpenInEveryReaderWithEachPassword) {
  VX_NEEDS_CORPUS();
  TempFile in;
  in.Write(vxtest::SimplePdf(2, "", "/Title (Report)", kFont));
  for (const std::string level : {"aes256", "aes128"}) {
    SCOPED_TRACE(level);
    TempFile out;
    Result made = Vordel("set -q --encrypt " + level + " --user-password us --owner-password ow --allow print,copy " +
                         Quote(in.Path()) + " -o " + Quote(out.Path()));
    ASSERT_EQ(made.code, 0) << made.out;
    std::string shown = Shown(out.Path(), "ow");
    EXPECT_NE(shown.find(level == "aes256" ? "R = 6" : "R = 4"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Supplied password is owner password"), std::string::npos) << shown;
    EXPECT_NE(shown.find("print low resolution: allowed"), std::string::npos) << shown;
    EXPECT_NE(shown.find("extract for any purpose: allowed"), std::string::npos) << shown;
    EXPECT_NE(shown.find("modify other: not allowed"), std::string::npos) << shown;
    EXPECT_NE(shown.find("modify forms: not allowed"), std::string::npos) << shown;
    EXPECT_NE(Shown(out.Path(), "us").find("Supplied password is user password"), std::string::npos);
    EXPECT_EQ(RunCommand("qpdf --check --password=us " + Quote(out.Path()) + " >/dev/null"), 0);

    // Poppler and MuPDF render page 1 with either password.
    vxtest::TempFile png(".png");
    EXPECT_EQ(RunCommand("pdftoppm -r 10 -f 1 -l 1 -png -upw us " + Quote(out.Path()) + " >/dev/null"), 0);
    EXPECT_EQ(RunCommand("pdftoppm -r 10 -f 1 -l 1 -png -opw ow " + Quote(out.Path()) + " >/dev/null"), 0);
    EXPECT_NE(RunCommand("pdftoppm -r 10 -f 1 -l 1 -png -upw nope " + Quote(out.Path()) + " >/dev/null"), 0);
    for (const char* password : {"us", "ow"}) {
      std::filesystem::remove(png.Path());
      std::string said;
      EXPECT_EQ(RunCommand("mutool draw -q -p " + std::string(password) + " -r 10 -o " + Quote(png.Path()) + " " +
                               Quote(out.Path()) + " 1",
                           &said),
                0)
          << said;
      EXPECT_GT(std::filesystem::exists(png.Path()) ? std::filesystem::file_size(png.Path()) : 0, 100u) << password;
    }
    std::string text;
    RunCommand("pdftotext -upw us " + Quote(out.Path()) + " -", &text, false);
    EXPECT_NE(text.find("Page 2"), std::string::npos) << text;

    // info names the level; a wrong or missing password is exit 3.
    Result info = Vordel("info --json --password us " + Quote(out.Path()));
    ASSERT_EQ(info.code, 0) << info.out;
    nlohmann::json j = nlohmann::json::parse(info.out);
    EXPECT_EQ(j["encryption"]["level"], level);
    EXPECT_EQ(j["encryption"]["permissions"], nlohmann::json({"print", "copy"}));
    EXPECT_EQ(Vordel("info --password wrong " + Quote(out.Path())).code, 3);
    EXPECT_EQ(Vordel("info " + Quote(out.Path())).code, 3);
  }
  Result human = Vordel("info --password master " + Quote(Corpus("enc-XI-R6,V5,U=view,O=master.pdf")));
  EXPECT_NE(human.out.find("Encryption:         AES 256-bit, opened as owner; permissions: "), std::string::npos)
      << human.out;
  EXPECT_EQ(Vordel("set -q --encrypt aes512 " + Quote(in.Path()) + " -o /dev/null").code, 1);

  // Another security handler: one line naming it, exit 2 (not a password
  // problem).
  std::string bytes = vxtest::SimplePdf(1);
  bytes.insert(bytes.find("<<", bytes.rfind("trailer")) + 2, " /Encrypt << /Filter /Adobe.PubSec /V 4 >> ");
  TempFile other;
  other.Write(bytes);
  Result refused = Vordel("info " + Quote(other.Path()));
  EXPECT_EQ(refused.code, 2);
  EXPECT_EQ(refused.out, "vordel: " + other.Path() + ": Unsupported encryption (security handler /Adobe.PubSec)\n");
  EXPECT_NE(Vordel("set --help").out.find("aes256 (AES-256, the one to choose)"), std::string::npos);
}

TEST(VordelEncrypt, SavesWithoutEncryptKeepTheSourceEncryption) {
  VX_NEEDS_CORPUS();
  // Opened with the user password: same key, so the owner password still
  // opens the copy as owner.
  struct Case {
    std::string file, user, owner;
  };
  for (const Case& c : {Case{"enc-R3,V2,U=view,O=master.pdf", "view", "master"},
                        Case{"enc-R2,V1,U=view,O=master.pdf", "view", "master"},
                        Case{"enc-XI-R6,V5,U=view,O=master.pdf", "view", "master"}}) {
    for (const std::string& opener : {c.user, c.owner}) {
      SCOPED_TRACE(c.file + " opened with " + opener);
      TempFile out;
      Result saved = Vordel("set -q --fit-window --password " + opener + " " + Quote(Corpus(c.file)) + " -o " +
                            Quote(out.Path()));
      ASSERT_EQ(saved.code, 0) << saved.out;
      std::string source = Shown(Corpus(c.file), c.owner), copy = Shown(out.Path(), c.owner);
      EXPECT_NE(copy.find("Supplied password is owner password"), std::string::npos) << copy;
      EXPECT_NE(Shown(out.Path(), c.user).find("Supplied password is user password"), std::string::npos);
      for (const char* key : {"R = ", "P = ", "Encryption key = "}) {
        size_t a = source.find(key), b = copy.find(key);
        ASSERT_NE(a, std::string::npos);
        ASSERT_NE(b, std::string::npos) << copy;
        EXPECT_EQ(copy.substr(b, copy.find('\n', b) - b), source.substr(a, source.find('\n', a) - a));
      }
      EXPECT_EQ(RunCommand("qpdf --check --password=" + c.user + " " + Quote(out.Path()) + " >/dev/null"), 0);
    }
  }
  // Only the attachments encrypted (/EFF, with /Identity for streams and
  // strings): kept so, and the attachment reads back the same.
  const std::string attachments = Corpus("enc-XI-R6,V5,U=attachment,encrypted-attachments.pdf");
  TempFile copy;
  ASSERT_EQ(Vordel("set -q --password attachment " + Quote(attachments) + " -o " + Quote(copy.Path())).code, 0);
  std::string source = Shown(attachments, "attachment"), kept = Shown(copy.Path(), "attachment");
  for (const char* line : {"stream encryption method: none", "string encryption method: none",
                           "file encryption method: AESv3"}) {
    EXPECT_NE(source.find(line), std::string::npos) << source;
    EXPECT_NE(kept.find(line), std::string::npos) << kept;
  }
  std::string before, after;
  RunCommand("qpdf --password=attachment --show-attachment=attachment2.png " + Quote(attachments), &before, false);
  RunCommand("qpdf --password=attachment --show-attachment=attachment2.png " + Quote(copy.Path()), &after, false);
  EXPECT_GT(before.size(), 100u);
  EXPECT_TRUE(after == before) << after.size() << " bytes against " << before.size();

  // An owner may still change the permissions with --encrypt and --allow.
  TempFile changed;
  ASSERT_EQ(Vordel("set -q --password master --encrypt aes256 --user-password view --owner-password master --allow none " +
                   Quote(Corpus("enc-R3,V2,U=view,O=master.pdf")) + " -o " + Quote(changed.Path()))
                .code,
            0);
  std::string shown = Shown(changed.Path(), "master");
  EXPECT_NE(shown.find("R = 6"), std::string::npos) << shown;
  EXPECT_NE(shown.find("print low resolution: not allowed"), std::string::npos) << shown;
}
