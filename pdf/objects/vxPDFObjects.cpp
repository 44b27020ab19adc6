#include "pdf/objects/vxPDFObjects.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <type_traits>
#include <unordered_map>
#include <utility>

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

namespace {

// Calls `action` with the object as its own class.
template <typename Action>
decltype(auto) WithKind(TvxPDFObject* object, Action&& action) {
  switch (object->ObjectType) {
    case otBoolean: return action(static_cast<TvxPDFBooleanObject*>(object));
    case otInteger: return action(static_cast<TvxPDFIntegerObject*>(object));
    case otInt64: return action(static_cast<TvxPDFInt64Object*>(object));
    case otReal: return action(static_cast<TvxPDFRealObject*>(object));
    case otString: return action(static_cast<TvxPDFStringObject*>(object));
    case otName: return action(static_cast<TvxPDFNameObject*>(object));
    case otArray: return action(static_cast<TvxPDFArrayObject*>(object));
    case otDictionary: return action(static_cast<TvxPDFDictObject*>(object));
    case otStream: return action(static_cast<TvxPDFStreamObject*>(object));
    case otNull: return action(static_cast<TvxPDFNullObject*>(object));
    case otIndirectReference: return action(static_cast<TvxPDFIndirectReference*>(object));
    case otIndirectObject: break;
  }
  return action(static_cast<TvxPDFIndirectObject*>(object));
}

}  // namespace

TvxPDFObjectPtr TvxPDFObject::Clone() const {
  return WithKind(const_cast<TvxPDFObject*>(this), [](auto* object) { return std::as_const(*object).Clone(); });
}

void TvxPDFObject::operator delete(TvxPDFObject* object, std::destroying_delete_t) noexcept {
  WithKind(object, [](auto* typed) {
    using T = std::remove_pointer_t<decltype(typed)>;
    typed->~T();
    TvxObjectPool::Free(typed, sizeof(T));
  });
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
  return TextStringToUnicode(Contents());
}

// ----------------------------------------------------------------------- array

// Packed numbers: a block from the small-object pool holding the values in
// the smallest form that gives every value back exactly:
// - all integers: a 32-bit integer each;
// - integers and reals that are short decimals (0.5, 612, -1.25): a 32-bit
//   whole number each, then a code byte each telling an integer from a real
//   and the real's number of decimals;
// - otherwise: a double each, then a byte each telling integers from reals.
// The form and the count are kept by the array.
class TvxPDFArrayObject::Packed {
 public:
  enum Form : uint8_t { kIntegers, kDecimals, kDoubles };
  static constexpr uint8_t kIntegerCode = 0xFF;  // a code byte's value for an integer
  static constexpr int kMaxDecimals = 9;

  Packed(void* block, uint8_t form, uint32_t count) : block_(block), form_(Form(form)), count_(count) {}

  static size_t Bytes(Form form, uint32_t count) {
    switch (form) {
      case kIntegers: return sizeof(int32_t) * size_t(count);
      case kDecimals: return (sizeof(int32_t) + 1) * size_t(count);
      case kDoubles: break;
    }
    return (sizeof(double) + 1) * size_t(count);
  }
  static Packed Make(Form form, uint32_t count) {
    return Packed(TvxObjectPool::Allocate(Bytes(form, count)), form, count);
  }
  void Free() const { TvxObjectPool::Free(block_, Bytes(form_, count_)); }
  Packed Copy() const {
    Packed copy = Make(form_, count_);
    std::memcpy(copy.block_, block_, Bytes(form_, count_));
    return copy;
  }
  void* Block() const { return block_; }
  uint32_t Count() const { return count_; }

  int32_t* Whole() const { return static_cast<int32_t*>(block_); }
  uint8_t* Codes() const { return reinterpret_cast<uint8_t*>(Whole() + count_); }
  double* Doubles() const { return static_cast<double*>(block_); }
  uint8_t* IntegerFlags() const { return reinterpret_cast<uint8_t*>(Doubles() + count_); }

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

  bool IsIntegerAt(uint32_t i) const {
    switch (form_) {
      case kIntegers: return true;
      case kDecimals: return Codes()[i] == kIntegerCode;
      case kDoubles: break;
    }
    return IntegerFlags()[i] != 0;
  }
  double ValueAt(uint32_t i) const {
    switch (form_) {
      case kIntegers: return Whole()[i];
      case kDecimals: return Codes()[i] == kIntegerCode ? double(Whole()[i]) : DecimalValue(Whole()[i], Codes()[i]);
      case kDoubles: break;
    }
    return Doubles()[i];
  }

 private:
  void* block_;
  Form form_;
  uint32_t count_;
};

namespace {
// Making the list may happen through a const reference from more than one
// thread (save workers reading a shared dictionary); it is rare, so one lock
// will do.
std::mutex& ListLock() {
  static std::mutex lock;
  return lock;
}

// Element lists are separate small blocks, so that a packed array does not
// carry an empty one.
using ItemList = TvxPDFArrayObject::ItemList;
ItemList* NewList() { return new (TvxObjectPool::Allocate(sizeof(ItemList))) ItemList(); }
void DeleteList(ItemList* list) {
  list->~ItemList();
  TvxObjectPool::Free(list, sizeof(ItemList));
}

// Packed blocks of arrays unpacked since, by array; guarded by ListLock.
std::unordered_map<const TvxPDFArrayObject*, void*>& RetiredBlocks() {
  static std::unordered_map<const TvxPDFArrayObject*, void*> blocks;
  return blocks;
}
}  // namespace

void TvxPDFArrayObject::FreeRetiredBlock() {
  if (!keepsRetiredBlock_) return;
  void* block = nullptr;
  {
    std::lock_guard<std::mutex> guard(ListLock());
    auto found = RetiredBlocks().find(this);
    block = found->second;
    RetiredBlocks().erase(found);
  }
  Packed(block, packedForm_, packedCount_).Free();
  keepsRetiredBlock_ = false;
}

TvxPDFArrayObject::Packed TvxPDFArrayObject::PackedNumbers(uintptr_t rep) const {
  return Packed(reinterpret_cast<void*>(rep & ~kPackedTag), packedForm_, packedCount_);
}

TvxPDFArrayObject::~TvxPDFArrayObject() {
  FreeRetiredBlock();
  const uintptr_t rep = rep_.load();
  if (rep & kPackedTag)
    PackedNumbers(rep).Free();
  else if (rep != 0)
    DeleteList(reinterpret_cast<ItemList*>(rep));
}

const TvxPDFArrayObject::ItemList& TvxPDFArrayObject::MakeList() const {
  uintptr_t rep = rep_.load(std::memory_order_acquire);
  if (rep == 0) {
    // An empty array (every array the parser makes starts so): no lock.
    ItemList* list = NewList();
    if (rep_.compare_exchange_strong(rep, reinterpret_cast<uintptr_t>(list), std::memory_order_acq_rel,
                                     std::memory_order_acquire))
      return *list;
    DeleteList(list);  // another thread made one meanwhile
  }
  std::lock_guard<std::mutex> guard(ListLock());
  rep = rep_.load(std::memory_order_acquire);
  if (rep != 0 && (rep & kPackedTag) == 0) return *reinterpret_cast<const ItemList*>(rep);
  ItemList* list = NewList();
  if (rep & kPackedTag) {
    const Packed p = PackedNumbers(rep);
    try {
      list->reserve(p.Count());
      for (uint32_t i = 0; i < p.Count(); ++i) {
        if (p.IsIntegerAt(i))
          list->push_back(MakeInteger(int32_t(p.ValueAt(i))));
        else
          list->push_back(MakeReal(p.ValueAt(i)));
      }
    } catch (...) {
      DeleteList(list);
      throw;
    }
    rep_.store(reinterpret_cast<uintptr_t>(list), std::memory_order_release);
    // Not freed yet: a NumberAt on another thread may have read the packed
    // form just before and still be reading the block.
    RetiredBlocks().emplace(this, p.Block());
    keepsRetiredBlock_ = true;
  } else {
    rep_.store(reinterpret_cast<uintptr_t>(list), std::memory_order_release);
  }
  return *list;
}

void TvxPDFArrayObject::PackIfNumeric() {
  const uintptr_t rep = rep_.load(std::memory_order_acquire);
  if (rep == 0 || (rep & kPackedTag)) return;
  const ItemList& items = *reinterpret_cast<const ItemList*>(rep);
  if (items.size() < kPackThreshold || items.size() > UINT32_MAX) return;
  // The smallest form that holds every value exactly.
  Packed::Form form = Packed::kIntegers;
  for (const auto& item : items) {
    if (!item) return;
    if (item->IsInteger()) continue;
    if (!item->IsReal()) return;
    if (form == Packed::kIntegers) form = Packed::kDecimals;
    int32_t whole = 0;
    int decimals = 0;
    if (form == Packed::kDecimals && !Packed::AsDecimal(static_cast<TvxPDFRealObject*>(item.get())->Value, whole, decimals))
      form = Packed::kDoubles;
  }
  const auto count = uint32_t(items.size());
  FreeRetiredBlock();  // packing changes the form and count it is sized by
  const Packed p = Packed::Make(form, count);
  for (uint32_t i = 0; i < count; ++i) {
    const TvxPDFObject* item = items[i].get();
    const bool isInteger = item->IsInteger();
    const double real = isInteger ? 0.0 : static_cast<const TvxPDFRealObject*>(item)->Value;
    const int32_t integer = isInteger ? static_cast<const TvxPDFIntegerObject*>(item)->Value : 0;
    switch (form) {
      case Packed::kIntegers:
        p.Whole()[i] = integer;
        break;
      case Packed::kDecimals: {
        int decimals = 0;
        if (isInteger) {
          p.Whole()[i] = integer;
          p.Codes()[i] = Packed::kIntegerCode;
        } else {
          Packed::AsDecimal(real, p.Whole()[i], decimals);
          p.Codes()[i] = uint8_t(decimals);
        }
        break;
      }
      case Packed::kDoubles:
        p.Doubles()[i] = isInteger ? double(integer) : real;
        p.IntegerFlags()[i] = isInteger ? 1 : 0;
        break;
    }
  }
  DeleteList(reinterpret_cast<ItemList*>(rep));
  packedForm_ = form;
  packedCount_ = count;
  rep_.store(reinterpret_cast<uintptr_t>(p.Block()) | kPackedTag, std::memory_order_release);
}

int TvxPDFArrayObject::Count() const {
  const uintptr_t rep = rep_.load(std::memory_order_acquire);
  if (rep & kPackedTag) return int(packedCount_);
  return rep ? int(reinterpret_cast<const ItemList*>(rep)->size()) : 0;
}

double TvxPDFArrayObject::NumberAt(int index) const {
  if (const uintptr_t rep = rep_.load(std::memory_order_acquire); rep & kPackedTag)
    return index >= 0 && uint32_t(index) < packedCount_ ? PackedNumbers(rep).ValueAt(uint32_t(index)) : 0;
  TvxPDFObject* item = GetItem(index);
  if (auto* n = As<TvxPDFIntegerObject>(item)) return n->Value;
  if (auto* r = As<TvxPDFRealObject>(item)) return r->Value;
  return 0;
}

bool TvxPDFArrayObject::IsIntegerAt(int index) const {
  if (const uintptr_t rep = rep_.load(std::memory_order_acquire); rep & kPackedTag)
    return index >= 0 && uint32_t(index) < packedCount_ && PackedNumbers(rep).IsIntegerAt(uint32_t(index));
  TvxPDFObject* item = GetItem(index);
  return item && item->IsInteger();
}

TvxPDFObjectPtr TvxPDFArrayObject::Clone() const {
  auto copy = std::make_unique<TvxPDFArrayObject>();
  if (const uintptr_t rep = rep_.load(std::memory_order_acquire); rep & kPackedTag) {
    const Packed p = PackedNumbers(rep).Copy();
    copy->packedForm_ = packedForm_;
    copy->packedCount_ = packedCount_;
    copy->rep_.store(reinterpret_cast<uintptr_t>(p.Block()) | kPackedTag);
    return copy;
  }
  const ItemList& items = Items();
  ItemList& copied = copy->Items();
  copied.reserve(items.size());
  for (const auto& item : items) copied.push_back(item ? item->Clone() : nullptr);
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
  return data_[size_t(index)];
}

void TvxPDFDictObject::Reallocate(size_t capacity) {
  if (capacity > UINT32_MAX || capacity < size_ || capacity - size_ > UINT16_MAX) throw std::bad_alloc();
  Entry* fresh = capacity ? static_cast<Entry*>(TvxObjectPool::Allocate(capacity * sizeof(Entry))) : nullptr;
  for (uint32_t i = 0; i < size_; ++i) {
    new (fresh + i) Entry(std::move(data_[i]));
    data_[i].~Entry();
  }
  if (data_) TvxObjectPool::Free(data_, Capacity() * sizeof(Entry));
  data_ = fresh;
  slack_ = uint16_t(capacity - size_);
}

void TvxPDFDictObject::PushBack(Entry&& entry) {
  // Doubling, but never by more than the slack can count.
  if (slack_ == 0) Reallocate(size_t(size_) + std::clamp<size_t>(size_, 4, UINT16_MAX));
  new (data_ + size_) Entry(std::move(entry));
  ++size_;
  --slack_;
}

void TvxPDFDictObject::EraseAt(size_t index) {
  if (slack_ == UINT16_MAX) Reallocate(size_);
  std::move(data_ + index + 1, data_ + size_, data_ + index);
  data_[--size_].~Entry();
  ++slack_;
}

void TvxPDFDictObject::FreeEntries() {
  for (uint32_t i = 0; i < size_; ++i) data_[i].~Entry();
  if (data_) TvxObjectPool::Free(data_, Capacity() * sizeof(Entry));
  data_ = nullptr;
  size_ = 0;
  slack_ = 0;
}

void TvxPDFDictObject::AdoptEntries(EntryList&& entries) {
  DropIndex();
  FreeEntries();
  if (entries.capacity() - entries.size() > UINT16_MAX) entries.shrink_to_fit();  // more slack than is counted
  uint32_t size = 0, capacity = 0;
  data_ = entries.release(size, capacity);
  size_ = size;
  slack_ = uint16_t(capacity - size);
}

TvxPDFObjectPtr TvxPDFDictObject::Clone() const {
  auto copy = std::make_unique<TvxPDFDictObject>();
  if (size_ > 0) copy->Reallocate(size_);
  for (const auto& e : Entries()) copy->PushBack({e.Key, e.Value ? e.Value->Clone() : nullptr});
  return copy;
}

void TvxPDFDictObject::Add(std::string key, TvxPDFObjectPtr value) {
  PushBack({TvxKey(key), std::move(value)});
  if (indexed_) {
    IndexTable& table = Indexes();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.indexes.find(this);
    if (it != table.indexes.end()) it->second->try_emplace(data_[size_ - 1].Key.Text(), Count() - 1);
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
  if (size_ < kIndexThreshold) {
    for (size_t i = 0; i < size_; ++i)
      if (data_[i].Key == key) return int(i);
    return -1;
  }
  IndexTable& table = Indexes();
  std::lock_guard<std::mutex> guard(table.lock);
  std::unique_ptr<DictIndex>& index = table.indexes[this];
  if (!index) {
    index = std::make_unique<DictIndex>();
    index->reserve(size_);
    for (size_t i = 0; i < size_; ++i) index->try_emplace(data_[i].Key.Text(), int(i));
    indexed_ = true;
  }
  auto it = index->find(key);
  return it == index->end() ? -1 : it->second;
}

TvxPDFObject* TvxPDFDictObject::Find(std::string_view key) const {
  int i = IndexOf(key);
  return i < 0 ? nullptr : data_[size_t(i)].Value.get();
}

void TvxPDFDictObject::SetValue(std::string_view key, TvxPDFObjectPtr value) {
  int i = IndexOf(key);
  if (i >= 0)
    data_[size_t(i)].Value = std::move(value);
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
  std::swap(data_[size_t(index)].Value, value);
  return value;
}

void TvxPDFDictObject::Delete(int index) {
  if (index < 0 || index >= Count()) throw EListError(Format(res::SListIndexError, {index}));
  DropIndex();
  EraseAt(size_t(index));
}

void TvxPDFDictObject::Remove(std::string_view key) {
  int i = IndexOf(key);
  if (i >= 0) Delete(i);
}

void TvxPDFDictObject::Merge(const TvxPDFDictObject* other) {
  if (!other) return;
  for (const auto& e : other->Entries()) SetValue(e.Key, e.Value ? e.Value->Clone() : nullptr);
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
