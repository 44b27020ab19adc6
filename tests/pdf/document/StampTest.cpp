// Page stamping: content above or below a page, resources, transparency
// states and image objects, checked in memory and in files rendered by
// Poppler.
#include <gtest/gtest.h>

#include <regex>

#include "pdf/document/vxPDFDoc.h"
#include "pdf/document/vxPicture.h"
#include "pdf/filters/vxFilters.h"
#include "support/PdfBuilder.h"

using namespace vx;
using vxtest::PdfBuilder;
using vxtest::Quote;
using vxtest::RunCommand;
using vxtest::TempFile;

namespace {

std::unique_ptr<TvxPDFDocument> LoadBytes(const std::string& bytes) {
  auto doc = std::make_unique<TvxPDFDocument>();
  doc->SetShowSetupDialog(false);
  doc->LoadFromBytes(std::make_shared<const std::string>(bytes), "t.pdf");
  return doc;
}

TvxPDFDictObject& Page(TvxPDFDocument& doc, int index) {
  return Cast<TvxPDFDictObject>(doc.PageList().at(size_t(index))->Content.get());
}

// A content stream of the document drawing `text`, as a stamp.
std::unique_ptr<TvxPDFIndirectReference> MakeStamp(TvxPDFDocument& doc, const std::string& text) {
  auto dict = std::make_unique<TvxPDFDictObject>();
  dict->AddInteger("/Length", int(text.size()));
  int32_t number = doc.Store().NewObjectNumber();
  doc.Store().Add(std::make_unique<TvxPDFIndirectObject>(
      doc.DocumentID(), number, uint16_t(0),
      std::make_unique<TvxPDFStreamObject>(std::move(dict), std::make_unique<TvxMemoryStream>(text)), 1));
  return std::make_unique<TvxPDFIndirectReference>(doc.DocumentID(), number, uint16_t(0));
}

std::vector<int32_t> ContentNumbers(TvxPDFDocument& doc, int page) {
  std::vector<int32_t> numbers;
  TvxPDFObject* contents = Page(doc, page).Find("/Contents");
  if (auto* ref = As<TvxPDFIndirectReference>(contents)) contents = doc.Store().Resolve(ref);
  auto& array = Cast<TvxPDFArrayObject>(contents);
  for (int i = 0; i < array.Count(); ++i) numbers.push_back(Cast<TvxPDFIndirectReference>(array.GetItem(i)).ObjectNumber);
  return numbers;
}

// A page rendered by pdftoppm as RGB pixels.
struct Raster {
  int width = 0, height = 0;
  std::string pixels;
  std::array<int, 3> At(int x, int y) const {
    size_t i = (size_t(y) * size_t(width) + size_t(x)) * 3;
    return {uint8_t(pixels[i]), uint8_t(pixels[i + 1]), uint8_t(pixels[i + 2])};
  }
};

Raster Render(const std::string& pdf, int page) {
  TempFile out(".ppm");
  std::string base = out.Path().substr(0, out.Path().size() - 4);
  EXPECT_EQ(RunCommand("pdftoppm -r 72 -singlefile -f " + std::to_string(page) + " -l " + std::to_string(page) + " " +
                       Quote(pdf) + " " + Quote(base)),
            0);
  std::string ppm = out.Read();
  Raster r;
  std::smatch m;
  std::regex header("P6\\s+(\\d+)\\s+(\\d+)\\s+255\\s");
  EXPECT_TRUE(std::regex_search(ppm, m, header));
  r.width = std::stoi(m[1]);
  r.height = std::stoi(m[2]);
  r.pixels = ppm.substr(size_t(m.position(0) + m.length(0)));
  return r;
}

}  // namespace

TEST(Stamp, ContentsShapesAndOverlayWrapping) {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 6 0 R] >>");
  b.Object(3, "<< /Type /Page /MediaBox [0 0 100 100] /Contents 10 0 R >>");
  b.Object(4, "<< /Type /Page /MediaBox [0 0 100 100] /Contents 10 0 R >>");
  b.Object(5, "<< /Type /Page /MediaBox [0 0 100 100] /Contents [10 0 R 11 0 R] >>");
  b.Object(6, "<< /Type /Page /MediaBox [0 0 100 100] >>");
  b.Stream(10, "", "0 0 1 rg 0 0 10 10 re f");
  b.Stream(11, "", "1 0 0 RG");
  b.FinishWithTable("/Root 1 0 R");
  auto doc = LoadBytes(b.Bytes());
  doc->EnsureStateStreams();
  const int32_t save = doc->SaveStateStream(), restore = doc->RestoreStateStream();
  ASSERT_GT(save, 0);
  ASSERT_EQ(restore, save + 1);
  auto s1 = MakeStamp(*doc, "q Q"), s2 = MakeStamp(*doc, "q Q");

  doc->AppendPageContent(0, Page(*doc, 0).Find("/Contents"), *s1, true);
  EXPECT_EQ(ContentNumbers(*doc, 0), (std::vector<int32_t>{save, 10, restore, s1->ObjectNumber}));
  // Stamped again above: not wrapped a second time.
  doc->AppendPageContent(0, Page(*doc, 0).Find("/Contents"), *s2, true);
  EXPECT_EQ(ContentNumbers(*doc, 0), (std::vector<int32_t>{save, 10, restore, s1->ObjectNumber, s2->ObjectNumber}));

  doc->AppendPageContent(1, Page(*doc, 1).Find("/Contents"), *s1, false);
  EXPECT_EQ(ContentNumbers(*doc, 1), (std::vector<int32_t>{s1->ObjectNumber, 10}));

  doc->AppendPageContent(2, Page(*doc, 2).Find("/Contents"), *s1, true);
  EXPECT_EQ(ContentNumbers(*doc, 2), (std::vector<int32_t>{save, 10, 11, restore, s1->ObjectNumber}));

  doc->AppendPageContent(3, Page(*doc, 3).Find("/Contents"), *s1, true);  // no /Contents: nothing
  EXPECT_EQ(Page(*doc, 3).Find("/Contents"), nullptr);
  PdfBuilder oddBuilder;
  oddBuilder.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  oddBuilder.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] >>");
  oddBuilder.Object(3, "<< /Type /Page /MediaBox [0 0 1 1] >>");
  oddBuilder.Object(4, "<< /Type /Page /MediaBox [0 0 1 1] /Contents 12 >>");
  oddBuilder.FinishWithTable("/Root 1 0 R");
  auto odd = LoadBytes(oddBuilder.Bytes());
  try {
    odd->AppendPageContent(1, Page(*odd, 1).Find("/Contents"), *s1, false);
    FAIL();
  } catch (const EUnexpectedError& e) {
    EXPECT_STREQ(e.what(), "Unexpected content object for page 2");
  }

  // The shared streams are written once for the whole document.
  TempFile out;
  ASSERT_TRUE(doc->SaveToFile(out.Path()));
  std::string written = out.Read();
  EXPECT_EQ(RunCommand("qpdf --check " + Quote(out.Path()) + " >/dev/null"), 0);
  auto reloaded = LoadBytes(written);
  int saveStreams = 0;
  for (auto& o : reloaded->Store().Objects())
    if (auto* st = As<TvxPDFStreamObject>(o->Content.get()))
      if (st->DataView() == "q") ++saveStreams;
  EXPECT_EQ(saveStreams, 1);
}

TEST(Stamp, UnusedStateStreamsAreNotWritten) {
  std::string source = vxtest::SimplePdf(1);
  auto plain = LoadBytes(source);
  auto prepared = LoadBytes(source);
  prepared->EnsureStateStreams();
  TempFile a, b;
  plain->SaveToFile(a.Path());
  prepared->SaveToFile(b.Path());
  EXPECT_EQ(a.Read(), b.Read());
}

TEST(Stamp, ResourcesAndOpacityStates) {
  auto doc = LoadBytes(vxtest::SimplePdf(1, "", "", "/Resources << /ExtGState << /GS1 99 0 R >> >>"));
  auto state = doc->CreateOpacityState(50, 100);
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(doc->CreateOpacityState(100, 100), nullptr);
  doc->AddStateResource(0, "/GS1", state.get());  // taken already: the first stays
  doc->AddStateResource(0, "/GS2", state.get());
  auto& states = Cast<TvxPDFDictObject>(Cast<TvxPDFDictObject>(Page(*doc, 0).Find("/Resources")).Find("/ExtGState"));
  EXPECT_EQ(Cast<TvxPDFIndirectReference>(states.Find("/GS1")).ObjectNumber, 99);
  EXPECT_EQ(Cast<TvxPDFIndirectReference>(states.Find("/GS2")).ObjectNumber, state->ObjectNumber);
  try {
    doc->AddPageResource(nullptr, "/Font", *state, "/F9");
    FAIL();
  } catch (const EUnexpectedError& e) {
    EXPECT_STREQ(e.what(), "Error inserting page resource");
  }
  auto third = doc->CreateOpacityState(35, 35);
  std::string text = doc->SerializeObject(1, doc->Store().Find(third.get())->Content.get());
  EXPECT_EQ(text, "<<\r\n/CA 0.35\r\n/ca 0.35\r\n/Type /ExtGState\r\n>>");
  text = doc->SerializeObject(1, doc->Store().Find(state.get())->Content.get());
  EXPECT_EQ(text, "<<\r\n/CA 1\r\n/ca 0.5\r\n/Type /ExtGState\r\n>>");
}

TEST(Stamp, ImageObjectsFromBitmapsAndJpeg) {
  auto doc = LoadBytes(vxtest::SimplePdf(1));
  for (TvxPixelOrder order : {TvxPixelOrder::poRGB, TvxPixelOrder::poBGR}) {
    TvxBitmap bitmap(2, 1, order);
    bitmap.SetPixel(0, 0, 255, 0, 0);
    bitmap.SetPixel(1, 0, 0, 0, 255);
    EXPECT_EQ(bitmap.RGBSamples(), std::string("\xFF\x00\x00\x00\x00\xFF", 6));
    auto ref = doc->CreateImageXObject(bitmap, "/PGXImg7");
    auto& stream = Cast<TvxPDFStreamObject>(doc->Store().Find(ref.get())->Content.get());
    EXPECT_EQ(TvxFlateFilter().DecodeString(std::string(stream.DataView())), bitmap.RGBSamples());
    std::string dict = doc->SerializeObject(1, stream.Dictionary.get());
    EXPECT_EQ(dict, "<<\r\n/Type /XObject\r\n/Subtype /Image\r\n/Name /PGXImg7\r\n/Width 2\r\n/Height 1\r\n"
                    "/BitsPerComponent 8\r\n/ColorSpace /DeviceRGB\r\n/Filter /FlateDecode\r\n/Length " +
                        std::to_string(stream.DataView().size()) + "\r\n>>");
  }

  // A JPEG made by Poppler from a page is decoded, not embedded.
  TempFile page;
  page.Write(vxtest::SimplePdf(1));
  TempFile jpeg(".jpg");
  std::string base = jpeg.Path().substr(0, jpeg.Path().size() - 4);
  ASSERT_EQ(RunCommand("pdftoppm -jpeg -r 10 -singlefile " + Quote(page.Path()) + " " + Quote(base)), 0);
  TvxJPEGImage image(jpeg.Read());
  auto ref = doc->CreateImageXObject(image, "/PGXImg8");
  auto& stream = Cast<TvxPDFStreamObject>(doc->Store().Find(ref.get())->Content.get());
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(stream.Dictionary->Find("/Width")).Value, 85);  // 612 pt at 10 dpi
  EXPECT_EQ(TvxFlateFilter().DecodeString(std::string(stream.DataView())).size(), size_t(85 * 110 * 3));

  EXPECT_THROW(doc->CreateImageXObject(TvxJPEGImage("not a jpeg"), "/X"), EUnsupportedImageError);
  struct Metafile : TvxPicture {
    std::string ClassName() const override { return "TMetafile"; }
    std::unique_ptr<TvxBitmap> ToBitmap() const override { return nullptr; }
  };
  try {
    doc->CreateImageXObject(Metafile(), "/X");
    FAIL();
  } catch (const EUnsupportedImageError& e) {
    EXPECT_STREQ(e.what(), "Unsupported image format (TMetafile)");
  }
}

TEST(Stamp, RedImageAboveAndBelowRendersWhereDrawn) {
  VX_NEEDS_CORPUS();
  std::string input = vxtest::CorpusDir() + "/samples/004-pdflatex-4-pages_pdflatex-4-pages.pdf";
  TvxPDFDocument doc;
  doc.SetShowSetupDialog(false);
  ASSERT_TRUE(doc.LoadFromFile(input));
  TvxBitmap red(8, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) red.SetPixel(x, y, 255, 0, 0);
  doc.EnsureStateStreams();
  for (int page = 0; page < 2; ++page) {
    auto image = doc.CreateImageXObject(red, "/PGXImg1");
    auto& dict = Page(doc, page);
    doc.AddPageResource(doc.Store().ResolveDictionary(dict.Find("/Resources")), "/XObject", *image, "/PGXImg1");
    // A 100 x 100 point square at (50, 50) from the bottom left.
    auto stamp = MakeStamp(doc, "q 100 0 0 100 50 50 cm /PGXImg1 Do Q");
    doc.AppendPageContent(page, dict.Find("/Contents"), *stamp, page == 0);
  }
  TempFile out;
  ASSERT_TRUE(doc.SaveToFile(out.Path()));
  EXPECT_EQ(RunCommand("qpdf --check " + Quote(out.Path()) + " >/dev/null"), 0);

  Raster before = Render(input, 1), after = Render(out.Path(), 1);
  ASSERT_EQ(before.width, after.width);
  // Inside the stamp: red. 72 dpi: one pixel per point, y from the top.
  int cx = 100, cy = after.height - 100;
  EXPECT_EQ(after.At(cx, cy), (std::array<int, 3>{255, 0, 0}));
  // Outside it the page is unchanged, text included.
  int differing = 0, inked = 0;
  for (int y = 0; y < after.height; ++y)
    for (int x = 0; x < after.width; ++x) {
      // (a pixel of margin for the smoothing at the edges)
      bool inStamp = x >= 49 && x <= 150 && y >= after.height - 151 && y <= after.height - 49;
      if (inStamp) continue;
      if (before.At(x, y) != after.At(x, y)) ++differing;
      if (before.At(x, y)[0] < 128) ++inked;
    }
  EXPECT_EQ(differing, 0);
  EXPECT_GT(inked, 100);
  std::string text;
  RunCommand("pdftotext -f 2 -l 2 " + Quote(out.Path()) + " -", &text);
  std::string original;
  RunCommand("pdftotext -f 2 -l 2 " + Quote(input) + " -", &original);
  EXPECT_EQ(text, original);  // the stamp below the content hides nothing of it
}

// Stamps saved as an incremental update: the source's bytes stay, and the
// pages, their resources and the new streams appended render the stamp.
TEST(Stamp, StampsSavedAsAnUpdateRender) {
  VX_NEEDS_CORPUS();
  std::string input = vxtest::CorpusDir() + "/samples/004-pdflatex-4-pages_pdflatex-4-pages.pdf";
  TvxPDFDocument doc;
  doc.SetShowSetupDialog(false);
  doc.SetLiteralFileNames(true);
  ASSERT_TRUE(doc.LoadFromFile(input));
  TvxBitmap red(8, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) red.SetPixel(x, y, 255, 0, 0);
  doc.EnsureStateStreams();
  auto image = doc.CreateImageXObject(red, "/PGXImg1");
  auto& dict = Page(doc, 0);
  doc.AddPageResource(doc.Store().ResolveDictionary(dict.Find("/Resources")), "/XObject", *image, "/PGXImg1");
  auto stamp = MakeStamp(doc, "q 100 0 0 100 50 50 cm /PGXImg1 Do Q");
  doc.AppendPageContent(0, dict.Find("/Contents"), *stamp, true);
  TempFile out;
  doc.SetSaveKind(TvxSaveKind::Incremental);
  ASSERT_TRUE(doc.SaveToFile(out.Path()));
  const std::string source = vxtest::ReadFile(input), saved = out.Read();
  ASSERT_GT(saved.size(), source.size());
  EXPECT_EQ(saved.compare(0, source.size(), source), 0);
  EXPECT_EQ(RunCommand("qpdf --check " + Quote(out.Path()) + " >/dev/null"), 0);
  Raster after = Render(out.Path(), 1);
  EXPECT_EQ(after.At(100, after.height - 100), (std::array<int, 3>{255, 0, 0}));
  std::string text, original;
  RunCommand("pdftotext " + Quote(out.Path()) + " -", &text);
  RunCommand("pdftotext " + Quote(input) + " -", &original);
  EXPECT_EQ(text, original);
}
