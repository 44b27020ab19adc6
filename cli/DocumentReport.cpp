#include "cli/DocumentReport.h"

#include <algorithm>
#include <sstream>

#include "cli/MessageText.h"
#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxPDFUtils.h"
#include "pdf/util/vxUtils.h"

namespace vordel {

using namespace vx;

const char* const kPermissionNames[8] = {"print", "modify", "copy", "annotate",
                                         "form-fill", "accessibility", "assemble", "print-high"};

namespace {

// kPermissionNames order mapped to the library's permission members.
constexpr TvxUserPermissionsType kPermissionMembers[8] = {
    AllowPrint, AllowModify, AllowCopy, AllowAnnotation,
    AllowFormFill, AllowAccessibility, AllowDocAssembly, AllowHighResPrint};

const char* FieldKindName(TvxFieldKind kind) {
  switch (kind) {
    case fkPushButton: return "pushbutton";
    case fkRadioButton: return "radio";
    case fkCheckBox: return "checkbox";
    case fkText: return "text";
    case fkChoice: return "choice";
    case fkSignature: return "signature";
  }
  return "text";
}

int CountOutlineItems(const TvxPDFOutline* root) {
  if (!root) return 0;
  int count = 0;
  std::vector<const TvxPDFOutline*> pending;
  if (root->FirstChild) pending.push_back(root->FirstChild.get());
  while (!pending.empty()) {
    const TvxPDFOutline* item = pending.back();
    pending.pop_back();
    ++count;
    if (item->Next) pending.push_back(item->Next.get());
    if (item->FirstChild) pending.push_back(item->FirstChild.get());
  }
  return count;
}

std::vector<std::string> Permissions(const TvxCustomPDFDocument& doc) {
  std::vector<std::string> names;
  TvxUserPermissions perms = doc.Encryption().UserPermissions();
  for (int i = 0; i < 8; ++i)
    if (perms.Contains(kPermissionMembers[i])) names.push_back(kPermissionNames[i]);
  return names;
}

struct Preference {
  const char* jsonKey;
  const char* textName;
  bool (TvxPDFViewerPreferences::*get)() const;
};
constexpr Preference kPreferences[6] = {
    {"centerWindow", "center-window", &TvxPDFViewerPreferences::CenterWindow},
    {"displayDocTitle", "display-doc-title", &TvxPDFViewerPreferences::DisplayDocTitle},
    {"fitWindow", "fit-window", &TvxPDFViewerPreferences::FitWindow},
    {"hideMenubar", "hide-menubar", &TvxPDFViewerPreferences::HideMenubar},
    {"hideToolbar", "hide-toolbar", &TvxPDFViewerPreferences::HideToolbar},
    {"hideWindowUI", "hide-window-ui", &TvxPDFViewerPreferences::HideWindowUI},
};

std::string Utf8(const std::u16string& s) { return Utf16ToUtf8(s); }

// Dates are text strings like any other (some writers make them UTF-16).
std::string DateUtf8(const std::string& s) { return Utf16ToUtf8(TextStringToUnicode(s)); }

}  // namespace

static const char* LinearizationText(TvxLinearizationState state) {
  switch (state) {
    case lsLinearized: return "yes (fast web view)";
    case lsBroken: return "no longer: an update was appended after the file was linearized";
    default: return "no";
  }
}

const char* PageModeName(int mode) {
  static const char* const kNames[6] = {"none", "outlines", "thumbs", "fullscreen", "attachments", "optional-content"};
  return mode >= 0 && mode < 6 ? kNames[mode] : "none";
}

const char* PageLayoutName(int layout) {
  static const char* const kNames[7] = {"none",           "single-page",   "one-column",    "two-column-left",
                                        "two-column-right", "two-page-left", "two-page-right"};
  return layout >= 0 && layout < 7 ? kNames[layout] : "none";
}

const char* const kDirectionNames[2] = {"l2r", "r2l"};
const char* const kPrintScalingNames[2] = {"app-default", "none"};
const char* const kDuplexNames[4] = {"default", "simplex", "short-edge", "long-edge"};
const char* const kTrappedNames[4] = {"unset", "true", "false", "unknown"};
const char* const kFitNames[6] = {"keep-zoom", "fit-page", "fit-width", "fit-height", "fit-visible", "zoom"};

std::string EnforcedName(const std::string& key) { return key == "/PrintScaling" ? "print-scaling" : key.substr(1); }

nlohmann::ordered_json DocumentJson(const TvxCustomPDFDocument& doc, const std::string& file) {
  nlohmann::ordered_json j;
  j["schema_version"] = kInfoSchemaVersion;
  // JSON text must be UTF-8: a name that is not gets replacement characters
  // and its bytes in base64 beside it.
  j["file"] = ValidUtf8(file);
  if (!IsValidUtf8(file)) j["path_bytes"] = Base64(file);
  j["version"] = PDFVersionText(doc.PDFVersion());
  j["pages"] = doc.PageCount();
  j["repaired"] = doc.Repaired();
  if (doc.IsEncrypted()) {
    nlohmann::ordered_json e;
    switch (doc.Encryption().Level()) {
      case el40bit: e["level"] = 40; break;
      case elAES128: e["level"] = "aes128"; break;
      case elAES256: e["level"] = "aes256"; break;
      default: e["level"] = 128; break;
    }
    e["owner"] = doc.IsOwner();
    e["permissions"] = Permissions(doc);
    j["encryption"] = e;
  } else {
    j["encryption"] = nullptr;
  }
  j["pageMode"] = PageModeName(doc.PageMode());
  j["pageLayout"] = PageLayoutName(doc.PageLayout());
  nlohmann::ordered_json prefs;
  for (const auto& p : kPreferences) prefs[p.jsonKey] = (doc.ViewerPreferences().*p.get)();
  const TvxPDFViewerPreferences& vp = doc.ViewerPreferences();
  prefs["nonFullScreenPageMode"] = PageModeName(vp.NonFullScreenPageMode());
  prefs["direction"] = kDirectionNames[vp.Direction()];
  // Kept as loaded; null when the document names none.
  auto nameOrNull = [](const std::string& name) {
    return name.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(ValidUtf8(name));
  };
  prefs["viewArea"] = nameOrNull(vp.ViewArea());
  prefs["viewClip"] = nameOrNull(vp.ViewClip());
  prefs["printArea"] = nameOrNull(vp.PrintArea());
  prefs["printClip"] = nameOrNull(vp.PrintClip());
  j["viewerPreferences"] = prefs;
  nlohmann::ordered_json printing;
  printing["scaling"] = kPrintScalingNames[vp.PrintScaling()];
  printing["duplex"] = kDuplexNames[vp.Duplex()];
  const std::optional<bool> pickTray = vp.PickTrayByPDFSize();
  printing["pickTrayByPdfSize"] = pickTray ? nlohmann::ordered_json(*pickTray) : nlohmann::ordered_json(nullptr);
  nlohmann::ordered_json ranges = nlohmann::ordered_json::array();
  for (const TvxPageSpan& span : vp.PrintPageRange()) ranges.push_back({span.First, span.Last});
  printing["pageRanges"] = ranges;
  printing["copies"] = vp.NumCopies();
  nlohmann::ordered_json enforced = nlohmann::ordered_json::array();
  for (const std::string& key : vp.Enforce()) enforced.push_back(ValidUtf8(EnforcedName(key)));
  printing["enforce"] = enforced;
  j["printing"] = printing;
  if (doc.OpenActionKind() == oaNone) {
    j["openAction"] = nullptr;
  } else if (std::optional<TvxOpenView> view = doc.OpenView()) {
    nlohmann::ordered_json action{{"kind", "page"}, {"page", view->Page}, {"fit", kFitNames[view->Fit]}};
    if (view->Fit == ofZoom) action["zoom"] = view->Zoom;
    action["description"] = doc.OpenActionDescription();
    j["openAction"] = action;
  } else {
    j["openAction"] = {{"kind", "other"}, {"description", ValidUtf8(doc.OpenActionDescription())}};
  }
  j["language"] = ValidUtf8(doc.Language());
  const TvxPDFInfo& info = doc.Info();
  // "info" is the /Info dictionary as stored, "xmp" what the packet says.
  j["info"] = {{"Title", Utf8(info.InfoText("/Title"))},       {"Subject", Utf8(info.InfoText("/Subject"))},
               {"Keywords", Utf8(info.InfoText("/Keywords"))}, {"Author", Utf8(info.InfoText("/Author"))},
               {"Creator", Utf8(info.InfoText("/Creator"))},   {"Producer", Utf8(info.InfoText("/Producer"))},
               {"CreationDate", DateUtf8(info.InfoDate("/CreationDate"))},
               {"ModDate", DateUtf8(info.InfoDate("/ModDate"))}};
  j["trapped"] = kTrappedNames[std::min<int>(info.Trapped(), 3)];
  nlohmann::ordered_json properties = nlohmann::ordered_json::object();
  for (const auto& [name, value] : info.CustomProperties()) properties[ValidUtf8(name)] = Utf8(value);
  j["properties"] = properties;
  if (const auto& xmp = info.Xmp()) {
    auto text = [](const std::optional<std::u16string>& v) {
      return v ? nlohmann::ordered_json(Utf8(*v)) : nlohmann::ordered_json(nullptr);
    };
    auto date = [](const std::optional<std::string>& v) {
      return v ? nlohmann::ordered_json(DateUtf8(*v)) : nlohmann::ordered_json(nullptr);
    };
    j["xmp"] = {{"Title", text(xmp->Title)},       {"Subject", text(xmp->Subject)},
                {"Keywords", text(xmp->Keywords)}, {"Author", text(xmp->Author)},
                {"Creator", text(xmp->Creator)},   {"Producer", text(xmp->Producer)},
                {"CreationDate", date(xmp->CreationDate)}, {"ModDate", date(xmp->ModDate)}};
    j["xmp"]["Language"] = text(xmp->Language);
    j["xmp"]["Trapped"] = text(xmp->Trapped);
    nlohmann::ordered_json custom = nlohmann::ordered_json::object();
    for (const auto& [name, value] : xmp->Custom) custom[ValidUtf8(name)] = Utf8(value);
    j["xmp"]["properties"] = custom;
  }
  j["outlines"] = CountOutlineItems(doc.OutlineRoot());
  nlohmann::ordered_json fields = nlohmann::ordered_json::array();
  if (const auto* list = doc.FieldList()) {
    for (const auto& f : *list) {
      nlohmann::ordered_json field;
      field["name"] = f->FullName;
      field["kind"] = FieldKindName(f->Kind);
      // Value holds the string's bytes; the delimiters keep a value that
      // itself begins with "(" or "<" whole.
      field["value"] = Utf16ToUtf8(DecodeTextString("(" + f->Value + ")"));
      fields.push_back(field);
    }
  }
  j["formFields"] = fields;
  j["signed"] = doc.SignatureCount();
  j["revisions"] = doc.RevisionCount();
  j["linearized"] = doc.SourceLinearization() == lsLinearized;
  j["linearizationBroken"] = doc.SourceLinearization() == lsBroken;
  return j;
}

std::string DocumentText(const TvxCustomPDFDocument& doc, const std::string& file) {
  std::ostringstream out;
  // Values come from the file and its name: no byte of them may act on the
  // terminal or break the one-line-per-key form.
  auto line = [&](const std::string& label, const std::string& rawValue) {
    const std::string value = EscapeControls(rawValue);
    std::string head = label + ":";
    if (value.empty()) {
      out << head << "\n";
    } else {
      head.resize(std::max<size_t>(head.size() + 1, 20), ' ');
      out << head << value << "\n";
    }
  };
  line("File", file);
  line("PDF version", PDFVersionText(doc.PDFVersion()));
  line("Pages", std::to_string(doc.PageCount()));
  if (doc.Repaired()) line("Repaired", "yes");
  if (doc.IsEncrypted()) {
    static const char* const kLevelNames[] = {"RC4 40-bit", "RC4 128-bit", "AES 128-bit", "AES 256-bit"};
    std::string text = kLevelNames[std::min<int>(doc.Encryption().Level(), 3)];
    text += doc.IsOwner() ? ", opened as owner" : ", opened as user";
    std::vector<std::string> perms = Permissions(doc);
    text += "; permissions: ";
    if (perms.empty()) text += "none";
    for (size_t i = 0; i < perms.size(); ++i) text += (i ? ", " : "") + perms[i];
    line("Encryption", text);
  } else {
    line("Encryption", "none");
  }
  line("Page mode", PageModeName(doc.PageMode()));
  line("Page layout", PageLayoutName(doc.PageLayout()));
  std::string prefs;
  for (const auto& p : kPreferences)
    if ((doc.ViewerPreferences().*p.get)()) prefs += (prefs.empty() ? "" : ", ") + std::string(p.textName);
  const TvxPDFViewerPreferences& vp = doc.ViewerPreferences();
  auto add = [](std::string& list, const std::string& item) { list += (list.empty() ? "" : ", ") + item; };
  if (vp.NonFullScreenPageMode() != pmNone)
    add(prefs, std::string("non-full-screen-mode ") + PageModeName(vp.NonFullScreenPageMode()));
  if (vp.Direction() != rdL2R) add(prefs, std::string("direction ") + kDirectionNames[vp.Direction()]);
  for (const auto& [label, name] : {std::pair{"view-area ", vp.ViewArea()}, {"view-clip ", vp.ViewClip()},
                                    {"print-area ", vp.PrintArea()}, {"print-clip ", vp.PrintClip()}})
    if (!name.empty()) add(prefs, label + name);
  line("Viewer preferences", prefs.empty() ? "none" : prefs);
  std::string printing;
  if (vp.PrintScaling() != psAppDefault) add(printing, std::string("scaling ") + kPrintScalingNames[vp.PrintScaling()]);
  if (vp.Duplex() != dxViewerDefault) add(printing, std::string("duplex ") + kDuplexNames[vp.Duplex()]);
  if (std::optional<bool> pickTray = vp.PickTrayByPDFSize())
    add(printing, *pickTray ? "pick-tray-by-pdf-size" : "no-pick-tray-by-pdf-size");
  if (!vp.PrintPageRange().empty()) add(printing, "pages " + PageSpansText(vp.PrintPageRange()));
  if (vp.NumCopies() != 1) add(printing, "copies " + std::to_string(vp.NumCopies()));
  for (const std::string& key : vp.Enforce()) add(printing, "enforce " + EnforcedName(key));
  line("Printing", printing.empty() ? "defaults" : printing);
  line("Open action", doc.OpenActionDescription());
  line("Language", doc.Language());
  const TvxPDFInfo& info = doc.Info();
  line("Title", Utf8(info.Title()));
  line("Subject", Utf8(info.Subject()));
  line("Keywords", Utf8(info.Keywords()));
  line("Author", Utf8(info.Author()));
  line("Creator", Utf8(info.Creator()));
  line("Producer", Utf8(info.Producer()));
  line("Created", DateUtf8(info.CreationDate()));
  line("Modified", DateUtf8(info.ModDate()));
  if (info.Trapped() != trUnset) line("Trapped", kTrappedNames[info.Trapped()]);
  for (const auto& [name, value] : info.CustomProperties()) line("Property " + name, Utf8(value));
  line("Outlines", std::to_string(CountOutlineItems(doc.OutlineRoot())) + " items");
  line("Form fields", std::to_string(doc.FieldList() ? doc.FieldList()->size() : 0));
  const int signatures = doc.SignatureCount();
  line("Signed", signatures == 0 ? std::string("no")
                                 : "yes (" + std::to_string(signatures) + (signatures == 1 ? " signature)" : " signatures)"));
  line("Revisions", std::to_string(doc.RevisionCount()));
  line("Linearized", LinearizationText(doc.SourceLinearization()));
  return out.str();
}

}  // namespace vordel
