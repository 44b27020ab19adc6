// The catalog keeps what the writer does not build itself: foreign catalog
// entries with the objects they reach, unknown viewer-preference entries,
// page modes and layouts outside the known tables, and every entry of an
// outline item besides its rebuilt links. Saved files are judged by pikepdf
// (tests/support/compare_catalogs.py), not by our own reading.
#include <gtest/gtest.h>

#include <string>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/security/vxPDFCrypt.h"
#include "OutlineTestSupport.h"
#include "WriterTestSupport.h"
#include "support/PdfBuilder.h"

namespace {

using namespace vx;
using vxtest::SavedKeys;
using vxtest::SavedObject;
using vxtest::SavedObjectsWith;
using Lines = std::vector<std::string>;

std::string Save(TvxCustomPDFDocument& doc, const vxtest::TempFile& out) {
  EXPECT_TRUE(doc.SaveToFile(out.Path()));
  return out.Read();
}

// What the comparer says about the two files (empty when they agree), with
// its exit status.
struct Verdict {
  int Status = -1;
  std::string Text;
};
Verdict CompareCatalogs(const vxtest::TempFile& source, const vxtest::TempFile& output, const std::string& options) {
  Verdict v;
  v.Status = vxtest::RunCommand("/usr/bin/python3 " + vxtest::Quote(std::string(VX_SOURCE_DIR) +
                                                                      "/tests/support/compare_catalogs.py") +
                                    " " + vxtest::Quote(source.Path()) + " " + vxtest::Quote(output.Path()) + " " +
                                    options,
                                &v.Text);
  return v;
}

// A tagged document with layers, page labels, output intents, named
// destinations and private entries, the way office and prepress programs
// write them; objects 10.. hang off the catalog only.
std::string RichCatalogDocument() {
  return vxtest::DocumentWith(
      "/Version /1.7 /Lang (en-GB) /MarkInfo << /Marked true >> /StructTreeRoot 10 0 R "
      "/PageLabels << /Nums [0 << /S /r >> 1 << /S /D /St 5 /P (A-) >>] >> "
      "/OCProperties << /OCGs [20 0 R 21 0 R] /D << /Order [20 0 R 21 0 R] /OFF [21 0 R] >> >> "
      "/OutputIntents [22 0 R] /Dests 24 0 R /PieceInfo << /MyApp << /LastModified (D:20260101) "
      "/Private 25 0 R >> >> /XYZ_Private 26 0 R /Extensions << /ADBE << /BaseVersion /1.7 "
      "/ExtensionLevel 3 >> >>",
      {{10, "<< /Type /StructTreeRoot /K [11 0 R] /ParentTree 13 0 R /RoleMap << /Heading /H1 >> >>"},
       {11, "<< /Type /StructElem /S /Document /P 10 0 R /K [12 0 R] >>"},
       {12, "<< /Type /StructElem /S /Heading /P 11 0 R /Pg 5 0 R /K 0 /Alt (Title) >>"},
       {13, "<< /Nums [0 [12 0 R]] >>"},
       {20, "<< /Type /OCG /Name (Visible layer) >>"},
       {21, "<< /Type /OCG /Name (Hidden layer) /Usage << /Print << /PrintState /OFF >> >> >>"},
       {22, "<< /Type /OutputIntent /S /GTS_PDFA1 /OutputConditionIdentifier (sRGB) /DestOutputProfile 23 0 R >>"},
       {23, "<< /N 3 /Length 12 >>\nstream\nprofile-data\nendstream"},
       {24, "<< /intro [3 0 R /Fit] /later [5 0 R /XYZ 0 792 0] >>"},
       {25, "[1 2.5 (three) /four]"},
       {26, "<< /Owner (me) /Loop 26 0 R /Page 3 0 R >>"}});
}

TEST(CatalogKeep, ForeignCatalogEntriesSurviveASaveWithWhatTheyReach) {
  vxtest::TempFile in;
  in.Write(RichCatalogDocument());
  auto doc = vxtest::LoadBytes(in.Read());
  vxtest::TempFile out;
  const std::string pdf = Save(*doc, out);

  // Built entries first, then the source's own in source order; /Version is
  // dropped (the header carries the version).
  EXPECT_EQ(SavedKeys(SavedObject(pdf, 1)),
            (Lines{"/Type", "/Pages", "/Lang", "/MarkInfo", "/StructTreeRoot", "/PageLabels", "/OCProperties",
                   "/OutputIntents", "/Dests", "/PieceInfo", "/XYZ_Private", "/Extensions"}));
  // Each object reached is written once.
  EXPECT_EQ(SavedObjectsWith(pdf, "/Type /StructTreeRoot"), 1);
  EXPECT_EQ(SavedObjectsWith(pdf, "/Name (Hidden layer)"), 1);
  EXPECT_EQ(SavedObjectsWith(pdf, "/Owner (me)"), 1);

  // As another reader sees them, every value is the source's, through
  // references (the structure element still names page 2, the private
  // dictionary still refers to itself).
  Verdict same = CompareCatalogs(in, out, "--skip /Pages,/Version");
  EXPECT_EQ(same.Status, 0) << same.Text;
  EXPECT_EQ(same.Text, "");
  Verdict version = CompareCatalogs(in, out, "--keys-only --keys /Version");
  EXPECT_EQ(version.Text, "missing /Version\n");
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");

  // Encrypted, the strings of kept entries are encrypted for the catalog
  // and read back the same.
  doc->Encryption().SetEnabled(true);
  doc->Encryption().SetLevel(el128bit);
  doc->Encryption().SetUserPassword("");
  doc->Encryption().SetOwnerPassword("owner");
  vxtest::TempFile encrypted;
  const std::string locked = Save(*doc, encrypted);
  EXPECT_EQ(locked.find("(en-GB)"), std::string::npos);
  Verdict decrypted = CompareCatalogs(in, encrypted, "--skip /Pages,/Version");
  EXPECT_EQ(decrypted.Status, 0) << decrypted.Text;
  EXPECT_EQ(vxtest::QpdfProblems(encrypted.Path()), "");
}

TEST(CatalogKeep, ViewerPreferencesKeepEntriesTheProgramDoesNotEdit) {
  vxtest::TempFile in;
  in.Write(vxtest::DocumentWith(
      "/ViewerPreferences 10 0 R",
      {{10, "<< /PrintScaling /None /HideToolbar true /Duplex /DuplexFlipLongEdge /PickTrayByPDFSize false "
            "/PrintPageRange 11 0 R /NumCopies 2 /Enforce [/PrintScaling] /Direction /R2L >>"},
       {11, "[0 0 1 1]"}}));
  auto doc = vxtest::LoadBytes(in.Read());
  vxtest::TempFile out;
  std::string pdf = Save(*doc, out);
  Verdict same = CompareCatalogs(in, out, "--keys /ViewerPreferences");
  EXPECT_EQ(same.Status, 0) << same.Text;

  // The known keys in their order, then the others in loaded order; the
  // window's settings still win for the keys it owns.
  doc->ViewerPreferences().SetHideToolbar(false);
  doc->ViewerPreferences().SetFitWindow(true);
  pdf = Save(*doc, out);
  const std::string catalog = SavedObject(pdf, 1);
  const size_t start = catalog.find("/ViewerPreferences <<\r\n");
  ASSERT_NE(start, std::string::npos) << catalog;
  const std::string prefs = catalog.substr(start, catalog.find(">>", start) + 2 - start);
  EXPECT_EQ(SavedKeys(prefs.substr(prefs.find("<<"))),
            (Lines{"/FitWindow", "/Direction", "/PrintScaling", "/Duplex", "/PickTrayByPDFSize", "/PrintPageRange",
                   "/NumCopies", "/Enforce"}))
      << prefs;
  EXPECT_NE(prefs.find("/PickTrayByPDFSize false\r\n"), std::string::npos) << "a loaded false is not a flag we set";
  EXPECT_EQ(SavedObjectsWith(pdf, "[ 0 0 1 1 ]"), 1) << "the page range array is written";
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
}

TEST(CatalogKeep, PageModeAndLayoutOutsideTheTablesAreWrittenBackUntilChanged) {
  // Private names: the standard's /UseOC and /TwoPageLeft are in the tables.
  auto doc = vxtest::LoadBytes(vxtest::SimplePdf(1, "/PageMode /UseStories /PageLayout /ThreePage"));
  EXPECT_EQ(doc->PageMode(), pmNone);
  EXPECT_EQ(doc->PageLayout(), plNone);
  auto catalog = [&] { return vxtest::SavedObject(vxtest::SaveToBytes(*doc), 1); };
  std::string saved = catalog();
  EXPECT_NE(saved.find("/PageMode /UseStories\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("/PageLayout /ThreePage\r\n"), std::string::npos) << saved;

  // Setting what the document already reads (the window does on every save)
  // changes nothing.
  doc->SetPageMode(pmNone);
  doc->SetPageLayout(plNone);
  EXPECT_EQ(catalog(), saved);

  // Another value replaces the document's own, for good.
  doc->SetPageMode(pmUseThumbs);
  doc->SetPageLayout(plSinglePage);
  saved = catalog();
  EXPECT_NE(saved.find("/PageMode /UseThumbs\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("/PageLayout /SinglePage\r\n"), std::string::npos) << saved;
  doc->SetPageMode(pmNone);
  doc->SetPageLayout(plNone);
  saved = catalog();
  EXPECT_EQ(saved.find("/PageMode"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("/PageLayout"), std::string::npos) << saved;
}

TEST(CatalogKeep, OutlineItemsKeepTheirEntriesAndCountVisibleDescendants) {
  // Counts as the PDF standard has them: A is closed and would show its two
  // children and A1's two; B is open with a closed child (B1) whose child
  // is not shown; the root shows A, B and B1.
  vxtest::TempFile in;
  in.Write(vxtest::DocumentWith(
      "/Outlines 10 0 R /StructTreeRoot 30 0 R",
      {{10, "<< /Type /Outlines /First 11 0 R /Last 12 0 R /Count 3 /XYZ_Tool (kept) >>"},
       {11, "<< /Title (A) /Parent 10 0 R /Next 12 0 R /First 13 0 R /Last 14 0 R /Count -4 "
            "/Dest [3 0 R /Fit] /SE 31 0 R /XYZ_Mark 32 0 R >>"},
       {13, "<< /Title (A1) /Parent 11 0 R /Next 14 0 R /First 15 0 R /Last 16 0 R /Count 2 >>"},
       {15, "<< /Title (A1a) /Parent 13 0 R /Next 16 0 R >>"},
       {16, "<< /Title (A1b) /Parent 13 0 R /Prev 15 0 R >>"},
       {14, "<< /Title (A2) /Parent 11 0 R /Prev 13 0 R /C [0 0 1] /F 2 >>"},
       {12, "<< /Title (B) /Parent 10 0 R /Prev 11 0 R /First 17 0 R /Last 17 0 R /Count 1 >>"},
       {17, "<< /Title (B1) /Parent 12 0 R /First 18 0 R /Last 18 0 R /Count -1 >>"},
       {18, "<< /Title (B1a) /Parent 17 0 R >>"},
       {30, "<< /Type /StructTreeRoot /K 31 0 R >>"},
       {31, "<< /Type /StructElem /S /H1 /P 30 0 R /Pg 3 0 R >>"},
       {32, "<< /Note (private) >>"}}));
  auto doc = vxtest::LoadBytes(in.Read());
  vxtest::TempFile out;
  const std::string pdf = Save(*doc, out);

  // pikepdf sees the same tree: counts, /SE naming the same structure
  // element, private entries, the root's /Type.
  Verdict same = CompareCatalogs(in, out, "--keys /Outlines,/StructTreeRoot");
  EXPECT_EQ(same.Status, 0) << same.Text;
  EXPECT_EQ(same.Text, "");
  EXPECT_EQ(SavedObjectsWith(pdf, "/S /H1"), 1) << "the structure element is written once";
  EXPECT_EQ(SavedObjectsWith(pdf, "/Note (private)"), 1);
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
}

TEST(CatalogKeep, AnEntryWhoseObjectsCannotBeReadIsLeftOutWithAWarning) {
  // Empty objects, which the parser refuses: before such entries were kept,
  // these files loaded, and they still do.
  vxtest::LoadedDocument loaded = vxtest::LoadWithWarnings(vxtest::DocumentWith(
      "/X 30 0 R /Lang (en) /ViewerPreferences << /PrintPageRange 31 0 R /Duplex /Simplex >> /Outlines 10 0 R",
      {{10, "<< /Type /Outlines /First 11 0 R /Last 11 0 R /Count 1 >>"},
       {11, "<< /Title (Only) /Parent 10 0 R /SE 32 0 R /XYZ_Note (kept) >>"},
       {30, ""},
       {31, ""},
       {32, ""}}));
  ASSERT_TRUE(loaded.Doc && loaded.Doc->IsLoaded());
  EXPECT_EQ(loaded.Warnings.size(), 3u);
  for (const char* key : {"/X", "/PrintPageRange", "/SE"}) {
    bool found = false;
    for (const std::string& w : loaded.Warnings) found |= w.rfind(std::string("Entry ") + key + " left out", 0) == 0;
    EXPECT_TRUE(found) << key;
  }
  const std::string pdf = vxtest::SaveToBytes(*loaded.Doc);
  const std::string catalog = SavedObject(pdf, 1);
  EXPECT_EQ(catalog.find("/X "), std::string::npos) << catalog;
  EXPECT_NE(catalog.find("/Lang (en)"), std::string::npos) << catalog;
  EXPECT_NE(catalog.find("/Duplex /Simplex"), std::string::npos) << catalog;
  EXPECT_EQ(catalog.find("/PrintPageRange"), std::string::npos) << catalog;
  const std::string item = vxtest::SavedObjectWith(pdf, "/Title (Only)");
  EXPECT_EQ(item.find("/SE"), std::string::npos) << item;
  EXPECT_NE(item.find("/XYZ_Note (kept)"), std::string::npos) << item;
}

}  // namespace
