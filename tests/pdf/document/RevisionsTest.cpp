// Files with several revisions: whatever the newest cross-reference section
// says about an object is what the document holds and what a save writes,
// whichever kind each section is (classic table, cross-reference stream,
// hybrid). Outputs are judged by what qpdf reads from them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "pdf/document/vxPDFDoc.h"
#include "pdf/document/WriterTestSupport.h"
#include "support/PdfBuilder.h"

using namespace vx;
using nlohmann::json;
using vxtest::PdfBuilder;

namespace {

// The objects of a file as qpdf reads them (qpdf's JSON), with the few
// lookups these tests need.
class QpdfView {
 public:
  explicit QpdfView(const std::string& path) {
    std::string out;
    int status = vxtest::RunCommand("qpdf --json=2 --json-key=qpdf " + vxtest::Quote(path), &out, false);
    if (status != 0 && status != 3) {  // 3: warnings, the JSON is still there
      error_ = "qpdf status " + std::to_string(status) + ": " + out;
      return;
    }
    json all = json::parse(out, nullptr, false);
    if (all.is_discarded() || !all.contains("qpdf") || all["qpdf"].size() < 2) {
      error_ = "qpdf gave no JSON: " + out.substr(0, 200);
      return;
    }
    for (auto& [key, entry] : all["qpdf"][1].items()) {
      if (key == "trailer")
        trailer_ = entry.value("value", json());
      else if (key.rfind("obj:", 0) == 0)
        objects_[key.substr(4)] = entry.contains("stream") ? entry["stream"]["dict"] : entry.value("value", json());
    }
  }

  const std::string& Error() const { return error_; }

  // A reference ("5 0 R") replaced by the value it names (null when nothing
  // is there), until a direct value remains.
  const json& Resolve(const json& value) const {
    const json* current = &value;
    for (int step = 0; step < 32 && current->is_string(); ++step) {
      const std::string& text = current->get_ref<const std::string&>();
      if (text.size() < 5 || text.compare(text.size() - 2, 2, " R") != 0) break;
      auto it = objects_.find(text);
      if (it == objects_.end()) return null_;
      current = &it->second;
    }
    return *current;
  }
  const json& Get(const json& dict, const char* key) const {
    const json& d = Resolve(dict);
    if (!d.is_object() || !d.contains(key)) return null_;
    return Resolve(d.at(key));
  }

  const json& Catalog() const { return Get(trailer_, "/Root"); }
  const json& Trailer() const { return trailer_; }

  // Page dictionaries in page order, through any tree shape.
  std::vector<const json*> Pages() const {
    std::vector<const json*> pages;
    Collect(Get(Catalog(), "/Pages"), pages, 0);
    return pages;
  }

  // How many objects of the file are dictionaries of this /Type.
  int CountOfType(const std::string& type) const {
    int count = 0;
    for (auto& [key, value] : objects_)
      if (value.is_object() && value.value("/Type", std::string()) == type) ++count;
    return count;
  }

  // Whether any object of the file holds this text as a string value.
  bool HoldsString(const std::string& text) const {
    for (auto& [key, value] : objects_)
      if (value.dump().find("\"u:" + text + "\"") != std::string::npos) return true;
    return false;
  }

 private:
  void Collect(const json& node, std::vector<const json*>& pages, int depth) const {
    if (!node.is_object() || depth > 32) return;
    if (node.value("/Type", std::string()) == "/Page") {
      pages.push_back(&node);
      return;
    }
    const json& kids = Get(node, "/Kids");
    if (kids.is_array())
      for (const json& kid : kids) Collect(Resolve(kid), pages, depth + 1);
  }

  std::map<std::string, json> objects_;
  json trailer_;
  std::string error_;
  json null_;
};

// Saves `bytes` through the library and answers the output's path (kept by
// `output`).
void LoadAndSave(const std::string& bytes, const vxtest::TempFile& output) {
  auto doc = vxtest::LoadBytes(bytes);
  doc->SaveToFile(output.Path(), 2);
}

// Source and output as qpdf reads them.
struct Judged {
  vxtest::TempFile source, output;
  std::unique_ptr<QpdfView> before, after;
};

std::unique_ptr<Judged> Judge(const std::string& bytes) {
  auto j = std::make_unique<Judged>();
  j->source.Write(bytes);
  LoadAndSave(bytes, j->output);
  j->before = std::make_unique<QpdfView>(j->source.Path());
  j->after = std::make_unique<QpdfView>(j->output.Path());
  return j;
}

// A classic table holding exactly these entries (number -> "offset gen n|f"),
// with /Prev; answers the bytes of the section and startxref.
std::string TableSection(size_t at, const std::map<int, std::string>& entries, const std::string& trailer) {
  std::string table = "xref\n";
  auto it = entries.begin();
  while (it != entries.end()) {
    auto end = it;
    int count = 0;
    while (end != entries.end() && end->first == it->first + count) ++end, ++count;
    table += std::to_string(it->first) + " " + std::to_string(count) + "\n";
    for (; it != end; ++it) table += it->second + " \n";
  }
  return table + "trailer\n<< " + trailer + " >>\nstartxref\n" + std::to_string(at) + "\n%%EOF\n";
}

// One entry of a cross-reference stream with /W [1 4 2].
std::string Row(int type, size_t field2, int field3) {
  std::string r(1, char(type));
  for (int shift = 24; shift >= 0; shift -= 8) r += char((field2 >> shift) & 0xFF);
  return r + char((field3 >> 8) & 0xFF) + char(field3 & 0xFF);
}

// A cross-reference stream object with /W [1 4 2] holding `rows`.
std::string XRefStreamObject(int number, const std::string& entries, const std::string& rows) {
  return std::to_string(number) + " 0 obj\n<< /Type /XRef /W [1 4 2] " + entries + " /Length " +
         std::to_string(rows.size()) + " >>\nstream\n" + rows + "\nendstream\nendobj\n";
}

// A value of the first page as qpdf reads it (null when there is none).
json FirstPageValue(const QpdfView& view, const char* key) {
  auto pages = view.Pages();
  return pages.empty() ? json() : view.Get(*pages[0], key);
}

// Where the last classic table of `bytes` begins.
size_t LastTable(const std::string& bytes) { return bytes.rfind("\nxref\n") + 1; }

std::string InUse(size_t offset, int generation = 0) {
  char line[32];
  std::snprintf(line, sizeof line, "%010zu %05d n", offset, generation);
  return line;
}
std::string Free(int generation) {
  char line[32];
  std::snprintf(line, sizeof line, "0000000000 %05d f", generation);
  return line;
}

using vxtest::ObjectStreamData;

// First revision, all in an object stream (5) but the page content (4):
// catalog 1, pages 2, page 3 (with /Marker 6 0 R), string 6 "orig". The
// cross-reference stream is object 7.
PdfBuilder CompressedBase(const std::string& pageExtra = "") {
  PdfBuilder b("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
  b.Stream(4, "", "BT /F1 12 Tf 72 700 Td (Page 1) Tj ET");
  int first = 0;
  std::string data = ObjectStreamData({{1, "<< /Type /Catalog /Pages 2 0 R >>"},
                                       {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                                       {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
                                           "/Marker 6 0 R " + pageExtra + " >>"},
                                       {6, "(orig)"}},
                                      first);
  b.Stream(5, "/Type /ObjStm /N 4 /First " + std::to_string(first), data);
  b.FinishWithStream(7, "/Root 1 0 R", {{1, {5, 0}}, {2, {5, 1}}, {3, {5, 2}}, {6, {5, 3}}});
  return b;
}

const char* kRotatedPage = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Rotate 90 /Marker 6 0 R >>";

}  // namespace

// An update that redefines members of an object stream replaces them, be
// the update a classic table or another cross-reference stream; the stale
// members are neither read nor written.
TEST(LatestRevision, UpdateOverObjectStreamMembersWins) {
  for (bool classicUpdate : {true, false}) {
    SCOPED_TRACE(classicUpdate ? "classic update" : "stream update");
    PdfBuilder b = CompressedBase();
    b.Object(3, kRotatedPage);
    if (classicUpdate) {
      b.Object(6, "(new)");
      b.FinishWithTable("/Root 1 0 R");
    } else {
      // The new 6 sits in a new object stream, as a writer of updates with
      // object streams puts it.
      int first = 0;
      std::string data = ObjectStreamData({{6, "(new)"}}, first);
      b.Stream(8, "/Type /ObjStm /N 1 /First " + std::to_string(first), data);
      b.FinishWithStream(9, "/Root 1 0 R", {{6, {8, 0}}});
    }

    auto doc = vxtest::LoadBytes(b.Bytes());
    ASSERT_EQ(doc->PageCount(), 1);
    EXPECT_EQ(doc->GetPageRotation(1), 90);

    auto j = Judge(b.Bytes());
    ASSERT_EQ(j->before->Error(), "");
    ASSERT_EQ(j->after->Error(), "");
    auto pagesBefore = j->before->Pages();
    auto pagesAfter = j->after->Pages();
    ASSERT_EQ(pagesBefore.size(), 1u);
    ASSERT_EQ(pagesAfter.size(), 1u);
    EXPECT_EQ(j->before->Get(*pagesBefore[0], "/Rotate"), 90);  // the source as another reader sees it
    EXPECT_EQ(j->after->Get(*pagesAfter[0], "/Rotate"), 90);
    EXPECT_EQ(j->after->Get(*pagesAfter[0], "/Marker"), "u:new");
    EXPECT_FALSE(j->after->HoldsString("orig"));
    EXPECT_EQ(j->after->CountOfType("/Page"), 1);
  }
}

// A free entry in a later section deletes the object, in a classic table
// and in a cross-reference stream (type 0), over an object of the file body
// and over an object stream member; a number freed and then used again
// holds its newest definition.
TEST(LatestRevision, FreeEntryInALaterSectionDeletes) {
  {
    SCOPED_TRACE("classic free entry over a classic object");
    std::string base = vxtest::SimplePdf(1);  // page 3, content 4
    size_t firstXref = LastTable(base);
    size_t at = base.size();
    std::string bytes = base + TableSection(at, {{0, Free(65535)}, {4, Free(1)}},
                                            "/Size 5 /Root 1 0 R /Prev " + std::to_string(firstXref));
    auto doc = vxtest::LoadBytes(bytes);
    EXPECT_EQ(doc->LookupObjectOffset(4), 0);
    auto j = Judge(bytes);
    ASSERT_EQ(j->after->Error(), "");
    ASSERT_EQ(j->after->Pages().size(), 1u);
    ASSERT_EQ(j->before->Pages().size(), 1u);
    EXPECT_TRUE(FirstPageValue(*j->before, "/Contents").is_null());
    EXPECT_TRUE(FirstPageValue(*j->after, "/Contents").is_null());
  }
  {
    SCOPED_TRACE("stream free entry over an object stream member");
    // The builder writes in-use entries only; this section is written by
    // hand: 6 free (next generation 1), and the section's own stream 8.
    std::string bytes = CompressedBase().Bytes();
    size_t prev = bytes.rfind("7 0 obj");
    size_t xref = bytes.size();
    bytes += XRefStreamObject(8, "/Index [6 1 8 1] /Size 9 /Root 1 0 R /Prev " + std::to_string(prev),
                              Row(0, 0, 1) + Row(1, xref, 0)) +
             "startxref\n" + std::to_string(xref) + "\n%%EOF\n";
    auto doc = vxtest::LoadBytes(bytes);
    EXPECT_EQ(doc->Store().Find(TvxObjectKey{doc->DocumentID(), 6, 0}), nullptr);
    auto j = Judge(bytes);
    ASSERT_EQ(j->after->Error(), "");
    ASSERT_EQ(j->after->Pages().size(), 1u);
    ASSERT_EQ(j->before->Pages().size(), 1u);
    EXPECT_TRUE(FirstPageValue(*j->before, "/Marker").is_null());
    EXPECT_TRUE(FirstPageValue(*j->after, "/Marker").is_null());
    EXPECT_FALSE(j->after->HoldsString("orig"));
  }
  {
    SCOPED_TRACE("freed, then used again with the next generation");
    PdfBuilder b;
    vxtest::AddSimplePages(b, 1, "", [](int) { return "/Marker 5 0 R"; });
    b.Object(5, "(first)");
    b.FinishWithTable("/Root 1 0 R");
    std::string bytes = b.Bytes();
    const size_t firstXref = LastTable(bytes);
    size_t second = bytes.size();
    bytes += TableSection(second, {{5, Free(1)}}, "/Size 6 /Root 1 0 R /Prev " + std::to_string(firstXref));
    size_t objectAt = bytes.size();
    bytes += "5 1 obj\n(second)\nendobj\n3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Marker 5 1 R >>\nendobj\n";
    size_t third = bytes.size();
    std::map<int, std::string> entries{{3, InUse(bytes.find("3 0 obj", objectAt))}, {5, InUse(objectAt, 1)}};
    bytes += TableSection(third, entries, "/Size 6 /Root 1 0 R /Prev " + std::to_string(second));
    auto j = Judge(bytes);
    ASSERT_EQ(j->after->Error(), "");
    ASSERT_EQ(j->after->Pages().size(), 1u);
    EXPECT_EQ(FirstPageValue(*j->before, "/Marker"), "u:second");
    EXPECT_EQ(FirstPageValue(*j->after, "/Marker"), "u:second");
    EXPECT_FALSE(j->after->HoldsString("first"));
  }
}

// The /XRefStm of a hybrid update is part of that update: what its stream
// redefines wins over the older table, and a free entry the update's own
// table gives for a number its stream places does not delete it.
TEST(LatestRevision, HybridUpdateStreamIsFollowed) {
  PdfBuilder b;
  vxtest::AddSimplePages(b, 1, "", [](int) { return "/Marker 5 0 R /Other 6 0 R"; });
  b.Object(5, "(old five)");
  b.Object(6, "(old six)");
  b.FinishWithTable("/Root 1 0 R");
  std::string bytes = b.Bytes();
  const size_t prev = LastTable(bytes);

  // The update: a new 5 in the file body, a new 6 in an object stream (8),
  // both listed only by the cross-reference stream 9; the update's table
  // lists 6 as free for readers that know no streams.
  size_t five = bytes.size();
  bytes += "5 0 obj\n(new five)\nendobj\n";
  int first = 0;
  std::string data = ObjectStreamData({{6, "(new six)"}}, first);
  size_t eight = bytes.size();
  bytes += "8 0 obj\n<< /Type /ObjStm /N 1 /First " + std::to_string(first) + " /Length " +
           std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream\nendobj\n";
  size_t stm = bytes.size();
  bytes += XRefStreamObject(9, "/Index [5 2 8 2] /Size 10", Row(1, five, 0) + Row(2, 8, 0) + Row(1, eight, 0) + Row(1, stm, 0));
  size_t xref = bytes.size();
  bytes += TableSection(xref, {{6, Free(0)}},
                        "/Size 10 /Root 1 0 R /Prev " + std::to_string(prev) + " /XRefStm " + std::to_string(stm));

  auto j = Judge(bytes);
  ASSERT_EQ(j->before->Error(), "");
  ASSERT_EQ(j->after->Error(), "");
  ASSERT_EQ(j->after->Pages().size(), 1u);
  for (QpdfView* view : {j->before.get(), j->after.get()}) {
    SCOPED_TRACE(view == j->before.get() ? "source" : "output");
    EXPECT_EQ(FirstPageValue(*view, "/Marker"), "u:new five");
    EXPECT_EQ(FirstPageValue(*view, "/Other"), "u:new six");
  }
  EXPECT_FALSE(j->after->HoldsString("old five"));
  EXPECT_FALSE(j->after->HoldsString("old six"));
}

// Sources with object streams: the old catalog and page-tree nodes are not
// written again, and a reference to the old catalog leads to the new one.
TEST(LatestRevision, OrphanedCatalogAndPageTreeAreNotWritten) {
  PdfBuilder b = CompressedBase("/Owner 1 0 R");
  auto j = Judge(b.Bytes());
  ASSERT_EQ(j->after->Error(), "");
  EXPECT_EQ(j->after->CountOfType("/Catalog"), 1);
  EXPECT_EQ(j->after->CountOfType("/Pages"), 1);
  ASSERT_EQ(j->after->Pages().size(), 1u);
  const json& page = *j->after->Pages()[0];
  ASSERT_TRUE(page.contains("/Owner"));
  EXPECT_EQ(page["/Owner"], j->after->Trailer()["/Root"]);
  EXPECT_EQ(j->after->Get(page, "/Marker"), "u:orig");
  EXPECT_EQ(vxtest::QpdfProblems(j->output.Path()), "");
}

// Cross-reference streams on their own: chains by /Prev to either kind of
// section, a type field of width 0, several /Index ranges, a null /Filter,
// and a startxref that points at the line end before the stream object.
TEST(CrossReferenceStreams, ChainsWidthsRangesAndFilters) {
  {
    SCOPED_TRACE("two streams chained by /Prev");
    PdfBuilder b;
    vxtest::AddSimplePages(b, 1, "", [](int) { return "/Marker 5 0 R"; });
    b.Object(5, "(one)");
    b.FinishWithStream(6, "/Root 1 0 R");
    b.Object(5, "(two)");
    b.FinishWithStream(7, "/Root 1 0 R");
    auto j = Judge(b.Bytes());
    ASSERT_EQ(j->after->Error(), "");
    ASSERT_EQ(j->after->Pages().size(), 1u);
    EXPECT_EQ(FirstPageValue(*j->after, "/Marker"), "u:two");
  }
  {
    SCOPED_TRACE("a stream whose /Prev is a classic table");
    PdfBuilder b;
    vxtest::AddSimplePages(b, 2, "", [](int) { return ""; });
    b.FinishWithTable("/Root 1 0 R");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate 180 >>");
    b.FinishWithStream(8, "/Root 1 0 R");
    auto doc = vxtest::LoadBytes(b.Bytes());
    ASSERT_EQ(doc->PageCount(), 2);
    EXPECT_EQ(doc->GetPageRotation(1), 180);
    EXPECT_NE(doc->LookupObjectOffset(6), 0);  // known only to the older table
  }
  {
    SCOPED_TRACE("type field of width 0, /Index with several ranges, /Filter null");
    PdfBuilder b;
    vxtest::AddSimplePages(b, 1, "", [](int) { return "/Marker 9 0 R"; });
    b.Object(9, "(far)");
    std::string bytes = b.Bytes();
    size_t xref = bytes.size();
    // Every entry has type 1 by default; objects 1 to 4, then 9 and 10.
    std::string rows;
    auto row = [&rows](size_t offset) {
      for (int s = 24; s >= 0; s -= 8) rows += char((offset >> s) & 0xFF);
      rows += '\0';
    };
    for (int n = 1; n <= 4; ++n) row(b.OffsetOf(n));
    row(b.OffsetOf(9));
    row(xref);
    bytes += "10 0 obj\n<< /Type /XRef /W [0 4 1] /Index [1 4 9 2] /Size 11 /Root 1 0 R /Filter null /Length " +
             std::to_string(rows.size()) + " >>\nstream\n" + rows + "\nendstream\nendobj\nstartxref\n" +
             std::to_string(xref) + "\n%%EOF\n";
    auto doc = vxtest::LoadBytes(bytes);
    ASSERT_EQ(doc->PageCount(), 1);
    EXPECT_EQ(doc->LookupObjectOffset(9), int64_t(b.OffsetOf(9)));
    EXPECT_EQ(doc->LookupObjectOffset(5), 0);
    auto j = Judge(bytes);
    ASSERT_EQ(j->after->Error(), "");
    ASSERT_EQ(j->after->Pages().size(), 1u);
    EXPECT_EQ(FirstPageValue(*j->after, "/Marker"), "u:far");
  }
  {
    SCOPED_TRACE("startxref at the line end before the stream object");
    PdfBuilder b;
    vxtest::AddSimplePages(b, 1, "", [](int) { return ""; });
    size_t xref = b.FinishWithStream(5, "/Root 1 0 R");
    std::string bytes = b.Bytes();
    bytes.insert(xref, "\n");  // startxref now names the blank before "5 0 obj"
    EXPECT_EQ(vxtest::LoadBytes(bytes)->PageCount(), 1);
  }
}
