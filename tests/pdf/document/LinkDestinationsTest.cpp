// Links to named destinations: resolved once every store of names has been
// read, whatever holds the link (object streams included), and only where
// the destination is one of this document. Checked with pikepdf.
#include <gtest/gtest.h>

#include "WriterTestSupport.h"
#include "support/PikeQuery.h"

using namespace vx;
using vxtest::PdfBuilder;

namespace {

// Object-stream members numbered from `first`, in the stream `number`.
void AddObjectStream(PdfBuilder& b, int number, int first, const std::vector<std::string>& members,
                     std::map<int, std::pair<int, int>>& compressed) {
  std::string header, body;
  for (size_t i = 0; i < members.size(); ++i) {
    header += std::to_string(first + int(i)) + " " + std::to_string(body.size()) + " ";
    body += members[i] + "\n";
    compressed[first + int(i)] = {number, int(i)};
  }
  b.Stream(number, "/Type /ObjStm /N " + std::to_string(members.size()) + " /First " + std::to_string(header.size()),
           header + body);
}

// What pikepdf reads of each link of page 1: "page N" for a destination
// array on page N of the output, else the value itself.
const char* kLinkTargets = R"(
pages = [p.objgen for p in pdf.pages]
def target(d):
    if isinstance(d, pikepdf.Array):
        return 'page %d' % (pages.index(d[0].objgen) + 1)
    return repr(d)
for a in pdf.pages[0].Annots:
    if '/Dest' in a:
        print('Dest', target(a.Dest))
    else:
        print(str(a.A.S), target(a.A.D))
)";

}  // namespace

TEST(LinkDestinations, NamesInObjectStreamsAreResolved) {
  // Catalog, links and /Dests all in one object stream: the members are read
  // before the catalog says where the names are.
  PdfBuilder b;
  b.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Annots [20 0 R 21 0 R 22 0 R] >>");
  b.Object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
  std::map<int, std::pair<int, int>> compressed;
  AddObjectStream(b, 8, 20,
                  {"<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] /Dest /chap2 >>",
                   "<< /Type /Annot /Subtype /Link /Rect [0 20 10 30] /Dest (chap2) >>",
                   "<< /Type /Annot /Subtype /Link /Rect [0 40 10 50] /A << /S /GoTo /D (chap2) >> >>",
                   "<< /chap2 [4 0 R /Fit] >>", "<< /Type /Catalog /Pages 2 0 R /Dests 23 0 R >>"},
                  compressed);
  b.FinishWithStream(9, "/Root 24 0 R", compressed);
  auto doc = vxtest::LoadBytes(b.Bytes());
  ASSERT_EQ(doc->PageCount(), 2);
  vxtest::TempFile out;
  doc->SaveToFile(out.Path(), 2);
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
  EXPECT_EQ(vxtest::PikeQuery(out.Path(), kLinkTargets), "Dest page 2\nDest page 2\n/GoTo page 2");
}

TEST(LinkDestinations, OnlyDestinationsOfThisDocumentAreResolved) {
  // The same name is defined here (/Dests) and used by actions that go to
  // another file or do something else: those keep their /D.
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R /Dests 12 0 R /Names << /Dests 13 0 R >> >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Annots [20 0 R 21 0 R 22 0 R 23 0 R 24 0 R] >>");
  b.Object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
  b.Object(12, "<< /chap1 14 0 R >>");
  b.Object(13, "<< /Names [(tree) [4 0 R /XYZ 0 0 0]] >>");
  b.Object(14, "[4 0 R /Fit]");
  b.Object(20, "<< /Type /Annot /Subtype /Link /Rect [0 0 9 9] /A << /S /GoToR /F (other.pdf) /D (chap1) >> >>");
  b.Object(21, "<< /Type /Annot /Subtype /Link /Rect [0 9 9 19] /A << /S /GoToE /T << /R /C /N (x) >> /D /chap1 >> >>");
  b.Object(22, "<< /Type /Annot /Subtype /Link /Rect [0 19 9 29] /A << /S /Launch /F (x.pdf) /D (chap1) >> >>");
  b.Object(23, "<< /Type /Annot /Subtype /Link /Rect [0 29 9 39] /A << /S /GoTo /D (chap1) >> >>");
  // A name held only by the name tree, which the catalog lists after the
  // annotations.
  b.Object(24, "<< /Type /Annot /Subtype /Link /Rect [0 39 9 49] /Dest (tree) >>");
  b.FinishWithTable("/Root 1 0 R");
  auto doc = vxtest::LoadBytes(b.Bytes());
  vxtest::TempFile out;
  doc->SaveToFile(out.Path(), 2);
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
  EXPECT_EQ(vxtest::PikeQuery(out.Path(), kLinkTargets),
            "/GoToR pikepdf.String(\"chap1\")\n/GoToE pikepdf.Name(\"/chap1\")\n/Launch pikepdf.String(\"chap1\")\n"
            "/GoTo page 2\nDest page 2");

  // The /Dests dictionary and what it reaches are kept for the catalog.
  for (int number : {12, 14}) {
    int index = doc->Store().IndexOf(doc->DocumentID(), number, 0);
    ASSERT_GE(index, 0) << number;
    EXPECT_NE(doc->Store().Items(index)->UseCount, 0) << number;
  }
}

TEST(LinkDestinations, OutlineItemsResolveOnlyGoTo) {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R /Dests << /here [3 0 R /Fit] >> /Outlines 10 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
  b.Object(10, "<< /Type /Outlines /First 11 0 R /Last 12 0 R /Count 2 >>");
  b.Object(11, "<< /Title (Remote) /Parent 10 0 R /Next 12 0 R /A << /S /GoToR /F (o.pdf) /D (here) >> >>");
  b.Object(12, "<< /Title (Local) /Parent 10 0 R /Prev 11 0 R /A << /S /GoTo /D (here) >> >>");
  b.FinishWithTable("/Root 1 0 R");
  auto doc = vxtest::LoadBytes(b.Bytes());
  vxtest::TempFile out;
  doc->SaveToFile(out.Path(), 2);
  EXPECT_EQ(vxtest::PikeQuery(out.Path(), R"(
pages = [p.objgen for p in pdf.pages]
item = pdf.Root.Outlines.First
while item is not None:
    d = item.A.D
    print(str(item.Title), 'page %d' % (pages.index(d[0].objgen) + 1) if isinstance(d, pikepdf.Array) else repr(d))
    item = item.get('/Next')
)"),
            "Remote pikepdf.String(\"here\")\nLocal page 1");
}
