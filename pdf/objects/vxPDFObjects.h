// The in-memory model of PDF objects. The model is raw: strings keep their
// delimiters, names their slash and #xx escapes, dictionaries every key in
// file order (duplicates too). What was read is what is written back.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "pdf/objects/vxCompactVector.h"
#include "pdf/objects/vxNameTable.h"
#include "pdf/objects/vxObjectPool.h"
#include "pdf/parsers/vxClasses.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"

namespace vx {

enum TvxPDFObjectType : uint8_t {
  otBoolean = 0,
  otInteger = 1,
  otInt64 = 2,
  otReal = 3,
  otString = 4,
  otName = 5,
  otArray = 6,
  otDictionary = 7,
  otStream = 8,
  otNull = 9,
  otIndirectReference = 10,
  otIndirectObject = 11,
};

class TvxPDFObject;
using TvxPDFObjectPtr = std::unique_ptr<TvxPDFObject>;

// Objects carry no virtual table: a loaded document holds millions of them,
// and the kind byte already tells what each one is. Copying and destroying
// go by the kind instead (Clone, and the destroying operator delete below),
// so an object is deleted whole through a pointer of any class.
class TvxPDFObject {
 public:
  explicit TvxPDFObject(TvxPDFObjectType type) : ObjectType(type) {}
  TvxPDFObject(const TvxPDFObject&) = delete;
  TvxPDFObject& operator=(const TvxPDFObject&) = delete;

  // A new, independent deep copy of the same class.
  TvxPDFObjectPtr Clone() const;

  // Objects come from the small-object pool. A delete destroys the object
  // as its kind says and gives back the block of that kind's size.
  static void* operator new(size_t size) { return TvxObjectPool::Allocate(size); }
  static void operator delete(TvxPDFObject* object, std::destroying_delete_t) noexcept;

  bool IsBoolean() const { return ObjectType == otBoolean; }
  bool IsInteger() const { return ObjectType == otInteger; }
  bool IsInt64() const { return ObjectType == otInt64; }
  bool IsReal() const { return ObjectType == otReal; }
  bool IsString() const { return ObjectType == otString; }
  bool IsName() const { return ObjectType == otName; }
  bool IsArray() const { return ObjectType == otArray; }
  bool IsDictionary() const { return ObjectType == otDictionary; }
  bool IsStream() const { return ObjectType == otStream; }
  bool IsNull() const { return ObjectType == otNull; }
  bool IsReference() const { return ObjectType == otIndirectReference; }
  bool IsIndirectObject() const { return ObjectType == otIndirectObject; }

  // Display name of the kind ("Dictionary Object").
  std::string TypeName() const;

  const TvxPDFObjectType ObjectType;

 protected:
  // Only through a delete of the object (or its own class, for one that is
  // not in the heap): never as the base part of another class alone.
  ~TvxPDFObject() = default;
};

// Typed access. `Cast` raises EInvalidCast ("Invalid class typecast") when the
// object is missing or of another kind; `As` answers nullptr instead.
template <typename T>
T* As(TvxPDFObject* obj) {
  return obj && obj->ObjectType == T::Kind ? static_cast<T*>(obj) : nullptr;
}
template <typename T>
const T* As(const TvxPDFObject* obj) {
  return obj && obj->ObjectType == T::Kind ? static_cast<const T*>(obj) : nullptr;
}
template <typename T>
T& Cast(TvxPDFObject* obj) {
  if (!obj || obj->ObjectType != T::Kind) throw EInvalidCast(res::SInvalidCast);
  return *static_cast<T*>(obj);
}
template <typename T>
const T& Cast(const TvxPDFObject* obj) {
  if (!obj || obj->ObjectType != T::Kind) throw EInvalidCast(res::SInvalidCast);
  return *static_cast<const T*>(obj);
}

class TvxPDFBooleanObject : public TvxPDFObject {
 public:
  static constexpr TvxPDFObjectType Kind = otBoolean;
  explicit TvxPDFBooleanObject(uint8_t value) : TvxPDFObject(Kind), Value(value ? 1 : 0) {}
  TvxPDFObjectPtr Clone() const;
  std::string AsText() const { return Value ? "true" : "false"; }
  uint8_t Value;
};

class TvxPDFIntegerObject : public TvxPDFObject {
 public:
  static constexpr TvxPDFObjectType Kind = otInteger;
  explicit TvxPDFIntegerObject(int32_t value) : TvxPDFObject(Kind), Value(value) {}
  TvxPDFObjectPtr Clone() const;
  std::string AsText() const { return std::to_string(Value); }
  int32_t Value;
};

class TvxPDFInt64Object : public TvxPDFObject {
 public:
  static constexpr TvxPDFObjectType Kind = otInt64;
  explicit TvxPDFInt64Object(int64_t value) : TvxPDFObject(Kind), Value(value) {}
  TvxPDFObjectPtr Clone() const;
  std::string AsText() const { return std::to_string(Value); }
  int64_t Value;
};

class TvxPDFRealObject : public TvxPDFObject {
 public:
  static constexpr TvxPDFObjectType Kind = otReal;
  explicit TvxPDFRealObject(double value) : TvxPDFObject(Kind), Value(value) {}
  TvxPDFObjectPtr Clone() const;
  std::string AsText() const;  // ten decimals, "." whatever the locale
  double Value;
};

class TvxPDFStringObject : public TvxPDFObject {
 public:
  static constexpr TvxPDFObjectType Kind = otString;
  // `text` includes the delimiters: "(" bytes ")" or "<" hex digits ">".
  explicit TvxPDFStringObject(std::string text, bool isHex = false)
      : TvxPDFObject(Kind), IsHex(isHex), Text(std::move(text)) {}
  TvxPDFObjectPtr Clone() const;
  // Text without its first and last character.
  std::string Contents() const;
  // The value as wide text, read as a PDF text string (TextStringToUnicode).
  std::u16string WideText() const;
  bool IsHex;  // first: it sits in the padding after the kind byte
  std::string Text;
};

// Names come from a small vocabulary (/Type, /FlateDecode, /XYZ, ...): the
// text is the name table's shared copy, and only a name the table does not
// share has one of its own. Eight bytes a name.
class TvxPDFNameObject : public TvxPDFObject {
 public:
  static constexpr TvxPDFObjectType Kind = otName;
  explicit TvxPDFNameObject(std::string_view text) : TvxPDFObject(Kind), Text(text) {}
  TvxPDFObjectPtr Clone() const;
  // Text without the slash.
  std::string Value() const { return Text.empty() ? std::string() : Text.substr(1); }
  const TvxNameText Text;  // with the slash and any #xx escapes, as read
};

class TvxPDFArrayObject : public TvxPDFObject {
 public:
  static constexpr TvxPDFObjectType Kind = otArray;
  TvxPDFArrayObject() : TvxPDFObject(Kind) {}
  ~TvxPDFArrayObject();
  TvxPDFObjectPtr Clone() const;

  // The elements as objects. Arrays made only of numbers (boxes, matrices,
  // colours, widths) are held packed, at a fraction of the memory, until
  // something asks for their objects; this unpacks them.
  using ItemList = TvxCompactVector<TvxPDFObjectPtr>;
  ItemList& Items() { return const_cast<ItemList&>(std::as_const(*this).Items()); }
  const ItemList& Items() const {
    const uintptr_t rep = rep_.load(std::memory_order_acquire);
    if (rep != 0 && (rep & kPackedTag) == 0) return *reinterpret_cast<const ItemList*>(rep);
    return MakeList();
  }

  int Add(TvxPDFObjectPtr object);  // answers the new index
  int AddInteger(int32_t value);
  int Count() const;
  // The element at `index`, or nullptr outside the list.
  TvxPDFObject* GetItem(int index) const {
    const auto& items = Items();
    return index >= 0 && index < int(items.size()) ? items[size_t(index)].get() : nullptr;
  }
  void Insert(int index, TvxPDFObjectPtr object);
  // Replaces the element and hands the previous one back to the caller.
  TvxPDFObjectPtr PutItem(int index, TvxPDFObjectPtr object);
  void Delete(int index);

  // Packed numbers: the array holds only integers and reals, and no objects
  // until asked. Reading them this way never unpacks.
  bool IsPacked() const { return rep_.load(std::memory_order_acquire) & kPackedTag; }
  double NumberAt(int index) const;
  bool IsIntegerAt(int index) const;
  // Packs the array when it holds only numbers.
  void PackIfNumeric();
  static constexpr size_t kPackThreshold = 1;

 private:
  class Packed;
  static constexpr uintptr_t kPackedTag = 1;
  // The element list, made on first use (from the packed numbers, if any).
  const ItemList& MakeList() const;
  Packed PackedNumbers(uintptr_t rep) const;
  void FreeRetiredBlock();

  // The form and count of packed numbers; they sit in the padding after the
  // kind byte and do not change once the array is packed.
  uint8_t packedForm_ = 0;
  // Set when the array was unpacked: its packed block is kept until the
  // array dies or is packed again, for readers of NumberAt on other threads
  // that may still hold it (see MakeList).
  mutable bool keepsRetiredBlock_ = false;
  uint32_t packedCount_ = 0;
  // Owned: nothing (an empty array), the element list, or the packed numbers'
  // block with kPackedTag set. Atomic because the list can be made through a
  // const reference while another thread reads the same shared array.
  mutable std::atomic<uintptr_t> rep_{0};
};

class TvxPDFDictObject : public TvxPDFObject {
 public:
  static constexpr TvxPDFObjectType Kind = otDictionary;
  struct Entry {
    TvxKey Key;  // with its slash, exactly as read
    TvxPDFObjectPtr Value;
  };

  TvxPDFDictObject() : TvxPDFObject(Kind) {}
  TvxPDFObjectPtr Clone() const;

  int Count() const { return int(size_); }
  // Appends a pair; never looks for an existing key.
  void Add(std::string key, TvxPDFObjectPtr value);
  void AddName(std::string key, std::string text);  // nothing when text is empty
  void AddInteger(std::string key, int32_t value);
  void AddReal(std::string key, double value);
  void AddInt64(std::string key, int64_t value);
  void AddObject(std::string key, TvxPDFObjectPtr value) { Add(std::move(key), std::move(value)); }

  // Position of the first pair with exactly this key, or -1.
  int IndexOf(std::string_view key) const;
  // Value of the first pair with this key, or nullptr.
  TvxPDFObject* Find(std::string_view key) const;
  // Out of range raises "List index out of bounds (%d)".
  const std::string& KeyAt(int index) const { return EntryAt(index).Key.Text(); }
  TvxPDFObject* ValueAt(int index) const { return EntryAt(index).Value.get(); }

  // Replaces (and destroys) the value of the first pair with this key, or
  // appends the pair when the key is missing.
  void SetValue(std::string_view key, TvxPDFObjectPtr value);
  void SetName(std::string_view key, std::string text);
  void SetBoolean(std::string_view key, bool flag);
  void SetInteger(std::string_view key, int32_t value);
  // Puts `value` at `index` and hands the previous value back; EInvalidIndex
  // "Index Out Of Bounds!" beyond the end.
  TvxPDFObjectPtr SetValueAt(int index, TvxPDFObjectPtr value);
  void Delete(int index);
  void Remove(std::string_view key);
  // SetValue of a clone of every pair of `other`, in order.
  void Merge(const TvxPDFDictObject* other);

  // The pairs in order, as a range (for, size, []) valid until the
  // dictionary changes.
  class EntryRange {
   public:
    EntryRange(const Entry* first, size_t count) : first_(first), count_(count) {}
    const Entry* begin() const { return first_; }
    const Entry* end() const { return first_ + count_; }
    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    const Entry& operator[](size_t i) const { return first_[i]; }

   private:
    const Entry* first_;
    size_t count_;
  };
  EntryRange Entries() const { return EntryRange(data_, size_); }
  // Takes all pairs at once (the parser builds them aside, so the list gets
  // its exact size).
  using EntryList = TvxCompactVector<Entry>;
  void AdoptEntries(EntryList&& entries);
  ~TvxPDFDictObject() {
    DropIndex();
    FreeEntries();
  }

 private:
  // Dictionaries are usually small and scanned; large ones get a hash index
  // of first positions, built on first lookup and kept in step after that.
  // The indexes live in a table of their own, so that every dictionary does
  // not pay for a pointer to one.
  static constexpr size_t kIndexThreshold = 12;
  void DropIndex() const {
    if (indexed_) ForgetIndex();
  }
  void ForgetIndex() const;
  const Entry& EntryAt(int index) const;

  // The pairs live in a pool block of size_ + slack_ entries. Size and
  // slack sit in the padding after the kind byte, which keeps a dictionary
  // at 16 bytes; the slack is bounded so that it fits in 16 bits.
  size_t Capacity() const { return size_t(size_) + slack_; }
  void Reallocate(size_t capacity);
  void PushBack(Entry&& entry);
  void EraseAt(size_t index);
  void FreeEntries();

  mutable bool indexed_ = false;
  uint16_t slack_ = 0;
  uint32_t size_ = 0;
  Entry* data_ = nullptr;
};

class TvxPDFStreamObject : public TvxPDFObject {
 public:
  static constexpr TvxPDFObjectType Kind = otStream;
  explicit TvxPDFStreamObject(std::unique_ptr<TvxPDFDictObject> dictionary,
                              std::unique_ptr<TvxMemoryStream> data = nullptr)
      : TvxPDFObject(Kind), Dictionary(std::move(dictionary)), Data(std::move(data)) {
    if (!Dictionary) Dictionary = std::make_unique<TvxPDFDictObject>();
  }
  TvxPDFObjectPtr Clone() const;
  // The data as bytes (empty when none is attached).
  std::string_view DataView() const { return Data ? Data->View() : std::string_view(); }

  std::unique_ptr<TvxPDFDictObject> Dictionary;
  std::unique_ptr<TvxMemoryStream> Data;
};

class TvxPDFNullObject : public TvxPDFObject {
 public:
  static constexpr TvxPDFObjectType Kind = otNull;
  TvxPDFNullObject() : TvxPDFObject(Kind) {}
  TvxPDFObjectPtr Clone() const;
};

class TvxPDFIndirectReference : public TvxPDFObject {
 public:
  static constexpr TvxPDFObjectType Kind = otIndirectReference;
  TvxPDFIndirectReference(uint32_t documentID, int32_t objectNumber, uint16_t generation)
      : TvxPDFObject(Kind),
        DocumentID(documentID),
        ObjectNumber(objectNumber),
        Generation(generation) {}
  TvxPDFObjectPtr Clone() const;
  uint32_t DocumentID;
  int32_t ObjectNumber;
  uint16_t Generation;
};

class TvxPDFIndirectObject : public TvxPDFObject {
 public:
  static constexpr TvxPDFObjectType Kind = otIndirectObject;
  TvxPDFIndirectObject(uint32_t documentID, int32_t objectNumber, uint16_t generation,
                       TvxPDFObjectPtr content, int markUsed = 0)
      : TvxPDFObject(Kind),
        Generation(generation),
        DocumentID(documentID),
        ObjectNumber(objectNumber),
        Content(std::move(content)) {
    if (markUsed == 1) MarkUsed();
  }
  TvxPDFObjectPtr Clone() const;
  // The count stops at its maximum: what is asked of it is whether an object
  // is used at all, and by how many when that is a few.
  void MarkUsed() {
    if (UseCount != UINT8_MAX) ++UseCount;
  }

  // The small fields first, in the padding after the kind byte: a loaded
  // document holds one of these per object.
  uint8_t UseCount = 0;
  uint16_t Generation;
  uint32_t DocumentID;
  int32_t ObjectNumber;
  int32_t NewNumber = 0;
  TvxPDFObjectPtr Content;

 protected:
  // For descendants (outline items) that copy the header fields themselves.
  TvxPDFIndirectObject(TvxPDFObjectType kind) : TvxPDFObject(kind), Generation(0), DocumentID(0), ObjectNumber(0) {}
};

// An entry of a classic cross-reference table.
struct TvxXRefItem {
  TvxXRefItem(int64_t offset, int32_t generation, char entryType, int32_t objectNumber)
      : Generation(generation), EntryType(entryType), ObjectNumber(objectNumber), Offset(offset) {}
  int32_t Generation;
  char EntryType;  // 'n' or 'f', as read (0 in an empty slot)
  int32_t ObjectNumber;
  int64_t Offset;

  static TvxXRefItem Empty() { return TvxXRefItem(0, 0, 0, 0); }
  static bool IsPresent(const TvxXRefItem& item) { return item.EntryType != 0; }
};

// An entry of a cross-reference stream.
struct TvxXRefStmItem {
  TvxXRefStmItem(int32_t entryType, int64_t field2, int32_t field3)
      : EntryType(entryType), Field3(field3), Field2(field2) {}
  int32_t EntryType;  // 0 free, 1 in the file, 2 in an object stream (-1 in an empty slot)
  int32_t Field3;     // generation (type 1) or index in the object stream (type 2)
  int64_t Field2;     // byte offset (type 1) or object stream number (type 2)

  static TvxXRefStmItem Empty() { return TvxXRefStmItem(-1, 0, 0); }
  static bool IsPresent(const TvxXRefStmItem& item) { return item.EntryType >= 0; }
};

// A slot of an entry list indexed by object number: an entry or nothing,
// in the entry's own size (the entry type marks an empty slot).
template <typename T>
class TvxEntrySlot {
 public:
  TvxEntrySlot() = default;
  TvxEntrySlot(const T& entry) : entry_(entry) {}  // NOLINT: filled like an optional
  explicit operator bool() const { return T::IsPresent(entry_); }
  const T* operator->() const { return &entry_; }
  const T& operator*() const { return entry_; }

 private:
  T entry_ = T::Empty();
};

// Small constructors used all over the library.
inline TvxPDFObjectPtr MakeName(std::string_view text) {
  return std::make_unique<TvxPDFNameObject>(text);
}
inline TvxPDFObjectPtr MakeInteger(int32_t v) { return std::make_unique<TvxPDFIntegerObject>(v); }
inline TvxPDFObjectPtr MakeReal(double v) { return std::make_unique<TvxPDFRealObject>(v); }
inline TvxPDFObjectPtr MakeBoolean(bool v) { return std::make_unique<TvxPDFBooleanObject>(v ? 1 : 0); }
inline TvxPDFObjectPtr MakeNull() { return std::make_unique<TvxPDFNullObject>(); }

// An integer value of either width, or nothing.
std::optional<int64_t> IntegerValue(const TvxPDFObject* obj);

}  // namespace vx
