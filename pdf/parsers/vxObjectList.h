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

// Key -> first position. Keys of generation 0 of the first document seen,
// with numbers below kDenseLimit, are indexed in a flat table by number (the
// common case of a loaded file); all other keys go through a hash table.
class TvxObjectIndex {
 public:
  static constexpr int32_t kDenseLimit = 1 << 23;
  // Records `index` for `key` unless the key already has a position.
  void Note(const TvxObjectKey& key, int index);
  int Find(const TvxObjectKey& key) const;
  void Clear();
  // Gives back the slack left by growing (the table grows by doubling, so
  // its tail past the highest number is empty).
  void Compact() {
    while (!dense_.empty() && dense_.back() == 0) dense_.pop_back();
    dense_.shrink_to_fit();
  }

 private:
  bool IsDense(const TvxObjectKey& key) const {
    return hasDenseDocument_ && key.DocumentID == denseDocument_ && key.Generation == 0 && key.ObjectNumber >= 0 &&
           key.ObjectNumber < kDenseLimit;
  }

  uint32_t denseDocument_ = 0;
  bool hasDenseDocument_ = false;
  std::vector<int32_t> dense_;  // number -> index + 1, 0 for none
  std::unordered_map<TvxObjectKey, int, TvxObjectKeyHash> hashed_;
};

class TvxObjectList {
 public:
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
  std::vector<std::pair<TvxObjectKey, TvxPDFIndirectObject*>> entries_;
  mutable TvxObjectIndex index_;
  mutable bool indexValid_ = true;  // an insertion in the middle moves positions
};

}  // namespace vx
