// From /Filter values to decoded data: names, lists, one-step decoding,
// whole chains and the writer's stripping of decodable filters.
#include <gtest/gtest.h>

#include <map>

#include "pdf/filters/vxFilterChain.h"
#include "pdf/filters/vxFilters.h"
#include "pdf/util/vxExceptions.h"
#include "tests/pdf/filters/FilterTestSupport.h"

using namespace vx;

namespace {

std::unique_ptr<TvxPDFArrayObject> NameArray(std::initializer_list<const char*> names) {
  auto array = std::make_unique<TvxPDFArrayObject>();
  for (const char* n : names) array->Add(MakeName(n));
  return array;
}

std::vector<std::string> ArrayNames(const TvxPDFObject* obj) {
  std::vector<std::string> names;
  for (const auto& item : Cast<TvxPDFArrayObject>(obj).Items())
    names.push_back(Cast<TvxPDFNameObject>(item.get()).Text);
  return names;
}

std::string Chain(const std::string& data, const TvxPDFObject* filter,
                  const TvxObjectResolver& resolver = nullptr) {
  TvxMemoryStream source(data);
  return DecodeFilterChain(source, filter, resolver)->Bytes();
}

std::string Flate(const std::string& s) { return TvxFlateFilter().CompressString(s, 2); }
std::string A85(const std::string& s) { return TvxAscii85Filter().EncodeString(s); }
std::string Hex(const std::string& s) { return TvxAsciiHexFilter().EncodeString(s); }
std::string Rle(const std::string& s) { return TvxRLEFilter().EncodeString(s); }

// A tiny object store: references answer the object with their number.
struct Store {
  std::map<int, TvxPDFObjectPtr> objects;
  TvxObjectResolver Resolver() {
    return [this](const TvxPDFObject* ref) -> const TvxPDFObject* {
      auto it = objects.find(Cast<TvxPDFIndirectReference>(ref).ObjectNumber);
      return it == objects.end() ? nullptr : it->second.get();
    };
  }
};

TvxPDFObjectPtr Ref(int number) { return std::make_unique<TvxPDFIndirectReference>(101, number, 0); }

}  // namespace

TEST(FilterNames, NamesMapToKinds) {
  for (size_t i = 0; i < DecodeFilterNames.size(); ++i)
    EXPECT_EQ(int(FilterNameToType(DecodeFilterNames[i])), int(i)) << DecodeFilterNames[i];
  // The inline-image abbreviations, which some writers use for streams too.
  EXPECT_EQ(FilterNameToType("/A85"), ftASCII85Decode);
  EXPECT_EQ(FilterNameToType("/AHx"), ftASCIIHexDecode);
  EXPECT_EQ(FilterNameToType("/Fl"), ftFlateDecode);
  EXPECT_EQ(FilterNameToType("/LZW"), ftLZWDecode);
  EXPECT_EQ(FilterNameToType("/RL"), ftRunLengthDecode);
  for (const char* unknown : {"/flatedecode", "FlateDecode", "/JBIG2Decode", ""}) {
    try {
      FilterNameToType(unknown);
      ADD_FAILURE() << unknown << " accepted";
    } catch (const EUnsupportedFilterError& e) {
      EXPECT_EQ(std::string(e.what()), "Unsupported filter (" + std::string(unknown) + ")");
    }
  }
}

TEST(FilterNames, ReadFilterList) {
  TvxPDFNameObject flate("/FlateDecode");
  EXPECT_EQ(ReadFilterList(&flate), TvxDecodeFilters{ftFlateDecode});
  auto array = NameArray({"/ASCII85Decode", "/FlateDecode", "/DCTDecode"});
  EXPECT_EQ(ReadFilterList(array.get()),
            (TvxDecodeFilters{ftASCII85Decode, ftFlateDecode, ftDCTDecode}));
  array->AddInteger(5);
  EXPECT_THROW(ReadFilterList(array.get()), EInvalidCast);
  TvxPDFDictObject dict;
  try {
    ReadFilterList(&dict);
    ADD_FAILURE() << "dictionary accepted";
  } catch (const EUnexpectedFilterObject& e) {
    EXPECT_STREQ(e.what(), "Unexpected filter object, found (Dictionary Object)");
  }
}

TEST(FilterChain, AppliesFiltersInArrayOrder) {
  std::string payload = "BT /F1 12 Tf (Hello) Tj ET\n";
  auto a85ThenFlate = NameArray({"/ASCII85Decode", "/FlateDecode"});
  EXPECT_EQ(Chain(A85(Flate(payload)), a85ThenFlate.get()), payload);
  auto a85Short = NameArray({"/A85", "/FlateDecode"});
  EXPECT_EQ(Chain(A85(Flate(payload)), a85Short.get()), payload);
  // In the other order the data makes no sense to the first filter.
  auto flateThenA85 = NameArray({"/FlateDecode", "/ASCII85Decode"});
  EXPECT_THROW(Chain(A85(Flate(payload)), flateThenA85.get()), EZDecompressionError);
  auto three = NameArray({"/ASCIIHexDecode", "/RunLengthDecode", "/FlateDecode"});
  EXPECT_EQ(Chain(Hex(Rle(Flate(payload))), three.get()), payload);
}

TEST(FilterChain, ImageFiltersPassDataThrough) {
  std::string jpeg = vxtest::Bytes({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', '\r', '\n'});
  auto flateThenDct = NameArray({"/FlateDecode", "/DCTDecode"});
  EXPECT_EQ(Chain(Flate(jpeg), flateThenDct.get()), jpeg);
  TvxPDFNameObject dct("/DCTDecode"), fax("/CCITTFaxDecode");
  EXPECT_EQ(Chain(jpeg, &dct), jpeg);  // passed over: even its line ends stay
  EXPECT_EQ(Chain(jpeg, &fax), jpeg);
  auto a85ThenDct = NameArray({"/ASCII85Decode", "/DCTDecode"});
  EXPECT_EQ(Chain(A85(jpeg), a85ThenDct.get()), jpeg);
}

TEST(FilterChain, UnknownAndAbbreviatedNames) {
  // An abbreviation decodes as its filter; an unknown name is named.
  TvxPDFNameObject ahx("/AHx");
  EXPECT_EQ(Chain("41>", &ahx), "A");
  TvxPDFNameObject jbig2("/JBIG2Decode");
  try {
    Chain("x", &jbig2);
    ADD_FAILURE() << "/JBIG2Decode accepted";
  } catch (const EUnsupportedFilterError& e) {
    EXPECT_STREQ(e.what(), "Unsupported filter (/JBIG2Decode)");
  }
  TvxPDFIntegerObject number(3);
  EXPECT_THROW(Chain("x", &number), EUnexpectedFilterObject);
}

TEST(FilterChain, TrailingLineEndsAreIgnoredByEveryFilter) {
  std::string payload = "payload bytes \x01\x02\xFF with runs aaaaaaaa";
  struct Case {
    const char* name;
    std::string encoded;
  } cases[] = {{"/ASCIIHexDecode", Hex(payload)},
               {"/ASCII85Decode", A85(payload)},
               {"/FlateDecode", Flate(payload)},
               {"/RunLengthDecode", Rle(payload)}};
  for (const auto& c : cases) {
    TvxPDFNameObject name(c.name);
    for (const char* ending : {"", "\r\n", "\n", "\r", "\r\n\r\n"})
      EXPECT_EQ(Chain(c.encoded + ending, &name), payload) << c.name << " " << int(strlen(ending));
  }
  // ASCIIHex data without its ">" gets one.
  TvxPDFNameObject hex("/ASCIIHexDecode");
  EXPECT_EQ(Chain("41\r\n", &hex), "A");
  EXPECT_EQ(Chain("", &hex), "");
}

TEST(FilterChain, AbsentOrReferencedFilter) {
  EXPECT_EQ(Chain("as it is\r\n", nullptr), "as it is\r\n");
  Store store;
  store.objects[7] = NameArray({"/ASCII85Decode", "/FlateDecode"});
  auto ref = Ref(7);
  EXPECT_EQ(Chain(A85(Flate("via a reference")), ref.get(), store.Resolver()), "via a reference");
  auto dangling = Ref(8);
  EXPECT_EQ(Chain("untouched", dangling.get(), store.Resolver()), "untouched");
  // Without a resolver a reference is just an unexpected object.
  EXPECT_THROW(Chain("x", ref.get()), EUnexpectedFilterObject);
}

TEST(FilterChain, ReadsTheSourceFromItsBeginningOnAnyStream) {
  vxtest::PieceStream source(A85("from a stream"), 3);
  source.Seek(0, TvxSeekOrigin::soEnd);
  TvxPDFNameObject a85("/ASCII85Decode");
  EXPECT_EQ(DecodeFilterChain(source, &a85)->Bytes(), "from a stream");
}

TEST(DecodeWithFilter, OneStep) {
  auto data = std::make_unique<TvxMemoryStream>(Flate("step") + "\r\n");
  EXPECT_EQ(DecodeWithFilter(ftFlateDecode, std::move(data))->Bytes(), "step");
  // Image kinds answer the same stream, without the line ends.
  auto jpeg = std::make_unique<TvxMemoryStream>(std::string("JPEGDATA\r\n"));
  TvxMemoryStream* original = jpeg.get();
  auto same = DecodeWithFilter(ftDCTDecode, std::move(jpeg));
  EXPECT_EQ(same.get(), original);
  EXPECT_EQ(same->Bytes(), "JPEGDATA");
  EXPECT_EQ(DecodeWithFilter(ftASCIIHexDecode, std::make_unique<TvxMemoryStream>(std::string("4142")))
                ->Bytes(),
            "AB");
  try {
    DecodeWithFilter(TvxDecodeFilter(9), std::make_unique<TvxMemoryStream>());
    ADD_FAILURE() << "kind 9 accepted";
  } catch (const EUnsupportedFilterError& e) {
    EXPECT_STREQ(e.what(), "Unsupported filter");
  }
}

TEST(DecodeWithFilter, StringForm) {
  EXPECT_EQ(DecodeStringWithFilter(ftRunLengthDecode, Rle("xyz") + "\n"), "xyz");
  EXPECT_EQ(DecodeStringWithFilter(ftDCTDecode, "JPEG\r\n"), "JPEG");
  try {
    DecodeStringWithFilter(ftCCITTFaxDecode, "fax");
    ADD_FAILURE() << "CCITTFax accepted";
  } catch (const EUnsupportedFilterError& e) {
    EXPECT_STREQ(e.what(), "Unsupported filter");
  }
}

TEST(StripDecodableFilters, SingleName) {
  std::string payload = "content stream data";
  TvxPDFDictObject dict;
  dict.AddInteger("/Length", 999);
  dict.AddName("/Filter", "/FlateDecode");
  EXPECT_EQ(StripDecodableFilters(dict, Flate(payload)), payload);
  EXPECT_EQ(dict.Find("/Filter"), nullptr);
  EXPECT_EQ(IntegerValue(dict.Find("/Length")), int64_t(payload.size()));

  for (const char* kept : {"/DCTDecode", "/CCITTFaxDecode", "/A85", "/Unknown"}) {
    TvxPDFDictObject image;
    image.AddInteger("/Length", 4);
    image.AddName("/Filter", kept);
    EXPECT_EQ(StripDecodableFilters(image, "DATA"), "DATA") << kept;
    EXPECT_EQ(Cast<TvxPDFNameObject>(image.Find("/Filter")).Text, kept);
    EXPECT_EQ(IntegerValue(image.Find("/Length")), 4);
  }
  TvxPDFDictObject plain;
  EXPECT_EQ(StripDecodableFilters(plain, "plain"), "plain");
  EXPECT_EQ(plain.Count(), 0);
}

TEST(StripDecodableFilters, ArrayLosesItsLeadingDecodableItems) {
  std::string payload = "array payload";
  TvxPDFDictObject both;
  both.Add("/Filter", NameArray({"/ASCII85Decode", "/FlateDecode"}));
  EXPECT_EQ(StripDecodableFilters(both, A85(Flate(payload))), payload);
  EXPECT_EQ(both.Find("/Filter"), nullptr);
  EXPECT_EQ(IntegerValue(both.Find("/Length")), int64_t(payload.size()));

  TvxPDFDictObject image;
  image.Add("/Filter", NameArray({"/FlateDecode", "/DCTDecode"}));
  EXPECT_EQ(StripDecodableFilters(image, Flate("JPEG")), "JPEG");
  EXPECT_EQ(ArrayNames(image.Find("/Filter")), std::vector<std::string>{"/DCTDecode"});
  EXPECT_EQ(IntegerValue(image.Find("/Length")), 4);

  // "/A85" is not in the list of names, so it stops the stripping; /Length is
  // still set.
  std::string encoded = A85(Flate(payload));
  TvxPDFDictObject abbreviated;
  abbreviated.Add("/Filter", NameArray({"/A85", "/FlateDecode"}));
  EXPECT_EQ(StripDecodableFilters(abbreviated, encoded), encoded);
  EXPECT_EQ(ArrayNames(abbreviated.Find("/Filter")),
            (std::vector<std::string>{"/A85", "/FlateDecode"}));
  EXPECT_EQ(IntegerValue(abbreviated.Find("/Length")), int64_t(encoded.size()));

  TvxPDFDictObject empty;
  empty.Add("/Filter", NameArray({}));
  EXPECT_EQ(StripDecodableFilters(empty, "raw"), "raw");
  EXPECT_EQ(empty.Find("/Filter"), nullptr);
  EXPECT_EQ(IntegerValue(empty.Find("/Length")), 3);

  TvxPDFDictObject notName;
  auto mixed = NameArray({"/FlateDecode"});
  mixed->Insert(0, MakeInteger(1));
  notName.Add("/Filter", std::move(mixed));
  EXPECT_THROW(StripDecodableFilters(notName, "x"), EInvalidCast);
}

TEST(StripDecodableFilters, SharedFilterArrayIsNotChanged) {
  Store store;
  store.objects[9] = NameArray({"/FlateDecode", "/DCTDecode"});
  std::string data = Flate("JPEG");
  for (int round = 0; round < 2; ++round) {  // a second stream sharing the array
    TvxPDFDictObject dict;
    dict.Add("/Filter", Ref(9));
    EXPECT_EQ(StripDecodableFilters(dict, data, store.Resolver()), "JPEG");
    EXPECT_EQ(ArrayNames(dict.Find("/Filter")), std::vector<std::string>{"/DCTDecode"});
  }
  EXPECT_EQ(ArrayNames(store.objects[9].get()),
            (std::vector<std::string>{"/FlateDecode", "/DCTDecode"}));

  store.objects[10] = std::make_unique<TvxPDFNameObject>("/FlateDecode");
  TvxPDFDictObject byName;
  byName.Add("/Filter", Ref(10));
  EXPECT_EQ(StripDecodableFilters(byName, Flate("named"), store.Resolver()), "named");
  EXPECT_EQ(byName.Find("/Filter"), nullptr);
}

TEST(StripDecodableFilters, OtherKindsRaise) {
  TvxPDFDictObject dict;
  dict.AddInteger("/Filter", 2);
  try {
    StripDecodableFilters(dict, "x");
    ADD_FAILURE() << "integer accepted";
  } catch (const EUnexpectedObjectError& e) {
    EXPECT_STREQ(e.what(), "Unexpected filter object, found (Integer Object)");
  }
  TvxPDFDictObject unresolved;
  unresolved.Add("/Filter", Ref(3));
  EXPECT_THROW(StripDecodableFilters(unresolved, "x"), EUnexpectedObjectError);
}

// The byte form answers what the stream form answers, for every kind of
// /Filter value.
TEST(FilterChain, ByteFormMatchesTheStreamForm) {
  Store store;
  store.objects[7] = NameArray({"/ASCII85Decode", "/FlateDecode"});
  auto referenced = Ref(7);
  auto dangling = Ref(8);
  auto chain = NameArray({"/ASCIIHexDecode", "/DCTDecode", "/RunLengthDecode"});
  auto images = NameArray({"/DCTDecode", "/CCITTFaxDecode"});
  TvxPDFNameObject flate("/FlateDecode");
  const std::pair<std::string, const TvxPDFObject*> cases[] = {
      {"as it is\r\n", nullptr},
      {A85(Flate("via a reference")), referenced.get()},
      {"untouched", dangling.get()},
      {Hex(Rle("hex, then run lengths")) + "\n", chain.get()},
      {"image bytes\r\n", images.get()},
      {Flate(std::string(100000, 'f')) + "\r\n", &flate},
  };
  for (const auto& [data, filter] : cases) {
    EXPECT_EQ(DecodeFilterChainBytes(data, filter, store.Resolver()), Chain(data, filter, store.Resolver()));
  }
  EXPECT_EQ(DecodeFilterChainBytes(A85(Flate("via a reference")), referenced.get(), store.Resolver()),
            "via a reference");
  EXPECT_THROW(DecodeFilterChainBytes("x", referenced.get()), EUnexpectedFilterObject);
}

// A stream's own /Crypt filter is no decoding step: the reader undid it.
TEST(FilterChain, CryptIsNoStep) {
  auto crypt = NameArray({"/Crypt", "/FlateDecode"});
  EXPECT_EQ(Chain(Flate("clear"), crypt.get()), "clear");
}
