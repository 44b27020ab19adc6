// Outlines, named destinations and name trees.
// For now: the objects these structures reference are loaded so that they are
// written again; reading them into the document's own structures follows.
#include "pdf/document/vxCstPDFDoc.h"

namespace vx {

void TvxCustomPDFDocument::ReadDestsDictionary(TvxPDFObject* value) { LoadObjectClosure(value); }

void TvxCustomPDFDocument::ReadNamesDictionary(TvxPDFObject* value) { LoadObjectClosure(value); }

std::unique_ptr<TvxPDFOutline> TvxCustomPDFDocument::ReadOutlines(int32_t) { return nullptr; }

void TvxCustomPDFDocument::BuildOutlines() {}

TvxPDFObjectPtr TvxCustomPDFDocument::FindNamedDestination(std::string_view) const { return nullptr; }

TvxPDFObjectPtr TvxCustomPDFDocument::ResolveDestination(const TvxPDFObject* value) const {
  return value ? value->Clone() : nullptr;
}

}  // namespace vx
