#include "pdf/objects/vxNameTable.h"

#include <mutex>
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
  std::unordered_set<std::string> texts;  // node-based: addresses stay put
};

SharedTable& Table() {
  static SharedTable* table = new SharedTable;  // lives as long as the process
  return *table;
}

// Each thread remembers what it looked up, so that the common case takes no lock.
thread_local std::unordered_map<std::string_view, const std::string*> localCache;

// In front of that, a small direct-mapped table answers the usual keys with
// one cheap hash and one comparison.
constexpr size_t kQuickSlots = 1024;
thread_local const std::string* quickCache[kQuickSlots] = {};

size_t QuickHash(std::string_view text) {
  uint64_t h = 1469598103934665603ULL ^ text.size();
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ULL;
  return size_t(h ^ (h >> 29)) & (kQuickSlots - 1);
}

const std::string* Shared(std::string_view text) {
  if (text.size() > kMaxSharedLength) return nullptr;
  const size_t slot = QuickHash(text);
  if (const std::string* hit = quickCache[slot]; hit && *hit == text) return hit;
  if (auto it = localCache.find(text); it != localCache.end()) {
    quickCache[slot] = it->second;
    return it->second;
  }
  SharedTable& table = Table();
  const std::string* shared = nullptr;
  {
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.texts.find(std::string(text));
    if (it != table.texts.end()) {
      shared = &*it;
    } else if (table.texts.size() < kMaxSharedKeys) {
      shared = &*table.texts.emplace(text).first;
    }
  }
  if (shared) {
    localCache.emplace(*shared, shared);
    quickCache[slot] = shared;
  }
  return shared;
}

}  // namespace

const std::string* InternedText(std::string_view text) { return Shared(text); }

uintptr_t TvxKey::EmptyBits() {
  static const std::string* empty = Shared(std::string_view());
  return reinterpret_cast<uintptr_t>(empty);
}

TvxKey::TvxKey(std::string_view text) {
  if (const std::string* shared = Shared(text))
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
