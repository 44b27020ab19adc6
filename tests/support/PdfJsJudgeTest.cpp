// pdf.js as a second judge: what it reports of a handmade file, and the
// judge built on it catching each change a viewer shows while letting
// through only its named allowances.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "support/OtherReaderJudge.h"
#include "support/PdfBuilder.h"
#include "support/PdfJsQuery.h"

namespace {

// The knobs of a two-page document with every document-level setting.
struct Doc {
  std::string header = "%PDF-1.6\n";
  int pages = 2;
  std::string settings = "/PageMode /UseOutlines /PageLayout /TwoColumnLeft /Lang (de-DE) "
                         "/ViewerPreferences << /FitWindow true /Direction /R2L >> /OpenAction [5 0 R /FitH 500] "
                         "/PageLabels << /Nums [0 << /S /r >> 1 << /P (A-) /S /D >>] >>";
  std::string info = "/Title (Links in PDF \x85 Example) /Author (Ann) /DocNo (A-17) /Producer (Maker)";
  std::string oneDest = "(chap2)";
  std::string twoTitle = "(Two)";
  std::string twoCount = "-1";
  std::string xmpAttributes = " pdfaid:part=\"1\"";
  std::string xmp = "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">XMP title</rdf:li></rdf:Alt></dc:title>"
                    "<dc:creator><rdf:Seq><rdf:li>Ann</rdf:li><rdf:li>Bob</rdf:li></rdf:Seq></dc:creator>"
                    "<xap:CreatorTool>Writer</xap:CreatorTool>";

  std::string Build() const {
    vxtest::PdfBuilder b(header);
    vxtest::AddSimplePages(b, pages, "/Outlines 10 0 R /Names << /Dests 20 0 R >> /Metadata 40 0 R " + settings,
                           [](int) { return ""; });
    b.Object(10, "<< /Type /Outlines /First 11 0 R /Last 12 0 R /Count 2 >>");
    b.Object(11, "<< /Title (One) /Parent 10 0 R /Next 12 0 R /Dest " + oneDest + " >>");
    b.Object(12, "<< /Title " + twoTitle + " /Parent 10 0 R /Prev 11 0 R /First 13 0 R /Last 13 0 R /Count " +
                     twoCount + " /Dest [3 0 R /Fit] >>");
    b.Object(13, "<< /Title (Two.1) /Parent 12 0 R /Dest [3 0 R /XYZ 0 700 0] >>");
    b.Object(20, "<< /Names [(chap2) [5 0 R /Fit]] >>");
    b.Object(30, "<< " + info + " >>");
    b.Stream(40, "/Type /Metadata /Subtype /XML",
             "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
             "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
             "xmlns:xap=\"http://ns.adobe.com/xap/1.0/\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" "
             "xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\"" +
                 xmpAttributes + ">" + xmp + "</rdf:Description></rdf:RDF></x:xmpmeta>");
    b.FinishWithTable("/Root 1 0 R /Info 30 0 R");
    return b.Bytes();
  }
};

}  // namespace

TEST(PdfJsSummary, ShowsEachDocumentSettingAsPdfJsReadsIt) {
  vxtest::TempFile file;
  file.Write(Doc().Build());
  const nlohmann::json s = vxtest::PdfJsSummary(file.Path());
  ASSERT_FALSE(s.contains("error")) << s.dump();
  EXPECT_EQ(s["numPages"], 2);
  EXPECT_EQ(s["pageMode"], "UseOutlines");
  EXPECT_EQ(s["pageLayout"], "TwoColumnLeft");
  EXPECT_EQ(s["viewerPreferences"], nlohmann::json::parse(R"({"FitWindow": true, "Direction": "R2L"})"));
  EXPECT_EQ(s["openAction"]["dest"], nlohmann::json::parse(R"({"page": 1, "view": ["FitH", 500]})"));
  EXPECT_EQ(s["pageLabels"], nlohmann::json::parse(R"(["i", "A-1"])"));
  EXPECT_EQ(s["info"]["Language"], "de-DE");
  EXPECT_EQ(s["info"]["Title"], "Links in PDF \u2013 Example");  // 0x85 is an en dash in PDFDocEncoding
  EXPECT_EQ(s["info"]["Custom"]["DocNo"], "A-17");
  EXPECT_EQ(s["xmp"]["dc:title"], "XMP title");
  EXPECT_EQ(s["xmp"]["dc:creator"], nlohmann::json::parse(R"(["Ann", "Bob"])"));
  ASSERT_EQ(s["outline"].size(), 2u);
  EXPECT_EQ(s["outline"][0]["dest"]["page"], 1);  // through the named destination
  EXPECT_EQ(s["outline"][1]["count"], -1);
  EXPECT_EQ(s["outline"][1]["items"][0]["title"], "Two.1");
  EXPECT_TRUE(s["permissions"].is_null());

  file.Write("not a PDF");
  EXPECT_TRUE(vxtest::PdfJsSummary(file.Path()).contains("error"));
}

TEST(PdfJsJudge, CatchesEachChangeAViewerShowsAndAllowsOnlyTheNamedOnes) {
  struct Case {
    const char* what;
    std::function<void(Doc&)> change;
    std::string expected;  // a fragment of the difference, or "" for equal
  };
  const std::vector<Case> cases = {
      {"the same document", [](Doc&) {}, ""},
      {"allowed: who saved it, a higher header, an explicit destination, /Count recounted, XMP prefixes and "
       "attributes written as elements",
       [](Doc& d) {
         d.header = "%PDF-1.7\n";
         d.info.replace(d.info.find("(Maker)"), 7, "(Vordel) /ModDate (D:20261209120000Z)");
         d.oneDest = "[5 0 R /Fit]";
         d.twoCount = "-7";
         d.xmpAttributes.clear();
         d.xmp = "<pdfaid:part>1</pdfaid:part>" + d.xmp.substr(0, d.xmp.find("<xap:")) +
                 "<xmp:CreatorTool>Writer</xmp:CreatorTool>";
       },
       ""},
      {"a page lost", [](Doc& d) { d.pages = 1; }, "numPages: source 2; output 1"},
      {"page mode", [](Doc& d) { d.settings.replace(d.settings.find("UseOutlines"), 11, "UseNone"); },
       "pageMode: source \"UseOutlines\"; output \"UseNone\""},
      {"page layout", [](Doc& d) { d.settings.replace(d.settings.find("TwoColumnLeft"), 13, "OneColumn"); },
       "pageLayout: source \"TwoColumnLeft\""},
      {"viewer preferences", [](Doc& d) { d.settings.erase(d.settings.find("/Direction /R2L"), 15); },
       "viewerPreferences/Direction: source \"R2L\"; output (absent)"},
      {"open action", [](Doc& d) { d.settings.replace(d.settings.find("5 0 R /FitH"), 5, "3 0 R"); },
       "openAction/dest/page: source 1; output 0"},
      {"page labels", [](Doc& d) { d.settings.replace(d.settings.find("/S /r"), 5, "/S /R"); },
       "pageLabels[0]: source \"i\"; output \"I\""},
      {"language", [](Doc& d) { d.settings.replace(d.settings.find("de-DE"), 5, "de"); }, "info/Language"},
      {"title read as Windows-1252", [](Doc& d) { d.info.replace(d.info.find('\x85'), 1, "\x83"); },
       "info/Title: source \"Links in PDF \u2013 Example\"; output \"Links in PDF \u2026 Example\""},
      {"custom key", [](Doc& d) { d.info.erase(d.info.find("/DocNo"), 13); }, "info/Custom: source {\"DocNo\": \"A-17\"}; output (absent)"},
      {"XMP title", [](Doc& d) { d.xmp.replace(d.xmp.find("XMP title"), 9, "Links"); }, "xmp/dc:title"},
      {"authors shrink", [](Doc& d) { d.xmp.erase(d.xmp.find("<rdf:li>Bob"), 20); },
       "xmp/dc:creator: source [\"Ann\", \"Bob\"]; output [\"Ann\"]"},
      {"outline title", [](Doc& d) { d.twoTitle = "(Deux)"; }, "outline[1]/title: source \"Two\"; output \"Deux\""},
      {"outline opened", [](Doc& d) { d.twoCount = "1"; }, "outline[1]/open: source false; output true"},
      {"outline target", [](Doc& d) { d.oneDest = "[3 0 R /Fit]"; }, "outline[0]/dest/page: source 1; output 0"},
      {"header lowered", [](Doc& d) { d.header = "%PDF-1.4\n"; }, "info/PDFFormatVersion"},
  };
  vxtest::TempFile source;
  source.Write(Doc().Build());
  std::vector<std::unique_ptr<vxtest::TempFile>> outputs;
  std::vector<vxtest::JudgePair> pairs;
  for (const Case& c : cases) {
    Doc doc;
    c.change(doc);
    outputs.push_back(std::make_unique<vxtest::TempFile>());
    outputs.back()->Write(doc.Build());
    pairs.push_back({source.Path(), outputs.back()->Path(), {}});
  }
  const std::vector<vxtest::JudgeVerdict> verdicts = vxtest::JudgeManyAsOtherReader(pairs, vxtest::OtherReader::kPdfJs);
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].what);
    EXPECT_EQ(verdicts[i].status, cases[i].expected.empty() ? 0 : 1) << verdicts[i].Text();
    if (!cases[i].expected.empty()) {
      EXPECT_TRUE(verdicts[i].Mentions(cases[i].expected)) << verdicts[i].Text();
    }
  }

  // A change that was asked for passes only with the value asked for.
  const std::string fitWindow = "viewerPreferences/FitWindow=";
  Doc asked;
  asked.settings.replace(asked.settings.find("FitWindow true"), 14, "FitWindow false");
  vxtest::TempFile changed;
  changed.Write(asked.Build());
  EXPECT_EQ(vxtest::JudgeAsOtherReader(source.Path(), changed.Path(), {}, {fitWindow + "false"},
                                       vxtest::OtherReader::kPdfJs).status, 0);
  vxtest::JudgeVerdict wrong = vxtest::JudgeAsOtherReader(source.Path(), changed.Path(), {}, {fitWindow + "true"},
                                                          vxtest::OtherReader::kPdfJs);
  EXPECT_TRUE(wrong.Mentions("viewerPreferences/FitWindow: source (setting asked for); output false, asked for true"))
      << wrong.Text();
}
