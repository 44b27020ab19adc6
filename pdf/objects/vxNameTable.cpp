#include "pdf/objects/vxNameTable.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <vector>
#include <unordered_map>
#include <unordered_set>

namespace vx {

namespace {

// Keys longer than this are rare and usually unique: they are not shared.
constexpr size_t kMaxSharedLength = 48;
// The table stops growing here; later new keys are held by their entries.
constexpr size_t kMaxSharedKeys = 1 << 16;

struct SharedTable {
  std::mutex lock;
  std::unordered_map<std::string, uint32_t> texts;  // text -> number; node-based: addresses stay put
};

SharedTable& Table() {
  static SharedTable* table = new SharedTable;  // lives as long as the process
  return *table;
}

// Shared texts by number, written once (under the table's lock) before the
// number is handed out.
std::atomic<const std::string*> sharedById[kMaxSharedKeys];

struct SharedText {
  const std::string* text = nullptr;  // nullptr: not shared
  uint32_t id = 0;
};

// Each thread remembers what it looked up, so that the common case takes no lock.
thread_local std::unordered_map<std::string_view, uint32_t> localCache;

// In front of that, a small direct-mapped table answers the usual keys with
// one cheap hash and one comparison (number + 1; 0 for an empty slot).
constexpr size_t kQuickSlots = 1024;
thread_local uint32_t quickCache[kQuickSlots] = {};

size_t QuickHash(std::string_view text) {
  uint64_t h = 1469598103934665603ULL ^ text.size();
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ULL;
  return size_t(h ^ (h >> 29)) & (kQuickSlots - 1);
}

SharedText Shared(std::string_view text) {
  if (text.size() > kMaxSharedLength) return {};
  const size_t slot = QuickHash(text);
  if (const uint32_t quick = quickCache[slot]) {
    const std::string* hit = sharedById[quick - 1].load(std::memory_order_relaxed);
    if (*hit == text) return {hit, quick - 1};
  }
  if (auto it = localCache.find(text); it != localCache.end()) {
    quickCache[slot] = it->second + 1;
    return {sharedById[it->second].load(std::memory_order_relaxed), it->second};
  }
  SharedTable& table = Table();
  SharedText shared;
  {
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.texts.find(std::string(text));
    if (it == table.texts.end() && table.texts.size() < kMaxSharedKeys) {
      it = table.texts.emplace(std::string(text), uint32_t(table.texts.size())).first;
      sharedById[it->second].store(&it->first, std::memory_order_release);
    }
    if (it != table.texts.end()) shared = {&it->first, it->second};
  }
  if (shared.text) {
    localCache.emplace(*shared.text, shared.id);
    quickCache[slot] = shared.id + 1;
  }
  return shared;
}

// Texts of their own, numbered from kMaxSharedKeys up: slots in chunks that
// never move, so reading one takes no lock; freed slots are used again.
constexpr size_t kChunkBits = 12;
constexpr size_t kChunkSlots = size_t(1) << kChunkBits;
constexpr size_t kMaxChunks = size_t(1) << 14;
using OwnSlot = std::atomic<const std::string*>;
std::atomic<OwnSlot*> ownChunks[kMaxChunks];

struct OwnTable {
  std::mutex lock;
  std::vector<uint32_t> freeSlots;
  uint32_t nextSlot = 0;
};

OwnTable& Owns() {
  static OwnTable* table = new OwnTable;  // lives as long as the process
  return *table;
}

OwnSlot& OwnSlotAt(uint32_t slot) {
  return ownChunks[slot >> kChunkBits].load(std::memory_order_acquire)[slot & (kChunkSlots - 1)];
}

uint32_t HoldOwn(std::string_view text) {
  auto held = std::make_unique<std::string>(text);
  OwnTable& table = Owns();
  std::lock_guard<std::mutex> guard(table.lock);
  uint32_t slot;
  if (!table.freeSlots.empty()) {
    slot = table.freeSlots.back();
    table.freeSlots.pop_back();
  } else {
    if (table.nextSlot >= kMaxChunks * kChunkSlots) throw std::bad_alloc();
    slot = table.nextSlot++;
    if ((slot & (kChunkSlots - 1)) == 0)
      ownChunks[slot >> kChunkBits].store(new OwnSlot[kChunkSlots](), std::memory_order_release);
  }
  OwnSlotAt(slot).store(held.release(), std::memory_order_release);
  return uint32_t(kMaxSharedKeys) + slot;
}

void ReleaseOwn(uint32_t slot) {
  OwnTable& table = Owns();
  std::lock_guard<std::mutex> guard(table.lock);
  delete OwnSlotAt(slot).exchange(nullptr, std::memory_order_acq_rel);
  table.freeSlots.push_back(slot);
}

}  // namespace

const std::string* InternedText(std::string_view text) { return Shared(text).text; }

TvxNameText::TvxNameText(std::string_view text) {
  const SharedText shared = Shared(text);
  id_ = shared.text ? shared.id : HoldOwn(text);
}

TvxNameText::~TvxNameText() {
  if (id_ >= kMaxSharedKeys) ReleaseOwn(id_ - uint32_t(kMaxSharedKeys));
}

const std::string& TvxNameText::str() const {
  if (id_ < kMaxSharedKeys) return *sharedById[id_].load(std::memory_order_acquire);
  return *OwnSlotAt(id_ - uint32_t(kMaxSharedKeys)).load(std::memory_order_acquire);
}

uintptr_t TvxKey::EmptyBits() {
  static const std::string* empty = Shared(std::string_view()).text;
  return reinterpret_cast<uintptr_t>(empty);
}

TvxKey::TvxKey(std::string_view text) {
  if (const std::string* shared = Shared(text).text)
    bits_ = reinterpret_cast<uintptr_t>(shared);
  else
    bits_ = reinterpret_cast<uintptr_t>(new std::string(text)) | 1;
}

TvxKey::TvxKey(const TvxKey& other) : bits_(other.bits_) {
  if (other.Owned()) bits_ = reinterpret_cast<uintptr_t>(new std::string(other.Text())) | 1;
}

TvxKey::~TvxKey() {
  if (Owned()) delete reinterpret_cast<std::string*>(bits_ & ~uintptr_t(1));
}

}  // namespace vx
