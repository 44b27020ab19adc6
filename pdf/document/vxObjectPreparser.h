// Parses the objects of a file on a second thread while the loader walks the
// document, so that the walk mostly takes objects already parsed and the load
// uses two cores. Only the parse itself is done ahead: an object parsed from
// the file's bytes at an offset is the same whichever thread parsed it, and
// the loader still does everything else (stream data, storing, warnings,
// errors) itself, in its own order.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/parsers/vxPDFParsers.h"

namespace vx {

class TvxObjectPreparser {
 public:
  // Starts parsing the objects at `offsets` (any order, duplicates allowed),
  // last offset first: the loader usually walks a file from the front, so
  // the two threads meet in the middle.
  // `duplicateKeys` (not owned) hears of keys given twice.
  TvxObjectPreparser(uint32_t documentID, std::shared_ptr<const std::string> bytes, std::vector<int64_t> offsets,
                     TvxDuplicateKeys* duplicateKeys = nullptr);
  // Stops the thread; objects nobody took are freed.
  ~TvxObjectPreparser();
  TvxObjectPreparser(const TvxObjectPreparser&) = delete;
  TvxObjectPreparser& operator=(const TvxObjectPreparser&) = delete;

  // The object parsed at `offset` and the position just after it. Each
  // offset is handed out at most once; false (parse it yourself) when the
  // offset is not one of the list, was asked for before, was not reached yet
  // or is being parsed (it is then left to the caller), or did not parse
  // (the caller's own parse raises the error where it belongs). Never waits.
  bool Take(int64_t offset, TvxPDFObjectPtr& object, size_t& end);

 private:
  enum State : uint8_t { kFree, kWorking, kReady, kFailed, kTaken };
  struct Slot {  // 16 bytes: one per object of the file
    TvxPDFObjectPtr Object;
    uint32_t Length = 0;  // bytes from the offset to the end of the object
    std::atomic<uint8_t> State{kFree};
  };

  void Run();

  uint32_t documentID_;
  std::shared_ptr<const std::string> bytes_;
  TvxDuplicateKeys* duplicateKeys_;
  std::vector<int64_t> offsets_;  // sorted, distinct
  std::unique_ptr<Slot[]> slots_;  // one per offset
  std::mutex keysMutex_;
  std::unordered_map<size_t, std::vector<std::string>> keysOf_;  // by slot: keys its object gave twice
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace vx
