// The catalog as it is written: the entries built from the document's
// settings, then every other entry of the source catalog as it was loaded;
// then the information dictionary; and page transitions.
#include "pdf/document/vxDocumentWriter.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

std::string TvxDocumentWriter::CatalogText(TvxCustomPDFDocument& doc) {
  const TvxPDFCatalog& catalog = *doc.catalog_;
  auto entry = [](std::string_view key, std::string_view value) { return TvxCustomPDFDocument::EntryText(key, value); };
  // Values are serialised as parts of object 1 (which their strings are
  // encrypted for).
  // An entry whose value comes out as "null" (its object is not written) is
  // left out: a null entry means nothing, and a reader that expects a
  // reference there would refuse the catalog.
  auto value = [&doc](const TvxPDFObject* object) {
    std::string text = doc.SerializeObject(1, object);
    return text == "null" ? std::string() : text;
  };

  std::string entries = entry("/Type", "/Catalog") + entry("/Pages", TvxCustomPDFDocument::ReferenceText(3));
  entries += entry("/Metadata", value(catalog.MetadataRef.get()));
  // The names of the two tables, or the document's own name when it was
  // outside them and nothing else has been set; an enumeration value outside
  // the tables (which no setter produces) counts as the default.
  entries += entry("/PageMode", doc.PageModeText());
  entries += entry("/PageLayout", doc.PageLayoutText());
  entries += entry("/Names", value(catalog.NamesValue.get()));
  entries += entry("/Outlines", value(catalog.OutlinesRef.get()));
  entries += entry("/ViewerPreferences", catalog.ViewerPreferences.BuildPreferencesText(value));
  entries += entry("/AcroForm", value(catalog.AcroFormValue.get()));
  entries += entry("/OpenAction", value(catalog.OpenActionValue.get()));
  entries += entry("/AA", value(catalog.AdditionalActions.get()));
  entries += entry("/Lang", value(catalog.LanguageValue.get()));
  for (const auto& [key, kept] : catalog.KeptEntries) entries += entry(key, value(kept.get()));
  return TvxCustomPDFDocument::WrapDictionary(entries);
}

std::string TvxDocumentWriter::InfoText(TvxCustomPDFDocument& doc) {
  const TvxPDFDictObject* info = doc.info_->InfoDict();
  return info ? doc.SerializeObject(2, info) : TvxCustomPDFDocument::WrapDictionary("");
}

std::string TvxDocumentWriter::PageRootText(const TvxCustomPDFDocument& doc) {
  std::string kids;
  int count = 0;
  for (const TvxPDFIndirectObject* page : doc.pageList_) {
    if (!page || page->NewNumber == 0) continue;
    kids += TvxCustomPDFDocument::ReferenceText(page->NewNumber);
    kids += ' ';
    ++count;
  }
  std::string entries = TvxCustomPDFDocument::EntryText("/Type", "/Pages") +
                        TvxCustomPDFDocument::EntryText("/Count", std::to_string(count)) +
                        TvxCustomPDFDocument::EntryText("/Kids", "[ " + kids + "]");
  return TvxCustomPDFDocument::WrapDictionary(entries);
}

void TvxDocumentWriter::WriteCatalog() {
  // Both hold strings encrypted for their own numbers (the information's
  // even before the save), so an encrypted file keeps them out of object
  // streams.
  const bool plain = !document_.Encryption().Enabled();
  WriteBuiltObject(1, CatalogText(document_), plain);
  WriteBuiltObject(2, InfoText(document_), plain);
  WritePageRootAndBody();
}

std::unique_ptr<TvxPDFDictObject> TvxCustomPDFDocument::CreateTransition(uint8_t effect, float duration) {
  auto dict = std::make_unique<TvxPDFDictObject>();
  dict->AddName("/Type", "/Trans");
  dict->AddReal("/D", duration);
  auto style = [&](const char* s) { dict->AddName("/S", s); };
  auto dimension = [&](const char* d) { dict->AddName("/Dm", d); };
  auto motion = [&](const char* m) { dict->AddName("/M", m); };
  auto direction = [&](int32_t degrees) { dict->AddInteger("/Di", degrees); };
  switch (effect) {
    case 1: style("/Split"), dimension("/H"), motion("/I"); break;
    case 2: style("/Split"), dimension("/H"), motion("/O"); break;
    case 3: style("/Split"), dimension("/V"), motion("/I"); break;
    case 4: style("/Split"), dimension("/V"), motion("/O"); break;
    case 5: style("/Blinds"), dimension("/H"); break;
    case 6: style("/Blinds"), dimension("/V"); break;
    case 7: style("/Box"), motion("/I"); break;
    case 8: style("/Box"), motion("/O"); break;
    case 9: style("/Wipe"), direction(0); break;
    case 10: style("/Wipe"), direction(90); break;
    case 11: style("/Wipe"), direction(180); break;
    case 12: style("/Wipe"), direction(270); break;
    case 13: style("/Dissolve"); break;
    case 14: style("/Glitter"), direction(0); break;
    case 15: style("/Glitter"), direction(270); break;
    case 16: style("/Glitter"), direction(315); break;
    default: style("/R"); break;  // 0 and anything unknown: a plain replace
  }
  return dict;
}

void TvxCustomPDFDocument::SetPageTransition(const std::string& pages, uint8_t effect, float duration) {
  for (int pageNumber : ParsePageRange(pages, PageCount())) {
    if (pageNumber < 1 || pageNumber > PageCount()) throw EInvalidPageError(Format(res::SInvalidPageNumber, {pageNumber}));
    auto* page = As<TvxPDFDictObject>(pageList_[size_t(pageNumber - 1)]->Content.get());
    if (!page) continue;
    page->SetValue("/Dur", MakeReal(duration));
    page->SetValue("/Trans", CreateTransition(effect, duration));
    MarkPageChanged(pageNumber - 1);
  }
}

}  // namespace vx
