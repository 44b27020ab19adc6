// Captions and list items of the settings dialog. They are part of the
// product, like the messages in vxPDFResStrs: keep them verbatim (the
// spelling "Accessebility" included).
#pragma once

namespace vx::res {

// Tabs and buttons.
inline constexpr const char* SDlgTabGeneral = "General";
inline constexpr const char* SDlgTabSecurity = "Security";
inline constexpr const char* SDlgTabView = "View";
inline constexpr const char* SDlgTabEmail = "Email";
inline constexpr const char* SDlgTabCompress = "Compress";
inline constexpr const char* SDlgTabInitialView = "Initial View";
inline constexpr const char* SDlgTabPrinting = "Printing";
inline constexpr const char* SDlgTabProperties = "Properties";
// "Initial View"
inline constexpr const char* SDlgOpenAction = " Open Action ";
inline constexpr const char* SDlgOpenWith = "On Opening:";
inline constexpr const char* const SDlgOpenActionItems[] = {"Viewer's Default", "Show Page"};
inline constexpr const char* SDlgKeepOpenAction = "Keep: %1";
inline constexpr const char* SDlgOpenPage = "Page:";
inline constexpr const char* SDlgMagnification = "Magnification:";
inline constexpr const char* const SDlgMagnificationItems[] = {"Keep Zoom", "Fit Page", "Fit Width", "Fit Height",
                                                               "Fit Visible", "Zoom"};
inline constexpr const char* SDlgZoom = "Zoom:";
inline constexpr const char* SDlgNonFullScreenMode = "After Full Screen:";
inline constexpr const char* const SDlgNonFullScreenItems[] = {"None", "Use Outlines", "Use Thumbs",
                                                               "Use Optional Content"};
inline constexpr const char* SDlgDirection = "Reading Direction:";
inline constexpr const char* const SDlgDirectionItems[] = {"Left To Right", "Right To Left"};
inline constexpr const char* SDlgLanguage = "Language:";
inline constexpr const char* SDlgLanguageHint = "A language tag, for example en-US, de or zh-Hant-TW";
// "Printing"
inline constexpr const char* SDlgPrintDialog = " Print Dialog Presets ";
inline constexpr const char* SDlgPrintScaling = "Page Scaling:";
inline constexpr const char* const SDlgPrintScalingItems[] = {"Application Default", "None"};
inline constexpr const char* SDlgDuplex = "Duplex:";
inline constexpr const char* const SDlgDuplexItems[] = {"Printer Default", "Simplex", "Flip On Short Edge",
                                                        "Flip On Long Edge"};
inline constexpr const char* SDlgPickTray = "Paper Source By Page Size:";
inline constexpr const char* const SDlgPickTrayItems[] = {"Viewer Default", "Yes", "No"};
inline constexpr const char* SDlgPrintPages = "Print Page Range:";
inline constexpr const char* SDlgPrintPagesHint = "Empty for all pages. For example, 1-4,9";
inline constexpr const char* SDlgNumCopies = "Number Of Copies:";
inline constexpr const char* SDlgEnforceScaling = "Enforce Page Scaling";
// "Properties"
inline constexpr const char* SDlgTrapped = "Trapped:";
inline constexpr const char* const SDlgTrappedItems[] = {"Not Set", "True", "False", "Unknown"};
inline constexpr const char* SDlgCustomProperties = " Custom Properties ";
inline constexpr const char* SDlgPropertyName = "Name";
inline constexpr const char* SDlgPropertyValue = "Value";
inline constexpr const char* SDlgAddProperty = "Add";
inline constexpr const char* SDlgRemoveProperty = "Remove";
inline constexpr const char* SDlgPropertyProblem = "Property \"%1\": %2";
inline constexpr const char* SDlgPropertyXmpName =
    "a property name is letters, digits, \"-\", \"_\" and \".\", beginning with a letter";
inline constexpr const char* SDlgPrintPagesProblem = "Print Page Range: %1";
inline constexpr const char* SDlgPrintPagesBeyond = "Print Page Range: page %1 is beyond the last page (%2)";
inline constexpr const char* SDlgOK = "OK";
inline constexpr const char* SDlgCancel = "Cancel";

// "General".
inline constexpr const char* SDlgDocumentInformation = " Document Information ";
inline constexpr const char* SDlgTitle = "Title:";
inline constexpr const char* SDlgSubject = "Subject:";
inline constexpr const char* SDlgAuthor = "Author:";
inline constexpr const char* SDlgKeywords = "Keywords:";
inline constexpr const char* SDlgCreator = "Creator:";
inline constexpr const char* SDlgProducer = "Producer:";
inline constexpr const char* SDlgPDFVersion = "PDF Version:";
inline constexpr const char* SDlgNoOfPages = "No. of Pages:";
inline constexpr const char* SDlgOpenAfterSave = "Open After Save";

// "Security".
inline constexpr const char* SDlgEncryptDocument = "Encrypt Document";
inline constexpr const char* SDlgOwnerPassword = "Owner Password:";
inline constexpr const char* SDlgConfirmOwnerPassword = "Confirm Owner Password:";
inline constexpr const char* SDlgUserPassword = "User Password:";
inline constexpr const char* SDlgConfirmUserPassword = "Confirm User Password:";
inline constexpr const char* SDlgEncryptionLevel = " Encryption Level ";
inline constexpr const char* SDlgUserPermissions = " User Permissions ";
inline constexpr const char* SDlgOwner = "Owner";
inline constexpr const char* SDlgUser = "User";
inline constexpr const char* const SDlgEncryptionLevels[] = {"40 Bit", "128 Bit", "256 Bit AES"};
inline constexpr const char* const SDlgPermissionItems[] = {
    "Print", "Modify", "Copy", "Annotation", "Form Fill", "Accessebility", "Document Assembly",
    "High Resolution Printing"};

// "View".
inline constexpr const char* SDlgPageLayout = "Page Layout:";
inline constexpr const char* SDlgPageMode = "Page Mode:";
inline constexpr const char* SDlgPresentationMode = " Presentation Mode ";
inline constexpr const char* SDlgTransitionEffect = "Page Transition Effect:";
inline constexpr const char* SDlgTransitionDuration = "Transition Duration:";
inline constexpr const char* SDlgSecs = "secs";
inline constexpr const char* SDlgPresentationPageRange = " Presentation Page Range ";
inline constexpr const char* SDlgAllPages = "All Pages";
inline constexpr const char* SDlgPages = "Pages:";
inline constexpr const char* SDlgPageRangeHint =
    "Enter page numbers and/or page ranges separated by commas. For example, 1,3,5-12";
inline constexpr const char* SDlgViewerPreferences = " Viewer Preferences ";
inline constexpr const char* const SDlgPageLayoutItems[] = {"None",           "Single Page",   "One Column",
                                                            "Two Column Left", "Two Column Right", "Two Page Left",
                                                            "Two Page Right"};
inline constexpr const char* const SDlgPageModeItems[] = {"None", "Use Outlines", "Use Thumbs", "Full Screen",
                                                          "Use Attachments", "Use Optional Content"};
inline constexpr const char* const SDlgTransitionItems[] = {
    "None",
    "Split Horizontal Inward",
    "Split Horizontal Outward",
    "Split Vertical Inward",
    "Split Vertical Outward",
    "Blinds Horizontal",
    "Blinds Vertical",
    "Box Inward",
    "Box Outward",
    "Wipe Left To Right",
    "Wipe Bottom To Top",
    "Wipe Right To Left",
    "Wipe Top To Bottom",
    "Dissolve",
    "Glitter Left To Right",
    "Glitter Top To Bottom",
    "Glitter Top-Left To Bottom-Right"};
inline constexpr const char* const SDlgViewerPreferenceItems[] = {
    "Hide Toolbars", "Hide Menu Bar", "Hide Window UI", "Fit Window", "Center Window", "Display Document Title"};
// The version box, for pvPDF10 .. pvPDF17 and pvPDF20.
inline constexpr const char* const SDlgVersionTexts[] = {
    "1.0 (Acrobat 1.x)", "1.1 (Acrobat 2.x)", "1.2 (Acrobat 3.x)", "1.3 (Acrobat 4.x)", "1.4 (Acrobat 5.x)",
    "1.5 (Acrobat 6.x)", "1.6 (Acrobat 7.x)", "1.7 (Acrobat 8++)", "2.0 (ISO 32000-2)"};

// "Email".
inline constexpr const char* SDlgEmailAfterSave = "Email After Save";
inline constexpr const char* SDlgConnection = " Connection ";
inline constexpr const char* SDlgAddresses = " Addresses ";
inline constexpr const char* SDlgMessage = " Message ";
inline constexpr const char* SDlgHost = "Host: ";
inline constexpr const char* SDlgUserID = "UserID: ";
inline constexpr const char* SDlgPassword = "Password: ";
inline constexpr const char* SDlgTo = "To: ";
inline constexpr const char* SDlgCC = "CC: ";
inline constexpr const char* SDlgBCC = "BCC: ";
inline constexpr const char* SDlgFrom = "From: ";
inline constexpr const char* SDlgMailSubject = "Subject: ";
inline constexpr const char* SDlgMessageBody = "Message:";

// "Compress".
inline constexpr const char* SDlgCompressDocument = "Compress Document";
inline constexpr const char* SDlgSignedUpdateNote =
    "This document is signed. It is saved as an incremental update, which keeps its signatures valid; "
    "an update cannot change the compression or the encryption.";
inline constexpr const char* SDlgCompressionType = "Compression Type";
inline constexpr const char* SDlgCompressionLevel = "Compression Level";
inline constexpr const char* const SDlgCompTypeItems[] = {"Flate", "Runlength"};
inline constexpr const char* const SDlgCompLevelItems[] = {"None", "Fastest", "Normal", "Maximum"};
// In the order of TvxObjectStreamMode.
inline constexpr const char* SDlgObjectStreams = "Object Streams";
inline constexpr const char* SDlgFastWebView = "Fast Web View";
inline constexpr const char* const SDlgObjectStreamItems[] = {"Disable", "Preserve", "Generate"};

// Captions of the dialog's message boxes.
inline constexpr const char* SDlgErrorCaption = "Error";
inline constexpr const char* SDlgInformationCaption = "Information";

// When no program on the desktop opens a file or web page.
inline constexpr const char* SDlgNoDesktopOpener = "No program was found to open it. It is here:\n\n%1";
inline constexpr const char* SDlgCopyLocation = "Copy";

}  // namespace vx::res
