// Compression on save: which streams get a filter in front, how /Filter,
// /Length and /DecodeParms are rewritten, and that other readers decode the
// result.
#include <gtest/gtest.h>

#include "WriterTestSupport.h"
#include "pdf/filters/vxFilters.h"
#include "pdf/util/vxExceptions.h"

using namespace vx;
using vxtest::MemoryDocument;
using vxtest::PdfBuilder;

namespace {

const std::string kData = "BT /F1 12 Tf 72 700 Td (Some text, some text, some text.) Tj ET";

// A stream holding kData with the given /Filter (none when null).
std::unique_ptr<TvxPDFStreamObject> Stream(TvxPDFObjectPtr filter, const std::string& data = kData) {
  auto dict = std::make_unique<TvxPDFDictObject>();
  dict->AddInteger("/Length", int32_t(data.size()));
  if (filter) dict->Add("/Filter", std::move(filter));
  return std::make_unique<TvxPDFStreamObject>(std::move(dict), std::make_unique<TvxMemoryStream>(data));
}

TvxPDFObjectPtr Names(std::initializer_list<const char*> names) {
  auto a = std::make_unique<TvxPDFArrayObject>();
  for (const char* n : names) a->Add(MakeName(n));
  return a;
}

// A written stream split into its dictionary text and its data.
struct Written {
  std::string dict;
  std::string data;
};

Written Split(const std::string& text) {
  const std::string open = "\r\nstream\r\n", close = "\r\nendstream";
  size_t at = text.find(open);
  EXPECT_NE(at, std::string::npos);
  EXPECT_EQ(text.substr(text.size() - close.size()), close);
  return {text.substr(0, at), text.substr(at + open.size(), text.size() - at - open.size() - close.size())};
}

std::string FilterEntry(const std::string& dict) {
  size_t at = dict.find("/Filter ");
  if (at == std::string::npos) return "";
  return dict.substr(at + 8, dict.find("\r\n", at) - at - 8);
}

std::string Inflate(const std::string& data) { return TvxFlateFilter().DecodeString(data); }

}  // namespace

TEST(Compression, FlateDecisionsForEveryKindOfFilter) {
  MemoryDocument doc;
  doc.SetCompression(0, 2);
  struct Row {
    TvxPDFObjectPtr filter;
    std::string writtenFilter;  // empty: the stream is written as it is
  };
  std::vector<Row> rows;
  rows.push_back({nullptr, "/FlateDecode"});
  rows.push_back({MakeName("/FlateDecode"), ""});
  rows.push_back({MakeName("/LZWDecode"), "[ /FlateDecode /LZWDecode ]"});
  rows.push_back({MakeName("/RunLengthDecode"), "[ /FlateDecode /RunLengthDecode ]"});
  rows.push_back({MakeName("/DCTDecode"), ""});
  rows.push_back({MakeName("/JBIG2Decode"), ""});
  rows.push_back({MakeName("/CCITTFaxDecode"), ""});
  rows.push_back({MakeName("/SomeUnknownDecode"), ""});  // a form no reader may know: kept as stored
  rows.push_back({Names({"/ASCII85Decode", "/DCTDecode"}), "[ /FlateDecode /ASCII85Decode /DCTDecode ]"});
  rows.push_back({Names({"/ASCII85Decode", "/FlateDecode"}), ""});
  rows.push_back({Names({"/RunLengthDecode"}), ""});
  rows.push_back({Names({"/ASCIIHexDecode", "/CCITTFaxDecode"}), ""});
  rows.push_back({Names({}), "[ /FlateDecode ]"});
  rows.push_back({MakeNull(), "/FlateDecode"});

  for (Row& row : rows) {
    std::string before = row.filter ? doc.SerializeObject(1, row.filter.get()) : "(none)";
    auto stream = Stream(std::move(row.filter));
    Written w = Split(doc.SerializeObject(5, stream.get()));
    if (row.writtenFilter.empty()) {
      EXPECT_EQ(w.data, kData) << before;
      EXPECT_EQ(w.dict, doc.SerializeObject(5, stream->Dictionary.get())) << before;
    } else {
      EXPECT_EQ(FilterEntry(w.dict), row.writtenFilter) << before;
      // Data is compressed on top of what it was, never decoded first.
      EXPECT_EQ(Inflate(w.data), kData) << before;
      EXPECT_NE(w.dict.find("/Length " + std::to_string(w.data.size()) + "\r\n"), std::string::npos) << before;
    }
    // The stream in memory never changes.
    EXPECT_EQ(stream->DataView(), kData);
  }
}

TEST(Compression, RunLengthPutsItsOwnFilterInFront) {
  MemoryDocument doc;
  doc.SetCompression(1, 3);
  auto plain = Stream(nullptr);
  Written w = Split(doc.SerializeObject(5, plain.get()));
  EXPECT_EQ(FilterEntry(w.dict), "/RunLengthDecode");
  EXPECT_EQ(TvxRLEFilter().DecodeString(w.data), kData);

  auto flate = Stream(MakeName("/FlateDecode"));
  EXPECT_EQ(FilterEntry(Split(doc.SerializeObject(5, flate.get())).dict), "[ /RunLengthDecode /FlateDecode ]");
  auto same = Stream(MakeName("/RunLengthDecode"));
  EXPECT_EQ(Split(doc.SerializeObject(5, same.get())).data, kData);
  auto array = Stream(Names({"/ASCII85Decode", "/FlateDecode"}));
  EXPECT_EQ(Split(doc.SerializeObject(5, array.get())).data, kData);
}

TEST(Compression, LevelNoneStillWritesFlateInStoredBlocks) {
  MemoryDocument doc;
  doc.SetCompression(0, 0);
  auto stream = Stream(nullptr);
  Written w = Split(doc.SerializeObject(5, stream.get()));
  EXPECT_EQ(FilterEntry(w.dict), "/FlateDecode");
  ASSERT_GT(w.data.size(), kData.size());
  // The first block after the zlib header: final, type 0 (stored).
  EXPECT_EQ(uint8_t(w.data[2]) & 0x07, 0x01);
  EXPECT_EQ(w.data.substr(7, kData.size()), kData);
  EXPECT_EQ(Inflate(w.data), kData);
}

TEST(Compression, IndirectLengthIsReplacedOnlyWhenCompressing) {
  MemoryDocument doc;
  TvxPDFIndirectObject* length = doc.AddObject(MakeInteger(int32_t(kData.size())));
  length->NewNumber = 9;
  auto stream = Stream(nullptr);
  stream->Dictionary->SetValue("/Length", doc.RefTo(length));
  stream->Dictionary->AddName("/Filter", "/FlateDecode");

  // Not compressed (already Flate): the reference stays.
  doc.SetCompression(0, 2);
  EXPECT_NE(doc.SerializeObject(5, stream.get()).find("/Length 9 0 R\r\n"), std::string::npos);

  stream->Dictionary->Remove("/Filter");
  Written w = Split(doc.SerializeObject(5, stream.get()));
  EXPECT_NE(w.dict.find("/Length " + std::to_string(w.data.size()) + "\r\n"), std::string::npos) << w.dict;
  EXPECT_EQ(w.dict.find("9 0 R"), std::string::npos);
  EXPECT_TRUE(stream->Dictionary->Find("/Length")->IsReference());

  // A reference to a length object that is not written would become null:
  // the true length is written instead.
  length->NewNumber = 0;
  EXPECT_NE(doc.SerializeObject(5, stream.get()).find("/Length " + std::to_string(w.data.size())),
            std::string::npos);
}

TEST(Compression, SharedFilterArrayIsCopiedNotChanged) {
  MemoryDocument doc;
  doc.SetCompression(0, 2);
  TvxPDFIndirectObject* shared = doc.AddObject(Names({"/ASCIIHexDecode"}));
  shared->NewNumber = 8;
  auto stream = Stream(doc.RefTo(shared), "4142>");
  Written w = Split(doc.SerializeObject(5, stream.get()));
  EXPECT_EQ(FilterEntry(w.dict), "[ /FlateDecode /ASCIIHexDecode ]");
  EXPECT_EQ(doc.SerializeObject(1, shared->Content.get()), "[ /ASCIIHexDecode ]");
  EXPECT_TRUE(stream->Dictionary->Find("/Filter")->IsReference());
}

TEST(Compression, FilterArrayItemsMayBeReferencesToNames) {
  MemoryDocument doc;
  doc.SetCompression(0, 2);
  TvxPDFIndirectObject* flate = doc.AddObject(MakeName("/FlateDecode"));
  TvxPDFIndirectObject* hex = doc.AddObject(MakeName("/ASCIIHexDecode"));
  flate->NewNumber = 8;
  hex->NewNumber = 9;
  auto viaFlate = Stream(nullptr);
  auto items = std::make_unique<TvxPDFArrayObject>();
  items->Add(doc.RefTo(flate));
  viaFlate->Dictionary->Add("/Filter", std::move(items));
  EXPECT_EQ(Split(doc.SerializeObject(5, viaFlate.get())).data, kData);

  auto viaHex = Stream(nullptr, "4142>");
  items = std::make_unique<TvxPDFArrayObject>();
  items->Add(doc.RefTo(hex));
  viaHex->Dictionary->Add("/Filter", std::move(items));
  EXPECT_EQ(FilterEntry(Split(doc.SerializeObject(5, viaHex.get())).dict), "[ /FlateDecode 9 0 R ]");
}

TEST(Compression, AFilterOfAnotherKindStopsTheSave) {
  MemoryDocument doc;
  doc.SetCompression(0, 2);
  auto stream = Stream(MakeInteger(3));
  EXPECT_THROW(doc.SerializeObject(5, stream.get()), EUnexpectedObjectError);
  auto badItem = Stream(nullptr);
  auto items = std::make_unique<TvxPDFArrayObject>();
  items->Add(MakeName("/ASCIIHexDecode"));
  items->AddInteger(1);
  badItem->Dictionary->Add("/Filter", std::move(items));
  EXPECT_THROW(doc.SerializeObject(5, badItem.get()), EInvalidCast);
}

TEST(Compression, WithoutSetCompressionStreamsAreWrittenAsLoaded) {
  MemoryDocument doc;
  auto stream = Stream(nullptr);
  EXPECT_EQ(Split(doc.SerializeObject(5, stream.get())).data, kData);
  EXPECT_FALSE(doc.Compression().Active);
  doc.SetCompression(0, 3);
  EXPECT_TRUE(doc.Compression().Active);
  auto dict = std::make_unique<TvxPDFDictObject>();
  std::string compressed = doc.CompressStreamCopy(*dict, kData);
  EXPECT_EQ(Inflate(compressed), kData);
  EXPECT_EQ(Cast<TvxPDFNameObject>(dict->Find("/Filter")).Text, "/FlateDecode");
  EXPECT_EQ(Cast<TvxPDFIntegerObject>(dict->Find("/Length")).Value, int32_t(compressed.size()));
  // The same dictionary now says Flate: a second pass leaves the data alone.
  EXPECT_EQ(doc.CompressStreamCopy(*dict, compressed), compressed);
}

TEST(Compression, SavingWithFlateThenRunLength) {
  auto doc = vxtest::LoadBytes(vxtest::SimplePdf(
      2, "", "", "/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>"));
  for (uint8_t encoding : {0, 1}) {
    doc->SetCompression(encoding, 2);
    vxtest::TempFile out;
    doc->SaveToFile(out.Path());
    std::string file = out.Read();
    const char* name = encoding == 0 ? "/Filter /FlateDecode\r\n" : "/Filter /RunLengthDecode\r\n";
    size_t count = 0;
    for (size_t at = file.find(name); at != std::string::npos; at = file.find(name, at + 1)) ++count;
    EXPECT_EQ(count, 2u) << name;
    EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");
    std::string text = vxtest::PdfText(out.Path());
    EXPECT_NE(text.find("Page 2"), std::string::npos) << text;
  }
}

// Filters put in front of a filter with parameters: the parameters stay with
// their filter, so other readers still decode the data.
TEST(Compression, DecodeParmsStayWithTheirFilters) {
  // Rows of four bytes, each with the PNG "None" tag, under predictor 12.
  std::string rows, tagged;
  for (int r = 0; r < 50; ++r) {
    std::string row = {char('a' + r % 26), char('A' + r % 26), char('0' + r % 10), '.'};
    rows += row;
    tagged += '\0' + row;
  }
  std::string predicted = TvxFlateFilter().CompressString(tagged, 2);
  const std::string parms = "/DecodeParms << /Predictor 12 /Columns 4 >>";
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Blobs [4 0 R 5 0 R 6 0 R] >>");
  b.Stream(4, "/Filter /FlateDecode " + parms, predicted);
  b.Stream(5, "/Filter [/FlateDecode] /DecodeParms [<< /Predictor 12 /Columns 4 >>]", predicted);
  b.Stream(6, "/Filter /FlateDecode /DecodeParms 7 0 R", predicted);
  b.Object(7, "<< /Predictor 12 /Columns 4 >>");
  b.FinishWithTable("/Root 1 0 R");
  auto doc = vxtest::LoadBytes(b.Bytes());
  doc->SetCompression(1, 2);
  vxtest::TempFile out;
  doc->SaveToFile(out.Path());
  EXPECT_EQ(vxtest::QpdfProblems(out.Path()), "");

  for (int original : {4, 5, 6}) {
    TvxPDFIndirectObject* object = doc->Store().Find(TvxObjectKey{doc->DocumentID(), original, 0});
    ASSERT_NE(object, nullptr);
    ASSERT_NE(object->NewNumber, 0);
    std::string n = std::to_string(object->NewNumber);
    std::string decoded;
    EXPECT_EQ(vxtest::RunCommand("qpdf --show-object=" + n + " --filtered-stream-data " + vxtest::Quote(out.Path()),
                                 &decoded, false),
              0);
    EXPECT_EQ(decoded, rows) << "qpdf, object " << original;
    EXPECT_EQ(vxtest::RunCommand("mutool show -b " + vxtest::Quote(out.Path()) + " " + n, &decoded, false), 0);
    EXPECT_EQ(decoded, rows) << "mutool, object " << original;
  }
  std::string file = out.Read();
  EXPECT_NE(file.find("/DecodeParms [ null <<\r\n/Predictor 12\r\n/Columns 4\r\n>> ]"), std::string::npos);
}

// With no save step at all, a stream keeps its own dictionary when its
// /Length is right, and only a wrong one (or a reference to an object that is
// not written) is replaced, in the text and never in memory.
TEST(Compression, WithoutStepsOnlyAWrongLengthChanges) {
  MemoryDocument doc;
  TvxPDFIndirectObject* length = doc.AddObject(MakeInteger(int32_t(kData.size())));
  length->NewNumber = 9;
  auto stream = Stream(MakeName("/FlateDecode"));
  stream->Dictionary->SetValue("/Length", doc.RefTo(length));
  Written w = Split(doc.SerializeObject(5, stream.get()));
  EXPECT_NE(w.dict.find("/Length 9 0 R\r\n"), std::string::npos) << w.dict;
  EXPECT_NE(w.dict.find("/Filter /FlateDecode"), std::string::npos) << w.dict;
  EXPECT_EQ(w.data, kData);

  length->NewNumber = 0;
  w = Split(doc.SerializeObject(5, stream.get()));
  EXPECT_NE(w.dict.find("/Length " + std::to_string(kData.size()) + "\r\n"), std::string::npos) << w.dict;

  stream->Dictionary->SetValue("/Length", MakeInteger(3));
  w = Split(doc.SerializeObject(5, stream.get()));
  EXPECT_NE(w.dict.find("/Length " + std::to_string(kData.size()) + "\r\n"), std::string::npos) << w.dict;
  EXPECT_EQ(w.data, kData);
  EXPECT_EQ(IntegerValue(stream->Dictionary->Find("/Length")), 3);
}
