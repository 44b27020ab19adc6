// Removing the document's metadata: the information, the XMP packet and the
// document-level /PieceInfo, together with the objects only they reach, so
// that nothing of them is written as an unreferenced object either.
#include <unordered_set>

#include "pdf/document/vxCstPDFDoc.h"

namespace vx {

namespace {

struct TvxKeyHash {
  size_t operator()(const TvxPDFIndirectObject* o) const { return std::hash<const void*>()(o); }
};
using TvxObjectSet = std::unordered_set<const TvxPDFIndirectObject*, TvxKeyHash>;

// Calls `reached` for every stored object `value` refers to directly (in
// its arrays, dictionaries and stream dictionary, not through references).
template <typename F>
void ForEachReference(const TvxPDFObjectStore& store, const TvxPDFObject* value, F&& reached) {
  if (!value) return;
  if (auto* ref = As<TvxPDFIndirectReference>(value)) {
    if (TvxPDFIndirectObject* object = store.Find(ref)) reached(object);
  } else if (auto* array = As<TvxPDFArrayObject>(value)) {
    if (array->IsPacked()) return;  // numbers only
    for (int i = 0; i < array->Count(); ++i) ForEachReference(store, array->GetItem(i), reached);
  } else if (auto* dict = As<TvxPDFDictObject>(value)) {
    for (int i = 0; i < dict->Count(); ++i) ForEachReference(store, dict->ValueAt(i), reached);
  } else if (auto* stream = As<TvxPDFStreamObject>(value)) {
    ForEachReference(store, stream->Dictionary.get(), reached);
  }
}

// Every stored object reachable from `roots` through references.
TvxObjectSet Closure(const TvxPDFObjectStore& store, const std::vector<const TvxPDFObject*>& roots) {
  TvxObjectSet seen;
  std::vector<const TvxPDFIndirectObject*> pending;
  auto reach = [&](const TvxPDFIndirectObject* object) {
    if (seen.insert(object).second) pending.push_back(object);
  };
  for (const TvxPDFObject* root : roots) ForEachReference(store, root, reach);
  while (!pending.empty()) {
    const TvxPDFIndirectObject* object = pending.back();
    pending.pop_back();
    ForEachReference(store, object->Content.get(), reach);
  }
  return seen;
}

}  // namespace

void TvxCustomPDFDocument::StripMetadata() {
  TvxPDFCatalog& catalog = *catalog_;
  std::vector<TvxPDFObjectPtr> removed;
  if (catalog.MetadataRef) removed.push_back(std::move(catalog.MetadataRef));
  auto& kept = catalog.KeptEntries;
  for (auto it = kept.begin(); it != kept.end();) {
    if (it->first == "/PieceInfo") {
      removed.push_back(std::move(it->second));
      it = kept.erase(it);
    } else {
      ++it;
    }
  }
  info_->Clear();
  metadataStripped_ = true;

  // What only the removed entries reached is no longer written. Whatever
  // else still refers to an object keeps it (and what it reaches).
  std::vector<const TvxPDFObject*> removedRoots;
  for (const auto& value : removed) removedRoots.push_back(value.get());
  const TvxObjectSet gone = Closure(*store_, removedRoots);
  if (gone.empty()) return;
  std::vector<const TvxPDFObject*> others = {catalog.NamesValue.get(),        catalog.OpenActionValue.get(),
                                             catalog.AcroFormValue.get(),     catalog.AdditionalActions.get(),
                                             catalog.LanguageValue.get(),     catalog.ViewerPreferences.Dictionary(),
                                             info_->InfoDict(),               trailer_->EncryptValue.get()};
  for (const auto& [key, value] : kept) others.push_back(value.get());
  for (const auto& object : store_->Objects())
    if (object->UseCount != 0 && !gone.count(object.get())) others.push_back(object->Content.get());
  const TvxObjectSet stillUsed = Closure(*store_, others);
  for (const TvxPDFIndirectObject* object : gone)
    if (!stillUsed.count(object)) const_cast<TvxPDFIndirectObject*>(object)->UseCount = 0;
}

}  // namespace vx
