#include "pdf/document/vxObjectStreamsAhead.h"

#include <algorithm>

#include "pdf/parsers/vxPDFParsers.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxUtils.h"

namespace vx {

void ForEachObjectStreamEntry(TvxPDFStreamReader& reader, size_t size, int64_t count, int64_t first,
                              const std::function<void(int32_t number, std::optional<size_t> start)>& entry) {
  for (int64_t k = 0; k < count; ++k) {
    reader.SkipWhitespace();
    if (reader.Eof()) break;  // fewer members than /N says
    const int32_t number = StrToInt(reader.ReadWord());
    const int64_t memberOffset = StrToInt64(reader.ReadWord());
    const size_t resume = reader.Pos();
    std::optional<size_t> start;
    if (first >= 0 && memberOffset >= 0 && uint64_t(first) + uint64_t(memberOffset) < size)
      start = size_t(first + memberOffset);
    entry(number, start);
    reader.SetPos(resume);
  }
}

std::shared_ptr<const std::string> SalvageObjectStreamData(std::string_view encoded, const TvxPDFObject* filter,
                                                           const TvxPDFDictObject& dict, std::string& damage) {
  damage.clear();
  if (!filter) return std::make_shared<const std::string>(encoded);
  auto data = std::make_shared<std::string>(DecodeFilterChainSalvaging(encoded, filter, damage));
  if (damage.empty()) return data;
  size_t cut = 0;
  std::optional<int64_t> count = IntegerValue(dict.Find("/N")), first = IntegerValue(dict.Find("/First"));
  if (count && first) {
    try {
      TvxPDFStreamReader header(0, std::shared_ptr<const std::string>(data));
      ForEachObjectStreamEntry(header, data->size(), *count, *first, [&](int32_t, std::optional<size_t> start) {
        if (start) cut = std::max(cut, *start);
      });
    } catch (const Exception&) {
      cut = 0;  // a header that does not read leaves nothing to trust
    }
  }
  data->resize(cut);
  return data;
}

void TvxExpandedStream::Run() {
  try {
    // The stream as ReadObjectAt reads it, where that needs nothing but the
    // stream's own dictionary: a /Length or /Filter kept elsewhere is left
    // to the loader.
    TvxPDFStreamReader reader(documentID_, file_);
    reader.DuplicateKeys = DuplicateKeys;
    reader.SetPos(size_t(offset_));
    TvxPDFObjectPtr parsed = reader.ParseObject();
    auto* object = As<TvxPDFIndirectObject>(parsed.get());
    auto* stream = object ? As<TvxPDFStreamObject>(object->Content.get()) : nullptr;
    if (!stream) return;
    TvxPDFDictObject& dict = *stream->Dictionary;
    TvxPDFObject* lengthValue = dict.Find("/Length");
    TvxPDFObject* filter = dict.Find("/Filter");
    if ((lengthValue && lengthValue->IsReference()) || (filter && filter->IsReference())) return;
    auto* length = As<TvxPDFIntegerObject>(lengthValue);
    const size_t afterDictionary = reader.Pos();
    reader.SetPos(afterDictionary);
    Encoded = reader.ReadStreamData(length && length->Value >= 0 ? length->Value : -1, object->ObjectNumber,
                                    object->Generation, &dict);

    // Decoded and read as ExpandObjectStreams does.
    std::string decodedBytes;
    Filtered = filter && !filter->IsNull();
    if (Filtered) {
      FilterKinds = ReadFilterList(filter);
      if (std::find(FilterKinds.begin(), FilterKinds.end(), ftDCTDecode) != FilterKinds.end() ||
          std::find(FilterKinds.begin(), FilterKinds.end(), ftCCITTFaxDecode) != FilterKinds.end())
        return;
      decodedBytes = DecodeFilterChainBytes(Encoded->View(), filter);
    } else {
      decodedBytes = std::string(Encoded->View());
    }
    auto* type = As<TvxPDFNameObject>(dict.Find("/Type"));
    auto* count = As<TvxPDFIntegerObject>(dict.Find("/N"));
    auto* first = As<TvxPDFIntegerObject>(dict.Find("/First"));
    if (!type || type->Text != "/ObjStm" || !count || !first) return;
    Count = count->Value;
    First = first->Value;

    auto decoded = std::make_shared<const std::string>(std::move(decodedBytes));
    TvxPDFStreamReader members(documentID_, decoded);
    members.DuplicateKeys = DuplicateKeys;
    ForEachObjectStreamEntry(members, decoded->size(), Count, First, [&](int32_t number, std::optional<size_t> start) {
      if (!start) {
        Members.push_back({number, false, nullptr});
        return;
      }
      members.SetPos(*start);
      Members.push_back({number, true, members.ParseObject()});
    });
    Complete = true;
  } catch (const std::exception&) {
    Members.clear();
  }
}

}  // namespace vx
