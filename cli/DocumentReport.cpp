#include "cli/DocumentReport.h"

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
  static const char* const kNames[5] = {"none", "outlines", "thumbs", "fullscreen", "attachments"};
  return mode >= 0 && mode < 5 ? kNames[mode] : "none";
}

const char* PageLayoutName(int layout) {
  static const char* const kNames[5] = {"none", "single-page", "one-column", "two-column-left",
                                        "two-column-right"};
  return layout >= 0 && layout < 5 ? kNames[layout] : "none";
}

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
  j["viewerPreferences"] = prefs;
  const TvxPDFInfo& info = doc.Info();
  // "info" is the /Info dictionary as stored, "xmp" what the packet says.
  j["info"] = {{"Title", Utf8(info.InfoText("/Title"))},       {"Subject", Utf8(info.InfoText("/Subject"))},
               {"Keywords", Utf8(info.InfoText("/Keywords"))}, {"Author", Utf8(info.InfoText("/Author"))},
               {"Creator", Utf8(info.InfoText("/Creator"))},   {"Producer", Utf8(info.InfoText("/Producer"))},
               {"CreationDate", DateUtf8(info.InfoDate("/CreationDate"))},
               {"ModDate", DateUtf8(info.InfoDate("/ModDate"))}};
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
  line("Viewer preferences", prefs.empty() ? "none" : prefs);
  const TvxPDFInfo& info = doc.Info();
  line("Title", Utf8(info.Title()));
  line("Subject", Utf8(info.Subject()));
  line("Keywords", Utf8(info.Keywords()));
  line("Author", Utf8(info.Author()));
  line("Creator", Utf8(info.Creator()));
  line("Producer", Utf8(info.Producer()));
  line("Created", DateUtf8(info.CreationDate()));
  line("Modified", DateUtf8(info.ModDate()));
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
