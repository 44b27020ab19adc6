// The settings `vordel set` can change, as parsed from the command line, and
// how they are applied to a loaded document.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "pdf/document/vxPDFTypes.h"

namespace vx {
class TvxCustomPDFDocument;
}

namespace vordel {

struct DocumentSettings {
  // Viewer preferences: unset leaves the loaded value.
  std::optional<bool> centerWindow, displayDocTitle, fitWindow, hideMenubar, hideToolbar, hideWindowUI;
  std::optional<std::string> pageMode, pageLayout, pdfVersion;
  std::optional<std::string> title, subject, keywords, author, creator;  // UTF-8
  std::string compress = "flate";  // flate | runlength | none
  std::string level = "default";   // default | fastest | maximum | none
  bool compressGiven = false;      // --compress or --level was given
  std::string needAppearances = "keep";  // keep | true | false
  std::optional<std::string> encrypt;    // 40 | 128 (RC4) | aes128 | aes256
  std::optional<std::string> ownerPassword, userPassword;
  std::string allow = "all";
  bool decrypt = false;
  std::optional<std::string> transition;
  double duration = 1;
  std::string pages;  // empty: every page
  std::string xmp = "keep";  // keep | create (adds an XMP packet where there is none)
  std::string objectStreams = "disable";  // disable | preserve | generate
  // Fast web view: unset writes a linearized input linearized and any other
  // input not.
  std::optional<bool> linearize;
  // Initial view and printing (unset leaves the loaded value).
  std::optional<std::string> openAt;       // none | PAGE | PAGE:FIT | PAGE:PERCENT%
  std::optional<std::string> nonFullScreenMode, direction, printScaling, duplex, enforce;
  std::optional<bool> pickTrayByPdfSize;
  std::optional<std::string> printPages;   // like 1-4,9; "all" removes
  std::optional<int> copies;
  std::optional<std::string> lang;         // a BCP 47 tag; "" or "none" removes
  std::vector<std::string> properties;     // NAME=VALUE
  std::vector<std::string> removeProperties;
  std::optional<std::string> trapped;      // true | false | unknown | unset
  bool stripMetadata = false;
};

// The parsed forms of --open-at and --print-pages; nothing (with the message
// in `problem`) for a malformed value.
std::optional<vx::TvxOpenView> ParseOpenAt(const std::string& text, std::string& problem);
std::optional<std::vector<vx::TvxPageSpan>> ParsePrintPages(const std::string& text, std::string& problem);

// Checks the values that do not need a document; answers a message for the
// first bad one, or nothing.
std::optional<std::string> ValidateSettings(const DocumentSettings& settings);

// Applies the settings to a loaded document. Raises the library's exceptions
// (for instance a page range that does not fit, or encryption settings a user
// may not change); SettingsRefused when a setting is not allowed for this file.
struct SettingsRefused {
  std::string message;
};
void ApplySettings(vx::TvxCustomPDFDocument& doc, const DocumentSettings& settings);

// `--owner-password random`: replaces the word with a fresh random password
// and answers it (to be shown once); answers nothing for any other value.
inline constexpr const char* kRandomPassword = "random";
std::optional<std::string> ResolveRandomOwnerPassword(DocumentSettings& settings);

// The SaveToFile mode for --need-appearances.
unsigned char NeedAppearancesMode(const DocumentSettings& settings);

// Names accepted on the command line.
extern const std::vector<std::string> kPageModes, kPageLayouts, kPdfVersions, kTransitions;
extern const std::vector<std::string> kNonFullScreenModes, kDirections, kPrintScalings, kDuplexes, kEnforce, kTrapped;

}  // namespace vordel
