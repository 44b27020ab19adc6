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
#include "pdf/document/vxLoadHelper.h"
#include "pdf/document/vxObjectStreamsAhead.h"
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

// Raised at a read that a read ahead would have started: such a read
// leaves marks (of objects in the middle of being read) that a failure
// would leave behind, so a read ahead stops there and leaves it to the load.
struct TvxReadAheadStop {};

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
  if (readingAhead_) throw TvxReadAheadStop();
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

namespace {

// Where each member of an object stream starts, by number; of a number
// given twice, the first. `header` reads the stream's decoded bytes.
TvxObjectStreamMembers ReadMemberTable(TvxPDFStreamReader& header, size_t size, int64_t count, int64_t first) {
  TvxObjectStreamMembers members;
  ForEachObjectStreamEntry(header, size, count, first, [&](int32_t number, std::optional<size_t> start) {
    if (start) members.emplace_back(number, *start);
  });
  std::stable_sort(members.begin(), members.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  members.erase(std::unique(members.begin(), members.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
                members.end());
  return members;
}

TvxObjectStreamMembers::const_iterator FindMember(const TvxObjectStreamMembers& members, int32_t n) {
  auto found = std::lower_bound(members.begin(), members.end(), n,
                                [](const auto& member, int32_t number) { return member.first < number; });
  return found != members.end() && found->first == n ? found : members.end();
}

}  // namespace

// An object stream read by the page walk ahead of need, decoded on the load
// helper's thread with the members the walk will ask for (its next pages)
// parsed there too. Each step is what ObjectStreamIndex and
// ReadMemberOnDemand do, on the same bytes; a step that raises is left to
// them, to raise in the load's order.
struct TvxCustomPDFDocument::TvxObjectStreamJob : TvxLoadHelper::TvxJob {
  uint32_t DocumentID = 0;
  TvxDuplicateKeys* DuplicateKeys = nullptr;
  std::unique_ptr<TvxPDFIndirectObject> Holder;
  TvxPDFObjectPtr Filter;  // resolved
  std::string_view Source;
  std::optional<std::pair<int64_t, int64_t>> CountAndFirst;  // when /N and /First are numbers
  std::vector<int32_t> Wanted;

  std::shared_ptr<const std::string> Data;  // set once decoded
  TvxObjectStreamMembers Members;
  bool Indexed = false;
  std::unordered_map<int32_t, TvxPDFObjectPtr> Parsed;

  void Run() override {
    try {
      Data = std::make_shared<const std::string>(DecodeFilterChainBytes(Source, Filter.get()));
      if (!CountAndFirst) return;
      TvxPDFStreamReader reader(DocumentID, Data);
      reader.DuplicateKeys = DuplicateKeys;
      Members = ReadMemberTable(reader, Data->size(), CountAndFirst->first, CountAndFirst->second);
      Indexed = true;
      for (int32_t n : Wanted) {
        auto found = FindMember(Members, n);
        if (found == Members.end()) continue;
        reader.SetPos(found->second);
        Parsed[n] = reader.ParseObject();
      }
      // Far ahead, the data would wait long for the load: let go, to be
      // decoded again in the rare case that the load wants more of it.
      if (FarAhead) Data.reset();
    } catch (const std::exception&) {
      // What was done before stays; the rest is done again by the load.
    }
  }
};

TvxCustomPDFDocument::TvxObjectStreamIndex* TvxCustomPDFDocument::ObjectStreamIndex(int64_t s) {
  if (!HasEntryListSlot(s)) return nullptr;
  // Marked before reading: a stream needed while it is being read holds
  // nothing then (its own /Length inside itself, say).
  if (auto [it, inserted] = decodedObjectStreams_.try_emplace(s); !inserted) return it->second.get();

  // The same checks and decoding as a full load's expansion, on the stream
  // as read ahead (and perhaps decoded) for the page walk when it was.
  std::unique_ptr<TvxLoadHelper::TvxJob> taken = loadHelper_ ? loadHelper_->Take(s) : nullptr;
  auto* ahead = static_cast<TvxObjectStreamJob*>(taken.get());
  const bool ran = ahead && ahead->Ran;
  std::unique_ptr<TvxPDFIndirectObject> holder = ahead ? std::move(ahead->Holder) : ReadObjectStreamHolder(s);
  if (!holder) return nullptr;
  auto& stream = Cast<TvxPDFStreamObject>(holder->Content.get());
  TvxPDFDictObject& dict = *stream.Dictionary;
  TvxPDFObject* filter = store_->Resolve(dict.Find("/Filter"));
  const bool filtered = filter && !filter->IsNull();
  bool damaged = false;
  auto decode = [&] { return DecodeObjectStream(s, stream, filtered ? filter : nullptr, damaged); };
  // Indexed ahead far from the load, a stream has let its data go: it is
  // decoded again only when a member not parsed there is wanted.
  const bool indexedAhead = ran && ahead->Indexed;
  auto index = std::make_unique<TvxObjectStreamIndex>();
  if (filtered) {
    TvxDecodeFilters kinds;
    try {
      kinds = ReadFilterList(filter);
    } catch (const EUnsupportedFilterError&) {
      // reported by the decoding
    }
    if (std::find(kinds.begin(), kinds.end(), ftDCTDecode) != kinds.end() ||
        std::find(kinds.begin(), kinds.end(), ftCCITTFaxDecode) != kinds.end())
      return nullptr;
  }
  index->Data = ran && (ahead->Data || indexedAhead) ? std::move(ahead->Data) : decode();
  auto* type = As<TvxPDFNameObject>(dict.Find("/Type"));
  if (!type || type->Text != "/ObjStm") return nullptr;
  const int64_t count = Cast<TvxPDFIntegerObject>(dict.Find("/N")).Value;
  const int64_t first = Cast<TvxPDFIntegerObject>(dict.Find("/First")).Value;

  const bool takeIndex = indexedAhead && ahead->CountAndFirst == std::make_pair(count, first);
  if (!takeIndex && !index->Data) index->Data = decode();
  if (index->Data) {
    index->Reader = std::make_unique<TvxPDFStreamReader>(documentID_, index->Data);
    index->Reader->DuplicateKeys = &duplicateKeys_;
  }
  if (takeIndex) {
    index->Members = std::move(ahead->Members);
    index->Parsed = std::move(ahead->Parsed);
  } else {
    index->Members = ReadMemberTable(*index->Reader, index->Data->size(), count, first);
  }
  index->Damaged = damaged;
  if (sourceFile_) {
    if (filtered) index->Filter = filter->Clone();
    index->Holder = std::move(holder);
  }
  TvxObjectStreamIndex* result = index.get();
  decodedObjectStreams_[s] = std::move(index);
  KeepDecodedData(s, *result);
  return result;
}

void TvxCustomPDFDocument::KeepDecodedData(int64_t s, TvxObjectStreamIndex& index) {
  // A page walk reads the streams in turn, and the pages of one stream
  // mostly together: a few of the last decoded cover what is read again.
  constexpr size_t kKeptBytes = size_t(256) << 10;
  if (!index.Holder || !index.Data || index.KeptForGood) return;
  keptDecodedStreams_.push_back(s);
  keptDecodedBytes_ += index.Data->size();
  while (keptDecodedBytes_ > kKeptBytes && keptDecodedStreams_.size() > 1) {
    TvxObjectStreamIndex& oldest = *decodedObjectStreams_.at(keptDecodedStreams_.front());
    keptDecodedStreams_.pop_front();
    keptDecodedBytes_ -= oldest.Data->size();
    oldest.Reader.reset();
    oldest.Data.reset();
  }
}

void TvxCustomPDFDocument::DecodeAgain(TvxObjectStreamIndex& index) {
  // The same bytes through the same filters: the same data as the first
  // time. Kept from now on, so that no stream is decoded more than twice.
  const auto& stream = Cast<TvxPDFStreamObject>(index.Holder->Content.get());
  std::string damage;  // reported the first time
  index.Data = SalvageObjectStreamData(stream.DataView(), index.Filter.get(), *stream.Dictionary, damage);
  index.Reader = std::make_unique<TvxPDFStreamReader>(documentID_, index.Data);
  index.Reader->DuplicateKeys = &duplicateKeys_;
  index.KeptForGood = true;
}

std::unique_ptr<TvxPDFIndirectObject> TvxCustomPDFDocument::ReadObjectStreamHolder(int64_t s) {
  return ReadObjectAt(LookupObjectOffset(int32_t(s)));
}

void TvxCustomPDFDocument::DecodeAheadFor(const std::vector<int32_t>& numbers) {
  // Held warnings let a read ahead that warns be undone (see below).
  if (!loadHelper_ || !loadHelper_->RunsAhead() || !servingOnDemand_ || !holdWarnings_) return;
  // The members wanted of each stream, the streams in the order first met.
  std::vector<std::pair<int64_t, std::vector<int32_t>>> streams;
  std::unordered_map<int64_t, size_t> place;
  for (int32_t n : numbers) {
    if (n <= 0 || size_t(n) >= xrefStmItems_.size() || store_->IndexOf(documentID_, n, 0) >= 0) continue;
    const auto& entry = xrefStmItems_[size_t(n)];
    if (!entry || entry->EntryType != 2) continue;
    const int64_t s = entry->Field2;
    if (!HasEntryListSlot(s) || decodedObjectStreams_.count(s)) continue;
    auto [at, added] = place.try_emplace(s, streams.size());
    if (added) streams.push_back({s, {}});
    streams[at->second].second.push_back(n);
  }
  for (auto& [s, wanted] : streams)
    if (loadHelper_->FirstAsk(s)) QueueObjectStream(s, std::move(wanted));
}

void TvxCustomPDFDocument::QueueObjectStream(int64_t s, std::vector<int32_t> wanted) {
  // Only a stream read without a word and without reading other objects
  // is queued: one that warns, fails or needs more is read again when it is
  // needed, so that the load goes and says exactly what it would have
  // without reading ahead.
  const size_t warnings = heldWarnings_.size();
  readingAhead_ = true;
  struct Leave {
    bool& flag;
    ~Leave() { flag = false; }
  } leave{readingAhead_};
  try {
    std::unique_ptr<TvxPDFIndirectObject> holder = ReadObjectStreamHolder(s);
    auto* stream = holder ? As<TvxPDFStreamObject>(holder->Content.get()) : nullptr;
    TvxPDFObject* filter = stream ? store_->Resolve(stream->Dictionary->Find("/Filter")) : nullptr;
    if (filter && !filter->IsNull() && heldWarnings_.size() == warnings) {
      auto job = std::make_unique<TvxObjectStreamJob>();
      job->DocumentID = documentID_;
      job->DuplicateKeys = &duplicateKeys_;
      job->Filter = filter->Clone();
      job->Source = stream->DataView();
      auto* count = As<TvxPDFIntegerObject>(stream->Dictionary->Find("/N"));
      auto* first = As<TvxPDFIntegerObject>(stream->Dictionary->Find("/First"));
      if (count && first) job->CountAndFirst = std::make_pair(count->Value, first->Value);
      job->Wanted = std::move(wanted);
      job->Holder = std::move(holder);
      loadHelper_->Queue(s, std::move(job));
      return;
    }
  } catch (const std::exception&) {
  } catch (const TvxReadAheadStop&) {
  }
  heldWarnings_.resize(warnings);
}

TvxPDFIndirectObject* TvxCustomPDFDocument::ReadMemberOnDemand(int32_t n, int64_t s) {
  TvxObjectStreamIndex* index = ObjectStreamIndex(s);
  if (!index) return nullptr;
  auto found = FindMember(index->Members, n);
  if (found == index->Members.end()) return nullptr;
  TvxPDFObjectPtr member;
  if (auto parsed = index->Parsed.find(n); parsed != index->Parsed.end()) {
    member = std::move(parsed->second);
    index->Parsed.erase(parsed);
  } else {
    if (!index->Reader) DecodeAgain(*index);
    TvxPDFStreamReader& members = *index->Reader;
    members.SetPos(found->second);
    try {
      member = members.ParseObject();
    } catch (const Exception&) {
      if (!index->Damaged) throw;  // one cut or garbled by the damage reads as null
    }
  }
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
    if (key == "/Lang") catalog_->LanguageValue.reset();
  } else if (place == TvxKeptPlace::ViewerPreferences) {
    TvxPDFDictObject* prefs = catalog_->ViewerPreferences.Dictionary();
    for (int i = prefs ? prefs->IndexOf(key) : -1; i >= 0; i = prefs->IndexOf(key)) prefs->Delete(i);
  }
}

void TvxCustomPDFDocument::CompleteLoad() {
  // Read for a report, the walks were never kept.
  if (reportOnly_) throw EPDFException(res::SReadForReportNotSaved);
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
  keptDecodedStreams_.clear();
  keptDecodedBytes_ = 0;
  reader_.reset();
  ReleaseEntryLists();
}

}  // namespace vx
