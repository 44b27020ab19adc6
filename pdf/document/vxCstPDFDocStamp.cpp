// Building blocks of page stamping: content streams above or below a page's
// own content, resources, transparency states and image objects.
#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/document/vxPicture.h"
#include "pdf/filters/vxFilters.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

std::unique_ptr<TvxPDFIndirectReference> ReferenceTo(const TvxPDFIndirectObject& object) {
  return std::make_unique<TvxPDFIndirectReference>(object.DocumentID, object.ObjectNumber, object.Generation);
}

}  // namespace

void TvxCustomPDFDocument::EnsureStateStreams() {
  if (saveStateStream_ != -1) return;
  auto dict = std::make_unique<TvxPDFDictObject>();
  dict->AddInteger("/Length", 1);
  std::unique_ptr<TvxPDFDictObject> restoreDict(static_cast<TvxPDFDictObject*>(dict->Clone().release()));
  // Written only once a page refers to them: they start unused.
  saveStateStream_ = store_->NewObjectNumber();
  store_->Add(std::make_unique<TvxPDFIndirectObject>(
      documentID_, saveStateStream_, uint16_t(0),
      std::make_unique<TvxPDFStreamObject>(std::move(dict), std::make_unique<TvxMemoryStream>("q"))));
  if (restoreStateStream_ == -1) {
    restoreStateStream_ = store_->NewObjectNumber();
    store_->Add(std::make_unique<TvxPDFIndirectObject>(
        documentID_, restoreStateStream_, uint16_t(0),
        std::make_unique<TvxPDFStreamObject>(std::move(restoreDict), std::make_unique<TvxMemoryStream>("Q"))));
  }
}

void TvxCustomPDFDocument::AppendPageContent(int pageIndex, TvxPDFObject* contents,
                                             const TvxPDFIndirectReference& stamp, bool overlay) {
  if (!contents) return;
  if (pageIndex < 0 || pageIndex >= PageCount())
    throw EListError(Format(res::SListIndexError, {pageIndex}));
  auto stateReference = [this](int32_t number) {
    // Each reference added to a page takes the shared stream into use.
    if (TvxPDFIndirectObject* stream = store_->Find(TvxObjectKey{documentID_, number, 0})) stream->MarkUsed();
    return std::make_unique<TvxPDFIndirectReference>(documentID_, number, uint16_t(0));
  };
  auto appendToArray = [&](TvxPDFArrayObject& array) {
    if (!overlay) {
      array.Insert(0, stamp.Clone());
      return;
    }
    bool wrapped = false;
    for (int i = 0; i < array.Count(); ++i)
      if (Cast<TvxPDFIndirectReference>(array.GetItem(i)).ObjectNumber == saveStateStream_) wrapped = true;
    if (!wrapped) {
      array.Insert(0, stateReference(saveStateStream_));
      array.Add(stateReference(restoreStateStream_));
    }
    array.Add(stamp.Clone());
  };

  if (auto* ref = As<TvxPDFIndirectReference>(contents)) {
    TvxPDFIndirectObject* target = store_->Find(ref);
    if (auto* array = target ? As<TvxPDFArrayObject>(target->Content.get()) : nullptr) {
      appendToArray(*array);  // the shared array changes; the page keeps its reference
      MarkObjectChanged(target);
      return;
    }
    auto array = std::make_unique<TvxPDFArrayObject>();
    if (overlay) {
      array->Add(stateReference(saveStateStream_));
      array->Add(contents->Clone());
      array->Add(stateReference(restoreStateStream_));
      array->Add(stamp.Clone());
    } else {
      array->Add(stamp.Clone());
      array->Add(contents->Clone());
    }
    Cast<TvxPDFDictObject>(pageList_[size_t(pageIndex)]->Content.get()).SetValue("/Contents", std::move(array));
    MarkPageChanged(pageIndex);
    return;
  }
  if (auto* array = As<TvxPDFArrayObject>(contents)) {
    appendToArray(*array);
    MarkPageChanged(pageIndex);
    return;
  }
  throw EUnexpectedError(Format(res::SUnexpectedContentObject, {pageIndex + 1}));
}

void TvxCustomPDFDocument::AddPageResource(TvxPDFDictObject* resources, const std::string& category,
                                           const TvxPDFIndirectReference& reference, const std::string& resourceName) {
  if (!resources) throw EUnexpectedError(res::SErrorInsertingResource);
  TvxPDFDictObject* group = store_->ResolveDictionary(resources->Find(category));
  // What holds the changed dictionary is written again by an incremental
  // update: the group's own object, else the resource dictionary's object or
  // the page that holds it.
  if (auto* ref = As<TvxPDFIndirectReference>(resources->Find(category))) {
    MarkObjectChanged(store_->Find(ref));
  } else {
    for (const auto& object : store_->Objects())
      if (object->Content.get() == resources) MarkObjectChanged(object.get());
    for (int i = 0; i < PageCount(); ++i)
      if (auto* page = As<TvxPDFDictObject>(pageList_[size_t(i)]->Content.get()); page && page->Find("/Resources") == resources)
        MarkPageChanged(i);
  }
  if (!group) {
    auto fresh = std::make_unique<TvxPDFDictObject>();
    fresh->Add(resourceName, reference.Clone());
    resources->SetValue(category, std::move(fresh));
    return;
  }
  // The first registration of a name stays.
  if (group->IndexOf(resourceName) < 0) group->Add(resourceName, reference.Clone());
}

void TvxCustomPDFDocument::AddStateResource(int pageIndex, const std::string& resourceName,
                                            const TvxPDFIndirectReference* stateReference) {
  if (!stateReference) return;
  if (pageIndex < 0 || pageIndex >= PageCount()) throw EListError(Format(res::SListIndexError, {pageIndex}));
  auto& page = Cast<TvxPDFDictObject>(pageList_[size_t(pageIndex)]->Content.get());
  AddPageResource(store_->ResolveDictionary(page.Find("/Resources")), "/ExtGState", *stateReference, resourceName);
}

std::unique_ptr<TvxPDFIndirectReference> TvxCustomPDFDocument::CreateOpacityState(double fillPercent,
                                                                                 double strokePercent) {
  if (fillPercent == 100 && strokePercent == 100) return nullptr;
  auto dict = std::make_unique<TvxPDFDictObject>();
  // Held as name objects carrying the number text, so they are written verbatim.
  dict->Add("/CA", MakeName(GeneralFloatText(strokePercent / 100)));
  dict->Add("/ca", MakeName(GeneralFloatText(fillPercent / 100)));
  dict->AddName("/Type", "/ExtGState");
  TvxPDFIndirectObject* object =
      store_->Add(std::make_unique<TvxPDFIndirectObject>(documentID_, store_->NewObjectNumber(), uint16_t(0), std::move(dict), 1));
  return ReferenceTo(*object);
}

std::unique_ptr<TvxPDFIndirectReference> TvxCustomPDFDocument::CreateImageXObject(const TvxPicture& picture,
                                                                                 const std::string& resourceName) {
  std::unique_ptr<TvxBitmap> bitmap = picture.ToBitmap();
  if (!bitmap) throw EUnsupportedImageError(Format(res::SUnsupportedImageFormat, {picture.ClassName()}));
  std::string compressed = TvxFlateFilter().CompressString(bitmap->RGBSamples(), 2);
  auto dict = std::make_unique<TvxPDFDictObject>();
  dict->AddName("/Type", "/XObject");
  dict->AddName("/Subtype", "/Image");
  dict->AddName("/Name", resourceName);
  dict->AddInteger("/Width", bitmap->Width());
  dict->AddInteger("/Height", bitmap->Height());
  dict->AddInteger("/BitsPerComponent", 8);
  dict->AddName("/ColorSpace", "/DeviceRGB");
  dict->AddName("/Filter", "/FlateDecode");
  dict->AddInt64("/Length", int64_t(compressed.size()));
  auto stream = std::make_unique<TvxPDFStreamObject>(std::move(dict), std::make_unique<TvxMemoryStream>(std::move(compressed)));
  TvxPDFIndirectObject* object =
      store_->Add(std::make_unique<TvxPDFIndirectObject>(documentID_, store_->NewObjectNumber(), uint16_t(0), std::move(stream), 1));
  return ReferenceTo(*object);
}

}  // namespace vx
