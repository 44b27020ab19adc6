// The page tree: walked once at load into the flat page list with inherited
// attributes pushed down into each page; page accessors and page ranges.
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxPDFUtils.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// Page trees are shallow; a deeper one is damaged or hostile.
constexpr int kMaxTreeDepth = 256;
// A page listed in more than one place is a page in each (as other readers
// show it), up to the root's declared /Count and this many pages whatever it
// declares; walking a node again costs a visit, and visits are bounded too,
// so that a tree shared at every level still reads in linear time.
constexpr int64_t kMaxPagesWithCopies = 100000;
constexpr int64_t kMaxRevisits = 100000;
constexpr double kScreenPixelsPerInch = 96.0;

const char* const kInheritable[4] = {"/Rotate", "/MediaBox", "/Resources", "/CropBox"};

double FromPoints(double value, TvxMeasurementUnit unit) {
  switch (unit) {
    case muPixels: return value * kScreenPixelsPerInch / 72.0;
    case muPoints: return value;
    case muInches: return value / 72.0;
    case muMM: return value / 2.83464;
    case muTwips: return value / 0.05;
  }
  return value;
}

}  // namespace

// One walk of the page tree. A node that is its own ancestor (a cycle) is
// skipped with a warning. A node reached again by another way (a page listed
// twice, a subtree shared by two nodes) is walked again while the bounds
// above allow, and each page it reaches again becomes a copy of that page:
// the document shows it in both places, as other readers do.
class TvxPageTreeWalker {
 public:
  explicit TvxPageTreeWalker(TvxCustomPDFDocument& doc) : doc_(doc) {}
  void WalkRoot(int32_t number);

 private:
  void Walk(int32_t number, const TvxPDFDictObject* inherited, int depth);
  void AddPage(TvxFetchedObject node, const TvxPDFDictObject* inherited);
  void AddPageCopy(const TvxPDFIndirectObject& page, const TvxPDFDictObject* inherited);
  // Copies the inherited entries the page lacks into it; answers which
  // (bit i: kInheritable[i]).
  uint8_t Inherit(TvxPDFDictObject& pageDict, const TvxPDFDictObject* inherited);
  void LoadPageValues(TvxPDFDictObject& pageDict);

  TvxCustomPDFDocument& doc_;
  std::unordered_set<int32_t> visited_;
  std::unordered_set<int32_t> onPath_;  // the nodes from the root to the one walked
  std::unordered_map<int32_t, uint8_t> inheritedKeys_;  // page -> entries its first place gave it
  std::unordered_set<int32_t> copied_;  // pages copied (said once each)
  int64_t pageLimit_ = kMaxPagesWithCopies;
  int64_t revisits_ = 0;
};

void TvxCustomPDFDocument::LoadPageTree(int32_t objectNumber) {
  TvxPageTreeWalker(*this).WalkRoot(objectNumber);
}

namespace {

enum class TvxNodeKind { Pages, Page, Other };

// A node's kind by its /Type. A node without one is taken, as other readers
// take it, for a page-tree node when it has /Kids and for a page otherwise;
// a node typed as anything else is neither.
TvxNodeKind KindOf(const TvxPDFDictObject& dict) {
  auto* type = As<TvxPDFNameObject>(dict.Find("/Type"));
  if (type && type->Text == "/Pages") return TvxNodeKind::Pages;
  if (type && type->Text == "/Page") return TvxNodeKind::Page;
  if (type) return TvxNodeKind::Other;
  return As<TvxPDFArrayObject>(dict.Find("/Kids")) ? TvxNodeKind::Pages : TvxNodeKind::Page;
}

}  // namespace

void TvxPageTreeWalker::WalkRoot(int32_t number) {
  // The root must be readable: without it no page can be found, and a
  // document without its pages must not pass for an empty one.
  TvxFetchedObject root = doc_.FetchObject(number);
  auto* dict = root ? As<TvxPDFDictObject>(root->Content.get()) : nullptr;
  if (!dict)
    throw EPDFFileCorruptedError(Format(res::SPageTreeUnreadable, {Format(res::SPageTreeNodeMissing, {number})}));
  if (KindOf(*dict) == TvxNodeKind::Other)
    throw EPDFFileCorruptedError(Format(res::SPageTreeUnreadable, {Format(res::SPageTreeNodeNotPage, {number})}));
  if (KindOf(*dict) == TvxNodeKind::Page) {
    doc_.declaredPageCount_ = 1;
  } else if (auto* count = As<TvxPDFIntegerObject>(dict->Find("/Count"))) {
    doc_.declaredPageCount_ = count->Value;
  } else if (auto* countRef = As<TvxPDFIndirectReference>(dict->Find("/Count"))) {
    TvxPDFObjectPtr value = doc_.LoadCopy(countRef);
    if (auto* integer = As<TvxPDFIntegerObject>(value.get())) doc_.declaredPageCount_ = integer->Value;
  }
  root = TvxFetchedObject();  // read again by the walk; kept only when it is a page
  if (doc_.declaredPageCount_ >= 0) pageLimit_ = std::min<int64_t>(pageLimit_, doc_.declaredPageCount_);
  Walk(number, nullptr, 0);
  if (doc_.declaredPageCount_ > doc_.PageCount())
    doc_.Warning(Format(res::SPagesLost, {doc_.declaredPageCount_, doc_.PageCount()}));
}

void TvxPageTreeWalker::Walk(int32_t number, const TvxPDFDictObject* inherited, int depth) {
  const bool again = !visited_.insert(number).second;
  if (again && (onPath_.count(number) || doc_.PageCount() >= pageLimit_ || revisits_ >= kMaxRevisits)) {
    doc_.Warning(Format(res::SPageTreeNodeShared, {number}));
    return;  // the node is skipped; the rest of the tree still loads
  }
  if (again) ++revisits_;
  if (depth > kMaxTreeDepth) {
    doc_.Warning(Format(res::SPageTreeTooDeep, {kMaxTreeDepth, number}));
    return;
  }
  TvxFetchedObject node = doc_.FetchObject(number);
  auto* nodeDict = node ? As<TvxPDFDictObject>(node->Content.get()) : nullptr;
  if (!nodeDict) {
    doc_.Warning(Format(res::SPageTreeKidMissing, {number}));
    return;  // a kid that is free, missing or damaged is skipped, and said so
  }
  auto& dict = *nodeDict;
  const TvxNodeKind kind = KindOf(dict);
  if (kind == TvxNodeKind::Other)
    throw EPDFFileCorruptedError(Format(res::SPageTreeUnreadable, {Format(res::SPageTreeNodeNotPage, {number})}));

  if (kind == TvxNodeKind::Pages) {
    TvxPDFObjectPtr keepKids;
    TvxPDFArrayObject* kids = doc_.LoadArray(dict.Find("/Kids"), false, keepKids);
    std::unique_ptr<TvxPDFDictObject> attributes;
    if (inherited) attributes.reset(static_cast<TvxPDFDictObject*>(inherited->Clone().release()));
    for (const char* key : kInheritable) {
      if (TvxPDFObject* value = dict.Find(key)) {
        if (!attributes) attributes = std::make_unique<TvxPDFDictObject>();
        attributes->SetValue(key, value->Clone());
      }
    }
    if (!kids) return;
    // The kids are copied first: walking may read other objects, and an
    // intermediate node read from the file is not kept.
    std::vector<int32_t> kidNumbers;
    for (const auto& kid : kids->Items()) {
      if (auto* ref = As<TvxPDFIndirectReference>(kid.get())) {
        kidNumbers.push_back(ref->ObjectNumber);
      } else if (auto* direct = As<TvxPDFDictObject>(kid.get()); direct && KindOf(*direct) != TvxNodeKind::Other) {
        // A page written inline in /Kids: other readers show it, so it
        // becomes an object of its own rather than being lost.
        const int32_t own = doc_.store_->NewObjectNumber();
        doc_.store_->Add(std::make_unique<TvxPDFIndirectObject>(doc_.DocumentID(), own, uint16_t(0), direct->Clone()));
        kidNumbers.push_back(own);
      } else {
        doc_.Warning(Format(res::SPageTreeKidNotReference, {number}));
      }
    }
    doc_.DecodeAheadFor(kidNumbers);
    onPath_.insert(number);
    for (int32_t kid : kidNumbers) Walk(kid, attributes.get(), depth + 1);
    onPath_.erase(number);
    return;
  }
  if (again && !node.FromFile())
    AddPageCopy(*node.Object, inherited);
  else
    AddPage(std::move(node), inherited);
}

uint8_t TvxPageTreeWalker::Inherit(TvxPDFDictObject& pageDict, const TvxPDFDictObject* inherited) {
  uint8_t added = 0;
  if (!inherited) return added;
  for (const auto& e : inherited->Entries()) {
    if (pageDict.IndexOf(e.Key) >= 0) continue;
    pageDict.Add(e.Key, e.Value->Clone());
    for (size_t i = 0; i < std::size(kInheritable); ++i)
      if (std::string_view(e.Key) == kInheritable[i]) added |= uint8_t(1u << i);
  }
  return added;
}

void TvxPageTreeWalker::LoadPageValues(TvxPDFDictObject& pageDict) {
  for (int i = 0; i < pageDict.Count(); ++i) {
    const std::string& key = pageDict.KeyAt(i);
    if (key == "/Annots" || key == "/B") continue;
    doc_.LoadObjectClosure(pageDict.ValueAt(i));
  }
}

void TvxPageTreeWalker::AddPageCopy(const TvxPDFIndirectObject& page, const TvxPDFDictObject* inherited) {
  // The page as its own dictionary has it, with what this place inherits;
  // everything else it names is shared with the first place.
  auto* source = As<TvxPDFDictObject>(page.Content.get());
  if (!source) return;
  std::unique_ptr<TvxPDFDictObject> copy(static_cast<TvxPDFDictObject*>(source->Clone().release()));
  if (auto it = inheritedKeys_.find(page.ObjectNumber); it != inheritedKeys_.end())
    for (size_t i = 0; i < std::size(kInheritable); ++i)
      if (it->second & (1u << i)) copy->Remove(kInheritable[i]);
  Inherit(*copy, inherited);
  const int32_t own = doc_.store_->NewObjectNumber();
  TvxPDFIndirectObject* added =
      doc_.store_->Add(std::make_unique<TvxPDFIndirectObject>(doc_.DocumentID(), own, uint16_t(0), std::move(copy)));
  added->MarkUsed();
  LoadPageValues(static_cast<TvxPDFDictObject&>(*added->Content));
  doc_.pageList_.push_back(added);
  if (copied_.insert(page.ObjectNumber).second) doc_.Warning(Format(res::SPageListedAgain, {page.ObjectNumber}));
}

void TvxPageTreeWalker::AddPage(TvxFetchedObject node, const TvxPDFDictObject* inherited) {
  TvxPDFIndirectObject* page = node.Object;
  page->MarkUsed();
  if (node.FromFile()) page = doc_.store_->Add(std::move(node.Owned));
  auto& pageDict = static_cast<TvxPDFDictObject&>(*page->Content);
  pageDict.Remove("/Parent");
  pageDict.Remove("/B");
  if (const uint8_t added = Inherit(pageDict, inherited)) inheritedKeys_[page->ObjectNumber] = added;
  LoadPageValues(pageDict);
  doc_.pageList_.push_back(page);
}

int TvxCustomPDFDocument::GetPageRotation(int pageNumber) const {
  if (pageNumber < 1 || pageNumber > PageCount()) throw EInvalidPageError(Format(res::SInvalidPageNumber, {pageNumber}));
  auto* dict = As<TvxPDFDictObject>(pageList_[size_t(pageNumber - 1)]->Content.get());
  TvxPDFIntegerObject* rotate = dict ? store_->ResolveInteger(dict->Find("/Rotate")) : nullptr;
  return rotate ? rotate->Value : 0;
}

std::array<double, 4> TvxCustomPDFDocument::GetPageBox(int pageNumber, TvxMeasurementUnit unit) const {
  if (pageNumber < 1 || pageNumber > PageCount())
    throw EListError(Format(res::SListIndexError, {pageNumber - 1}));
  auto* dict = As<TvxPDFDictObject>(pageList_[size_t(pageNumber - 1)]->Content.get());
  std::array<double, 4> box{0, 0, 0, 0};
  if (!dict) return box;
  TvxArrayValue array = store_->ResolveArray(dict->Find("/CropBox"));
  if (!array) array = store_->ResolveArray(dict->Find("/MediaBox"));
  if (!array) return box;  // neither box: an empty page box
  box = ReadRectangle(array.Array);
  for (double& v : box) v = FromPoints(v, unit);
  return box;
}

std::pair<double, double> TvxCustomPDFDocument::GetPageSize(int pageNumber, TvxMeasurementUnit unit) const {
  std::array<double, 4> box = GetPageBox(pageNumber, unit);
  return {box[2] - box[0], box[3] - box[1]};
}

std::vector<int> TvxCustomPDFDocument::ParsePageRange(const std::string& text, int pageCount) {
  std::string source = text.empty() ? "1-" + std::to_string(pageCount) : text;

  // Items separated by commas and runs of blanks or control characters; a
  // quoted item keeps its blanks; ",," and a trailing comma give empty items.
  std::vector<std::string> items;
  size_t p = 0;
  auto blank = [&](size_t i) { return i < source.size() && uint8_t(source[i]) >= 1 && uint8_t(source[i]) <= ' '; };
  while (blank(p)) ++p;
  while (p < source.size()) {
    std::string item;
    if (source[p] == '"') {
      ++p;
      while (p < source.size()) {
        if (source[p] == '"') {
          if (p + 1 < source.size() && source[p + 1] == '"') {
            item += '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        item += source[p++];
      }
    } else {
      while (p < source.size() && uint8_t(source[p]) > ' ' && source[p] != ',') item += source[p++];
    }
    items.push_back(item);
    while (blank(p)) ++p;
    if (p < source.size() && source[p] == ',') {
      if (p + 1 >= source.size()) items.emplace_back();
      do {
        ++p;
      } while (blank(p));
    }
  }

  auto trim = [](std::string s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    size_t e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
  };
  std::vector<int> pages;
  for (const std::string& item : items) {
    size_t dash = item.find('-');
    if (dash != std::string::npos) {
      std::string a = trim(item.substr(0, dash));
      std::string b = trim(item.substr(dash + 1));
      auto start = a.empty() ? std::optional<int32_t>(1) : TryStrToInt(a);
      auto end = b.empty() ? std::optional<int32_t>(pageCount) : TryStrToInt(b);
      if (!start || !end || *start < 1 || *end < *start || *end > pageCount)
        throw EInvalidPageError(Format(res::SInvalidPageRange, {item}));
      for (int k = *start; k <= *end; ++k) pages.push_back(k);
    } else {
      auto page = TryStrToInt(item);
      if (!page) throw EInvalidPageError(Format(res::SInvalidPageRange, {item}));
      if (*page < 1 || *page > pageCount) throw EInvalidPageError(Format(res::SInvalidPageNumber, {*page}));
      pages.push_back(*page);
    }
  }
  return pages;
}

std::unique_ptr<std::vector<std::unique_ptr<TvxPDFIndirectObject>>> TvxCustomPDFDocument::GetPageObjects(int pageNumber) {
  if (pageNumber < 1 || pageNumber > PageCount()) throw EInvalidPageError(Format(res::SInvalidPageNumber, {pageNumber}));
  auto list = std::make_unique<std::vector<std::unique_ptr<TvxPDFIndirectObject>>>();
  TvxPDFIndirectObject* page = pageList_[size_t(pageNumber - 1)];
  list->push_back(std::unique_ptr<TvxPDFIndirectObject>(static_cast<TvxPDFIndirectObject*>(page->Clone().release())));
  CollectObjects(*list, list->back()->Content.get());
  return list;
}

void TvxCustomPDFDocument::CollectObjects(std::vector<std::unique_ptr<TvxPDFIndirectObject>>& list, TvxPDFObject* value) {
  std::unordered_set<TvxObjectKey, TvxObjectKeyHash> seen;
  for (const auto& o : list) seen.insert({o->DocumentID, o->ObjectNumber, o->Generation});
  std::vector<TvxPDFObject*> pending{value};
  // Children are visited in order: push them reversed onto the stack.
  while (!pending.empty()) {
    TvxPDFObject* v = pending.back();
    pending.pop_back();
    if (!v) continue;
    if (auto* array = As<TvxPDFArrayObject>(v)) {
      if (array->IsPacked()) continue;  // numbers only: nothing to collect
      for (auto it = array->Items().rbegin(); it != array->Items().rend(); ++it) pending.push_back(it->get());
    } else if (auto* dict = As<TvxPDFDictObject>(v)) {
      for (int i = dict->Count() - 1; i >= 0; --i) pending.push_back(dict->ValueAt(i));
    } else if (auto* stream = As<TvxPDFStreamObject>(v)) {
      pending.push_back(stream->Dictionary.get());
    } else if (auto* ref = As<TvxPDFIndirectReference>(v)) {
      TvxObjectKey key{ref->DocumentID, ref->ObjectNumber, ref->Generation};
      if (seen.count(key)) continue;
      TvxPDFIndirectObject* stored = store_->Find(ref);
      if (!stored) continue;
      auto copy = std::unique_ptr<TvxPDFIndirectObject>(static_cast<TvxPDFIndirectObject*>(stored->Clone().release()));
      if (auto* d = As<TvxPDFDictObject>(copy->Content.get())) {
        auto* type = As<TvxPDFNameObject>(d->Find("/Type"));
        if (type && type->Text == "/Page") continue;  // other pages are not collected
      }
      seen.insert(key);
      TvxPDFObject* content = copy->Content.get();
      list.push_back(std::move(copy));
      pending.push_back(content);
    }
  }
}

}  // namespace vx
