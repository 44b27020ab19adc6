#include "pdf/filters/vxFilterChain.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <optional>

#include "pdf/filters/vxDZLIB.h"
#include "pdf/filters/vxFilters.h"
#include "pdf/filters/vxLibDeflate.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// Stream data often ends with the line end before "endstream"; no filter
// wants it.
std::string_view WithoutTrailingLineEnds(std::string_view data) {
  while (!data.empty() && (data.back() == '\n' || data.back() == '\r')) data.remove_suffix(1);
  return data;
}

// A stream's own crypt filter is undone by the reader as the stream is read.
constexpr std::string_view kCryptFilterName = "/Crypt";

bool IsDecodableKind(int kind) { return kind >= ftASCIIHexDecode && kind <= ftLZWDecode; }

// Decodes prepared data with one of the five filter classes.
std::string DecodeDecodableKind(TvxDecodeFilter kind, std::string_view data) {
  switch (kind) {
    case ftASCIIHexDecode: {
      TvxAsciiHexFilter filter;
      if (!data.empty() && data.back() == '>') return filter.DecodeString(data);
      std::string closed;
      closed.reserve(data.size() + 1);
      closed.append(data).push_back('>');
      return filter.DecodeString(closed);
    }
    case ftASCII85Decode: return TvxAscii85Filter().DecodeString(data);
    case ftFlateDecode: return TvxFlateFilter().DecodeString(data);
    case ftRunLengthDecode: return TvxRLEFilter().DecodeString(data);
    case ftLZWDecode: return TvxLZWFilter().DecodeString(data);
    default: throw EUnsupportedFilterError(res::SUnsupportedFilter);
  }
}

// Index of a name in DecodeFilterNames, or -1.
int DecodeFilterIndex(std::string_view name) {
  for (size_t i = 0; i < DecodeFilterNames.size(); ++i)
    if (DecodeFilterNames[i] == name) return int(i);
  return -1;
}

// The /Filter value to work with: a reference is replaced by what the resolver
// answers for it (possibly nothing) when there is a resolver.
const TvxPDFObject* ResolveFilterValue(const TvxPDFObject* value, const TvxObjectResolver& resolver,
                                       bool& viaReference) {
  viaReference = value && value->IsReference() && resolver;
  return viaReference ? resolver(value) : value;
}

void SetLength(TvxPDFDictObject& dict, size_t length) {
  if (length <= size_t(std::numeric_limits<int32_t>::max()))
    dict.SetInteger("/Length", int32_t(length));
  else
    dict.SetValue("/Length", std::make_unique<TvxPDFInt64Object>(int64_t(length)));
}

}  // namespace

TvxDecodeFilter FilterNameToType(std::string_view name) {
  if (name == "/ASCIIHexDecode") return ftASCIIHexDecode;
  if (name == "/ASCII85Decode") return ftASCII85Decode;
  if (name == "/LZWDecode") return ftLZWDecode;
  if (name == "/FlateDecode") return ftFlateDecode;
  if (name == "/RunLengthDecode") return ftRunLengthDecode;
  if (name == "/DCTDecode") return ftDCTDecode;
  // The abbreviations of inline images, which some writers use for streams.
  if (name == "/A85") return ftASCII85Decode;
  if (name == "/AHx") return ftASCIIHexDecode;
  if (name == "/LZW") return ftLZWDecode;
  if (name == "/Fl") return ftFlateDecode;
  if (name == "/RL") return ftRunLengthDecode;
  if (name == "/DCT") return ftDCTDecode;
  if (name == "/CCF") return ftCCITTFaxDecode;
  if (name == "/CCITTFaxDecode") return ftCCITTFaxDecode;
  throw EUnsupportedFilterError(Format(res::SUnsupportedFilterNamed, {name}));
}

bool IsStandardFilterName(std::string_view name) {
  static constexpr std::string_view kOthers[] = {"/JBIG2Decode", "/JPXDecode", "/Crypt"};
  if (std::find(std::begin(kOthers), std::end(kOthers), name) != std::end(kOthers)) return true;
  try {
    FilterNameToType(name);
    return true;
  } catch (const EUnsupportedFilterError&) {
    return false;
  }
}

TvxDecodeFilters ReadFilterList(const TvxPDFObject* filterValue) {
  TvxDecodeFilters list;
  if (!filterValue) return list;
  if (auto* name = As<TvxPDFNameObject>(filterValue)) {
    if (name->Text != kCryptFilterName) list.push_back(FilterNameToType(name->Text));
  } else if (auto* array = As<TvxPDFArrayObject>(filterValue)) {
    list.reserve(array->Items().size());
    for (const auto& item : array->Items()) {
      const std::string& text = Cast<TvxPDFNameObject>(item.get()).Text;
      if (text != kCryptFilterName) list.push_back(FilterNameToType(text));
    }
  } else {
    throw EUnexpectedFilterObject(Format(res::SUnexpectedFilterObject, {filterValue->TypeName()}));
  }
  return list;
}

std::unique_ptr<TvxMemoryStream> DecodeWithFilter(TvxDecodeFilter kind,
                                                  std::unique_ptr<TvxMemoryStream> data) {
  if (!data) data = std::make_unique<TvxMemoryStream>();
  std::string_view bytes = data->View();
  std::string_view prepared = WithoutTrailingLineEnds(bytes);
  if (IsDecodableKind(kind))
    return std::make_unique<TvxMemoryStream>(DecodeDecodableKind(kind, prepared));
  if (kind == ftCCITTFaxDecode || kind == ftDCTDecode) {
    if (prepared.size() != bytes.size()) data->SetSize(int64_t(prepared.size()));
    data->SetPosition(0);
    return data;
  }
  throw EUnsupportedFilterError(res::SUnsupportedFilter);
}

std::string DecodeStringWithFilter(TvxDecodeFilter kind, std::string_view data) {
  std::string_view prepared = WithoutTrailingLineEnds(data);
  if (IsDecodableKind(kind)) return DecodeDecodableKind(kind, prepared);
  if (kind == ftDCTDecode) return std::string(prepared);
  throw EUnsupportedFilterError(res::SUnsupportedFilter);
}

namespace {

// Every decodable step of `list` in order, from `data`; nothing when the list
// has image filters only.
std::optional<std::string> DecodeSteps(std::string_view data, const TvxDecodeFilters& list) {
  std::optional<std::string> current;
  for (TvxDecodeFilter kind : list) {
    // Image data is carried as it is; decoding goes on past it.
    if (kind == ftDCTDecode || kind == ftCCITTFaxDecode) continue;
    std::string_view input = current ? std::string_view(*current) : data;
    current = DecodeDecodableKind(kind, WithoutTrailingLineEnds(input));
  }
  return current;
}

}  // namespace

std::unique_ptr<TvxMemoryStream> DecodeFilterChain(TvxStream& source, const TvxPDFObject* filterValue,
                                                   const TvxObjectResolver& resolver) {
  bool viaReference = false;
  const TvxPDFObject* value = ResolveFilterValue(filterValue, resolver, viaReference);
  std::string holder;
  std::string_view original = StreamBytes(source, holder);
  auto copyOfSource = [&]() -> std::unique_ptr<TvxMemoryStream> {
    if (auto* memory = dynamic_cast<TvxMemoryStream*>(&source)) return memory->Copy();
    return std::make_unique<TvxMemoryStream>(std::move(holder));
  };
  if (!value) return copyOfSource();
  std::optional<std::string> decoded = DecodeSteps(original, ReadFilterList(value));
  if (!decoded) return copyOfSource();
  return std::make_unique<TvxMemoryStream>(std::move(*decoded));
}

std::string DecodeFilterChainBytes(std::string_view data, const TvxPDFObject* filterValue,
                                   const TvxObjectResolver& resolver) {
  bool viaReference = false;
  const TvxPDFObject* value = ResolveFilterValue(filterValue, resolver, viaReference);
  if (!value) return std::string(data);
  std::optional<std::string> decoded = DecodeSteps(data, ReadFilterList(value));
  return decoded ? std::move(*decoded) : std::string(data);
}

std::string DecodeFilterChainSalvaging(std::string_view data, const TvxPDFObject* filterValue, std::string& damage) {
  damage.clear();
  TvxDecodeFilters list;
  try {
    list = ReadFilterList(filterValue);
  } catch (const EUnsupportedFilterError& e) {
    damage = e.Message();
    return std::string();
  }
  std::optional<std::string> current;
  for (TvxDecodeFilter kind : list) {
    if (kind == ftDCTDecode || kind == ftCCITTFaxDecode) continue;
    std::string_view input = WithoutTrailingLineEnds(current ? std::string_view(*current) : data);
    if (kind == ftFlateDecode) {
      // Intact data takes the fast path; of damaged data, what inflates
      // before the damage is kept.
      std::optional<std::string> whole = LibDeflateDecompress(input, kMaxDecodedStreamSize);
      current = whole ? std::move(*whole) : InflateBytes(input, kMaxDecodedStreamSize, &damage);
    } else {
      try {
        current = DecodeDecodableKind(kind, input);
      } catch (const EZDecompressionError&) {
        throw;  // the memory budget, not the data
      } catch (const Exception& e) {
        damage = e.Message();
        current = std::string();
      }
    }
    if (!damage.empty()) break;
  }
  return current ? std::move(*current) : std::string(data);
}

std::string StripDecodableFilters(TvxPDFDictObject& streamDict, std::string_view data,
                                  const TvxObjectResolver& resolver) {
  const int filterIndex = streamDict.IndexOf("/Filter");
  if (filterIndex < 0) return std::string(data);
  bool viaReference = false;
  const TvxPDFObject* value =
      ResolveFilterValue(streamDict.ValueAt(filterIndex), resolver, viaReference);
  if (!value) return std::string(data);

  if (auto* name = As<TvxPDFNameObject>(value)) {
    if (name->Text == "/DCTDecode") return std::string(data);
    int index = DecodeFilterIndex(name->Text);
    if (!IsDecodableKind(index)) return std::string(data);
    std::string result = DecodeStringWithFilter(TvxDecodeFilter(index), data);
    streamDict.Remove("/Filter");
    SetLength(streamDict, result.size());
    return result;
  }

  if (auto* shared = As<TvxPDFArrayObject>(value)) {
    // A referenced array may be shared by other streams: work on a copy.
    std::unique_ptr<TvxPDFArrayObject> copy;
    TvxPDFArrayObject* array;
    if (viaReference) {
      copy.reset(static_cast<TvxPDFArrayObject*>(shared->Clone().release()));
      array = copy.get();
    } else {
      array = static_cast<TvxPDFArrayObject*>(streamDict.ValueAt(filterIndex));
    }
    std::string current;
    std::string_view input = data;
    bool changed = false;
    while (array->Count() > 0) {
      int index = DecodeFilterIndex(Cast<TvxPDFNameObject>(array->GetItem(0)).Text);
      if (!IsDecodableKind(index)) break;
      current = DecodeStringWithFilter(TvxDecodeFilter(index), input);
      input = current;
      array->Delete(0);
      changed = true;
    }
    if (array->Count() == 0)
      streamDict.Remove("/Filter");
    else if (viaReference && changed)
      streamDict.SetValueAt(filterIndex, std::move(copy));
    std::string result = changed ? std::move(current) : std::string(data);
    SetLength(streamDict, result.size());
    return result;
  }

  throw EUnexpectedObjectError(Format(res::SUnexpectedFilterObject, {value->TypeName()}));
}

}  // namespace vx
