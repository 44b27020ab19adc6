// "Document Settings and Preferences": the library's own dialog for
// reviewing a document's settings before it is saved (information,
// encryption, view and transitions, e-mail, compression). Showing it fills
// the controls from the document; only OK changes the document.
#pragma once

#include <string>

#include "pdf/dialogs/vxSettingsDlg.h"
#include "pdf/document/vxPDFTypes.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QDoubleSpinBox;
class QSpinBox;
class QTabWidget;
class QTableWidget;

namespace vx {

class TvxPDFSettingsDlg : public TvxSettingsDlg {
  Q_OBJECT

 public:
  explicit TvxPDFSettingsDlg(QWidget* parent = nullptr);

  QTabWidget* pcSettings;
  QWidget* tsDocInfo;
  QWidget* tsSecurity;
  QWidget* tsView;
  QWidget* tsEmailDoc;
  QWidget* tsCompress;
  QWidget* tsInitialView;
  QWidget* tsPrinting;
  QWidget* tsProperties;
  QPushButton* btnOK;
  QPushButton* btnCancel;

  // "General"
  QGroupBox* gbDocInfo;
  QLineEdit* edtTitle;
  QLineEdit* edtDocSubject;
  QLineEdit* edtAuthor;
  QLineEdit* edtKeywords;
  QLineEdit* edtCreator;
  QLineEdit* edtProducer;
  QLineEdit* edtVersion;
  QLineEdit* edtNoPages;
  QCheckBox* chkOpenAfterSave;

  // "Security"
  QCheckBox* chkEnableEncryption;
  QLabel* lblSecurityUpdateNote;  // shown for a document saved as an update
  QGroupBox* gbEncryption;
  QLineEdit* edtOwnerPassword;
  QLineEdit* edtConfirmOwnerPassword;
  QLineEdit* edtUserPassword;
  QLineEdit* edtConfirmUserPassword;
  QGroupBox* rgEncryptionLevel;
  QButtonGroup* rgEncryptionLevelButtons;  // ids 0 "40 Bit", 1 "128 Bit", 2 "256 Bit AES"
  QGroupBox* gbUserPermissions;
  QListWidget* chklstUserPermissions;

  // "View"
  QComboBox* cbPageLayout;
  QComboBox* cbPageMode;
  QGroupBox* gbPresentation;
  QComboBox* cbPageTransitionEffect;
  QLineEdit* edtDur;
  QGroupBox* gbPageRange;
  QRadioButton* rbAllPages;
  QRadioButton* rbPages;
  QLineEdit* edtPresentationPages;
  QGroupBox* gbViewerPreferences;
  QListWidget* chklstViewerPreferences;

  // "Email"
  QCheckBox* chkEmailAfterSave;
  QGroupBox* gbConnection;
  QLineEdit* edtHost;
  QLineEdit* edtUserID;
  QLineEdit* edtPassword;
  QGroupBox* gbAddresses;
  QLineEdit* edtTo;
  QLineEdit* edtCC;
  QLineEdit* edtBCC;
  QLineEdit* edtFrom;
  QGroupBox* gbMessage;
  QLineEdit* edtSubject;
  QPlainTextEdit* memoBody;

  // "Compress"
  QCheckBox* chkCompressDoc;
  QLabel* lblCompressUpdateNote;  // shown for a document saved as an update
  QGroupBox* gbCompType;
  QComboBox* cbCompType;
  QComboBox* cbCompLevel;
  // Items in the order of TvxObjectStreamMode; "Generate" writes PDF 1.5 at
  // least, which the version box then shows.
  QComboBox* cbObjectStreams;
  // Linearized output; starts as the document would be written.
  QCheckBox* chkFastWebView;

  // "Initial View"
  QGroupBox* gbOpenAction;
  QComboBox* cbOpenAction;  // "Viewer's Default", "Show Page", then "Keep: ..." for another kind
  QSpinBox* edtOpenPage;
  QComboBox* cbMagnification;  // in the order of TvxOpenFit
  QDoubleSpinBox* edtZoom;      // percent
  QComboBox* cbNonFullScreenMode;
  QComboBox* cbDirection;
  QLineEdit* edtLanguage;

  // "Printing"
  QGroupBox* gbPrintDialog;
  QComboBox* cbPrintScaling;
  QComboBox* cbDuplex;
  QComboBox* cbPickTray;
  QLineEdit* edtPrintPages;
  QSpinBox* edtNumCopies;
  QCheckBox* chkEnforceScaling;

  // "Properties"
  QComboBox* cbTrapped;
  QGroupBox* gbCustomProperties;
  QTableWidget* tblProperties;
  QPushButton* btnAddProperty;
  QPushButton* btnRemoveProperty;

  // Opened to edit a document rather than shown before a save: the after-save
  // actions and the compression then start from what the document holds, so
  // that OK without a change keeps them.
  bool EditsDocument = false;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CreateGeneralTab();
  void CreateSecurityTab();
  void CreateViewTab();
  void CreateEmailTab();
  void CreateCompressTab();
  // The tabs of the initial view, the print presets and the properties
  // (vxPDFSettingsDlgViewer.cpp).
  void CreateInitialViewTab();
  void CreatePrintingTab();
  void CreatePropertiesTab();
  void ShowViewerSettings();
  // What is wrong with the values of those tabs, or empty text.
  QString ViewerSettingsProblem() const;
  // Writes the values that differ from the document's.
  void ApplyViewerSettings();
  void ShowOpenActionControls();

  // Fills the controls from `Document`.
  void FormShow();
  // For EditsDocument: what a save would otherwise start afresh.
  void ShowDocumentsOwnChoices();
  void btnOKClick();
  void chkEnableEncryptionClick(bool checked);
  void chkEmailAfterSaveClick(bool checked);
  void cbCompTypeChange(int index);
  // The version the save will write, in the version box.
  void ShowVersionToWrite();
  TvxPDFVersion VersionToWrite() const;
  void ForceSinglePageForTransition();

  // Whether the document's user may change its encryption settings.
  bool EncryptionChangeable() const;
  // False (with the message shown and the first field focused) when the two
  // fields differ.
  bool PasswordsMatch(QLineEdit* first, QLineEdit* confirmation, const char* which);
  // The page range a transition goes to: empty when there is nothing to do.
  std::string TransitionPages() const;
  // Copies every control into the document (after the checks passed).
  void ApplyToDocument(const std::string& transitionPages);
  void ShowError(const QString& text);
};

// Shows the dialog over `parent` to edit `document`'s settings; answers
// whether OK applied them (Cancel changes nothing).
bool EditDocumentSettings(QWidget* parent, TvxCustomPDFDocument& document);

// Makes TvxPDFSettingsDlg the dialog the library shows before a save when
// the document asks for one, and lets "Open After Save" open the saved file
// with the desktop's default application.
void RegisterSettingsDialog();

}  // namespace vx
