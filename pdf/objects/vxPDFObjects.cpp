#include "pdf/objects/vxPDFObjects.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

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

// One block from the small-object pool: the count and the form, then the
// values in the smallest form that gives every value back exactly:
// - all integers: a 32-bit integer each;
// - integers and reals that are short decimals (0.5, 612, -1.25): a 32-bit
//   whole number each and a code byte each, the code telling an integer
//   from a real and the real's number of decimals;
// - otherwise: a double each and a byte each telling integers from reals.
struct TvxPDFArrayObject::Packed {
  enum Form : uint8_t { kIntegers, kDecimals, kDoubles };
  static constexpr uint8_t kIntegerCode = 0xFF;  // a code byte's value for an integer
  static constexpr int kMaxDecimals = 9;

  uint32_t count;
  Form form;
  uint8_t reserved[3];

  int32_t* Whole() { return reinterpret_cast<int32_t*>(this + 1); }
  uint8_t* Codes() { return reinterpret_cast<uint8_t*>(Whole() + count); }
  double* Doubles() { return reinterpret_cast<double*>(this + 1); }
  uint8_t* IntegerFlags() { return reinterpret_cast<uint8_t*>(Doubles() + count); }

  static size_t Bytes(Form form, uint32_t count) {
    switch (form) {
      case kIntegers: return sizeof(Packed) + sizeof(int32_t) * count;
      case kDecimals: return sizeof(Packed) + (sizeof(int32_t) + 1) * count;
      case kDoubles: break;
    }
    return sizeof(Packed) + (sizeof(double) + 1) * count;
  }
  size_t Bytes() const { return Bytes(form, count); }

  static Packed* Make(Form form, uint32_t count) {
    auto* p = static_cast<Packed*>(TvxObjectPool::Allocate(Bytes(form, count)));
    p->count = count;
    p->form = form;
    return p;
  }
  static void Free(Packed* p) { TvxObjectPool::Free(p, p->Bytes()); }
  Packed* Copy() const {
    Packed* c = Make(form, count);
    std::memcpy(c + 1, this + 1, Bytes() - sizeof(Packed));
    return c;
  }

  // A decimal's value: the whole number divided by a power of ten. Both are
  // exact doubles, so the quotient is the correctly rounded value of the
  // decimal, the same double a correct reading of its text gives.
  static constexpr double kPowers[kMaxDecimals + 1] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
  static double DecimalValue(int32_t whole, int decimals) { return double(whole) / kPowers[decimals]; }
  // The decimal that gives back exactly the bits of `value`, if one does
  // (-0 and values with long fractions do not).
  static bool AsDecimal(double value, int32_t& whole, int& decimals) {
    for (decimals = 0; decimals <= kMaxDecimals; ++decimals) {
      const double scaled = value * kPowers[decimals];
      if (!(std::fabs(scaled) <= double(INT32_MAX))) return false;  // NaN and infinities too
      whole = int32_t(std::llround(scaled));
      const double back = DecimalValue(whole, decimals);
      if (std::memcmp(&back, &value, sizeof(double)) == 0) return true;
    }
    return false;
  }

  bool IsIntegerAt(uint32_t i) {
    switch (form) {
      case kIntegers: return true;
      case kDecimals: return Codes()[i] == kIntegerCode;
      case kDoubles: break;
    }
    return IntegerFlags()[i] != 0;
  }
  double ValueAt(uint32_t i) {
    switch (form) {
      case kIntegers: return Whole()[i];
      case kDecimals: return Codes()[i] == kIntegerCode ? double(Whole()[i]) : DecimalValue(Whole()[i], Codes()[i]);
      case kDoubles: break;
    }
    return Doubles()[i];
  }
};

namespace {
// Unpacking may happen through a const reference from more than one thread
// (save workers reading a shared dictionary); it is rare, so one lock will do.
std::mutex& UnpackLock() {
  static std::mutex lock;
  return lock;
}
}  // namespace

TvxPDFArrayObject::~TvxPDFArrayObject() {
  if (Packed* p = packed_.load()) Packed::Free(p);
}

void TvxPDFArrayObject::Unpack() const {
  std::lock_guard<std::mutex> guard(UnpackLock());
  Packed* p = packed_.load(std::memory_order_acquire);
  if (!p) return;
  ItemList items;
  items.reserve(p->count);
  for (uint32_t i = 0; i < p->count; ++i) {
    if (p->IsIntegerAt(i))
      items.push_back(MakeInteger(int32_t(p->ValueAt(i))));
    else
      items.push_back(MakeReal(p->ValueAt(i)));
  }
  items_ = std::move(items);
  packed_.store(nullptr, std::memory_order_release);
  Packed::Free(p);
}

void TvxPDFArrayObject::PackIfNumeric() {
  if (IsPacked() || items_.size() < kPackThreshold || items_.size() > UINT32_MAX) return;
  // The smallest form that holds every value exactly.
  Packed::Form form = Packed::kIntegers;
  for (const auto& item : items_) {
    if (!item) return;
    if (item->IsInteger()) continue;
    if (!item->IsReal()) return;
    if (form == Packed::kIntegers) form = Packed::kDecimals;
    int32_t whole = 0;
    int decimals = 0;
    if (form == Packed::kDecimals && !Packed::AsDecimal(static_cast<TvxPDFRealObject*>(item.get())->Value, whole, decimals))
      form = Packed::kDoubles;
  }
  const auto count = uint32_t(items_.size());
  Packed* p = Packed::Make(form, count);
  for (uint32_t i = 0; i < count; ++i) {
    const TvxPDFObject* item = items_[i].get();
    const bool isInteger = item->IsInteger();
    const double real = isInteger ? 0.0 : static_cast<const TvxPDFRealObject*>(item)->Value;
    const int32_t integer = isInteger ? static_cast<const TvxPDFIntegerObject*>(item)->Value : 0;
    switch (form) {
      case Packed::kIntegers:
        p->Whole()[i] = integer;
        break;
      case Packed::kDecimals: {
        int decimals = 0;
        if (isInteger) {
          p->Whole()[i] = integer;
          p->Codes()[i] = Packed::kIntegerCode;
        } else {
          Packed::AsDecimal(real, p->Whole()[i], decimals);
          p->Codes()[i] = uint8_t(decimals);
        }
        break;
      }
      case Packed::kDoubles:
        p->Doubles()[i] = isInteger ? double(integer) : real;
        p->IntegerFlags()[i] = isInteger ? 1 : 0;
        break;
    }
  }
  items_ = ItemList();
  packed_.store(p, std::memory_order_release);
}

int TvxPDFArrayObject::Count() const {
  if (Packed* p = packed_.load(std::memory_order_acquire)) return int(p->count);
  return int(items_.size());
}

double TvxPDFArrayObject::NumberAt(int index) const {
  if (Packed* p = packed_.load(std::memory_order_acquire))
    return index >= 0 && uint32_t(index) < p->count ? p->ValueAt(uint32_t(index)) : 0;
  TvxPDFObject* item = GetItem(index);
  if (auto* n = As<TvxPDFIntegerObject>(item)) return n->Value;
  if (auto* r = As<TvxPDFRealObject>(item)) return r->Value;
  return 0;
}

bool TvxPDFArrayObject::IsIntegerAt(int index) const {
  if (Packed* p = packed_.load(std::memory_order_acquire))
    return index >= 0 && uint32_t(index) < p->count && p->IsIntegerAt(uint32_t(index));
  TvxPDFObject* item = GetItem(index);
  return item && item->IsInteger();
}

TvxPDFObjectPtr TvxPDFArrayObject::Clone() const {
  auto copy = std::make_unique<TvxPDFArrayObject>();
  if (Packed* p = packed_.load(std::memory_order_acquire)) {
    copy->packed_.store(p->Copy());
    return copy;
  }
  copy->items_.reserve(items_.size());
  for (const auto& item : items_) copy->items_.push_back(item ? item->Clone() : nullptr);
  return copy;
}

int TvxPDFArrayObject::Add(TvxPDFObjectPtr object) {
  Items().push_back(std::move(object));
  return Count() - 1;
}

int TvxPDFArrayObject::AddInteger(int32_t value) { return Add(MakeInteger(value)); }

void TvxPDFArrayObject::Insert(int index, TvxPDFObjectPtr object) {
  auto& items = Items();
  if (index < 0 || index > int(items.size())) throw EListError(Format(res::SListIndexError, {index}));
  items.insert(items.begin() + index, std::move(object));
}

TvxPDFObjectPtr TvxPDFArrayObject::PutItem(int index, TvxPDFObjectPtr object) {
  auto& items = Items();
  if (index < 0 || index >= int(items.size())) throw EListError(Format(res::SListIndexError, {index}));
  std::swap(items[size_t(index)], object);
  return object;
}

void TvxPDFArrayObject::Delete(int index) {
  auto& items = Items();
  if (index < 0 || index >= int(items.size())) throw EListError(Format(res::SListIndexError, {index}));
  items.erase(items.begin() + index);
}

// ------------------------------------------------------------------ dictionary

namespace {

// Hash indexes of large dictionaries: key text -> first position. Keys are
// shared or heap-held texts, so the views stay valid when entries move.
using DictIndex = std::unordered_map<std::string_view, int>;

struct IndexTable {
  std::mutex lock;
  std::unordered_map<const TvxPDFDictObject*, std::unique_ptr<DictIndex>> indexes;
};

IndexTable& Indexes() {
  static IndexTable* table = new IndexTable;  // lives as long as the process
  return *table;
}

}  // namespace

void TvxPDFDictObject::ForgetIndex() const {
  IndexTable& table = Indexes();
  std::lock_guard<std::mutex> guard(table.lock);
  table.indexes.erase(this);
  indexed_ = false;
}

const TvxPDFDictObject::Entry& TvxPDFDictObject::EntryAt(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format(res::SListIndexError, {index}));
  return entries_[size_t(index)];
}

TvxPDFObjectPtr TvxPDFDictObject::Clone() const {
  auto copy = std::make_unique<TvxPDFDictObject>();
  copy->entries_.reserve(entries_.size());
  for (const auto& e : entries_) copy->entries_.push_back({e.Key, e.Value ? e.Value->Clone() : nullptr});
  return copy;
}

void TvxPDFDictObject::Add(std::string key, TvxPDFObjectPtr value) {
  entries_.push_back({TvxKey(key), std::move(value)});
  if (indexed_) {
    IndexTable& table = Indexes();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.indexes.find(this);
    if (it != table.indexes.end()) it->second->try_emplace(entries_.back().Key.Text(), Count() - 1);
  }
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
  IndexTable& table = Indexes();
  std::lock_guard<std::mutex> guard(table.lock);
  std::unique_ptr<DictIndex>& index = table.indexes[this];
  if (!index) {
    index = std::make_unique<DictIndex>();
    index->reserve(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i) index->try_emplace(entries_[i].Key.Text(), int(i));
    indexed_ = true;
  }
  auto it = index->find(key);
  return it == index->end() ? -1 : it->second;
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
