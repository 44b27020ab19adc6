// `vordel info` on outlines and form fields, and `vordel set
// --need-appearances`, driven through the real binary.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/PdfBuilder.h"

using vxtest::Quote;
using vxtest::RunCommand;
using vxtest::TempFile;

namespace {

// Two bookmarks (one with a child) and three fields: a text field under a
// parent, a check box, and a text field whose name and value are UTF-16.
std::string FormWithOutlines() {
  vxtest::PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 10 0 R /AcroForm << /Fields [20 0 R 30 0 R 40 0 R] >> >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [21 0 R 30 0 R] >>");
  b.Object(10, "<< /First 11 0 R /Last 12 0 R /Count 2 >>");
  b.Object(11, "<< /Title (One) /Parent 10 0 R /Next 12 0 R /First 13 0 R /Last 13 0 R /Count 1 /Dest [3 0 R /Fit] >>");
  b.Object(12, "<< /Title (Two) /Parent 10 0 R /Prev 11 0 R /Dest [3 0 R /Fit] >>");
  b.Object(13, "<< /Title (One.One) /Parent 11 0 R /Dest [3 0 R /Fit] >>");
  b.Object(20, "<< /T (address) /Kids [21 0 R] >>");
  b.Object(21, "<< /T (street) /FT /Tx /Parent 20 0 R /V (\\(1\\) Main St) /Type /Annot /Subtype /Widget /Rect [0 0 9 9] >>");
  b.Object(30, "<< /T (agree) /FT /Btn /V /Yes /Type /Annot /Subtype /Widget /Rect [0 20 9 29] >>");
  b.Object(40, "<< /T <FEFF00E9> /FT /Tx /V <FEFF00FC> >>");
  b.FinishWithTable("/Root 1 0 R");
  return b.Bytes();
}

std::string VordelOutput(const std::string& args, int* code = nullptr) {
  std::string out;
  int status = RunCommand(std::string(VORDEL_BINARY) + " " + args, &out, false);
  if (code) *code = status;
  return out;
}

}  // namespace

TEST(VordelOutlinesForms, InfoCountsOutlinesAndListsFields) {
  TempFile in;
  in.Write(FormWithOutlines());
  int code = -1;
  std::string text = VordelOutput("info " + Quote(in.Path()), &code);
  ASSERT_EQ(code, 0) << text;
  EXPECT_NE(text.find("Outlines:           3 items\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Form fields:        3\n"), std::string::npos) << text;

  nlohmann::json j = nlohmann::json::parse(VordelOutput("info --json " + Quote(in.Path()), &code));
  ASSERT_EQ(code, 0);
  EXPECT_EQ(j["outlines"], 3);
  nlohmann::json expected = nlohmann::json::parse(R"([
    {"name": "address.street", "kind": "text", "value": "(1) Main St"},
    {"name": "agree", "kind": "checkbox", "value": "Yes"},
    {"name": "\u00e9", "kind": "text", "value": "\u00fc"}])");
  EXPECT_EQ(j["formFields"], expected);
}

TEST(VordelOutlinesForms, SetNeedAppearances) {
  TempFile in;
  in.Write(FormWithOutlines());
  auto needAppearances = [&](const std::string& option) {
    TempFile out;
    int code = -1;
    std::string printed = VordelOutput("set " + option + " " + Quote(in.Path()) + " -o " + Quote(out.Path()), &code);
    EXPECT_EQ(code, 0) << printed;
    std::string json;
    RunCommand("qpdf --json --json-key=acroform " + Quote(out.Path()), &json, false);
    auto form = nlohmann::json::parse(json)["acroform"];
    EXPECT_EQ(form["fields"].size(), 2u);  // the widgets on the page
    return form["needappearances"].get<bool>() ? std::string("true") : std::string("false");
  };
  ASSERT_EQ(RunCommand("qpdf --version >/dev/null"), 0) << "qpdf is needed for this test";
  EXPECT_EQ(needAppearances("--need-appearances true"), "true");
  EXPECT_EQ(needAppearances("--need-appearances false"), "false");
  EXPECT_EQ(needAppearances("--need-appearances keep"), "false");
  EXPECT_EQ(needAppearances(""), "false");
}
