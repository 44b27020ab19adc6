#include "pdf/document/vxPDFObjectStore.h"

#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// Chains of references longer than this are cycles (or absurd files).
constexpr int kMaxResolveSteps = 64;

TvxObjectKey KeyOf(const TvxPDFIndirectObject& o) { return {o.DocumentID, o.ObjectNumber, o.Generation}; }

}  // namespace

TvxPDFIndirectObject* TvxPDFObjectStore::Add(std::unique_ptr<TvxPDFIndirectObject> object) {
  if (!object) throw ENullObjectError(res::SNullObjectError);
  TvxPDFIndirectObject* raw = object.get();
  objects_.push_back(std::move(object));
  index_.Note(KeyOf(*raw), int(objects_.size()) - 1);
  return raw;
}

TvxPDFIndirectObject* TvxPDFObjectStore::Find(const TvxObjectKey& key) const {
  int i = index_.Find(key);
  if (i < 0 && source_ && source_(key)) i = index_.Find(key);
  return i < 0 ? nullptr : objects_[size_t(i)].get();
}

TvxPDFIndirectObject* TvxPDFObjectStore::Find(const TvxPDFIndirectReference* reference) const {
  if (!reference) return nullptr;
  return Find(TvxObjectKey{reference->DocumentID, reference->ObjectNumber, reference->Generation});
}

TvxPDFIndirectObject* TvxPDFObjectStore::Find(const TvxPDFIndirectObject* object) const {
  if (!object) return nullptr;
  return Find(KeyOf(*object));
}

int TvxPDFObjectStore::IndexOf(uint32_t documentID, int32_t objectNumber, uint16_t generation) const {
  return index_.Find({documentID, objectNumber, generation});
}

TvxPDFIndirectObject* TvxPDFObjectStore::Items(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format(res::SListIndexError, {index}));
  return objects_[size_t(index)].get();
}

TvxPDFObject* TvxPDFObjectStore::Resolve(TvxPDFObject* value) const {
  for (int step = 0; value && step < kMaxResolveSteps; ++step) {
    if (auto* ref = As<TvxPDFIndirectReference>(value)) {
      TvxPDFIndirectObject* target = Find(ref);
      if (!target) return nullptr;
      value = target->Content.get();
    } else if (auto* io = As<TvxPDFIndirectObject>(value)) {
      value = io->Content.get();
    } else {
      return value;
    }
  }
  return nullptr;
}

template <typename T>
T* TvxPDFObjectStore::ResolveAs(TvxPDFObject* value) const {
  for (int step = 0; value && step < kMaxResolveSteps; ++step) {
    if (auto* wanted = As<T>(value)) return wanted;
    if (auto* ref = As<TvxPDFIndirectReference>(value)) {
      TvxPDFIndirectObject* target = Find(ref);
      if (!target) return nullptr;
      value = target->Content.get();
      continue;
    }
    throw EUnexpectedObjectError(res::SUnexpectedObject);
  }
  return nullptr;
}

TvxPDFDictObject* TvxPDFObjectStore::ResolveDictionary(TvxPDFObject* value) const {
  return ResolveAs<TvxPDFDictObject>(value);
}
TvxPDFIntegerObject* TvxPDFObjectStore::ResolveInteger(TvxPDFObject* value) const {
  return ResolveAs<TvxPDFIntegerObject>(value);
}
TvxPDFNameObject* TvxPDFObjectStore::ResolveName(TvxPDFObject* value) const {
  return ResolveAs<TvxPDFNameObject>(value);
}
TvxPDFStringObject* TvxPDFObjectStore::ResolveString(TvxPDFObject* value) const {
  return ResolveAs<TvxPDFStringObject>(value);
}

TvxArrayValue TvxPDFObjectStore::ResolveArray(TvxPDFObject* value) const {
  TvxArrayValue result;
  for (int step = 0; value && step < kMaxResolveSteps; ++step) {
    if (value->IsNull()) return result;
    if (auto* array = As<TvxPDFArrayObject>(value)) {
      result.Array = array;
      return result;
    }
    if (auto* name = As<TvxPDFNameObject>(value)) {
      result.Owned = std::make_unique<TvxPDFArrayObject>();
      result.Owned->Add(name->Clone());
      result.Array = result.Owned.get();
      return result;
    }
    if (auto* ref = As<TvxPDFIndirectReference>(value)) {
      TvxPDFIndirectObject* target = Find(ref);
      if (!target) return result;
      value = target->Content.get();
      continue;
    }
    throw EUnexpectedObjectError(res::SUnexpectedObject);
  }
  return result;
}

}  // namespace vx
