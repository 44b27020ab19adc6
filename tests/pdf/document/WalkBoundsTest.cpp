// Hostile shapes for the walks that follow references at load: a graph
// whose every node names the next one twice is 2^40 paths deep in 40 levels
// of a 3 KB file. Each walk must end, in time linear in the file.
#include <gtest/gtest.h>

#include "WriterTestSupport.h"
#include "support/PikeQuery.h"

using namespace vx;
using vxtest::PdfBuilder;

namespace {

constexpr int kLevels = 40;

// Objects first .. first+kLevels-1, each `node(next)` naming the next
// object twice; the one after them holds `leafBody`.
void AddDoubledChain(PdfBuilder& b, int first, const std::function<std::string(int)>& node,
                     const std::string& leafBody) {
  for (int k = 0; k < kLevels; ++k) b.Object(first + k, node(first + k + 1));
  b.Object(first + kLevels, leafBody);
}

std::unique_ptr<TvxPDFDocument> LoadWithWarnings(const std::string& bytes, std::vector<std::string>& warnings) {
  auto doc = std::make_unique<TvxPDFDocument>();
  doc->SetShowSetupDialog(false);
  doc->OnWarning = [&](TvxCustomPDFDocument&, const std::string& text) { warnings.push_back(text); };
  doc->LoadFromBytes(std::make_shared<const std::string>(bytes), "t.pdf");
  return doc;
}

}  // namespace

TEST(WalkBounds, PageTreeSharedAtEveryLevelIsReadOnce) {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 10 0 R >>");
  auto node = [](int next) {
    std::string kid = std::to_string(next) + " 0 R";
    return "<< /Type /Pages /Kids [" + kid + " " + kid + "] /Count 1 >>";
  };
  AddDoubledChain(b, 10, node, "<< /Type /Page /MediaBox [0 0 200 200] >>");
  b.FinishWithTable("/Root 1 0 R");
  ASSERT_LT(b.Bytes().size(), 4096u);

  std::vector<std::string> warnings;
  auto doc = LoadWithWarnings(b.Bytes(), warnings);
  ASSERT_EQ(doc->PageCount(), 1);
  EXPECT_EQ(doc->DeclaredPageCount(), 1);
  // Once per level: the second kid of every node is the one already read.
  ASSERT_EQ(warnings.size(), size_t(kLevels));
  EXPECT_EQ(warnings.front(), "Page tree node 50 is reached a second time and is skipped");

  vxtest::TempFile out;
  doc->SaveToFile(out.Path(), 2);
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
  EXPECT_EQ(vxtest::PikeQuery(out.Path(), "print(len(pdf.pages), pdf.pages[0].MediaBox[2])"), "1 200");
}

TEST(WalkBounds, InformationSharedAtEveryLevelIsCutShort) {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /MediaBox [0 0 200 200] >>");
  b.Object(5, "<< /Title (Kept) /Author 7 0 R /Deep 10 0 R >>");
  b.Object(7, "(Jane)");
  auto node = [](int next) {
    std::string kid = std::to_string(next) + " 0 R";
    return "<< /L " + kid + " /R " + kid + " >>";
  };
  AddDoubledChain(b, 10, node, "(leaf)");
  b.FinishWithTable("/Root 1 0 R /Info 5 0 R");

  std::vector<std::string> warnings;
  auto doc = LoadWithWarnings(b.Bytes(), warnings);
  EXPECT_EQ(doc->Info().Title(), u"Kept");
  EXPECT_EQ(doc->Info().Author(), u"Jane");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0], "A structure of more than 20000 objects is cut short; the rest reads as null");

  vxtest::TempFile out;
  doc->SaveToFile(out.Path(), 2);
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
  EXPECT_EQ(vxtest::PikeQuery(out.Path(), "print(pdf.docinfo.Title, pdf.docinfo.Author)"), "Kept Jane");
}
