// Saving with object streams: what goes into them and what must stay a file
// object of its own, plain and encrypted, as qpdf and pikepdf read the
// result; the version rule; when "preserve" writes them; identical bytes
// from any thread count; the compact text of members; and a few corpus
// files rewritten with them, judged against their sources by another reader.
#include <gtest/gtest.h>

#include <filesystem>

#include "WriterTestSupport.h"
#include "pdf/document/vxObjectStreamWriter.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "support/OtherReaderJudge.h"
#include "support/PikeQuery.h"

using namespace vx;
using vxtest::Quote;
using vxtest::RunCommand;
using vxtest::TempFile;

namespace {

std::string SignatureHex() {
  std::string hex = "30820101";
  for (int i = 0; i < 16; ++i) hex += "0a1b2c3d";
  return hex;
}

// Two pages with content streams, a font, a text note with awkward strings,
// a signed signature field and an unsigned signature placeholder, a real
// and a name with digits in it.
std::string MixedSource() {
  vxtest::PdfBuilder b;
  vxtest::AddSimplePages(b, 2, "/AcroForm << /Fields [10 0 R 12 0 R] /SigFlags 3 >>", [](int page) {
    return page == 0 ? std::string("/Annots [10 0 R 14 0 R] /Resources << /Font << /F1 15 0 R >> >>")
                     : std::string("/UserUnit 1.25");
  });
  b.Object(10, "<< /FT /Sig /T (Sig1) /Type /Annot /Subtype /Widget /Rect [0 0 0 0] /P 3 0 R /V 11 0 R >>");
  b.Object(11, "<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached /ByteRange [0 10 20 30] "
               "/Contents <" + SignatureHex() + "> /Reason (approved) >>");
  b.Object(12, "<< /FT /Sig /T (Later) /V 13 0 R >>");
  b.Object(13, "<< /Type /Sig /Filter /Adobe.PPKLite /Contents (not signed yet) >>");
  b.Object(14, "<< /Type /Annot /Subtype /Text /Rect [0 0 20 20] /Contents (a \\(note\\)\\r\\nwith  breaks) "
               "/NM <4E6F7465> /C [0.25 0.5 1] /pgf@ca0.75 true >>");
  b.Object(15, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  b.Object(20, "<< /Title (Mixed \\(source\\)) >>");
  b.FinishWithTable("/Root 1 0 R /Info 20 0 R");
  return b.Bytes();
}

// A file whose objects 4.. lie in an uncompressed object stream, with a
// cross-reference stream.
std::string ObjectStreamSource() {
  vxtest::PdfBuilder b("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 5 0 R /Resources 4 0 R >>");
  const std::string resources = "<< /Font << /F1 8 0 R >> >> ";
  const std::string font = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
  const std::string header = "4 0 8 " + std::to_string(resources.size()) + "\n";
  b.Stream(6, "/Type /ObjStm /N 2 /First " + std::to_string(header.size()), header + resources + font);
  b.Stream(5, "", "BT /F1 12 Tf 20 100 Td (Hello) Tj ET");
  b.FinishWithStream(7, "/Root 1 0 R", {{4, {6, 0}}, {8, {6, 1}}});
  return b.Bytes();
}

std::unique_ptr<TvxPDFDocument> Load(const std::string& path) {
  auto doc = std::make_unique<TvxPDFDocument>();
  doc->SetShowSetupDialog(false);
  doc->SetLiteralFileNames(true);
  EXPECT_TRUE(doc->LoadFromFile(path));
  return doc;
}

// Each kind of object in the output with where qpdf finds it: "file" (an
// object of its own) or "packed" (in an object stream), as sorted
// "kind:place" words. The kinds: stream, objstm, xref, sig (signature
// dictionaries), encrypt, other.
std::string KindsAndPlaces(const std::string& path, const std::string& password = "") {
  return vxtest::PikeQuery(path, R"(
import re, subprocess
listing = subprocess.run(["qpdf", "--password=" + sys.argv[2], "--show-xref", sys.argv[1]],
                         capture_output=True, text=True).stdout
place = {}
for line in listing.splitlines():
    number = int(line.split("/")[0])
    place[number] = "packed" if ": compressed;" in line else "file"
raw = open(sys.argv[1], "rb").read()
encrypt = re.search(rb"/Encrypt (\d+) 0 R", raw)
kinds = set()
for number in sorted(place):
    if number == 0: continue
    if encrypt and number == int(encrypt.group(1)):
        kinds.add("encrypt:" + place[number]); continue
    o = pdf.get_object(number, 0)
    if isinstance(o, pikepdf.Stream):
        t = o.get("/Type")
        kind = "xref" if t == "/XRef" else "objstm" if t == "/ObjStm" else "stream"
    elif isinstance(o, pikepdf.Dictionary) and o.get("/Type") == "/Sig":
        kind = "sig"
    else:
        kind = "other"
    kinds.add(kind + ":" + place[number])
print(" ".join(sorted(kinds)))
)",
                           password);
}

// The strings, signature and numbers a reader takes from the saved file.
const char* kValues = R"(
f = pdf.Root.AcroForm.Fields
note = pdf.pages[0].Annots[1]
print(bytes(f[0].V.Contents).hex(), bytes(f[0].V.Reason).decode(), bytes(f[1].V.Contents).decode())
print(repr(bytes(note.Contents)), bytes(note.NM).decode(), [float(x) for x in note.C], bool(note.get("/pgf@ca0.75")))
print(str(pdf.docinfo.Title), float(pdf.pages[1].UserUnit), len(pdf.pages))
)";

std::string ExpectedValues() {
  return SignatureHex() + " approved not signed yet\n" +
         "b'a (note)\\r\\nwith  breaks' Note [0.25, 0.5, 1.0] True\n" + "Mixed (source) 1.25 2";
}

std::string SaveWith(TvxPDFDocument& doc, TvxObjectStreamMode mode, const std::string& path) {
  doc.SetObjectStreams(mode);
  EXPECT_TRUE(doc.SaveToFile(path));
  return vxtest::ReadFile(path);
}

}  // namespace

TEST(ObjectStreamWriter, MembersAreTheObjectsThatMayBePackedAndReadersFindThemPlainAndEncrypted) {
  TempFile source, plain, rc4, aes;
  source.Write(MixedSource());

  auto doc = Load(source.Path());
  doc->SetPDFVersion(pvPDF15);
  doc->SetCompression(0, 2);
  SaveWith(*doc, osGenerate, plain.Path());
  EXPECT_EQ(vxtest::QpdfProblems(plain.Path()), "");
  // Dictionaries are packed; streams, the signature dictionaries and the
  // streams the writer made stay objects of their own.
  EXPECT_EQ(KindsAndPlaces(plain.Path()), "objstm:file other:packed sig:file stream:file xref:file");
  EXPECT_EQ(vxtest::PikeQuery(plain.Path(), kValues), ExpectedValues());
  EXPECT_NE(vxtest::PdfText(plain.Path()).find("Page 1"), std::string::npos);
  const std::string bytes = vxtest::ReadFile(plain.Path());
  EXPECT_EQ(bytes.rfind("%PDF-1.5", 0), 0u);
  EXPECT_EQ(bytes.find("\nxref"), std::string::npos);  // no classic table

  // Encrypted: the object streams are encrypted as streams, the members
  // not again on their own; the encryption dictionary and the
  // cross-reference stream stay readable objects of their own.
  for (auto [target, level] : {std::pair{&rc4, el128bit}, std::pair{&aes, elAES256}}) {
    auto encrypted = Load(source.Path());
    encrypted->SetPDFVersion(pvPDF17);
    encrypted->Encryption().SetEnabled(true);
    encrypted->Encryption().SetLevel(level);
    encrypted->Encryption().SetOwnerPassword("owner");
    encrypted->Encryption().SetUserPassword("user");
    SaveWith(*encrypted, osGenerate, target->Path());
    SCOPED_TRACE(level == el128bit ? "RC4" : "AES-256");
    EXPECT_EQ(vxtest::QpdfProblems(target->Path(), "user"), "");
    EXPECT_EQ(KindsAndPlaces(target->Path(), "user"),
              "encrypt:file objstm:file other:file other:packed sig:file stream:file xref:file");
    EXPECT_EQ(vxtest::PikeQuery(target->Path(), kValues, "user"), ExpectedValues());
    // Nothing of the members can be read without the key.
    EXPECT_EQ(vxtest::ReadFile(target->Path()).find("/Subtype /Text"), std::string::npos);
  }
}

TEST(ObjectStreamWriter, VersionRuleAndPreserveFollowTheSourceAndTheVersion) {
  TempFile classicSource, packedSource, out;
  classicSource.Write(vxtest::SimplePdf(2));  // PDF 1.4, classic table
  packedSource.Write(ObjectStreamSource());
  auto hasXRefStream = [](const std::string& bytes) { return bytes.find("/Type /XRef") != std::string::npos; };
  auto hasTable = [](const std::string& bytes) { return bytes.find("\r\nxref\r\n") != std::string::npos; };

  // Generating for PDF 1.4 is refused before anything is written.
  {
    auto doc = Load(classicSource.Path());
    doc->SetObjectStreams(osGenerate);
    out.Write("untouched");
    try {
      doc->SaveToFile(out.Path());
      ADD_FAILURE() << "saved with object streams as PDF 1.4";
    } catch (const EPDFException& e) {
      EXPECT_STREQ(e.what(), "Object streams need PDF 1.5 or later; the file is to be written as PDF 1.4");
    }
    EXPECT_EQ(out.Read(), "untouched");
  }
  // "preserve": a classic source stays classic; one with object streams
  // keeps them, unless an older version is asked for.
  {
    auto doc = Load(classicSource.Path());
    doc->SetPDFVersion(pvPDF17);
    const std::string bytes = SaveWith(*doc, osPreserve, out.Path());
    EXPECT_TRUE(hasTable(bytes) && !hasXRefStream(bytes));
  }
  {
    auto doc = Load(packedSource.Path());
    EXPECT_TRUE(doc->SourceHasObjectStreams());
    std::string bytes = SaveWith(*doc, osPreserve, out.Path());
    EXPECT_TRUE(hasXRefStream(bytes) && !hasTable(bytes));
    EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
    EXPECT_NE(vxtest::PdfText(out.Path()).find("Hello"), std::string::npos);
    // The default, and an older version with "preserve": a classic table.
    bytes = SaveWith(*doc, osDisable, out.Path());
    EXPECT_TRUE(hasTable(bytes) && !hasXRefStream(bytes));
    doc->SetPDFVersion(pvPDF14);
    bytes = SaveWith(*doc, osPreserve, out.Path());
    EXPECT_TRUE(hasTable(bytes) && !hasXRefStream(bytes));
    EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
  }
}

TEST(ObjectStreamWriter, TwoSavesAndAnyThreadCountGiveTheSameBytes) {
  TempFile source, first, second;
  source.Write(vxtest::SimplePdf(30, "", "/Title (Same)"));
  auto doc = Load(source.Path());
  doc->SetPDFVersion(pvPDF16);
  doc->SetCompression(0, 3);
  doc->SetSaveThreads(1);
  const std::string one = SaveWith(*doc, osGenerate, first.Path());
  doc->SetSaveThreads(4);
  const std::string other = SaveWith(*doc, osGenerate, second.Path());
  EXPECT_TRUE(one == other);
  EXPECT_EQ(vxtest::QpdfProblems(first.Path()), "");
}

TEST(ObjectStreamWriter, CancelledSaveWithStreamsInWorkLeavesTheTarget) {
  TempFile source, target;
  source.Write(vxtest::SimplePdf(1500));
  target.Write("kept");
  auto doc = Load(source.Path());
  doc->SetPDFVersion(pvPDF15);
  doc->SetCompression(0, 2);
  doc->SetSaveThreads(2);
  doc->SetObjectStreams(osGenerate);
  // Cancelled past the first object streams, with others still in work.
  doc->OnIOProgress = [](TvxCustomPDFDocument& d, int percent) {
    if (percent >= 80) d.CancelSave();
  };
  EXPECT_THROW(doc->SaveToFile(target.Path()), ESaveCancelled);
  EXPECT_EQ(target.Read(), "kept");
  doc->OnIOProgress = nullptr;
  ASSERT_TRUE(doc->SaveToFile(target.Path()));
  EXPECT_EQ(vxtest::QpdfProblems(target.Path()), "");
}

TEST(ObjectStreamWriter, CompactTextKeepsStringsNamesAndValues) {
  // White space runs become one space; strings (escapes, nested and raw line
  // breaks included), hex strings and names are kept; reals lose trailing
  // zeros but stay reals.
  EXPECT_EQ(CompactObjectText("<<\r\n/A (x\\) (y)\r\n  z)\r\n/B <48 65>\r\n/C [ 1.5000000000 -0.2500000000 "
                              "2.0000000000 10 ]\r\n/pgf@ca0.75 /N1.0000000000\r\n/D <<\r\n/E 1 0 R\r\n>>\r\n>>"),
            "<< /A (x\\) (y)\r\n  z) /B <48 65> /C [ 1.5 -0.25 2.0 10 ] /pgf@ca0.75 /N1.0000000000 /D << /E 1 0 R "
            ">> >>");
  // A comment runs to the end of its line, so that line end stays.
  EXPECT_EQ(CompactObjectText("[ /K%x\r\n/L 1 ]"), "[ /K%x\n/L 1 ]");
  EXPECT_EQ(CompactObjectText("<<>>"), "<<>>");
  EXPECT_EQ(CompactObjectText("(unbalanced"), "(unbalanced");
  // Appended after other text, leading white space still goes.
  std::string out = "x";
  AppendCompactObjectText(out, "  [ 1.5000000000 ]");
  EXPECT_EQ(out, "x[ 1.5 ]");
}

TEST(ObjectStreamWriter, MembersCompactedAsAddedBuildTheSameStream) {
  // The linearized writer compacts members as it adds them, the plain one
  // when the stream is built: the streams must not differ.
  const char* const members[] = {"<<\r\n/A 1.5000000000\r\n>>", "", "  (a  b)  ", "[ /K%x\r\n/L 1 ]", "7"};
  TvxObjectStreamBuilder later, now(true);
  int32_t number = 10;
  for (const char* text : members) {
    later.Add(number, text);
    now.Add(number, text);
    number += 3;
  }
  int64_t firstLater = 0, firstNow = 0;
  const std::string built = std::move(later).Build(firstLater);
  EXPECT_EQ(std::move(now).Build(firstNow), built);
  EXPECT_EQ(firstNow, firstLater);
  EXPECT_EQ(built, "10 0 13 13 16 14 19 21 22 35\n<< /A 1.5 >>  (a  b) [ /K%x\n/L 1 ] 7");
}

namespace {

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VX_OBJSTM_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(VX_OBJSTM_UNDER_ASAN)
constexpr size_t kCorpusSample = 2;
#else
constexpr size_t kCorpusSample = 6;
#endif

// Outlines, forms, annotations, Arabic text, a source in object streams and
// an encrypted one.
const char* const kCorpusFiles[] = {
    "samples/006-pdflatex-outline_pdflatex-outline.pdf",
    "qpdf-tests/compress-objstm-xref.pdf",
    "samples/012-libreoffice-form_libreoffice-form.pdf",
    "samples/024-annotations_annotated_pdf.pdf",
    "samples/015-arabic_habibi.pdf",
    "samples/005-libreoffice-writer-password_libreoffice-writer-password.pdf",
};

// The first page at a low resolution, as Poppler draws it.
std::string RenderFirstPage(const std::string& path, const std::string& password) {
  TempFile image(".pgm");
  const std::string base = image.Path().substr(0, image.Path().size() - 4);
  RunCommand("pdftoppm -r 30 -f 1 -l 1 -gray -singlefile " +
             (password.empty() ? "" : "-upw " + Quote(password) + " ") + Quote(path) + " " + Quote(base));
  return image.Read();
}

}  // namespace

TEST(ObjectStreamWriter, SampledCorpusFilesRewrittenWithObjectStreamsAreTheirSources) {
  VX_NEEDS_CORPUS();
  vxtest::TempDir dir;
  std::vector<vxtest::JudgePair> pairs;
  for (size_t i = 0; i < kCorpusSample; ++i) {
    const std::string source = vxtest::CorpusDir() + "/" + kCorpusFiles[i];
    const std::string password =
        std::string(kCorpusFiles[i]).find("password") != std::string::npos ? "openpassword" : "";
    const std::string output = dir.File(std::to_string(i) + ".pdf");
    SCOPED_TRACE(kCorpusFiles[i]);
    TvxPDFDocument doc;
    doc.SetShowSetupDialog(false);
    doc.SetLiteralFileNames(true);
    doc.OnPassword = [password](TvxCustomPDFDocument&, std::string& offered, bool& proceed, int tries) {
      if (tries == 0) offered = password;
      else proceed = false;
    };
    ASSERT_TRUE(doc.LoadFromFile(source));
    if (doc.PDFVersion() < pvPDF15) doc.SetPDFVersion(pvPDF15);
    doc.SetCompression(0, 2);
    doc.SetObjectStreams(osGenerate);
    ASSERT_TRUE(doc.SaveToFile(output));

    std::string xref;
    EXPECT_EQ(RunCommand("qpdf --password=" + Quote(password) + " --show-xref " + Quote(output), &xref), 0);
    EXPECT_NE(xref.find(": compressed;"), std::string::npos);
    EXPECT_EQ(vxtest::QpdfProblems(output, password), "");
    const std::string image = RenderFirstPage(output, password);
    EXPECT_GT(image.size(), 100u);
    EXPECT_TRUE(image == RenderFirstPage(source, password)) << "the first page looks different";
    pairs.push_back({source, output, password.empty() ? std::vector<std::string>{} : std::vector{password}});
  }
  const std::vector<vxtest::JudgeVerdict> verdicts = vxtest::JudgeManyAsOtherReader(pairs);
  ASSERT_EQ(verdicts.size(), pairs.size());
  for (size_t i = 0; i < pairs.size(); ++i)
    EXPECT_EQ(verdicts[i].status, 0) << kCorpusFiles[i] << ":\n" << verdicts[i].Text();
}
