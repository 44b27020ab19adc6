// Reading the catalog at load: the view settings, then the structure readers
// in their fixed order. (Writing the catalog lives in vxCstPDFDocCatalogWrite.cpp.)
#include <exception>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/document/vxXmpMetadata.h"
#include "pdf/filters/vxFilterChain.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

template <size_t N>
int NameIndex(const char* const (&names)[N], const std::string& text) {
  for (size_t i = 0; i < N; ++i)
    if (text == names[i]) return int(i);
  return -1;
}

// A catalog entry, or nullptr when it is missing or null (which means the
// same in PDF).
TvxPDFObject* Present(const TvxPDFDictObject& dict, std::string_view key) {
  TvxPDFObject* value = dict.Find(key);
  return value && value->IsNull() ? nullptr : value;
}

}  // namespace

bool TvxCustomPDFDocument::LoadKeptEntry(std::string_view key, TvxPDFObject* value, TvxKeptPlace place) {
  if (deferWalks_ && place != TvxKeptPlace::Elsewhere) {
    if (value) deferredWalks_.push_back({value->Clone(), std::string(key), place});
    return true;
  }
  // Walked now, also when loading on demand.
  const bool deferring = deferWalks_;
  deferWalks_ = false;
  try {
    LoadObjectClosure(value);
    deferWalks_ = deferring;
    return true;
  } catch (const Exception& e) {
    deferWalks_ = deferring;
    Warning(Format(res::SKeptEntryUnreadable, {std::string(key), std::string(e.what())}));
    return false;
  }
}

// A catalog that reads as nothing: when it is a member of an object stream
// whose filter this reader lacks (its members read as null), the filter is
// named; otherwise the file is corrupted.
void TvxCustomPDFDocument::ExplainMissingCatalog() {
  const size_t root = size_t(std::max(trailer_->RootNumber, 0));
  if (root < xrefStmItems_.size() && xrefStmItems_[root] && xrefStmItems_[root]->EntryType == 2) {
    const int64_t offset = LookupObjectOffset(int32_t(xrefStmItems_[root]->Field2));
    std::unique_ptr<TvxPDFIndirectObject> holder;
    try {
      holder = offset > 0 ? ReadObjectAt(offset) : nullptr;
    } catch (const Exception&) {
    }
    if (auto* stream = holder ? As<TvxPDFStreamObject>(holder->Content.get()) : nullptr)
      if (TvxPDFObject* filter = store_->Resolve(stream->Dictionary->Find("/Filter")); filter && !filter->IsNull())
        ReadFilterList(filter);  // raises EUnsupportedFilterError naming the filter
  }
  throw EPDFFileCorruptedError(res::SFileCorrupted);
}

void TvxCustomPDFDocument::ReadCatalog() {
  // The catalog object read from the file is only looked at, never kept, and
  // the reader over the source goes away whatever happens (loaded on
  // demand, it stays while the load succeeds: later lookups parse with it).
  struct CloseReader {
    TvxCustomPDFDocument& doc;
    ~CloseReader() {
      if (!doc.servingOnDemand_ || std::uncaught_exceptions() > 0) doc.reader_.reset();
    }
  } closeReader{*this};

  // 1. The information dictionary, with indirect values made direct so that
  //    an indirect title is not lost when the dictionary is written again.
  //    One met as an object-stream member is resolved the same way.
  if (!trailer_->InfoRef && olderInfoPassedOver_) Warning(res::SOlderInfoPassedOver);
  if (trailer_->InfoRef) {
    TvxPDFObjectPtr resolved = info_->InfoDict()->Count() == 0 ? ResolveDeep(trailer_->InfoRef.get())
                                                                : ResolveDeep(info_->InfoDict());
    if (auto* dict = As<TvxPDFDictObject>(resolved.get())) {
      resolved.release();
      info_->SetInfoDict(std::unique_ptr<TvxPDFDictObject>(dict));
    }
  }

  // 2. The catalog.
  TvxFetchedObject catalogObject = FetchObject(trailer_->RootNumber);
  if (!catalogObject || !As<TvxPDFDictObject>(catalogObject->Content.get())) ExplainMissingCatalog();
  auto& catalog = Cast<TvxPDFDictObject>(catalogObject->Content.get());
  catalog_->LoadedDictionary.reset(static_cast<TvxPDFDictObject*>(catalog.Clone().release()));
  catalog_->LoadedGeneration = catalogObject->Generation;

  // 3. Page mode and layout by exact name. A name outside the tables (a
  //    private or misspelt one) reads as none and is kept aside, so the
  //    document's own choice is written back unless another one is set.
  pageMode_ = pmNone;
  if (TvxPDFObject* mode = Present(catalog, "/PageMode")) {
    const std::string& name = Cast<TvxPDFNameObject>(mode).Text;
    int index = NameIndex(PageModeNames, name);
    pageMode_ = index < 0 ? pmNone : TvxPageMode(index);
    if (index < 0) catalog_->ForeignPageMode = name;
  }
  pageLayout_ = plNone;
  if (TvxPDFObject* layout = Present(catalog, "/PageLayout")) {
    const std::string& name = Cast<TvxPDFNameObject>(layout).Text;
    int index = NameIndex(PageLayoutNames, name);
    pageLayout_ = index < 0 ? plNone : TvxPageLayout(index);
    if (index < 0) catalog_->ForeignPageLayout = name;
  }

  // 4. Viewer preferences, kept whole.
  if (TvxPDFObject* prefs = Present(catalog, "/ViewerPreferences")) {
    if (!prefs->IsDictionary() && !prefs->IsReference()) throw EUnexpectedObjectError(res::SUnexpectedObject);
    TvxPDFObjectPtr keep;
    TvxPDFObject* value = prefs;
    for (int step = 0; step < 64 && value && value->IsReference(); ++step) {
      auto* ref = static_cast<TvxPDFIndirectReference*>(value);
      if (TvxPDFIndirectObject* stored = store_->Find(ref)) {
        value = stored->Content.get();
      } else {
        TvxFetchedObject fetched = FetchObject(ref->ObjectNumber);
        if (!fetched) {
          value = nullptr;
          break;
        }
        keep = fetched.FromFile() ? std::move(fetched.Owned->Content) : fetched->Content->Clone();
        value = keep.get();
      }
    }
    if (auto* dict = As<TvxPDFDictObject>(value)) {
      std::unique_ptr<TvxPDFDictObject> copy(static_cast<TvxPDFDictObject*>(dict->Clone().release()));
      // Entries written back as loaded (a /PrintPageRange array in an object
      // of its own, say) need what they reference.
      for (int i = 0; i < copy->Count();) {
        const std::string key = copy->KeyAt(i);
        if (!TvxPDFViewerPreferences::IsKnownKey(key) &&
            !LoadKeptEntry(key, copy->ValueAt(i), TvxKeptPlace::ViewerPreferences))
          copy->Delete(i);
        else
          ++i;
      }
      catalog_->SetPreferencesDict(std::move(copy));
    }
  }

  // 5. Metadata.
  if (TvxPDFObject* metadata = Present(catalog, "/Metadata")) {
    // Anything but a stream (a number, a text) is kept as it is, and no
    // packet is read from it.
    LoadObjectClosure(metadata);
    catalog_->MetadataRef = metadata->Clone();
    const TvxPDFObject* target = store_->Resolve(metadata);
    if (As<TvxPDFStreamObject>(target))
      LoadXmpInfo(*this);
    else
      Warning(Format(res::SMetadataNotStream, {target ? target->TypeName() : std::string("nothing")}));
  }
  Progress(10);

  // 7. Pages.
  Status(res::STraversingPages);
  TvxPDFObject* pages = Present(catalog, "/Pages");
  if (!pages) throw EPDFFileCorruptedError(Format(res::SPageTreeUnreadable, {std::string(res::SPageTreeRootMissing)}));
  LoadPageTree(Cast<TvxPDFIndirectReference>(pages).ObjectNumber);
  Progress(75);

  // 9. Named destinations of the catalog's /Dests.
  if (TvxPDFObject* dests = Present(catalog, "/Dests")) {
    Status(res::SProcessingDestinations);
    ReadDestsDictionary(dests);
  }
  Progress(30);

  // 11. Annotations, page by page.
  Status(res::SProcessingAnnotations);
  for (TvxPDFIndirectObject* page : pageList_) {
    if (auto* dict = As<TvxPDFDictObject>(page->Content.get())) LoadObjectClosure(dict->Find("/Annots"));
  }
  Progress(90);

  // 13. The interactive form.
  if (TvxPDFObject* acroForm = Present(catalog, "/AcroForm")) {
    catalog_->AcroFormValue = acroForm->Clone();
    ReadAcroForm(acroForm);
    Status(res::SAcroFormsProcessed);
  }

  // 14. Actions.
  if (TvxPDFObject* openAction = Present(catalog, "/OpenAction")) {
    LoadObjectClosure(openAction);
    catalog_->OpenActionValue = openAction->Clone();
  }
  if (TvxPDFObject* aa = Present(catalog, "/AA")) {
    LoadObjectClosure(aa);
    catalog_->AdditionalActions = aa->Clone();
  }
  // The document's language, kept as loaded (with its object, when it is
  // one of its own) until another is set.
  if (TvxPDFObject* lang = Present(catalog, "/Lang")) {
    if (LoadKeptEntry("/Lang", lang, TvxKeptPlace::Catalog)) catalog_->LanguageValue = lang->Clone();
  }

  // 15. Name trees.
  if (TvxPDFObject* names = Present(catalog, "/Names")) {
    Status(res::SProcessingNameTree);
    catalog_->NamesValue = names->Clone();
    ReadNamesDictionary(names);
  }
  Progress(60);

  // Every other entry is the document's own (page labels, language, tagging,
  // layers, output intents, private data...) and is written back with what
  // it reaches. This comes after the destinations and name trees are known,
  // so that named destinations inside are resolved like everywhere else, and
  // before the outlines, whose items are then written only as rebuilt.
  for (int i = 0; i < catalog.Count(); ++i) {
    const std::string& key = catalog.KeyAt(i);
    TvxPDFObject* value = catalog.ValueAt(i);
    if (TvxPDFCatalog::IsBuiltKey(key) || catalog.IndexOf(key) != i || !value || value->IsNull()) continue;
    if (LoadKeptEntry(key, value, TvxKeptPlace::Catalog)) catalog_->KeptEntries.emplace_back(key, value->Clone());
  }

  // 17. Outlines.
  Status(res::SReadingOutlines);
  if (TvxPDFObject* outlines = Present(catalog, "/Outlines")) {
    if (auto* ref = As<TvxPDFIndirectReference>(outlines)) outlineRoot_ = ReadOutlines(ref->ObjectNumber);
    // A root given directly is read too (and written as an object of its own).
    else if (auto* root = As<TvxPDFDictObject>(outlines)) outlineRoot_ = ReadOutlines(*root);
  }
  // 18. Links and actions that name a destination of this document go to
  //     its page, now that every store of names has been read.
  ResolveLinkDestinations();
  Progress(100);
}

}  // namespace vx
