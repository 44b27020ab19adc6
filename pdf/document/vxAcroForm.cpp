#include "pdf/document/vxAcroForm.h"

namespace vx {

std::unique_ptr<TvxFontInfo> TvxFontInfo::Copy() const {
  auto copy = std::make_unique<TvxFontInfo>();
  copy->ResourceName = ResourceName;
  if (FontReference)
    copy->FontReference.reset(static_cast<TvxPDFIndirectReference*>(FontReference->Clone().release()));
  copy->Font = Font;
  copy->Size = Size;
  copy->ColorOperator = ColorOperator;
  return copy;
}

}  // namespace vx
