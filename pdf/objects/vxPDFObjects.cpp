#include "pdf/objects/vxPDFObjects.h"

#include "pdf/util/vxPDFUtils.h"
#include "pdf/util/vxUtils.h"

namespace vx {

std::string TvxPDFObject::TypeName() const {
  switch (ObjectType) {
    case otBoolean: return "Boolean Object";
    case otInteger: return "Integer Object";
    case otInt64: return "Int64 Object";
    case otReal: return "Real Object";
    case otString: return "String Object";
    case otName: return "Name Object";
    case otArray: return "Array Object";
    case otDictionary: return "Dictionary Object";
    case otStream: return "Stream Object";
    case otNull: return "Null Object";
    case otIndirectReference: return "IndirectReference Object";
    case otIndirectObject: return "Indirect Object";
  }
  return "Object";
}

TvxPDFObjectPtr TvxPDFBooleanObject::Clone() const { return std::make_unique<TvxPDFBooleanObject>(Value); }
TvxPDFObjectPtr TvxPDFIntegerObject::Clone() const { return std::make_unique<TvxPDFIntegerObject>(Value); }
TvxPDFObjectPtr TvxPDFInt64Object::Clone() const { return std::make_unique<TvxPDFInt64Object>(Value); }
TvxPDFObjectPtr TvxPDFRealObject::Clone() const { return std::make_unique<TvxPDFRealObject>(Value); }
std::string TvxPDFRealObject::AsText() const { return RealToText(Value); }
TvxPDFObjectPtr TvxPDFNullObject::Clone() const { return std::make_unique<TvxPDFNullObject>(); }
TvxPDFObjectPtr TvxPDFNameObject::Clone() const { return std::make_unique<TvxPDFNameObject>(Text); }

TvxPDFObjectPtr TvxPDFStringObject::Clone() const {
  return std::make_unique<TvxPDFStringObject>(Text, IsHex);
}

std::string TvxPDFStringObject::Contents() const {
  if (Text.size() < 2) return std::string();
  return Text.substr(1, Text.size() - 2);
}

std::u16string TvxPDFStringObject::WideText() const {
  if (IsHex) return HexTextToUnicode(Contents());
  return AnsiToWide(Contents());
}

// ----------------------------------------------------------------------- array

TvxPDFObjectPtr TvxPDFArrayObject::Clone() const {
  auto copy = std::make_unique<TvxPDFArrayObject>();
  copy->Items.reserve(Items.size());
  for (const auto& item : Items) copy->Items.push_back(item ? item->Clone() : nullptr);
  return copy;
}

int TvxPDFArrayObject::Add(TvxPDFObjectPtr object) {
  Items.push_back(std::move(object));
  return Count() - 1;
}

int TvxPDFArrayObject::AddInteger(int32_t value) { return Add(MakeInteger(value)); }

void TvxPDFArrayObject::Insert(int index, TvxPDFObjectPtr object) {
  if (index < 0 || index > Count()) throw EListError(Format(res::SListIndexError, {index}));
  Items.insert(Items.begin() + index, std::move(object));
}

TvxPDFObjectPtr TvxPDFArrayObject::PutItem(int index, TvxPDFObjectPtr object) {
  if (index < 0 || index >= Count()) throw EListError(Format(res::SListIndexError, {index}));
  std::swap(Items[size_t(index)], object);
  return object;
}

void TvxPDFArrayObject::Delete(int index) {
  if (index < 0 || index >= Count()) throw EListError(Format(res::SListIndexError, {index}));
  Items.erase(Items.begin() + index);
}

// ------------------------------------------------------------------ dictionary

TvxPDFObjectPtr TvxPDFDictObject::Clone() const {
  auto copy = std::make_unique<TvxPDFDictObject>();
  copy->entries_.reserve(entries_.size());
  for (const auto& e : entries_)
    copy->entries_.push_back({e.Key, e.Value ? e.Value->Clone() : nullptr});
  return copy;
}

void TvxPDFDictObject::Add(std::string key, TvxPDFObjectPtr value) {
  // Growing the vector may move the key strings the index views.
  if (index_ && entries_.size() == entries_.capacity()) DropIndex();
  entries_.push_back({std::move(key), std::move(value)});
  if (index_) index_->try_emplace(entries_.back().Key.Text(), Count() - 1);
}

void TvxPDFDictObject::AddName(std::string key, std::string text) {
  if (text.empty()) return;
  Add(std::move(key), MakeName(std::move(text)));
}

void TvxPDFDictObject::AddInteger(std::string key, int32_t value) { Add(std::move(key), MakeInteger(value)); }
void TvxPDFDictObject::AddReal(std::string key, double value) { Add(std::move(key), MakeReal(value)); }
void TvxPDFDictObject::AddInt64(std::string key, int64_t value) {
  Add(std::move(key), std::make_unique<TvxPDFInt64Object>(value));
}

int TvxPDFDictObject::IndexOf(std::string_view key) const {
  if (entries_.size() < kIndexThreshold) {
    for (size_t i = 0; i < entries_.size(); ++i)
      if (entries_[i].Key == key) return int(i);
    return -1;
  }
  if (!index_) {
    index_ = std::make_unique<std::unordered_map<std::string_view, int>>();
    index_->reserve(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i) index_->try_emplace(entries_[i].Key.Text(), int(i));
  }
  auto it = index_->find(key);
  return it == index_->end() ? -1 : it->second;
}

TvxPDFObject* TvxPDFDictObject::Find(std::string_view key) const {
  int i = IndexOf(key);
  return i < 0 ? nullptr : entries_[size_t(i)].Value.get();
}

void TvxPDFDictObject::SetValue(std::string_view key, TvxPDFObjectPtr value) {
  int i = IndexOf(key);
  if (i >= 0)
    entries_[size_t(i)].Value = std::move(value);
  else
    Add(std::string(key), std::move(value));
}

void TvxPDFDictObject::SetName(std::string_view key, std::string text) {
  SetValue(key, MakeName(std::move(text)));
}
void TvxPDFDictObject::SetBoolean(std::string_view key, bool flag) { SetValue(key, MakeBoolean(flag)); }
void TvxPDFDictObject::SetInteger(std::string_view key, int32_t value) { SetValue(key, MakeInteger(value)); }

TvxPDFObjectPtr TvxPDFDictObject::SetValueAt(int index, TvxPDFObjectPtr value) {
  if (index < 0 || index >= Count()) throw EInvalidIndex(res::SIndexOutOfBounds);
  std::swap(entries_[size_t(index)].Value, value);
  return value;
}

void TvxPDFDictObject::Delete(int index) {
  if (index < 0 || index >= Count()) throw EListError(Format(res::SListIndexError, {index}));
  DropIndex();
  entries_.erase(entries_.begin() + index);
}

void TvxPDFDictObject::Remove(std::string_view key) {
  int i = IndexOf(key);
  if (i >= 0) Delete(i);
}

void TvxPDFDictObject::Merge(const TvxPDFDictObject* other) {
  if (!other) return;
  for (const auto& e : other->entries_) SetValue(e.Key, e.Value ? e.Value->Clone() : nullptr);
}

// ---------------------------------------------------------- stream, references

TvxPDFObjectPtr TvxPDFStreamObject::Clone() const {
  auto dict = std::unique_ptr<TvxPDFDictObject>(static_cast<TvxPDFDictObject*>(Dictionary->Clone().release()));
  return std::make_unique<TvxPDFStreamObject>(std::move(dict), Data ? Data->Copy() : nullptr);
}

TvxPDFObjectPtr TvxPDFIndirectReference::Clone() const {
  return std::make_unique<TvxPDFIndirectReference>(DocumentID, ObjectNumber, Generation);
}

TvxPDFObjectPtr TvxPDFIndirectObject::Clone() const {
  auto copy = std::make_unique<TvxPDFIndirectObject>(DocumentID, ObjectNumber, Generation,
                                                     Content ? Content->Clone() : nullptr);
  copy->NewNumber = NewNumber;
  copy->UseCount = UseCount;
  return copy;
}

std::optional<int64_t> IntegerValue(const TvxPDFObject* obj) {
  if (auto* i = As<TvxPDFIntegerObject>(obj)) return i->Value;
  if (auto* i = As<TvxPDFInt64Object>(obj)) return i->Value;
  return std::nullopt;
}

}  // namespace vx
