// The interactive form: the field descriptions read at load, the form
// carried to the output, and /NeedAppearances on save.
#include <gtest/gtest.h>

#include "OutlineTestSupport.h"
#include "QpdfStructures.h"
#include "WriterTestSupport.h"

using namespace vx;
using vxtest::DocumentWith;
using vxtest::SavedObjectWith;

namespace {

using Lines = std::vector<std::string>;

// A page (3) with widgets, and fields of every kind.
std::map<int, std::string> FormObjects() {
  return {
      {50, "<< /Fields [20 0 R 30 0 R 40 0 R 45 0 R 60 0 R 62 0 R] /DA (/Helv 0 Tf 0 g) "
           "/DR << /Font << /Helv 51 0 R >> >> >>"},
      {51, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-BoldOblique >>"},
      // A text field under a parent that only gives a name.
      {20, "<< /T (address) /Kids [21 0 R] >>"},
      {21, "<< /T (name) /FT /Tx /Parent 20 0 R /Kids [22 0 R] /V (Jo) /DV /Jane /DA (/Helv 12 Tf 0 0 1 rg) "
           "/Ff 4097 /MaxLen 30 /Q 2 >>"},
      {22, "<< /Type /Annot /Subtype /Widget /Parent 21 0 R /Rect [0 0 100 20] /F 4 >>"},
      // A check box that is its own widget.
      {30, "<< /Type /Annot /Subtype /Widget /Rect [0 30 10 40] /T (agree) /FT /Btn /V /Yes "
           "/AP << /N << /Yes 31 0 R /Off 32 0 R >> >> >>"},
      {31, "<<>>stream:0 g 0 0 10 10 re f"},
      {32, "<<>>stream:"},
      // Radio buttons that cannot all be off.
      {40, "<< /T (choice) /FT /Btn /Ff 49152 /Kids [41 0 R 42 0 R] /V /B >>"},
      {41, "<< /Type /Annot /Subtype /Widget /Parent 40 0 R /Rect [0 50 10 60] /AP << /N << /A 31 0 R /Off 32 0 R >> >> >>"},
      {42, "<< /Type /Annot /Subtype /Widget /Parent 40 0 R /Rect [0 70 10 80] /AP << /N << /B 31 0 R /Off 32 0 R >> >> >>"},
      // A list of options, one a pair of export value and display text.
      {45, "<< /T (pick) /FT /Ch /Opt [(a) [(x) (Shown X)] (b)] /V (x) >>"},
      // A value given as a stream, on no page.
      {60, "<< /T (notes) /FT /Tx /V 61 0 R >>"},
      {61, "<</Filter /ASCIIHexDecode>>stream:48656C6C6F2C2073747265616D>"},
      // A name in UTF-16.
      {62, "<< /T <FEFF00E9007400E9> /FT /Tx /V <FEFF00E9> >>"},
  };
}

std::string FormDocument(const std::string& acroForm = "/AcroForm 50 0 R") {
  return DocumentWith(acroForm, FormObjects(), 2, "/Annots [22 0 R 30 0 R 41 0 R 42 0 R]");
}

const TvxAcroFormField& Field(const TvxCustomPDFDocument& doc, const std::string& name) {
  for (const auto& field : *doc.FieldList())
    if (field->FullName == name) return *field;
  throw std::runtime_error("no field " + name);
}

}  // namespace

TEST(Forms, FieldsAreDescribed) {
  auto doc = vxtest::LoadBytes(FormDocument());
  ASSERT_NE(doc->FieldList(), nullptr);
  Lines names;
  for (const auto& field : *doc->FieldList()) names.push_back(field->FullName);
  EXPECT_EQ(names, (Lines{"address.name", "agree", "choice", "pick", "notes", "\xC3\xA9t\xC3\xA9"}));

  const TvxAcroFormField& name = Field(*doc, "address.name");
  EXPECT_EQ(name.Kind, fkText);
  EXPECT_EQ(name.Value, "Jo");
  EXPECT_EQ(name.DefaultValue, "Jane");
  EXPECT_TRUE(name.ReadOnly);
  EXPECT_TRUE(name.Multiline);
  EXPECT_EQ(name.MaxLength, 30);
  EXPECT_EQ(name.Quadding, 2);
  EXPECT_EQ(name.AnnotationFlags, 4) << "the widget's /F belongs to its field";
  ASSERT_NE(name.FontInfo, nullptr);
  EXPECT_EQ(name.FontInfo->ResourceName, "/Helv");
  EXPECT_EQ(name.FontInfo->Size, 12);
  EXPECT_EQ(name.FontInfo->ColorOperator, "0 0 1 rg");
  EXPECT_EQ(name.FontInfo->Font.Name, "Helvetica");
  EXPECT_TRUE(name.FontInfo->Font.Bold);
  EXPECT_FALSE(name.FontInfo->Font.Italic);
  ASSERT_NE(name.FontInfo->FontReference, nullptr);
  EXPECT_EQ(name.FontInfo->FontReference->ObjectNumber, 51);

  const TvxAcroFormField& agree = Field(*doc, "agree");
  EXPECT_EQ(agree.Kind, fkCheckBox);
  EXPECT_EQ(agree.Value, "Yes");
  EXPECT_EQ(agree.States, (Lines{"Off", "Yes"}));
  EXPECT_EQ(agree.FontInfo->ColorOperator, "0 g") << "the form's appearance is inherited";

  const TvxAcroFormField& choice = Field(*doc, "choice");
  EXPECT_EQ(choice.Kind, fkRadioButton);
  EXPECT_EQ(choice.Value, "B");
  EXPECT_EQ(choice.States, (Lines{"A", "B"}));

  const TvxAcroFormField& pick = Field(*doc, "pick");
  EXPECT_EQ(pick.Kind, fkChoice);
  EXPECT_EQ(pick.States, (Lines{"a", "x", "b"}));

  EXPECT_EQ(Field(*doc, "notes").Value, "Hello, stream");
  EXPECT_EQ(Field(*doc, "\xC3\xA9t\xC3\xA9").Value, std::string("\xFE\xFF\x00\xE9", 4));
}

TEST(Forms, FormIsCarriedThroughASave) {
  for (const std::string& acroForm :
       {std::string("/AcroForm 50 0 R"), "/AcroForm " + FormObjects().at(50)}) {
    SCOPED_TRACE(acroForm);
    vxtest::TempFile in;
    in.Write(FormDocument(acroForm));
    auto doc = vxtest::LoadBytes(in.Read());
    vxtest::TempFile out;
    doc->SaveToFile(out.Path(), 2);
    const std::string pdf = out.Read();
    // A form given directly in the catalog is written as an object of its own.
    const std::string catalog = vxtest::SavedObject(pdf, 1);
    const std::string formRef = vxtest::SavedReferenceWith(pdf, "/Fields [");
    EXPECT_NE(catalog.find("/AcroForm " + formRef + "\r\n"), std::string::npos) << catalog;
    EXPECT_EQ(SavedObjectWith(pdf, "/Fields [").find("/NeedAppearances"), std::string::npos);

    vxtest::QpdfStructures before = vxtest::ReadQpdfStructures(in.Path());
    vxtest::QpdfStructures after = vxtest::ReadQpdfStructures(out.Path());
    ASSERT_TRUE(after.Readable) << after.Error;
    EXPECT_EQ(after.Fields.size(), 4u);  // qpdf lists the widgets on pages: one per radio button
    EXPECT_EQ(before.Fields, after.Fields);
    EXPECT_EQ(before.Annotations, after.Annotations);
    EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
  }
}

TEST(Forms, NeedAppearancesOnSave) {
  auto needAppearances = [](const std::string& acroFormEntries, uint8_t mode) {
    auto doc = vxtest::LoadBytes(DocumentWith(
        "/AcroForm << /Fields [20 0 R] " + acroFormEntries + " >>", {{20, "<< /T (a) /FT /Tx >>"}}));
    vxtest::TempFile out;
    doc->SaveToFile(out.Path(), mode);
    const std::string form = SavedObjectWith(out.Read(), "/Fields [");
    const size_t at = form.find("/NeedAppearances ");
    if (at == std::string::npos) return std::string("absent");
    EXPECT_EQ(form.find("/NeedAppearances", at + 1), std::string::npos) << "one entry";
    return form.substr(at + 17, form.find("\r\n", at) - at - 17);
  };
  EXPECT_EQ(needAppearances("", 0), "true");
  EXPECT_EQ(needAppearances("", 1), "false");
  EXPECT_EQ(needAppearances("", 2), "absent");
  EXPECT_EQ(needAppearances("/NeedAppearances false", 0), "true");
  EXPECT_EQ(needAppearances("/NeedAppearances true", 1), "false");
  EXPECT_EQ(needAppearances("/NeedAppearances true", 2), "true");
  EXPECT_EQ(needAppearances("/NeedAppearances 5", 0), "true") << "a value that is not a Boolean is replaced";

  // A document without a form is not given one.
  auto plain = vxtest::LoadBytes(vxtest::SimplePdf(1));
  vxtest::TempFile out;
  plain->SaveToFile(out.Path(), 0);
  EXPECT_EQ(out.Read().find("/NeedAppearances"), std::string::npos);
}

TEST(Forms, KidsThatComeBackEndTheWalk) {
  auto doc = vxtest::LoadBytes(DocumentWith(
      "/AcroForm << /Fields [20 0 R] >>",
      {{20, "<< /T (top) /Kids [21 0 R] >>"},
       {21, "<< /T (mid) /FT /Tx /Parent 20 0 R /Kids [20 0 R 21 0 R 22 0 R] >>"},
       {22, "<< /T (leaf) /FT /Tx /Parent 21 0 R /V (v) >>"}}));
  Lines names;
  for (const auto& field : *doc->FieldList()) names.push_back(field->FullName);
  EXPECT_EQ(names, (Lines{"top.mid", "top.mid.leaf"}));
  vxtest::TempFile out;
  doc->SaveToFile(out.Path(), 2);
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
}

TEST(Forms, ButtonKindsFollowSingleFlagBits) {
  // Each flag alone: radio (bit 16), push button (bit 17), and a check box
  // whose only flag is "no toggle to off" (bit 15), which is not a radio.
  const std::map<int, std::string> objects = {
      {50, "<< /Fields [40 0 R 43 0 R 44 0 R 46 0 R] >>"},
      {40, "<< /T (radio) /FT /Btn /Ff 32768 /Kids [41 0 R 42 0 R] /V /A >>"},
      {41, "<< /Type /Annot /Subtype /Widget /Parent 40 0 R /Rect [0 0 9 9] /AP << /N << /A 45 0 R /Off 45 0 R >> >> >>"},
      {42, "<< /Type /Annot /Subtype /Widget /Parent 40 0 R /Rect [0 9 9 19] /AP << /N << /B 45 0 R /Off 45 0 R >> >> >>"},
      {43, "<< /Type /Annot /Subtype /Widget /Rect [0 19 9 29] /T (check) /FT /Btn /Ff 16384 /V /Off "
           "/AP << /N << /On 45 0 R /Off 45 0 R >> >> >>"},
      {44, "<< /Type /Annot /Subtype /Widget /Rect [0 29 9 39] /T (push) /FT /Btn /Ff 65536 >>"},
      {45, "<<>>stream:"},
      {46, "<< /Type /Annot /Subtype /Widget /Rect [0 39 9 49] /T (plain) /FT /Btn >>"},
  };
  auto doc = vxtest::LoadBytes(DocumentWith("/AcroForm 50 0 R", objects, 1, "/Annots [41 0 R 42 0 R 43 0 R 44 0 R 46 0 R]"));
  EXPECT_EQ(Field(*doc, "radio").Kind, fkRadioButton);
  EXPECT_EQ(Field(*doc, "check").Kind, fkCheckBox);
  EXPECT_EQ(Field(*doc, "push").Kind, fkPushButton);
  EXPECT_EQ(Field(*doc, "plain").Kind, fkCheckBox);
}

TEST(Forms, FieldsThatBreakTheRulesLeaveTheFormAsItIs) {
  // A kid that is no reference and an option that is no string: the fields
  // are not described, but the load goes on and the form is written whole.
  std::map<int, std::string> objects = {
      {50, "<< /Fields [20 0 R] /DA (/Helv 0 Tf 0 g) >>"},
      {20, "<< /T (parent) /Kids [21 0 R 7] >>"},
      {21, "<< /T (child) /FT /Ch /Opt [[42 (x)]] /Private (kept) >>"},
  };
  auto loaded = vxtest::LoadWithWarnings(DocumentWith("/AcroForm 50 0 R", objects));
  ASSERT_TRUE(loaded.Doc->IsLoaded());
  EXPECT_EQ(loaded.Doc->PageCount(), 2);
  ASSERT_EQ(loaded.Warnings.size(), 1u);
  EXPECT_EQ(loaded.Warnings[0], "The form's fields cannot be read (Invalid class typecast); the form is kept as it is");
  vxtest::TempFile out;
  loaded.Doc->SaveToFile(out.Path(), 2);
  const std::string pdf = out.Read();
  EXPECT_NE(SavedObjectWith(pdf, "/Private (kept)").find("/T (child)"), std::string::npos);
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
}
