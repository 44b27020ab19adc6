// From a stream's /Filter value to decoded data: the filter kinds, their
// names, reading a /Filter name or array into a list, decoding one step or a
// whole chain, and the writer's stripping of decodable filters.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/parsers/vxClasses.h"

namespace vx {

enum TvxDecodeFilter : uint8_t {
  ftASCIIHexDecode = 0,
  ftASCII85Decode = 1,
  ftFlateDecode = 2,
  ftRunLengthDecode = 3,
  ftLZWDecode = 4,
  ftCCITTFaxDecode = 5,
  ftDCTDecode = 6,
};

// Filter kinds in /Filter order: the first is applied first when decoding.
using TvxDecodeFilters = std::vector<TvxDecodeFilter>;

// The names of the kinds, with their slash, indexed by TvxDecodeFilter.
inline constexpr std::array<std::string_view, 7> DecodeFilterNames = {
    "/ASCIIHexDecode", "/ASCII85Decode", "/FlateDecode",   "/RunLengthDecode",
    "/LZWDecode",      "/CCITTFaxDecode", "/DCTDecode"};

// Maps an indirect reference to the object it stands for, or nullptr when
// there is no such object. The caller keeps ownership of what it answers.
using TvxObjectResolver = std::function<const TvxPDFObject*(const TvxPDFObject*)>;

// The kind of a filter name (exact, case-sensitive; "/A85" is accepted for
// ASCII85, no other abbreviation is). Unknown names raise
// EUnsupportedFilterError "Unsupported filter (%s)".
TvxDecodeFilter FilterNameToType(std::string_view name);

// True for the filter names of the PDF standard, abbreviations included,
// whether this library decodes them or not; other names (/BrotliDecode, say)
// belong to data no step here may change.
bool IsStandardFilterName(std::string_view name);

// A name gives one kind, an array one kind per item (each item must be a
// name: EInvalidCast otherwise); anything else raises EUnexpectedFilterObject.
// /Crypt gives none: the reader undoes a stream's own crypt filter.
TvxDecodeFilters ReadFilterList(const TvxPDFObject* filterValue);

// One decoding step. Trailing CR and LF bytes are dropped first (for every
// kind) and ASCIIHex data gets a missing final ">". Kinds 0 to 4 answer a new
// stream; CCITTFax and DCT answer `data` itself, unchanged apart from the
// dropped line ends.
std::unique_ptr<TvxMemoryStream> DecodeWithFilter(TvxDecodeFilter kind,
                                                  std::unique_ptr<TvxMemoryStream> data);

// The same on a byte string. Kind 6 (DCT) answers the prepared data;
// CCITTFax and unknown kinds raise EUnsupportedFilterError.
std::string DecodeStringWithFilter(TvxDecodeFilter kind, std::string_view data);

// Decodes `source` (from its beginning) through every filter of
// `filterValue` in order. DCT and CCITTFax steps are passed over, so
// decoding goes on past them. An absent value answers a copy of the source.
// An indirect `filterValue` is resolved with `resolver`; a reference that
// resolves to nothing counts as no filter. Without a resolver references are
// not resolved (and then raise like any other unexpected object).
std::unique_ptr<TvxMemoryStream> DecodeFilterChain(TvxStream& source, const TvxPDFObject* filterValue,
                                                   const TvxObjectResolver& resolver = nullptr);

// The same on bytes, without a stream on either side: `data` (not copied on
// the way in) decoded through every filter of `filterValue`; an absent
// value, or one of image filters only, answers a copy of `data`.
std::string DecodeFilterChainBytes(std::string_view data, const TvxPDFObject* filterValue,
                                   const TvxObjectResolver& resolver = nullptr);

// The same for data that may be damaged: a filter this library lacks, or
// data a filter refuses, ends the chain, and `damage` then says what
// stopped it (empty when everything decoded). Flate keeps what it inflated
// before the damage; after any other refusing step nothing is left. The
// decoding limits still raise.
std::string DecodeFilterChainSalvaging(std::string_view data, const TvxPDFObject* filterValue, std::string& damage);

// Decodes `data` through the leading decodable filters of the stream
// dictionary's /Filter and rewrites /Filter and /Length to match. A name is
// removed when it is one of the five decodable kinds (spelled as in
// DecodeFilterNames); an array loses its leading decodable items up to the
// first other one ("/A85", CCITTFax, DCT or an unknown name), /Filter goes
// when the array is empty, and /Length is set even when nothing was decoded.
// A /Filter given by reference is resolved with `resolver` and never changed
// in place: the dictionary gets a direct copy of what is left. Any other kind
// of value raises EUnexpectedObjectError.
std::string StripDecodableFilters(TvxPDFDictObject& streamDict, std::string_view data,
                                  const TvxObjectResolver& resolver = nullptr);

}  // namespace vx
