#include "pdf/document/vxObjectPreparser.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "pdf/parsers/vxPDFParsers.h"
#include "pdf/util/vxThreads.h"

namespace vx {

TvxObjectPreparser::TvxObjectPreparser(uint32_t documentID, std::shared_ptr<const std::string> bytes,
                                       std::vector<int64_t> offsets, TvxDuplicateKeys* duplicateKeys)
    : documentID_(documentID), bytes_(std::move(bytes)), duplicateKeys_(duplicateKeys), offsets_(std::move(offsets)) {
  std::sort(offsets_.begin(), offsets_.end());
  offsets_.erase(std::unique(offsets_.begin(), offsets_.end()), offsets_.end());
  slots_ = std::make_unique<Slot[]>(offsets_.size());
  thread_ = StartThreadBeside([this] { Run(); });
}

TvxObjectPreparser::~TvxObjectPreparser() {
  stop_.store(true, std::memory_order_relaxed);
  if (thread_.joinable()) thread_.join();
}

void TvxObjectPreparser::Run() {
  auto reader = std::make_unique<TvxPDFStreamReader>(documentID_, bytes_);
  for (size_t i = offsets_.size(); i-- > 0;) {
    if (stop_.load(std::memory_order_relaxed)) return;
    Slot& slot = slots_[i];
    uint8_t expected = kFree;
    // The loader may have claimed it already: then it parses it itself.
    if (!slot.State.compare_exchange_strong(expected, kWorking, std::memory_order_acq_rel)) continue;
    // Keys given twice are kept with the object and said only when the
    // loader takes it: an object nothing reaches stays unmentioned, as in a
    // load on one thread.
    TvxDuplicateKeys found;
    reader->DuplicateKeys = &found;
    try {
      reader->SetPos(size_t(offsets_[i]));
      TvxPDFObjectPtr object = reader->ParseObject();
      size_t more = 0;
      if (std::vector<std::string> keys = found.Take(more); !keys.empty()) {
        std::lock_guard<std::mutex> lock(keysMutex_);
        keysOf_.emplace(i, std::move(keys));
      }
      const size_t length = reader->Pos() - size_t(offsets_[i]);
      if (length > UINT32_MAX) throw std::length_error("object too long");
      slot.Object = std::move(object);
      slot.Length = uint32_t(length);
      uint8_t working = kWorking;
      // The loader may have stopped waiting for it and parsed it itself.
      if (!slot.State.compare_exchange_strong(working, kReady, std::memory_order_acq_rel)) slot.Object.reset();
    } catch (...) {
      // Whatever went wrong is met again, and reported, by the loader's own
      // parse; a reader left mid-object is not used again.
      slot.Object.reset();
      uint8_t working = kWorking;
      slot.State.compare_exchange_strong(working, kFailed, std::memory_order_acq_rel);
      reader = std::make_unique<TvxPDFStreamReader>(documentID_, bytes_);
    }
  }
}

bool TvxObjectPreparser::Take(int64_t offset, TvxPDFObjectPtr& object, size_t& end) {
  auto it = std::lower_bound(offsets_.begin(), offsets_.end(), offset);
  if (it == offsets_.end() || *it != offset) return false;
  Slot& slot = slots_[size_t(it - offsets_.begin())];
  uint8_t state = kFree;
  if (slot.State.compare_exchange_strong(state, kTaken, std::memory_order_acq_rel)) return false;  // claimed first
  // In work: the loader does not wait (on a busy machine the other thread
  // may not be running); it parses the object itself and the other copy is
  // dropped when done.
  if (state == kWorking && slot.State.compare_exchange_strong(state, kTaken, std::memory_order_acq_rel)) return false;
  if (state != kReady) return false;
  object = std::move(slot.Object);
  end = size_t(offset) + slot.Length;
  if (duplicateKeys_) {
    std::lock_guard<std::mutex> lock(keysMutex_);
    if (auto keys = keysOf_.find(size_t(it - offsets_.begin())); keys != keysOf_.end()) {
      for (const std::string& key : keys->second) duplicateKeys_->Note(key);
      keysOf_.erase(keys);
    }
  }
  slot.State.store(kTaken, std::memory_order_relaxed);
  return true;
}

}  // namespace vx
