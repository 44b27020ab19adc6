// A list of (key, indirect object) pairs in insertion order with a hash index
// for lookups. Keys need not be unique: lookups answer the first entry. The
// list never owns the objects it points to.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace vx {

class TvxPDFIndirectObject;

// Identity of an indirect object: the document that read or made it, its
// number and generation. Used as the store key in place of a decimal
// concatenation, which could make two objects share a key.
struct TvxObjectKey {
  uint32_t DocumentID = 0;
  int32_t ObjectNumber = 0;
  uint16_t Generation = 0;
  bool operator==(const TvxObjectKey&) const = default;
};

struct TvxObjectKeyHash {
  size_t operator()(const TvxObjectKey& k) const noexcept {
    uint64_t v = (uint64_t(k.DocumentID) << 32) ^ (uint64_t(uint32_t(k.ObjectNumber)) << 16) ^ k.Generation;
    v ^= v >> 33;
    v *= 0xff51afd7ed558ccdULL;
    v ^= v >> 33;
    return size_t(v);
  }
};

// The decimal digits of the document serial, object number and generation
// read as one number (101, 5, 0 gives 10150). For display; 64-bit so that it
// never wraps.
int64_t UniqueID(uint32_t documentID, int32_t objectNumber, uint16_t generation);

class TvxObjectList {
 public:
  // Keys of generation 0 of the first document seen, with numbers below
  // this, are indexed by number in a flat table (the common case of a loaded
  // file); all other keys go through the hash index.
  static constexpr int32_t kDenseLimit = 1 << 23;

  int Add(const TvxObjectKey& key, TvxPDFIndirectObject* object);  // answers the index
  // A negative object number raises EInvalidID "Invalid unique ID (%d)".
  void Insert(int index, const TvxObjectKey& key, TvxPDFIndirectObject* object);
  // Out of range raises "List index out of bounds (%d)".
  TvxPDFIndirectObject* Get(int index) const;
  const TvxObjectKey& KeyAt(int index) const;
  int Count() const { return int(entries_.size()); }
  int IndexOf(const TvxObjectKey& key) const;
  void Clear();

 private:
  bool IsDense(const TvxObjectKey& key) const {
    return key.DocumentID == denseDocument_ && key.Generation == 0 && key.ObjectNumber >= 0 &&
           key.ObjectNumber < kDenseLimit;
  }
  void IndexEntry(const TvxObjectKey& key, int index) const;
  void RebuildIndex() const;

  std::vector<std::pair<TvxObjectKey, TvxPDFIndirectObject*>> entries_;
  mutable uint32_t denseDocument_ = 0;
  mutable bool hasDenseDocument_ = false;
  mutable std::vector<int32_t> dense_;  // number -> index + 1, 0 for none
  mutable std::unordered_map<TvxObjectKey, int, TvxObjectKeyHash> index_;
  mutable bool indexValid_ = true;
};

}  // namespace vx
