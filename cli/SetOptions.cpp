#include "cli/SetOptions.h"

#include <openssl/rand.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <stdexcept>
#include <sstream>

#include "cli/DocumentReport.h"
#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/document/vxXmpMetadata.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxLanguageTag.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vordel {

using namespace vx;

// In the order of the library's enumerations.
const std::vector<std::string> kPageModes = {"none", "outlines", "thumbs", "fullscreen", "attachments",
                                             "optional-content"};
const std::vector<std::string> kPageLayouts = {"none", "single-page", "one-column", "two-column-left",
                                               "two-column-right", "two-page-left", "two-page-right"};
const std::vector<std::string> kNonFullScreenModes = {"none", "outlines", "thumbs", "optional-content"};
const std::vector<std::string> kDirections = {"l2r", "r2l"};
const std::vector<std::string> kPrintScalings = {"app-default", "none"};
const std::vector<std::string> kDuplexes = {"default", "simplex", "short-edge", "long-edge"};
const std::vector<std::string> kEnforce = {"none", "print-scaling"};
const std::vector<std::string> kTrapped = {"unset", "true", "false", "unknown"};
const std::vector<std::string> kPdfVersions = {"1.0", "1.1", "1.2", "1.3", "1.4", "1.5", "1.6", "1.7", "2.0"};
// Effect numbers 1..16 of the page transitions, in order.
const std::vector<std::string> kTransitions = {
    "split-horizontal-inward", "split-horizontal-outward", "split-vertical-inward", "split-vertical-outward",
    "blinds-horizontal",       "blinds-vertical",          "box-inward",            "box-outward",
    "wipe-left-to-right",      "wipe-bottom-to-top",       "wipe-right-to-left",    "wipe-top-to-bottom",
    "dissolve",                "glitter-left-to-right",    "glitter-top-to-bottom", "glitter-top-left-to-bottom-right"};

namespace {

int IndexIn(const std::vector<std::string>& names, const std::string& name) {
  auto it = std::find(names.begin(), names.end(), name);
  return it == names.end() ? -1 : int(it - names.begin());
}

// The permission members in the order of the command line's names.
constexpr TvxUserPermissionsType kPermissionMembers[8] = {
    AllowPrint, AllowModify, AllowCopy, AllowAnnotation,
    AllowFormFill, AllowAccessibility, AllowDocAssembly, AllowHighResPrint};

std::optional<TvxUserPermissions> ParsePermissions(const std::string& list) {
  if (list == "all") return TvxUserPermissions::All();
  TvxUserPermissions perms;
  if (list == "none") return perms;
  std::stringstream in(list);
  std::string name;
  while (std::getline(in, name, ',')) {
    auto it = std::find(std::begin(kPermissionNames), std::end(kPermissionNames), name);
    if (it == std::end(kPermissionNames)) return std::nullopt;
    perms.Include(kPermissionMembers[it - std::begin(kPermissionNames)]);
  }
  // Printing at high quality is a refinement of printing: the print-high bit
  // alone grants nothing in a reader, so it brings print with it.
  if (perms.Contains(AllowHighResPrint)) perms.Include(AllowPrint);
  return perms;
}

// A whole decimal number with nothing around it.
std::optional<long> WholeNumber(const std::string& text) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  return std::stol(text);
}

std::optional<std::pair<std::string, std::string>> SplitProperty(const std::string& text) {
  size_t eq = text.find('=');
  if (eq == std::string::npos) return std::nullopt;
  return std::pair{text.substr(0, eq), text.substr(eq + 1)};
}

}  // namespace

std::optional<TvxOpenView> ParseOpenAt(const std::string& text, std::string& problem) {
  problem = "--open-at: \"" + text +
            "\" is not PAGE, PAGE:fit-page, PAGE:fit-width, PAGE:fit-height, PAGE:fit-visible, PAGE:PERCENT% or none";
  const size_t colon = text.find(':');
  std::optional<long> page = WholeNumber(text.substr(0, colon));
  if (!page || *page < 1) return std::nullopt;
  TvxOpenView view;
  view.Page = int(*page);
  if (colon == std::string::npos) return view;
  const std::string fit = text.substr(colon + 1);
  static const std::pair<const char*, TvxOpenFit> kFits[] = {
      {"fit-page", ofFitPage}, {"fit-width", ofFitWidth}, {"fit-height", ofFitHeight}, {"fit-visible", ofFitVisible}};
  for (const auto& [name, value] : kFits)
    if (fit == name) {
      view.Fit = value;
      return view;
    }
  if (fit.size() < 2 || fit.back() != '%' || fit.find_first_not_of("0123456789.") != fit.size() - 1) return std::nullopt;
  const std::string number = fit.substr(0, fit.size() - 1);
  if (number.front() == '.' || number.back() == '.' || std::count(number.begin(), number.end(), '.') > 1) return std::nullopt;
  view.Fit = ofZoom;
  view.Zoom = std::strtod(number.c_str(), nullptr);
  if (!(view.Zoom > 0 && view.Zoom <= kMaxOpenZoom)) {
    problem = "--open-at: a zoom of " + fit + " is outside the zoom a viewer takes (more than 0%, at most 6400%)";
    return std::nullopt;
  }
  return view;
}

std::optional<std::vector<TvxPageSpan>> ParsePrintPages(const std::string& text, std::string& problem) {
  std::optional<std::vector<TvxPageSpan>> spans = ParsePageSpans(text, &problem);
  if (!spans || (spans->empty() && text != "all")) {
    if (spans) problem = "\"\" is not a list of pages and ranges like 1-4,9";
    problem = "--print-pages: " + problem + " (all: every page)";
    return std::nullopt;
  }
  return spans;
}

std::optional<std::string> ValidateSettings(const DocumentSettings& s) {
  if (!ParsePermissions(s.allow)) return "--allow: unknown permission in \"" + s.allow + "\"";
  if (s.encrypt && s.decrypt) return "--encrypt and --decrypt cannot be given together";
  if ((s.ownerPassword || s.userPassword) && !s.encrypt) return "--owner-password and --user-password need --encrypt";
  if (s.allow != "all" && !s.encrypt) return "--allow needs --encrypt";
  if (!s.transition && (s.pages.size() || s.duration != 1)) return "--pages and --duration need --transition";
  // A value the XMP packet cannot carry would leave /Info and the packet
  // telling different stories.
  for (const auto& [option, value] : {std::pair{"--title", &s.title}, {"--subject", &s.subject},
                                      {"--keywords", &s.keywords}, {"--author", &s.author}, {"--creator", &s.creator}})
    if (char32_t c = *value ? CharacterXmpCannotHold(Utf8ToUtf16(**value)) : 0) {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", unsigned(c));
      return std::string(option) + ": " + code + " is not a character document metadata (XMP) can hold";
    }
  std::string problem;
  if (s.openAt && *s.openAt != "none" && !ParseOpenAt(*s.openAt, problem)) return problem;
  if (s.printPages && !ParsePrintPages(*s.printPages, problem)) return problem;
  if (s.copies && (*s.copies < 1 || *s.copies > 5))
    return "--copies: " + std::to_string(*s.copies) + " is not from 1 to 5 (1 is the viewer's default)";
  if (s.lang && !s.lang->empty() && *s.lang != "none")
    if (std::string why = LanguageTagProblem(*s.lang); !why.empty())
      return "--lang: \"" + *s.lang + "\" is not a BCP 47 language tag like en, de-DE or zh-Hant-TW (" + why +
             "); \"none\" removes the language";
  auto badName = [](const char* option, const std::string& name) -> std::optional<std::string> {
    if (std::string why = TvxPDFInfo::CustomNameProblem(name); !why.empty())
      return std::string(option) + ": " + why +
             (TvxPDFInfo::IsStandardKey(name) ? " (use --title, --subject, --keywords, --author, --creator or --trapped)"
                                              : " (like DocNo=A-17)");
    if (!IsXmpPropertyName(name))
      return std::string(option) + ": \"" + name +
             "\" cannot name a metadata (XMP) property: use letters, digits, \"-\", \"_\" and \".\", beginning "
             "with a letter";
    return std::nullopt;
  };
  for (const std::string& text : s.properties) {
    auto split = SplitProperty(text);
    if (!split) return "--property: \"" + text + "\" is not NAME=VALUE";
    if (auto problem = badName("--property", split->first)) return problem;
    if (char32_t c = CharacterXmpCannotHold(Utf8ToUtf16(split->second))) {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", unsigned(c));
      return std::string("--property: ") + code + " is not a character document metadata (XMP) can hold";
    }
  }
  for (const std::string& name : s.removeProperties)
    if (auto problem = badName("--remove-property", name)) return problem;
  if (s.stripMetadata && s.xmp == "create") return "--strip-metadata and --xmp create exclude each other";
  if (!std::isfinite(s.duration) || s.duration < 0 || s.duration > 1e6)
    return "--duration: a number of seconds from 0 to 1000000";
  // Without an owner password anyone who opens the file is its owner.
  if (s.encrypt && !s.ownerPassword)
    return "--encrypt needs --owner-password (a password, or \"random\" for a random one printed once)";
  // RC4 and AES-128 hash passwords in PDFDocEncoding.
  if (s.encrypt && *s.encrypt != "aes256") {
    for (const auto& [option, password] :
         {std::pair{"--owner-password", s.ownerPassword}, {"--user-password", s.userPassword}})
      if (std::string problem = password ? PasswordEncodingProblem(*password, 4) : ""; !problem.empty())
        return std::string(option) + ": " + problem;
  }
  // The versions listed sort as text in version order.
  if (s.objectStreams == "generate" && s.pdfVersion && *s.pdfVersion < "1.5")
    return "--object-streams generate needs PDF 1.5 or later, not --pdf-version " + *s.pdfVersion;
  return std::nullopt;
}

std::optional<std::string> ResolveRandomOwnerPassword(DocumentSettings& s) {
  if (!s.ownerPassword || *s.ownerPassword != kRandomPassword) return std::nullopt;
  unsigned char bytes[12];
  if (RAND_bytes(bytes, sizeof bytes) != 1) throw std::runtime_error("no random numbers for --owner-password random");
  static const char kHex[] = "0123456789abcdef";
  std::string password;
  for (unsigned char b : bytes) password += {kHex[b >> 4], kHex[b & 15]};
  s.ownerPassword = password;
  return password;
}

unsigned char NeedAppearancesMode(const DocumentSettings& s) {
  if (s.needAppearances == "true") return 0;
  if (s.needAppearances == "false") return 1;
  return 2;
}

void ApplySettings(TvxCustomPDFDocument& doc, const DocumentSettings& s) {
  // Encryption first: text values set below are encrypted as they are set,
  // with the handler made from these settings.
  if (s.decrypt) {
    // A password matter (exit 3): the owner password would allow it.
    if (!doc.IsOwner())
      throw EPasswordError("--decrypt: only the owner may remove the encryption (open with the owner password)");
    doc.Encryption().SetEnabled(false);
  }
  if (s.encrypt) {
    if (doc.IsEncrypted() && !doc.IsOwner())
      throw EPasswordError("--encrypt: only the owner may change the encryption (open with the owner password)");
    TvxPDFEncryptionSettings& e = doc.Encryption();
    e.SetEnabled(true);
    e.SetLevel(*s.encrypt == "40" ? el40bit : *s.encrypt == "aes128" ? elAES128 : *s.encrypt == "aes256" ? elAES256 : el128bit);
    e.SetOwnerPassword(s.ownerPassword.value_or(""));
    e.SetUserPassword(s.userPassword.value_or(""));
    e.SetUserPermissions(*ParsePermissions(s.allow));
  }
  if (doc.Encryption().Enabled()) doc.CreateEncryptionHandler();

  TvxPDFViewerPreferences& prefs = doc.ViewerPreferences();
  if (s.centerWindow) prefs.SetCenterWindow(*s.centerWindow);
  if (s.displayDocTitle) prefs.SetDisplayDocTitle(*s.displayDocTitle);
  if (s.fitWindow) prefs.SetFitWindow(*s.fitWindow);
  if (s.hideMenubar) prefs.SetHideMenubar(*s.hideMenubar);
  if (s.hideToolbar) prefs.SetHideToolbar(*s.hideToolbar);
  if (s.hideWindowUI) prefs.SetHideWindowUI(*s.hideWindowUI);
  // An option given is the user's choice, "none" included: it replaces a
  // loaded mode or layout that has no option of its own (such as /UseOC).
  if (s.pageMode) {
    doc.Catalog().ForeignPageMode.clear();
    doc.SetPageMode(TvxPageMode(IndexIn(kPageModes, *s.pageMode)));
  }
  if (s.pageLayout) {
    doc.Catalog().ForeignPageLayout.clear();
    doc.SetPageLayout(TvxPageLayout(IndexIn(kPageLayouts, *s.pageLayout)));
  }
  if (s.nonFullScreenMode) {
    static const TvxPageMode kModes[] = {pmNone, pmUseOutlines, pmUseThumbs, pmUseOC};
    prefs.SetNonFullScreenPageMode(kModes[IndexIn(kNonFullScreenModes, *s.nonFullScreenMode)]);
  }
  if (s.direction) prefs.SetDirection(TvxReadingDirection(IndexIn(kDirections, *s.direction)));
  if (s.printScaling) prefs.SetPrintScaling(TvxPrintScaling(IndexIn(kPrintScalings, *s.printScaling)));
  if (s.duplex) prefs.SetDuplex(TvxDuplex(IndexIn(kDuplexes, *s.duplex)));
  if (s.pickTrayByPdfSize) prefs.SetPickTrayByPDFSize(*s.pickTrayByPdfSize);
  if (s.enforce) prefs.SetEnforce(*s.enforce == "none" ? std::vector<std::string>{} : std::vector<std::string>{"/PrintScaling"});
  if (s.copies) prefs.SetNumCopies(*s.copies);
  std::string problem;
  if (s.printPages) {
    std::vector<TvxPageSpan> spans = *ParsePrintPages(*s.printPages, problem);
    for (const TvxPageSpan& span : spans)
      if (span.Last > doc.PageCount())
        throw EInvalidPageError("--print-pages: page " + std::to_string(span.Last) + " is beyond the last page (" +
                                std::to_string(doc.PageCount()) + ")");
    prefs.SetPrintPageRange(spans);
  }
  if (s.openAt) {
    if (*s.openAt == "none") {
      doc.ClearOpenAction();
    } else {
      TvxOpenView view = *ParseOpenAt(*s.openAt, problem);
      if (view.Page > doc.PageCount())
        throw EInvalidPageError("--open-at: page " + std::to_string(view.Page) + " is beyond the last page (" +
                                std::to_string(doc.PageCount()) + ")");
      doc.SetOpenView(view);
    }
  }
  if (s.lang) doc.SetLanguage(*s.lang == "none" ? std::string() : *s.lang);
  if (s.pdfVersion) doc.SetPDFVersion(TvxPDFVersion(IndexIn(kPdfVersions, *s.pdfVersion)));
  if (s.objectStreams == "generate") {
    doc.SetObjectStreams(osGenerate);
    // No version asked for: the header says what the file now needs.
    if (!s.pdfVersion && doc.PDFVersion() < pvPDF15) doc.SetPDFVersion(pvPDF15);
  } else {
    doc.SetObjectStreams(s.objectStreams == "preserve" ? osPreserve : osDisable);
  }

  if (s.linearize) doc.SetLinearize(*s.linearize);

  // Metadata goes first, so that values given with it are what is left.
  if (s.stripMetadata) {
    if (doc.SaveKind() == TvxSaveKind::Incremental)
      throw SettingsRefused{
          "--strip-metadata: this file is saved as an incremental update, and the earlier revision it keeps would "
          "still hold every removed value; --rewrite writes a whole new file (its signatures become invalid)"};
    doc.StripMetadata();
  }
  TvxPDFInfo& info = doc.Info();
  // An option given is a field changed, even to the value it had: the XMP
  // packet then says the same.
  if (s.title) info.SetTitle(Utf8ToUtf16(*s.title)), info.MarkChanged("/Title");
  if (s.subject) info.SetSubject(Utf8ToUtf16(*s.subject)), info.MarkChanged("/Subject");
  if (s.keywords) info.SetKeywords(Utf8ToUtf16(*s.keywords)), info.MarkChanged("/Keywords");
  if (s.author) info.SetAuthor(Utf8ToUtf16(*s.author)), info.MarkChanged("/Author");
  if (s.creator) info.SetCreator(Utf8ToUtf16(*s.creator)), info.MarkChanged("/Creator");
  if (s.trapped) info.SetTrapped(TvxTrapped(IndexIn(kTrapped, *s.trapped)));
  for (const std::string& name : s.removeProperties) info.RemoveCustomProperty(name);
  for (const std::string& text : s.properties) {
    auto [name, value] = *SplitProperty(text);
    info.SetCustomProperty(name, Utf8ToUtf16(value));
  }
  if (s.xmp == "create") AddXmpPacket(doc);

  if (s.transition) {
    int effect = IndexIn(kTransitions, *s.transition) + 1;
    std::string range = s.pages.empty() ? "1-" + std::to_string(doc.PageCount()) : s.pages;
    doc.SetPageTransition(range, uint8_t(effect), float(s.duration));
  }

  // An update writes only the changed objects and leaves the file's streams
  // as they are; compression is asked for only when the user asked for it.
  if (doc.SaveKind() == TvxSaveKind::Incremental && !s.compressGiven) return;
  if (s.compress == "flate") {
    static const std::vector<std::string> kLevels = {"none", "fastest", "default", "maximum"};
    doc.SetCompression(0, uint8_t(IndexIn(kLevels, s.level)));
  } else if (s.compress == "runlength") {
    doc.SetCompression(1, 0);
  }
}

}  // namespace vordel
