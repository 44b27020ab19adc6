// Loading: the cross-reference forms, the trailer chain, object streams,
// the eager loader and the document's life cycle.
#include <gtest/gtest.h>

#include "pdf/document/vxPDFDoc.h"
#include "pdf/filters/vxFilters.h"
#include "support/PdfBuilder.h"

using namespace vx;
using vxtest::PdfBuilder;

namespace {

// Loads `bytes` and answers the document; warnings are collected.
struct Loaded {
  std::unique_ptr<TvxPDFDocument> doc = std::make_unique<TvxPDFDocument>();
  std::vector<std::string> warnings;
  std::vector<std::string> statuses;
  std::vector<int> progress;
};

std::unique_ptr<Loaded> Load(const std::string& bytes) {
  auto l = std::make_unique<Loaded>();
  l->doc->OnWarning = [w = &l->warnings](TvxCustomPDFDocument&, const std::string& t) { w->push_back(t); };
  l->doc->OnStatusMessage = [s = &l->statuses](TvxCustomPDFDocument&, const std::string& t) { s->push_back(t); };
  l->doc->OnIOProgress = [p = &l->progress](TvxCustomPDFDocument&, int v) { p->push_back(v); };
  l->doc->LoadFromBytes(std::make_shared<const std::string>(bytes), "test.pdf");
  return l;
}

TvxPDFDictObject* Stored(const TvxCustomPDFDocument& doc, int number, int generation = 0) {
  TvxPDFIndirectObject* o = doc.Store().Find(TvxObjectKey{doc.DocumentID(), number, uint16_t(generation)});
  return o ? As<TvxPDFDictObject>(o->Content.get()) : nullptr;
}

TvxPDFIndirectObject* StoredObject(const TvxCustomPDFDocument& doc, int number) {
  return doc.Store().Find(TvxObjectKey{doc.DocumentID(), number, 0});
}

std::string NameOf(TvxPDFObject* o) { return Cast<TvxPDFNameObject>(o).Text; }

// Catalog 1, pages 2, page 3 whose /Resources points at object 4.
PdfBuilder BasicBody() {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources 4 0 R >>");
  b.Object(4, "<< /Marker /Old >>");
  return b;
}

}  // namespace

TEST(LoadStructure, IncrementalUpdateOverridesAndFreeEntryDeletes) {
  PdfBuilder b = BasicBody();
  b.FinishWithTable("/Root 1 0 R");
  b.Object(4, "<< /Marker /New >>");
  b.FinishWithTable("/Root 1 0 R");
  auto l = Load(b.Bytes());
  EXPECT_EQ(NameOf(Stored(*l->doc, 4)->Find("/Marker")), "/New");
  // The statuses name each classic section read.
  EXPECT_EQ(std::count(l->statuses.begin(), l->statuses.end(), "Reading Cross-Reference Table"), 2);

  // A newer section that marks 4 free deletes it: the older in-use entry
  // no longer counts.
  PdfBuilder f = BasicBody();
  size_t firstXref = f.FinishWithTable("/Root 1 0 R");
  size_t xref = f.Offset();
  std::string bytes = f.Bytes() + "xref\n0 1\n0000000000 65535 f \n4 1\n0000000000 00001 f \ntrailer\n<< /Size 5 /Root 1 0 R /Prev " +
                      std::to_string(firstXref) + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  auto freed = Load(bytes);
  EXPECT_EQ(freed->doc->LookupObjectOffset(4), 0);
  EXPECT_EQ(StoredObject(*freed->doc, 4), nullptr);
  EXPECT_EQ(freed->doc->PageCount(), 1);
}

TEST(LoadStructure, StartXRefOneBlankBeforeXrefAndCorruptOffsets) {
  PdfBuilder b = BasicBody();
  size_t xref = b.FinishWithTable("/Root 1 0 R");
  std::string bytes = b.Bytes();
  bytes.replace(bytes.rfind("startxref\n") + 10, std::to_string(xref).size(), std::to_string(xref - 1));
  EXPECT_EQ(Load(bytes)->doc->PageCount(), 1);

  // A startxref that points at no section: the entries are rebuilt by
  // scanning, and the load says so.
  std::string corrupt = b.Bytes();
  corrupt.replace(corrupt.rfind("startxref\n") + 10, std::to_string(xref).size(), std::to_string(2));
  auto repaired = Load(corrupt);
  EXPECT_TRUE(repaired->doc->Repaired());
  EXPECT_EQ(repaired->doc->PageCount(), 1);
  EXPECT_EQ(repaired->warnings.size(), 1u);
}

TEST(LoadStructure, SubsectionWithCountZeroEndsTheTable) {
  PdfBuilder b = BasicBody();
  std::string bytes = b.Bytes();
  size_t xref = bytes.size();
  char line[64];
  bytes += "xref\n0 4\n0000000000 65535 f \n";
  for (int n = 1; n <= 3; ++n) {
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", b.OffsetOf(n));
    bytes += line;
  }
  std::snprintf(line, sizeof line, "%010zu 00000 n \n", b.OffsetOf(4));
  bytes += "5 0\n4 1\n" + std::string(line) + "trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
  auto l = Load(bytes);
  EXPECT_EQ(l->doc->LookupObjectOffset(4), 0);
  EXPECT_EQ(StoredObject(*l->doc, 4), nullptr);
  EXPECT_EQ(l->doc->PageCount(), 1);
}

TEST(LoadStructure, PrevChainThatLoopsEnds) {
  PdfBuilder b = BasicBody();
  size_t xref = b.FinishWithTable("/Root 1 0 R");
  std::string bytes = b.Bytes();
  bytes.insert(bytes.rfind(" >>\nstartxref"), " /Prev " + std::to_string(xref));
  auto l = Load(bytes);
  EXPECT_EQ(l->doc->PageCount(), 1);
  EXPECT_TRUE(l->doc->Repaired());  // a loop means the chain cannot be trusted
}

TEST(LoadStructure, CrossReferenceStreamsWithIndexSizeAndPng) {
  PdfBuilder b = BasicBody();
  b.FinishWithStream(5, "/Root 1 0 R");
  auto l = Load(b.Bytes());
  EXPECT_EQ(l->doc->PageCount(), 1);
  EXPECT_EQ(l->statuses.front(), "Reading Cross-Reference Stream Table");
  // New objects get numbers above everything the file uses.
  EXPECT_EQ(l->doc->Store().NewObjectNumber(), 7);

  // /W [1 2 1] without /Index, compressed with PNG Up rows.
  PdfBuilder p = BasicBody();
  std::string rows, raw;
  std::vector<std::array<uint8_t, 4>> entries = {{0, 0, 0, 255}};
  for (int n = 1; n <= 4; ++n) entries.push_back({1, uint8_t(p.OffsetOf(n) >> 8), uint8_t(p.OffsetOf(n)), 0});
  size_t xrefOffset = p.Offset();
  entries.push_back({1, uint8_t(xrefOffset >> 8), uint8_t(xrefOffset), 0});
  std::array<uint8_t, 4> previous{0, 0, 0, 0};
  for (auto& e : entries) {
    raw += char(2);  // Up
    for (int i = 0; i < 4; ++i) raw += char(uint8_t(e[i] - previous[i]));
    previous = e;
  }
  std::string compressed = TvxFlateFilter().CompressString(raw, 2);
  p.Stream(5, "/Type /XRef /W [1 2 1] /Size 6 /Root 1 0 R /Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 4 >>",
           compressed);
  p.Raw("startxref\n" + std::to_string(xrefOffset) + "\n%%EOF\n");
  auto png = Load(p.Bytes());
  EXPECT_EQ(png->doc->PageCount(), 1);
  EXPECT_EQ(png->doc->LookupObjectOffset(3), int64_t(p.OffsetOf(3)));
}

TEST(LoadStructure, HybridFileFindsObjectsOnlyTheStreamLists) {
  // An /Index of odd length: the complete pairs are read, the lone number
  // left at the end is ignored.
  for (const char* index : {"[4 1]", "[4 1 9]"}) {
    PdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Object(3, "<< /Type /Page /MediaBox [0 0 612 792] /Resources 4 0 R >>");
    std::string body = b.Bytes();
    size_t offset4 = body.size();
    body += "4 0 obj\n<< /Marker /StreamOnly >>\nendobj\n";
    size_t stm = body.size();
    std::string row;
    row += char(1);
    row += char(0), row += char(0), row += char(offset4 >> 8), row += char(offset4 & 0xFF);
    row += char(0), row += char(0);
    body += "5 0 obj\n<< /Type /XRef /W [1 4 2] /Index " + std::string(index) + " /Size 6 /Length 7 >>\nstream\n" + row + "\nendstream\nendobj\n";
    size_t xref = body.size();
    char line[64];
    body += "xref\n0 4\n0000000000 65535 f \n";
    for (int n = 1; n <= 3; ++n) {
      std::snprintf(line, sizeof line, "%010zu 00000 n \n", b.OffsetOf(n));
      body += line;
    }
    body += "trailer\n<< /Size 6 /Root 1 0 R /XRefStm " + std::to_string(stm) + " >>\nstartxref\n" +
            std::to_string(xref) + "\n%%EOF\n";
    auto l = Load(body);
    ASSERT_NE(Stored(*l->doc, 4), nullptr) << index;
    EXPECT_EQ(NameOf(Stored(*l->doc, 4)->Find("/Marker")), "/StreamOnly");
  }
}

TEST(LoadStructure, ObjectStreamsWithAndWithoutFilter) {
  for (bool compress : {false, true}) {
    PdfBuilder b;
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    std::string members = "<< /Type /Pages /Kids [3 0 R] /Count 1 >> << /Type /Page /MediaBox [0 0 10 10] >>";
    std::string header = "2 0 3 42 ";
    std::string data = header + members;
    std::string entries = "/Type /ObjStm /N 2 /First " + std::to_string(header.size());
    if (compress) {
      data = TvxFlateFilter().CompressString(data, 2);
      entries += " /Filter /FlateDecode";
    }
    b.Stream(4, entries, data);
    b.FinishWithStream(5, "/Root 1 0 R", {{2, {4, 0}}, {3, {4, 1}}});
    auto l = Load(b.Bytes());
    EXPECT_EQ(l->doc->PageCount(), 1) << "compressed " << compress;
    // The /Pages node of the object stream is stored but not taken into use.
    EXPECT_EQ(StoredObject(*l->doc, 2)->UseCount, 0);
  }
}

TEST(LoadStructure, EagerLoaderFollowsOnceAndWarns) {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R /OpenAction [3 0 R /Fit] >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /MediaBox [0 0 612 792] /Annots [5 0 R] /X [0 0 R] >>");
  b.Object(5, "<< /Type /Annot /Subtype /Text /P 3 0 R /Free 6 0 R >>");
  b.Object(7, "<< /Unreached true >>");
  b.FinishWithTable("/Root 1 0 R");
  auto l = Load(b.Bytes());
  // The annotation's /P came back to the page: stored once, used again.
  EXPECT_EQ(StoredObject(*l->doc, 3)->UseCount, 3);  // page tree, /P, /OpenAction
  EXPECT_EQ(StoredObject(*l->doc, 5)->UseCount, 1);
  EXPECT_EQ(StoredObject(*l->doc, 6), nullptr);  // not in the file: silently nothing
  EXPECT_EQ(StoredObject(*l->doc, 7), nullptr);  // nothing reaches it
  EXPECT_NE(std::find(l->warnings.begin(), l->warnings.end(), "Invalid Object number in PDF (0)"), l->warnings.end());
}

TEST(LoadStructure, LongReferenceChainsDoNotExhaustTheStack) {
  PdfBuilder b;
  const int n = 20000;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R /OpenAction 10 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /MediaBox [0 0 612 792] >>");
  for (int i = 0; i < n; ++i) b.Object(10 + i, "<< /Next " + std::to_string(11 + i) + " 0 R >>");
  b.FinishWithTable("/Root 1 0 R");
  auto l = Load(b.Bytes());
  EXPECT_EQ(l->doc->Store().Count(), n + 1);
}

TEST(LoadStructure, StreamLengthsIndirectWrongAndLength1) {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /MediaBox [0 0 612 792] /Contents [4 0 R 6 0 R] >>");
  b.Object(4, "<< /Length 5 0 R >>\nstream\nHello\nendstream");
  b.Object(5, "5");
  b.Object(6, "<< /Length 2 >>\nstream\nlonger than two\nendstream");
  b.FinishWithTable("/Root 1 0 R");
  auto l = Load(b.Bytes());
  auto data = [&](int n) { return std::string(Cast<TvxPDFStreamObject>(StoredObject(*l->doc, n)->Content.get()).DataView()); };
  EXPECT_EQ(data(4), "Hello");
  EXPECT_EQ(data(6), "longer than two\n");
  EXPECT_NE(StoredObject(*l->doc, 5), nullptr);
}

TEST(LoadStructure, ReferenceToAnotherObjectsOffsetReadsAsNothing) {
  // The table sends object 4 to object 3's offset: the table cannot be
  // trusted, so the entries are rebuilt by scanning, object 4 is found where
  // it really is, and the walk does not loop.
  PdfBuilder b = BasicBody();
  b.Object(5, "<< /Self 4 0 R >>");
  b.FinishWithTable("/Root 1 0 R /Extra 5 0 R");
  std::string bytes = b.Bytes();
  char wrong[16], right[16];
  std::snprintf(right, sizeof right, "%010zu", b.OffsetOf(4));
  std::snprintf(wrong, sizeof wrong, "%010zu", b.OffsetOf(3));
  bytes.replace(bytes.find(right), 10, wrong);
  auto l = Load(bytes);
  EXPECT_TRUE(l->doc->Repaired());
  ASSERT_NE(StoredObject(*l->doc, 4), nullptr);
  EXPECT_EQ(StoredObject(*l->doc, 4)->ObjectNumber, 4);
  EXPECT_EQ(l->doc->PageCount(), 1);
}

TEST(DocumentLifeCycle, SerialsStoresAndFileNames) {
  vxtest::TempFile first, second;
  first.Write(vxtest::SimplePdf(2));
  second.Write(vxtest::SimplePdf(3));
  TvxPDFDocument doc;
  uint32_t id0 = doc.DocumentID();
  doc.LoadFromFile(first.Path());
  EXPECT_EQ(doc.DocumentID(), id0);  // a fresh document is not reset for its first load
  EXPECT_EQ(doc.PageCount(), 2);
  doc.LoadFromFile(second.Path());
  EXPECT_EQ(doc.DocumentID(), id0 + 1);
  EXPECT_EQ(doc.PageCount(), 3);
  EXPECT_EQ(doc.Filename(), first.Path());
  EXPECT_EQ(doc.WorkFileName(), second.Path());
  EXPECT_EQ(doc.Store().Find(TvxObjectKey{id0, 1, 0}), nullptr);

  // "report" opens report.pdf.
  std::string noExtension = first.Path().substr(0, first.Path().size() - 4);
  doc.LoadFromFile(noExtension);
  EXPECT_EQ(doc.WorkFileName(), first.Path());

  try {
    doc.LoadFromFile("/nonexistent/dir/report");
    FAIL();
  } catch (const EFileNotFound& e) {
    EXPECT_STREQ(e.what(), "/nonexistent/dir/report.pdf File Not Found");
  }
}

TEST(DocumentLifeCycle, FailedLoadLeavesNothingForTheNext) {
  TvxPDFDocument doc;
  PdfBuilder b = BasicBody();
  b.FinishWithTable("/Root 1 0 R");
  std::string bad = b.Bytes();
  bad.replace(bad.find("/Type /Page "), 12, "/Type /Bogus");
  EXPECT_THROW(doc.LoadFromBytes(std::make_shared<const std::string>(bad), "bad.pdf"), EPDFFileCorruptedError);
  EXPECT_FALSE(doc.IsLoaded());
  uint32_t failedId = doc.DocumentID();
  EXPECT_TRUE(doc.LoadFromBytes(std::make_shared<const std::string>(b.Bytes()), "good.pdf"));
  EXPECT_EQ(doc.DocumentID(), failedId + 1);
  EXPECT_EQ(doc.PageCount(), 1);
}

TEST(DocumentLifeCycle, StatusAndProgressOrder) {
  auto l = Load(vxtest::SimplePdf(2));
  std::vector<int> expected{10, 75, 30, 90, 60, 100};
  EXPECT_EQ(l->progress, expected);
  ASSERT_FALSE(l->statuses.empty());
  EXPECT_EQ(l->statuses.back(), "Document read complete. Pages read = 2");
  auto at = [&](const std::string& s) { return std::find(l->statuses.begin(), l->statuses.end(), s) - l->statuses.begin(); };
  EXPECT_LT(at("Traversing Pages..."), at("Processing Annotations..."));
  EXPECT_LT(at("Processing Annotations..."), at("Reading Outlines..."));
}

TEST(LoadStructure, NineteenByteTableEntriesAreReadByTheirFields) {
  // Writers that end entry lines with a single LF make 19-byte entries.
  PdfBuilder b = BasicBody();
  std::string bytes = b.Bytes();
  size_t xref = bytes.size();
  bytes += "xref\n0 5\n0000000000 65535 f\n";
  char line[64];
  for (int n = 1; n <= 4; ++n) {
    std::snprintf(line, sizeof line, "%010zu 00000 n\n", b.OffsetOf(n));
    bytes += line;
  }
  bytes += "trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  auto l = Load(bytes);
  EXPECT_EQ(l->doc->PageCount(), 1);
  EXPECT_EQ(NameOf(Stored(*l->doc, 4)->Find("/Marker")), "/Old");
  // A type that is neither n nor f makes the table unusable: the entries
  // are rebuilt by scanning instead of guessed.
  std::string bad = bytes;
  bad.replace(bad.find("00000 n\n"), 7, "00000 x");
  auto repaired = Load(bad);
  EXPECT_TRUE(repaired->doc->Repaired());
  EXPECT_EQ(repaired->doc->PageCount(), 1);
}

TEST(LoadStructure, ObjectsBeingReadAreNotReadAgainFromTheirOwnStreams) {
  // Found by fuzzing: broken objects whose stream dictionaries lead back to
  // objects still being read took seconds per kilobyte (each was read again
  // at every level of the nested walks). Read once each, the load ends at
  // once; a return of the fault shows as this test running into its time
  // limit. Its table points at the wrong objects; found by scanning, the
  // latest object under the catalog's number is a page-tree node that does
  // not parse, and no catalog is left: the file is refused as corrupted
  // rather than loaded as an empty document.
  std::string bytes = vxtest::ReadFile(std::string(VX_SOURCE_DIR) + "/fuzz/corpus/load/regression-mutual-streams");
  TvxPDFDocument doc;
  EXPECT_THROW(doc.LoadFromBytes(std::make_shared<const std::string>(bytes), "fuzz.pdf"), EPDFFileCorruptedError);
  EXPECT_FALSE(doc.IsLoaded());
}
