// Loading on demand. The file's bytes are held in memory anyway; a document
// loaded this way reads its structure at load and parses every other object
// from those bytes the first time a lookup needs it, storing it unreached,
// exactly as object-stream members are stored by a full load. The walks of
// the eager loader (what the document will write) are kept in load order
// and done by CompleteLoad, which every save calls first: the save itself,
// whose serialisation runs on several threads, only ever reads a complete
// store.
#include <algorithm>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/filters/vxFilterChain.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxPDFUtils.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// Reads started from inside another read (a stream's /Length stored as an
// object of its own, a member whose stream must be read first). Deeper
// than this, a lookup finds nothing for now; the same lookup from the top
// finds the object.
constexpr int kMaxNestedReads = 32;

// A container the eager loader walks into: the content of an object, the
// dictionary of a stream; never an array of numbers only.
TvxPDFObject* WalkedContainer(TvxPDFObject* value) {
  if (auto* io = As<TvxPDFIndirectObject>(value)) value = io->Content.get();
  if (auto* stream = As<TvxPDFStreamObject>(value)) value = stream->Dictionary.get();
  if (auto* array = As<TvxPDFArrayObject>(value); array && array->IsPacked()) return nullptr;
  return value && (value->IsArray() || value->IsDictionary()) ? value : nullptr;
}

// The references a walk of `root` follows, in the order it follows them
// (depth first: each is walked whole before the next). A walk of a value
// does nothing else, unless it meets a stream inside an array, which it
// reports: then the answer is false and only the walk itself will do.
bool CollectWalkedReferences(TvxPDFObject* root, std::vector<TvxObjectKey>& out) {
  auto add = [&out](const TvxPDFIndirectReference& ref) {
    out.push_back({ref.DocumentID, ref.ObjectNumber, ref.Generation});
  };
  if (auto* ref = As<TvxPDFIndirectReference>(root)) {
    add(*ref);
    return true;
  }
  struct Frame {
    TvxPDFObject* container;
    int next;
  };
  std::vector<Frame> stack;
  if (TvxPDFObject* container = WalkedContainer(root)) stack.push_back({container, 0});
  while (!stack.empty()) {
    Frame& f = stack.back();
    TvxPDFObject* item = nullptr;
    if (auto* array = As<TvxPDFArrayObject>(f.container)) {
      if (f.next >= array->Count()) {
        stack.pop_back();
        continue;
      }
      item = array->GetItem(f.next++);
      if (item && item->IsStream()) return false;
    } else {
      auto* dict = static_cast<TvxPDFDictObject*>(f.container);
      if (f.next >= dict->Count()) {
        stack.pop_back();
        continue;
      }
      item = dict->ValueAt(f.next++);
    }
    if (!item) continue;
    if (item->IsArray() || item->IsDictionary()) {
      if (TvxPDFObject* container = WalkedContainer(item)) stack.push_back({container, 0});
    } else if (auto* ref = As<TvxPDFIndirectReference>(item)) {
      add(*ref);
    }
  }
  return true;
}

}  // namespace

void TvxCustomPDFDocument::DeferWalk(TvxPDFObject* value) {
  // What the walk will follow is taken now, as the walk of a full load would
  // have seen it; a walk that follows nothing is not kept. Consecutive walks
  // share one entry (walking them one after the other is the same walk).
  const size_t first = deferredReferences_.size();
  if (!CollectWalkedReferences(value, deferredReferences_)) {
    deferredReferences_.resize(first);
    deferredWalks_.push_back({value->Clone(), std::string(), TvxKeptPlace::None});
    return;
  }
  const size_t last = deferredReferences_.size();
  if (last == first) return;
  if (!deferredWalks_.empty()) {
    TvxDeferredWalk& previous = deferredWalks_.back();
    if (!previous.Value && previous.Place == TvxKeptPlace::None && previous.Last == first) {
      previous.Last = last;
      return;
    }
  }
  deferredWalks_.push_back({nullptr, std::string(), TvxKeptPlace::None, first, last});
}

void TvxCustomPDFDocument::ServeOnDemand() {
  servingOnDemand_ = true;
  deferWalks_ = true;
  store_->SetSource([this](const TvxObjectKey& key) {
    return key.DocumentID == documentID_ && ReadOnDemand(key.ObjectNumber) != nullptr;
  });
  // A full load takes the information dictionary from its object stream
  // before the catalog is read; so does this one.
  if (trailer_->InfoRef) ReadOnDemand(trailer_->InfoRef->ObjectNumber);
}

TvxPDFIndirectObject* TvxCustomPDFDocument::ReadOnDemand(int32_t n) {
  if (n <= 0) return nullptr;
  if (int index = store_->IndexOf(documentID_, n, 0); index >= 0) return store_->Items(index);
  if (!servingOnDemand_ || !reader_) return nullptr;
  if (auto it = readOnDemand_.find(n); it != readOnDemand_.end()) return it->second;
  if (onDemandDepth_ >= kMaxNestedReads) return nullptr;
  ++onDemandDepth_;
  struct Leave {
    int& depth;
    ~Leave() { --depth; }
  } leave{onDemandDepth_};

  // Recorded before reading, so that a lookup of `n` while it is being read
  // (a stream whose /Length is itself) finds nothing instead of looping.
  readOnDemand_[n] = nullptr;
  // The newest entry decides: a member of an object stream is parsed from
  // that stream (decoded once for all its members).
  if (size_t(n) < xrefStmItems_.size() && xrefStmItems_[size_t(n)] && xrefStmItems_[size_t(n)]->EntryType == 2) {
    if (TvxPDFIndirectObject* member = ReadMemberOnDemand(n, xrefStmItems_[size_t(n)]->Field2))
      return readOnDemand_[n] = member;
  }
  bool walked = false;
  std::unique_ptr<TvxPDFIndirectObject> object = ReadObjectAtImpl(LookupObjectOffset(n), false, walked);
  // The table may point at another object: then number n names nothing.
  if (!object || object->ObjectNumber != n) return nullptr;
  if (int index = store_->IndexOf(documentID_, n, object->Generation); index >= 0)
    return readOnDemand_[n] = store_->Items(index);
  object->UseCount = 0;
  return readOnDemand_[n] = store_->Add(std::move(object));
}

const TvxCustomPDFDocument::TvxObjectStreamIndex* TvxCustomPDFDocument::ObjectStreamIndex(int64_t s) {
  if (s < 0 || uint64_t(s) >= xrefStmItems_.size()) return nullptr;
  // Marked before reading: a stream needed while it is being read holds
  // nothing then (its own /Length inside itself, say).
  if (auto [it, inserted] = decodedObjectStreams_.try_emplace(s); !inserted) return it->second.get();

  // The same checks and decoding as a full load's expansion.
  const auto& own = xrefStmItems_[size_t(s)];
  int64_t offset = own && own->EntryType == 1 ? own->Field2 : LookupObjectOffset(int32_t(s));
  std::unique_ptr<TvxPDFIndirectObject> holder = ReadObjectAt(offset);
  if (!holder) return nullptr;
  auto& stream = Cast<TvxPDFStreamObject>(holder->Content.get());
  TvxPDFDictObject& dict = *stream.Dictionary;
  TvxPDFObject* filter = store_->Resolve(dict.Find("/Filter"));
  auto index = std::make_unique<TvxObjectStreamIndex>();
  if (filter && !filter->IsNull()) {
    TvxDecodeFilters kinds = ReadFilterList(filter);
    if (std::find(kinds.begin(), kinds.end(), ftDCTDecode) != kinds.end() ||
        std::find(kinds.begin(), kinds.end(), ftCCITTFaxDecode) != kinds.end())
      return nullptr;
    // Decoded straight from the bytes held, into a buffer of its own.
    index->Data = std::make_shared<const std::string>(DecodeFilterChainBytes(stream.DataView(), filter));
  } else {
    index->Data = std::make_shared<const std::string>(stream.DataView());
  }
  auto* type = As<TvxPDFNameObject>(dict.Find("/Type"));
  if (!type || type->Text != "/ObjStm") return nullptr;
  const int64_t count = Cast<TvxPDFIntegerObject>(dict.Find("/N")).Value;
  const int64_t first = Cast<TvxPDFIntegerObject>(dict.Find("/First")).Value;

  index->Reader = std::make_unique<TvxPDFStreamReader>(documentID_, index->Data);
  TvxPDFStreamReader& header = *index->Reader;
  auto& members = index->Members;
  for (int64_t k = 0; k < count; ++k) {
    header.SkipWhitespace();
    if (header.Eof()) break;  // fewer members than /N says
    int32_t number = StrToInt(header.ReadWord());
    int64_t memberOffset = StrToInt64(header.ReadWord());
    if (first < 0 || memberOffset < 0 || uint64_t(first) + uint64_t(memberOffset) >= index->Data->size()) continue;
    members.emplace_back(number, size_t(first + memberOffset));
  }
  // By number; the first of a number counts.
  std::stable_sort(members.begin(), members.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  members.erase(std::unique(members.begin(), members.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
                members.end());
  TvxObjectStreamIndex* result = index.get();
  decodedObjectStreams_[s] = std::move(index);
  return result;
}

TvxPDFIndirectObject* TvxCustomPDFDocument::ReadMemberOnDemand(int32_t n, int64_t s) {
  const TvxObjectStreamIndex* index = ObjectStreamIndex(s);
  if (!index) return nullptr;
  auto found = std::lower_bound(index->Members.begin(), index->Members.end(), n,
                                [](const auto& member, int32_t number) { return member.first < number; });
  if (found == index->Members.end() || found->first != n) return nullptr;
  TvxPDFStreamReader& members = *index->Reader;
  members.SetPos(found->second);
  TvxPDFObjectPtr member = members.ParseObject();
  if (!member) member = MakeNull();
  if (trailer_->InfoRef && n == trailer_->InfoRef->ObjectNumber) {
    // As in a full load, the information dictionary is taken, not stored.
    if (auto* dict = As<TvxPDFDictObject>(member.get()); dict && info_->InfoDict()->Count() == 0) {
      member.release();
      info_->SetInfoDict(std::unique_ptr<TvxPDFDictObject>(dict));
    }
    return nullptr;
  }
  return store_->Add(std::make_unique<TvxPDFIndirectObject>(documentID_, n, uint16_t(0), std::move(member)));
}

void TvxCustomPDFDocument::LeaveOutKeptEntry(TvxKeptPlace place, const std::string& key) {
  if (place == TvxKeptPlace::Catalog) {
    auto& kept = catalog_->KeptEntries;
    kept.erase(std::remove_if(kept.begin(), kept.end(), [&](const auto& entry) { return entry.first == key; }),
               kept.end());
  } else if (place == TvxKeptPlace::ViewerPreferences) {
    TvxPDFDictObject* prefs = catalog_->ViewerPreferences.Dictionary();
    for (int i = prefs ? prefs->IndexOf(key) : -1; i >= 0; i = prefs->IndexOf(key)) prefs->Delete(i);
  }
}

void TvxCustomPDFDocument::CompleteLoad() {
  // Read for a report, the walks were never kept.
  if (sourceFile_) throw EPDFException(res::SReadForReportNotSaved);
  if (!servingOnDemand_) return;
  // The walks of a full load, in the order the load met them. Objects read
  // meanwhile are in the store unreached; a walk reaching one marks it used
  // and walks its content, as for an object-stream member.
  // A walk that fails (an object it reaches cannot be parsed) fails the
  // save; the walks from it on stay, so that a later save fails the same
  // way instead of writing a document with parts missing. An entry kept as
  // loaded is the exception, as in a full load: it is reported and the
  // rest goes on without it.
  deferWalks_ = false;
  for (TvxDeferredWalk& walk : deferredWalks_) {
    if (!walk.Value) {
      // Each reference walked in turn; those reached before a failure are
      // passed over by a later call, as a walk passes over what it reached.
      for (; walk.First < walk.Last; ++walk.First) {
        const TvxObjectKey& key = deferredReferences_[walk.First];
        TvxPDFIndirectReference reference(key.DocumentID, key.ObjectNumber, key.Generation);
        LoadObjectClosure(&reference);
      }
      continue;
    }
    if (walk.Place == TvxKeptPlace::None) {
      LoadObjectClosure(walk.Value.get());
    } else {
      try {
        LoadObjectClosure(walk.Value.get());
      } catch (const Exception& e) {
        Warning(Format(res::SKeptEntryUnreadable, {walk.KeptKey, std::string(e.what())}));
        LeaveOutKeptEntry(walk.Place, walk.KeptKey);
      }
    }
    walk.Value.reset();
  }
  deferredWalks_.clear();
  deferredReferences_.clear();
  deferredReferences_.shrink_to_fit();
  // Links in what the walks reached go to their named destinations, as the
  // load does for what it reached.
  ResolveLinkDestinations();
  // Complete: from here on the document reads nothing, as after a full load.
  servingOnDemand_ = false;
  store_->SetSource(nullptr);
  readOnDemand_.clear();
  decodedObjectStreams_.clear();
  reader_.reset();
  ReleaseEntryLists();
}

}  // namespace vx
