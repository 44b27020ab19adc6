// Outlines (bookmarks), named destinations and name trees: read into the
// document's own structures at load, the outline tree written again item by
// item into the save-time store at save.
#include <algorithm>
#include <unordered_set>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxPDFUtils.h"

namespace vx {

namespace {

// Levels of /First nesting read; deeper items are left out. Real outlines
// are a handful of levels deep.
constexpr int kMaxOutlineDepth = 256;

// The bytes a string stands for (a hexadecimal string's digits decoded), so
// that a name written one way is found when looked up the other way.
std::string StringBytes(const TvxPDFStringObject& s) { return s.IsHex ? HexToBytes(s.Contents()) : s.Contents(); }

// Entries of an item that the outline writer builds itself; every other
// entry (/SE, the root's /Type, private data) is written back as loaded.
bool IsRebuiltItemKey(std::string_view key) {
  for (const char* rebuilt : {"/Dest", "/Title", "/C", "/F", "/A", "/Parent", "/Prev", "/Next", "/First", "/Last",
                              "/Count"})
    if (key == rebuilt) return true;
  return false;
}

std::unique_ptr<TvxPDFIndirectReference> ReferenceTo(const TvxPDFIndirectObject& object) {
  return std::make_unique<TvxPDFIndirectReference>(object.DocumentID, object.ObjectNumber, object.Generation);
}

// A copy of the array a destination dictionary's /D holds (read through a
// reference when it is indirect); anything else is an invalid cast.
TvxPDFObjectPtr DestinationArray(TvxCustomPDFDocument& doc, const TvxPDFObject* d) {
  if (auto* ref = As<TvxPDFIndirectReference>(d)) {
    TvxPDFObjectPtr copy = doc.LoadCopy(ref);
    Cast<TvxPDFArrayObject>(copy.get());
    return copy;
  }
  return Cast<TvxPDFArrayObject>(d).Clone();
}

}  // namespace

// ------------------------------------------------------- named destinations

void TvxCustomPDFDocument::AppendNamedDestination(std::string name, TvxPDFObjectPtr destination) {
  if (!namedDestinations_) {
    namedDestinations_ = std::make_unique<std::vector<std::pair<std::string, TvxPDFObjectPtr>>>();
    namedDestinationIndex_.clear();
  }
  namedDestinationIndex_.try_emplace(name, int(namedDestinations_->size()));
  namedDestinations_->emplace_back(std::move(name), std::move(destination));
}

TvxPDFObjectPtr TvxCustomPDFDocument::FindNamedDestination(std::string_view name) const {
  if (!namedDestinations_) return nullptr;
  const auto& list = *namedDestinations_;
  // Name trees are sorted, so a binary search in stored order finds their
  // names. A /Dests dictionary keeps file order, which need not be sorted:
  // a miss is looked up again in the index of first positions.
  int64_t low = 0;
  int64_t high = int64_t(list.size()) - 1;
  while (low <= high) {
    const int64_t middle = (low + high) / 2;
    const auto& entry = list[size_t(middle)];
    const int order = name.compare(entry.first);
    if (order == 0) return entry.second ? entry.second->Clone() : MakeNull();
    if (order < 0)
      high = middle - 1;
    else
      low = middle + 1;
  }
  auto it = namedDestinationIndex_.find(std::string(name));
  if (it == namedDestinationIndex_.end() || it->second < 0 || size_t(it->second) >= list.size()) return nullptr;
  const auto& entry = list[size_t(it->second)];
  if (entry.first != name) return nullptr;
  return entry.second ? entry.second->Clone() : MakeNull();
}

TvxPDFObjectPtr TvxCustomPDFDocument::ResolveDestination(const TvxPDFObject* value) const {
  TvxPDFObjectPtr found;
  if (auto* s = As<TvxPDFStringObject>(value))
    found = FindNamedDestination(StringBytes(*s));
  else if (auto* n = As<TvxPDFNameObject>(value))
    found = FindNamedDestination(n->Value());
  else if (value && value->IsArray())
    return value->Clone();
  else
    throw EUnexpectedError(res::SUnexpectedError);
  return found ? std::move(found) : value->Clone();
}

void TvxCustomPDFDocument::ReadDestsDictionary(TvxPDFObject* value) {
  TvxFetchedObject holder;
  TvxPDFDictObject* dests = nullptr;
  if (auto* ref = As<TvxPDFIndirectReference>(value)) {
    holder = FetchObject(ref->ObjectNumber);
    if (!holder) return;
    holder->MarkUsed();
    dests = &Cast<TvxPDFDictObject>(holder->Content.get());
    // The dictionary is kept, with everything it reaches, for the catalog
    // to write again.
    if (holder.FromFile()) dests = &static_cast<TvxPDFDictObject&>(*store_->Add(std::move(holder.Owned))->Content);
  } else {
    dests = As<TvxPDFDictObject>(value);
    if (!dests) return;
  }
  LoadObjectClosure(dests);
  if (!namedDestinations_) {
    namedDestinations_ = std::make_unique<std::vector<std::pair<std::string, TvxPDFObjectPtr>>>();
    namedDestinationIndex_.clear();
  }

  for (int i = 0; i < dests->Count(); ++i) {
    std::string name = dests->KeyAt(i).substr(1);
    TvxPDFObject* entry = dests->ValueAt(i);
    TvxFetchedObject entryHolder;
    if (auto* ref = As<TvxPDFIndirectReference>(entry)) {
      entryHolder = FetchObject(ref->ObjectNumber);
      if (!entryHolder) {
        AppendNamedDestination(std::move(name), MakeNull());  // a destination that is missing
        continue;
      }
      entryHolder->MarkUsed();
      entry = entryHolder->Content.get();
    }
    TvxPDFObjectPtr destination;
    if (auto* dict = As<TvxPDFDictObject>(entry)) {
      TvxPDFObject* d = dict->Find("/D");
      if (!d) continue;  // nothing to go to: the entry is skipped
      destination = DestinationArray(*this, d);
    } else if (entry && entry->IsArray()) {
      destination = entry->Clone();
    } else if (entry && entry->IsNull()) {
      AppendNamedDestination(std::move(name), MakeNull());
      continue;
    } else {
      throw EUnexpectedError(res::SUnexpectedObject);
    }
    auto& array = static_cast<TvxPDFArrayObject&>(*destination);
    if (auto* page = As<TvxPDFIndirectReference>(array.GetItem(0))) page->DocumentID = documentID_;
    AppendNamedDestination(std::move(name), std::move(destination));
  }
}

// ---------------------------------------------------------------- name trees

void TvxCustomPDFDocument::ReadNamesDictionary(TvxPDFObject* value) {
  TvxFetchedObject holder;
  TvxPDFDictObject* names = nullptr;
  if (auto* ref = As<TvxPDFIndirectReference>(value)) {
    holder = FetchObject(ref->ObjectNumber);
    if (!holder) return;
    holder->MarkUsed();
    names = &Cast<TvxPDFDictObject>(holder->Content.get());
  } else {
    names = As<TvxPDFDictObject>(value);
    if (!names) return;
  }

  if (TvxPDFObject* dests = names->Find("/Dests")) {
    if (auto* ref = As<TvxPDFIndirectReference>(dests)) {
      TvxFetchedObject tree = FetchObject(ref->ObjectNumber);
      if (tree) {
        tree->MarkUsed();
        if (!namedDestinations_) {
          namedDestinations_ = std::make_unique<std::vector<std::pair<std::string, TvxPDFObjectPtr>>>();
          namedDestinationIndex_.clear();
        }
        ReadNameTreeNode(&Cast<TvxPDFDictObject>(tree->Content.get()));
      }
    } else if (auto* dict = As<TvxPDFDictObject>(dests)) {
      ReadNameTreeNode(dict);
    } else {
      throw EUnexpectedObjectError(res::SUnexpectedObject);
    }
  }

  // Everything the name dictionary refers to (the destination tree, embedded
  // files, scripts, ...) is written again. A dictionary given directly in the
  // catalog is written again too, so what it refers to is loaded the same way.
  if (holder.FromFile()) {
    TvxPDFIndirectObject* stored = store_->Add(std::move(holder.Owned));
    LoadObjectClosure(stored->Content.get());
  } else if (holder) {
    LoadObjectClosure(holder->Content.get());
  } else {
    LoadObjectClosure(names);
  }
}

void TvxCustomPDFDocument::ReadNameTreeNode(TvxPDFDictObject* root) {
  // Depth first in file order on an explicit stack; each node object is read
  // once, so a /Kids cycle ends the walk.
  struct Frame {
    TvxFetchedObject Holder;       // the node object, while its kids are read
    TvxPDFObjectPtr KidsKeep;      // an indirect /Kids array read for the walk
    TvxPDFArrayObject* Kids = nullptr;
    int Next = 0;
  };
  std::unordered_set<int32_t> visited;
  std::vector<Frame> stack;

  auto readNames = [this](TvxPDFDictObject& node) {
    TvxPDFObjectPtr keep;
    TvxPDFArrayObject* pairs = LoadArray(node.Find("/Names"), false, keep);
    if (!pairs) return;
    // A last key without a value is skipped.
    for (int i = 0; i + 1 < pairs->Count(); i += 2) {
      std::string name = StringBytes(Cast<TvxPDFStringObject>(pairs->GetItem(i)));
      TvxPDFObject* value = pairs->GetItem(i + 1);
      if (auto* ref = As<TvxPDFIndirectReference>(value)) {
        TvxFetchedObject target = FetchObject(ref->ObjectNumber);
        if (!target) {
          AppendNamedDestination(std::move(name), MakeNull());
          continue;
        }
        target->MarkUsed();
        TvxPDFObject* content = target->Content.get();
        if (auto* dict = As<TvxPDFDictObject>(content)) {
          TvxPDFObject* d = dict->Find("/D");
          AppendNamedDestination(std::move(name), d ? DestinationArray(*this, d) : MakeNull());
        } else if (content && content->IsArray()) {
          AppendNamedDestination(std::move(name), content->Clone());
        } else {
          throw EUnexpectedError(res::SUnexpectedObject);
        }
      } else if (value && value->IsNull()) {
        AppendNamedDestination(std::move(name), MakeNull());
      } else if (value && value->IsArray()) {
        AppendNamedDestination(std::move(name), value->Clone());
      }
    }
  };

  // A node with /Kids is an inner node; its /Names, if any, are not read.
  auto enter = [&](TvxPDFDictObject& node, TvxFetchedObject holder) {
    if (TvxPDFObject* kids = node.Find("/Kids")) {
      Frame frame;
      frame.Kids = LoadArray(kids, false, frame.KidsKeep);
      frame.Holder = std::move(holder);
      if (frame.Kids) stack.push_back(std::move(frame));
      return;
    }
    readNames(node);
  };

  enter(*root, TvxFetchedObject());
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.Next >= top.Kids->Count()) {
      stack.pop_back();
      continue;
    }
    auto& ref = Cast<TvxPDFIndirectReference>(top.Kids->GetItem(top.Next++));
    if (!visited.insert(ref.ObjectNumber).second) continue;  // met before: the cycle ends here
    TvxFetchedObject kid = FetchObject(ref.ObjectNumber);
    if (!kid) continue;
    kid->MarkUsed();
    auto* node = As<TvxPDFDictObject>(kid->Content.get());
    if (!node) continue;
    enter(*node, std::move(kid));  // may grow the stack: `top` is not used after this
  }
}

// -------------------------------------------------------------------- actions

void TvxCustomPDFDocument::ProcessAction(TvxPDFDictObject& action) {
  // Only a /GoTo action goes to a destination of this document; the /D of
  // /GoToR, /GoToE and others names a place elsewhere and stays as it is.
  auto* actionType = As<TvxPDFNameObject>(action.Find("/S"));
  const bool goesHere = actionType && actionType->Text == "/GoTo";
  if (TvxPDFObject* d = action.Find("/D"); goesHere && d && !d->IsArray()) {
    TvxPDFObjectPtr copy;
    const TvxPDFObject* target = d;
    if (auto* ref = As<TvxPDFIndirectReference>(d)) {
      copy = LoadCopy(ref);
      target = copy.get();
    }
    // A reference to nothing stays as it is (and is written as null).
    if (target) action.SetValue("/D", ResolveDestination(target));
  }
  std::vector<std::string_view> walked;
  auto walk = [&](std::string_view key) {
    if (TvxPDFObject* value = action.Find(key)) LoadObjectClosure(value);
    walked.push_back(key);
  };
  walk("/URI");
  if (auto* type = As<TvxPDFNameObject>(action.Find("/S"))) {
    if (type->Text == "/GoToR") {
      walk("/F");
      walk("/D");
    } else if (type->Text == "/Launch") {
      walk("/F");
    } else if (type->Text == "/GoTo") {
      walk("/D");
    }
  }
  walk("/JavaScript");
  // The action is written as part of the item: whatever else it refers to
  // (a chained /Next action, the fields of a form action, ...) must be
  // written too, or it would become null.
  for (int i = 0; i < action.Count(); ++i) {
    const std::string& key = action.KeyAt(i);
    if (std::find(walked.begin(), walked.end(), key) == walked.end()) LoadObjectClosure(action.ValueAt(i));
  }
}

// ------------------------------------------------------------ reading outlines

// Reads the outline tree in the order a recursive reader would (an item,
// then its children, then its next sibling) but on an explicit stack, so
// that long sibling chains do not use the call stack. Each item object is
// read once: a /First or /Next chain that comes back to an item read before
// ends there.
class TvxOutlineReader {
 public:
  explicit TvxOutlineReader(TvxCustomPDFDocument& doc) : doc_(doc) {}

  // The tree under the root object `rootNumber`.
  std::unique_ptr<TvxPDFOutline> Read(int32_t rootNumber) { return Walk(rootNumber, nullptr); }

  // The tree under a root dictionary given directly in the catalog. The root
  // item has no number of its own until it is written.
  std::unique_ptr<TvxPDFOutline> Read(const TvxPDFDictObject& root) { return Walk(0, &root); }

 private:
  std::unique_ptr<TvxPDFOutline> Walk(int32_t rootNumber, const TvxPDFDictObject* directRoot) {
    struct Pending {
      int32_t Number;
      TvxPDFOutline* Parent;
      TvxPDFOutline* Previous;
      int Depth;
    };
    std::unique_ptr<TvxPDFOutline> root;
    std::vector<Pending> stack{{rootNumber, nullptr, nullptr, 0}};
    while (!stack.empty()) {
      const Pending p = stack.back();
      stack.pop_back();
      int32_t first = 0;
      int32_t next = 0;
      std::unique_ptr<TvxPDFOutline> item;
      if (directRoot && !p.Parent && !p.Previous) {
        std::unique_ptr<TvxPDFDictObject> copy(static_cast<TvxPDFDictObject*>(directRoot->Clone().release()));
        item = PrepareItem(std::move(copy), 0, 0, 0, first, next);
      } else {
        item = ReadItem(p.Number, first, next);
      }
      if (!item) continue;
      item->Parent = p.Parent;
      item->Previous = p.Previous;
      TvxPDFOutline* raw = item.get();
      if (p.Previous)
        p.Previous->Next = std::move(item);
      else if (p.Parent)
        p.Parent->FirstChild = std::move(item);
      else
        root = std::move(item);
      // The next sibling waits until the children have been read.
      if (next != 0) stack.push_back({next, p.Parent, raw, p.Depth});
      if (first != 0 && p.Depth < kMaxOutlineDepth) stack.push_back({first, raw, nullptr, p.Depth + 1});
    }
    return root;
  }

  // One item read by number; nullptr when it is missing, met before or not
  // a dictionary.
  std::unique_ptr<TvxPDFOutline> ReadItem(int32_t number, int32_t& first, int32_t& next) {
    if (!visited_.insert(number).second) return nullptr;
    TvxFetchedObject fetched = doc_.FetchObject(number);
    if (!fetched) return nullptr;
    auto* source = As<TvxPDFDictObject>(fetched->Content.get());
    if (!source) return nullptr;  // not an item: the chain ends

    std::unique_ptr<TvxPDFDictObject> dict;
    int32_t itemNumber = fetched->ObjectNumber;
    if (fetched.FromFile()) {
      dict.reset(static_cast<TvxPDFDictObject*>(fetched.Owned->Content.release()));
    } else {
      dict.reset(static_cast<TvxPDFDictObject*>(source->Clone().release()));
      // A stored item (an object stream member, say) is written as the
      // rebuilt item under its own number, not a second time as loaded.
      // Anything else that happens to be named here (a page, a font) stays
      // as it is, and the item gets a number of its own at save.
      auto* type = As<TvxPDFNameObject>(source->Find("/Type"));
      if (!type || type->Text == "/Outlines" || type->Text == "/Outline")
        fetched->UseCount = 0;
      else
        itemNumber = 0;
    }
    return PrepareItem(std::move(dict), itemNumber ? fetched->DocumentID : 0, itemNumber,
                       itemNumber ? fetched->Generation : 0, first, next);
  }

  // The item for `dict`, its entries prepared; `first` and `next` receive
  // the numbers its /First and /Next name (0 when absent).
  std::unique_ptr<TvxPDFOutline> PrepareItem(std::unique_ptr<TvxPDFDictObject> dict, uint32_t documentID,
                                             int32_t number, uint16_t generation, int32_t& first, int32_t& next) {
    auto item = std::make_unique<TvxPDFOutline>(&doc_, documentID, number, generation, nullptr);
    // Open only when the source says so: a positive /Count. Without one (or
    // with 0) viewers show the item closed.
    auto count = IntegerValue(dict->Find("/Count"));
    item->Closed = !(count && *count > 0);
    if (TvxPDFObject* title = dict->Find("/Title"); title && !title->IsString()) {
      if (std::unique_ptr<TvxPDFStringObject> text = doc_.LoadString(title))
        dict->SetValue("/Title", std::move(text));
      else
        dict->Remove("/Title");
    }
    if (TvxPDFObject* dest = dict->Find("/Dest"); dest && !dest->IsArray()) {
      TvxPDFObjectPtr copy;
      const TvxPDFObject* target = dest;
      if (auto* ref = As<TvxPDFIndirectReference>(dest)) {
        copy = doc_.LoadCopy(ref);
        target = copy.get();
      }
      if (target) dict->SetValue("/Dest", doc_.ResolveDestination(target));
    }
    if (TvxPDFObject* action = dict->Find("/A")) {
      if (auto* ref = As<TvxPDFIndirectReference>(action)) {
        // The action becomes part of the item.
        if (TvxPDFObjectPtr copy = doc_.LoadCopy(ref)) {
          doc_.ProcessAction(Cast<TvxPDFDictObject>(copy.get()));
          dict->SetValue("/A", std::move(copy));
        }
      } else if (auto* inPlace = As<TvxPDFDictObject>(action)) {
        doc_.ProcessAction(*inPlace);
      } else {
        throw EUnexpectedError(res::SUnexpectedError);
      }
    }
    for (const char* key : {"/Parent", "/Prev", "/Count", "/Last"}) dict->Remove(key);
    if (TvxPDFObject* f = dict->Find("/First")) {
      first = Cast<TvxPDFIndirectReference>(f).ObjectNumber;
      dict->Remove("/First");
    }
    if (TvxPDFObject* n = dict->Find("/Next")) {
      next = Cast<TvxPDFIndirectReference>(n).ObjectNumber;
      dict->Remove("/Next");
    }
    // What the kept entries reference (a structure element, say) is written too.
    for (int i = 0; i < dict->Count();) {
      const std::string key = dict->KeyAt(i);
      if (!IsRebuiltItemKey(key) && !doc_.LoadKeptEntry(key, dict->ValueAt(i)))
        dict->Delete(i);
      else
        ++i;
    }
    if (dict->Count() > 0) item->Content = std::move(dict);
    return item;
  }

  TvxCustomPDFDocument& doc_;
  std::unordered_set<int32_t> visited_;
};

std::unique_ptr<TvxPDFOutline> TvxCustomPDFDocument::ReadOutlines(int32_t objectNumber) {
  return TvxOutlineReader(*this).Read(objectNumber);
}

std::unique_ptr<TvxPDFOutline> TvxCustomPDFDocument::ReadOutlines(const TvxPDFDictObject& root) {
  return TvxOutlineReader(*this).Read(root);
}

// ------------------------------------------------------------ writing outlines

// Writes the outline tree into the save-time store with fresh links. The
// result is that of a writer that recurses once per next sibling and per
// first child: items are numbered and checked in that order, and an item is
// stored after its following siblings and its descendants, the root last.
// Here each sibling chain is handled in a loop and only the nesting of
// children uses the explicit stack.
class TvxOutlineWriter {
 public:
  explicit TvxOutlineWriter(TvxCustomPDFDocument& doc) : doc_(doc) {}

  void Build() {
    TvxPDFOutline& root = *doc_.outlineRoot_;
    Number(root);
    auto dict = std::make_unique<TvxPDFDictObject>();
    Result children = root.FirstChild ? WriteChildren(root) : Result();
    if (children.Count > 0) {
      dict->Add("/First", ReferenceTo(*children.First));
      dict->Add("/Last", ReferenceTo(*children.Last));
    }
    // The root counts every item a reader shows with the outline open.
    dict->Add("/Count", MakeInteger(children.Visible));
    AddKeptEntries(root, *dict);
    doc_.saveStore_->Add(
        std::make_unique<TvxPDFIndirectObject>(root.DocumentID, root.ObjectNumber, root.Generation, std::move(dict), 1));
    doc_.catalog_->OutlinesRef = ReferenceTo(root);
  }

 private:
  struct Result {
    TvxPDFOutline* First = nullptr;
    TvxPDFOutline* Last = nullptr;
    int32_t Count = 0;    // items of the chain
    int32_t Visible = 0;  // items shown when the parent is open
  };
  struct Written {
    TvxPDFOutline* Item;
    std::unique_ptr<TvxPDFDictObject> Dict;
    int32_t Visible = 1;  // this item, and its descendants shown when it is open
  };
  // One sibling chain: its written items, stored from the last back.
  struct Chain {
    std::vector<Written> Items;
    int Cursor = 0;              // the item whose children come next
    bool ChildrenDone = false;   // the chain above `Cursor` has just been written
    Result Children;
  };

  void Number(TvxPDFOutline& item) {
    if (item.ObjectNumber != 0) return;
    item.DocumentID = doc_.DocumentID();
    item.ObjectNumber = doc_.store_->NewObjectNumber();
    item.Generation = 0;
  }

  // An item whose destination names a page no longer in the document.
  bool LeftOut(const TvxPDFOutline& item) {
    const TvxPDFDictObject* source = item.Dictionary();
    auto* dest = source ? As<TvxPDFArrayObject>(source->Find("/Dest")) : nullptr;
    if (!dest) return false;
    TvxPDFObject* page = dest->GetItem(0);
    if (auto* ref = As<TvxPDFIndirectReference>(page)) {
      TvxPDFIndirectObject* target = doc_.store_->Find(ref);
      return target && target->UseCount == 0;
    }
    if (!page || !page->IsNull()) doc_.Warning(res::SExpectedPageReference);
    return false;
  }

  // The items of the chain that begins with `first`, each with its own
  // entries and its links to parent and siblings. Left-out items are
  // skipped (their children go with them), so the written items link to one
  // another and the last written one closes the chain.
  Chain StartChain(TvxPDFOutline& parent, TvxPDFOutline* first) {
    Chain chain;
    for (TvxPDFOutline* item = first; item; item = item->Next.get()) {
      Number(*item);
      if (LeftOut(*item)) {
        item->FirstChild.reset();
        continue;
      }
      auto dict = std::make_unique<TvxPDFDictObject>();
      if (const TvxPDFDictObject* source = item->Dictionary()) {
        if (TvxPDFObject* dest = source->Find("/Dest")) dict->Add("/Dest", dest->Clone());
        if (TvxPDFObject* title = source->Find("/Title")) dict->Add("/Title", title->Clone());
        // A colour that is not an array (directly or through the store) is
        // not a colour: it is dropped rather than failing the save.
        if (auto* colour = As<TvxPDFArrayObject>(doc_.store_->Resolve(source->Find("/C"))))
          dict->Add("/C", colour->Clone());
        if (TvxPDFObject* flags = source->Find("/F")) dict->Add("/F", flags->Clone());
        if (TvxPDFObject* action = source->Find("/A")) dict->Add("/A", action->Clone());
      }
      dict->Add("/Parent", ReferenceTo(parent));
      if (!chain.Items.empty()) {
        Written& previous = chain.Items.back();
        dict->Add("/Prev", ReferenceTo(*previous.Item));
        previous.Dict->Add("/Next", ReferenceTo(*item));
      }
      chain.Items.push_back({item, std::move(dict)});
    }
    chain.Cursor = int(chain.Items.size()) - 1;
    return chain;
  }

  Result WriteChildren(TvxPDFOutline& parent) {
    std::vector<Chain> stack;
    stack.push_back(StartChain(parent, parent.FirstChild.get()));
    Result result;
    while (!stack.empty()) {
      Chain& chain = stack.back();
      if (chain.Cursor < 0) {
        Result done;
        done.Count = int32_t(chain.Items.size());
        for (const Written& written : chain.Items) done.Visible += written.Visible;
        if (done.Count > 0) {
          done.First = chain.Items.front().Item;
          done.Last = chain.Items.back().Item;
        }
        stack.pop_back();
        if (stack.empty()) {
          result = done;
        } else {
          stack.back().ChildrenDone = true;
          stack.back().Children = done;
        }
        continue;
      }
      Written& entry = chain.Items[size_t(chain.Cursor)];
      if (chain.ChildrenDone) {
        chain.ChildrenDone = false;
        const Result& children = chain.Children;
        if (children.Count > 0) {
          // Open: the descendants shown; closed: minus those that opening
          // the item would show.
          entry.Dict->Add("/First", ReferenceTo(*children.First));
          entry.Dict->Add("/Last", ReferenceTo(*children.Last));
          entry.Dict->Add("/Count", MakeInteger(entry.Item->Closed ? -children.Visible : children.Visible));
          if (!entry.Item->Closed) entry.Visible += children.Visible;
        }
        Store(entry);
        --chain.Cursor;
        continue;
      }
      if (entry.Item->FirstChild) {
        TvxPDFOutline* item = entry.Item;
        Chain children = StartChain(*item, item->FirstChild.get());
        stack.push_back(std::move(children));  // `chain` and `entry` are not used after this
        continue;
      }
      Store(entry);
      --chain.Cursor;
    }
    return result;
  }

  // The item's own entries besides those built here, in loaded order (the
  // first of duplicate keys only).
  static void AddKeptEntries(const TvxPDFOutline& item, TvxPDFDictObject& dict) {
    const TvxPDFDictObject* source = item.Dictionary();
    if (!source) return;
    for (int i = 0; i < source->Count(); ++i) {
      const std::string& key = source->KeyAt(i);
      if (IsRebuiltItemKey(key) || source->IndexOf(key) != i) continue;
      if (TvxPDFObject* value = source->ValueAt(i)) dict.Add(key, value->Clone());
    }
  }

  void Store(Written& entry) {
    const TvxPDFOutline& item = *entry.Item;
    AddKeptEntries(item, *entry.Dict);
    doc_.saveStore_->Add(std::make_unique<TvxPDFIndirectObject>(item.DocumentID, item.ObjectNumber, item.Generation,
                                                                std::move(entry.Dict), 1));
  }

  TvxCustomPDFDocument& doc_;
};

void TvxCustomPDFDocument::BuildOutlines() {
  if (!outlineRoot_ || !saveStore_) return;
  TvxOutlineWriter(*this).Build();
}

}  // namespace vx
