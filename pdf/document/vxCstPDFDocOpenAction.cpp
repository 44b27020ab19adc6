// The open action (/OpenAction): read as a view of a page where it is one,
// named otherwise, and replaced by a destination array when set.
#include <cmath>
#include <cstdio>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxPDFUtils.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// The destination array of an open action: the action itself, or the /D
// of a go-to action; nullptr for anything else.
const TvxPDFArrayObject* DestinationArray(const TvxPDFObjectStore& store, TvxPDFObject* action) {
  TvxPDFObject* value = store.Resolve(action);
  if (auto* dict = As<TvxPDFDictObject>(value)) {
    auto* kind = As<TvxPDFNameObject>(store.Resolve(dict->Find("/S")));
    if (!kind || kind->Text != "/GoTo") return nullptr;
    value = store.Resolve(dict->Find("/D"));
  }
  return As<TvxPDFArrayObject>(value);
}

std::optional<double> Number(const TvxPDFObject* value) {
  if (auto* i = As<TvxPDFIntegerObject>(value)) return double(i->Value);
  if (auto* r = As<TvxPDFRealObject>(value)) return r->Value;
  return std::nullopt;
}

std::string ZoomText(double percent) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f", percent);
  std::string text = buffer;
  while (text.find('.') != std::string::npos && (text.back() == '0' || text.back() == '.')) {
    const bool dot = text.back() == '.';
    text.pop_back();
    if (dot) break;
  }
  return text;
}

}  // namespace

std::optional<TvxOpenView> TvxCustomPDFDocument::OpenView() const {
  if (!catalog_ || !catalog_->OpenActionValue) return std::nullopt;
  const TvxPDFArrayObject* dest = DestinationArray(*store_, catalog_->OpenActionValue.get());
  if (!dest || dest->Count() < 2) return std::nullopt;
  // The page: a reference to one of the document's pages, or (as some
  // producers write it) its 0-based number.
  TvxOpenView view;
  const TvxPDFObject* target = dest->GetItem(0);
  if (auto* ref = As<TvxPDFIndirectReference>(target)) {
    view.Page = 0;
    for (size_t i = 0; i < pageList_.size() && view.Page == 0; ++i) {
      const TvxPDFIndirectObject* page = pageList_[i];
      if (page && page->DocumentID == ref->DocumentID && page->ObjectNumber == ref->ObjectNumber &&
          page->Generation == ref->Generation)
        view.Page = int(i) + 1;
    }
  } else if (std::optional<int64_t> index = IntegerValue(target); index && *index >= 0 && *index < PageCount()) {
    view.Page = int(*index) + 1;
  } else {
    view.Page = 0;
  }
  if (view.Page == 0) return std::nullopt;
  auto* fit = As<TvxPDFNameObject>(dest->GetItem(1));
  if (!fit) return std::nullopt;
  const std::string& name = fit->Text;
  if (name == "/Fit" && dest->Count() == 2) view.Fit = ofFitPage;
  else if (name == "/FitB" && dest->Count() == 2) view.Fit = ofFitVisible;
  // A width or height fit at a given edge is still that fit; only the
  // edge is the viewer's then (which is what a set view leaves it).
  else if (name == "/FitH" && dest->Count() <= 3) view.Fit = ofFitWidth;
  else if (name == "/FitV" && dest->Count() <= 3) view.Fit = ofFitHeight;
  else if (name == "/XYZ" && dest->Count() <= 5) {
    std::optional<double> zoom = Number(dest->GetItem(4));
    if (zoom && *zoom > 0) {
      view.Fit = ofZoom;
      view.Zoom = *zoom * 100;
    }
  } else {
    return std::nullopt;  // /FitR, /FitBH, /FitBV or a malformed array: named, not shown as a view
  }
  return view;
}

TvxOpenActionKind TvxCustomPDFDocument::OpenActionKind() const {
  if (!catalog_ || !catalog_->OpenActionValue || catalog_->OpenActionValue->IsNull()) return oaNone;
  return OpenView() ? oaView : oaOther;
}

std::string TvxCustomPDFDocument::OpenActionDescription() const {
  static const char* const kFitNames[] = {"", "fit page", "fit width", "fit height", "fit visible", ""};
  switch (OpenActionKind()) {
    case oaNone: return "none";
    case oaView: {
      const TvxOpenView view = *OpenView();
      std::string text = "page " + std::to_string(view.Page);
      if (view.Fit == ofZoom) return text + ", " + ZoomText(view.Zoom) + "%";
      if (view.Fit != ofKeepZoom) text += std::string(", ") + kFitNames[view.Fit];
      return text;
    }
    case oaOther: break;
  }
  TvxPDFObject* value = store_->Resolve(catalog_->OpenActionValue.get());
  if (auto* dict = As<TvxPDFDictObject>(value)) {
    auto* kind = As<TvxPDFNameObject>(store_->Resolve(dict->Find("/S")));
    const std::string name = kind ? kind->Value() : std::string();
    if (name == "JavaScript") return "JavaScript action";
    if (name == "Named") {
      auto* action = As<TvxPDFNameObject>(store_->Resolve(dict->Find("/N")));
      return "named action " + (action ? action->Value() : std::string("(unnamed)"));
    }
    if (name == "GoTo") {
      TvxPDFObject* dest = store_->Resolve(dict->Find("/D"));
      if (auto* s = As<TvxPDFStringObject>(dest)) return "go to destination \"" + Utf16ToUtf8(DecodeTextString(s->Text)) + "\"";
      if (auto* n = As<TvxPDFNameObject>(dest)) return "go to destination " + n->Value();
    }
    return name.empty() ? std::string("action without a type") : name + " action";
  }
  if (auto* dest = As<TvxPDFArrayObject>(value)) {
    auto* fit = As<TvxPDFNameObject>(dest->GetItem(1));
    return "destination " + (fit ? fit->Value() : std::string("of unknown form"));
  }
  return "open action of unknown form";
}

void TvxCustomPDFDocument::SetOpenView(const TvxOpenView& view) {
  if (view.Page < 1 || view.Page > PageCount()) throw EInvalidPageError(Format(res::SInvalidPageNumber, {view.Page}));
  if (view.Fit == ofZoom && !(view.Zoom > 0 && view.Zoom <= kMaxOpenZoom))
    throw EInvalidZoom(Format("zoom %s%%: a zoom is more than 0 and at most 6400 percent", {ZoomText(view.Zoom)}));
  const TvxPDFIndirectObject* page = pageList_[size_t(view.Page - 1)];
  auto dest = std::make_unique<TvxPDFArrayObject>();
  dest->Add(std::make_unique<TvxPDFIndirectReference>(page->DocumentID, page->ObjectNumber, page->Generation));
  switch (view.Fit) {
    case ofFitPage: dest->Add(MakeName("/Fit")); break;
    case ofFitVisible: dest->Add(MakeName("/FitB")); break;
    case ofFitWidth: dest->Add(MakeName("/FitH")), dest->Add(MakeNull()); break;
    case ofFitHeight: dest->Add(MakeName("/FitV")), dest->Add(MakeNull()); break;
    case ofZoom:
    case ofKeepZoom:
      dest->Add(MakeName("/XYZ")), dest->Add(MakeNull()), dest->Add(MakeNull());
      dest->Add(view.Fit == ofZoom ? MakeReal(view.Zoom / 100) : MakeNull());
      break;
  }
  catalog_->OpenActionValue = std::move(dest);
}

void TvxCustomPDFDocument::ClearOpenAction() { catalog_->OpenActionValue.reset(); }

}  // namespace vx
