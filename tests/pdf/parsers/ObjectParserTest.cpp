#include <gtest/gtest.h>

#include "pdf/parsers/vxPDFParsers.h"
#include "pdf/util/vxExceptions.h"

using namespace vx;

namespace {

struct Parsed {
  std::shared_ptr<const std::string> bytes;
  std::unique_ptr<TvxPDFStreamReader> reader;
  TvxPDFObjectPtr object;
};

Parsed Parse(const std::string& text) {
  Parsed p;
  p.bytes = std::make_shared<const std::string>(text);
  p.reader = std::make_unique<TvxPDFStreamReader>(101, p.bytes);
  p.object = p.reader->ParseObject();
  return p;
}

template <typename E>
std::string ErrorOf(const std::string& text) {
  try {
    Parse(text);
  } catch (const E& e) {
    return e.what();
  } catch (const std::exception& e) {
    return std::string("other exception: ") + e.what();
  }
  return "no exception";
}

std::string LiteralContent(const std::string& text) {
  auto p = Parse(text);
  return Cast<TvxPDFStringObject>(p.object.get()).Contents();
}

}  // namespace

TEST(ObjectParser, WordRuleReferencesNumbersAndStrays) {
  auto p = Parse("[1 2 R 3]");
  auto& a = Cast<TvxPDFArrayObject>(p.object.get());
  ASSERT_EQ(a.Count(), 2);
  auto& ref = Cast<TvxPDFIndirectReference>(a.GetItem(0));
  EXPECT_EQ(ref.ObjectNumber, 1);
  EXPECT_EQ(ref.Generation, 2);
  EXPECT_EQ(ref.DocumentID, 101u);
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(a.GetItem(1)).Value, 3);

  auto malformed = Parse("1.2.3 ");
  EXPECT_EQ(Cast<TvxPDFStringObject>(malformed.object.get()).Text, "1.2.3");
  EXPECT_EQ(Cast<TvxPDFInt64Object>(Parse("2147483648").object.get()).Value, 2147483648LL);
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(Parse("-2147483648").object.get()).Value, INT32_MIN);
  EXPECT_DOUBLE_EQ(Cast<TvxPDFRealObject>(Parse("-.5").object.get()).Value, -0.5);
  EXPECT_EQ(ErrorOf<EConvertError>("abc"), "'abc' is not a valid integer value");
  EXPECT_EQ(ErrorOf<EConvertError>("endobj"), "'endobj' is not a valid integer value");
}

TEST(ObjectParser, IndirectObjectsAndStreams) {
  auto p = Parse("12 0 obj << /Length 3 >> stream\r\nabc\r\nendstream endobj");
  auto& io = Cast<TvxPDFIndirectObject>(p.object.get());
  EXPECT_EQ(io.ObjectNumber, 12);
  EXPECT_EQ(p.reader->CurrentObjectNumber, 12);
  auto& s = Cast<TvxPDFStreamObject>(io.Content.get());
  EXPECT_EQ(s.Data, nullptr);
  auto data = p.reader->ReadStreamData(3, 12, 0);
  EXPECT_EQ(data->View(), "abc");

  auto q = Parse("7 0 OBJ (x) endobj");
  EXPECT_EQ(Cast<TvxPDFStringObject>(Cast<TvxPDFIndirectObject>(q.object.get()).Content.get()).Text, "(x)");
}

TEST(ObjectParser, LiteralStrings) {
  EXPECT_EQ(LiteralContent("(a(b)c)"), "a(b)c");
  EXPECT_EQ(LiteralContent("(a\\)b)"), "a)b");
  EXPECT_EQ(LiteralContent("(\\101)"), "A");
  EXPECT_EQ(LiteralContent("(\\1012)"), "A2");
  EXPECT_EQ(LiteralContent("(x\\qy)"), "xqy");  // an undefined escape drops the backslash
  // A continuation takes its whole end of line; an end of line reads as LF.
  EXPECT_EQ(LiteralContent("(a\\\r\nb\\\nc\\\rd)"), "abcd");
  EXPECT_EQ(LiteralContent("(a\r\nb\rc\nd\n\re\\r)"), "a\nb\nc\nd\n\ne\r");
  EXPECT_EQ(LiteralContent("(\\8)"), "8");
  auto hex = Parse("<48 65>");
  auto& h = Cast<TvxPDFStringObject>(hex.object.get());
  EXPECT_EQ(h.Text, "<48 65>");
  EXPECT_TRUE(h.IsHex);
  EXPECT_EQ(ErrorOf<EStringReadError>("(unterminated"), "Error reading PDF string (end of data)");
}

TEST(ObjectParser, NamesStayRaw) {
  auto p = Parse("/A#20B ");
  EXPECT_EQ(Cast<TvxPDFNameObject>(p.object.get()).Text, "/A#20B");
  auto q = Parse("[/Name]");
  auto& a = Cast<TvxPDFArrayObject>(q.object.get());
  ASSERT_EQ(a.Count(), 1);
  EXPECT_EQ(Cast<TvxPDFNameObject>(a.GetItem(0)).Text, "/Name");
  EXPECT_EQ(q.reader->Pos(), 7u);
}

// Every byte class the scanners test: what ends a word, a name, and what is
// skipped as white-space.
TEST(ObjectParser, DelimitersEndWordsAndNames) {
  auto reader = [](const std::string& text) {
    auto bytes = std::make_shared<const std::string>(text);
    return std::make_pair(bytes, std::make_unique<TvxPDFStreamReader>(101, bytes));
  };
  for (char d : std::string("\t\n\r ()/<>[]")) {
    SCOPED_TRACE(int(d));
    auto [wordBytes, words] = reader(std::string("12") + d + "x");
    EXPECT_EQ(words->ReadWord(), "12");
    auto [nameBytes, names] = reader(std::string("/Ab") + d + "x");
    EXPECT_EQ(names->ReadName()->Text, "/Ab");
  }
  // NUL ends a word but belongs to a name; form feed and bytes above 127
  // belong to both.
  const std::string nul("\0", 1);
  EXPECT_EQ(reader("12" + nul + "x").second->ReadWord(), "12");
  EXPECT_EQ(reader("/A" + nul + "B ").second->ReadName()->Text, "/A" + nul + "B");
  EXPECT_EQ(reader("1\f2 ").second->ReadWord(), "1\f2");
  EXPECT_EQ(reader("/A\fB ").second->ReadName()->Text, "/A\fB");
  EXPECT_EQ(reader("1\xE9 ").second->ReadWord(), "1\xE9");
  EXPECT_EQ(reader("/A\xE9 ").second->ReadName()->Text, "/A\xE9");
  // NUL is skipped as white-space, form feed is not.
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(Parse(nul + nul + " \r\n5").object.get()).Value, 5);
  EXPECT_THROW(Parse("\f5"), EConvertError);
  // A name at the very end of the data, and a one-byte word.
  EXPECT_EQ(reader("/End").second->ReadName()->Text, "/End");
  EXPECT_EQ(reader("R").second->ReadWord(), "R");
}

TEST(ObjectParser, KeywordsAndErrors) {
  EXPECT_EQ(Cast<TvxPDFBooleanObject>(Parse("true").object.get()).Value, 1);
  EXPECT_EQ(Cast<TvxPDFBooleanObject>(Parse("false").object.get()).Value, 0);
  EXPECT_TRUE(Parse("null").object->IsNull());
  EXPECT_EQ(ErrorOf<EBooleanError>("trux"), "Expected boolean (true) object");
  EXPECT_EQ(ErrorOf<ENullObjectError>("nil"), "Expected PDF null object");
  EXPECT_EQ(ErrorOf<EArrayReadError>("[1 2"), "Error reading PDF array (end of data)");
  EXPECT_EQ(ErrorOf<ENameReadError>("<< 1 2 >>"), "Error reading PDF name string (1)");
  EXPECT_EQ(Parse(")").object, nullptr);
}

TEST(ObjectParser, DictionaryValueMissingBeforeEndReadsAsNull) {
  auto p = Parse("<< /A /B /C >>");
  auto& d = Cast<TvxPDFDictObject>(p.object.get());
  ASSERT_EQ(d.Count(), 2);
  EXPECT_EQ(Cast<TvxPDFNameObject>(d.Find("/A")).Text, "/B");
  EXPECT_TRUE(d.Find("/C")->IsNull());
}

TEST(ObjectParser, DeepNestingFailsCleanly) {
  std::string deep(100000, '[');
  EXPECT_THROW(Parse(deep), ENestingTooDeep);
  std::string dicts;
  for (int i = 0; i < 5000; ++i) dicts += "<< /A ";
  EXPECT_THROW(Parse(dicts), ENestingTooDeep);
  std::string fine = std::string(300, '[') + std::string(300, ']');
  EXPECT_NO_THROW(Parse(fine));
}

TEST(ObjectParser, CommentsAndWhitespace) {
  auto p = Parse("% comment\r\n  %another\n[1 %x\n2]");
  // Inside a word "%" is an ordinary character.
  EXPECT_THROW(Parse("1%x"), EConvertError);
  EXPECT_EQ(Cast<TvxPDFArrayObject>(p.object.get()).Count(), 2);
}

namespace {

std::string StreamData(const std::string& text, int64_t length) {
  auto bytes = std::make_shared<const std::string>(text);
  TvxPDFStreamReader reader(101, bytes);
  return std::string(reader.ReadStreamData(length, 1, 0)->View());
}

}  // namespace

TEST(StreamData, LengthIsCorrectedBothWays) {
  const std::string text = "stream\r\nHello World\r\nendstream";
  EXPECT_EQ(StreamData(text, 11), "Hello World");
  EXPECT_EQ(StreamData(text, 40), "Hello World\r\n");  // backward search keeps the EOL
  EXPECT_EQ(StreamData(text, 5), "Hello World\r\n");   // forward search
  EXPECT_EQ(StreamData(text, 1LL << 40), "Hello World\r\n");
  EXPECT_EQ(StreamData("stream\nendstream", 1), "");
  EXPECT_EQ(StreamData("stream\r\n\r\nendstream", 0), "");
  // A zero or negative length with data present does not drop the data.
  EXPECT_EQ(StreamData(text, 0), "Hello World\r\n");
  EXPECT_EQ(StreamData(text, -3), "Hello World\r\n");
  // Without any endstream after it, the data its length gives is kept; with
  // no length either, there is nothing to go by.
  EXPECT_EQ(StreamData("stream\r\nabc", 3), "abc");
  EXPECT_EQ(StreamData("stream\nabc\nenxstream\nendobj", 3), "abc");
  EXPECT_THROW(StreamData("stream\r\nabc", 0), EEndStreamError);
  EXPECT_THROW(StreamData("strem\r\nabc", 3), EStreamReadError);
}

TEST(StreamData, DecryptorSeesDataWithCallersNumbers) {
  auto bytes = std::make_shared<const std::string>("5 0 obj (ab) endobj stream\nxyz\nendstream");
  TvxPDFStreamReader reader(101, bytes);
  std::vector<std::pair<int, int>> calls;
  reader.Decryptor = [&](std::string& b, int32_t n, int32_t g) {
    calls.push_back({n, g});
    for (char& c : b) c = char(c + 1);
  };
  auto io = reader.ParseObject();
  EXPECT_EQ(Cast<TvxPDFStringObject>(Cast<TvxPDFIndirectObject>(io.get()).Content.get()).Text, "(bc)");
  reader.SetPos(20);
  EXPECT_EQ(reader.ReadStreamData(3, 9, 1)->View(), "yz{");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1], std::make_pair(9, 1));

  TvxPDFStreamReader unknown(101, std::make_shared<const std::string>("(ab)"));
  unknown.Decryptor = [](std::string&, int32_t, int32_t) {};
  EXPECT_THROW(unknown.ParseObject(), EInvalidObjectNo);
}

TEST(Header, VersionsAndErrors) {
  auto version = [](const std::string& text) {
    TvxPDFStreamReader r(1, std::make_shared<const std::string>(text));
    return r.ReadHeaderVersion();
  };
  EXPECT_EQ(version("%PDF-1.4\n"), 4);
  EXPECT_EQ(version("%PDF-1.7\r\n%\xE2\xE3"), 7);
  EXPECT_EQ(version("%PDF-2.0\n"), 8);
  EXPECT_THROW(version("\n%PDF-1.4"), EInvalidHeader);
  // A minor version past 1.7 (written by tools that force one) reads as 1.7,
  // as other readers take it.
  EXPECT_EQ(version("%PDF-1.8\n"), 7);
  EXPECT_EQ(version("%PDF-1.9\n"), 7);
  try {
    version("%PDF-1.9x\n");
    FAIL();
  } catch (const EUnsupportedVersion& e) {
    EXPECT_STREQ(e.what(), "Unsupported PDF Version (%PDF-1.9x)");
  }
  EXPECT_THROW(version("%PDF-1.x"), EConvertError);
  EXPECT_THROW(version(""), EInvalidHeader);
}

TEST(StartXRef, LastWholeWordWins) {
  auto find = [](const std::string& text) {
    TvxPDFStreamReader r(1, std::make_shared<const std::string>(text));
    return r.FindStartXRef();
  };
  EXPECT_EQ(find("startxref\n100\n%%EOF\nstartxref\n200\n%%EOF"), 200);
  EXPECT_EQ(find("STARTXREF 42"), 42);
  EXPECT_EQ(find("startxref 7 xstartxref 9"), 7);
  EXPECT_THROW(find("nothing here"), Exception);
  EXPECT_THROW(find("startxref\n%%EOF"), EOffsetError);
  EXPECT_THROW(find("startxref 99999999999999999999999"), EOffsetError);
}

TEST(Trailer, SkipsATableAndReadsTheDictionary) {
  TvxPDFStreamReader r(1, std::make_shared<const std::string>(
                              "xref\n0 1\n0000000000 65535 f \ntrailer\n<< /Size 1 /Root 1 0 R >>"));
  auto t = r.ReadTrailer();
  EXPECT_EQ(t->Count(), 2);
  TvxPDFStreamReader bad(1, std::make_shared<const std::string>("xref 0 1"));
  EXPECT_THROW(bad.ReadTrailer(), ETrailerError);
}

// Files of 16 MB and more are read in two halves at once; both halves, the
// byte at the seam and an odd length must come back exactly.
TEST(ReadWholeFile, LargeFileReadInHalvesIsExact) {
  const std::string name = ::testing::TempDir() + "vx-read-whole-file.bin";
  std::string bytes(size_t(17) << 20 | 3, '\0');
  uint32_t state = 12345;
  for (char& c : bytes) c = char((state = state * 1103515245u + 12345u) >> 24);
  {
    TvxFileStream out(name, TvxFileStream::Mode::fmCreate);
    out.Write(bytes.data(), int64_t(bytes.size()));
    out.Close();
  }
  std::shared_ptr<const std::string> read = ReadWholeFile(name);
  std::remove(name.c_str());
  ASSERT_EQ(read->size(), bytes.size());
  EXPECT_TRUE(*read == bytes);
  EXPECT_THROW(ReadWholeFile(name), EReadError);
}
