#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

Result Vordel(const std::string& args, bool mergeErrors = false) {
  Result r;
  r.code = RunCommand(std::string(VORDEL_BINARY) + " " + args, &r.out, mergeErrors);
  return r;
}

nlohmann::json InfoJson(const std::string& path, const std::string& extra = "") {
  Result r = Vordel("info --json " + extra + " " + Quote(path));
  EXPECT_EQ(r.code, 0) << r.out;
  return nlohmann::json::parse(r.out);
}

std::string Sample(const std::string& info = "/Title (Old title) /Author (Jane)") {
  return vxtest::SimplePdf(3, "/PageMode /UseOutlines", info);
}

std::string EncryptedCorpusFile() { return vxtest::CorpusDir() + "/qpdf-tests/enc-R2,V1,U=view,O=master.pdf"; }

}  // namespace

TEST(VordelInfo, HumanAndJsonForms) {
  TempFile in;
  in.Write(Sample());
  Result text = Vordel("info " + Quote(in.Path()));
  ASSERT_EQ(text.code, 0);
  EXPECT_NE(text.out.find("Pages:              3\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("Page mode:          outlines\n"), std::string::npos);
  EXPECT_NE(text.out.find("Title:              Old title\n"), std::string::npos);
  EXPECT_NE(text.out.find("Subject:\n"), std::string::npos);
  EXPECT_NE(text.out.find("Viewer preferences: none\n"), std::string::npos);
  EXPECT_NE(text.out.find("Encryption:         none\n"), std::string::npos);

  nlohmann::json one = InfoJson(in.Path());
  EXPECT_EQ(one["pages"], 3);
  EXPECT_EQ(one["version"], "1.4");
  EXPECT_TRUE(one["encryption"].is_null());
  EXPECT_EQ(one["info"]["Author"], "Jane");
  EXPECT_EQ(one["viewerPreferences"]["fitWindow"], false);
  EXPECT_TRUE(one["formFields"].is_array());

  Result two = Vordel("info --json " + Quote(in.Path()) + " " + Quote(in.Path()));
  nlohmann::json array = nlohmann::json::parse(two.out);
  ASSERT_TRUE(array.is_array());
  EXPECT_EQ(array.size(), 2u);
}

TEST(VordelInfo, ExitCodesAndErrorLines) {
  VX_NEEDS_CORPUS();
  TempFile garbage;
  garbage.Write("not a pdf at all");
  Result missing = Vordel("info /nonexistent/x.pdf", true);
  EXPECT_EQ(missing.code, 2);
  EXPECT_NE(missing.out.find("vordel: /nonexistent/x.pdf: /nonexistent/x.pdf File Not Found"), std::string::npos)
      << missing.out;
  EXPECT_EQ(Vordel("info " + Quote(garbage.Path())).code, 2);
  EXPECT_EQ(Vordel("info " + Quote(EncryptedCorpusFile())).code, 3);
  EXPECT_EQ(Vordel("info --password wrong " + Quote(EncryptedCorpusFile())).code, 3);
  // The highest code of several files wins; the good file is still shown.
  TempFile good;
  good.Write(Sample());
  Result mixed = Vordel("info " + Quote(good.Path()) + " " + Quote(EncryptedCorpusFile()) + " " + Quote(garbage.Path()));
  EXPECT_EQ(mixed.code, 3);
  EXPECT_NE(mixed.out.find("Pages:              3"), std::string::npos);
  EXPECT_EQ(Vordel("info --bogus x.pdf").code, 1);

  nlohmann::json user = InfoJson(EncryptedCorpusFile(), "--password view");
  EXPECT_EQ(user["encryption"]["level"], 40);
  EXPECT_EQ(user["encryption"]["owner"], false);
  nlohmann::json owner = InfoJson(EncryptedCorpusFile(), "--password master");
  EXPECT_EQ(owner["encryption"]["owner"], true);
}

TEST(VordelSet, AppliesEverySetting) {
  TempFile in, out;
  in.Write(Sample());
  Result r = Vordel("set -q --title 'Grüße' --subject S --keywords K --author A --creator C --page-mode fullscreen "
                    "--page-layout two-column-left --pdf-version 1.7 --center-window --fit-window --hide-toolbar "
                    "--transition dissolve --duration 2 --pages 2-3 " +
                    Quote(in.Path()) + " -o " + Quote(out.Path()));
  ASSERT_EQ(r.code, 0) << r.out;
  nlohmann::json j = InfoJson(out.Path());
  EXPECT_EQ(j["info"]["Title"], "Grüße");
  EXPECT_EQ(j["info"]["Creator"], "C");
  EXPECT_EQ(j["info"]["Producer"], "Vexor Paginox V2.5");
  EXPECT_EQ(j["pageMode"], "fullscreen");
  EXPECT_EQ(j["pageLayout"], "two-column-left");
  EXPECT_EQ(j["version"], "1.7");
  EXPECT_EQ(j["viewerPreferences"]["centerWindow"], true);
  EXPECT_EQ(j["viewerPreferences"]["hideToolbar"], true);
  EXPECT_EQ(j["viewerPreferences"]["hideMenubar"], false);
  std::string written = out.Read();
  EXPECT_EQ(written.rfind("%PDF-1.7\r\n", 0), 0u);
  // Two pages carry the transition.
  size_t count = 0;
  for (size_t at = written.find("/S /Dissolve"); at != std::string::npos; at = written.find("/S /Dissolve", at + 1)) ++count;
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(RunCommand("qpdf --check " + Quote(out.Path()) + " >/dev/null"), 0);

  // A second run can switch a flag off again.
  TempFile again;
  ASSERT_EQ(Vordel("set -q --no-fit-window " + Quote(out.Path()) + " -o " + Quote(again.Path())).code, 0);
  EXPECT_EQ(InfoJson(again.Path())["viewerPreferences"]["fitWindow"], false);
}

TEST(VordelSet, KeepsWhatItDoesNotSetAndAnExplicitChoiceWins) {
  TempFile in, kept, replaced;
  in.Write(vxtest::SimplePdf(1, "/PageMode /UseOC /PageLayout /TwoPageLeft /Lang (fr-CA) "
                                "/ViewerPreferences << /PrintScaling /None >>"));
  auto catalog = [](const TempFile& file) {
    std::string text;
    EXPECT_EQ(RunCommand("qpdf --show-object=1 " + Quote(file.Path()), &text), 0) << text;
    return text;
  };
  ASSERT_EQ(Vordel("set -q --fit-window " + Quote(in.Path()) + " -o " + Quote(kept.Path())).code, 0);
  std::string text = catalog(kept);
  EXPECT_NE(text.find("/PageMode /UseOC"), std::string::npos) << text;
  EXPECT_NE(text.find("/PageLayout /TwoPageLeft"), std::string::npos) << text;
  EXPECT_NE(text.find("/Lang (fr-CA)"), std::string::npos) << text;
  EXPECT_NE(text.find("/ViewerPreferences << /FitWindow true /PrintScaling /None >>"), std::string::npos) << text;

  ASSERT_EQ(Vordel("set -q --page-mode none --page-layout none " + Quote(in.Path()) + " -o " +
                   Quote(replaced.Path())).code, 0);
  text = catalog(replaced);
  EXPECT_EQ(text.find("/PageMode"), std::string::npos) << text;
  EXPECT_EQ(text.find("/PageLayout"), std::string::npos) << text;
  EXPECT_NE(text.find("/Lang (fr-CA)"), std::string::npos) << text;
}

TEST(VordelSet, UsageErrorsWriteNothing) {
  TempFile in, out;
  in.Write(Sample());
  EXPECT_EQ(Vordel("set " + Quote(in.Path())).code, 1);  // no output
  EXPECT_EQ(Vordel("set " + Quote(in.Path()) + " " + Quote(in.Path()) + " -o " + Quote(out.Path())).code, 1);
  EXPECT_EQ(Vordel("set --page-mode sideways " + Quote(in.Path()) + " -o " + Quote(out.Path())).code, 1);
  EXPECT_EQ(Vordel("set --allow print,teleport --encrypt 40 " + Quote(in.Path()) + " -o " + Quote(out.Path())).code, 1);
  EXPECT_EQ(Vordel("set --encrypt 64 " + Quote(in.Path()) + " -o " + Quote(out.Path())).code, 1);
  EXPECT_FALSE(std::filesystem::exists(out.Path()));
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "vordel-tests" / "dup-out";
  std::filesystem::create_directories(dir);
  EXPECT_EQ(Vordel("set --output-dir " + Quote(dir.string()) + " " + Quote(in.Path()) + " " + Quote(in.Path())).code, 1);
  EXPECT_TRUE(std::filesystem::is_empty(dir));
}

TEST(VordelSet, EncryptionRoundTripsThroughQpdf) {
  VX_NEEDS_CORPUS();
  TempFile in, out40, out128;
  in.Write(Sample());
  ASSERT_EQ(Vordel("set -q --encrypt 40 --user-password u --owner-password o --allow print " + Quote(in.Path()) + " -o " +
                   Quote(out40.Path()))
                .code,
            0);
  ASSERT_EQ(Vordel("set -q --encrypt 128 --owner-password o " + Quote(in.Path()) + " -o " + Quote(out128.Path())).code, 0);
  std::string shown;
  EXPECT_EQ(RunCommand("qpdf --password=o --show-encryption " + Quote(out40.Path()), &shown), 0);
  EXPECT_NE(shown.find("print low resolution: allowed"), std::string::npos) << shown;
  EXPECT_NE(shown.find("modify other: not allowed"), std::string::npos) << shown;
  TempFile decrypted;
  EXPECT_EQ(RunCommand("qpdf --password=u --decrypt " + Quote(out40.Path()) + " " + Quote(decrypted.Path())), 0);
  // An empty user password opens without a password everywhere.
  EXPECT_EQ(RunCommand("pdftoppm -r 10 -f 1 -l 1 " + Quote(out128.Path()) + " >/dev/null"), 0);
  EXPECT_EQ(InfoJson(out128.Path())["encryption"]["level"], 128);

  // A user may not remove the encryption; the owner may.
  TempFile plain;
  Result refused = Vordel("set -q --decrypt --password view " + Quote(EncryptedCorpusFile()) + " -o " + Quote(plain.Path()), true);
  EXPECT_EQ(refused.code, 3) << refused.out;  // a password matter
  EXPECT_FALSE(std::filesystem::exists(plain.Path()));
  ASSERT_EQ(Vordel("set -q --decrypt --password master " + Quote(EncryptedCorpusFile()) + " -o " + Quote(plain.Path())).code, 0);
  EXPECT_TRUE(InfoJson(plain.Path())["encryption"].is_null());
}

TEST(VordelSet, BatchesInPlaceAndFromAList) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "vordel-tests" / "batch";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "out");
  std::vector<std::string> inputs;
  for (int i = 0; i < 5; ++i) {
    std::string path = (dir / ("in" + std::to_string(i) + ".pdf")).string();
    std::ofstream(path, std::ios::binary) << vxtest::SimplePdf(i + 1);
    inputs.push_back(path);
  }
  std::string bad = (dir / "bad.pdf").string();
  std::ofstream(bad) << "garbage";
  std::string list = (dir / "list.txt").string();
  {
    std::ofstream l(list);
    for (auto& p : inputs) l << p << "\n";
    l << bad << "\n";
  }
  Result r = Vordel("set -j 3 --title T --files-from " + Quote(list) + " --output-dir " + Quote((dir / "out").string()), true);
  EXPECT_EQ(r.code, 2) << r.out;
  EXPECT_NE(r.out.find("6 files: 5 done, 1 failed"), std::string::npos) << r.out;
  for (int i = 0; i < 5; ++i) {
    nlohmann::json j = InfoJson((dir / "out" / ("in" + std::to_string(i) + ".pdf")).string());
    EXPECT_EQ(j["pages"], i + 1);
    EXPECT_EQ(j["info"]["Title"], "T");
  }
  // In place: the input itself is replaced, quietly.
  Result inPlace = Vordel("set -q --in-place --author Z " + Quote(inputs[0]), true);
  EXPECT_EQ(inPlace.code, 0);
  EXPECT_EQ(inPlace.out, "");
  EXPECT_EQ(InfoJson(inputs[0])["info"]["Author"], "Z");
}

TEST(VordelSet, CompressNoneKeepsStreamsAsLoaded) {
  TempFile in, flate, none;
  in.Write(Sample());
  ASSERT_EQ(Vordel("set -q " + Quote(in.Path()) + " -o " + Quote(flate.Path())).code, 0);
  ASSERT_EQ(Vordel("set -q --compress none " + Quote(in.Path()) + " -o " + Quote(none.Path())).code, 0);
  EXPECT_NE(flate.Read().find("/FlateDecode"), std::string::npos);
  EXPECT_EQ(none.Read().find("/FlateDecode"), std::string::npos);
  EXPECT_NE(none.Read().find("(Page 2) Tj"), std::string::npos);
}

TEST(VordelSet, RefusesToWriteNoPagesWhenTheSourceDeclaresPages) {
  // The tree declares two pages; its only kid is missing.
  vxtest::PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [7 0 R] /Count 2 >>");
  b.FinishWithTable("/Root 1 0 R");
  TempFile in, out;
  in.Write(b.Bytes());
  Result r = Vordel("set --fit-window " + Quote(in.Path()) + " -o " + Quote(out.Path()), true);
  EXPECT_EQ(r.code, 2) << r.out;
  EXPECT_NE(r.out.find("no page could be read (the page tree declares 2); "), std::string::npos) << r.out;
  EXPECT_FALSE(std::filesystem::exists(out.Path()));
  // In place, the source stays as it was.
  EXPECT_EQ(Vordel("set --fit-window --in-place " + Quote(in.Path())).code, 2);
  EXPECT_EQ(in.Read(), b.Bytes());

  // A tree whose root cannot be read fails to load, with the reason.
  vxtest::PdfBuilder rootless;
  rootless.Object(1, "<< /Type /Catalog /Pages 5 0 R >>");
  rootless.FinishWithTable("/Root 1 0 R");
  in.Write(rootless.Bytes());
  r = Vordel("set --fit-window " + Quote(in.Path()) + " -o " + Quote(out.Path()), true);
  EXPECT_EQ(r.code, 2) << r.out;
  EXPECT_NE(r.out.find("The page tree cannot be read: object 5 is missing or damaged"), std::string::npos) << r.out;
  EXPECT_FALSE(std::filesystem::exists(out.Path()));
}
