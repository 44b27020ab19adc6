#include "pdf/document/vxPDFTypes.h"

#include <algorithm>

#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxUtils.h"

namespace vx {

const char* const PageModeNames[6] = {"/UseNone", "/UseOutlines", "/UseThumbs", "/FullScreen",
                                      "/UseAttachments", "/UseOC"};
const char* const PageLayoutNames[7] = {"/None", "/SinglePage", "/OneColumn", "/TwoColumnLeft",
                                        "/TwoColumnRight", "/TwoPageLeft", "/TwoPageRight"};
const char* const EncodedFilterNames[4] = {"/FlateDecode", "/RunLengthDecode", "/ASCIIHexDecode",
                                           "/ASCII85Decode"};

bool TvxPDFCatalog::IsBuiltKey(std::string_view key) {
  static const char* const kBuilt[] = {"/Type", "/Pages", "/Metadata", "/PageMode", "/PageLayout", "/Names",
                                       "/Outlines", "/ViewerPreferences", "/AcroForm", "/OpenAction", "/AA", "/Lang",
                                       "/Version"};
  for (const char* built : kBuilt)
    if (key == built) return true;
  return false;
}

std::optional<std::vector<TvxPageSpan>> ParsePageSpans(std::string_view text, std::string* problem) {
  auto fail = [&](std::string why) -> std::optional<std::vector<TvxPageSpan>> {
    if (problem) *problem = std::move(why);
    return std::nullopt;
  };
  std::vector<TvxPageSpan> spans;
  if (text.empty() || text == "all") return spans;
  auto number = [](std::string_view digits) -> std::optional<int> {
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string_view::npos)
      return std::nullopt;
    return std::stoi(std::string(digits));
  };
  size_t at = 0;
  while (at <= text.size()) {
    size_t comma = std::min(text.find(',', at), text.size());
    std::string_view item = text.substr(at, comma - at);
    const size_t dash = item.find('-');
    std::optional<int> first = number(item.substr(0, dash));
    std::optional<int> last = dash == std::string_view::npos ? first : number(item.substr(dash + 1));
    if (!first || !last || *first < 1)
      return fail("\"" + std::string(text) + "\" is not a list of pages and ranges like 1-4,9");
    if (*last < *first) return fail(std::string(item) + " runs backwards (write the first page first)");
    spans.push_back({*first, *last});
    at = comma + 1;
  }
  return spans;
}

std::string PageSpansText(const std::vector<TvxPageSpan>& spans) {
  std::string text;
  for (const TvxPageSpan& span : spans) {
    if (!text.empty()) text += ",";
    text += std::to_string(span.First);
    if (span.Last != span.First) text += "-" + std::to_string(span.Last);
  }
  return text;
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

std::string TvxPDFViewerPreferences::NameOf(std::string_view key) const {
  auto* n = As<TvxPDFNameObject>(dict_->Find(key));
  return n ? n->Value() : std::string();
}

void TvxPDFViewerPreferences::SetName(std::string_view key, std::string_view name) {
  if (name.empty())
    dict_->Remove(key);
  else
    dict_->SetValue(key, MakeName("/" + std::string(name)));
}

namespace {

// A name value among `names` (without slashes), as its index; 0 for an
// absent key or any other value, which viewers treat as the default.
template <size_t N>
int NameChoice(const std::string& value, const char* const (&names)[N]) {
  for (size_t i = 1; i < N; ++i)
    if (value == names[i]) return int(i);
  return 0;
}

const char* const kNonFullScreenModes[] = {"UseNone", "UseOutlines", "UseThumbs", "UseOC"};
const char* const kDirections[] = {"L2R", "R2L"};
const char* const kPrintScalings[] = {"AppDefault", "None"};
const char* const kDuplexes[] = {"", "Simplex", "DuplexFlipShortEdge", "DuplexFlipLongEdge"};

}  // namespace

TvxPageMode TvxPDFViewerPreferences::NonFullScreenPageMode() const {
  static const TvxPageMode kModes[] = {pmNone, pmUseOutlines, pmUseThumbs, pmUseOC};
  return kModes[NameChoice(NameOf("/NonFullScreenPageMode"), kNonFullScreenModes)];
}

void TvxPDFViewerPreferences::SetNonFullScreenPageMode(TvxPageMode v) {
  switch (v) {
    case pmNone: return SetName("/NonFullScreenPageMode", "");
    case pmUseOutlines: return SetName("/NonFullScreenPageMode", kNonFullScreenModes[1]);
    case pmUseThumbs: return SetName("/NonFullScreenPageMode", kNonFullScreenModes[2]);
    case pmUseOC: return SetName("/NonFullScreenPageMode", kNonFullScreenModes[3]);
    default: throw Exception("NonFullScreenPageMode: full screen and attachments are not modes to leave full screen for");
  }
}

TvxReadingDirection TvxPDFViewerPreferences::Direction() const {
  return TvxReadingDirection(NameChoice(NameOf("/Direction"), kDirections));
}
void TvxPDFViewerPreferences::SetDirection(TvxReadingDirection v) {
  SetName("/Direction", v == rdR2L ? kDirections[1] : "");
}

TvxPrintScaling TvxPDFViewerPreferences::PrintScaling() const {
  return TvxPrintScaling(NameChoice(NameOf("/PrintScaling"), kPrintScalings));
}
void TvxPDFViewerPreferences::SetPrintScaling(TvxPrintScaling v) {
  SetName("/PrintScaling", v == psNone ? kPrintScalings[1] : "");
}

TvxDuplex TvxPDFViewerPreferences::Duplex() const { return TvxDuplex(NameChoice(NameOf("/Duplex"), kDuplexes)); }
void TvxPDFViewerPreferences::SetDuplex(TvxDuplex v) {
  SetName("/Duplex", v > dxViewerDefault && v <= dxFlipLongEdge ? kDuplexes[v] : "");
}

std::optional<bool> TvxPDFViewerPreferences::PickTrayByPDFSize() const {
  auto* b = As<TvxPDFBooleanObject>(dict_->Find("/PickTrayByPDFSize"));
  if (!b) return std::nullopt;
  return b->Value != 0;
}
void TvxPDFViewerPreferences::SetPickTrayByPDFSize(std::optional<bool> v) {
  if (v)
    dict_->SetBoolean("/PickTrayByPDFSize", *v);
  else
    dict_->Remove("/PickTrayByPDFSize");
}

std::vector<TvxPageSpan> TvxPDFViewerPreferences::PrintPageRange() const {
  std::vector<TvxPageSpan> spans;
  auto* array = As<TvxPDFArrayObject>(dict_->Find("/PrintPageRange"));
  if (!array) return spans;
  for (int i = 0; i + 1 < array->Count(); i += 2) {
    std::optional<int64_t> first = IntegerValue(array->GetItem(i)), last = IntegerValue(array->GetItem(i + 1));
    // A pair that names no page is one a viewer ignores too.
    if (!first || !last || *first < 1 || *last < *first || *last > INT32_MAX) continue;
    spans.push_back({int(*first), int(*last)});
  }
  return spans;
}

void TvxPDFViewerPreferences::SetPrintPageRange(const std::vector<TvxPageSpan>& spans) {
  if (spans.empty()) {
    dict_->Remove("/PrintPageRange");
    return;
  }
  auto array = std::make_unique<TvxPDFArrayObject>();
  for (const TvxPageSpan& span : spans) {
    if (span.First < 1 || span.Last < span.First)
      throw EInvalidPageError(Format("PrintPageRange: %d-%d is not a range of pages", {span.First, span.Last}));
    array->AddInteger(span.First);
    array->AddInteger(span.Last);
  }
  dict_->SetValue("/PrintPageRange", std::move(array));
}

int TvxPDFViewerPreferences::NumCopies() const {
  std::optional<int64_t> copies = IntegerValue(dict_->Find("/NumCopies"));
  return copies && *copies >= 2 && *copies <= 5 ? int(*copies) : 1;
}

void TvxPDFViewerPreferences::SetNumCopies(int copies) {
  if (copies < 1 || copies > 5) throw Exception(Format("NumCopies: %d is not from 1 to 5", {copies}));
  if (copies == 1)
    dict_->Remove("/NumCopies");
  else
    dict_->SetValue("/NumCopies", MakeInteger(copies));
}

std::vector<std::string> TvxPDFViewerPreferences::Enforce() const {
  std::vector<std::string> keys;
  if (auto* array = As<TvxPDFArrayObject>(dict_->Find("/Enforce")))
    for (int i = 0; i < array->Count(); ++i)
      if (auto* name = As<TvxPDFNameObject>(array->GetItem(i))) keys.push_back(name->Text);
  return keys;
}

void TvxPDFViewerPreferences::SetEnforce(const std::vector<std::string>& keys) {
  if (keys.empty()) {
    dict_->Remove("/Enforce");
    return;
  }
  auto array = std::make_unique<TvxPDFArrayObject>();
  for (const std::string& key : keys) array->Add(MakeName(key));
  dict_->SetValue("/Enforce", std::move(array));
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
