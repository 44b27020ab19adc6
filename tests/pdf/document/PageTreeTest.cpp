// The page tree walk, inherited attributes, page accessors and page ranges.
#include <gtest/gtest.h>

#include "pdf/document/vxPDFDoc.h"
#include "support/PdfBuilder.h"

using namespace vx;
using vxtest::PdfBuilder;

namespace {

std::unique_ptr<TvxPDFDocument> LoadBytes(const std::string& bytes) {
  auto doc = std::make_unique<TvxPDFDocument>();
  doc->LoadFromBytes(std::make_shared<const std::string>(bytes), "t.pdf");
  return doc;
}

TvxPDFDictObject& PageDict(const TvxPDFDocument& doc, int index) {
  return Cast<TvxPDFDictObject>(doc.PageList().at(size_t(index))->Content.get());
}

}  // namespace

TEST(PageTree, InheritedAttributesArePushedIntoPages) {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 7 /MediaBox [0 0 612 792] /Rotate 90 /Resources << /R /Root >> >>");
  b.Object(3, "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R] /Rotate 0 >>");
  b.Object(4, "<< /Type /Page /Parent 3 0 R /B [9 0 R] >>");
  b.Object(5, "<< /Type /Page /Parent 2 0 R /Resources << /R /Own >> /CropBox [10 10 310 410] >>");
  b.FinishWithTable("/Root 1 0 R");
  auto doc = LoadBytes(b.Bytes());
  ASSERT_EQ(doc->PageCount(), 2);  // leaves, whatever /Count says
  TvxPDFDictObject& first = PageDict(*doc, 0);
  EXPECT_EQ(first.Find("/Parent"), nullptr);
  EXPECT_EQ(first.Find("/B"), nullptr);
  EXPECT_EQ(Cast<TvxPDFArrayObject>(first.Find("/MediaBox")).Count(), 4);
  EXPECT_EQ(doc->GetPageRotation(1), 0);
  EXPECT_EQ(doc->GetPageRotation(2), 90);
  // A page's own /Resources win and are not merged.
  EXPECT_EQ(Cast<TvxPDFNameObject>(Cast<TvxPDFDictObject>(PageDict(*doc, 1).Find("/Resources")).Find("/R")).Text, "/Own");

  auto inches = doc->GetPageSize(2, muInches);
  EXPECT_DOUBLE_EQ(inches.first, 300.0 / 72);
  EXPECT_DOUBLE_EQ(inches.second, 400.0 / 72);
  auto twips = doc->GetPageSize(2, muTwips);
  EXPECT_DOUBLE_EQ(twips.first, 6000);
  EXPECT_DOUBLE_EQ(twips.second, 8000);
  EXPECT_THROW(doc->GetPageRotation(3), EInvalidPageError);
}

TEST(PageTree, PageWithoutAnyBoxMeasuresNothing) {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] >>");
  b.Object(3, "<< /Type /Page >>");
  b.FinishWithTable("/Root 1 0 R");
  auto doc = LoadBytes(b.Bytes());
  ASSERT_EQ(doc->PageCount(), 1);
  EXPECT_EQ(doc->GetPageSize(1, muInches), std::make_pair(0.0, 0.0));
  EXPECT_EQ(doc->GetPageBox(1, muPoints), (std::array<double, 4>{0, 0, 0, 0}));
}

TEST(PageTree, KidsCycleAndMissingKidsAreSkipped) {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R 2 0 R 9 0 R 4 0 R] >>");
  b.Object(3, "<< /Type /Page /MediaBox [0 0 1 1] >>");
  b.Object(4, "<< /Type /Pages /Kids [2 0 R] >>");
  b.FinishWithTable("/Root 1 0 R");
  auto doc = LoadBytes(b.Bytes());
  EXPECT_EQ(doc->PageCount(), 1);
}

TEST(PageTree, NodesWithoutOrWithWrongTypeFailTheLoad) {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] >>");
  b.Object(3, "<< /MediaBox [0 0 1 1] >>");
  b.FinishWithTable("/Root 1 0 R");
  try {
    LoadBytes(b.Bytes());
    FAIL();
  } catch (const EPDFFileCorruptedError& e) {
    EXPECT_STREQ(e.what(), "The page tree cannot be read: object 3 is neither a page nor a page-tree node");
  }
}

TEST(PageRange, TableOfExamples) {
  auto range = [](const std::string& t) { return TvxCustomPDFDocument::ParsePageRange(t, 20); };
  EXPECT_EQ(range("1,3,5-12"), (std::vector<int>{1, 3, 5, 6, 7, 8, 9, 10, 11, 12}));
  EXPECT_EQ(range("").size(), 20u);
  EXPECT_EQ(range("-3"), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(range("18-"), (std::vector<int>{18, 19, 20}));
  EXPECT_EQ(range("4,2"), (std::vector<int>{4, 2}));
  EXPECT_EQ(range("2,2"), (std::vector<int>{2, 2}));
  std::vector<int> spaced = range("1 - 3");
  ASSERT_EQ(spaced.size(), 22u);
  EXPECT_EQ(spaced.front(), 1);
  EXPECT_EQ(spaced[1], 1);
  EXPECT_EQ(spaced.back(), 3);
  auto message = [&](const std::string& t) {
    try {
      range(t);
    } catch (const EInvalidPageError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message("5-3"), "Invalid page range (5-3)");
  EXPECT_EQ(message("0"), "Invalid page number (0)");
  EXPECT_EQ(message("1,"), "Invalid page range ()");
  EXPECT_EQ(message("1,,2"), "Invalid page range ()");
  EXPECT_EQ(message("x"), "Invalid page range (x)");
  EXPECT_EQ(message("21"), "Invalid page number (21)");
}

TEST(PageObjects, CollectsThePageButNotOtherPages) {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] >>");
  b.Object(3, "<< /Type /Page /MediaBox [0 0 1 1] /Annots [5 0 R] /Resources 6 0 R >>");
  b.Object(4, "<< /Type /Page /MediaBox [0 0 1 1] >>");
  b.Object(5, "<< /Type /Annot /Subtype /Link /Dest [4 0 R /Fit] /P 3 0 R >>");
  b.Object(6, "<< /Font << >> >>");
  b.FinishWithTable("/Root 1 0 R");
  auto doc = LoadBytes(b.Bytes());
  auto objects = doc->GetPageObjects(1);
  std::vector<int> numbers;
  for (auto& o : *objects) numbers.push_back(o->ObjectNumber);
  EXPECT_EQ(numbers, (std::vector<int>{3, 5, 6}));
  EXPECT_THROW(doc->GetPageObjects(0), EInvalidPageError);
}
