// Loading on demand: a lookup reads an object (or decodes its object
// stream) the first time it is needed, the newest revision still decides
// what a number holds, and a document loaded this way saves what a full
// load saves, as another reader (qpdf through pikepdf) sees the outputs.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "pdf/document/WriterTestSupport.h"
#include "pdf/document/vxPDFDoc.h"
#include "pdf/filters/vxFilters.h"
#include "support/OtherReaderJudge.h"
#include "support/PdfBuilder.h"

using namespace vx;
using vxtest::PdfBuilder;

namespace {

using vxtest::ObjectStreamData;

void AddObjectStream(PdfBuilder& b, int number, const std::vector<std::pair<int, std::string>>& members) {
  int first = 0;
  std::string data = ObjectStreamData(members, first);
  b.Stream(number, "/Type /ObjStm /N " + std::to_string(members.size()) + " /First " + std::to_string(first), data);
}

// Three revisions over object streams:
//  1. catalog 1 and content 4 and form 5 in the body; pages 2, page 3,
//     font 7 and note 9 in object stream 10; font 6 in object stream 11,
//     reached only through the form's resources. The page also names 12,
//     which no section defines.
//  2. font 7 replaced by an object of the body (a classic table).
//  3. note 9 freed (a classic table written by hand).
std::string RevisedFile() {
  PdfBuilder b("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Stream(4, "", "q /X1 Do Q BT /F1 12 Tf 10 150 Td (Outer) Tj ET");
  b.Stream(5, "/Type /XObject /Subtype /Form /BBox [0 0 200 200] /Resources << /Font << /F2 6 0 R >> >>",
           "BT /F2 12 Tf 10 50 Td (Inner) Tj ET");
  AddObjectStream(b, 10,
                  {{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                   {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 300] /Contents 4 0 R "
                       "/Resources << /XObject << /X1 5 0 R >> /Font << /F1 7 0 R >> >> /Note 9 0 R /Gone 12 0 R >>"},
                   {7, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"},
                   {9, "(old note)"}});
  AddObjectStream(b, 11, {{6, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>"}});
  b.FinishWithStream(13, "/Root 1 0 R", {{2, {10, 0}}, {3, {10, 1}}, {7, {10, 2}}, {9, {10, 3}}, {6, {11, 0}}});
  b.Object(7, "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman >>");
  size_t second = b.FinishWithTable("/Root 1 0 R");
  std::string bytes = b.Bytes();
  size_t third = bytes.size();
  bytes += "xref\n9 1\n0000000000 00001 f \ntrailer\n<< /Size 14 /Root 1 0 R /Prev " + std::to_string(second) +
           " >>\nstartxref\n" + std::to_string(third) + "\n%%EOF\n";
  return bytes;
}

std::unique_ptr<TvxPDFDocument> Load(const std::string& path, bool onDemand, const std::string& password = "") {
  auto doc = std::make_unique<TvxPDFDocument>();
  doc->SetShowSetupDialog(false);
  doc->SetLiteralFileNames(true);
  doc->SetLoadOnDemand(onDemand);
  doc->OnPassword = [password](TvxCustomPDFDocument&, std::string& offered, bool& proceed, int tries) {
    if (tries == 0)
      offered = password;
    else
      proceed = false;
  };
  doc->LoadFromFile(path);
  return doc;
}

bool Stored(const TvxCustomPDFDocument& doc, int32_t number) {
  return doc.Store().IndexOf(doc.DocumentID(), number, 0) >= 0;
}

std::string BaseFontOf(TvxCustomPDFDocument& doc, int32_t number) {
  TvxPDFIndirectObject* font = doc.Store().Find(TvxObjectKey{doc.DocumentID(), number, 0});
  auto* dict = font ? As<TvxPDFDictObject>(font->Content.get()) : nullptr;
  auto* name = dict ? As<TvxPDFNameObject>(dict->Find("/BaseFont")) : nullptr;
  return name ? name->Text.str() : "";
}

}  // namespace

// What a load on demand reads, and what a lookup then finds: the member of
// an object stream reached only through a late reference is read when
// looked up; the newest revision decides (a replaced member, a freed one);
// a number nobody defines finds nothing. Saved, the document holds what a
// full load's save holds.
TEST(LoadOnDemand, LookupsFollowTheNewestRevisionAndSaveLikeAFullLoad) {
  vxtest::TempFile source, lazyOut, fullOut;
  source.Write(RevisedFile());

  auto full = Load(source.Path(), false);
  auto lazy = Load(source.Path(), true);
  ASSERT_EQ(lazy->PageCount(), 1);
  EXPECT_EQ(lazy->GetPageSize(1, muPoints), full->GetPageSize(1, muPoints));

  // The full load reached the form and its font; the load on demand did
  // not read them (nor decode stream 11).
  EXPECT_TRUE(Stored(*full, 5));
  EXPECT_TRUE(Stored(*full, 6));
  EXPECT_FALSE(Stored(*lazy, 5));
  EXPECT_FALSE(Stored(*lazy, 6));

  // Looked up, they are read then, stored but not yet part of what is written.
  EXPECT_EQ(BaseFontOf(*lazy, 6), "/Courier");
  EXPECT_EQ(lazy->Store().Find(TvxObjectKey{lazy->DocumentID(), 6, 0})->UseCount, 0);
  EXPECT_EQ(BaseFontOf(*lazy, 7), "/Times-Roman");  // the replacement, not the member
  EXPECT_EQ(lazy->Store().Find(TvxObjectKey{lazy->DocumentID(), 9, 0}), nullptr);   // freed
  EXPECT_EQ(lazy->Store().Find(TvxObjectKey{lazy->DocumentID(), 12, 0}), nullptr);  // never defined

  lazy->SaveToFile(lazyOut.Path());
  full->SaveToFile(fullOut.Path());
  // Complete now: nothing more is read on demand.
  EXPECT_FALSE(lazy->Store().HasSource());
  EXPECT_EQ(lazy->Store().Find(TvxObjectKey{lazy->DocumentID(), 9999, 0}), nullptr);

  vxtest::JudgeVerdict lazyVerdict = vxtest::JudgeAsOtherReader(source.Path(), lazyOut.Path());
  EXPECT_EQ(lazyVerdict.status, 0) << lazyVerdict.Text();
  vxtest::JudgeVerdict sameAsFull = vxtest::JudgeAsOtherReader(fullOut.Path(), lazyOut.Path());
  EXPECT_EQ(sameAsFull.status, 0) << sameAsFull.Text();
  EXPECT_EQ(vxtest::PdfText(lazyOut.Path()), vxtest::PdfText(fullOut.Path()));
  EXPECT_NE(vxtest::PdfText(lazyOut.Path()).find("Inner"), std::string::npos);

  // Two documents loaded on demand and saved alike give the same bytes.
  vxtest::TempFile first, second;
  Load(source.Path(), true)->SaveToFile(first.Path());
  Load(source.Path(), true)->SaveToFile(second.Path());
  EXPECT_EQ(vxtest::ReadFile(first.Path()), vxtest::ReadFile(second.Path()));
}

// Encrypted files with object streams (RC4 and AES-256): members are
// decrypted with their stream when first needed, and the document reads and
// saves as after a full load.
TEST(LoadOnDemand, EncryptedFilesReadAndSaveLikeAFullLoad) {
  VX_NEEDS_CORPUS();
  for (const char* name : {"enc-R3,V2,U=view,O=master.pdf", "enc-XI-R6,V5,U=view,O=master.pdf"}) {
    SCOPED_TRACE(name);
    const std::string path = vxtest::CorpusDir() + "/qpdf-tests/" + name;
    auto full = Load(path, false, "view");
    auto lazy = Load(path, true, "view");
    ASSERT_TRUE(lazy->IsLoaded());
    EXPECT_TRUE(lazy->IsEncrypted());
    EXPECT_EQ(lazy->PageCount(), full->PageCount());
    EXPECT_EQ(lazy->Info().Title(), full->Info().Title());
    EXPECT_EQ(lazy->Info().Producer(), full->Info().Producer());

    vxtest::TempFile out;
    lazy->SaveToFile(out.Path());
    vxtest::JudgeVerdict verdict = vxtest::JudgeAsOtherReader(path, out.Path(), {"view"});
    EXPECT_EQ(verdict.status, 0) << verdict.Text();
  }
}

// A file whose cross-reference data points nowhere is rebuilt by scanning,
// object streams included; loaded on demand it reads the same pages and
// saves what a full load saves.
TEST(LoadOnDemand, RepairedFileReadsAndSavesLikeAFullLoad) {
  std::string bytes = RevisedFile();
  // Every startxref points past the end: no section can be read.
  for (size_t at = bytes.find("startxref\n"); at != std::string::npos; at = bytes.find("startxref\n", at + 1)) {
    size_t digits = at + 10;
    size_t end = bytes.find('\n', digits);
    bytes.replace(digits, end - digits, std::string(end - digits, '9'));
  }
  vxtest::TempFile source, lazyOut, fullOut;
  source.Write(bytes);
  auto full = Load(source.Path(), false);
  auto lazy = Load(source.Path(), true);
  ASSERT_TRUE(full->Repaired());
  EXPECT_TRUE(lazy->Repaired());
  EXPECT_EQ(lazy->PageCount(), full->PageCount());
  ASSERT_EQ(lazy->PageCount(), 1);
  lazy->SaveToFile(lazyOut.Path());
  full->SaveToFile(fullOut.Path());
  vxtest::JudgeVerdict verdict = vxtest::JudgeAsOtherReader(fullOut.Path(), lazyOut.Path());
  EXPECT_EQ(verdict.status, 0) << verdict.Text();
  EXPECT_EQ(vxtest::PdfText(lazyOut.Path()), vxtest::PdfText(fullOut.Path()));
}

// Lengths read in the middle of reading a stream: the content's /Length
// is a member of an object stream whose own /Length is an object of the
// body, so a lookup of the content reads the length's stream, which reads
// its length, each moving the reader. No data may be lost on the way. A
// stream whose /Length names the stream itself reads as a full load reads it.
TEST(LoadOnDemand, IndirectLengthsReadInTheMiddleOfAStream) {
  PdfBuilder b("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
  const std::string text = "BT /F1 12 Tf 10 150 Td (Measured) Tj ET";
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R /Loop 6 0 R "
              "/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> >>");
  b.Object(4, "<< /Length 5 0 R >>\nstream\n" + text + "\nendstream");
  int first = 0;
  const std::string members = ObjectStreamData({{5, std::to_string(text.size())}}, first);
  b.Object(7, "<< /Type /ObjStm /N 1 /First " + std::to_string(first) + " /Length 9 0 R >>\nstream\n" + members +
                  "\nendstream");
  b.Object(9, std::to_string(members.size()));
  b.Object(6, "<< /Length 6 0 R >>\nstream\nabc\nendstream");
  b.FinishWithStream(8, "/Root 1 0 R", {{5, {7, 0}}});
  vxtest::TempFile source, lazyOut, fullOut;
  source.Write(b.Bytes());

  auto full = Load(source.Path(), false);
  auto lazy = Load(source.Path(), true);
  auto dataOf = [](TvxCustomPDFDocument& doc, int32_t number) {
    TvxPDFIndirectObject* o = doc.Store().Find(TvxObjectKey{doc.DocumentID(), number, 0});
    auto* stream = o ? As<TvxPDFStreamObject>(o->Content.get()) : nullptr;
    return stream ? std::string(stream->DataView()) : std::string("(none)");
  };
  EXPECT_EQ(dataOf(*lazy, 4), text);
  TvxPDFIndirectObject* length = lazy->Store().Find(TvxObjectKey{lazy->DocumentID(), 5, 0});
  ASSERT_NE(length, nullptr);
  auto* value = As<TvxPDFIntegerObject>(length->Content.get());
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->Value, int64_t(text.size()));
  EXPECT_EQ(dataOf(*lazy, 6), dataOf(*full, 6));
  lazy->SaveToFile(lazyOut.Path());
  full->SaveToFile(fullOut.Path());
  EXPECT_NE(vxtest::PdfText(lazyOut.Path()).find("Measured"), std::string::npos);
  vxtest::JudgeVerdict verdict = vxtest::JudgeAsOtherReader(fullOut.Path(), lazyOut.Path());
  EXPECT_EQ(verdict.status, 0) << verdict.Text();
}

// A sample of the corpus: loaded on demand, a document reports what a full
// load reports, and its save holds what the source holds for another reader.
TEST(LoadOnDemand, CorpusSampleReadsAndSavesLikeAFullLoad) {
  VX_NEEDS_CORPUS();
#if defined(__SANITIZE_ADDRESS__)
  const std::vector<std::string> names = {"qpdf-tests/c-object-streams.pdf", "qpdf-tests/compress-objstm-xref.pdf"};
#else
  const std::vector<std::string> names = {"qpdf-tests/c-object-streams.pdf", "qpdf-tests/compress-objstm-xref.pdf",
                                          "qpdf-tests/enc-base.pdf", "qpdf-tests/linearized-and-warnings.pdf",
                                          "qpdf-tests/copy-foreign-objects-in.pdf"};
#endif
  vxtest::TempDir dir;
  std::vector<vxtest::JudgePair> pairs;
  for (size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    const std::string path = vxtest::CorpusDir() + "/" + names[i];
    auto full = Load(path, false);
    auto lazy = Load(path, true);
    EXPECT_EQ(lazy->PageCount(), full->PageCount());
    EXPECT_EQ(lazy->Info().Title(), full->Info().Title());
    EXPECT_EQ(lazy->PageMode(), full->PageMode());
    EXPECT_EQ(lazy->FieldList() ? lazy->FieldList()->size() : 0, full->FieldList() ? full->FieldList()->size() : 0);
    const std::string out = dir.File(std::to_string(i) + ".pdf");
    lazy->SaveToFile(out);
    pairs.push_back({path, out, {}});
  }
  std::vector<vxtest::JudgeVerdict> verdicts = vxtest::JudgeManyAsOtherReader(pairs);
  ASSERT_EQ(verdicts.size(), pairs.size());
  for (size_t i = 0; i < verdicts.size(); ++i) EXPECT_EQ(verdicts[i].status, 0) << names[i] << ": " << verdicts[i].Text();
}

// What a full load meets while walking, a load on demand meets when the
// save completes it: an object that cannot be parsed fails the save (every
// time, the target left as it was) where it fails a full load, and a kept
// catalog entry whose objects cannot be read is reported and left out, as
// a full load does. A broken member of an object stream nothing refers to
// is never read: the file loads and saves (a full load, which expands every
// object stream, refuses it).
TEST(LoadOnDemand, UnreadableObjectsAreMetWhenTheSaveCompletesTheLoad) {
  VX_NEEDS_CORPUS();
  vxtest::TempDir dir;
  {
    SCOPED_TRACE("an object the page refers to does not parse");
    PdfBuilder b;
    vxtest::AddSimplePages(b, 1, "", [](int) { return "/Broken 9 0 R"; });
    b.Object(9, "(never closed");
    b.FinishWithTable("/Root 1 0 R");
    const std::string path = dir.File("broken.pdf");
    b.WriteTo(path);
    std::string fullError;
    try {
      Load(path, false);
    } catch (const std::exception& e) {
      fullError = e.what();
    }
    ASSERT_FALSE(fullError.empty());
    auto lazy = Load(path, true);
    EXPECT_EQ(lazy->PageCount(), 1);
    const std::string target = dir.File("unreadable.pdf");
    for (int attempt = 0; attempt < 2; ++attempt) {
      std::string saveError;
      try {
        lazy->SaveToFile(target);
      } catch (const std::exception& e) {
        saveError = e.what();
      }
      EXPECT_EQ(saveError, fullError);
      EXPECT_FALSE(std::filesystem::exists(target));
    }
  }
  {
    SCOPED_TRACE("a broken member nothing refers to");
    const std::string path = vxtest::CorpusDir() + "/qpdf-tests/eof-reading-token.pdf";
    EXPECT_THROW(Load(path, false), std::exception);
    auto lazy = Load(path, true);
    const std::string out = dir.File("unreferenced.pdf");
    lazy->SaveToFile(out);
    vxtest::JudgeVerdict verdict = vxtest::JudgeAsOtherReader(path, out);
    EXPECT_EQ(verdict.status, 0) << verdict.Text();
    EXPECT_NE(vxtest::PdfText(out).find("Potato"), std::string::npos);
  }
  {
    SCOPED_TRACE("a kept entry that cannot be read");
    const std::string path = vxtest::CorpusDir() + "/qpdf-tests/linearized-and-warnings.pdf";
    std::vector<std::string> fullWarnings, lazyWarnings;
    auto full = std::make_unique<TvxPDFDocument>();
    full->SetShowSetupDialog(false);
    full->OnWarning = [&](TvxCustomPDFDocument&, const std::string& w) { fullWarnings.push_back(w); };
    full->LoadFromFile(path);
    auto lazy = std::make_unique<TvxPDFDocument>();
    lazy->SetShowSetupDialog(false);
    lazy->SetLoadOnDemand(true);
    lazy->OnWarning = [&](TvxCustomPDFDocument&, const std::string& w) { lazyWarnings.push_back(w); };
    lazy->LoadFromFile(path);
    ASSERT_FALSE(fullWarnings.empty());
    EXPECT_TRUE(lazyWarnings.empty());
    const std::string fullOut = dir.File("full.pdf"), lazyOut = dir.File("lazy.pdf");
    full->SaveToFile(fullOut);
    lazy->SaveToFile(lazyOut);
    EXPECT_EQ(lazyWarnings, fullWarnings);
    vxtest::JudgeVerdict verdict = vxtest::JudgeAsOtherReader(fullOut, lazyOut);
    EXPECT_EQ(verdict.status, 0) << verdict.Text();
  }
}

// Pages whose entries reach other objects only through nested dictionaries
// and arrays (beside arrays of numbers, which reach nothing), and members
// listed twice in their object stream (the first counts, as in a full load):
// loaded on demand and saved, the document holds what a full load's save
// holds, each object reached once, and two such saves are the same bytes.
TEST(LoadOnDemand, WalksThroughNestedValuesOfPagesInObjectStreams) {
  PdfBuilder b("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  for (int i = 0; i < 3; ++i)
    b.Stream(20 + i, "", "BT /F1 12 Tf 10 " + std::to_string(100 + 20 * i) + " Td (Page " + std::to_string(i + 1) +
                             ") Tj ET q /X1 Do Q");
  b.Stream(30, "/Type /XObject /Subtype /Form /BBox [0 0 50 50] /Resources << /Font << /F2 31 0 R >> >>",
           "BT /F2 8 Tf 0 0 Td (Form) Tj ET");
  auto page = [](int content, const std::string& extra) {
    return "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 300] /Contents " + std::to_string(content) +
           " 0 R /Resources << /Font << /F1 10 0 R >> /XObject << /X1 30 0 R >> /ProcSet [/PDF /Text] >> " + extra +
           " >>";
  };
  AddObjectStream(b, 40,
                  {{5, page(22, "/Extra [1 2 3 << /Deep [0.5 11 0 R] >>]")},
                   {3, page(20, "/Extra << /B [0 0 1 1] /C << /D 12 0 R >> >>")},
                   {4, page(21, "/Extra [[13 0 R] 7]")},
                   {3, "<< /Type /Page /Note (listed twice) >>"},
                   {2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>"}});
  AddObjectStream(b, 41,
                  {{10, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"},
                   {11, "(eleven)"},
                   {12, "[14 0 R (twelve)]"},
                   {13, "(thirteen)"},
                   {14, "(fourteen)"},
                   {31, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>"}});
  b.FinishWithStream(50, "/Root 1 0 R",
                     {{5, {40, 0}}, {3, {40, 1}}, {4, {40, 2}}, {2, {40, 4}}, {10, {41, 0}}, {11, {41, 1}},
                      {12, {41, 2}}, {13, {41, 3}}, {14, {41, 4}}, {31, {41, 5}}});
  vxtest::TempFile source, lazyOut, fullOut, again;
  source.Write(b.Bytes());

  auto full = Load(source.Path(), false);
  auto lazy = Load(source.Path(), true);
  ASSERT_EQ(lazy->PageCount(), 3);
  EXPECT_EQ(full->PageCount(), 3);
  EXPECT_FALSE(Stored(*lazy, 11));  // reached only through a page: read when the save needs it
  full->SaveToFile(fullOut.Path());
  lazy->SaveToFile(lazyOut.Path());
  Load(source.Path(), true)->SaveToFile(again.Path());
  const std::string saved = vxtest::ReadFile(lazyOut.Path());
  EXPECT_EQ(saved, vxtest::ReadFile(again.Path()));
  EXPECT_EQ(saved.find("listed twice"), std::string::npos);
  for (const char* text : {"(eleven)", "(twelve)", "(thirteen)", "(fourteen)", "/Courier", "/Helvetica"}) {
    size_t at = saved.find(text);
    EXPECT_NE(at, std::string::npos) << text;
    EXPECT_EQ(saved.find(text, at + 1), std::string::npos) << text;
  }
  for (const char* text : {"Page 1", "Page 3", "Form"})
    EXPECT_NE(vxtest::PdfText(lazyOut.Path()).find(text), std::string::npos) << text;
  vxtest::JudgeVerdict verdict = vxtest::JudgeAsOtherReader(fullOut.Path(), lazyOut.Path());
  EXPECT_EQ(verdict.status, 0) << verdict.Text();
}

// Many object streams of every kind: a /Length stored as an object, a
// /Filter given by reference, a filter chain, one without filter and one
// whose data is cut (its members read as far as it goes, as zlib decodes
// it). Loaded on demand, the pages are those of a full load, and every load
// saves the same bytes.
TEST(LoadOnDemand, ObjectStreamsOfEveryKindGiveTheDocumentOfAFullLoad) {
  constexpr int kStreams = 40;
  constexpr int kPagesPerStream = 3;
  PdfBuilder b("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  std::map<int, std::pair<int, int>> compressed;
  std::string kids;
  const int firstPage = 1000, firstContent = 3000, firstStream = 5000;
  for (int k = 0; k < kStreams * kPagesPerStream; ++k) {
    kids += std::to_string(firstPage + k) + " 0 R ";
    b.Stream(firstContent + k, "", "BT /F1 12 Tf 10 100 Td (Page " + std::to_string(k + 1) + ") Tj ET");
  }
  b.Object(9, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  b.Object(10, "/FlateDecode");
  for (int s = 0; s < kStreams; ++s) {
    std::vector<std::pair<int, std::string>> members;
    for (int i = 0; i < kPagesPerStream; ++i) {
      const int k = s * kPagesPerStream + i;
      members.push_back({firstPage + k, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 300] /Contents " +
                                            std::to_string(firstContent + k) +
                                            " 0 R /Resources << /Font << /F1 9 0 R >> >> /Index " +
                                            std::to_string(k) + " >>"});
      compressed[firstPage + k] = {firstStream + s, i};
    }
    int first = 0;
    const std::string plain = ObjectStreamData(members, first);
    const std::string head = "/Type /ObjStm /N " + std::to_string(kPagesPerStream) + " /First " + std::to_string(first);
    const std::string packed = TvxFlateFilter().CompressString(plain, 2);
    const int number = firstStream + s;
    if (s == 21) {
      b.Object(number, "<< " + head + " /Filter /FlateDecode /Length 11 0 R >>\nstream\n" + packed + "\nendstream");
      b.Object(11, std::to_string(packed.size()));
    } else if (s == 22) {
      b.Stream(number, head + " /Filter 10 0 R", packed);
    } else if (s == 23) {
      b.Stream(number, head + " /Filter [/ASCIIHexDecode /FlateDecode]", TvxAsciiHexFilter().EncodeString(packed));
    } else if (s == 24) {
      b.Stream(number, head, plain);
    } else if (s == 25) {
      // Cut after the second member: the third page is lost.
      const size_t third = plain.rfind("<< /Type /Page", plain.find("/Index " + std::to_string(s * kPagesPerStream + 2)));
      const std::string cut = TvxFlateFilter().CompressString(plain.substr(0, third), 2);
      b.Stream(number, head + " /Filter /FlateDecode", cut.substr(0, cut.size() - 4));
    } else {
      b.Stream(number, head + " /Filter /FlateDecode", packed);
    }
  }
  compressed[2] = {firstStream + kStreams, 0};
  AddObjectStream(b, firstStream + kStreams,
                  {{2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(kStreams * kPagesPerStream) +
                           " >>"}});
  b.FinishWithStream(12, "/Root 1 0 R", compressed);
  vxtest::TempFile source, fullOut;
  source.Write(b.Bytes());

  auto full = Load(source.Path(), false);
  full->SaveToFile(fullOut.Path());
  const std::string fullText = vxtest::PdfText(fullOut.Path());
  std::string firstSave;
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    auto lazy = Load(source.Path(), true);
    ASSERT_EQ(lazy->PageCount(), full->PageCount());
    EXPECT_EQ(lazy->PageCount(), kStreams * kPagesPerStream - 1);
    for (int page = 1; page <= lazy->PageCount(); page += 7) {
      auto* dict = As<TvxPDFDictObject>(lazy->PageList()[size_t(page - 1)]->Content.get());
      auto* fullDict = As<TvxPDFDictObject>(full->PageList()[size_t(page - 1)]->Content.get());
      ASSERT_TRUE(dict && fullDict);
      EXPECT_EQ(Cast<TvxPDFIntegerObject>(dict->Find("/Index")).Value,
                Cast<TvxPDFIntegerObject>(fullDict->Find("/Index")).Value);
    }
    vxtest::TempFile out;
    lazy->SaveToFile(out.Path());
    const std::string saved = vxtest::ReadFile(out.Path());
    if (round == 0) {
      firstSave = saved;
      EXPECT_EQ(vxtest::PdfText(out.Path()), fullText);
      vxtest::JudgeVerdict verdict = vxtest::JudgeAsOtherReader(fullOut.Path(), out.Path());
      EXPECT_EQ(verdict.status, 0) << verdict.Text();
    } else {
      EXPECT_EQ(saved, firstSave);
    }
  }
}
