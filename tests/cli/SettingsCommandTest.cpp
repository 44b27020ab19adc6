// `vordel set` for the settings a viewer honours on opening and printing
// (layouts and modes of PDF 1.5, the viewer preferences of PDF 2.0, the open
// action, the language, custom properties, trapping) and --strip-metadata,
// each judged by pdf.js and pikepdf, on a corpus file rewritten and on a
// signed file updated incrementally (whose signature pdfsig must still find
// valid).
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "cli/VordelRun.h"
#include "support/PdfBuilder.h"
#include "support/PdfJsQuery.h"
#include "support/PikeQuery.h"

using vxtest::Quote;
using vxtest::RunCommand;
using vxtest::TempFile;

namespace {

struct SettingCase {
  const char* args;
  const char* pdfjsPointer;  // into pdf.js's summary
  nlohmann::json pdfjs;
  const char* pike;  // a Python expression with `pdf` open
  const char* pikeSays;
  const char* infoPointer;  // into `vordel info --json`
  nlohmann::json info;
};

const std::vector<SettingCase>& Cases() {
  using J = nlohmann::json;
  static const std::vector<SettingCase> cases = {
      {"--page-layout two-page-left", "/pageLayout", "TwoPageLeft", "pdf.Root.PageLayout", "/TwoPageLeft",
       "/pageLayout", "two-page-left"},
      {"--page-layout two-page-right", "/pageLayout", "TwoPageRight", "pdf.Root.PageLayout", "/TwoPageRight",
       "/pageLayout", "two-page-right"},
      {"--page-mode optional-content", "/pageMode", "UseOC", "pdf.Root.PageMode", "/UseOC", "/pageMode",
       "optional-content"},
      {"--non-full-screen-mode thumbs", "/viewerPreferences/NonFullScreenPageMode", "UseThumbs",
       "pdf.Root.ViewerPreferences.NonFullScreenPageMode", "/UseThumbs", "/viewerPreferences/nonFullScreenPageMode",
       "thumbs"},
      {"--direction r2l", "/viewerPreferences/Direction", "R2L", "pdf.Root.ViewerPreferences.Direction", "/R2L",
       "/viewerPreferences/direction", "r2l"},
      {"--print-scaling none", "/viewerPreferences/PrintScaling", "None", "pdf.Root.ViewerPreferences.PrintScaling",
       "/None", "/printing/scaling", "none"},
      {"--duplex long-edge", "/viewerPreferences/Duplex", "DuplexFlipLongEdge", "pdf.Root.ViewerPreferences.Duplex",
       "/DuplexFlipLongEdge", "/printing/duplex", "long-edge"},
      {"--pick-tray-by-pdf-size", "/viewerPreferences/PickTrayByPDFSize", true,
       "pdf.Root.ViewerPreferences.PickTrayByPDFSize", "True", "/printing/pickTrayByPdfSize", true},
      {"--print-pages 1-2,4", "/viewerPreferences/PrintPageRange", J{1, 2, 4, 4},
       "[int(n) for n in pdf.Root.ViewerPreferences.PrintPageRange]", "[1, 2, 4, 4]", "/printing/pageRanges",
       J{{1, 2}, {4, 4}}},
      {"--copies 3", "/viewerPreferences/NumCopies", 3, "pdf.Root.ViewerPreferences.NumCopies", "3", "/printing/copies",
       3},
      // pdf.js does not report /Enforce; it does see the scaling enforced.
      {"--print-scaling none --enforce print-scaling", "/viewerPreferences/PrintScaling", "None",
       "[str(n) for n in pdf.Root.ViewerPreferences.Enforce]", "['/PrintScaling']", "/printing/enforce",
       J{"print-scaling"}},
      {"--open-at 3:fit-width", "/openAction/dest", J{{"page", 2}, {"view", {"FitH", nullptr}}},
       "[i for i, p in enumerate(pdf.pages) if p.objgen == pdf.Root.OpenAction[0].objgen], pdf.Root.OpenAction[1]",
       "[2] /FitH", "/openAction/description", "page 3, fit width"},
      {"--open-at 1:150%", "/openAction/dest", J{{"page", 0}, {"view", {"XYZ", nullptr, nullptr, 1.5}}},
       "float(pdf.Root.OpenAction[4])", "1.5", "/openAction/zoom", 150.0},
      {"--open-at 2:fit-page", "/openAction/dest", J{{"page", 1}, {"view", {"Fit"}}}, "pdf.Root.OpenAction[1]",
       "/Fit", "/openAction/fit", "fit-page"},
      {"--open-at 4:fit-height", "/openAction/dest", J{{"page", 3}, {"view", {"FitV", nullptr}}},
       "pdf.Root.OpenAction[1]", "/FitV", "/openAction/fit", "fit-height"},
      {"--open-at 2:fit-visible", "/openAction/dest", J{{"page", 1}, {"view", {"FitB"}}}, "pdf.Root.OpenAction[1]",
       "/FitB", "/openAction/fit", "fit-visible"},
      {"--lang de-DE", "/info/Language", "de-DE", "str(pdf.Root.Lang)", "de-DE", "/language", "de-DE"},
      {"--property DocNo=A-17", "/info/Custom/DocNo", "A-17", "str(pdf.docinfo.DocNo)", "A-17", "/properties/DocNo",
       "A-17"},
      {"--trapped true", "/info/Trapped", J{{"name", "True"}}, "pdf.docinfo.Trapped", "/True", "/trapped", "true"},
  };
  return cases;
}

std::string FourPageCorpusFile() { return vxtest::CorpusDir() + "/samples/004-pdflatex-4-pages_pdflatex-4-pages.pdf"; }

void MakeSignedPdf(const std::string& target, int pages) {
  const std::string script = std::string(VX_SOURCE_DIR) + "/tests/support/make_signed_pdf.py";
  std::string out;
  ASSERT_EQ(RunCommand("/usr/bin/python3 " + Quote(script) + " " + Quote(target) + " " + Quote(target + ".d") + " " +
                           std::to_string(pages) + " && rm -rf " + Quote(target + ".d"),
                       &out),
            0)
      << out;
}

bool SignatureValid(const std::string& path) {
  std::string out;
  RunCommand("pdfsig " + Quote(path), &out);
  return out.find("Signature Validation: Signature is Valid.") != std::string::npos;
}

// Every case set on `input` (a four-page file), each into its own output,
// judged by pdf.js, pikepdf and `vordel info --json`.
void CheckEverySetting(const std::string& input, bool signedInput) {
  std::vector<std::unique_ptr<TempFile>> outputs;
  std::vector<std::string> paths;
  std::string infoArgs = "info --json";
  for (const SettingCase& c : Cases()) {
    outputs.push_back(std::make_unique<TempFile>());
    paths.push_back(outputs.back()->Path());
    infoArgs += " " + Quote(paths.back());
    std::string out;
    ASSERT_EQ(Vordel("set -q " + std::string(c.args) + " " + Quote(input) + " -o " + Quote(paths.back()), &out), 0)
        << c.args << ": " << out;
    if (signedInput) EXPECT_TRUE(SignatureValid(paths.back())) << c.args << ": the update must keep the signature";
    EXPECT_EQ(vxtest::PikeQuery(paths.back(), std::string("print(") + c.pike + ")"), c.pikeSays) << c.args;
  }
  const std::vector<nlohmann::json> seen = vxtest::PdfJsSummaries(paths);
  std::string infoText;
  ASSERT_EQ(Vordel(infoArgs, &infoText, false), 0) << infoText;
  const nlohmann::json infos = nlohmann::json::parse(infoText);
  for (size_t i = 0; i < Cases().size(); ++i) {
    const SettingCase& c = Cases()[i];
    const nlohmann::json::json_pointer js(c.pdfjsPointer), info(c.infoPointer);
    EXPECT_TRUE(seen[i].contains(js) && seen[i][js] == c.pdfjs) << c.args << ": pdf.js sees " << seen[i].dump();
    EXPECT_TRUE(infos[i].contains(info) && infos[i][info] == c.info) << c.args << ": info says " << infos[i].dump();
    if (signedInput) EXPECT_EQ(infos[i]["revisions"], 2) << c.args;
  }
}

}  // namespace

TEST(VordelSettings, EachSettingReachesOtherReadersInARewriteOfACorpusFile) {
  CheckEverySetting(FourPageCorpusFile(), false);
}

TEST(VordelSettings, EachSettingReachesOtherReadersInAnUpdateOfASignedFile) {
  TempFile in;
  MakeSignedPdf(in.Path(), 4);
  ASSERT_TRUE(SignatureValid(in.Path()));
  CheckEverySetting(in.Path(), true);
}

TEST(VordelSettings, ADocumentWithoutTheseSettingsGetsNoneOfTheirKeys) {
  TempFile in, out;
  in.Write(vxtest::SimplePdf(2, "", "/Title (Plain)"));
  ASSERT_EQ(Vordel("set -q --title Other " + Quote(in.Path()) + " -o " + Quote(out.Path()), nullptr), 0);
  EXPECT_EQ(vxtest::PikeQuery(out.Path(), "print(sorted(str(k) for k in pdf.Root.keys()), sorted(str(k) for k in pdf.docinfo.keys()))"),
            "['/Pages', '/Type'] ['/Producer', '/Title']");
}

TEST(VordelSettings, BadValuesNameTheOptionAndWriteNothing) {
  TempFile out;
  std::filesystem::remove(out.Path());
  struct Bad {
    const char* args;
    int exitCode;
    const char* says;
  };
  const Bad cases[] = {
      {"--open-at 2:0%", 1, "--open-at: a zoom of 0%"},
      {"--open-at 2:6401%", 1, "at most 6400%"},
      {"--open-at 0", 1, "--open-at: \"0\" is not PAGE"},
      {"--open-at 2:fit-sideways", 1, "PAGE:fit-width"},
      {"--copies 0", 1, "--copies: 0 is not from 1 to 5"},
      {"--copies 6", 1, "--copies: 6 is not from 1 to 5"},
      {"--lang english", 1, "--lang: \"english\" is not a BCP 47 language tag"},
      {"--lang de_DE", 1, "--lang: \"de_DE\""},
      {"--property =x", 1, "--property: a property needs a name"},
      {"--property DocNo", 1, "is not NAME=VALUE"},
      {"--property Title=x", 1, "Title is a standard key, set through its own setting (use --title"},
      {"--remove-property Trapped", 1, "--remove-property: Trapped is a standard key"},
      {"--property 'Doc No=1'", 1, "cannot name a metadata (XMP) property"},
      {"--print-pages 4-2", 1, "--print-pages: 4-2 runs backwards"},
      {"--print-pages 1,,3", 1, "--print-pages: \"1,,3\" is not a list"}, {"--print-pages 2,", 1, "is not a list"},
      // A page the file does not have fails that file alone.
      {"--open-at 9:fit-page", 2, "--open-at: page 9 is beyond the last page (4)"},
      {"--print-pages 1-9", 2, "--print-pages: page 9 is beyond the last page (4)"},
  };
  for (const Bad& c : cases) {
    std::string said;
    EXPECT_EQ(Vordel("set -q " + std::string(c.args) + " " + Quote(FourPageCorpusFile()) + " -o " + Quote(out.Path()), &said),
              c.exitCode)
        << c.args << ": " << said;
    EXPECT_NE(said.find(c.says), std::string::npos) << c.args << ": " << said;
    EXPECT_FALSE(std::filesystem::exists(out.Path())) << c.args << ": nothing may be written";
  }
}

TEST(VordelSettings, LanguagePropertiesAndTrappingFollowIntoTheXmpPacketAndStripTakesEverythingOut) {
  const std::string pdfa = vxtest::CorpusDir() + "/samples/021-pdfa_crazyones-pdfa.pdf";
  TempFile set, removed, stripped, signedIn, signedOut;
  ASSERT_EQ(Vordel("set -q --lang de-DE --property DocNo=A-17 --trapped true " + Quote(pdfa) + " -o " + Quote(set.Path()), nullptr), 0);
  EXPECT_EQ(vxtest::XmpPropertyChanges(pdfa, set.Path()),
            "Trapped: None -> True\nDocNo: None -> A-17\nMetadataDate: None -> 2023-04-23T17:59:04+08:00\n"
            "language: None -> ['de-DE']");
  // Taken out again, from /Info, the catalog and the packet alike.
  ASSERT_EQ(Vordel("set -q --lang none --remove-property DocNo --trapped unset " + Quote(set.Path()) + " -o " +
                   Quote(removed.Path()), nullptr), 0);
  EXPECT_EQ(vxtest::XmpPropertyChanges(pdfa, removed.Path()), "MetadataDate: None -> 2023-04-23T17:59:04+08:00");
  EXPECT_EQ(vxtest::PikeQuery(removed.Path(), "print('/Lang' in pdf.Root, '/DocNo' in pdf.docinfo, '/Trapped' in pdf.docinfo)"),
            "False False False");

  ASSERT_EQ(Vordel("set -q --strip-metadata " + Quote(set.Path()) + " -o " + Quote(stripped.Path()), nullptr), 0);
  EXPECT_EQ(vxtest::PikeQuery(stripped.Path(),
                              "print(sorted(str(k) for k in pdf.docinfo.keys()), '/Metadata' in pdf.Root, "
                              "any(o.get('/Type') == '/Metadata' for o in pdf.objects if isinstance(o, pikepdf.Stream)))"),
            "['/Producer'] False False")
      << "no packet, not even as an unreferenced object";
  std::string check;
  EXPECT_EQ(RunCommand("qpdf --check " + Quote(stripped.Path()), &check), 0) << check;

  // A signed file keeps its earlier revision: stripping it there would hide nothing.
  MakeSignedPdf(signedIn.Path(), 1);
  std::filesystem::remove(signedOut.Path());
  std::string said;
  EXPECT_EQ(Vordel("set -q --strip-metadata " + Quote(signedIn.Path()) + " -o " + Quote(signedOut.Path()), &said), 4);
  EXPECT_NE(said.find("the earlier revision it keeps would still hold every removed value"), std::string::npos) << said;
  EXPECT_FALSE(std::filesystem::exists(signedOut.Path()));
}
