// The interactive form. For now: everything the form references is loaded so
// that it is written again; the field list and /NeedAppearances follow.
#include "pdf/document/vxCstPDFDoc.h"

namespace vx {

void TvxCustomPDFDocument::ReadAcroForm(TvxPDFObject* value) { LoadObjectClosure(value); }

void TvxCustomPDFDocument::ApplyNeedAppearances(uint8_t) {}

}  // namespace vx
