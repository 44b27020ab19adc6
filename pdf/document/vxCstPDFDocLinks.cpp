// Link destinations: once the whole document is read (and with it every
// store of named destinations: the catalog's /Dests and the /Dests name
// tree), each link to a named destination of this document is given the
// destination itself. Only destinations of this document are resolved: a
// link annotation's or outline item's /Dest and a /GoTo action's /D. The /D
// of /GoToR, /GoToE, /Launch and any other action names a place in another
// file (or is no destination at all) and stays as it was.
#include <vector>

#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/util/vxPDFUtils.h"

namespace vx {

namespace {

// The name a destination value stands for, or nothing when the value is an
// explicit destination (or not a destination at all).
std::optional<std::string> DestinationName(const TvxPDFObject* value) {
  if (auto* s = As<TvxPDFStringObject>(value)) return s->IsHex ? HexToBytes(s->Contents()) : s->Contents();
  if (auto* n = As<TvxPDFNameObject>(value)) return n->Value();
  return std::nullopt;
}

bool IsGoToAction(const TvxPDFDictObject& dict) {
  auto* type = As<TvxPDFNameObject>(dict.Find("/S"));
  return type && type->Text == "/GoTo";
}

}  // namespace

// Walks the direct containers of one value on an explicit stack; indirect
// objects are walked as store entries of their own, so each container is
// seen once.
class TvxLinkResolver {
 public:
  explicit TvxLinkResolver(const TvxCustomPDFDocument& doc) : doc_(doc) {}

  void Walk(TvxPDFObject* root) {
    Push(root);
    while (!pending_.empty()) {
      TvxPDFObject* value = pending_.back();
      pending_.pop_back();
      if (auto* array = As<TvxPDFArrayObject>(value)) {
        if (array->IsPacked()) continue;  // numbers only
        for (const auto& item : array->Items()) Push(item.get());
      } else if (auto* dict = As<TvxPDFDictObject>(value)) {
        ResolveIn(*dict);
        for (int i = 0; i < dict->Count(); ++i) Push(dict->ValueAt(i));
      }
    }
  }

 private:
  void Push(TvxPDFObject* value) {
    if (auto* io = As<TvxPDFIndirectObject>(value)) value = io->Content.get();
    if (auto* stream = As<TvxPDFStreamObject>(value)) value = stream->Dictionary.get();
    if (value && (value->IsArray() || value->IsDictionary())) pending_.push_back(value);
  }

  void ResolveIn(TvxPDFDictObject& dict) {
    for (int i = 0; i < dict.Count(); ++i) {
      const std::string& key = dict.KeyAt(i);
      if (key != "/Dest" && !(key == "/D" && IsGoToAction(dict))) continue;
      std::optional<std::string> name = DestinationName(dict.ValueAt(i));
      if (!name) continue;
      // A name this document does not define stays as it was.
      if (TvxPDFObjectPtr destination = doc_.FindNamedDestination(*name)) dict.SetValueAt(i, std::move(destination));
    }
  }

  const TvxCustomPDFDocument& doc_;
  std::vector<TvxPDFObject*> pending_;
};

void TvxCustomPDFDocument::ResolveLinkDestinations() {
  if (!namedDestinations_ || namedDestinations_->empty()) return;
  TvxLinkResolver resolver(*this);
  for (const auto& object : store_->Objects())
    if (object && object->UseCount != 0) resolver.Walk(object->Content.get());
  resolver.Walk(catalog_->OpenActionValue.get());
  resolver.Walk(catalog_->AdditionalActions.get());
}

}  // namespace vx
