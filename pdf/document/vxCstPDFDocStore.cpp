// Filling the object store while loading: offsets, reading one object, the
// eager loader that pulls in everything a value references, object streams,
// and the resolving operations the structure readers use.
#include <algorithm>
#include <thread>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/document/vxLoadHelper.h"
#include "pdf/document/vxObjectStreamsAhead.h"
#include "pdf/document/vxObjectPreparser.h"
#include "pdf/filters/vxFilterChain.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxPDFUtils.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// Stream dictionaries are walked before their data is read, which nests one
// walk inside another; past this depth the dictionary is walked afterwards.
constexpr int kMaxNestedWalks = 32;
// Reference chains (a reference whose object is again a reference).
constexpr int kMaxChain = 64;

// A stream's /Length as a usable byte count, or -1 ("find endstream") when
// it is not a 32-bit integer (a real such as 33.0, a 64-bit number, a name)
// or names nothing stored.
int64_t UsableLength(const TvxPDFObjectStore& store, TvxPDFObject* value) {
  auto* length = As<TvxPDFIntegerObject>(store.Resolve(value));
  return length && length->Value >= 0 ? length->Value : -1;
}

}  // namespace

// The eager loader. Walks a value depth first in file order, exactly as a
// recursive walk would, but on an explicit stack so that long chains of
// references cannot exhaust the call stack.
class TvxClosureWalker {
 public:
  explicit TvxClosureWalker(TvxCustomPDFDocument& doc) : doc_(doc) {}

  void Walk(TvxPDFObject* root) {
    // A reference handed in directly is followed like one met inside.
    if (auto* ref = As<TvxPDFIndirectReference>(root))
      Follow(*ref);
    else
      Push(root);
    while (!stack_.empty()) {
      Frame& f = stack_.back();
      if (auto* array = As<TvxPDFArrayObject>(f.container)) {
        if (f.next >= array->Count()) {
          stack_.pop_back();
          continue;
        }
        TvxPDFObject* item = array->GetItem(f.next++);
        if (!item) continue;
        if (item->IsArray() || item->IsDictionary())
          Push(item);
        else if (auto* ref = As<TvxPDFIndirectReference>(item))
          Follow(*ref);
        else if (item->IsStream())
          doc_.Warning(res::SStreamInsideArray);
      } else {
        auto* dict = static_cast<TvxPDFDictObject*>(f.container);
        if (f.next >= dict->Count()) {
          stack_.pop_back();
          continue;
        }
        int i = f.next++;
        TvxPDFObject* value = dict->ValueAt(i);
        if (!value) continue;
        if (value->IsArray() || value->IsDictionary()) {
          Push(value);
        } else if (auto* ref = As<TvxPDFIndirectReference>(value)) {
          Follow(*ref);
        }
      }
    }
  }

 private:
  struct Frame {
    TvxPDFObject* container;  // an array or a dictionary
    int next;
  };

  void Push(TvxPDFObject* value) {
    if (auto* io = As<TvxPDFIndirectObject>(value)) value = io->Content.get();
    if (auto* stream = As<TvxPDFStreamObject>(value)) value = stream->Dictionary.get();
    if (auto* array = As<TvxPDFArrayObject>(value); array && array->IsPacked()) return;  // numbers only
    if (value && (value->IsArray() || value->IsDictionary())) stack_.push_back({value, 0});
  }

  void Follow(const TvxPDFIndirectReference& ref) {
    if (TvxPDFIndirectObject* loaded = doc_.LoadReference(ref)) Push(loaded->Content.get());
  }

  TvxCustomPDFDocument& doc_;
  std::vector<Frame> stack_;
};

void TvxCustomPDFDocument::LoadObjectClosure(TvxPDFObject* value) {
  if (!value) return;
  if (deferWalks_) {
    // Loading on demand: walked by CompleteLoad, in this order. A document
    // read for a report is never completed: nothing is kept.
    if (!reportOnly_) DeferWalk(value);
    return;
  }
  TvxClosureWalker(*this).Walk(value);
}

bool TvxCustomPDFDocument::HasEntryListSlot(int64_t objectNumber) const {
  return objectNumber > 0 && uint64_t(objectNumber) < std::max(xrefItems_.size(), xrefStmItems_.size());
}

int64_t TvxCustomPDFDocument::LookupObjectOffset(int32_t objectNumber) const {
  if (objectNumber < 0) return 0;
  size_t n = size_t(objectNumber);
  if (n < xrefItems_.size() && xrefItems_[n]) return xrefItems_[n]->Offset;
  if (n < xrefStmItems_.size() && xrefStmItems_[n] && xrefStmItems_[n]->EntryType == 1)
    return xrefStmItems_[n]->Field2;
  return loadedOffsets_.At(objectNumber);  // once the entry lists are dropped
}

std::unique_ptr<TvxPDFIndirectObject> TvxCustomPDFDocument::ReadObjectAt(int64_t offset) {
  bool walked = false;
  return ReadObjectAtImpl(offset, true, walked);
}

std::unique_ptr<TvxPDFIndirectObject> TvxCustomPDFDocument::ReadObjectAtImpl(int64_t offset, bool walkDictionary,
                                                                             bool& dictionaryWalked) {
  dictionaryWalked = false;
  // After the load the source is gone: what was not read then is not found.
  if (offset <= 0 || !reader_ || uint64_t(offset) >= reader_->WholeSize()) return nullptr;
  // An object whose stream dictionary leads back to itself while it is being
  // read is not read again: without this, objects that refer to each other
  // would be re-read at every level of the nested walks.
  if (std::find(readingOffsets_.begin(), readingOffsets_.end(), offset) != readingOffsets_.end()) return nullptr;
  readingOffsets_.push_back(offset);
  struct PopOffset {
    std::vector<int64_t>& stack;
    ~PopOffset() { stack.pop_back(); }
  } popOffset{readingOffsets_};
  TvxPDFStreamReader& r = *reader_;
  TvxPDFObjectPtr parsed;
  size_t parsedEnd = 0;
  if (preparser_ && preparser_->Take(offset, parsed, parsedEnd)) {
    r.SetPos(parsedEnd);  // as if parsed here
  } else {
    parsed = r.Within(size_t(offset), [&r, offset] {
      r.SetPos(size_t(offset));
      return r.ParseObject();
    });
  }
  auto& checked = Cast<TvxPDFIndirectObject>(parsed.get());
  std::unique_ptr<TvxPDFIndirectObject> object(&checked);
  parsed.release();

  auto* stream = As<TvxPDFStreamObject>(object->Content.get());
  if (!stream) return object;

  const size_t afterDictionary = r.Pos();
  TvxPDFDictObject& dict = *stream->Dictionary;
  auto* type = As<TvxPDFNameObject>(dict.Find("/Type"));
  bool isXRef = type && type->Text == "/XRef";
  try {
    if (!isXRef && walkDictionary && walkDepth_ < kMaxNestedWalks) {
      // What the dictionary references (an indirect /Length above all) must
      // be in the store before the data is read.
      ++walkDepth_;
      try {
        LoadObjectClosure(&dict);
      } catch (...) {
        --walkDepth_;
        throw;
      }
      --walkDepth_;
      dictionaryWalked = true;
    } else if (auto* lengthRef = As<TvxPDFIndirectReference>(dict.Find("/Length"))) {
      // Too deep to walk now: fetch just the length; the caller walks the
      // dictionary once the object is stored.
      if (!store_->Find(lengthRef)) {
        bool ignored = false;
        if (auto length = ReadObjectAtImpl(LookupObjectOffset(lengthRef->ObjectNumber), false, ignored);
            length && length->ObjectNumber == lengthRef->ObjectNumber && length->Content->IsInteger()) {
          length->MarkUsed();
          store_->Add(std::move(length));
        }
      }
    }
    // The length first: looking it up may read another object (on demand),
    // which moves the reader.
    const int64_t length = UsableLength(*store_, dict.Find("/Length"));
    stream->Data = r.Within(afterDictionary, [&] {
      r.SetPos(afterDictionary);
      return r.ReadStreamData(length, object->ObjectNumber, object->Generation, &dict);
    });
  } catch (const EReadError&) {
    throw;  // the file itself failed, not its data
  } catch (const Exception&) {
    TvxPDFIntegerObject* length1 = nullptr;
    try {
      length1 = store_->ResolveInteger(dict.Find("/Length1"));
    } catch (const Exception&) {
      length1 = nullptr;
    }
    if (length1)
      stream->Data = r.Within(afterDictionary, [&] {
        r.SetPos(afterDictionary);
        return r.ReadStreamData(length1->Value, object->ObjectNumber, object->Generation, &dict);
      });
  }
  return object;
}

TvxPDFIndirectObject* TvxCustomPDFDocument::LoadReference(const TvxPDFIndirectReference& reference) {
  const int32_t n = reference.ObjectNumber;
  if (n <= 0) {
    Warning(Format(res::SInvalidObjectNumberWarning, {n}));
    return nullptr;
  }
  // The catalog is rebuilt at save; a reference to the file's own catalog
  // is written as one to the new catalog and loads nothing.
  if (n == trailer_->RootNumber) return nullptr;
  if (TvxPDFIndirectObject* stored = store_->Find(&reference)) {
    // An object stream member is stored unreached; the first reference to
    // it makes it part of the document, and its content is walked then.
    const bool firstReach = stored->UseCount == 0;
    stored->MarkUsed();
    return firstReach ? stored : nullptr;  // walked the first time it was reached
  }
  if (store_->IndexOf(documentID_, n, 0) >= 0) return nullptr;
  bool walked = false;
  std::unique_ptr<TvxPDFIndirectObject> object = ReadObjectAtImpl(LookupObjectOffset(n), true, walked);
  if (!object) return nullptr;
  if (object->ObjectNumber != n || object->Generation != reference.Generation) {
    // The table points at another object (or another generation): the
    // reference names nothing that exists.
    return nullptr;
  }
  // Reached while its own dictionary was being walked (a stream whose
  // dictionary refers back to it): the first copy stored wins.
  if (TvxPDFIndirectObject* stored = store_->Find(&reference)) {
    stored->MarkUsed();
    return nullptr;
  }
  object->MarkUsed();
  TvxPDFIndirectObject* stored = store_->Add(std::move(object));
  if (stored->Content && stored->Content->IsStream() && walked) return nullptr;
  return stored;
}

void TvxCustomPDFDocument::ExpandPendingObjectStreams() {
  if (loadOnDemand_) {
    // Each object stream is expanded when one of its members is first needed.
    ServeOnDemand();
    return;
  }
  if (!deferredObjectStreams_) return;
  deferredObjectStreams_ = false;
  ExpandObjectStreams();
}

void TvxCustomPDFDocument::ExpandObjectStreams() {
  // The streams in the order their first member names them.
  std::vector<int64_t> streams;
  std::vector<bool> listed;
  for (size_t index = 0; index < xrefStmItems_.size(); ++index) {
    const auto& entry = xrefStmItems_[index];
    if (!entry || entry->EntryType != 2) continue;
    int64_t s = entry->Field2;
    // The stream itself may be listed by either kind of section (a hybrid
    // file's classic table often holds it).
    if (!HasEntryListSlot(s)) continue;
    if (listed.size() <= size_t(s)) listed.resize(size_t(s) + 1, false);
    if (listed[size_t(s)]) continue;
    listed[size_t(s)] = true;
    streams.push_back(s);
  }
  std::unique_ptr<TvxLoadHelper> ahead = ExpandAhead(streams);

  const int32_t infoNumber = trailer_->InfoRef ? trailer_->InfoRef->ObjectNumber : -1;
  for (int64_t s : streams) {
    std::unique_ptr<TvxPDFIndirectObject> holder = ReadObjectAt(LookupObjectOffset(int32_t(s)));
    std::unique_ptr<TvxLoadHelper::TvxJob> taken = ahead ? ahead->Take(s) : nullptr;
    if (!holder) continue;
    auto& stream = Cast<TvxPDFStreamObject>(holder->Content.get());
    TvxPDFDictObject& dict = *stream.Dictionary;

    // Members are read whatever the compression (none and LZW included);
    // only image filters, which make no sense here, skip the stream.
    TvxPDFObject* filter = store_->Resolve(dict.Find("/Filter"));
    const bool filtered = filter && !filter->IsNull();
    TvxDecodeFilters kinds;
    if (filtered) {
      // A filter this reader lacks is reported by the decoding below.
      try {
        kinds = ReadFilterList(filter);
      } catch (const EUnsupportedFilterError&) {
      }
      if (std::find(kinds.begin(), kinds.end(), ftDCTDecode) != kinds.end() ||
          std::find(kinds.begin(), kinds.end(), ftCCITTFaxDecode) != kinds.end())
        continue;
    }
    // The other thread's work stands in for the decoding and parsing below
    // when it started from the same bytes through the same filters.
    auto* done = static_cast<TvxExpandedStream*>(taken.get());
    if (done && !(done->Ran && done->Complete && done->Filtered == filtered && done->FilterKinds == kinds &&
                  done->Encoded->View() == stream.DataView()))
      done = nullptr;
    bool damaged = false;
    auto decode = [&] { return DecodeObjectStream(s, stream, filtered ? filter : nullptr, damaged); };
    std::shared_ptr<const std::string> decoded;
    if (!done) decoded = decode();

    auto* type = As<TvxPDFNameObject>(dict.Find("/Type"));
    if (!type || type->Text != "/ObjStm") continue;
    const int64_t count = Cast<TvxPDFIntegerObject>(dict.Find("/N")).Value;
    const int64_t first = Cast<TvxPDFIntegerObject>(dict.Find("/First")).Value;
    if (done && (done->Count != count || done->First != first)) {
      // Not what this dictionary says after all: read here.
      done = nullptr;
      decoded = decode();
    }

    // A member counts only while the newest entry for its number still
    // names this stream; a later revision may have replaced or freed it,
    // and the stream may hold it twice.
    auto store = [&](int32_t number, TvxPDFObjectPtr member) {
      if (!member) member = MakeNull();
      auto* memberDict = As<TvxPDFDictObject>(member.get());
      if (number == infoNumber) {
        if (memberDict && info_->InfoDict()->Count() == 0)
          info_->SetInfoDict(std::unique_ptr<TvxPDFDictObject>(static_cast<TvxPDFDictObject*>(memberDict->Clone().release())));
      } else {
        // Stored unreached: like an object of the file body, a member is
        // written only when what is written reaches it (LoadReference), so
        // the old catalog and page-tree nodes stay behind.
        store_->Add(std::make_unique<TvxPDFIndirectObject>(documentID_, number, uint16_t(0), std::move(member)));
      }
    };
    auto wanted = [&](int32_t number) {
      return MemberIsCurrent(number, s) && store_->IndexOf(documentID_, number, 0) < 0;
    };
    if (done) {
      for (TvxExpandedStream::TvxMember& member : done->Members)
        if (member.InData && wanted(member.Number)) store(member.Number, std::move(member.Object));
      continue;
    }
    TvxPDFStreamReader members(documentID_, decoded);
    members.DuplicateKeys = &duplicateKeys_;
    ForEachObjectStreamEntry(members, decoded->size(), count, first, [&](int32_t number, std::optional<size_t> start) {
      if (!start || !wanted(number)) return;
      members.SetPos(*start);
      TvxPDFObjectPtr member;
      try {
        member = members.ParseObject();
      } catch (const Exception&) {
        if (!damaged) throw;  // one cut or garbled by the damage reads as null
      }
      store(number, std::move(member));
    });
  }
}

std::shared_ptr<const std::string> TvxCustomPDFDocument::DecodeObjectStream(int64_t s, const TvxPDFStreamObject& stream,
                                                                            const TvxPDFObject* filter, bool& damaged) {
  // What decodes is read; the objects past damage (or in a stream whose
  // filter this reader lacks) read as null, as other readers have them.
  std::string damage;
  std::shared_ptr<const std::string> data =
      SalvageObjectStreamData(stream.DataView(), filter, *stream.Dictionary, damage);
  damaged = !damage.empty();
  if (damaged) Warning(Format(res::SObjectStreamDamaged, {std::to_string(s), damage}));
  return data;
}

std::unique_ptr<TvxLoadHelper> TvxCustomPDFDocument::ExpandAhead(const std::vector<int64_t>& streams) {
  // Worth a thread for files of many streams, read whole and not encrypted
  // (the other thread reads the file's bytes as they stand).
  constexpr size_t kWorthItFrom = 8;
  const unsigned threads = loadThreads_ != 0 ? loadThreads_ : (std::thread::hardware_concurrency() > 1 ? 2 : 1);
  if (threads < 2 || streams.size() < kWorthItFrom || !fileBytes_ || !reader_ || reader_->Decryptor ||
      reader_->StreamDecryptor)
    return nullptr;
  auto ahead = std::make_unique<TvxLoadHelper>([] { return std::optional<int32_t>(); }, true, fileBytes_);
  for (int64_t s : streams) {
    const int64_t offset = LookupObjectOffset(int32_t(s));
    if (offset <= 0 || uint64_t(offset) >= fileBytes_->size()) continue;
    auto job = std::make_unique<TvxExpandedStream>(documentID_, fileBytes_, offset);
    job->DuplicateKeys = &duplicateKeys_;
    ahead->Queue(s, std::move(job));
  }
  return ahead;
}

bool TvxCustomPDFDocument::MemberIsCurrent(int32_t objectNumber, int64_t streamNumber) const {
  if (objectNumber < 0 || size_t(objectNumber) >= xrefStmItems_.size()) return false;
  const auto& entry = xrefStmItems_[size_t(objectNumber)];
  return entry && entry->EntryType == 2 && entry->Field2 == streamNumber;
}

TvxFetchedObject TvxCustomPDFDocument::FetchObject(int32_t objectNumber) {
  TvxFetchedObject result;
  if (servingOnDemand_) {
    // Every object is read into the store (unreached) once, so no second
    // copy of it can come about.
    result.Object = ReadOnDemand(objectNumber);
    return result;
  }
  int index = store_->IndexOf(documentID_, objectNumber, 0);
  if (index >= 0) {
    result.Object = store_->Items(index);
    return result;
  }
  std::unique_ptr<TvxPDFIndirectObject> read = ReadObjectAt(LookupObjectOffset(objectNumber));
  if (!read || read->ObjectNumber != objectNumber) return result;
  // Walking a stream's dictionary may have stored the object meanwhile.
  index = store_->IndexOf(documentID_, objectNumber, 0);
  if (index >= 0) {
    result.Object = store_->Items(index);
    return result;
  }
  result.Owned = std::move(read);
  result.Object = result.Owned.get();
  return result;
}

// LoadArray and LoadDictionary: the wanted kind as it is; a reference is
// followed through the store, else read from the file (stored when `add`,
// otherwise kept alive in `keep` for the caller).
template <typename T>
T* TvxCustomPDFDocument::LoadContainer(TvxPDFObject* value, bool add, TvxPDFObjectPtr& keep) {
  for (int step = 0; value && step < kMaxChain; ++step) {
    if (auto* wanted = As<T>(value)) return wanted;
    auto* ref = As<TvxPDFIndirectReference>(value);
    if (!ref) throw EUnexpectedObjectError(res::SUnexpectedObject);
    if (TvxPDFIndirectObject* stored = store_->Find(ref)) {
      // Kept by the caller: a member stored unreached is reached now.
      if (add && stored->UseCount == 0) stored->MarkUsed();
      value = stored->Content.get();
      continue;
    }
    TvxFetchedObject fetched = FetchObject(ref->ObjectNumber);
    if (!fetched) return nullptr;
    fetched->MarkUsed();
    if (fetched.FromFile() && add) {
      value = store_->Add(std::move(fetched.Owned))->Content.get();
    } else if (fetched.FromFile()) {
      keep = std::move(fetched.Owned->Content);
      value = keep.get();
    } else {
      value = fetched->Content.get();
    }
  }
  return nullptr;
}

TvxPDFArrayObject* TvxCustomPDFDocument::LoadArray(TvxPDFObject* value, bool add, TvxPDFObjectPtr& keep) {
  return LoadContainer<TvxPDFArrayObject>(value, add, keep);
}

TvxPDFDictObject* TvxCustomPDFDocument::LoadDictionary(TvxPDFObject* value, bool add, TvxPDFObjectPtr& keep) {
  return LoadContainer<TvxPDFDictObject>(value, add, keep);
}

TvxPDFObjectPtr TvxCustomPDFDocument::LoadCopy(const TvxPDFIndirectReference* reference) {
  TvxPDFObjectPtr hold;  // the next reference of a chain, kept past its object
  for (int step = 0; reference && step < kMaxChain; ++step) {
    TvxFetchedObject fetched = FetchObject(reference->ObjectNumber);
    if (!fetched || !fetched->Content) return nullptr;
    // Read on demand, an object only looked at is stored unreached: copying
    // it does not make it part of what is written.
    if (!servingOnDemand_ || fetched->UseCount != 0) fetched->MarkUsed();
    auto* next = As<TvxPDFIndirectReference>(fetched->Content.get());
    if (!next) return fetched->Content->Clone();
    hold = next->Clone();
    reference = static_cast<TvxPDFIndirectReference*>(hold.get());
  }
  return nullptr;
}

std::unique_ptr<TvxPDFStringObject> TvxCustomPDFDocument::LoadString(TvxPDFObject* value) {
  if (!value) return nullptr;
  if (auto* s = As<TvxPDFStringObject>(value))
    return std::unique_ptr<TvxPDFStringObject>(static_cast<TvxPDFStringObject*>(s->Clone().release()));
  auto* ref = As<TvxPDFIndirectReference>(value);
  if (!ref) throw EUnexpectedObjectError(res::SUnexpectedObject);
  TvxPDFObjectPtr copy = LoadCopy(ref);
  if (!copy) return nullptr;
  if (!copy->IsString()) throw EUnexpectedObjectError(res::SUnexpectedObject);
  return std::unique_ptr<TvxPDFStringObject>(static_cast<TvxPDFStringObject*>(copy.release()));
}

std::unique_ptr<TvxPDFNameObject> TvxCustomPDFDocument::LoadName(TvxPDFObject* value) {
  if (!value) return nullptr;
  if (auto* n = As<TvxPDFNameObject>(value))
    return std::unique_ptr<TvxPDFNameObject>(static_cast<TvxPDFNameObject*>(n->Clone().release()));
  auto* ref = As<TvxPDFIndirectReference>(value);
  if (!ref) throw EUnexpectedObjectError(res::SUnexpectedObject);
  TvxPDFObjectPtr copy = LoadCopy(ref);
  if (!copy) return nullptr;
  if (!copy->IsName()) throw EUnexpectedObjectError(res::SUnexpectedObject);
  return std::unique_ptr<TvxPDFNameObject>(static_cast<TvxPDFNameObject*>(copy.release()));
}

TvxPDFIndirectObject* TvxCustomPDFDocument::LoadObject(int32_t objectNumber) {
  TvxFetchedObject fetched = FetchObject(objectNumber);
  if (!fetched) return nullptr;
  fetched->MarkUsed();
  if (fetched.FromFile()) return store_->Add(std::move(fetched.Owned));
  return fetched.Object;
}

}  // namespace vx
