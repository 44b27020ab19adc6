// The window's own texts: captions, items, dialog titles and the maker's
// details. Message texts shared with the library live in vxPDFResStrs.
#pragma once

namespace app::texts {

inline constexpr const char* ApplicationTitle = "Vordel PDF";
inline constexpr const char* ApplicationVersion = "2.01";
inline constexpr const char* WindowCaption = "Vordel PDF 2.01";

inline constexpr const char* SourceGroup = "Source PDF File";
inline constexpr const char* SourceLabel = "PDF to vordel:";
inline constexpr const char* LoadButton = "&Load...";
inline constexpr const char* PreferencesGroup = "Initial View Preferences";
inline constexpr const char* CenterWindow = "Center Window";
inline constexpr const char* DisplayDocTitle = "Display Document Title";
inline constexpr const char* FitWindow = "Fit Window";
inline constexpr const char* HideMenubar = "Hide Menubar";
inline constexpr const char* HideToolbar = "Hide Toolbar";
inline constexpr const char* HideWindowUI = "Hide Window UI";
inline constexpr const char* PageModeGroup = "Page Mode";
inline constexpr const char* PageLayoutGroup = "Page Layout";
inline constexpr const char* VersionGroup = "PDF Version";
inline constexpr const char* PropertiesGroup = "Document Properties";
inline constexpr const char* TitleLabel = "Title: ";
inline constexpr const char* SubjectLabel = "Subject:";
inline constexpr const char* KeywordsLabel = "Keywords:";
inline constexpr const char* AuthorLabel = "Author:";
inline constexpr const char* EncodingGroup = "Compression Encoding";
inline constexpr const char* LevelGroup = "Compression Level";
inline constexpr const char* VordelButton = "&Vordel!";
inline constexpr const char* SettingsButton = "&Settings…";
inline constexpr const char* HelpButton = "&Help";
inline constexpr const char* ExitButton = "E&xit";

// Page mode items, located by their text.
inline constexpr const char* ModeNone = "None";
inline constexpr const char* ModeOutlines = "Outlines";
inline constexpr const char* ModeThumbnails = "Thumbnails";
inline constexpr const char* ModeFullScreen = "Full Screen";

inline constexpr const char* OpenDialogTitle = "Choose a PDF to vordel";
inline constexpr const char* SaveDialogTitle = "Save PDF";
inline constexpr const char* PdfFilter = "Adobe PDF files (*.pdf)";
inline constexpr const char* PdfExtension = "pdf";

// The maker's rights notice ("2013" becomes the current year when later)
// and web address.
inline constexpr const char* RightsNotice = "Copyright (c) 2009-2013 Vordel Software";
inline constexpr const char* NoticeYear = "2013";
inline constexpr const char* WebAddress = "www.vordel-pdf.example";
inline constexpr const char* WebPage = "https://www.vordel-pdf.example/";

// The help page shipped beside the program.
inline constexpr const char* HelpFileName = "help.html";
inline constexpr const char* HelpNotFound = "The help page cannot be found:\n%1";

inline constexpr const char* Loading = "Loading %1";
inline constexpr const char* Saving = "Saving %1";
inline constexpr const char* CancelButton = "Cancel";

// The password dialog.
inline constexpr const char* PasswordDialogTitle = "Password";
inline constexpr const char* PasswordQuestion = "\"%1\" is protected by a password. Enter it to open the file:";
inline constexpr const char* PasswordWasWrong = "That password was wrong. Please try again.";
inline constexpr const char* PasswordCancelled = "the password question was cancelled";

// Vordel! while no document is loaded (none yet, or the last load failed).
inline constexpr const char* NothingLoaded = "No document is loaded: load a PDF file that opens first.";
// A folder named where a file is expected.
inline constexpr const char* FolderNotFile = "\"%1\" is a folder, not a PDF file.";

// Questions before a save or a load.
inline constexpr const char* ReplaceQuestion = "\"%1\" already exists.\nDo you want to replace it?";
inline constexpr const char* ReplaceButton = "Replace";
inline constexpr const char* DiscardQuestion = "Discard the changes to %1?";
inline constexpr const char* DiscardButton = "Discard";
// Offered where an update of a signed file is refused.
inline constexpr const char* FullRewriteButton = "Save as a full rewrite (the signatures become invalid)";

// The status line under the buttons.
inline constexpr const char* StatusLoaded = "Loaded %1: %2, PDF %3, %4";
inline constexpr const char* StatusOnePage = "1 page";
inline constexpr const char* StatusPages = "%1 pages";
inline constexpr const char* StatusNotEncrypted = "not encrypted";
inline constexpr const char* StatusOwner = "encrypted, opened as owner";
inline constexpr const char* StatusUser = "encrypted, opened with the user password";
inline constexpr const char* StatusRepaired = ", repaired";
inline constexpr const char* StatusNotLoaded = "Not loaded: %1";
inline constexpr const char* StatusSaved = "Saved %1 (%2)";
inline constexpr const char* StatusNotSaved = "Not saved: %1";
inline constexpr const char* StatusNotReplaced = "Not saved: %1 was left as it was";
inline constexpr const char* StatusSaveCancelledNew = "The save was cancelled; nothing was written";
inline constexpr const char* StatusSigned = ", signed";
// Short: the facts must fit beside the name.
inline constexpr const char* StatusLinearized = ", linearized";
inline constexpr const char* StatusLinearizationBroken = ", linearization broken";
inline constexpr const char* StatusSavedIncrementally =
    "Saved %1 (%2) as an incremental update; the signatures stay valid";

// The window icon, built into the program.
inline constexpr const char* IconResource = ":/vordel-pdf/vordel-pdf.svg";

}  // namespace app::texts
