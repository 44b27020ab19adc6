// Compression on save. A stream only ever gets one more filter in front of
// what it has: existing data is never decoded, Flate data is never
// compressed again, and images in DCT, JBIG2 or CCITT form are left alone.
#include "pdf/document/vxDocumentWriter.h"
#include "pdf/document/vxXmpMetadata.h"
#include "pdf/filters/vxFilterChain.h"
#include "pdf/filters/vxFilters.h"
#include "pdf/filters/vxLibDeflate.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// The encodings the compression step knows: RunLength for 1, Flate for
// everything else, so that /Filter always names what the data holds.
bool UsesRunLength(const TvxCompression& settings) { return settings.Encoding == 1; }

TvxPDFObjectPtr LengthValue(size_t length) {
  if (length <= size_t(INT32_MAX)) return MakeInteger(int32_t(length));
  return std::make_unique<TvxPDFInt64Object>(int64_t(length));
}

}  // namespace

void TvxCustomPDFDocument::SetCompression(uint8_t encoding, uint8_t level) {
  compression_->Active = true;
  compression_->Encoding = encoding;
  compression_->Level = level;
}

std::string TvxCustomPDFDocument::CompressStreamCopy(TvxPDFDictObject& dictCopy, std::string data) const {
  std::optional<std::string> compressed = TvxDocumentWriter::CompressData(*this, dictCopy, data);
  return compressed ? std::move(*compressed) : std::move(data);
}

std::optional<std::string> TvxDocumentWriter::CompressData(const TvxCustomPDFDocument& document,
                                                           TvxPDFDictObject& dictCopy, std::string_view data) {
  const TvxCompression& settings = *document.compression_;
  if (KeepsStreamUncompressed(dictCopy)) return std::nullopt;
  const std::string_view chosen = UsesRunLength(settings) ? EncodedFilterNames[1] : EncodedFilterNames[0];
  const TvxPDFObject* filter = document.store_->Resolve(dictCopy.Find("/Filter"));

  // A null /Filter means no filter, as it does for every reader.
  if (filter && !filter->IsNull()) {
    if (auto* name = As<TvxPDFNameObject>(filter)) {
      const std::string& f = name->Text;
      if (f == "/DCTDecode" || f == "/JBIG2Decode" || f == chosen || f == "/CCITTFaxDecode") return std::nullopt;
      // Data in a form no reader may know is carried exactly as stored.
      if (!IsStandardFilterName(f)) return std::nullopt;
    } else if (auto* array = As<TvxPDFArrayObject>(filter)) {
      bool stop = false;
      for (const auto& item : array->Items()) {
        // An item may name its filter through a reference; anything but a
        // name in the end stops the save.
        const std::string& f = Cast<TvxPDFNameObject>(document.store_->Resolve(item.get())).Text;
        if (f == "/FlateDecode" || f == "/RunLengthDecode" || f == "/CCITTFaxDecode" || !IsStandardFilterName(f))
          stop = true;
      }
      if (stop) return std::nullopt;
    } else {
      throw EUnexpectedObjectError(Format(res::SUnexpectedFilterObject, {filter->TypeName()}));
    }
  } else {
    filter = nullptr;
  }

  std::string encoded = UsesRunLength(settings) ? TvxRLEFilter().EncodeString(data)
                                                : TvxFlateFilter().CompressString(data, settings.Level);
  dictCopy.SetValue("/Length", LengthValue(encoded.size()));
  PutFilterInFront(document, dictCopy, filter, chosen);
  return encoded;
}

void TvxDocumentWriter::PutFilterInFront(const TvxCustomPDFDocument& document, TvxPDFDictObject& dictCopy,
                                         const TvxPDFObject* filter, std::string_view name) {
  if (!filter || filter->IsNull()) {
    dictCopy.SetValue("/Filter", MakeName(std::string(name)));
    // Parameters without a filter mean nothing today, but would be read as
    // those of the new filter.
    dictCopy.Remove("/DecodeParms");
    return;
  }
  auto filters = std::make_unique<TvxPDFArrayObject>();
  filters->Add(MakeName(std::string(name)));
  if (auto* array = As<TvxPDFArrayObject>(filter)) {
    for (const auto& item : array->Items()) filters->Add(item ? item->Clone() : MakeNull());
  } else {
    filters->Add(filter->Clone());
  }
  // A direct copy: a shared /Filter array of the source stays as it is.
  dictCopy.SetValue("/Filter", std::move(filters));

  // Parameters pair with filters by position: a null in front keeps the old
  // parameters with the old filters.
  const TvxPDFObject* parms = document.store_->Resolve(dictCopy.Find("/DecodeParms"));
  if (auto* parmsArray = As<TvxPDFArrayObject>(parms)) {
    auto shifted = std::make_unique<TvxPDFArrayObject>();
    shifted->Add(MakeNull());
    for (const auto& item : parmsArray->Items()) shifted->Add(item ? item->Clone() : MakeNull());
    dictCopy.SetValue("/DecodeParms", std::move(shifted));
  } else if (auto* parmsDict = As<TvxPDFDictObject>(parms)) {
    auto shifted = std::make_unique<TvxPDFArrayObject>();
    shifted->Add(MakeNull());
    shifted->Add(parmsDict->Clone());
    dictCopy.SetValue("/DecodeParms", std::move(shifted));
  }
}

std::string TvxDocumentWriter::CompressWriterData(const TvxCustomPDFDocument& document, std::string_view data) {
  // Always Flate, whatever the chosen encoding: these streams are made here,
  // and their point is to be small. A Flate level chosen by the user applies;
  // "none" and the other encodings get the default level.
  const TvxCompression& settings = *document.compression_;
  const bool flateChosen = settings.Active && !UsesRunLength(settings) && settings.Level != 0;
  // Their data (object text, cross-reference rows, hint tables) packs to a
  // fraction of its size.
  return LibDeflateCompress(data, LibDeflateLevel(flateChosen ? settings.Level : 2), data.size() / 4 + 1024);
}

}  // namespace vx
