// Incremental updates: the source's bytes followed by only the changed
// objects under their own numbers, a cross-reference section of the
// source's newest kind chained by /Prev, the file's own encryption, and a
// refusal that names the setting an update cannot express. Judged by qpdf,
// Poppler and pikepdf.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>

#include "WriterTestSupport.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"

using namespace vx;
using vxtest::Quote;
using vxtest::RunCommand;
using vxtest::TempFile;

namespace {

const std::string kFont = "/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>";

using vxtest::OpenWithPassword;

void SaveIncrementally(TvxCustomPDFDocument& doc, const std::string& path) {
  doc.SetSaveKind(TvxSaveKind::Incremental);
  doc.SaveToFile(path, 2);
}

// "number generation" of every object header in `bytes`.
std::set<std::string> ObjectHeaders(const std::string& bytes) {
  std::set<std::string> found;
  static const std::regex header(R"((^|[\r\n])(\d+ \d+) obj)");
  for (auto it = std::sregex_iterator(bytes.begin(), bytes.end(), header); it != std::sregex_iterator(); ++it)
    found.insert((*it)[2]);
  return found;
}

// What pikepdf reads: `expression` over `pdf` (the opened file).
std::string Pike(const std::string& path, const std::string& expression, const std::string& password = "") {
  std::string out;
  int status = RunCommand("/usr/bin/python3 -c " +
                              Quote("import pikepdf,sys\npdf=pikepdf.open(sys.argv[1], password=sys.argv[2])\nprint(" +
                                    expression + ")") +
                              " " + Quote(path) + " " + Quote(password),
                          &out, false);
  EXPECT_EQ(status, 0) << "pikepdf is needed: " << out;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::string Update(const std::string& source, const std::string& output) {
  EXPECT_GT(output.size(), source.size());
  EXPECT_EQ(output.compare(0, source.size(), source), 0) << "the output does not start with the source's bytes";
  return output.substr(std::min(source.size(), output.size()));
}

}  // namespace

TEST(IncrementalSave, WritesOnlyTheChangedObjectsUnderTheirNumbers) {
  TempFile in, out, again;
  // Catalog 1, pages 2, page objects 3, 5, 7 with contents 4, 6, 8; info 9.
  in.Write(vxtest::SimplePdf(3, "/PageLayout /OneColumn", "/Title (Old) /Author (Ann)", kFont));
  auto doc = OpenWithPassword(in.Path());
  ASSERT_TRUE(doc);
  doc->Info().SetTitle(u"New title");
  doc->SetPageMode(pmUseOutlines);
  doc->ViewerPreferences().SetFitWindow(true);
  doc->SetPageTransition("2", 13, 2.0f);
  SaveIncrementally(*doc, out.Path());

  const std::string source = in.Read();
  const std::string update = Update(source, out.Read());
  // The catalog, the information and the second page; nothing else.
  const std::set<std::string> written = ObjectHeaders(update);
  const std::set<std::string> infoNumber = ObjectHeaders(source.substr(source.find("/Title (Old)") - 40, 40));
  ASSERT_EQ(infoNumber.size(), 1u);
  std::set<std::string> expected = {"1 0", "5 0", *infoNumber.begin()};
  EXPECT_EQ(written, expected) << update;
  EXPECT_NE(update.find("/Prev " + std::to_string(source.rfind("\nxref") + 1)), std::string::npos) << update;
  EXPECT_NE(update.find("\nxref"), std::string::npos) << "a classic source gets a classic table";

  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
  EXPECT_EQ(Pike(out.Path(), "pdf.docinfo.Title"), "New title");
  EXPECT_EQ(Pike(out.Path(), "pdf.docinfo.Author"), "Ann");
  EXPECT_EQ(Pike(out.Path(), "pdf.Root.PageMode, pdf.Root.PageLayout, pdf.Root.ViewerPreferences.FitWindow"),
            "/UseOutlines /OneColumn True");
  EXPECT_EQ(Pike(out.Path(), "pdf.pages[1].Trans.S, '/Trans' in pdf.pages[0], '/Trans' in pdf.pages[2]"),
            "/Dissolve False False");
  EXPECT_EQ(vxtest::PdfText(out.Path()), vxtest::PdfText(in.Path()));

  // The same save again gives the same bytes; /ID keeps its first element.
  auto second = OpenWithPassword(in.Path());
  second->Info().SetTitle(u"New title");
  second->SetPageMode(pmUseOutlines);
  second->ViewerPreferences().SetFitWindow(true);
  second->SetPageTransition("2", 13, 2.0f);
  SaveIncrementally(*second, again.Path());
  EXPECT_EQ(again.Read(), out.Read());

  // Nothing changed: the file is written as it was, with no empty revision.
  TempFile same;
  auto untouched = OpenWithPassword(in.Path());
  SaveIncrementally(*untouched, same.Path());
  EXPECT_EQ(same.Read(), source);
}

TEST(IncrementalSave, StreamSourceGetsAStreamAndMissingInfoANewObject) {
  vxtest::PdfBuilder b("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
      .Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R " + kFont + " >>")
      .Stream(4, "", "BT /F1 12 Tf 20 100 Td (Streamed) Tj ET");
  b.FinishWithStream(5, "/Root 1 0 R /ID [<00112233445566778899AABBCCDDEEFF> <00112233445566778899AABBCCDDEEFF>]");
  TempFile in, out;
  in.Write(b.Bytes());
  auto doc = OpenWithPassword(in.Path());
  ASSERT_TRUE(doc);
  doc->Info().SetTitle(u"Made later");
  SaveIncrementally(*doc, out.Path());

  const std::string update = Update(in.Read(), out.Read());
  EXPECT_NE(update.find("/Type /XRef"), std::string::npos) << update;
  EXPECT_EQ(update.find("\nxref"), std::string::npos) << update;
  // The information is a new object above the source's numbers (1-5), and
  // the catalog is not written for it.
  const std::set<std::string> written = ObjectHeaders(update);
  EXPECT_EQ(written.count("1 0"), 0u) << update;
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
  EXPECT_EQ(Pike(out.Path(), "pdf.trailer.Info.objgen[0] > 5, pdf.trailer.Info.objgen[1]"), "True 0");
  // /ID: the document's first element stays, the revision's is new.
  EXPECT_EQ(Pike(out.Path(), "bytes(pdf.trailer.ID[0]).hex()"), "00112233445566778899aabbccddeeff");
  EXPECT_NE(Pike(out.Path(), "bytes(pdf.trailer.ID[1]).hex()"), "00112233445566778899aabbccddeeff");
  EXPECT_EQ(Pike(out.Path(), "pdf.docinfo.Title"), "Made later");
  EXPECT_EQ(vxtest::PdfText(out.Path()), vxtest::PdfText(in.Path()));
}

// A damaged file whose /Info names its page tree: the new information is
// an object of its own and the page tree stays as it was.
TEST(IncrementalSave, InfoThatIsAlsoThePageTreeGetsANewObject) {
  vxtest::PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
      .Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R " + kFont + " >>")
      .Stream(4, "", "BT /F1 12 Tf 20 100 Td (Kept page) Tj ET");
  b.FinishWithTable("/Root 1 0 R /Info 2 0 R");
  TempFile in, out;
  in.Write(b.Bytes());
  auto doc = OpenWithPassword(in.Path());
  ASSERT_TRUE(doc);
  doc->Info().SetTitle(u"Separate");
  SaveIncrementally(*doc, out.Path());
  const std::string update = Update(in.Read(), out.Read());
  EXPECT_EQ(ObjectHeaders(update).count("2 0"), 0u) << update;
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
  EXPECT_EQ(Pike(out.Path(), "pdf.docinfo.Title, len(pdf.pages)"), "Separate 1");
  EXPECT_EQ(vxtest::PdfText(out.Path()), vxtest::PdfText(in.Path()));
}

TEST(IncrementalSave, EncryptedSourceKeepsItsKeyAndOpensWithEitherPassword) {
  for (TvxPDFEncryptionLevel level : {el128bit, elAES256}) {
    SCOPED_TRACE(int(level));
    TempFile plain, encrypted, out;
    plain.Write(vxtest::SimplePdf(2, "", "/Title (Secret)", kFont));
    {
      auto doc = OpenWithPassword(plain.Path());
      doc->Encryption().SetEnabled(true);
      doc->Encryption().SetLevel(level);
      doc->Encryption().SetUserPassword("user");
      doc->Encryption().SetOwnerPassword("owner");
      doc->Encryption().SetUserPermissions(TvxUserPermissions::All());
      doc->CreateEncryptionHandler();
      doc->SaveToFile(encrypted.Path(), 2);
    }
    // Opened with the user password, which is enough to add a revision.
    auto doc = OpenWithPassword(encrypted.Path(), "user");
    ASSERT_TRUE(doc);
    doc->Info().SetTitle(u"Still secret \u00e9");
    doc->SetPageLayout(plTwoColumnLeft);
    SaveIncrementally(*doc, out.Path());

    const std::string update = Update(encrypted.Read(), out.Read());
    EXPECT_EQ(update.find("/Filter /Standard"), std::string::npos) << "the encryption dictionary is not written again";
    EXPECT_EQ(update.find("Still secret"), std::string::npos) << "the title is encrypted";
    for (const std::string password : {"user", "owner"}) {
      EXPECT_EQ(vxtest::QpdfProblems(out.Path(), password), "") << password;
      EXPECT_EQ(Pike(out.Path(), "str(pdf.docinfo.Title), pdf.Root.PageLayout", password),
                "Still secret \u00e9 /TwoColumnLeft")
          << password;
    }
    EXPECT_EQ(Pike(out.Path(), "pdf.trailer.Encrypt.objgen", "user"), Pike(encrypted.Path(), "pdf.trailer.Encrypt.objgen", "user"));
    EXPECT_EQ(vxtest::PdfText(out.Path(), "user"), vxtest::PdfText(encrypted.Path(), "user"));
  }
}

TEST(IncrementalSave, RefusesWhatAnUpdateCannotExpressAndLeavesTheTarget) {
  TempFile in, target;
  in.Write(vxtest::SimplePdf(1, "", "/Title (T)"));  // header 1.4
  target.Write("previous content");
  struct Case {
    const char* setting;
    std::function<void(TvxCustomPDFDocument&)> change;
  };
  const Case cases[] = {
      {"the PDF version to 1.3", [](TvxCustomPDFDocument& d) { d.SetPDFVersion(pvPDF13); }},
      {"the compression", [](TvxCustomPDFDocument& d) { d.SetCompression(0, 2); }},
      {"the encryption", [](TvxCustomPDFDocument& d) {
         d.Encryption().SetEnabled(true);
         d.Encryption().SetLevel(elAES256);
         d.Encryption().SetOwnerPassword("o");
       }},
  };
  for (const Case& c : cases) {
    auto doc = OpenWithPassword(in.Path());
    doc->Info().SetTitle(u"Changed");
    c.change(*doc);
    try {
      SaveIncrementally(*doc, target.Path());
      ADD_FAILURE() << c.setting << " was accepted";
    } catch (const EIncrementalSaveRefused& e) {
      EXPECT_NE(std::string(e.what()).find(c.setting), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("full rewrite"), std::string::npos) << e.what();
    }
    EXPECT_EQ(target.Read(), "previous content") << c.setting;
  }

  // Raising the version goes through the catalog's /Version.
  TempFile raised;
  auto doc = OpenWithPassword(in.Path());
  doc->SetPDFVersion(pvPDF17);
  SaveIncrementally(*doc, raised.Path());
  Update(in.Read(), raised.Read());
  EXPECT_EQ(Pike(raised.Path(), "pdf.Root.Version"), "/1.7");
  EXPECT_EQ(vxtest::QpdfProblems(raised.Path()), "");
}

// A sample of the corpus: the update starts with the source's bytes, qpdf
// finds nothing the source did not have, and the pages and text are those of
// the full rewrite (or, where that differs from the source, the source's).
TEST(IncrementalSave, CorpusSampleReadsLikeTheFullRewrite) {
  VX_NEEDS_CORPUS();
#if defined(__SANITIZE_ADDRESS__)
  constexpr size_t kFiles = 4;
#else
  constexpr size_t kFiles = 12;
#endif
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(vxtest::CorpusDir() + "/qpdf-tests")) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() == ".pdf" && name.find("enc") == std::string::npos) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_GT(files.size(), kFiles);
  size_t checked = 0;
  for (size_t i = 0; i < files.size() && checked < kFiles; i += files.size() / kFiles) {
    const std::string& path = files[i];
    SCOPED_TRACE(path);
    TempFile inc, full;
    std::unique_ptr<TvxPDFDocument> doc;
    try {
      doc = OpenWithPassword(path);
    } catch (const std::exception&) {
      continue;  // not loadable: the load tests cover it
    }
    if (!doc || doc->Repaired()) continue;
    doc->Info().SetTitle(u"Sampled");
    doc->SetPageMode(pmUseOutlines);
    SaveIncrementally(*doc, inc.Path());
    doc->SetSaveKind(TvxSaveKind::Rewrite);
    doc->SaveToFile(full.Path(), 2);
    ++checked;

    const std::string source = vxtest::ReadFile(path);
    Update(source, inc.Read());
    const std::string problems = vxtest::QpdfProblems(inc.Path());
    if (!problems.empty()) EXPECT_FALSE(vxtest::QpdfProblems(path).empty()) << problems;
    std::string pagesInc, pagesFull;
    RunCommand("qpdf --show-npages " + Quote(inc.Path()), &pagesInc, false);
    RunCommand("qpdf --show-npages " + Quote(full.Path()), &pagesFull, false);
    EXPECT_EQ(pagesInc, pagesFull);
    const std::string textInc = vxtest::PdfText(inc.Path());
    if (textInc != vxtest::PdfText(full.Path())) EXPECT_EQ(textInc, vxtest::PdfText(path));
    EXPECT_EQ(Pike(inc.Path(), "pdf.docinfo.Title, pdf.Root.PageMode"), "Sampled /UseOutlines");
  }
  EXPECT_GE(checked, kFiles / 2);
}
