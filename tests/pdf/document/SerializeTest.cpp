// The exact bytes the writer produces for objects, entries and frames.
#include <gtest/gtest.h>

#include "WriterTestSupport.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxPDFUtils.h"
#include "pdf/util/vxUtils.h"

using namespace vx;
using vxtest::MemoryDocument;
using vxtest::PdfBuilder;

namespace {

TvxPDFObjectPtr Array(std::initializer_list<int32_t> values) {
  auto a = std::make_unique<TvxPDFArrayObject>();
  for (int32_t v : values) a->AddInteger(v);
  return a;
}

TvxPDFObjectPtr Literal(std::string content) {
  return std::make_unique<TvxPDFStringObject>("(" + content + ")", false);
}

}  // namespace

TEST(Serialize, ArraysHaveASpaceAfterEveryItem) {
  MemoryDocument doc;
  EXPECT_EQ(doc.SerializeObject(1, Array({}).get()), "[ ]");
  EXPECT_EQ(doc.SerializeObject(1, Array({0, 0, 612, 792}).get()), "[ 0 0 612 792 ]");

  auto nested = std::make_unique<TvxPDFArrayObject>();
  nested->Add(Array({1, 2}));
  nested->AddInteger(3);
  EXPECT_EQ(doc.SerializeObject(1, nested.get()), "[ [ 1 2 ] 3 ]");

  auto withDict = std::make_unique<TvxPDFArrayObject>();
  auto action = std::make_unique<TvxPDFDictObject>();
  action->AddName("/S", "/GoTo");
  withDict->Add(std::move(action));
  EXPECT_EQ(doc.SerializeObject(1, withDict.get()), "[ <<\r\n/S /GoTo\r\n>> ]");

  // A missing item keeps its place instead of shifting the items after it.
  auto holes = std::make_unique<TvxPDFArrayObject>();
  holes->AddInteger(1);
  holes->Add(nullptr);
  holes->AddInteger(3);
  EXPECT_EQ(doc.SerializeObject(1, holes.get()), "[ 1 null 3 ]");
}

TEST(Serialize, ScalarsAndNames) {
  MemoryDocument doc;
  EXPECT_EQ(doc.SerializeObject(1, MakeBoolean(true).get()), "true");
  EXPECT_EQ(doc.SerializeObject(1, MakeBoolean(false).get()), "false");
  EXPECT_EQ(doc.SerializeObject(1, MakeInteger(-42).get()), "-42");
  EXPECT_EQ(doc.SerializeObject(1, MakeInteger(0).get()), "0");
  TvxPDFInt64Object big(-9000000000LL);
  EXPECT_EQ(doc.SerializeObject(1, &big), "-9000000000");
  EXPECT_EQ(doc.SerializeObject(1, MakeNull().get()), "null");
  // Names are written exactly as held, escapes included.
  EXPECT_EQ(doc.SerializeObject(1, MakeName("/A#20B").get()), "/A#20B");
  EXPECT_EQ(doc.SerializeObject(1, nullptr), "");
}

TEST(Serialize, RealsHaveTenDecimalsAndNeverAnExponent) {
  MemoryDocument doc;
  auto text = [&](double v) { return doc.SerializeObject(1, MakeReal(v).get()); };
  EXPECT_EQ(text(0.5), "0.5000000000");
  EXPECT_EQ(text(612), "612.0000000000");
  EXPECT_EQ(text(-1.25), "-1.2500000000");
  EXPECT_EQ(text(1.0 / 3), "0.3333333333");
  EXPECT_EQ(text(1.23456789012), "1.2345678900");
  EXPECT_EQ(text(2.5), "2.5000000000");
  EXPECT_EQ(text(1e-12), "0.0000000000");
  EXPECT_EQ(text(-0.0), "0.0000000000");
  EXPECT_EQ(text(1e15), "1000000000000000.0000000000");
  EXPECT_EQ(text(-1e15), "-1000000000000000.0000000000");
}

// Reals written with a few decimals take a short path; longer ones are
// rounded to ten significant digits first. Both must give the same text the
// rounding rule gives, at the edges between them too.
TEST(Serialize, RealsRoundTheSameWhateverTheirDigits) {
  MemoryDocument doc;
  auto text = [&](double v) { return doc.SerializeObject(1, MakeReal(v).get()); };
  EXPECT_EQ(text(595.276), "595.2760000000");
  EXPECT_EQ(text(-841.89), "-841.8900000000");
  EXPECT_EQ(text(0.000001), "0.0000010000");
  EXPECT_EQ(text(0.0000001), "0.0000001000");
  EXPECT_EQ(text(9999999999.0), "9999999999.0000000000");
  EXPECT_EQ(text(12345.678901), "12345.6789000000");      // eleven digits: the tenth is rounded
  EXPECT_EQ(text(1234567.0625), "1234567.0620000000");    // a tie at the tenth digit goes to even
  EXPECT_EQ(text(0.99999999996), "1.0000000000");         // a carry through every place
  EXPECT_EQ(text(99.999999999951), "100.0000000000");
  EXPECT_EQ(text(0.00000000005), "0.0000000001");
  EXPECT_EQ(text(-0.00000000004), "0.0000000000");        // no sign on a zero
  EXPECT_EQ(text(5e-324), "0.0000000000");
  // Numbers held packed in an array are written the same way.
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 -0.00000000004 595.276 12345.678901] >>");
  b.FinishWithTable("/Root 1 0 R");
  auto loaded = vxtest::LoadBytes(b.Bytes());
  EXPECT_NE(vxtest::SaveToBytes(*loaded).find("/MediaBox [ 0 0.0000000000 595.2760000000 12345.6789000000 ]"),
            std::string::npos);
}

TEST(Serialize, StringsInTheirThreeForms) {
  MemoryDocument doc;
  // A loaded literal holds its bytes unescaped; they are escaped once.
  EXPECT_EQ(doc.SerializeObject(1, Literal("a(b)c\\").get()), "(a\\(b\\)c\\\\)");
  EXPECT_EQ(doc.SerializeObject(1, Literal("x\r\ny").get()), "(x\\r\\ny)");
  // Hex strings come back exactly as read, digits and case included.
  TvxPDFStringObject hex("<aBc1>", true);
  EXPECT_EQ(doc.SerializeObject(1, &hex), "<aBc1>");
  // Every string keeps every byte: a TAB in plain text (a script, say) stays
  // a TAB rather than turning into spaces, as in UTF-16 and binary strings.
  EXPECT_EQ(doc.SerializeObject(1, Literal("a\tb").get()), "(a\\tb)");
  std::string utf16("\xFE\xFF\x00\x41\x00\x09", 6);
  EXPECT_EQ(doc.SerializeObject(1, Literal(utf16).get()), "(" + std::string("\xFE\xFF\x00\x41\x00\\t", 7) + ")");
  std::string binary("\x01\x09\x02", 3);
  EXPECT_EQ(doc.SerializeObject(1, Literal(binary).get()), "(\x01\\t\x02)");
}

TEST(Serialize, EncryptedStringsAreHexCiphertextOfTheValueBytes) {
  MemoryDocument doc;
  doc.Encryption().SetEnabled(true);
  doc.Encryption().SetLevel(el128bit);
  doc.Encryption().SetUserPassword("u");

  std::string written = doc.SerializeObject(7, Literal("Hi(\tthere)").get());
  ASSERT_GE(written.size(), 2u);
  EXPECT_EQ(written.front(), '<');
  EXPECT_EQ(written.back(), '>');
  EXPECT_EQ(written, AsciiUpper(written));
  std::string cipher = HexToBytes(written.substr(1, written.size() - 2));
  // RC4 is its own inverse: the same object key gives the value back.
  EXPECT_EQ(doc.EncryptData(cipher, 7), "Hi(\tthere)");
  // Another object number gives another ciphertext.
  EXPECT_NE(doc.SerializeObject(8, Literal("Hi(\tthere)").get()), written);

  // A hex string is encrypted as the bytes its digits spell.
  TvxPDFStringObject hex("<4142>", true);
  std::string hexWritten = doc.SerializeObject(7, &hex);
  EXPECT_EQ(doc.EncryptData(HexToBytes(hexWritten.substr(1, hexWritten.size() - 2)), 7), "AB");

  // -1 (the trailer's /ID, the encryption dictionary) is never encrypted.
  EXPECT_EQ(doc.SerializeObject(-1, &hex), "<4142>");
}

TEST(Serialize, DictionariesAndThePageParentRule) {
  MemoryDocument doc;
  // Only the pages of the page list hang from the new root (see the
  // structure tests); a /Type /Page dictionary anywhere else is someone
  // else's and is written as it is.
  auto page = std::make_unique<TvxPDFDictObject>();
  page->AddName("/Type", "/Page");
  page->Add("/MediaBox", Array({0, 0, 612, 792}));
  page->AddInteger("/Parent", 99);
  EXPECT_EQ(doc.SerializeObject(1, page.get()),
            "<<\r\n/Type /Page\r\n/MediaBox [ 0 0 612 792 ]\r\n/Parent 99\r\n>>");

  auto pages = std::make_unique<TvxPDFDictObject>();
  pages->AddName("/Type", "/Pages");
  pages->AddInteger("/Count", 0);
  EXPECT_EQ(doc.SerializeObject(1, pages.get()), "<<\r\n/Type /Pages\r\n/Count 0\r\n>>");

  auto empty = std::make_unique<TvxPDFDictObject>();
  EXPECT_EQ(doc.SerializeObject(1, empty.get()), "<<\r\n>>");

  // Keys keep their order, duplicates included; a missing value is null.
  auto dups = std::make_unique<TvxPDFDictObject>();
  dups->AddInteger("/B", 1);
  dups->AddInteger("/A", 2);
  dups->AddInteger("/B", 3);
  dups->Add("/C", nullptr);
  EXPECT_EQ(doc.SerializeObject(1, dups.get()), "<<\r\n/B 1\r\n/A 2\r\n/B 3\r\n/C null\r\n>>");
}

TEST(Serialize, ReferencesUseTheNumbersOfTheSave) {
  MemoryDocument doc;
  TvxPDFIndirectObject* used = doc.AddObject(MakeInteger(1));
  TvxPDFIndirectObject* unused = doc.AddObject(MakeInteger(2), false);
  used->NewNumber = 7;

  EXPECT_EQ(doc.SerializeObject(1, doc.RefTo(used).get()), "7 0 R");
  EXPECT_EQ(doc.SerializeObject(1, doc.RefTo(unused).get()), "null");
  TvxPDFIndirectReference dangling(doc.DocumentID(), 555, 0);
  EXPECT_EQ(doc.SerializeObject(1, &dangling), "null");
  // Another document's object with the same number is a different object.
  TvxPDFIndirectReference foreign(doc.DocumentID() + 1, used->ObjectNumber, 0);
  EXPECT_EQ(doc.SerializeObject(1, &foreign), "null");

  // Objects built for the output live in the save-time store.
  TvxPDFObjectStore& saveStore = doc.OpenSaveStore();
  TvxPDFIndirectObject* built =
      saveStore.Add(std::make_unique<TvxPDFIndirectObject>(doc.DocumentID(), 900, 3, MakeNull(), 1));
  built->NewNumber = 12;
  // Written with generation 0 whatever the object's own generation.
  EXPECT_EQ(doc.SerializeObject(1, doc.RefTo(built).get()), "12 0 R");
}

TEST(Serialize, EntriesWrappersAndFrames) {
  EXPECT_EQ(TvxCustomPDFDocument::EntryText("/Type", "/Catalog"), "/Type /Catalog\r\n");
  EXPECT_EQ(TvxCustomPDFDocument::EntryText("/Names", ""), "");
  EXPECT_EQ(TvxCustomPDFDocument::WrapDictionary("/A 1\r\n"), "<<\r\n/A 1\r\n>>");
  EXPECT_EQ(TvxCustomPDFDocument::ReferenceText(42), "42 0 R");
  EXPECT_EQ(TvxCustomPDFDocument::FrameObject(12, "<<\r\n/Type /Font\r\n>>"),
            "\r\n12 0 obj\r\n<<\r\n/Type /Font\r\n>>\r\nendobj\r\n");
}

TEST(Serialize, StreamsAreWrittenFromCopies) {
  MemoryDocument doc;
  auto dict = std::make_unique<TvxPDFDictObject>();
  dict->AddInteger("/Length", 5);
  TvxPDFStreamObject stream(std::move(dict), std::make_unique<TvxMemoryStream>(std::string("hello")));
  EXPECT_EQ(doc.SerializeObject(4, &stream), "<<\r\n/Length 5\r\n>>\r\nstream\r\nhello\r\nendstream");

  // A /Length that disagrees with the data is written as the true length;
  // the stream in memory keeps its own.
  stream.Dictionary->SetInteger("/Length", 99);
  EXPECT_EQ(doc.SerializeObject(4, &stream), "<<\r\n/Length 5\r\n>>\r\nstream\r\nhello\r\nendstream");
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(stream.Dictionary->Find("/Length")).Value, 99);

  // A stream held inside another object cannot be written there.
  auto holder = std::make_unique<TvxPDFDictObject>();
  holder->Add("/S", stream.Clone());
  EXPECT_EQ(doc.SerializeObject(4, holder.get()), "<<\r\n/S null\r\n>>");

  // Encrypted data keeps its length.
  doc.Encryption().SetEnabled(true);
  std::string written = doc.SerializeObject(4, &stream);
  const std::string head = "<<\r\n/Length 5\r\n>>\r\nstream\r\n";
  ASSERT_EQ(written.size(), head.size() + 5 + std::string("\r\nendstream").size());
  EXPECT_EQ(written.substr(0, head.size()), head);
  EXPECT_EQ(doc.EncryptData(written.substr(head.size(), 5), 4), "hello");
  EXPECT_EQ(stream.DataView(), "hello");
}
