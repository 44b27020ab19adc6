// Expanding the object streams of a whole file on two cores. The loader
// goes through the streams in its order and stores their members; a second
// thread takes the streams from the last one backwards and does what costs:
// it reads the stream from the file's bytes with a reader of its own,
// decodes it and parses every member. The loader uses that work only where
// the stream it read itself has the same bytes and filters, and a stream
// whose work raised is expanded by the loader alone, which meets the error
// in its own order.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pdf/document/vxLoadHelper.h"
#include "pdf/filters/vxFilterChain.h"
#include "pdf/objects/vxPDFObjects.h"

namespace vx {

class TvxPDFStreamReader;
class TvxDuplicateKeys;

// Goes through the header of an object stream, `count` pairs of numbers at
// the start of its decoded bytes (`size` of them) read by `reader`, fewer
// where the bytes end first; calls `entry(number, start)` for each pair, the
// member's start being empty when it lies outside the bytes. The reader is
// set back after the pair once `entry` returns, so that it may parse there.
void ForEachObjectStreamEntry(TvxPDFStreamReader& reader, size_t size, int64_t count, int64_t first,
                              const std::function<void(int32_t number, std::optional<size_t> start)>& entry);

// An object stream's data decoded as far as it goes (DecodeFilterChainSalvaging;
// `filter` resolved, or null for none). Damaged data is cut where the last
// member it reaches begins, so that no member is read cut short; `damage`
// says what stopped the decoding (empty when nothing did).
std::shared_ptr<const std::string> SalvageObjectStreamData(std::string_view encoded, const TvxPDFObject* filter,
                                                           const TvxPDFDictObject& dict, std::string& damage);

struct TvxExpandedStream : TvxLoadHelper::TvxJob {
  // One entry of the stream's header, as the loader reads it.
  struct TvxMember {
    int32_t Number;
    bool InData;  // its offset lies within the decoded bytes
    TvxPDFObjectPtr Object;  // parsed when InData (null: an empty member)
  };

  TvxExpandedStream(uint32_t documentID, std::shared_ptr<const std::string> file, int64_t offset)
      : documentID_(documentID), file_(std::move(file)), offset_(offset) {}
  void Run() override;

  // Set by Run when everything went through: the encoded bytes, the filters
  // and the header's numbers it used, and every entry of the header.
  bool Complete = false;
  std::unique_ptr<TvxMemoryStream> Encoded;
  TvxDecodeFilters FilterKinds;
  bool Filtered = false;
  int64_t Count = 0, First = 0;
  std::vector<TvxMember> Members;
  TvxDuplicateKeys* DuplicateKeys = nullptr;  // where the readers note keys given twice

 private:
  uint32_t documentID_;
  std::shared_ptr<const std::string> file_;
  int64_t offset_;
};

}  // namespace vx
