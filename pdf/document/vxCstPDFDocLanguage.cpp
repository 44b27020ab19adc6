// The document's language (/Lang) and the names written for page mode and
// layout: catalog values with a text form of their own.
#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxLanguageTag.h"
#include "pdf/util/vxPDFUtils.h"
#include "pdf/util/vxUtils.h"

namespace vx {

std::string TvxCustomPDFDocument::PageModeText() const {
  if (pageMode_ != pmNone && pageMode_ < kPageModeCount) return PageModeNames[pageMode_];
  // An enumeration value outside the table (which no setter produces)
  // counts as the default.
  return pageMode_ == pmNone && catalog_ ? catalog_->ForeignPageMode : std::string();
}

std::string TvxCustomPDFDocument::PageLayoutText() const {
  if (pageLayout_ != plNone && pageLayout_ < kPageLayoutCount) return PageLayoutNames[pageLayout_];
  return pageLayout_ == plNone && catalog_ ? catalog_->ForeignPageLayout : std::string();
}

std::string TvxCustomPDFDocument::Language() const {
  if (!catalog_ || !catalog_->LanguageValue) return std::string();
  auto* s = As<TvxPDFStringObject>(store_->Resolve(catalog_->LanguageValue.get()));
  if (!s) return std::string();
  const std::string bytes = s->IsHex ? HexToBytes(s->Contents()) : s->Contents();
  if (bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFE && uint8_t(bytes[1]) == 0xFF)
    return Utf16ToUtf8(DecodeTextString(bytes));
  return Utf16ToUtf8(AnsiToWide(bytes));
}

void TvxCustomPDFDocument::SetLanguage(const std::string& tag) {
  // The same tag keeps the loaded value as it is.
  if (tag == Language() && (!tag.empty() || !catalog_->LanguageValue)) return;
  if (!tag.empty()) {
    if (std::string problem = LanguageTagProblem(tag); !problem.empty())
      throw EInvalidLanguageTag("\"" + tag + "\" is not a language tag (like en, de-DE or zh-Hant-TW): " + problem);
    catalog_->LanguageValue = std::make_unique<TvxPDFStringObject>("(" + tag + ")");
  } else {
    catalog_->LanguageValue.reset();
  }
  // The XMP packet's dc:language follows.
  info_->MarkChanged("/Lang");
}

}  // namespace vx
