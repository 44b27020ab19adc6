// `vordel set --linearize`: files laid out for fast web view, judged by qpdf
// (--check-linearization) and poppler (pdfinfo, pdftotext) against the plain
// rewrite of the same file; the rule that a file keeps the layout it had;
// and what `vordel info` says about it, an update appended included.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

#include "cli/VordelRun.h"
#include "support/PdfBuilder.h"

using vxtest::Quote;
using vxtest::RunCommand;
using vxtest::TempFile;

namespace {

std::string Corpus(const std::string& name) { return vxtest::CorpusDir() + "/" + name; }

// What another reader makes of a file: "Optimized" and the page count from
// pdfinfo, the text from pdftotext.
struct ReaderView {
  bool optimized = false;
  std::string pages, text;
};

ReaderView Read(const std::string& path, const std::string& password = "") {
  ReaderView view;
  const std::string pw = password.empty() ? "" : "-upw " + Quote(password) + " ";
  std::string info;
  RunCommand("pdfinfo " + pw + Quote(path), &info, false);
  view.optimized = info.find("\nOptimized:       yes") != std::string::npos;
  const size_t at = info.find("\nPages:");
  if (at != std::string::npos) view.pages = info.substr(at, info.find('\n', at + 1) - at);
  RunCommand("pdftotext " + pw + Quote(path) + " -", &view.text, false);
  return view;
}

// qpdf's verdict on the layout: no errors and no warnings.
void ExpectLinearizedByQpdf(const std::string& path, const std::string& password, const std::string& what) {
  std::string said;
  const int status =
      RunCommand("qpdf " + (password.empty() ? "" : "--password=" + Quote(password) + " ") +
                     "--check-linearization " + Quote(path),
                 &said);
  EXPECT_EQ(status, 0) << what << ": " << said;
  EXPECT_NE(said.find("no linearization errors"), std::string::npos) << what << ": " << said;
}

nlohmann::json InfoJson(const std::string& path) {
  std::string out;
  EXPECT_EQ(Vordel("info --json " + Quote(path), &out, false), 0) << out;
  return nlohmann::json::parse(out, nullptr, false);
}

}  // namespace

TEST(VordelLinearize, EveryLayoutPassesOtherReadersAndMatchesThePlainRewrite) {
  VX_NEEDS_CORPUS();
  struct Row {
    const char* file;
    const char* options;
    const char* password;  // of the output
  };
  const Row rows[] = {
      {"qpdf-tests/lin1.pdf", "", ""},
      {"qpdf-tests/lin1.pdf", "--object-streams generate", ""},
      {"qpdf-tests/lin1.pdf", "--encrypt 40 --owner-password o --user-password u", "u"},
      {"qpdf-tests/lin1.pdf", "--encrypt 128 --owner-password o --user-password u", "u"},
      {"qpdf-tests/lin1.pdf", "--encrypt aes128 --owner-password o --user-password u", "u"},
      {"qpdf-tests/lin1.pdf",
       "--object-streams generate --encrypt aes256 --owner-password o --user-password u", "u"},
      // Outlines with the first page (the document opens on them), and after it.
      {"qpdf-tests/outlines-with-actions.pdf", "--page-mode outlines", ""},
      {"qpdf-tests/outlines-with-actions.pdf", "--page-mode outlines --object-streams generate", ""},
      {"qpdf-tests/page-labels-and-outlines.pdf", "", ""},
      // A form, whose fields open the document; images shared by pages.
      {"qpdf-tests/form-fields-and-annotations-shared.pdf", "--object-streams generate", ""},
      {"qpdf-tests/shared-images.pdf", "", ""},
      {"samples/003-pdflatex-image_pdflatex-image.pdf", "--encrypt aes256 --owner-password o", ""},
  };
  TempFile plain, linear;
  for (const Row& row : rows) {
    const std::string what = std::string(row.file) + " " + row.options;
    std::string said;
    ASSERT_EQ(Vordel("set -q --no-linearize " + std::string(row.options) + " " + Quote(Corpus(row.file)) + " -o " +
                         Quote(plain.Path()),
                     &said),
              0)
        << what << ": " << said;
    ASSERT_EQ(Vordel("set -q --linearize " + std::string(row.options) + " " + Quote(Corpus(row.file)) + " -o " +
                         Quote(linear.Path()),
                     &said),
              0)
        << what << ": " << said;
    ExpectLinearizedByQpdf(linear.Path(), row.password, what);
    EXPECT_EQ(RunCommand(std::string("qpdf ") + (std::string(row.password).empty() ? "" : "--password=u ") +
                         "--check " + Quote(linear.Path())),
              0)
        << what;
    const ReaderView seen = Read(linear.Path(), row.password), expected = Read(plain.Path(), row.password);
    EXPECT_TRUE(seen.optimized) << what;
    EXPECT_FALSE(expected.optimized) << what;
    EXPECT_FALSE(seen.pages.empty()) << what;
    EXPECT_EQ(seen.pages, expected.pages) << what;
    EXPECT_EQ(seen.text, expected.text) << what;
  }
}

// More pages than the walks of the plan count before they come round (the
// count has 16 bits): every page uses the font and the content stream the
// first page uses, and the hint tables must say so for each.
TEST(VordelLinearize, PagesPastTheWalkCounterAreDescribedRight) {
  constexpr int kPages = 65600;
  vxtest::PdfBuilder b;
  std::string kids;
  for (int i = 0; i < kPages; ++i) kids += std::to_string(5 + i) + " 0 R ";
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Count " + std::to_string(kPages) + " /Kids [ " + kids + "] >>");
  b.Object(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  b.Stream(4, "", "BT /F1 12 Tf 72 720 Td (x) Tj ET");
  for (int i = 0; i < kPages; ++i)
    b.Object(5 + i, "<< /Type /Page /Parent 2 0 R /MediaBox [ 0 0 200 200 ] /Resources << /Font << /F1 3 0 R >> >> "
                    "/Contents 4 0 R >>");
  b.FinishWithTable("/Root 1 0 R");
  TempFile in, out;
  b.WriteTo(in.Path());
  std::string said;
  ASSERT_EQ(Vordel("set -q --linearize " + Quote(in.Path()) + " -o " + Quote(out.Path()), &said), 0) << said;
  ExpectLinearizedByQpdf(out.Path(), "", "65600 pages");
}

// A page whose dictionary lacks /Type /Page (readers take it as a page)
// and that the document's open action names stays with its page: written
// once, and described by the hint tables as that page's.
TEST(VordelLinearize, APageWithoutItsTypeStaysWithItsPage) {
  vxtest::PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R /OpenAction [ 4 0 R /Fit ] >>");
  b.Object(2, "<< /Type /Pages /Count 2 /Kids [ 3 0 R 4 0 R ] >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [ 0 0 200 200 ] /Contents 5 0 R >>");
  b.Object(4, "<< /Parent 2 0 R /MediaBox [ 0 0 200 200 ] /Contents 6 0 R >>");
  b.Stream(5, "", "0 0 m 10 10 l S");
  b.Stream(6, "", "0 0 m 20 20 l S");
  b.FinishWithTable("/Root 1 0 R");
  TempFile in, out;
  b.WriteTo(in.Path());
  ASSERT_EQ(Vordel("set -q --linearize " + Quote(in.Path()) + " -o " + Quote(out.Path())), 0);
  std::string said;
  RunCommand("qpdf --check-linearization " + Quote(out.Path()), &said);
  EXPECT_NE(said.find("no linearization errors"), std::string::npos) << said;
  EXPECT_EQ(said.find("hint table"), std::string::npos) << said;
  RunCommand("qpdf --check " + Quote(out.Path()), &said);
  EXPECT_EQ(said.find("damaged"), std::string::npos) << said;
  EXPECT_TRUE(Read(out.Path()).optimized);
}

TEST(VordelLinearize, TwoSavesWriteTheSameBytes) {
  VX_NEEDS_CORPUS();
  for (const char* options : {"", "--object-streams generate", "--encrypt 128 --owner-password o"}) {
    TempFile first, second;
    const std::string in = Quote(Corpus("qpdf-tests/outlines-with-actions.pdf"));
    ASSERT_EQ(Vordel("set -q --linearize " + std::string(options) + " " + in + " -o " + Quote(first.Path())), 0);
    ASSERT_EQ(Vordel("set -q --linearize " + std::string(options) + " " + in + " -o " + Quote(second.Path())), 0);
    EXPECT_TRUE(first.Read() == second.Read()) << options;
  }
}

// Without --linearize or --no-linearize a file keeps the layout it had; an
// update appended to a linearized file breaks its layout, and info says so.
TEST(VordelLinearize, AFileKeepsItsLayoutAndInfoTellsWhetherItHolds) {
  VX_NEEDS_CORPUS();
  const std::string linearizedSource = Corpus("qpdf-tests/lin1.pdf");
  const std::string plainSource = Corpus("qpdf-tests/outlines-with-actions.pdf");
  TempFile out, updated, again;
  std::string said;

  ASSERT_EQ(Vordel("set -q --title X " + Quote(linearizedSource) + " -o " + Quote(out.Path())), 0);
  ExpectLinearizedByQpdf(out.Path(), "", "--title X of a linearized file");
  nlohmann::json j = InfoJson(out.Path());
  EXPECT_EQ(j["info"]["Title"], "X");
  EXPECT_EQ(j["linearized"], true);
  EXPECT_EQ(j["linearizationBroken"], false);
  Vordel("info " + Quote(out.Path()), &said, false);
  EXPECT_NE(said.find("\nLinearized:         yes (fast web view)\n"), std::string::npos) << said;

  ASSERT_EQ(Vordel("set -q --no-linearize " + Quote(linearizedSource) + " -o " + Quote(again.Path())), 0);
  EXPECT_FALSE(Read(again.Path()).optimized);
  EXPECT_EQ(InfoJson(again.Path())["linearized"], false);
  ASSERT_EQ(Vordel("set -q --title X " + Quote(plainSource) + " -o " + Quote(again.Path())), 0);
  EXPECT_FALSE(Read(again.Path()).optimized);
  Vordel("info " + Quote(again.Path()), &said, false);
  EXPECT_NE(said.find("\nLinearized:         no\n"), std::string::npos) << said;

  // An update cannot be linearized: asked for both, nothing is written.
  std::filesystem::remove(updated.Path());
  EXPECT_EQ(Vordel("set --incremental --linearize " + Quote(out.Path()) + " -o " + Quote(updated.Path()), &said), 1);
  EXPECT_NE(said.find("--incremental and --linearize exclude each other"), std::string::npos) << said;
  EXPECT_FALSE(std::filesystem::exists(updated.Path()));

  // An update of a linearized file is allowed; its layout no longer holds.
  ASSERT_EQ(Vordel("set -q --incremental --title Y " + Quote(out.Path()) + " -o " + Quote(updated.Path()), &said), 0)
      << said;
  EXPECT_EQ(updated.Read().rfind(out.Read(), 0), 0u);
  j = InfoJson(updated.Path());
  EXPECT_EQ(j["linearized"], false);
  EXPECT_EQ(j["linearizationBroken"], true);
  Vordel("info " + Quote(updated.Path()), &said, false);
  EXPECT_NE(said.find("\nLinearized:         no longer: an update was appended after the file was linearized\n"),
            std::string::npos)
      << said;

  // A rewrite of it restores the layout.
  ASSERT_EQ(Vordel("set -q " + Quote(updated.Path()) + " -o " + Quote(again.Path())), 0);
  ExpectLinearizedByQpdf(again.Path(), "", "rewrite of an updated linearized file");
  EXPECT_EQ(InfoJson(again.Path())["info"]["Title"], "Y");
}
