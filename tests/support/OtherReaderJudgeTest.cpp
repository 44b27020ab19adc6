// The judge the corpus sweep relies on, tried on small handmade pairs: a copy
// that differs only in object numbers and in the allowed ways passes, and
// each kind of real change is caught and named by its path.
#include <gtest/gtest.h>

#include "support/OtherReaderJudge.h"
#include "support/PdfBuilder.h"

namespace {

// Knobs of a two-page document with a link, outlines (whose items point at
// each other: a cyclic graph), a named destination and /Info. The defaults
// give the source; an output turns some knobs.
struct Shape {
  int shift = 0;  // added to every object number: a renumbered copy
  std::string header = "%PDF-1.4\n";
  std::string rectTop = "10";
  std::string pageTwoText = "Page 2";
  bool lang = true;
  bool inherited = true;      // /MediaBox and /Resources on the page-tree root
  bool nestedTree = false;    // the pages under one more /Pages node
  bool hexContent = false;    // content streams under /ASCIIHexDecode
  std::string linkDest = "(chap2)";
  std::string goToRD = "(chap1)";
  std::string outlineOneDest = "[@3 /Fit]";
  std::string outlineTwoTitle = "(Two)";
  std::string infoTitle = "(Report)";
  std::string producer = "(Maker 1)";
  std::string modDate;
  std::string catalogExtra;  // raw entries, "@n" standing for object n
  std::string loopValue = "1";
  int pages = 2;
  std::string scale = "611.971653543307";
  std::string blob = "JBIG2 bytes";  // data under a filter the reader cannot decode
  bool blobUnderHex = false;          // that stream with /ASCIIHexDecode added in front
};

std::string Hex(const std::string& data) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : data) out += {digits[c >> 4], digits[c & 15]};
  return out + ">";
}

std::string Build(const Shape& s) {
  // "@n" is a reference to object n, renumbered by the shift.
  auto refs = [&](std::string text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] != '@') {
        out += text[i];
        continue;
      }
      size_t end = i + 1;
      while (end < text.size() && isdigit(static_cast<unsigned char>(text[end]))) ++end;
      out += std::to_string(std::stoi(text.substr(i + 1, end - i - 1)) + s.shift) + " 0 R";
      i = end - 1;
    }
    return out;
  };
  auto n = [&](int number) { return number + s.shift; };
  vxtest::PdfBuilder b(s.header);
  std::string shared = "/MediaBox [0 0 612 792] /Resources @9";
  b.Object(n(1), refs("<< /Type /Catalog /Pages @2 /Outlines @10 /Names << /Dests @20 >> /Loop @40 /Blob @60 /Scale " +
                      s.scale + " " +
                      std::string(s.lang ? "/Lang (en) " : "") + s.catalogExtra + " >>"));
  std::string kids = s.pages == 2 ? "[@3 @5]" : "[@3]";
  std::string count = std::to_string(s.pages);
  if (s.nestedTree) {
    b.Object(n(2), refs("<< /Type /Pages /Kids [@50] /Count " + count + (s.inherited ? " " + shared : "") + " >>"));
    b.Object(n(50), refs("<< /Type /Pages /Parent @2 /Kids " + kids + " /Count " + count + " >>"));
  } else {
    b.Object(n(2), refs("<< /Type /Pages /Kids " + kids + " /Count " + count + (s.inherited ? " " + shared : "") + " >>"));
  }
  std::string parent = s.nestedTree ? "@50" : "@2";
  std::string own = s.inherited ? "" : " " + shared;
  b.Object(n(3), refs("<< /Type /Page /Parent " + parent + " /Contents @4 /Annots [@7 @8]" + own + " >>"));
  auto content = [&](int number, const std::string& text) {
    std::string data = "BT /F1 12 Tf 72 700 Td (" + text + ") Tj ET";
    if (s.hexContent)
      b.Stream(n(number), "/Filter /ASCIIHexDecode", Hex(data));
    else
      b.Stream(n(number), "", data);
  };
  content(4, "Page 1");
  if (s.pages == 2) {
    b.Object(n(5), refs("<< /Type /Page /Parent " + parent + " /Contents @6" + own + " >>"));
    content(6, s.pageTwoText);
  }
  b.Object(n(7), refs("<< /Type /Annot /Subtype /Link /Rect [0 0 10 " + s.rectTop + "] /P @3 /Dest " + s.linkDest +
                      " >>"));
  b.Object(n(8), refs("<< /Type /Annot /Subtype /Link /Rect [0 20 10 30] /A << /S /GoToR /F (other.pdf) /D " +
                      s.goToRD + " >> >>"));
  b.Object(n(9), "<< /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>");
  b.Object(n(10), refs("<< /Type /Outlines /First @11 /Last @12 /Count 2 >>"));
  b.Object(n(11), refs("<< /Title (One) /Parent @10 /Next @12 /Dest " + s.outlineOneDest + " >>"));
  b.Object(n(12), refs("<< /Title " + s.outlineTwoTitle + " /Parent @10 /Prev @11 /Dest [@3 /XYZ 0 792 0] >>"));
  b.Object(n(20), refs("<< /Names [(chap2) [@5 /Fit]] >>"));
  b.Object(n(30), "<< /Title " + s.infoTitle + " /Producer " + s.producer +
                      (s.modDate.empty() ? "" : " /ModDate " + s.modDate) + " >>");
  b.Object(n(40), refs("<< /Self @40 /Next @41 >>"));
  b.Object(n(41), refs("<< /Back @40 /V " + s.loopValue + " >>"));
  if (s.blobUnderHex)
    b.Stream(n(60), "/Filter [/ASCIIHexDecode /JBIG2Decode]", Hex(s.blob));
  else
    b.Stream(n(60), "/Filter /JBIG2Decode", s.blob);
  b.FinishWithTable(refs("/Root @1 /Info @30"));
  return b.Bytes();
}

// Judges `output` against `source`, both written to temporary files.
vxtest::JudgeVerdict Judge(const Shape& source, const Shape& output, const std::vector<std::string>& settings = {}) {
  vxtest::TempFile a, b;
  a.Write(Build(source));
  b.Write(Build(output));
  return vxtest::JudgeAsOtherReader(a.Path(), b.Path(), {}, settings);
}

Shape Renumbered() {
  Shape s;
  s.shift = 100;
  return s;
}

}  // namespace

TEST(OtherReaderJudge, RenumberedCopyIsEqualAndAChangeDeepInAPageIsCaught) {
  vxtest::JudgeVerdict same = Judge(Shape(), Renumbered());
  EXPECT_EQ(same.status, 0) << same.Text();
  EXPECT_TRUE(same.differences.empty()) << same.Text();

  Shape moved = Renumbered();
  moved.rectTop = "11";
  vxtest::JudgeVerdict rect = Judge(Shape(), moved);
  EXPECT_EQ(rect.status, 1) << rect.Text();
  EXPECT_TRUE(rect.Mentions("/Page[0]/Annots[0]/Rect[3]: source 10; output 11")) << rect.Text();

  Shape text = Renumbered();
  text.pageTwoText = "Page 3";
  vxtest::JudgeVerdict content = Judge(Shape(), text);
  EXPECT_EQ(content.status, 1);
  EXPECT_TRUE(content.Mentions("/Page[1]/Contents(data): source decoded")) << content.Text();
}

TEST(OtherReaderJudge, CyclicAndSharedGraphsEndAndChangesInThemAreCaught) {
  // Outline items point at their parent and at each other, /Loop points at
  // itself, and both pages share one /Resources: the equal pair above ends;
  // here a change inside each cycle is still found.
  Shape loop = Renumbered();
  loop.loopValue = "2";
  vxtest::JudgeVerdict a = Judge(Shape(), loop);
  EXPECT_EQ(a.status, 1);
  EXPECT_TRUE(a.Mentions("/Root/Loop/Next/V: source 1; output 2")) << a.Text();

  Shape outline = Renumbered();
  outline.outlineTwoTitle = "(Deux)";
  vxtest::JudgeVerdict b = Judge(Shape(), outline);
  EXPECT_EQ(b.status, 1);
  EXPECT_TRUE(b.Mentions("/Title: source (Two); output (Deux)")) << b.Text();

  // An outline item that now leads to another page: pages are matched by
  // their place, not by their looks.
  Shape page = Renumbered();
  page.outlineOneDest = "[@5 /Fit]";
  vxtest::JudgeVerdict c = Judge(Shape(), page);
  EXPECT_EQ(c.status, 1);
  EXPECT_TRUE(c.Mentions("/Dest[0]: source page 0; output 105 0 R")) << c.Text();
}

TEST(OtherReaderJudge, AllowedDifferencesAreAllowedAndOnlyThose) {
  Shape source;
  source.catalogExtra = "/Version /1.6";
  Shape output = Renumbered();
  output.header = "%PDF-1.7\n";
  output.producer = "(Vordel)";
  output.modDate = "(D:20261208120000Z)";
  output.inherited = false;
  output.nestedTree = true;
  output.hexContent = true;
  output.linkDest = "[@5 /Fit]";
  output.catalogExtra = "/ViewerPreferences << /FitWindow true >>";
  output.blobUnderHex = true;
  output.scale = "611.9716535";
  const std::string fitWindow = "/Root/ViewerPreferences/FitWindow=true";
  vxtest::JudgeVerdict allowed = Judge(source, output, {fitWindow});
  EXPECT_EQ(allowed.status, 0) << allowed.Text();
  EXPECT_TRUE(allowed.differences.empty()) << allowed.Text();

  // The same output when the setting was not asked for.
  vxtest::JudgeVerdict unasked = Judge(source, output);
  EXPECT_EQ(unasked.status, 1);
  EXPECT_TRUE(unasked.Mentions("/Root/ViewerPreferences: source (absent)")) << unasked.Text();

  // A setting asked for that the output does not carry.
  Shape without = output;
  without.catalogExtra.clear();
  vxtest::JudgeVerdict missing = Judge(source, without, {fitWindow});
  EXPECT_TRUE(missing.Mentions("/Root/ViewerPreferences/FitWindow: source (setting asked for); output (absent)"))
      << missing.Text();

  // A named destination replaced by an array that leads elsewhere.
  Shape wrong = output;
  wrong.linkDest = "[@3 /Fit]";
  vxtest::JudgeVerdict dest = Judge(source, wrong, {fitWindow});
  EXPECT_TRUE(dest.Mentions("/Page[0]/Annots[0]/Dest[0]: source page 1; output 103 0 R")) << dest.Text();

  // A real changed before its tenth digit; bytes under a filter the reader
  // cannot decode that are not the same.
  Shape changed = output;
  changed.scale = "611.9717";
  changed.blob = "JBIG2 bytez";
  vxtest::JudgeVerdict values = Judge(source, changed, {fitWindow});
  EXPECT_TRUE(values.Mentions("/Root/Scale: source 611.971653543307; output 611.9717")) << values.Text();
  EXPECT_TRUE(values.Mentions("/Root/Blob(data): source under /JBIG2Decode 11 bytes")) << values.Text();

  // The catalog's /Version dropped while the header says less.
  Shape lower = output;
  lower.header = "%PDF-1.4\n";
  vxtest::JudgeVerdict version = Judge(source, lower, {fitWindow});
  EXPECT_TRUE(version.Mentions("/Root/Version: source /1.6; output (absent), header 1.4")) << version.Text();
}

TEST(OtherReaderJudge, LostCatalogKeysInfoPagesAndForeignDestinationsAreCaught) {
  Shape noLang = Renumbered();
  noLang.lang = false;
  vxtest::JudgeVerdict lang = Judge(Shape(), noLang);
  EXPECT_EQ(lang.status, 1);
  EXPECT_TRUE(lang.Mentions("/Root/Lang: source (en); output (absent)")) << lang.Text();

  Shape title = Renumbered();
  title.infoTitle = "()";
  vxtest::JudgeVerdict info = Judge(Shape(), title);
  EXPECT_TRUE(info.Mentions("/Info/Title: source (Report); output ()")) << info.Text();

  Shape onePage = Renumbered();
  onePage.pages = 1;
  vxtest::JudgeVerdict pages = Judge(Shape(), onePage);
  EXPECT_TRUE(pages.Mentions("/Pages/Count: source 2 pages; output 1 pages")) << pages.Text();

  // A destination in another file is not this file's named destination.
  Shape remote = Renumbered();
  remote.goToRD = "[0 /Fit]";
  vxtest::JudgeVerdict goToR = Judge(Shape(), remote);
  EXPECT_TRUE(goToR.Mentions("/Page[0]/Annots[1]/A/D: source (chap1); output [0 /Fit]")) << goToR.Text();
}

TEST(OtherReaderJudge, EncryptionAndWhatEachPasswordOpensAreCompared) {
  vxtest::TempFile plain, source, same, otherOwner, fewerRights;
  plain.Write(Build(Shape()));
  auto encrypt = [&](const vxtest::TempFile& out, const std::string& owner, const std::string& extra) {
    std::string command = "qpdf --allow-weak-crypto " + vxtest::Quote(plain.Path()) + " " + vxtest::Quote(out.Path()) +
                          " --encrypt u " + owner + " 128 --use-aes=n " + extra + " --";
    ASSERT_EQ(vxtest::RunCommand(command), 0) << command;
  };
  encrypt(source, "o", "");
  encrypt(same, "o", "");
  encrypt(otherOwner, "fresh", "");
  encrypt(fewerRights, "o", "--print=none");

  vxtest::JudgeVerdict kept = vxtest::JudgeAsOtherReader(source.Path(), same.Path(), {"o", "u"});
  EXPECT_EQ(kept.status, 0) << kept.Text();

  vxtest::JudgeVerdict owner = vxtest::JudgeAsOtherReader(source.Path(), otherOwner.Path(), {"o", "u"});
  EXPECT_TRUE(owner.Mentions("/Encrypt/password('o'): source owner; output refused")) << owner.Text();

  vxtest::JudgeVerdict rights = vxtest::JudgeAsOtherReader(source.Path(), fewerRights.Path(), {"o", "u"});
  EXPECT_TRUE(rights.Mentions("/Encrypt/P: source")) << rights.Text();

  vxtest::JudgeVerdict dropped = vxtest::JudgeAsOtherReader(source.Path(), plain.Path(), {"o", "u"});
  EXPECT_TRUE(dropped.Mentions("/Encrypt: source encrypted; output none")) << dropped.Text();
  // Asked for: any change of the encryption passes.
  vxtest::JudgeVerdict asked = vxtest::JudgeAsOtherReader(source.Path(), plain.Path(), {"o", "u"}, {"/Encrypt"});
  EXPECT_EQ(asked.status, 0) << asked.Text();
}

TEST(OtherReaderJudge, ABatchGivesEachPairItsOwnVerdictInOrder) {
  vxtest::TempFile source, same, moved, broken;
  source.Write(Build(Shape()));
  same.Write(Build(Renumbered()));
  Shape changed = Renumbered();
  changed.rectTop = "12";
  moved.Write(Build(changed));
  broken.Write("%PDF-1.4\nnot a document\n");
  std::vector<vxtest::JudgeVerdict> verdicts = vxtest::JudgeManyAsOtherReader(
      {{source.Path(), same.Path(), {}}, {source.Path(), moved.Path(), {"unused"}}, {broken.Path(), same.Path(), {}}});
  ASSERT_EQ(verdicts.size(), 3u);
  EXPECT_EQ(verdicts[0].status, 0) << verdicts[0].Text();
  EXPECT_TRUE(verdicts[0].differences.empty()) << verdicts[0].Text();
  EXPECT_EQ(verdicts[1].status, 1) << verdicts[1].Text();
  ASSERT_EQ(verdicts[1].differences.size(), 1u) << verdicts[1].Text();
  EXPECT_EQ(verdicts[1].differences[0], "/Page[0]/Annots[0]/Rect[3]: source 10; output 12");
  EXPECT_EQ(verdicts[2].status, 2) << verdicts[2].Text();
  EXPECT_TRUE(verdicts[2].Mentions("unreadable: " + broken.Path())) << verdicts[2].Text();
}
