// Outlines, named destinations and name trees: what is read at load and
// what a save writes, checked in the saved bytes and through qpdf.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "OutlineTestSupport.h"
#include "QpdfStructures.h"
#include "WriterTestSupport.h"

using namespace vx;
using vxtest::DocumentWith;
using vxtest::SavedKeys;
using vxtest::SavedObjectWith;
using vxtest::SavedObjectsWith;
using vxtest::SavedReferenceWith;

namespace {

using Lines = std::vector<std::string>;

// Saves `doc` and answers the bytes; the file stays for qpdf while `file` lives.
std::string Save(TvxCustomPDFDocument& doc, const vxtest::TempFile& file) {
  doc.SaveToFile(file.Path(), 2);
  return file.Read();
}

const TvxPDFDictObject& ItemDict(const TvxPDFOutline* item) {
  return Cast<TvxPDFDictObject>(item ? item->Content.get() : nullptr);
}

int CountItems(const TvxPDFOutline* item) {
  int count = 0;
  for (; item; item = item->Next.get()) count += 1 + CountItems(item->FirstChild.get());
  return count;
}

std::string CatalogOf(const std::string& pdf) { return vxtest::SavedObject(pdf, 1); }

// The text "n 0 R" that a saved catalog's `key` holds.
std::string CatalogReference(const std::string& pdf, const std::string& key) {
  const std::string catalog = CatalogOf(pdf);
  const size_t at = catalog.find(key + " ");
  if (at == std::string::npos) return "";
  const size_t start = at + key.size() + 1;
  return catalog.substr(start, catalog.find("\r\n", start) - start);
}

std::string OutlineRootOf(const std::string& pdf) {
  return vxtest::SavedObject(pdf, std::atoi(CatalogReference(pdf, "/Outlines").c_str()));
}

// The reference to page `n` (from 1) of a saved file, from its one page-tree node.
std::string PageReference(const std::string& pdf, int n) {
  const std::string tree = vxtest::SavedObject(pdf, 3);
  size_t at = tree.find("/Kids [ ") + 8;
  for (int i = 1; i < n; ++i) at = tree.find(" R ", at) + 3;
  return tree.substr(at, tree.find(" R ", at) + 2 - at);
}

}  // namespace

TEST(Outlines, NamedDestinationsOfTheNameTreeBecomeExplicit) {
  std::string bytes = DocumentWith(
      "/Outlines 10 0 R /Names << /Dests 20 0 R >>",
      {{10, "<< /Type /Outlines /First 11 0 R /Last 14 0 R /Count 4 >>"},
       {11, "<< /Title (Tree) /Parent 10 0 R /Next 12 0 R /Dest (chap2) >>"},
       {12, "<< /Title (Hex) /Parent 10 0 R /Prev 11 0 R /Next 13 0 R /Dest <6368617032> >>"},
       {13, "<< /Title (Gone) /Parent 10 0 R /Prev 12 0 R /Next 14 0 R /Dest (gone) >>"},
       {14, "<< /Title (Action) /Parent 10 0 R /Prev 13 0 R /A 15 0 R >>"},
       {15, "<< /S /GoTo /D (chap1) >>"},
       // A /Kids cycle, a null destination and a lone last key.
       {20, "<< /Kids [21 0 R] >>"},
       {21, "<< /Kids [21 0 R 22 0 R] >>"},
       {22, "<< /Names [(chap1) [3 0 R /Fit] (chap2) 23 0 R (gone) null (lonely)] >>"},
       {23, "<< /D [5 0 R /XYZ 0 792 0] >>"}});
  auto doc = vxtest::LoadBytes(bytes);
  ASSERT_NE(doc->NamedDestinations(), nullptr);
  ASSERT_EQ(doc->NamedDestinations()->size(), 3u);
  EXPECT_EQ((*doc->NamedDestinations())[1].first, "chap2");
  ASSERT_NE(doc->FindNamedDestination("gone"), nullptr);
  EXPECT_TRUE(doc->FindNamedDestination("gone")->IsNull());
  EXPECT_EQ(doc->FindNamedDestination("lonely"), nullptr);

  const TvxPDFOutline* tree = doc->OutlineRoot()->FirstChild.get();
  auto& treeDest = Cast<TvxPDFArrayObject>(ItemDict(tree).Find("/Dest"));
  EXPECT_EQ(Cast<TvxPDFIndirectReference>(treeDest.GetItem(0)).ObjectNumber, 5);
  EXPECT_TRUE(ItemDict(tree->Next.get()).Find("/Dest")->IsArray()) << "a hexadecimal string names the same entry";
  EXPECT_TRUE(ItemDict(tree->Next->Next.get()).Find("/Dest")->IsNull());
  // The indirect action became part of the item, its name resolved.
  auto& action = Cast<TvxPDFDictObject>(ItemDict(tree->Next->Next->Next.get()).Find("/A"));
  EXPECT_EQ(Cast<TvxPDFIndirectReference>(Cast<TvxPDFArrayObject>(action.Find("/D")).GetItem(0)).ObjectNumber, 3);

  vxtest::TempFile out;
  std::string pdf = Save(*doc, out);
  EXPECT_NE(SavedObjectWith(pdf, "/Title (Tree)").find("/Dest [ " + PageReference(pdf, 2) + " /XYZ"), std::string::npos);
  EXPECT_NE(SavedObjectWith(pdf, "/Title (Gone)").find("/Dest null"), std::string::npos);
  EXPECT_NE(SavedObjectWith(pdf, "/Title (Action)").find("/A <<"), std::string::npos);
  EXPECT_EQ(SavedObjectsWith(pdf, "(chap1)"), 1) << "the name tree is written again";
  vxtest::QpdfStructures saved = vxtest::ReadQpdfStructures(out.Path());
  ASSERT_TRUE(saved.Readable) << saved.Error;
  EXPECT_EQ(saved.Outlines, (Lines{"Tree -> page 2", "Hex -> page 2", "Gone -> none", "Action -> page 1"}));
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
}

TEST(Outlines, LinkDestinationsFromAnUnsortedDestsDictionary) {
  // /zeta comes first: a binary search over file order alone misses it.
  std::string bytes = DocumentWith(
      "/Dests 30 0 R",
      {{30, "<< /zeta [5 0 R /Fit] /alpha 31 0 R /nodest << /X 1 >> /mid [3 0 R /FitH 700] >>"},
       {31, "<< /D [5 0 R /XYZ 0 0 0] >>"},
       {40, "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] /Dest /zeta >>"},
       {41, "<< /Type /Annot /Subtype /Link /Rect [0 10 10 20] /Dest /alpha >>"},
       {42, "<< /Type /Annot /Subtype /Link /Rect [0 20 10 30] /Dest /unknown >>"},
       {43, "<< /Type /Annot /Subtype /Link /Rect [0 30 10 40] /A << /S /GoTo /D (mid) >> >>"}},
      2, "/Annots [40 0 R 41 0 R 42 0 R 43 0 R]");
  vxtest::TempFile in;
  in.Write(bytes);
  auto doc = vxtest::LoadBytes(bytes);
  ASSERT_NE(doc->NamedDestinations(), nullptr);
  EXPECT_EQ(doc->NamedDestinations()->size(), 3u) << "the entry without /D is skipped";
  EXPECT_NE(doc->FindNamedDestination("zeta"), nullptr);

  vxtest::TempFile out;
  std::string pdf = Save(*doc, out);
  EXPECT_EQ(SavedObjectsWith(pdf, "/Dest /zeta"), 0);
  EXPECT_EQ(SavedObjectsWith(pdf, "/Dest /alpha"), 0);
  EXPECT_EQ(SavedObjectsWith(pdf, "/Dest /unknown"), 1) << "an unknown name is kept";
  EXPECT_NE(CatalogOf(pdf).find("/Dests " + SavedReferenceWith(pdf, "/zeta")), std::string::npos)
      << "the catalog keeps its /Dests";
  vxtest::QpdfStructures before = vxtest::ReadQpdfStructures(in.Path());
  vxtest::QpdfStructures after = vxtest::ReadQpdfStructures(out.Path());
  ASSERT_TRUE(after.Readable) << after.Error;
  ASSERT_EQ(after.Annotations.size(), 2u);
  EXPECT_EQ(after.Annotations[0], (Lines{"/Link -> page 2", "/Link -> page 2", "/Link -> none", "/Link -> page 1"}));
  EXPECT_EQ(before.Annotations, after.Annotations);
}

TEST(Outlines, CountsKeyOrderTitlesAndWritingOrder) {
  std::map<int, std::string> objects = {
      {10, "<< /Type /Outlines /First 11 0 R /Last 12 0 R /Count 9 >>"},
      // Keys in a scrambled order, and one (/SE) that is written after the
      // rebuilt ones.
      {11, "<< /F 2 /Next 12 0 R /C [1 0 0] /Title (Closed) /Parent 10 0 R /Count -3 /First 13 0 R /Last 15 0 R "
           "/Dest [3 0 R /Fit] /SE 3 0 R /A << /S /URI /URI (http://example.com/) >> >>"},
      {13, "<< /Title (C1) /Parent 11 0 R /Next 14 0 R /Dest [3 0 R /Fit] >>"},
      {14, "<< /Title (C2) /Parent 11 0 R /Prev 13 0 R /Next 15 0 R >>"},
      {15, "<< /Title (C3) /Parent 11 0 R /Prev 14 0 R >>"},
      {12, "<< /Title (Open) /Parent 10 0 R /Prev 11 0 R /Count 7 /First 16 0 R /Last 17 0 R >>"},
      {16, "<< /Title (O1) /Parent 12 0 R /Next 17 0 R /Count 5 /First 18 0 R /Last 22 0 R >>"},
      {17, "<< /Title (O2) /Parent 12 0 R /Prev 16 0 R >>"},
      {25, "(G3)"}};
  for (int g = 18; g <= 22; ++g) {
    std::string title = g == 20 ? "25 0 R" : "(G" + std::to_string(g - 17) + ")";  // G3's title is indirect
    objects[g] = "<< /Title " + title + " /Parent 16 0 R" + (g < 22 ? " /Next " + std::to_string(g + 1) + " 0 R" : "") +
                 " /Dest [5 0 R /Fit] >>";
  }
  std::string bytes = DocumentWith("/Outlines 10 0 R", objects);
  vxtest::TempFile in;
  in.Write(bytes);
  auto doc = vxtest::LoadBytes(bytes);
  EXPECT_TRUE(doc->OutlineRoot()->FirstChild->Closed);
  EXPECT_FALSE(doc->OutlineRoot()->FirstChild->Next->Closed);
  EXPECT_EQ(CountItems(doc->OutlineRoot()->FirstChild.get()), 12);

  vxtest::TempFile out;
  std::string pdf = Save(*doc, out);
  const std::string closed = SavedObjectWith(pdf, "/Title (Closed)");
  EXPECT_EQ(SavedKeys(closed), (Lines{"/Dest", "/Title", "/C", "/F", "/A", "/Parent", "/Next", "/First", "/Last",
                                      "/Count", "/SE"}));
  EXPECT_NE(closed.find("/Count -3\r\n"), std::string::npos);
  // An open item counts its visible descendants: two children and O1's five.
  EXPECT_NE(SavedObjectWith(pdf, "/Title (Open)").find("/Count 7\r\n"), std::string::npos);
  EXPECT_NE(SavedObjectWith(pdf, "/Title (O1)").find("/Count 5\r\n"), std::string::npos);
  EXPECT_EQ(SavedKeys(SavedObjectWith(pdf, "/Title (C2)")), (Lines{"/Title", "/Parent", "/Prev", "/Next"}));
  EXPECT_EQ(SavedObjectsWith(pdf, "/Title (G3)"), 1) << "an indirect title is written directly";

  // An item is written after its following siblings and its descendants,
  // the root last.
  const std::string root = OutlineRootOf(pdf);
  EXPECT_EQ(SavedKeys(root), (Lines{"/First", "/Last", "/Count", "/Type"}));
  EXPECT_NE(root.find("/Count 9\r\n"), std::string::npos);
  EXPECT_NE(root.find("/Last " + SavedReferenceWith(pdf, "/Title (Open)")), std::string::npos);
  int previous = 0;
  for (const char* title : {"(O2)", "(G5)", "(G4)", "(G3)", "(G2)", "(G1)", "(O1)", "(Open)", "(C3)", "(C2)", "(C1)",
                            "(Closed)"}) {
    int number = vxtest::SavedNumberWith(pdf, std::string("/Title ") + title);
    EXPECT_GT(number, previous) << title;
    previous = number;
  }
  EXPECT_GT(std::atoi(CatalogReference(pdf, "/Outlines").c_str()), previous);

  vxtest::QpdfStructures before = vxtest::ReadQpdfStructures(in.Path());
  vxtest::QpdfStructures after = vxtest::ReadQpdfStructures(out.Path());
  EXPECT_EQ(before.Outlines, after.Outlines);
  EXPECT_EQ(after.Outlines[0], "Closed [closed] -> page 1");
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");

  // Saving again gives the same file.
  vxtest::TempFile again;
  EXPECT_EQ(Save(*doc, again), pdf);
}

TEST(Outlines, ItemsForAPageNoLongerInTheDocumentAreLeftOut) {
  // Pages 3, 5 and 7; page 5 is taken out after loading.
  std::string bytes = DocumentWith(
      "/Outlines 10 0 R",
      {{10, "<< /First 11 0 R /Last 14 0 R /Count 4 >>"},
       {11, "<< /Title (A) /Parent 10 0 R /Next 12 0 R /Dest [3 0 R /Fit] >>"},
       {12, "<< /Title (B) /Parent 10 0 R /Prev 11 0 R /Next 13 0 R /First 15 0 R /Last 15 0 R /Count 1 "
            "/Dest [5 0 R /Fit] >>"},
       {15, "<< /Title (B1) /Parent 12 0 R /Dest [3 0 R /Fit] >>"},
       {13, "<< /Title (C) /Parent 10 0 R /Prev 12 0 R /Next 14 0 R /First 16 0 R /Last 16 0 R /Count -1 "
            "/Dest [7 0 R /Fit] >>"},
       {16, "<< /Title (K) /Parent 13 0 R /Dest [5 0 R /Fit] >>"},
       {14, "<< /Title (D) /Parent 10 0 R /Prev 13 0 R /Dest [5 0 R /Fit] >>"}},
      3);
  auto doc = vxtest::LoadBytes(bytes);
  doc->Store().Find(TvxObjectKey{doc->DocumentID(), 5, 0})->UseCount = 0;

  vxtest::TempFile out;
  std::string pdf = Save(*doc, out);
  for (const char* gone : {"(B)", "(B1)", "(K)", "(D)"}) EXPECT_EQ(SavedObjectsWith(pdf, gone), 0) << gone;
  const std::string a = SavedObjectWith(pdf, "/Title (A)");
  const std::string c = SavedObjectWith(pdf, "/Title (C)");
  const std::string cRef = SavedReferenceWith(pdf, "/Title (C)");
  EXPECT_NE(a.find("/Next " + cRef), std::string::npos);
  EXPECT_NE(c.find("/Prev " + SavedReferenceWith(pdf, "/Title (A)")), std::string::npos);
  // C was followed by a left-out item and lost its only child: it closes the
  // chain, with no links to what is not written.
  EXPECT_EQ(SavedKeys(c), (Lines{"/Dest", "/Title", "/Parent", "/Prev"}));
  const std::string root = OutlineRootOf(pdf);
  EXPECT_NE(root.find("/First " + SavedReferenceWith(pdf, "/Title (A)")), std::string::npos);
  EXPECT_NE(root.find("/Last " + cRef), std::string::npos);
  EXPECT_NE(root.find("/Count 2\r\n"), std::string::npos);
  EXPECT_EQ(doc->OutlineRoot()->FirstChild->Next->FirstChild, nullptr) << "the children of a left-out item are freed";

  vxtest::QpdfStructures saved = vxtest::ReadQpdfStructures(out.Path());
  EXPECT_EQ(saved.Outlines, (Lines{"A -> page 1", "C -> page 2"}));
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");

  // Nothing left at all: the root has no /First and /Last, and /Count 0.
  auto single = vxtest::LoadBytes(DocumentWith("/Outlines 10 0 R",
                                               {{10, "<< /First 11 0 R /Last 11 0 R /Count 1 >>"},
                                                {11, "<< /Title (Only) /Parent 10 0 R /Dest [5 0 R /Fit] >>"}}));
  single->Store().Find(TvxObjectKey{single->DocumentID(), 5, 0})->UseCount = 0;
  vxtest::TempFile out2;
  std::string pdf2 = Save(*single, out2);
  EXPECT_EQ(SavedKeys(OutlineRootOf(pdf2)), (Lines{"/Count"}));
  EXPECT_NE(OutlineRootOf(pdf2).find("/Count 0"), std::string::npos);
  EXPECT_EQ(vxtest::QpdfProblems(out2.Path()), "");
}

TEST(Outlines, DestinationWithoutPageReferenceWarnsAndIsKept) {
  auto loaded = vxtest::LoadWithWarnings(DocumentWith(
      "/Outlines 10 0 R", {{10, "<< /First 11 0 R /Last 11 0 R /Count 1 >>"},
                           {11, "<< /Title (Remote) /Parent 10 0 R /Dest [0 /Fit] >>"}}));
  vxtest::TempFile out;
  std::string pdf = Save(*loaded.Doc, out);
  EXPECT_EQ(std::count(loaded.Warnings.begin(), loaded.Warnings.end(),
                       "Expected Page Indirect Reference in Outline Destination!"),
            1);
  EXPECT_NE(SavedObjectWith(pdf, "/Title (Remote)").find("/Dest [ 0 /Fit ]"), std::string::npos);
}

TEST(Outlines, NoOutlinesAndADirectRoot) {
  auto none = vxtest::LoadBytes(vxtest::SimplePdf(1));
  EXPECT_EQ(none->OutlineRoot(), nullptr);
  vxtest::TempFile out;
  EXPECT_EQ(CatalogOf(Save(*none, out)).find("/Outlines"), std::string::npos);

  // A root given directly in the catalog is read, and written as an object.
  auto direct = vxtest::LoadBytes(DocumentWith("/Outlines << /First 11 0 R /Last 11 0 R /Count 1 >>",
                                               {{11, "<< /Title (Only) /Parent 1 0 R /Dest [5 0 R /Fit] >>"}}));
  ASSERT_NE(direct->OutlineRoot(), nullptr);
  vxtest::TempFile out2;
  std::string pdf = Save(*direct, out2);
  EXPECT_NE(OutlineRootOf(pdf).find("/First " + SavedReferenceWith(pdf, "(Only)")), std::string::npos);
  EXPECT_EQ(vxtest::ReadQpdfStructures(out2.Path()).Outlines, (Lines{"Only -> page 2"}));
}

TEST(Outlines, LoopsAndLongChainsEnd) {
  // /Next coming back to the first item, and /First coming back to the root.
  auto loop = vxtest::LoadBytes(
      DocumentWith("/Outlines 10 0 R", {{10, "<< /First 11 0 R /Last 12 0 R /Count 2 >>"},
                                        {11, "<< /Title (L1) /Parent 10 0 R /Next 12 0 R /First 10 0 R >>"},
                                        {12, "<< /Title (L2) /Parent 10 0 R /Prev 11 0 R /Next 11 0 R >>"}}));
  EXPECT_EQ(CountItems(loop->OutlineRoot()->FirstChild.get()), 2);
  vxtest::TempFile out;
  std::string pdf = Save(*loop, out);
  EXPECT_EQ(SavedObjectWith(pdf, "/Title (L2)").find("/Next"), std::string::npos);
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");

  // Twenty thousand items in one level, and a thousand levels of nesting
  // (read to a depth of 256).
  constexpr int kSiblings = 20000;
  std::map<int, std::string> wide = {{10, "<< /First 11 0 R /Last " + std::to_string(10 + kSiblings) + " 0 R >>"}};
  for (int i = 1; i <= kSiblings; ++i)
    wide[10 + i] = "<< /Title (I" + std::to_string(i) + ") /Parent 10 0 R" +
                   (i < kSiblings ? " /Next " + std::to_string(11 + i) + " 0 R" : "") + " >>";
  auto wideDoc = vxtest::LoadBytes(DocumentWith("/Outlines 10 0 R", wide));
  EXPECT_EQ(CountItems(wideDoc->OutlineRoot()->FirstChild.get()), kSiblings);
  vxtest::TempFile wideOut;
  std::string widePdf = Save(*wideDoc, wideOut);
  EXPECT_EQ(SavedObjectsWith(widePdf, "/Title (I"), kSiblings);
  EXPECT_EQ(vxtest::QpdfProblems(wideOut.Path()), "");

  std::map<int, std::string> deep = {{10, "<< /First 11 0 R /Last 11 0 R >>"}};
  for (int i = 1; i <= 1000; ++i)
    deep[10 + i] = "<< /Title (D" + std::to_string(i) + ") /Parent " + std::to_string(9 + i) + " 0 R /First " +
                   std::to_string(11 + i) + " 0 R >>";
  auto deepDoc = vxtest::LoadBytes(DocumentWith("/Outlines 10 0 R", deep));
  EXPECT_EQ(CountItems(deepDoc->OutlineRoot()->FirstChild.get()), 256);
  vxtest::TempFile deepOut;
  Save(*deepDoc, deepOut);
  EXPECT_EQ(vxtest::QpdfProblems(deepOut.Path()), "");
}

TEST(Outlines, ItemsInAnObjectStreamAreWrittenOnce) {
  vxtest::PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 10 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
  const std::string members[] = {"<< /Type /Outlines /First 11 0 R /Last 12 0 R /Count 2 >>",
                                 "<< /Title (A) /Parent 10 0 R /Next 12 0 R /Dest [3 0 R /Fit] >>",
                                 "<< /Title (B) /Parent 10 0 R /Prev 11 0 R /Dest [3 0 R /Fit] >>"};
  std::string header, body;
  for (int i = 0; i < 3; ++i) {
    header += std::to_string(10 + i) + " " + std::to_string(body.size()) + " ";
    body += members[i] + "\n";
  }
  b.Stream(8, "/Type /ObjStm /N 3 /First " + std::to_string(header.size()), header + body);
  b.FinishWithStream(9, "/Root 1 0 R", {{10, {8, 0}}, {11, {8, 1}}, {12, {8, 2}}});
  vxtest::TempFile in;
  in.Write(b.Bytes());
  auto doc = vxtest::LoadBytes(b.Bytes());
  vxtest::TempFile out;
  std::string pdf = Save(*doc, out);
  EXPECT_EQ(SavedObjectsWith(pdf, "/Title (A)"), 1);
  EXPECT_EQ(SavedObjectsWith(pdf, "/Type /Outlines"), 1) << "the loaded root is not written besides the rebuilt one";
  EXPECT_EQ(vxtest::ReadQpdfStructures(in.Path()).Outlines, vxtest::ReadQpdfStructures(out.Path()).Outlines);
  EXPECT_EQ(vxtest::ReadQpdfStructures(out.Path()).Outlines, (Lines{"A -> page 1", "B -> page 1"}));
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
}
