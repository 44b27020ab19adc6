#include <gtest/gtest.h>

#include <regex>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/util/vxPDFDocEncoding.h"
#include "pdf/util/vxPDFUtils.h"
#include "pdf/util/vxUtils.h"

using namespace vx;

TEST(Escapes, UnescapeLiteral) {
  EXPECT_EQ(UnescapeLiteral("a\\(b"), "a(b");
  EXPECT_EQ(UnescapeLiteral("\\101"), "A");
  EXPECT_EQ(UnescapeLiteral("\\7"), UnescapeLiteral("\\007"));
  EXPECT_EQ(UnescapeLiteral("\\1012"), "A2");
  EXPECT_EQ(UnescapeLiteral("\\8"), "8");  // an undefined escape stands for its byte
  EXPECT_EQ(UnescapeLiteral("\\b\\f\\n\\r\\t\\\\"), "\b\f\n\r\t\\");
  EXPECT_EQ(UnescapeLiteral("end\\"), "end\\");
  EXPECT_EQ(UnescapeLiteral("\\777"), std::string(1, char(0xFF)));  // 511 & 0xFF
}

TEST(Escapes, EscapeLiteralExpandsTabsToColumnsOfEight) {
  EXPECT_EQ(EscapeLiteral("a\tb"), "a       b");
  EXPECT_EQ(EscapeLiteral("abcdefgh\t"), "abcdefgh        ");
  EXPECT_EQ(EscapeLiteral("\xFE"), "\xFE");
  EXPECT_EQ(EscapeLiteral("(x)\\\r\n"), "\\(x\\)\\\\\\r\\n");
  // Backspace and form feed do not count towards the column.
  EXPECT_EQ(EscapeLiteral("\b\f\t"), "\\b\\f        ");
  EXPECT_EQ(EscapeLiteral("((\t"), "\\(\\(      ");
}

TEST(Escapes, BytesThatMatterKeepTheirTabs) {
  EXPECT_EQ(EscapeLiteralKeepTabs("a\tb"), "a\\tb");
  std::string utf16 = TextStringBytes(u"\u0909");  // both bytes of the code unit are 0x09
  EXPECT_EQ(UnescapeLiteral(EscapeLiteralForValue(utf16)), utf16);
  std::string binary("\x01\t\x02", 3);
  EXPECT_EQ(UnescapeLiteral(EscapeLiteralForValue(binary)), binary);
  EXPECT_EQ(EscapeLiteralForValue("plain\ttext"), "plain   text");
}

TEST(Hex, BothDirections) {
  EXPECT_EQ(BytesToHex(std::string("\x0A\xFF", 2)), "0AFF");
  EXPECT_EQ(HexToBytes("41 42"), "AB");
  EXPECT_EQ(HexToBytes("414"), "A@");  // a final digit alone is followed by 0
  EXPECT_EQ(HexToBytes("<4g1>"), "A");
  EXPECT_EQ(HexTextToUnicode("FEFF0041"), u"A");
  EXPECT_EQ(HexTextToUnicode("feff 0041 2E80"), u"A\u2E80");  // a 0x2E byte is no separator
  EXPECT_EQ(HexTextToUnicode("FEFF00410000FFFF"), u"A");
  EXPECT_EQ(HexTextToUnicode("4142"), u"AB");
  EXPECT_EQ(HexTextToUnicode("80"), u"\u2022");  // PDFDocEncoding's bullet
}

TEST(TextStrings, DecodeAndEncode) {
  EXPECT_EQ(TextStringBytes(u"A"), std::string("\xFE\xFF\x00\x41", 4));
  EXPECT_EQ(EscapeLiteral(TextStringBytes(u"(")), std::string("\xFE\xFF\x00\\(", 5));
  EXPECT_EQ(DecodeTextString(std::string("(\xFE\xFF\x00\x41)", 6)), u"A");
  EXPECT_EQ(DecodeTextString("<FEFF0041>"), u"A");
  EXPECT_EQ(DecodeTextString("(Hello)"), u"Hello");
  EXPECT_EQ(DecodeTextString(std::string("\x00\x41\x00\x42", 4)), u"AB");
  EXPECT_EQ(DecodeTextString("()"), u"");
  EXPECT_EQ(DecodeTextString(std::string("(\xFE\xFF)", 4)), u"");
  EXPECT_EQ(DecodeTextString("(caf\xE9)"), u"caf\u00E9");
  EXPECT_EQ(TvxPDFStringObject("<FEFF0041>", true).WideText(), u"A");
}

// Byte strings are PDFDocEncoding, not a code page: the rows are the codes
// where the two differ, then the byte-order marks of UTF-16 and UTF-8.
TEST(TextStrings, DecodedAsThePdfStandardSays) {
  using namespace std::string_literals;
  const std::pair<std::string, std::u16string> rows[] = {
      {"Links in PDF \x85 Example", u"Links in PDF \u2013 Example"},  // EN DASH, not an ellipsis
      {"\x18\x19\x1A\x1B\x1C\x1D\x1E\x1F", u"\u02D8\u02C7\u02C6\u02D9\u02DD\u02DB\u02DA\u02DC"},
      {"\x80\x83\x8A\x93\x9A\xA0", u"\u2022\u2026\u2212\uFB01\u0131\u20AC"},
      {"\x7F\x9F\xAD\xE9", u"\u007F\u009F\u00AD\u00E9"},  // undefined codes keep their number
      {" leading blank", u" leading blank"},
      {"\xFE\xFF\x00\x41\x2E\x80"s, u"A\u2E80"},
      {"\xFF\xFE\x41\x00\x42\x00"s, u"AB"},
      {"\xEF\xBB\xBF" "Caf\xC3\xA9 \xE2\x80\x93 \xE6\x97\xA5", u"Caf\u00E9 \u2013 \u65E5"},
  };
  for (const auto& [bytes, text] : rows) {
    SCOPED_TRACE(bytes);
    EXPECT_EQ(TextStringToUnicode(bytes), text);
    EXPECT_EQ(DecodeTextString("<" + BytesToHex(bytes) + ">"), text);
    EXPECT_EQ(TvxPDFStringObject("(" + bytes + ")", false).WideText(), text);
  }
  // Both directions of the table agree on every defined code.
  for (int b = 1; b < 256; ++b) {
    const std::string byte(1, char(b));
    EXPECT_EQ(Utf8ToPDFDocEncoding(PDFDocEncodingToUtf8(byte)), byte) << b;
  }
}

TEST(Rectangles, NumbersOnly) {
  TvxPDFArrayObject box;
  box.AddInteger(0);
  box.Add(MakeReal(1.5));
  box.AddInteger(612);
  box.AddInteger(792);
  auto r = ReadRectangle(&box);
  EXPECT_EQ(r[1], 1.5);
  EXPECT_EQ(r[3], 792);
  box.PutItem(2, MakeName("/X"));
  EXPECT_THROW(ReadRectangle(&box), EUnexpectedObjectError);
}

TEST(ResourceNames, Forms) {
  std::regex font("/PGXFnt[0-9]{1,10}");
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(std::regex_match(GenerateFontName(), font));
  EXPECT_TRUE(std::regex_match(GenerateImageName(), std::regex("/PGXImg[0-9]{1,10}")));
  EXPECT_TRUE(std::regex_match(GenerateStateName(), std::regex("/GS[0-9]{1,10}")));
}

TEST(CodePage, Windows1252RoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += char(b);
  EXPECT_EQ(WideToAnsi(AnsiToWide(all)), all);
  EXPECT_EQ(WideToAnsi(u"\u4E2D"), "?");
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("Gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80")), "Gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToUtf16("\xFF"), u"\uFFFD");
}

TEST(Numbers, LocaleFreeConversions) {
  EXPECT_EQ(TryStrToInt("+12"), 12);
  EXPECT_EQ(TryStrToInt("2147483648"), std::nullopt);
  EXPECT_EQ(TryStrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(TryStrToInt(""), std::nullopt);
  EXPECT_EQ(TryStrToInt("1 "), std::nullopt);
  EXPECT_EQ(TryStrToFloat("1.5e2"), 150.0);
  EXPECT_EQ(TryStrToFloat("inf"), std::nullopt);
  EXPECT_EQ(TryStrToFloat("."), std::nullopt);
  EXPECT_EQ(GeneralFloatText(0.35), "0.35");
  EXPECT_EQ(GeneralFloatText(1), "1");
  EXPECT_EQ(Format("%s and %d%%", {"a", 5}), "a and 5%");
}
