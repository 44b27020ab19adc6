// Saving a whole document: the skeleton of the file, numbering, the
// cross-reference table, the target name, events, safe replacement of the
// target, determinism, and round trips checked by other PDF software.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "WriterTestSupport.h"
#include "pdf/document/vxShell.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxUtils.h"

using namespace vx;
using vxtest::MemoryDocument;
using vxtest::PdfBuilder;
using vxtest::TempDir;

namespace {

std::string Utf16Literal(const std::string& ascii) {
  std::string out = "(\xFE\xFF";
  for (char c : ascii) {
    out += '\0';
    out += c;
  }
  return out + ")";
}

// Checks the cross-reference table against the file itself: one entry per
// object, each pointing at that object's number line, /Size and startxref
// consistent. Answers the number of objects.
int CheckXRef(const std::string& file) {
  size_t start = file.rfind("\r\nxref\r\n");
  EXPECT_NE(start, std::string::npos);
  if (start == std::string::npos) return 0;
  start += 2;
  std::smatch m;
  std::string tail = file.substr(file.rfind("startxref"));
  EXPECT_TRUE(std::regex_match(tail, m, std::regex("startxref\r\n(\\d+)\r\n%%EOF\r\n")));
  EXPECT_EQ(std::stoul(m[1]), start);
  std::string head = file.substr(start, 40);
  EXPECT_TRUE(std::regex_search(head, m, std::regex("^xref\r\n0 (\\d+)\r\n")));
  int count = std::stoi(m[1]);
  size_t line = start + m[0].length();
  EXPECT_EQ(file.substr(line, 20), "0000000000 65535 f\r\n");
  for (int n = 1; n < count; ++n) {
    std::string entry = file.substr(line + 20 * size_t(n), 20);
    EXPECT_TRUE(std::regex_match(entry, std::regex("\\d{10} 00000 n\r\n"))) << entry;
    size_t offset = std::stoul(entry.substr(0, 10));
    std::string objLine = std::to_string(n) + " 0 obj\r\n";
    EXPECT_EQ(file.substr(offset, objLine.size()), objLine) << "object " << n;
    EXPECT_EQ(file.substr(offset - 2, 2), "\r\n");
  }
  EXPECT_NE(file.find("trailer\r\n<<\r\n/Size " + std::to_string(count) + "\r\n"), std::string::npos);
  return count - 1;
}

// The text of the object written as number `n`, between "obj" and "endobj".
std::string ObjectText(const std::string& file, int n) {
  std::string open = "\r\n" + std::to_string(n) + " 0 obj\r\n";
  size_t at = file.find(open);
  if (at == std::string::npos) return "";
  at += open.size();
  size_t end = file.find("\r\nendobj\r\n", at);
  return file.substr(at, end - at);
}

struct Events {
  std::vector<std::string> statuses;
  std::vector<int> progress;
  void Attach(TvxCustomPDFDocument& doc) {
    doc.OnStatusMessage = [this](TvxCustomPDFDocument&, const std::string& t) { statuses.push_back(t); };
    doc.OnIOProgress = [this](TvxCustomPDFDocument&, int p) { progress.push_back(p); };
  }
};

// Page resources with the font the test pages show text in.
const std::string kFont = "/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>";

// Catalog 1, a two-level page tree (2 -> [5 -> [3, 4], 6]), contents 7-9,
// an unused font 10.
std::string TwoLevelTree(const std::string& catalogExtra = "") {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R " + catalogExtra + " >>");
  b.Object(2, "<< /Type /Pages /Kids [5 0 R 6 0 R] /Count 3 >>");
  b.Object(5, "<< /Type /Pages /Parent 2 0 R /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 300 400] " + kFont + " >>");
  b.Object(3, "<< /Type /Page /Parent 5 0 R /Contents 7 0 R >>");
  b.Object(4, "<< /Type /Page /Parent 5 0 R /Contents 8 0 R >>");
  b.Object(6, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 9 0 R " + kFont + " >>");
  for (int i = 0; i < 3; ++i)
    b.Stream(7 + i, "", "BT /F1 12 Tf 20 20 Td (Sheet" + std::to_string(i + 1) + ") Tj ET");
  b.Object(10, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>");
  b.FinishWithTable("/Root 1 0 R /ID [<00112233445566778899AABBCCDDEEFF> <FFEEDDCCBBAA99887766554433221100>]");
  return b.Bytes();
}

}  // namespace

TEST(Writer, NeverLoadedDocumentIsTheBareSkeleton) {
  MemoryDocument doc;
  std::string file = vxtest::SaveToBytes(doc);

  std::string expected = "%PDF-1.4\r\n%\xE2\xE3\xCF\xD3\r\n";
  ASSERT_EQ(expected.size(), 17u);
  std::string objects[3] = {
      "\r\n1 0 obj\r\n<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n>>\r\nendobj\r\n",
      "\r\n2 0 obj\r\n<<\r\n/Producer " + Utf16Literal("Vexor Paginox V2.5") + "\r\n>>\r\nendobj\r\n",
      "\r\n3 0 obj\r\n<<\r\n/Type /Pages\r\n/Count 0\r\n/Kids [ ]\r\n>>\r\nendobj\r\n"};
  std::vector<size_t> offsets;
  for (const std::string& o : objects) {
    offsets.push_back(expected.size() + 2);
    expected += o;
  }
  size_t xref = expected.size();
  expected += "xref\r\n0 4\r\n0000000000 65535 f\r\n";
  for (size_t o : offsets) {
    std::string digits = std::to_string(o);
    expected += std::string(10 - digits.size(), '0') + digits + " 00000 n\r\n";
  }
  expected += "trailer\r\n<<\r\n/Size 4\r\n/Root 1 0 R\r\n/Info 2 0 R\r\n>>\r\nstartxref\r\n" +
              std::to_string(xref) + "\r\n%%EOF\r\n";
  EXPECT_EQ(file, expected);
  EXPECT_EQ(doc.Info().Producer(), u"Vexor Paginox V2.5");

  vxtest::TempFile out;
  out.Write(file);
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
}

TEST(Writer, HeaderCarriesTheVersion) {
  MemoryDocument doc;
  doc.SetPDFVersion(pvPDF17);
  EXPECT_EQ(vxtest::SaveToBytes(doc).substr(0, 17), "%PDF-1.7\r\n%\xE2\xE3\xCF\xD3\r\n");
  doc.SetPDFVersion(pvPDF20);
  EXPECT_EQ(vxtest::SaveToBytes(doc).substr(0, 10), "%PDF-2.0\r\n");
}

TEST(Writer, UsedObjectsAreRenumberedInStoreOrder) {
  MemoryDocument doc;
  TvxPDFIndirectObject* first = doc.AddObject(MakeName("/First"));
  TvxPDFIndirectObject* unused = doc.AddObject(MakeName("/Unused"), false);
  auto holder = std::make_unique<TvxPDFArrayObject>();
  holder->Add(doc.RefTo(unused));
  holder->Add(doc.RefTo(first));
  doc.AddObject(std::move(holder));

  std::string file = vxtest::SaveToBytes(doc);
  EXPECT_EQ(CheckXRef(file), 5);
  EXPECT_EQ(ObjectText(file, 4), "/First");
  EXPECT_EQ(ObjectText(file, 5), "[ null 4 0 R ]");
  EXPECT_EQ(file.find("/Unused"), std::string::npos);
  EXPECT_EQ(unused->NewNumber, 0);
}

TEST(Writer, ReportsStatusAndProgress) {
  MemoryDocument doc;
  doc.AddObject(MakeInteger(1));
  doc.AddObject(MakeInteger(2), false);
  doc.AddObject(MakeInteger(3));
  Events events;
  events.Attach(doc);
  TempDir dir;
  doc.SaveToFile(dir.File("out.pdf"));
  EXPECT_EQ(events.statuses,
            (std::vector<std::string>{"Saving File " + dir.File("out.pdf"), "Building Outlines...",
                                      "Building Objects...", "Writing Pages", "Writing Cross-Reference Table",
                                      "Save Complete"}));
  EXPECT_EQ(events.progress, (std::vector<int>{33, 66, 100}));
}

TEST(Writer, TargetNameGetsPdfUnlessItHasIt) {
  TempDir dir;
  MemoryDocument doc;
  doc.SaveToFile(dir.File("a.Pdf"));
  doc.SaveToFile(dir.File("b"));
  doc.SaveToFile(dir.File("c.txt"));
  doc.SaveToFile(dir.File("d.PDF"));
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"a.Pdf", "b.pdf", "c.txt.pdf", "d.PDF"}));
}

TEST(Writer, SavingTwiceGivesTheSameBytes) {
  std::string source = vxtest::SimplePdf(2, "", "/Title (T) /CreationDate (D:20240101000000Z)");
  auto doc = vxtest::LoadBytes(source);
  doc->SetCompression(0, 2);
  std::string first = vxtest::SaveToBytes(*doc);
  EXPECT_EQ(vxtest::SaveToBytes(*doc), first);
  // Another document loaded from the same bytes (another serial number)
  // writes the same file, also with streams encoded on several threads.
  auto other = vxtest::LoadBytes(source);
  other->SetCompression(0, 2);
  other->SetSaveThreads(4);
  EXPECT_EQ(vxtest::SaveToBytes(*other), first);
  other->SetSaveThreads(1);
  EXPECT_EQ(vxtest::SaveToBytes(*other), first);
}

TEST(Writer, FailedSaveLeavesTheTargetAsItWas) {
  // A stream whose /Filter is a number cannot be compressed: the save stops
  // after part of the file was written.
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents [4 0 R 5 0 R] >>");
  b.Stream(4, "", std::string(100000, 'x'));
  b.Stream(5, "/Filter 7", "data");
  b.FinishWithTable("/Root 1 0 R");
  auto doc = vxtest::LoadBytes(b.Bytes());
  doc->SetCompression(0, 2);

  TempDir dir;
  const std::string target = dir.File("out.pdf");
  {
    std::ofstream old(target, std::ios::binary);
    old << "OLD CONTENT";
  }
  EXPECT_THROW(
      {
        try {
          doc->SaveToFile(target);
        } catch (const EUnexpectedObjectError& e) {
          EXPECT_STREQ(e.what(), "Unexpected filter object, found (Integer Object)");
          throw;
        }
      },
      EUnexpectedObjectError);
  EXPECT_EQ(vxtest::ReadFile(target), "OLD CONTENT");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.pdf"});

  // Also on several threads, where the error arises on a worker.
  doc->SetSaveThreads(3);
  EXPECT_THROW(doc->SaveToFile(target), EUnexpectedObjectError);
  EXPECT_EQ(vxtest::ReadFile(target), "OLD CONTENT");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.pdf"});
}

TEST(Writer, FilterArrayItemThatIsNoNameFailsCleanly) {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>");
  b.Stream(4, "/Filter [/ASCIIHexDecode 5]", "41>");
  b.FinishWithTable("/Root 1 0 R");
  auto doc = vxtest::LoadBytes(b.Bytes());
  doc->SetCompression(0, 2);
  TempDir dir;
  EXPECT_THROW(doc->SaveToFile(dir.File("out.pdf")), EInvalidCast);
  EXPECT_TRUE(dir.Entries().empty());
}

TEST(Writer, UnwritablePlacesRaiseAndLeaveNothingBehind) {
  MemoryDocument doc;
  TempDir dir;
  EXPECT_THROW(doc.SaveToFile(dir.File("missing/out.pdf")), EWriteError);
  // A folder in the target's place is not replaced.
  std::filesystem::create_directory(dir.File("taken.pdf"));
  EXPECT_THROW(doc.SaveToFile(dir.File("taken.pdf")), EWriteError);
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("taken.pdf")));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"taken.pdf"});
  // No file can be created under /proc, whoever runs the test.
  EXPECT_THROW(doc.SaveToFile("/proc/vordel-out.pdf"), EWriteError);
}

TEST(Writer, ReplacedTargetKeepsItsPermissions) {
  TempDir dir;
  const std::string target = dir.File("out.pdf");
  {
    std::ofstream old(target);
    old << "old";
  }
  ::chmod(target.c_str(), 0640);
  MemoryDocument doc;
  doc.SaveToFile(target);
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(vxtest::ReadFile(target).substr(0, 8), "%PDF-1.4");
}

TEST(Writer, SavesOverItsOwnSource) {
  TempDir dir;
  const std::string path = dir.File("doc.pdf");
  {
    std::ofstream src(path, std::ios::binary);
    src << vxtest::SimplePdf(2, "", "", kFont);
  }
  TvxPDFDocument doc;
  doc.SetShowSetupDialog(false);
  doc.LoadFromFile(path);
  doc.SetCompression(0, 2);
  doc.SaveToFile(path);
  EXPECT_EQ(vxtest::QpdfProblems(path), "");
  std::string text = vxtest::PdfText(path);
  EXPECT_NE(text.find("Page 1"), std::string::npos);
  EXPECT_NE(text.find("Page 2"), std::string::npos);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"doc.pdf"});
}

TEST(Writer, PageTreeIsWrittenFlatInReadingOrder) {
  auto doc = vxtest::LoadBytes(TwoLevelTree());
  ASSERT_EQ(doc->PageCount(), 3);
  std::string file = vxtest::SaveToBytes(*doc);
  int count = CheckXRef(file);
  std::string root = ObjectText(file, 3);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(root, m,
                               std::regex("<<\r\n/Type /Pages\r\n/Count 3\r\n/Kids \\[ (\\d+) 0 R (\\d+) 0 R (\\d+) "
                                          "0 R \\]\r\n>>")))
      << root;
  for (int i = 1; i <= 3; ++i) {
    std::string page = ObjectText(file, std::stoi(m[i]));
    EXPECT_NE(page.find("/Type /Page\r\n"), std::string::npos);
    EXPECT_NE(page.find("/Parent 3 0 R\r\n>>"), std::string::npos);
  }
  // No intermediate /Pages node and no unused font are written.
  int pagesNodes = 0;
  for (int n = 1; n <= count; ++n)
    if (ObjectText(file, n).find("/Type /Pages") != std::string::npos) ++pagesNodes;
  EXPECT_EQ(pagesNodes, 1);
  EXPECT_EQ(file.find("/Courier"), std::string::npos);
  // The loaded /ID is kept.
  EXPECT_NE(file.find("/ID [ <00112233445566778899AABBCCDDEEFF> <FFEEDDCCBBAA99887766554433221100> ]\r\n>>"),
            std::string::npos);

  vxtest::TempFile out;
  out.Write(file);
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
  std::string text = vxtest::PdfText(out.Path());
  size_t a = text.find("Sheet1"), b = text.find("Sheet2"), c = text.find("Sheet3");
  ASSERT_NE(c, std::string::npos) << text;
  EXPECT_LT(a, b);
  EXPECT_LT(b, c);
  std::string sizes;
  vxtest::RunCommand("pdfinfo -f 1 -l 3 " + vxtest::Quote(out.Path()) + " | grep 'size:'", &sizes);
  EXPECT_NE(sizes.find("Page    1 size:  300 x 400"), std::string::npos) << sizes;
  EXPECT_NE(sizes.find("Page    3 size:  612 x 792"), std::string::npos) << sizes;
}

TEST(Writer, CatalogIsRebuiltFromTheSettings) {
  auto doc = vxtest::LoadBytes(TwoLevelTree(
      "/Lang (en) /MarkInfo << /Marked true >> /PageMode /UseNone /PageLayout /OneColumn "
      "/ViewerPreferences << /HideToolbar false /Duplex /Simplex /Direction /R2L >> "
      "/OpenAction [3 0 R /Fit]"));
  doc->ViewerPreferences().SetCenterWindow(true);
  std::string catalog = ObjectText(vxtest::SaveToBytes(*doc), 1);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(catalog, m,
                               std::regex("<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n/PageLayout /OneColumn\r\n"
                                          "/ViewerPreferences <<\r\n/CenterWindow true\r\n/Direction /R2L\r\n"
                                          "/Duplex /Simplex\r\n>>\r\n"
                                          "/OpenAction \\[ (\\d+) 0 R /Fit \\]\r\n"
                                          "/Lang \\(en\\)\r\n/MarkInfo <<\r\n/Marked true\r\n>>\r\n>>")))
      << catalog;
  EXPECT_NE(m[1], "3");

  doc->SetPageMode(pmUseOutlines);
  doc->SetPageLayout(plNone);
  catalog = ObjectText(vxtest::SaveToBytes(*doc), 1);
  EXPECT_NE(catalog.find("/Pages 3 0 R\r\n/PageMode /UseOutlines\r\n/ViewerPreferences"), std::string::npos)
      << catalog;
  EXPECT_EQ(catalog.find("/PageLayout"), std::string::npos);
}

TEST(Writer, PageTransitions) {
  MemoryDocument doc;
  EXPECT_EQ(doc.SerializeObject(1, TvxCustomPDFDocument::CreateTransition(9, 2.0f).get()),
            "<<\r\n/Type /Trans\r\n/D 2.0000000000\r\n/S /Wipe\r\n/Di 0\r\n>>");
  EXPECT_EQ(doc.SerializeObject(1, TvxCustomPDFDocument::CreateTransition(1, 1.0f).get()),
            "<<\r\n/Type /Trans\r\n/D 1.0000000000\r\n/S /Split\r\n/Dm /H\r\n/M /I\r\n>>");
  EXPECT_EQ(doc.SerializeObject(1, TvxCustomPDFDocument::CreateTransition(16, 0.5f).get()),
            "<<\r\n/Type /Trans\r\n/D 0.5000000000\r\n/S /Glitter\r\n/Di 315\r\n>>");
  EXPECT_EQ(doc.SerializeObject(1, TvxCustomPDFDocument::CreateTransition(42, 1.0f).get()),
            "<<\r\n/Type /Trans\r\n/D 1.0000000000\r\n/S /R\r\n>>");

  auto loaded = vxtest::LoadBytes(vxtest::SimplePdf(3));
  loaded->SetPageTransition("1,3", 13, 1.5f);
  vxtest::TempFile out;
  loaded->SaveToFile(out.Path());
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
  std::string json;
  vxtest::RunCommand("qpdf --show-npages " + vxtest::Quote(out.Path()), &json);
  EXPECT_EQ(json, "3\n");
  std::string file = out.Read();
  const std::string transition =
      "/Dur 1.5000000000\r\n/Trans <<\r\n/Type /Trans\r\n/D 1.5000000000\r\n/S /Dissolve\r\n>>\r\n";
  size_t transitions = 0;
  for (size_t at = file.find(transition); at != std::string::npos; at = file.find(transition, at + 1)) ++transitions;
  EXPECT_EQ(transitions, 2u);
  EXPECT_THROW(loaded->SetPageTransition("4", 13, 1.0f), EInvalidPageError);
}

TEST(Writer, LoadedFilesRoundTripThroughOtherReaders) {
  auto doc = vxtest::LoadBytes(vxtest::SimplePdf(3, "", "/Title (Round trip) /Author (Jane)", kFont));
  doc->SetCompression(0, 3);
  vxtest::TempFile out;
  doc->SaveToFile(out.Path());
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
  std::string text = vxtest::PdfText(out.Path());
  for (const char* page : {"Page 1", "Page 2", "Page 3"}) EXPECT_NE(text.find(page), std::string::npos) << text;
  std::string info;
  vxtest::RunCommand("pdfinfo " + vxtest::Quote(out.Path()), &info);
  EXPECT_NE(info.find("Title:           Round trip"), std::string::npos) << info;
  EXPECT_NE(info.find("Producer:        Vexor Paginox V2.5"), std::string::npos) << info;
  TempDir dir;
  EXPECT_EQ(vxtest::RunCommand("pdftoppm -r 10 -png " + vxtest::Quote(out.Path()) + " " +
                               vxtest::Quote(dir.File("p"))),
            0);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"p-1.png", "p-2.png", "p-3.png"}));
}

namespace {

class ScriptedDialog : public TvxBaseDlg {
 public:
  explicit ScriptedDialog(TvxModalResult result) : result_(result) {}
  TvxModalResult Execute() override {
    shownFor = Document;
    return result_;
  }
  TvxCustomPDFDocument* shownFor = nullptr;

 private:
  TvxModalResult result_;
};

}  // namespace

TEST(Writer, SetupDialogCanCancelTheSave) {
  TempDir dir;
  MemoryDocument doc;
  doc.SetShowSetupDialog(true);
  ScriptedDialog cancel(TvxModalResult::mrCancel);
  doc.SetSetupDialog(&cancel);
  EXPECT_FALSE(doc.SaveToFile(dir.File("out.pdf")));
  EXPECT_EQ(cancel.shownFor, &doc);
  EXPECT_EQ(cancel.Document, nullptr);
  EXPECT_TRUE(dir.Entries().empty());

  ScriptedDialog ok(TvxModalResult::mrOK);
  doc.SetSetupDialog(&ok);
  EXPECT_TRUE(doc.SaveToFile(dir.File("out.pdf")));
  EXPECT_EQ(ok.shownFor, &doc);
  EXPECT_EQ(ok.Document, nullptr);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.pdf"});
}

TEST(Writer, OpenAfterSaveOpensTheFinishedFile) {
  TempDir dir;
  std::vector<std::string> opened;
  std::string bytesWhenOpened;
  RegisterShellOpen([&](const std::string& name) {
    opened.push_back(name);
    bytesWhenOpened = vxtest::ReadFile(name);
  });
  MemoryDocument doc;
  doc.SaveToFile(dir.File("quiet"));
  EXPECT_TRUE(opened.empty());
  doc.SetOpenAfterSave(true);
  doc.SaveToFile(dir.File("shown"));
  RegisterShellOpen(nullptr);
  EXPECT_EQ(opened, std::vector<std::string>{dir.File("shown.pdf")});
  EXPECT_EQ(bytesWhenOpened.substr(bytesWhenOpened.size() - 7), "%%EOF\r\n");
}

TEST(Writer, InformationKeysKeepTheirOrder) {
  MemoryDocument doc;
  doc.Info().SetTitle(u"T");
  doc.Info().SetSubject(u"S");
  doc.Info().SetKeywords(u"K");
  doc.Info().SetAuthor(u"A");
  std::string info = ObjectText(vxtest::SaveToBytes(doc), 2);
  EXPECT_EQ(info, "<<\r\n/Title " + Utf16Literal("T") + "\r\n/Subject " + Utf16Literal("S") + "\r\n/Keywords " +
                      Utf16Literal("K") + "\r\n/Author " + Utf16Literal("A") + "\r\n/Producer " +
                      Utf16Literal("Vexor Paginox V2.5") + "\r\n>>");

  // Loaded entries are written back as they were read, unknown keys too; the
  // producer is replaced and no date is added.
  auto loaded = vxtest::LoadBytes(
      vxtest::SimplePdf(1, "", "/CreationDate (D:20200101120000+01'00') /Producer (Other) /Custom <41>"));
  info = ObjectText(vxtest::SaveToBytes(*loaded), 2);
  EXPECT_EQ(info, "<<\r\n/CreationDate (D:20200101120000+01'00')\r\n/Producer " + Utf16Literal("Vexor Paginox V2.5") +
                      "\r\n/Custom <41>\r\n>>");

  // A date that holds no text reads as empty and is written back as it was.
  auto numeric = vxtest::LoadBytes(vxtest::SimplePdf(1, "", "/CreationDate 20200101 /ModDate [1]"));
  EXPECT_EQ(numeric->Info().CreationDate(), "");
  EXPECT_EQ(numeric->Info().ModDate(), "");
  info = ObjectText(vxtest::SaveToBytes(*numeric), 2);
  EXPECT_NE(info.find("/CreationDate 20200101\r\n"), std::string::npos) << info;
}

TEST(Writer, StreamsEncodedOnSeveralThreadsComeOutInOrder) {
  MemoryDocument doc;
  for (int i = 0; i < 300; ++i) {
    auto dict = std::make_unique<TvxPDFDictObject>();
    if (i % 7 == 0) dict->AddName("/Filter", "/DCTDecode");
    std::string data(size_t(i * 97 % 5000), char('a' + i % 26));
    auto stream = std::make_unique<TvxPDFStreamObject>(std::move(dict), std::make_unique<TvxMemoryStream>(data));
    doc.AddObject(std::move(stream), i % 5 != 0);
    doc.AddObject(MakeInteger(i));
  }
  doc.SetCompression(0, 1);
  doc.Encryption().SetEnabled(true);
  doc.SetSaveThreads(1);
  std::string serial = vxtest::SaveToBytes(doc);
  for (unsigned threads : {2u, 3u, 8u}) {
    doc.SetSaveThreads(threads);
    EXPECT_EQ(vxtest::SaveToBytes(doc), serial) << threads << " threads";
  }
  EXPECT_EQ(CheckXRef(serial), 3 + 240 + 300 + 1);
}
