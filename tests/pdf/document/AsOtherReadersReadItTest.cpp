// What a file says where readers must agree: duplicate keys, hybrid updates,
// outline state, the newest trailer's /Info, which dictionaries are pages,
// and text strings. Each source is saved with no setting changed (or with
// the window's own round trip of the fields) and judged by pikepdf.
#include <gtest/gtest.h>

#include <regex>

#include "pdf/document/vxPDFDoc.h"
#include "support/PdfBuilder.h"
#include "support/PikeQuery.h"

using namespace vx;
using vxtest::PdfBuilder;

namespace {

struct Saved {
  std::vector<std::string> warnings;
  std::unique_ptr<vxtest::TempFile> file = std::make_unique<vxtest::TempFile>();
};

// Loads `bytes`, lets `touch` act on the document, saves and answers the
// output with the load's warnings.
Saved LoadAndSave(const std::string& bytes, const std::function<void(TvxPDFDocument&)>& touch = {}) {
  Saved s;
  TvxPDFDocument doc;
  doc.SetShowSetupDialog(false);
  doc.OnWarning = [&](TvxCustomPDFDocument&, const std::string& text) { s.warnings.push_back(text); };
  doc.LoadFromBytes(std::make_shared<const std::string>(bytes), "t.pdf");
  if (touch) touch(doc);
  doc.SaveToFile(s.file->Path(), 2);
  return s;
}

bool Said(const Saved& s, const std::string& part) {
  for (const std::string& w : s.warnings)
    if (w.find(part) != std::string::npos) return true;
  return false;
}

std::string Pike(const Saved& s, const std::string& body) { return vxtest::PikeQuery(s.file->Path(), body); }

}  // namespace

// The last of duplicate keys is the one qpdf, pdf.js and Poppler use; the
// bookmarks panel the file opens with must not vanish.
TEST(AsOtherReadersReadIt, LastDuplicateKeyWinsWithAWarning) {
  const std::string pdf = vxtest::SimplePdf(1, "/PageMode /UseNone /PageMode /UseOutlines /Lang (en) /Lang (de)");
  Saved s = LoadAndSave(pdf);
  EXPECT_EQ(Pike(s, "print(pdf.Root.PageMode, pdf.Root.Lang)"), "/UseOutlines de");
  EXPECT_TRUE(Said(s, "the key /PageMode more than once")) << ::testing::PrintToString(s.warnings);
  EXPECT_TRUE(Said(s, "the key /Lang more than once"));
}

// Every /XRefStm of the chain counts, whatever the classic section beside it
// holds: the page's /Annots names an object that only the stream places (in
// an object stream).
TEST(AsOtherReadersReadIt, EveryHybridStreamOfTheChainCounts) {
  for (const std::string& table : {std::string("0 0\n"), std::string("0 1\n0000000000 65535 f \n11 1\n0000000000 00001 f \n"),
                                   std::string("3 1\n%PAGE% 00000 n \n")}) {
    SCOPED_TRACE(table);
    PdfBuilder b("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
    vxtest::AddSimplePages(b, 1, "", [](int) { return ""; });
    b.FinishWithTable("/Root 1 0 R");
    std::string bytes = b.Bytes();
    const size_t prev = bytes.rfind("xref\n"), page = bytes.size();
    bytes += "3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Annots [11 0 R] >>\nendobj\n";
    const std::string data = "11 0 << /Type /Annot /Subtype /Link /Rect [0 0 5 5] /A << /S /URI /URI (http://a.example) >> >>";
    const size_t objstm = bytes.size();
    bytes += "10 0 obj\n<< /Type /ObjStm /N 1 /First 5 /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
             "\nendstream\nendobj\n";
    auto row = [](int type, size_t at) { return std::string{char(type), 0, char(at >> 16), char(at >> 8), char(at), 0, 0}; };
    const size_t stm = bytes.size();
    const std::string rows = row(1, page) + row(1, objstm) + row(2, 10) + row(1, stm);
    bytes += "12 0 obj\n<< /Type /XRef /W [1 4 2] /Index [3 1 10 3] /Size 13 /Length 28 >>\nstream\n" + rows +
             "\nendstream\nendobj\n";
    char offset[11];
    snprintf(offset, sizeof offset, "%010zu", page);
    const size_t xref = bytes.size();
    bytes += "xref\n" + std::regex_replace(table, std::regex("%PAGE%"), offset) + "trailer\n<< /Size 13 /Root 1 0 R /Prev " +
             std::to_string(prev) + " /XRefStm " + std::to_string(stm) + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    EXPECT_EQ(Pike(LoadAndSave(bytes), "print(pdf.pages[0].Annots[0].A.URI)"), "http://a.example");
  }
}

// An item's open or closed state is the source's: closed unless its /Count
// is positive; the magnitude is recounted.
TEST(AsOtherReadersReadIt, OutlineItemsKeepTheirState) {
  const struct {
    const char* count;  // of the item with two children ("" for none)
    int written;
  } cases[] = {{"/Count 2", 2}, {"/Count 7", 2}, {"/Count -2", -2}, {"/Count 0", -2}, {"", -2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    PdfBuilder b;
    vxtest::AddSimplePages(b, 1, "/Outlines 10 0 R", [](int) { return ""; });
    b.Object(10, "<< /Type /Outlines /First 11 0 R /Last 11 0 R /Count 1 >>");
    b.Object(11, std::string("<< /Title (Parent) /Parent 10 0 R /First 12 0 R /Last 13 0 R ") + c.count + " >>");
    b.Object(12, "<< /Title (One) /Parent 11 0 R /Next 13 0 R >>");
    b.Object(13, "<< /Title (Two) /Parent 11 0 R /Prev 12 0 R >>");
    b.FinishWithTable("/Root 1 0 R");
    Saved s = LoadAndSave(b.Bytes());
    EXPECT_EQ(Pike(s, "print(pdf.Root.Outlines.First.Count)"), std::to_string(c.written));
  }
}

// The newest trailer's /Info alone: an update that drops it removes the
// information, as other readers show it, and the load says that an older
// revision still holds it.
TEST(AsOtherReadersReadIt, OnlyTheNewestTrailersInfoCounts) {
  const struct {
    const char* name;
    const char* newestTrailer;
    const char* title;  // as pikepdf shows the output's, "None" when absent
    bool warned;
  } cases[] = {
      {"the update drops /Info", "/Root 1 0 R", "None", true},
      {"the update names another /Info", "/Root 1 0 R /Info 9 0 R", "New", false},
      {"the update keeps /Info", "/Root 1 0 R /Info 8 0 R", "Old", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PdfBuilder b;
    vxtest::AddSimplePages(b, 1, "", [](int) { return ""; });
    b.Object(8, "<< /Title (Old) /Author (Someone) >>");
    b.FinishWithTable("/Root 1 0 R /Info 8 0 R");
    b.Object(9, "<< /Title (New) >>");
    b.FinishWithTable(c.newestTrailer);
    Saved s = LoadAndSave(b.Bytes());
    EXPECT_EQ(Pike(s, "print(pdf.docinfo.get('/Title') if '/Info' in pdf.trailer else None)"), c.title);
    EXPECT_EQ(Said(s, "An older revision holds document information"), c.warned);
  }
}

// /Parent belongs to the pages of the page tree; a dictionary that merely
// says /Type /Page elsewhere (an optional-content property of a form) keeps
// what it had.
TEST(AsOtherReadersReadIt, ParentOnlyOnPagesOfTheTree) {
  PdfBuilder b;
  vxtest::AddSimplePages(b, 1, "", [](int) { return "/Resources << /XObject << /X1 10 0 R >> >>"; });
  b.Stream(10, "/Type /XObject /Subtype /Form /BBox [0 0 10 10] /Resources << /Properties << /P1 11 0 R >> >>",
           "/OC /P1 BDC EMC");
  b.Object(11, "<< /Type /Page /Note (not a page) >>");
  b.Object(12, "<< /Type /Page /Note (unreferenced either) >>");
  b.FinishWithTable("/Root 1 0 R");
  Saved s = LoadAndSave(b.Bytes());
  EXPECT_EQ(Pike(s, "p = pdf.pages[0].Resources.XObject.X1.Resources.Properties.P1\n"
                    "print(len(pdf.pages), '/Parent' in p, p.Note, '/Parent' in pdf.pages[0])"),
            "1 False not a page True");
}

// Text strings by the standard: PDFDocEncoding bytes, UTF-8 with its mark.
// The window shows the fields and sets them back before each save: that
// round trip must change nothing a reader sees, in /Info or in XMP.
TEST(AsOtherReadersReadIt, TextStringsSurviveTheWindowsRoundTrip) {
  const struct {
    std::string info;
    const char* title;  // as UTF-8
  } cases[] = {
      {"/Title (Links in PDF \x85 Example) /Author (\x8D\x8E)", "Links in PDF \xE2\x80\x93 Example"},
      {"/Title (\xEF\xBB\xBF" "Caf\xC3\xA9 \xE2\x80\x93 \xE6\x97\xA5) /Author (x)", "Caf\xC3\xA9 \xE2\x80\x93 \xE6\x97\xA5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    const std::string packet = vxtest::SampleXmpPacket(c.title);
    Saved s = LoadAndSave(vxtest::PdfWithXmpPacket(packet, c.info), [](TvxPDFDocument& doc) {
      doc.Info().SetTitle(doc.Info().Title());
      doc.Info().SetAuthor(doc.Info().Author());
    });
    const std::string shown = Pike(s, "with pdf.open_metadata() as m:\n"
                                      "    print(str(pdf.docinfo.Title) == m.get('dc:title'))\n"
                                      "print(str(pdf.docinfo.Title))");
    EXPECT_EQ(shown, std::string("True\n") + c.title);
  }
}
