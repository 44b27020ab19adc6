#include "pdf/document/vxPDFOutline.h"

#include <vector>

namespace vx {

TvxPDFOutline::TvxPDFOutline(TvxCustomPDFDocument* document, uint32_t documentID, int32_t objectNumber,
                             uint16_t generation, std::unique_ptr<TvxPDFDictObject> content)
    : TvxPDFIndirectObject(otIndirectObject), Document(document) {
  DocumentID = documentID;
  ObjectNumber = objectNumber;
  Generation = generation;
  Content = std::move(content);
}

TvxPDFOutline::~TvxPDFOutline() {
  // Siblings and children form long chains: free them iteratively so that a
  // long outline cannot exhaust the call stack.
  std::vector<std::unique_ptr<TvxPDFOutline>> pending;
  if (FirstChild) pending.push_back(std::move(FirstChild));
  if (Next) pending.push_back(std::move(Next));
  while (!pending.empty()) {
    std::unique_ptr<TvxPDFOutline> item = std::move(pending.back());
    pending.pop_back();
    if (item->FirstChild) pending.push_back(std::move(item->FirstChild));
    if (item->Next) pending.push_back(std::move(item->Next));
  }
}

TvxPDFObjectPtr TvxPDFOutline::Clone() const {
  // A copy of this item alone, as an indirect object (links are not copied).
  auto copy = std::make_unique<TvxPDFIndirectObject>(DocumentID, ObjectNumber, Generation,
                                                     Content ? Content->Clone() : nullptr);
  copy->NewNumber = NewNumber;
  copy->UseCount = UseCount;
  return copy;
}

}  // namespace vx
