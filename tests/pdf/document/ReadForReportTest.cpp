// Reading for a report: the file is read piece by piece, only where the
// load parses, yet the document reports what a load of the whole file
// reports; a file cut short afterwards gives a clear error; such a document
// is never saved.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>

#include "pdf/document/WriterTestSupport.h"
#include "pdf/document/vxPDFDoc.h"
#include "pdf/filters/vxLibDeflate.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"
#include "support/PdfBuilder.h"

using namespace vx;
using vxtest::PdfBuilder;

namespace {

// Padding far larger than the reader's first piece, so that what the load
// needs lies in pieces apart from each other.
std::string Padding(size_t size) {
  std::string text;
  while (text.size() < size) text += "% filler line " + std::to_string(text.size()) + "\n";
  return text;
}

void AddObjectStream(PdfBuilder& b, int number, const std::vector<std::pair<int, std::string>>& members) {
  int first = 0;
  std::string data = vxtest::ObjectStreamData(members, first);
  b.Stream(number, "/Type /ObjStm /N " + std::to_string(members.size()) + " /First " + std::to_string(first), data);
}

// Two revisions, about a megabyte:
//  1. a cross-reference stream; pages, outline items and a signature field
//     in two object streams with padding between them; a content stream
//     whose /Length is an object of the body; the signature value and the
//     first information dictionary after more padding.
//  2. a classic table of some thousand entries (longer than a piece) that
//     replaces the information dictionary and adds object 70.
// `edit` may change the bytes of the table before the file is made.
std::string SpreadFile(const std::function<void(std::string&, const PdfBuilder&)>& edit = nullptr) {
  PdfBuilder b("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 20 0 R /PageMode /UseOutlines "
              "/AcroForm << /Fields [30 0 R] /SigFlags 3 >> >>");
  const std::string content = Padding(200000) + "BT /F1 12 Tf 10 150 Td (Spread) Tj ET";
  b.Object(4, "<< /Length 5 0 R >>\nstream\n" + content + "\nendstream");
  b.Object(5, std::to_string(content.size()));
  AddObjectStream(b, 10,
                  {{2, "<< /Type /Pages /Kids [3 0 R 6 0 R 7 0 R] /Count 3 >>"},
                   {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 300] /Contents 4 0 R >>"},
                   {20, "<< /Type /Outlines /First 21 0 R /Last 22 0 R /Count 2 >>"},
                   {21, "<< /Title (One) /Parent 20 0 R /Next 22 0 R /Dest [3 0 R /Fit] >>"}});
  b.Stream(50, "", Padding(300000));
  AddObjectStream(b, 11,
                  {{6, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 300] /Contents 4 0 R >>"},
                   {7, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents 4 0 R >>"},
                   {22, "<< /Title (Two) /Parent 20 0 R /Prev 21 0 R /Dest [6 0 R /Fit] >>"},
                   {30, "<< /FT /Sig /T (Signature1) /V 31 0 R /Type /Annot /Subtype /Widget /Rect [0 0 0 0] "
                        "/P 3 0 R >>"}});
  b.Stream(51, "", Padding(200000));
  b.Object(31, "<< /Type /Sig /Filter /Adobe.PPKLite /ByteRange [0 1 2 3] /Contents <0011> >>");
  b.Object(40, "<< /Title (First) /Author (Builder) >>");
  b.FinishWithStream(60, "/Root 1 0 R /Info 40 0 R",
                     {{2, {10, 0}}, {3, {10, 1}}, {20, {10, 2}}, {21, {10, 3}},
                      {6, {11, 0}}, {7, {11, 1}}, {22, {11, 2}}, {30, {11, 3}}});
  b.Object(41, "<< /Title (Second) /Author (Builder) /Subject (Spread over pieces) >>");
  b.Object(70, "(never read by a report)");
  for (int n = 100; n < 4100; ++n) b.Object(n, "null");
  b.FinishWithTable("/Root 1 0 R /Info 41 0 R");
  std::string bytes = b.Bytes();
  if (edit) edit(bytes, b);
  return bytes;
}

struct Loaded {
  std::unique_ptr<TvxPDFDocument> doc;
  std::vector<std::string> warnings;
};

Loaded Load(const std::string& path, bool forReport, const std::string& password = "", unsigned threads = 0) {
  Loaded loaded{std::make_unique<TvxPDFDocument>(), {}};
  TvxPDFDocument& doc = *loaded.doc;
  doc.SetLoadThreads(threads);
  doc.SetShowSetupDialog(false);
  doc.SetLiteralFileNames(true);
  doc.SetLoadOnDemand(true);
  doc.SetReadForReport(forReport);
  doc.OnWarning = [&warnings = loaded.warnings](TvxCustomPDFDocument&, const std::string& text) {
    warnings.push_back(text);
  };
  doc.OnPassword = [password](TvxCustomPDFDocument&, std::string& offered, bool& proceed, int tries) {
    if (tries == 0)
      offered = password;
    else
      proceed = false;
  };
  doc.LoadFromFile(path);
  return loaded;
}

int OutlineItems(const TvxPDFOutline* item) {
  int count = 0;
  for (; item; item = item->Next.get()) count += 1 + OutlineItems(item->FirstChild.get());
  return count;
}

// What a report shows of a document, and the warnings of its load.
std::string Summary(const Loaded& loaded) {
  const TvxCustomPDFDocument& doc = *loaded.doc;
  std::ostringstream out;
  out << "version " << int(doc.PDFVersion()) << " pages " << doc.PageCount() << " repaired " << doc.Repaired()
      << " encrypted " << doc.IsEncrypted() << " owner " << doc.IsOwner() << " mode " << int(doc.PageMode())
      << " layout " << int(doc.PageLayout()) << "\n";
  for (const char* key : {"/Title", "/Author", "/Subject", "/Producer", "/CreationDate"})
    out << key << " " << Utf16ToUtf8(doc.Info().InfoText(key)) << "\n";
  out << "outlines " << (doc.OutlineRoot() ? OutlineItems(doc.OutlineRoot()->FirstChild.get()) : 0) << " fields "
      << (doc.FieldList() ? doc.FieldList()->size() : 0) << " signed " << doc.SignatureCount() << " revisions "
      << doc.RevisionCount() << "\n";
  for (int page = 1; page <= doc.PageCount(); ++page) out << "page " << doc.GetPageSize(page, muPoints).first << "\n";
  for (const std::string& text : loaded.warnings) out << "warning " << text << "\n";
  return out.str();
}

// The table entry "oooooooooo ggggg n" of `number` in the last table, pointed
// `by` bytes further.
void MoveTableEntry(std::string& bytes, const PdfBuilder& b, int number, int by) {
  char from[32], to[32];
  std::snprintf(from, sizeof from, "%010zu 00000 n", b.OffsetOf(number));
  std::snprintf(to, sizeof to, "%010zu 00000 n", b.OffsetOf(number) + by);
  size_t at = bytes.find(from, bytes.rfind("\nxref"));
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, std::strlen(to), to);
}

}  // namespace

// Built files whose parts lie pieces apart, and the kinds of damage and
// protection a load meets: a document read for a report shows exactly what
// a load of the whole file shows, warnings included.
TEST(ReadForReport, ReportsWhatALoadOfTheWholeFileReports) {
  VX_NEEDS_CORPUS();
  struct Case {
    const char* name;
    std::string bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"object streams, revisions, indirect length, long table", SpreadFile()});
  // An entry no report reads, pointing beside its object: the whole file is
  // then read and repaired, as a full load does.
  cases.push_back({"misplaced entry", SpreadFile([](std::string& bytes, const PdfBuilder& b) {
                     MoveTableEntry(bytes, b, 70, 3);
                   })});
  cases.push_back({"startxref pointing nowhere", SpreadFile([](std::string& bytes, const PdfBuilder&) {
                     size_t at = bytes.rfind("startxref\n") + 10;
                     bytes.replace(at, bytes.find('\n', at) - at, "99999999");
                   })});
  // A stream whose /Length is too long: the data is found by "endstream".
  cases.push_back({"wrong stream length", SpreadFile([](std::string& bytes, const PdfBuilder&) {
                     size_t at = bytes.find("/Type /ObjStm /N 4 /First");
                     size_t length = bytes.find("/Length ", at) + 8;
                     bytes.replace(length, bytes.find(' ', length) - length, "9000");
                   })});
  cases.push_back({"cut short before its end", SpreadFile([](std::string& bytes, const PdfBuilder&) {
                     bytes.resize(bytes.size() - 2000);
                   })});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vxtest::TempFile source;
    source.Write(c.bytes);
    Loaded whole = Load(source.Path(), false);
    Loaded report = Load(source.Path(), true);
    EXPECT_EQ(Summary(report), Summary(whole));
  }
  // The shape of the first case, as the reader of the whole file sees it.
  vxtest::TempFile source;
  source.Write(cases[0].bytes);
  Loaded report = Load(source.Path(), true);
  EXPECT_EQ(report.doc->PageCount(), 3);
  EXPECT_EQ(Utf16ToUtf8(report.doc->Info().InfoText("/Title")), "Second");
  EXPECT_EQ(report.doc->SignatureCount(), 1);
  EXPECT_EQ(report.doc->RevisionCount(), 2);
  EXPECT_EQ(OutlineItems(report.doc->OutlineRoot()->FirstChild.get()), 2);
  EXPECT_TRUE(Load(source.Path(), true).warnings.empty());

  Loaded misplacedWhole = [&] {
    vxtest::TempFile damaged;
    damaged.Write(cases[1].bytes);
    return Load(damaged.Path(), false);
  }();
  EXPECT_TRUE(misplacedWhole.doc->Repaired());

  // Encrypted files of the corpus, with the user's and the owner's password.
  for (const char* name : {"enc-R3,V2,U=view,O=master.pdf", "enc-R2,V1,U=view,O=master.pdf"}) {
    for (const char* password : {"view", "master"}) {
      SCOPED_TRACE(std::string(name) + " " + password);
      const std::string path = vxtest::CorpusDir() + "/qpdf-tests/" + name;
      ASSERT_TRUE(std::filesystem::exists(path));
      EXPECT_EQ(Summary(Load(path, true, password)), Summary(Load(path, false, password)));
    }
  }
}

// A page tree of 60 pages, 6 to each compressed object stream, with padding
// between the streams, after a kid that is missing; `damage(k)` may change
// stream k's dictionary entries and compressed bytes.
std::string PagesInObjectStreams(const std::function<void(int, std::string&, std::string&)>& damage) {
  PdfBuilder b("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [" + [] {
    std::string kids = "999 0 R ";  // missing: its warning comes before those of the streams
    for (int page = 0; page < 60; ++page) kids += std::to_string(100 + page) + " 0 R ";
    return kids;
  }() + "] /Count 60 >>");
  std::map<int, std::pair<int, int>> members;
  for (int k = 0; k < 10; ++k) {
    std::vector<std::pair<int, std::string>> pages;
    for (int i = 0; i < 6; ++i) {
      const int number = 100 + 6 * k + i;
      pages.push_back({number, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::to_string(number) + " 300] >>"});
      members[number] = {10 + k, i};
    }
    int first = 0;
    std::string data = LibDeflateCompress(vxtest::ObjectStreamData(pages, first), 6);
    std::string entries = "/Type /ObjStm /N 6 /First " + std::to_string(first) + " /Filter /FlateDecode";
    damage(k, entries, data);
    if (entries.find("/Length") == std::string::npos) {
      b.Stream(10 + k, entries, data);
    } else {  // the damage chose the length
      b.Object(10 + k, "<< " + entries + " >>\nstream\n" + data + "\nendstream");
      if (entries.find("/Length 9 0 R") != std::string::npos) b.Object(9, std::to_string(data.size()));
    }
    b.Stream(30 + k, "", Padding(80000));
  }
  b.FinishWithStream(60, "/Root 1 0 R", members);
  return b.Bytes();
}

// The page walk has the object streams of its pages decoded, and the pages
// parsed, on a second thread while it goes on; the load takes over any it
// comes to first. Whoever does the work, and whatever damage the streams
// carry, the report shows what the load of the whole file shows.
TEST(ReadForReport, PagesReadAheadOnASecondThreadGiveWhatTheLoadAloneGives) {
  struct Case {
    const char* name;
    std::function<void(int, std::string&, std::string&)> damage;
  };
  const std::vector<Case> cases = {
      {"sound", [](int, std::string&, std::string&) {}},
      // Read ahead, this stream's length would read another object first.
      {"indirect length", [](int k, std::string& entries, std::string&) {
         if (k == 4) entries += " /Length 9 0 R";
       }},
      // The end of this stream is found by searching.
      {"length too short", [](int k, std::string& entries, std::string&) {
         if (k == 3) entries += " /Length 7";
       }},
      {"data that does not inflate", [](int k, std::string&, std::string& data) {
         if (k == 6) data.replace(data.size() / 2, 8, "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF");
       }},
      {"member count beyond the data", [](int k, std::string& entries, std::string&) {
         if (k == 2) entries.replace(entries.find("/N 6"), 4, "/N 9");
       }},
      {"not an object stream", [](int k, std::string& entries, std::string&) {
         if (k == 8) entries.replace(entries.find("/ObjStm"), 7, "/XObject");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vxtest::TempFile source;
    source.Write(PagesInObjectStreams(c.damage));
    // What a load shows, or the error it fails with.
    auto outcome = [&](bool forReport, unsigned threads) {
      try {
        return Summary(Load(source.Path(), forReport, "", threads));
      } catch (const std::exception& e) {
        return std::string("failed: ") + e.what();
      }
    };
    const std::string whole = outcome(false, 0);
    for (int run = 0; run < 8; ++run)
      EXPECT_EQ(outcome(true, run == 0 ? 1 : 0), whole) << (run == 0 ? "on one thread" : "on two threads");
  }
  vxtest::TempFile source;
  source.Write(PagesInObjectStreams([](int, std::string&, std::string&) {}));
  EXPECT_EQ(Load(source.Path(), true).doc->PageCount(), 60);
}

// 40 object streams, each of three pages, an outline item and 60 KB of
// text: more decoded data than a report load keeps, and more streams than
// the second thread keeps the data of. The outline is read after the page
// walk, from every stream again.
std::string ManyLargeObjectStreams() {
  constexpr int kStreams = 40;
  PdfBuilder b("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 3 0 R >>");
  std::string kids;
  for (int page = 0; page < 3 * kStreams; ++page) kids += std::to_string(100 + page) + " 0 R ";
  b.Object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(3 * kStreams) + " >>");
  b.Object(3, "<< /Type /Outlines /First 1000 0 R /Last " + std::to_string(1000 + kStreams - 1) +
                  " 0 R /Count " + std::to_string(kStreams) + " >>");
  std::map<int, std::pair<int, int>> members;
  for (int k = 0; k < kStreams; ++k) {
    std::vector<std::pair<int, std::string>> objects;
    for (int i = 0; i < 3; ++i) {
      const int number = 100 + 3 * k + i;
      objects.push_back({number, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::to_string(number) + " 300] >>"});
    }
    std::string item = "<< /Title (Item " + std::to_string(k) + ") /Parent 3 0 R";
    if (k > 0) item += " /Prev " + std::to_string(999 + k) + " 0 R";
    if (k + 1 < kStreams) item += " /Next " + std::to_string(1001 + k) + " 0 R";
    objects.push_back({1000 + k, item + " >>"});
    objects.push_back({2000 + k, "(" + std::string(60000, 'a' + char(k % 26)) + ")"});
    for (size_t i = 0; i < objects.size(); ++i) members[objects[i].first] = {500 + k, int(i)};
    int first = 0;
    std::string data = LibDeflateCompress(vxtest::ObjectStreamData(objects, first), 6);
    b.Stream(500 + k, "/Type /ObjStm /N 5 /First " + std::to_string(first) + " /Filter /FlateDecode", data);
  }
  b.FinishWithStream(60, "/Root 1 0 R", members);
  return b.Bytes();
}

// A report load lets the decoded data of most object streams go once their
// pages are read, and decodes a stream again when more of it is wanted:
// on one thread or two, the report shows what the load of the whole file
// shows.
TEST(ReadForReport, ObjectStreamsLetGoAndDecodedAgainGiveWhatTheLoadAloneGives) {
  vxtest::TempFile source;
  source.Write(ManyLargeObjectStreams());
  const std::string whole = Summary(Load(source.Path(), false));
  EXPECT_NE(whole.find("outlines 40 "), std::string::npos) << whole;
  for (int run = 0; run < 6; ++run)
    EXPECT_EQ(Summary(Load(source.Path(), true, "", run == 0 ? 1 : 0)), whole) << "run " << run;
}

// The file cut short by another program after the load: the next read of
// an object not read yet fails with the library's message, and nothing
// crashes.
TEST(ReadForReport, FileCutShortAfterTheLoadGivesAClearError) {
  vxtest::TempFile source;
  source.Write(SpreadFile());
  Loaded report = Load(source.Path(), true);
  ASSERT_EQ(report.doc->PageCount(), 3);
  TvxCustomPDFDocument& doc = *report.doc;
  ASSERT_LT(doc.Store().IndexOf(doc.DocumentID(), 50, 0), 0);  // not read yet
  std::filesystem::resize_file(source.Path(), 100000);
  ASSERT_EQ(std::filesystem::file_size(source.Path()), 100000u);
  try {
    doc.Store().Find(TvxObjectKey{doc.DocumentID(), 50, 0});  // padding no report reads
    FAIL() << "a read past the new end succeeded";
  } catch (const EReadError& e) {
    EXPECT_EQ(std::string(e.what()), Format(res::SFileChangedWhileRead, {source.Path()}));
  }
  // What was read at the load is still there.
  EXPECT_EQ(Utf16ToUtf8(doc.Info().InfoText("/Title")), "Second");
  EXPECT_EQ(doc.PageCount(), 3);
}

// A document read for a report is not saved: the save fails with the
// library's message and the target keeps its bytes; the load is not
// completed either.
TEST(ReadForReport, SavingFailsAndLeavesTheTargetAsItWas) {
  vxtest::TempFile source, target;
  source.Write(SpreadFile());
  target.Write("earlier contents");
  Loaded report = Load(source.Path(), true);
  try {
    report.doc->SaveToFile(target.Path());
    FAIL() << "the save succeeded";
  } catch (const EPDFException& e) {
    EXPECT_STREQ(e.what(), res::SReadForReportNotSaved);
  }
  EXPECT_EQ(target.Read(), "earlier contents");
  EXPECT_THROW(report.doc->CompleteLoad(), EPDFException);
  EXPECT_EQ(target.Read(), "earlier contents");

  // The same document loaded again without the setting saves as usual.
  report.doc->SetReadForReport(false);
  report.doc->LoadFromFile(source.Path());
  report.doc->SaveToFile(target.Path());
  EXPECT_NE(target.Read(), "earlier contents");
}
