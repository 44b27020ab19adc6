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

TEST(PageTree, NodesWithoutTypeAreTakenByTheirKidsAndOthersFailTheLoad) {
  // Without /Type, a node with /Kids is a page-tree node and any other a page.
  PdfBuilder untyped;
  untyped.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  untyped.Object(2, "<< /Kids [3 0 R 4 0 R] /Count 2 >>");
  untyped.Object(3, "<< /MediaBox [0 0 1 1] >>");
  untyped.Object(4, "<< /Zype /Page /MediaBox [0 0 2 2] >>");
  untyped.FinishWithTable("/Root 1 0 R");
  EXPECT_EQ(LoadBytes(untyped.Bytes())->PageCount(), 2);

  // A node typed as something else is neither.
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] >>");
  b.Object(3, "<< /Type /Font /MediaBox [0 0 1 1] >>");
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

namespace {

// Loads `bytes`, collecting the warnings the load reports.
std::unique_ptr<TvxPDFDocument> LoadWithWarnings(const std::string& bytes, std::vector<std::string>& warnings) {
  auto doc = std::make_unique<TvxPDFDocument>();
  doc->OnWarning = [&](TvxCustomPDFDocument&, const std::string& text) { warnings.push_back(text); };
  doc->LoadFromBytes(std::make_shared<const std::string>(bytes), "t.pdf");
  return doc;
}

std::string LoadError(const std::string& bytes) {
  try {
    LoadBytes(bytes);
  } catch (const EPDFFileCorruptedError& e) {
    return e.what();
  }
  return "loaded";
}

}  // namespace

TEST(PageTree, AnUnreadableRootFailsTheLoad) {
  PdfBuilder missing;
  missing.Object(1, "<< /Type /Catalog /Pages 9 0 R >>");
  missing.FinishWithTable("/Root 1 0 R");
  EXPECT_EQ(LoadError(missing.Bytes()), "The page tree cannot be read: object 9 is missing or damaged");

  PdfBuilder none;
  none.Object(1, "<< /Type /Catalog >>");
  none.FinishWithTable("/Root 1 0 R");
  EXPECT_EQ(LoadError(none.Bytes()), "The page tree cannot be read: the catalog names no page tree");

  PdfBuilder font;
  font.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  font.Object(2, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  font.FinishWithTable("/Root 1 0 R");
  EXPECT_EQ(LoadError(font.Bytes()), "The page tree cannot be read: object 2 is neither a page nor a page-tree node");
}

TEST(PageTree, PagesThatCannotBeReadAreCountedAndReported) {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R 9 0 R 4 0 R] /Count 3 >>");
  b.Object(3, "<< /Type /Page /MediaBox [0 0 1 1] >>");
  b.Object(4, "<< /Type /Page /MediaBox [0 0 2 2] >>");
  b.FinishWithTable("/Root 1 0 R");
  std::vector<std::string> warnings;
  auto doc = LoadWithWarnings(b.Bytes(), warnings);
  EXPECT_EQ(doc->PageCount(), 2);
  EXPECT_EQ(doc->DeclaredPageCount(), 3);
  EXPECT_EQ(warnings, (std::vector<std::string>{"Page tree node 9 is missing or damaged and is skipped",
                                                "The page tree declares 3 pages but 2 could be read"}));

  // A sound tree declares what it holds and says nothing; no /Count is -1.
  warnings.clear();
  auto sound = LoadWithWarnings(vxtest::SimplePdf(3), warnings);
  EXPECT_EQ(sound->DeclaredPageCount(), 3);
  EXPECT_TRUE(warnings.empty());
  PdfBuilder uncounted;
  uncounted.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  uncounted.Object(2, "<< /Type /Pages /Kids [3 0 R] >>");
  uncounted.Object(3, "<< /Type /Page >>");
  uncounted.FinishWithTable("/Root 1 0 R");
  EXPECT_EQ(LoadBytes(uncounted.Bytes())->DeclaredPageCount(), -1);
}

TEST(PageTree, PagesWrittenInlineInKidsAreKept) {
  // Other readers show a page dictionary written directly in /Kids; it
  // becomes an object of its own, and a kid that is no page is still skipped.
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R << /Type /Page /MediaBox [0 0 7 7] >> 5] /Count 3 >>");
  b.Object(3, "<< /Type /Page /MediaBox [0 0 1 1] >>");
  b.FinishWithTable("/Root 1 0 R");
  std::vector<std::string> warnings;
  auto doc = LoadWithWarnings(b.Bytes(), warnings);
  ASSERT_EQ(doc->PageCount(), 2);
  EXPECT_EQ(doc->GetPageBox(2, muPoints)[2], 7);
  EXPECT_EQ(warnings, (std::vector<std::string>{"Page tree node 2 has a kid that is not a reference; it is skipped",
                                                "The page tree declares 3 pages but 2 could be read"}));
}

// A page listed in two places is a page in each, as other readers show it:
// the second place gets a copy with what that place inherits. Copies stop at
// the root's declared /Count.
TEST(PageTree, APageListedTwiceIsCopiedUpToTheDeclaredCount) {
  for (int declared : {4, 3}) {
    SCOPED_TRACE(declared);
    PdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Rotate 90 /Kids [3 0 R 5 0 R 3 0 R] /Count " + std::to_string(declared) + " >>");
    b.Object(3, "<< /Type /Page /MediaBox [0 0 1 1] >>");
    b.Object(5, "<< /Type /Pages /Rotate 180 /Kids [4 0 R 4 0 R] /Count 2 >>");
    b.Object(4, "<< /Type /Page /MediaBox [0 0 2 2] >>");
    b.FinishWithTable("/Root 1 0 R");
    std::vector<std::string> warnings;
    auto doc = LoadWithWarnings(b.Bytes(), warnings);
    ASSERT_EQ(doc->PageCount(), declared);
    const std::vector<double> widths = {1, 2, 2, 1};
    const std::vector<int> rotations = {90, 180, 180, 90};
    for (int i = 0; i < declared; ++i) {
      EXPECT_EQ(doc->GetPageBox(i + 1, muPoints)[2], widths[size_t(i)]) << i;
      EXPECT_EQ(doc->GetPageRotation(i + 1), rotations[size_t(i)]) << i;
    }
    EXPECT_NE(doc->PageList()[2]->ObjectNumber, 4);  // an object of its own
    std::vector<std::string> expected = {"Page 4 is listed more than once in the page tree; each further place gets a copy of it"};
    expected.push_back(declared == 4 ? "Page 3 is listed more than once in the page tree; each further place gets a copy of it"
                                     : "Page tree node 3 is reached a second time and is skipped");
    EXPECT_EQ(warnings, expected);
  }
}
