// One outline (bookmark) item, read from the file at load and written again
// item by item at save with fresh tree links.
#pragma once

#include <memory>
#include <vector>

#include "pdf/objects/vxPDFObjects.h"

namespace vx {

class TvxCustomPDFDocument;

class TvxPDFOutline : public TvxPDFIndirectObject {
 public:
  // `content` is the item's own copy of its dictionary, without tree links
  // (nullptr when nothing else is left).
  TvxPDFOutline(TvxCustomPDFDocument* document, uint32_t documentID, int32_t objectNumber,
                uint16_t generation, std::unique_ptr<TvxPDFDictObject> content);
  ~TvxPDFOutline();
  // A copy of the item alone, as a plain indirect object.
  TvxPDFObjectPtr Clone() const;

  // Items are owned and deleted only as items (a delete through a pointer
  // to an object of the model would free them as plain indirect objects).
  static void operator delete(void* block, size_t size) noexcept { TvxObjectPool::Free(block, size); }

  TvxPDFDictObject* Dictionary() const { return As<TvxPDFDictObject>(Content.get()); }

  TvxCustomPDFDocument* Document;
  bool Closed = false;
  TvxPDFOutline* Parent = nullptr;             // not owned
  std::unique_ptr<TvxPDFOutline> FirstChild;   // owned
  TvxPDFOutline* Previous = nullptr;           // not owned
  std::unique_ptr<TvxPDFOutline> Next;         // owned
};

}  // namespace vx
