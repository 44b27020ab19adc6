// The document's store of indirect objects: owns every object added to it,
// keeps insertion order (the order objects are written in) and finds objects
// by (document, number, generation) in constant time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/parsers/vxObjectList.h"

namespace vx {

// An array answered by ResolveArray: either one held elsewhere, or a new one
// (a single /Filter name read as a list of one) owned by this holder.
struct TvxArrayValue {
  const TvxPDFArrayObject* Array = nullptr;
  std::unique_ptr<TvxPDFArrayObject> Owned;
  explicit operator bool() const { return Array != nullptr; }
  const TvxPDFArrayObject* operator->() const { return Array; }
};

class TvxPDFObjectStore {
 public:
  // Reads an object that is not stored yet and stores it (a document loaded
  // on demand); answers whether it stored anything. Asked by Find on a miss.
  using TvxObjectSource = std::function<bool(const TvxObjectKey& key)>;
  void SetSource(TvxObjectSource source) { source_ = std::move(source); }
  bool HasSource() const { return bool(source_); }

  // Raises the last object number and answers it.
  int32_t NewObjectNumber() { return ++lastObjectNumber_; }
  int32_t LastObjectNumber() const { return lastObjectNumber_; }
  void SetLastObjectNumber(int32_t n) { lastObjectNumber_ = n; }

  // Takes ownership; a missing object raises ENullObjectError. Answers the
  // stored object. An object with the same key as one already stored is kept
  // but lookups keep answering the first.
  TvxPDFIndirectObject* Add(std::unique_ptr<TvxPDFIndirectObject> object);

  TvxPDFIndirectObject* Find(const TvxPDFIndirectReference* reference) const;
  TvxPDFIndirectObject* Find(const TvxPDFIndirectObject* object) const;
  // With a source set, a miss asks it for the object first, so Find (and
  // the Resolve operations) may add to the store.
  TvxPDFIndirectObject* Find(const TvxObjectKey& key) const;
  // Only what is stored: never asks the source.
  int IndexOf(uint32_t documentID, int32_t objectNumber, uint16_t generation) const;
  int Count() const { return int(objects_.size()); }
  TvxPDFIndirectObject* Items(int index) const;

  // A reference is replaced by the content of the stored object it names,
  // an indirect object by its content, until a direct object remains; nothing
  // when a reference names no stored object.
  TvxPDFObject* Resolve(TvxPDFObject* value) const;
  // nullptr for nothing (or an unstored reference); the wanted kind as it is;
  // any other kind raises EUnexpectedObjectError.
  TvxPDFDictObject* ResolveDictionary(TvxPDFObject* value) const;
  TvxPDFIntegerObject* ResolveInteger(TvxPDFObject* value) const;
  TvxPDFNameObject* ResolveName(TvxPDFObject* value) const;
  TvxPDFStringObject* ResolveString(TvxPDFObject* value) const;
  // Like the above for arrays, but null gives nothing and a name gives a new
  // one-element array holding a copy of it.
  TvxArrayValue ResolveArray(TvxPDFObject* value) const;

  // Objects in store order.
  const std::vector<std::unique_ptr<TvxPDFIndirectObject>>& Objects() const { return objects_; }
  // Gives back the slack left by growing (once a load is complete).
  void Compact() {
    objects_.shrink_to_fit();
    index_.Compact();
  }

 private:
  template <typename T>
  T* ResolveAs(TvxPDFObject* value) const;

  int32_t lastObjectNumber_ = 0;
  std::vector<std::unique_ptr<TvxPDFIndirectObject>> objects_;
  TvxObjectIndex index_;  // key -> position in objects_
  TvxObjectSource source_;
};

}  // namespace vx
