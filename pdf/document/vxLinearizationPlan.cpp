#include "pdf/document/vxLinearizationPlan.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"

namespace vx {

namespace {

constexpr int32_t kNobody = -1;
constexpr int32_t kSeveral = -2;

enum : uint8_t {
  kFirstPage = 1,
  kOutlines = 2,
  kOpenDocument = 4,
  kOthers = 8,
  kReached = 16,  // by any walk
  kThumbed = 32,  // by a thumbnail: the walker keeps whose
  kPage = 64      // one of the document's pages, whatever its /Type says
};

// Who reaches one written object; eight bytes, as a large document has
// hundreds of thousands. Few objects belong to thumbnails: the page whose
// thumbnail reaches one is kept aside.
struct TvxUsers {
  int32_t Page = kNobody;  // the one page after the first that reaches it
  uint16_t Walk = 0;       // the last walk that reached it (see TvxUserWalker::Begin)
  uint8_t Flags = 0;
};

void AddUser(int32_t& slot, int32_t page) {
  if (slot == kNobody)
    slot = page;
  else if (slot != page)
    slot = kSeveral;
}

// A dictionary whose (first) /Type is /Page.
bool IsPageDictionary(const TvxPDFObject* object) {
  auto* dict = As<TvxPDFDictObject>(object);
  if (!dict) return false;
  for (const auto& e : dict->Entries()) {
    if (std::string_view(e.Key) != "/Type") continue;
    auto* type = As<TvxPDFNameObject>(e.Value.get());
    return type && type->Text == "/Page";
  }
  return false;
}

// The part an object is in, from its users.
enum class TvxPart : uint8_t {
  Outlines,
  OpenDocument,
  FirstPagePrivate,
  FirstPageShared,
  PagePrivate,
  Shared,
  ThumbnailPrivate,
  ThumbnailShared,
  Other,
  Unreached
};

// `thumb`: the one page whose thumbnail reaches the object, kNobody or kSeveral.
TvxPart PartOf(const TvxUsers& u, int32_t thumb) {
  const bool others = (u.Flags & kOthers) != 0;
  if (u.Flags & kOutlines) return TvxPart::Outlines;
  if (u.Flags & kOpenDocument) return TvxPart::OpenDocument;
  if ((u.Flags & kFirstPage) && !others && u.Page == kNobody && thumb == kNobody) return TvxPart::FirstPagePrivate;
  if (u.Flags & kFirstPage) return TvxPart::FirstPageShared;
  if (u.Page >= 1 && !others && thumb == kNobody) return TvxPart::PagePrivate;
  if (u.Page == kSeveral) return TvxPart::Shared;
  if (thumb >= 0 && !others) return TvxPart::ThumbnailPrivate;
  if (thumb == kSeveral) return TvxPart::ThumbnailShared;
  if (u.Flags & kReached) return TvxPart::Other;
  return TvxPart::Unreached;
}

// Whether a page's use of an object in this part goes into the shared
// object hint table.
bool MayBeShared(TvxPart part, bool outlinesWithFirstPage) {
  return part == TvxPart::FirstPageShared || part == TvxPart::Shared ||
         (part == TvxPart::Outlines && outlinesWithFirstPage);
}

}  // namespace

// Walks what one user reaches, marking each object with the user. (A friend
// of the document: it resolves references as the serialiser does.)
class TvxUserWalker {
 public:
  enum class Kind : uint8_t { Page, Thumb, OpenDocument, Outlines, Other };

  TvxUserWalker(TvxCustomPDFDocument& document, std::vector<TvxUsers>& users) : document_(document), users_(users) {}

  // One user's walk from `start`; with `reached`, the indexes of the objects
  // it reaches are appended there.
  void Walk(Kind kind, int32_t page, const TvxPDFObject* start, TvxNumberBlocks* reached = nullptr) {
    Begin();
    stack_.push_back({start, kind, page, false});
    Run(reached);
  }

  // A page's walk: the page object itself is the one page it enters.
  void WalkPage(int32_t page, const TvxPDFIndirectObject* pageObject, TvxNumberBlocks* reached) {
    Begin();
    stack_.push_back({pageObject, Kind::Page, page, true});
    Run(reached);
  }

  // The part of the object at `index`, from who reaches it.
  TvxPart PartAt(size_t index) const {
    const TvxUsers& u = users_[index];
    return PartOf(u, (u.Flags & kThumbed) ? thumbs_.at(uint32_t(index)) : kNobody);
  }

  // The entries of the catalog as the writer builds it, for a walk that
  // reaches the catalog through a reference.
  std::vector<const TvxPDFObject*> CatalogValues;

 private:
  struct Item {
    const TvxPDFObject* Value;
    Kind UserKind;
    int32_t Page;
    bool Top;
  };

  // A walk's objects carry its number modulo 2^16: when it comes round to
  // 0, every object is marked unreached by the walks to come.
  void Begin() {
    ++walk_;
    if (uint16_t(walk_) == 0) {
      for (TvxUsers& u : users_) u.Walk = 0;
      ++walk_;
    }
  }

  void Mark(uint32_t index, Kind kind, int32_t page) {
    TvxUsers& u = users_[index];
    u.Flags |= kReached;
    switch (kind) {
      case Kind::Page:
        if (page == 0)
          u.Flags |= kFirstPage;
        else
          AddUser(u.Page, page);
        break;
      case Kind::Thumb:
        u.Flags |= kThumbed;
        AddUser(thumbs_.try_emplace(index, kNobody).first->second, page);
        break;
      case Kind::OpenDocument: u.Flags |= kOpenDocument; break;
      case Kind::Outlines: u.Flags |= kOutlines; break;
      case Kind::Other: u.Flags |= kOthers; break;
    }
  }

  // The object a reference is written as a reference to, as the serialiser
  // decides it; nullptr when it is not written (or is the catalog).
  const TvxPDFIndirectObject* Target(const TvxObjectKey& key, bool& isCatalog) {
    const TvxCustomPDFDocument& doc = document_;
    isCatalog = key.DocumentID == doc.documentID_ && key.ObjectNumber == doc.trailer_->RootNumber && key.ObjectNumber > 0;
    if (isCatalog) return nullptr;
    const TvxPDFIndirectObject* target = doc.store_->Find(key);
    if ((!target || target->UseCount == 0) && doc.saveStore_) {
      if (const TvxPDFIndirectObject* rebuilt = doc.saveStore_->Find(key)) target = rebuilt;
    }
    return target && target->UseCount != 0 && target->NewNumber > 0 ? target : nullptr;
  }

  void Run(TvxNumberBlocks* reached) {
    while (!stack_.empty()) {
      const Item item = stack_.back();
      stack_.pop_back();
      const TvxPDFObject* value = item.Value;
      if (!value) continue;
      if (value->ObjectType == otIndirectReference || value->ObjectType == otIndirectObject) {
        TvxObjectKey key;
        if (auto* ref = As<TvxPDFIndirectReference>(value))
          key = {ref->DocumentID, ref->ObjectNumber, ref->Generation};
        else if (auto* io = As<TvxPDFIndirectObject>(value))
          key = {io->DocumentID, io->ObjectNumber, io->Generation};
        bool isCatalog = false;
        const TvxPDFIndirectObject* target = Target(key, isCatalog);
        if (isCatalog) {
          if (catalogWalk_ != walk_) {
            catalogWalk_ = walk_;
            for (const TvxPDFObject* v : CatalogValues) stack_.push_back({v, item.UserKind, item.Page, false});
          }
          continue;
        }
        if (!target) continue;
        const uint32_t index = uint32_t(target->NewNumber - 1);
        TvxUsers& u = users_[index];
        // Another page is its own user's: a walk stops there.
        if (!item.Top && ((u.Flags & kPage) || IsPageDictionary(target->Content.get()))) continue;
        if (u.Walk == uint16_t(walk_)) continue;
        u.Walk = uint16_t(walk_);
        Mark(index, item.UserKind, item.Page);
        if (reached) reached->Add(index);
        value = target->Content.get();
        if (!value) continue;
      }
      Expand(value, item);
    }
  }

  // Children are visited depth first, a dictionary's entries in the order
  // of their keys (the last of duplicate keys counting, as for a reader),
  // with one set of visited objects per walk: where a page and its
  // thumbnail reach the same object, the first to get there has it.
  void Expand(const TvxPDFObject* value, const Item& item) {
    const size_t mark = stack_.size();
    switch (value->ObjectType) {
      case otArray: {
        auto* array = static_cast<const TvxPDFArrayObject*>(value);
        if (array->IsPacked()) return;  // numbers only
        for (const auto& v : array->Items()) stack_.push_back({v.get(), item.UserKind, item.Page, false});
        break;
      }
      case otDictionary:
      case otStream: {
        const TvxPDFDictObject* dict = nullptr;
        bool isPage = false;
        if (value->ObjectType == otStream) {
          dict = static_cast<const TvxPDFStreamObject*>(value)->Dictionary.get();
        } else {
          dict = static_cast<const TvxPDFDictObject*>(value);
          isPage = item.Top || IsPageDictionary(value);
          if (isPage && !item.Top) return;
        }
        if (!dict) return;
        entries_.clear();
        for (const auto& e : dict->Entries())
          if (e.Value && !e.Value->IsNull()) entries_.push_back({std::string_view(e.Key), e.Value.get()});
        std::stable_sort(entries_.begin(), entries_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t i = 0; i < entries_.size(); ++i) {
          const auto& [key, v] = entries_[i];
          if (i + 1 < entries_.size() && entries_[i + 1].first == key) continue;  // a later one counts
          // A linearized file gives every stream its length directly.
          if (value->ObjectType == otStream && key == "/Length") continue;
          if (isPage && key == "/Parent") continue;  // pages hang from the root the writer makes
          const Kind kind = isPage && key == "/Thumb" ? Kind::Thumb : item.UserKind;
          stack_.push_back({v, kind, item.Page, false});
        }
        break;
      }
      default:
        return;
    }
    std::reverse(stack_.begin() + std::ptrdiff_t(mark), stack_.end());
  }

  TvxCustomPDFDocument& document_;
  std::vector<TvxUsers>& users_;
  std::unordered_map<uint32_t, int32_t> thumbs_;
  std::vector<Item> stack_;
  std::vector<std::pair<std::string_view, const TvxPDFObject*>> entries_;
  uint32_t walk_ = 0;
  uint32_t catalogWalk_ = 0;
};

TvxLinearizationPlan::TvxLinearizationPlan(TvxCustomPDFDocument& document) {
  TvxCustomPDFDocument& doc = document;
  // Every stored object has an index: its place in the store, then in the
  // save-time store. A written object's NewNumber is its index plus one
  // while the plan is made; the others' is 0.
  stores_[0] = doc.store_.get();
  stores_[1] = doc.saveStore_.get();
  firstCount_ = stores_[0] ? stores_[0]->Objects().size() : 0;
  const size_t count = firstCount_ + (stores_[1] ? stores_[1]->Objects().size() : 0);
  for (size_t i = 0; i < count; ++i) {
    const TvxPDFIndirectObject* object = ObjectAt(i);
    const_cast<TvxPDFIndirectObject*>(object)->NewNumber = object->UseCount == 0 ? 0 : int32_t(i + 1);
  }
  struct TvxClearNumbers {
    const TvxPDFObjectStore* const* Stores;
    ~TvxClearNumbers() {
      for (size_t s = 0; s < 2; ++s)
        if (Stores[s])
          for (const auto& object : Stores[s]->Objects()) object->NewNumber = 0;
    }
  } clear{stores_};

  for (const TvxPDFIndirectObject* page : doc.pageList_)
    if (page && page->UseCount != 0 && page->NewNumber > 0) Pages.push_back(page);
  if (Pages.empty()) {
    Refusal = res::SLinearizingNoPages;
    return;
  }

  std::vector<TvxUsers> users(count);
  TvxUserWalker walker(doc, users);
  const TvxPDFCatalog& catalog = *doc.catalog_;
  using Kind = TvxUserWalker::Kind;
  // The catalog's entries as the writer builds them, with the kind of user
  // each one is.
  std::vector<std::pair<Kind, const TvxPDFObject*>> catalogEntries = {
      {Kind::Other, catalog.MetadataRef.get()},
      {Kind::Other, catalog.NamesValue.get()},
      {Kind::Outlines, catalog.OutlinesRef.get()},
      {Kind::OpenDocument, catalog.ViewerPreferences.Dictionary()},
      {Kind::OpenDocument, catalog.AcroFormValue.get()},
      {Kind::OpenDocument, catalog.OpenActionValue.get()},
      {Kind::Other, catalog.AdditionalActions.get()}};
  for (const auto& [key, value] : catalog.KeptEntries)
    catalogEntries.push_back({key == "/Threads" ? Kind::OpenDocument : Kind::Other, value.get()});
  for (const auto& entry : catalogEntries) walker.CatalogValues.push_back(entry.second);

  // Pages first: the first page, then the others, noting what each reaches.
  TvxNumberBlocks reached;
  std::vector<size_t> reachedStart(Pages.size() + 1, 0);
  for (const TvxPDFIndirectObject* page : Pages) users[size_t(page->NewNumber - 1)].Flags |= kPage;
  for (size_t p = 0; p < Pages.size(); ++p) {
    if (users[size_t(Pages[p]->NewNumber - 1)].Flags & kReached) {
      Refusal = res::SLinearizingDuplicatePages;
      return;
    }
    reachedStart[p] = reached.Size();
    walker.WalkPage(int32_t(p), Pages[p], p == 0 ? nullptr : &reached);
  }
  reachedStart[Pages.size()] = reached.Size();
  for (const auto& [kind, value] : catalogEntries) walker.Walk(kind, 0, value);
  if (const TvxPDFDictObject* info = doc.info_->InfoDict()) walker.Walk(Kind::Other, 0, info);

  const TvxPDFOutline* outlineRootItem = doc.OutlineRoot();
  OutlinesWithFirstPage = doc.PageMode() == pmUseOutlines && outlineRootItem != nullptr;

  // The uses that go into the shared object table, in place of what the
  // pages reached (page 0 noted nothing, so the kept ones never overtake
  // the ones read).
  size_t kept = 0;
  SharedUseStart.assign(Pages.size() + 1, 0);
  for (size_t p = 1; p < Pages.size(); ++p) {
    SharedUseStart[p] = kept;
    for (size_t k = reachedStart[p]; k < reachedStart[p + 1]; ++k)
      if (MayBeShared(walker.PartAt(reached[k]), OutlinesWithFirstPage)) reached.Set(kept++, reached[k]);
  }
  SharedUseStart[Pages.size()] = kept;
  reached.Truncate(kept);
  SharedUse = std::move(reached);

  const TvxPDFIndirectObject* outlineRoot = nullptr;
  if (catalog.OutlinesRef) {
    for (size_t i = 0; i < count; ++i) {
      const TvxPDFIndirectObject* o = ObjectAt(i);
      if (o->UseCount != 0 && walker.PartAt(i) == TvxPart::Outlines &&
          o->ObjectNumber == catalog.OutlinesRef->ObjectNumber && o->DocumentID == catalog.OutlinesRef->DocumentID &&
          o->Generation == catalog.OutlinesRef->Generation) {
        outlineRoot = o;
        break;
      }
    }
  }

  // The parts in one list, each in store order (a page's own objects after
  // its page object, the outline root before the other outline objects),
  // through buckets counted first: what opens the document; the first page
  // and its own objects, then those it shares; each later page; the shared
  // objects; the outlines; the thumbnails' own objects, those thumbnails
  // share, the other objects reached, and those nothing reaches.
  const size_t pageCount = Pages.size();
  const size_t kOpen = 0, kFirstOwn = 1, kFirstShared = 2, kPage0 = 2;  // page p (from 1): kPage0 + p
  const size_t kShared = kPage0 + pageCount, kOutlines = kShared + 1, kThumbOwn = kOutlines + 1,
               kThumbShared = kThumbOwn + 1, kOther = kThumbShared + 1, kUnreached = kOther + 1,
               kBuckets = kUnreached + 1;
  // The bucket of each written object, kNone for one that is already at the
  // head of its bucket (a page object, the outline root) or not written.
  // Who reaches what is done with once they are known.
  constexpr uint32_t kNone = UINT32_MAX;
  auto bucketOf = [&](size_t i, const TvxPDFIndirectObject* o) -> uint32_t {
    switch (walker.PartAt(i)) {
      case TvxPart::Outlines: return o == outlineRoot ? kNone : uint32_t(kOutlines);
      case TvxPart::OpenDocument: return uint32_t(kOpen);
      case TvxPart::FirstPagePrivate: return o == Pages[0] ? kNone : uint32_t(kFirstOwn);
      case TvxPart::FirstPageShared: return uint32_t(kFirstShared);
      case TvxPart::PagePrivate: {
        const size_t page = size_t(users[i].Page);
        return o == Pages[page] ? kNone : uint32_t(kPage0 + page);
      }
      case TvxPart::Shared: return uint32_t(kShared);
      case TvxPart::ThumbnailPrivate: return uint32_t(kThumbOwn);
      case TvxPart::ThumbnailShared: return uint32_t(kThumbShared);
      case TvxPart::Other: return uint32_t(kOther);
      case TvxPart::Unreached: return uint32_t(kUnreached);
    }
    return kNone;
  };
  std::vector<uint32_t> buckets(count, kNone);
  for (size_t i = 0; i < count; ++i) {
    const TvxPDFIndirectObject* o = ObjectAt(i);
    if (o->UseCount != 0) buckets[i] = bucketOf(i, o);
  }
  std::vector<TvxUsers>().swap(users);

  std::vector<size_t> start(kBuckets + 1, 0);
  // The heads: the first page's object, each later page's, the outline root.
  start[kFirstOwn] = 1;
  for (size_t p = 1; p < pageCount; ++p) start[kPage0 + p] = 1;
  if (outlineRoot) start[kOutlines] = 1;
  for (uint32_t bucket : buckets)
    if (bucket != kNone) ++start[bucket];
  size_t total = 0;
  for (size_t b = 0; b <= kBuckets; ++b) {
    const size_t n = start[b];
    start[b] = total;
    total += n;
  }
  Objects.resize(total);
  std::vector<size_t> cursor(start.begin(), start.end() - 1);
  auto indexOf = [](const TvxPDFIndirectObject* o) { return uint32_t(o->NewNumber - 1); };
  Objects[cursor[kFirstOwn]++] = indexOf(Pages[0]);
  for (size_t p = 1; p < pageCount; ++p) Objects[cursor[kPage0 + p]++] = indexOf(Pages[p]);
  if (outlineRoot) Objects[cursor[kOutlines]++] = indexOf(outlineRoot);
  for (size_t i = 0; i < count; ++i)
    if (buckets[i] != kNone) Objects[cursor[buckets[i]]++] = uint32_t(i);
  OpenDocument = {start[kOpen], start[kOpen + 1]};
  FirstPage = {start[kFirstOwn], start[kFirstShared + 1]};
  PageStart.assign(pageCount + 1, 0);
  for (size_t p = 1; p <= pageCount; ++p) PageStart[p] = start[kPage0 + p];
  Shared = {start[kShared], start[kShared + 1]};
  Outlines = {start[kOutlines], start[kOutlines + 1]};
  Other = {start[kThumbOwn], start[kUnreached + 1]};
}

}  // namespace vx
