#include "pdf/document/vxPDFTypes.h"

namespace vx {

const char* const PageModeNames[5] = {"/UseNone", "/UseOutlines", "/UseThumbs", "/FullScreen",
                                      "/UseAttachments"};
const char* const PageLayoutNames[5] = {"/None", "/SinglePage", "/OneColumn", "/TwoColumnLeft",
                                        "/TwoColumnRight"};
const char* const EncodedFilterNames[4] = {"/FlateDecode", "/RunLengthDecode", "/ASCIIHexDecode",
                                           "/ASCII85Decode"};

bool TvxPDFCatalog::IsBuiltKey(std::string_view key) {
  static const char* const kBuilt[] = {"/Type", "/Pages", "/Metadata", "/PageMode", "/PageLayout", "/Names",
                                       "/Outlines", "/ViewerPreferences", "/AcroForm", "/OpenAction", "/AA",
                                       "/Version"};
  for (const char* built : kBuilt)
    if (key == built) return true;
  return false;
}

std::string PDFVersionText(int version) {
  static const char* const kTexts[9] = {"1.0", "1.1", "1.2", "1.3", "1.4", "1.5", "1.6", "1.7", "2.0"};
  if (version < 0 || version > 8) return "1.4";
  return kTexts[version];
}

bool TvxPDFViewerPreferences::Flag(std::string_view key) const {
  auto* b = As<TvxPDFBooleanObject>(dict_->Find(key));
  return b && b->Value != 0;
}

void TvxPDFViewerPreferences::SetFlag(std::string_view key, bool value) {
  if (value)
    dict_->SetBoolean(key, true);
  else
    dict_->Remove(key);
}

void TvxPDFViewerPreferences::SetDictionary(std::unique_ptr<TvxPDFDictObject> dict) {
  dict_ = dict ? std::move(dict) : std::make_unique<TvxPDFDictObject>();
}

const char* const TvxPDFViewerPreferences::KnownKeys[12] = {
    "/HideToolbar", "/HideMenubar", "/HideWindowUI", "/FitWindow", "/CenterWindow", "/DisplayDocTitle",
    "/NonFullScreenPageMode", "/Direction", "/ViewArea", "/ViewClip", "/PrintArea", "/PrintClip"};

bool TvxPDFViewerPreferences::IsKnownKey(std::string_view key) {
  for (const char* known : KnownKeys)
    if (key == known) return true;
  return false;
}

std::string TvxPDFViewerPreferences::BuildPreferencesText(
    const std::function<std::string(const TvxPDFObject*)>& valueText) const {
  if (!dict_ || dict_->Count() == 0) return std::string();
  std::string entries;
  for (const char* key : KnownKeys) {
    const TvxPDFObject* value = dict_->Find(key);
    std::string text;
    if (auto* b = As<TvxPDFBooleanObject>(value)) {
      if (b->Value) text = "true";
    } else if (auto* n = As<TvxPDFNameObject>(value)) {
      text = n->Text;
    }
    if (!text.empty()) entries += std::string(key) + " " + text + "\r\n";
  }
  // Entries the program does not edit (/PrintScaling, /Duplex, /Enforce and
  // any other) are the document's own: they go back as they were loaded.
  // Only the first of duplicate keys counts, as for every lookup.
  for (int i = 0; i < dict_->Count(); ++i) {
    const std::string& key = dict_->KeyAt(i);
    if (IsKnownKey(key) || dict_->IndexOf(key) != i) continue;
    std::string text = valueText(dict_->ValueAt(i));
    if (!text.empty()) entries += key + " " + text + "\r\n";
  }
  if (entries.empty()) return std::string();
  return "<<\r\n" + entries + ">>";
}

}  // namespace vx
