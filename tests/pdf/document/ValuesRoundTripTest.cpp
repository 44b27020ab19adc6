// Values are written back as they were read: words the parser keeps as
// text, streams whose /Length cannot be used, escapes, odd hexadecimal
// strings under encryption, and an /Info kept in an object stream. Outputs
// are read back by pikepdf and Poppler, not by us.
#include <gtest/gtest.h>

#include "WriterTestSupport.h"
#include "pdf/security/vxPDFCrypt.h"
#include "support/PikeQuery.h"

using namespace vx;
using vxtest::PdfBuilder;

namespace {

std::string SaveFile(TvxCustomPDFDocument& doc, const vxtest::TempFile& out) {
  doc.SaveToFile(out.Path(), 2);
  return out.Read();
}

std::string OnePage(const std::string& pageExtra, const std::string& trailerExtra = "") {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] " + pageExtra + " >>");
  b.FinishWithTable("/Root 1 0 R " + trailerExtra);
  return b.Bytes();
}

}  // namespace

TEST(ValuesRoundTrip, AWordKeptAsTextIsWrittenAsTheSameBytes) {
  auto doc = vxtest::LoadBytes(OnePage("/Odd 1.2.3 /Arr [1.2.3 4]"));
  vxtest::TempFile out;
  std::string saved = SaveFile(*doc, out);
  EXPECT_NE(saved.find("/Odd 1.2.3"), std::string::npos);
  EXPECT_NE(saved.find("[ 1.2.3 4 ]"), std::string::npos);
  EXPECT_EQ(saved.find("(.2.)"), std::string::npos);
  // Read back, the word is the same word again.
  auto again = vxtest::LoadBytes(saved);
  auto& page = Cast<TvxPDFDictObject>(again->PageList()[0]->Content.get());
  EXPECT_EQ(Cast<TvxPDFStringObject>(page.Find("/Odd")).Text, "1.2.3");
}

TEST(ValuesRoundTrip, ALengthThatIsNoUsableIntegerFindsEndstream) {
  // One page per kind of unusable /Length: a real, a 64-bit number, a name,
  // and a reference to a real.
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R 5 0 R 7 0 R 9 0 R] /Count 4 >>");
  const char* lengths[] = {"33.0", "4294967329", "/Long", "11 0 R"};
  for (int i = 0; i < 4; ++i) {
    int page = 3 + 2 * i;
    b.Object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents " + std::to_string(page + 1) +
                       " 0 R /Resources << /Font << /F1 12 0 R >> >> >>");
    std::string text = "BT /F1 24 Tf 20 100 Td (Page" + std::string(1, char('A' + i)) + ") Tj ET";
    b.Object(page + 1, "<< /Length " + std::string(lengths[i]) + " >>\nstream\n" + text + "\nendstream");
  }
  b.Object(11, "33.0");
  b.Object(12, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  b.FinishWithTable("/Root 1 0 R");
  auto doc = vxtest::LoadBytes(b.Bytes());
  ASSERT_EQ(doc->PageCount(), 4);
  vxtest::TempFile out;
  SaveFile(*doc, out);
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
  std::string text = vxtest::PdfText(out.Path());
  for (const char* word : {"PageA", "PageB", "PageC", "PageD"}) EXPECT_NE(text.find(word), std::string::npos) << word;
}

TEST(ValuesRoundTrip, DataStartingOnTheStreamLineIsKept) {
  // "stream%c": the data (here a comment first) follows the keyword on its
  // own line.
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents [4 0 R 5 0 R] "
              "/Resources << /Font << /F1 6 0 R >> >> >>");
  b.Object(4, "<< /Length 26 >>\nstream\nBT /F1 24 Tf 20 100 Td\nendstream");
  b.Object(5, "<< /Length 18 >>\nstream%c\n(PageA) Tj ET\nendstream");
  b.Object(6, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  b.FinishWithTable("/Root 1 0 R");
  auto doc = vxtest::LoadBytes(b.Bytes());
  vxtest::TempFile out;
  SaveFile(*doc, out);
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
  EXPECT_NE(vxtest::PdfText(out.Path()).find("PageA"), std::string::npos);
}

TEST(ValuesRoundTrip, AnUndefinedEscapeDropsItsBackslash) {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Note (a\\qb\\8c) >>");
  b.Object(9, "<< /Title (x\\qy) >>");
  b.FinishWithTable("/Root 1 0 R /Info 9 0 R");
  auto loaded = vxtest::LoadBytes(b.Bytes());
  EXPECT_EQ(loaded->Info().Title(), u"xqy");
  auto& page = Cast<TvxPDFDictObject>(loaded->PageList()[0]->Content.get());
  EXPECT_EQ(Cast<TvxPDFStringObject>(page.Find("/Note")).Contents(), "aqb8c");
  vxtest::TempFile out;
  SaveFile(*loaded, out);
  EXPECT_EQ(vxtest::PikeQuery(out.Path(), "print(bytes(pdf.pages[0].Note).decode(), str(pdf.docinfo.Title))"),
            "aqb8c xqy");
}

TEST(ValuesRoundTrip, AnOddHexStringKeepsItsLastDigitUnderEncryption) {
  auto doc = vxtest::LoadBytes(OnePage("/Odd <414> /Even <4142>"));
  doc->Encryption().SetEnabled(true);
  doc->Encryption().SetLevel(el128bit);
  doc->Encryption().SetOwnerPassword("owner");
  doc->Encryption().SetUserPassword("");
  vxtest::TempFile out;
  SaveFile(*doc, out);
  EXPECT_EQ(vxtest::PikeQuery(out.Path(), "print(bytes(pdf.pages[0].Odd).hex(), bytes(pdf.pages[0].Even).hex())"),
            "4140 4142");
  // Unencrypted, the digits are written back as they were.
  auto plain = vxtest::LoadBytes(OnePage("/Odd <414>"));
  vxtest::TempFile plainOut;
  EXPECT_NE(SaveFile(*plain, plainOut).find("/Odd <414>"), std::string::npos);
  EXPECT_EQ(vxtest::PikeQuery(plainOut.Path(), "print(bytes(pdf.pages[0].Odd).hex())"), "4140");
}

TEST(ValuesRoundTrip, InformationInAnObjectStreamIsResolved) {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
  b.Object(20, "(Indirect title)");
  const std::string member = "<< /Title 20 0 R /Author 11 0 R /Subject (Direct) >>";
  const std::string author = "(Ann)";
  std::string header = "10 0 11 " + std::to_string(member.size() + 1) + " ";
  b.Stream(8, "/Type /ObjStm /N 2 /First " + std::to_string(header.size()), header + member + "\n" + author + "\n");
  b.FinishWithStream(9, "/Root 1 0 R /Info 10 0 R", {{10, {8, 0}}, {11, {8, 1}}});
  auto doc = vxtest::LoadBytes(b.Bytes());
  EXPECT_EQ(doc->Info().Title(), u"Indirect title");
  EXPECT_EQ(doc->Info().Author(), u"Ann");
  EXPECT_EQ(doc->Info().Subject(), u"Direct");
  vxtest::TempFile out;
  SaveFile(*doc, out);
  EXPECT_EQ(vxtest::PikeQuery(out.Path(), "print(pdf.docinfo.Title, '|', pdf.docinfo.Author, '|', pdf.docinfo.Subject)"),
            "Indirect title | Ann | Direct");
}
