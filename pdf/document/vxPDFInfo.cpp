#include "pdf/document/vxPDFInfo.h"

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/util/vxExceptions.h"
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
  if (!cached) {
    auto it = custom_.find(key);
    if (it != custom_.end()) cached = &it->second;
  }
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

// ------------------------------------------------ trapping and custom keys

namespace {

constexpr const char* kStandardNames[] = {"Title",   "Author",   "Subject",      "Keywords", "Creator",
                                          "Producer", "CreationDate", "ModDate", "Trapped"};
const char* const kTrappedNames[] = {"", "/True", "/False", "/Unknown"};

// A byte a name holds as itself; any other is written #xx.
bool RegularNameByte(unsigned char c) {
  return c > 0x20 && c < 0x7F && c != '#' && c != '/' && c != '(' && c != ')' && c != '<' && c != '>' && c != '[' &&
         c != ']' && c != '{' && c != '}' && c != '%';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A key as the name it spells: without the slash, #xx escapes resolved.
std::string KeyName(std::string_view key) {
  std::string name;
  for (size_t i = 1; i < key.size(); ++i) {
    if (key[i] == '#' && i + 2 < key.size() && HexDigit(key[i + 1]) >= 0 && HexDigit(key[i + 2]) >= 0) {
      name += char(HexDigit(key[i + 1]) * 16 + HexDigit(key[i + 2]));
      i += 2;
    } else {
      name += key[i];
    }
  }
  return name;
}

}  // namespace

bool TvxPDFInfo::IsStandardKey(std::string_view name) {
  for (const char* standard : kStandardNames)
    if (name == standard) return true;
  return false;
}

std::string TvxPDFInfo::CustomNameProblem(const std::string& name) {
  if (name.empty()) return "a property needs a name";
  if (IsStandardKey(name)) return name + " is a standard key, set through its own setting";
  if (name.find('\0') != std::string::npos) return "a property name cannot hold a zero byte";
  return std::string();
}

std::string TvxPDFInfo::CustomName(std::string_view key) { return KeyName(key); }

std::string TvxPDFInfo::CustomKey(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string key = "/";
  for (unsigned char c : name) {
    if (RegularNameByte(c)) {
      key += char(c);
    } else {
      key += '#';
      key += kHex[c >> 4];
      key += kHex[c & 15];
    }
  }
  return key;
}

TvxTrapped TvxPDFInfo::Trapped() const {
  const TvxPDFObject* value = dict_->Find("/Trapped");
  // Older files write it as a boolean or a text.
  if (auto* b = As<TvxPDFBooleanObject>(value)) return b->Value ? trTrue : trFalse;
  std::string text;
  if (auto* n = As<TvxPDFNameObject>(value)) text = n->Value();
  if (auto* s = As<TvxPDFStringObject>(value)) text = s->Contents();
  if (text == "True") return trTrue;
  if (text == "False") return trFalse;
  if (text == "Unknown") return trUnknown;
  return trUnset;
}

void TvxPDFInfo::SetTrapped(TvxTrapped v) {
  if (v == Trapped() && (v != trUnset || !dict_->Find("/Trapped"))) return;
  if (v == trUnset || v > trUnknown)
    dict_->Remove("/Trapped");
  else
    dict_->SetValue("/Trapped", MakeName(kTrappedNames[v]));
  MarkChanged("/Trapped");
}

std::vector<std::pair<std::string, std::u16string>> TvxPDFInfo::CustomProperties() const {
  std::vector<std::pair<std::string, std::u16string>> list;
  for (int i = 0; i < dict_->Count(); ++i) {
    const std::string& key = dict_->KeyAt(i);
    const std::string name = KeyName(key);
    if (IsStandardKey(name) || dict_->IndexOf(key) != i) continue;
    if (custom_.count(key) || As<TvxPDFStringObject>(dict_->ValueAt(i))) list.emplace_back(name, InfoText(key));
  }
  return list;
}

void TvxPDFInfo::SetCustomProperty(const std::string& name, const std::u16string& value) {
  if (std::string problem = CustomNameProblem(name); !problem.empty()) throw EInvalidPropertyName(problem);
  const std::string key = CustomKey(name);
  if (!dict_->Find(key) || InfoText(key) != value) MarkChanged(key);
  custom_[key] = value;
  dict_->SetValue(key, MakeName("(" + document_.EncodeTextString(value, 2) + ")"));
}

void TvxPDFInfo::RemoveCustomProperty(const std::string& name) {
  if (std::string problem = CustomNameProblem(name); !problem.empty()) throw EInvalidPropertyName(problem);
  const std::string key = CustomKey(name);
  if (!dict_->Find(key)) return;
  dict_->Remove(key);
  custom_.erase(key);
  MarkChanged(key);
}

void TvxPDFInfo::EncodeCustomFor(int32_t objectNumber) {
  for (const auto& [key, value] : custom_)
    if (As<TvxPDFNameObject>(dict_->Find(key)))
      dict_->SetValue(key, MakeName("(" + document_.EncodeTextString(value, objectNumber) + ")"));
}

void TvxPDFInfo::Clear() {
  for (int i = 0; i < dict_->Count(); ++i) MarkChanged(dict_->KeyAt(i));
  dict_ = std::make_unique<TvxPDFDictObject>();
  title_.clear(), author_.clear(), subject_.clear(), keywords_.clear(), creator_.clear(), producer_.clear();
  creationDate_.clear(), modDate_.clear();
  custom_.clear();
  xmp_.reset();
}

}  // namespace vx
