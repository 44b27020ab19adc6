// Object streams decoded ahead of need while a document loads on demand.
// Pages and the objects next to them sit in object streams in the order of
// their numbers; while the loading thread parses the members of one stream,
// a second thread decodes the next few from the file's bytes. The loading
// thread still reads each stream's object itself and takes a decoded result
// only when it was made from the same bytes with the same filters, so what
// it gets is what decoding there would have given; anything else (a stream
// not decoded yet, one that failed) it decodes itself as before.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "pdf/filters/vxFilterChain.h"
#include "pdf/parsers/vxPDFParsers.h"

namespace vx {

// An object stream's decoded bytes and where each member starts in them.
struct TvxObjectStreamMembers {
  std::shared_ptr<const std::string> Data;
  // (number, start) by number; of a number given twice, the first.
  std::vector<std::pair<int32_t, size_t>> Members;
  std::unique_ptr<TvxPDFStreamReader> Reader;  // over Data, for every member
};

// Reads the header of `count` pairs "number offset" of decoded object-stream
// data whose members begin at `first`. Pairs that point outside the data are
// left out; a word that is not a number raises EConvertError.
std::unique_ptr<TvxObjectStreamMembers> IndexObjectStream(uint32_t documentID, std::shared_ptr<const std::string> data,
                                                          int64_t count, int64_t first);

// One stream decoded ahead: what it was decoded from, and the result.
struct TvxPrefetchedObjectStream {
  std::string_view Source;  // the encoded bytes, inside the file's buffer
  TvxDecodeFilters Filters;
  bool Filtered = false;  // a /Filter was given (none: the bytes as they are)
  int64_t Count = 0;
  int64_t First = 0;
  std::unique_ptr<TvxObjectStreamMembers> Index;
};

class TvxObjectStreamPrefetch {
 public:
  // Streams further ahead of the last one taken are not decoded yet.
  static constexpr size_t kLookahead = 8;

  // `streams`: (stream number, offset of its object) in the order they will
  // likely be needed. Only plain, unencrypted files are given.
  TvxObjectStreamPrefetch(uint32_t documentID, std::shared_ptr<const std::string> file,
                          std::vector<std::pair<int64_t, int64_t>> streams);
  ~TvxObjectStreamPrefetch();  // stops the thread and waits for it
  TvxObjectStreamPrefetch(const TvxObjectStreamPrefetch&) = delete;
  TvxObjectStreamPrefetch& operator=(const TvxObjectStreamPrefetch&) = delete;

  // Stream `s` as decoded ahead, or nothing (not in the list, not finished
  // yet, or not decodable there). Never waits for the thread.
  std::unique_ptr<TvxPrefetchedObjectStream> Take(int64_t s);

 private:
  enum class TvxState : uint8_t { Waiting, Working, Done, Given };
  struct TvxEntry {
    int64_t Number = 0;
    int64_t Offset = 0;
    TvxState State = TvxState::Waiting;
    std::unique_ptr<TvxPrefetchedObjectStream> Result;
  };

  void Run();
  std::unique_ptr<TvxPrefetchedObjectStream> Decode(int64_t offset) const;

  const uint32_t documentID_;
  const std::shared_ptr<const std::string> file_;
  std::vector<TvxEntry> entries_;
  std::unordered_map<int64_t, size_t> positions_;
  std::mutex lock_;
  std::condition_variable changed_;
  size_t next_ = 0;     // the next entry the thread takes up
  size_t allowed_ = 0;  // entries below this may be decoded
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace vx
