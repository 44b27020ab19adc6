#include "pdf/parsers/vxObjectList.h"

#include <algorithm>

#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

int64_t DecimalDigitsScale(uint64_t x) {
  int64_t scale = 10;
  while (x >= 10) {
    x /= 10;
    scale *= 10;
  }
  return scale;
}

}  // namespace

int64_t UniqueID(uint32_t documentID, int32_t objectNumber, uint16_t generation) {
  uint64_t n = uint64_t(objectNumber < 0 ? -int64_t(objectNumber) : objectNumber);
  int64_t id = int64_t(documentID) * DecimalDigitsScale(n) + int64_t(n);
  return id * DecimalDigitsScale(generation) + generation;
}

void TvxObjectIndex::Note(const TvxObjectKey& key, int index) {
  if (!hasDenseDocument_) {
    hasDenseDocument_ = true;
    denseDocument_ = key.DocumentID;
  }
  if (IsDense(key)) {
    size_t n = size_t(key.ObjectNumber);
    if (n >= dense_.size()) dense_.resize(std::max(n + 1, std::min(dense_.size() * 2, size_t(kDenseLimit))), 0);
    if (dense_[n] == 0) dense_[n] = index + 1;
  } else {
    hashed_.try_emplace(key, index);
  }
}

int TvxObjectIndex::Find(const TvxObjectKey& key) const {
  if (IsDense(key)) {
    size_t n = size_t(key.ObjectNumber);
    return n < dense_.size() ? dense_[n] - 1 : -1;
  }
  auto it = hashed_.find(key);
  return it == hashed_.end() ? -1 : it->second;
}

void TvxObjectIndex::Clear() {
  dense_.clear();
  dense_.shrink_to_fit();
  hashed_.clear();
  hasDenseDocument_ = false;
}

int TvxObjectList::Add(const TvxObjectKey& key, TvxPDFIndirectObject* object) {
  entries_.push_back({key, object});
  int index = Count() - 1;
  if (indexValid_) index_.Note(key, index);
  return index;
}

void TvxObjectList::Insert(int index, const TvxObjectKey& key, TvxPDFIndirectObject* object) {
  if (key.ObjectNumber < 0) throw EInvalidID(Format(res::SInvalidUniqueID, {key.ObjectNumber}));
  if (index < 0 || index > Count()) throw EListError(Format(res::SListIndexError, {index}));
  entries_.insert(entries_.begin() + index, {key, object});
  indexValid_ = false;
}

TvxPDFIndirectObject* TvxObjectList::Get(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format(res::SListIndexError, {index}));
  return entries_[size_t(index)].second;
}

const TvxObjectKey& TvxObjectList::KeyAt(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format(res::SListIndexError, {index}));
  return entries_[size_t(index)].first;
}

int TvxObjectList::IndexOf(const TvxObjectKey& key) const {
  if (!indexValid_) {
    index_.Clear();
    for (size_t i = 0; i < entries_.size(); ++i) index_.Note(entries_[i].first, int(i));
    indexValid_ = true;
  }
  return index_.Find(key);
}

void TvxObjectList::Clear() {
  entries_.clear();
  entries_.shrink_to_fit();
  index_.Clear();
  indexValid_ = true;
}

}  // namespace vx
