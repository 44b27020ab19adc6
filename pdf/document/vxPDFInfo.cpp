#include "pdf/document/vxPDFInfo.h"

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/util/vxPDFUtils.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

template <typename T>
std::optional<T> XmpValue(const std::optional<T>* member) {
  return member ? *member : std::nullopt;
}

}  // namespace

TvxPDFInfo::TvxPDFInfo(TvxCustomPDFDocument& document)
    : document_(document), dict_(std::make_unique<TvxPDFDictObject>()) {}

void TvxPDFInfo::SetInfoDict(std::unique_ptr<TvxPDFDictObject> dict) {
  dict_ = dict ? std::move(dict) : std::make_unique<TvxPDFDictObject>();
}

std::u16string TvxPDFInfo::GetText(const std::u16string& cached, std::string_view key) const {
  if (!cached.empty()) return cached;
  auto* s = As<TvxPDFStringObject>(dict_->Find(key));
  if (!s) return std::u16string();
  return TextStringToUnicode(s->IsHex ? HexToBytes(s->Contents()) : s->Contents());
}

std::string TvxPDFInfo::GetDate(const std::string& cached, std::string_view key) const {
  if (!cached.empty()) return cached;
  auto* s = As<TvxPDFStringObject>(dict_->Find(key));
  if (!s) return std::string();  // absent, or a kind that holds no text
  if (!s->Text.empty() && s->Text[0] == '<') return HexToBytes(s->Text);
  return s->Contents();
}

std::u16string TvxPDFInfo::InfoText(std::string_view key) const {
  const std::u16string* cached = key == "/Title"      ? &title_
                                 : key == "/Author"   ? &author_
                                 : key == "/Subject"  ? &subject_
                                 : key == "/Keywords" ? &keywords_
                                 : key == "/Creator"  ? &creator_
                                 : key == "/Producer" ? &producer_
                                                      : nullptr;
  return GetText(cached ? *cached : std::u16string(), key);
}

std::string TvxPDFInfo::InfoDate(std::string_view key) const {
  const std::string* cached = key == "/CreationDate" ? &creationDate_ : key == "/ModDate" ? &modDate_ : nullptr;
  return GetDate(cached ? *cached : std::string(), key);
}

void TvxPDFInfo::SetText(std::u16string& cached, std::string_view key, const std::u16string& value) {
  if (value != OrXmp(GetText(cached, key), key, XmpValue(xmp_ ? xmp_->Text(key) : nullptr))) MarkChanged(key);
  cached = value;
  dict_->SetValue(key, MakeName("(" + document_.EncodeTextString(value, 2) + ")"));
}

void TvxPDFInfo::SetDate(std::string& cached, std::string_view key, const std::string& value) {
  if (value != OrXmp(GetDate(cached, key), key, XmpValue(xmp_ ? xmp_->Date(key) : nullptr))) MarkChanged(key);
  cached = value;
  dict_->SetValue(key, MakeName("(" + document_.EncodeTextString(AnsiToWide(value), 2) + ")"));
}

}  // namespace vx
