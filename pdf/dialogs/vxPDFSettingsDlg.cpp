#include "pdf/dialogs/vxPDFSettingsDlg.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>
#include <exception>
#include <iterator>

#include "pdf/dialogs/vxDesktopShell.h"
#include "pdf/dialogs/vxDialogTexts.h"
#include "pdf/document/vxCstPDFDoc.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxPDFResStrs.h"
#include "pdf/util/vxUtils.h"

namespace vx {

namespace {

// The level button that shows `level`: AES-128 shares "128 Bit".
int LevelButton(TvxPDFEncryptionLevel level) {
  switch (level) {
    case el40bit: return 0;
    case elAES256: return 2;
    default: return 1;
  }
}

// The permission each item of chklstUserPermissions stands for ("Print" is
// bit value 4, "Modify" 2, "Copy" 1, then 8 .. 128 in item order).
constexpr TvxUserPermissionsType kPermissionOfItem[] = {
    AllowPrint,    AllowModify,        AllowCopy,        AllowAnnotation,
    AllowFormFill, AllowAccessibility, AllowDocAssembly, AllowHighResPrint};

// Level codes of the compression level items "None", "Fastest", "Normal",
// "Maximum": the library's codes 0 none, 1 fastest, 2 default, 3 maximum.
constexpr uint8_t kLevelCodeOfItem[] = {0, 1, 2, 3};
constexpr int kLevelItemNone = 0;
constexpr int kLevelItemFastest = 1;
constexpr int kLevelItemMaximum = 3;
constexpr int kCompTypeRunlength = 1;
constexpr int kLayoutItemSinglePage = 1;

// The compression chosen last in this run, used when a list has no selection.
uint8_t lastEncoding = 0;
uint8_t lastLevel = kLevelCodeOfItem[kLevelItemFastest];

QString Text(const char* text) { return QString::fromUtf8(text); }

QString FromWide(const std::u16string& text) { return QString::fromStdU16String(text); }
std::u16string ToWide(const QString& text) { return text.toStdU16String(); }

// Passwords are byte strings: Windows-1252 on both sides, as for the files
// the standard security handler of other programs writes.
QString FromPassword(const std::string& bytes) { return FromWide(AnsiToWide(bytes)); }
std::string ToPassword(const QString& text) { return WideToAnsi(ToWide(text)); }

std::string ToUtf8(const QString& text) { return text.toStdString(); }

// "a@x, b@y" -> {"a@x", "b@y"}; empty entries are dropped.
std::vector<std::string> SplitAddresses(const QString& text) {
  std::vector<std::string> list;
  for (const QString& part : text.split(',')) {
    const QString address = part.trimmed();
    if (!address.isEmpty()) list.push_back(ToUtf8(address));
  }
  return list;
}

template <size_t N>
void AddItems(QComboBox* box, const char* const (&items)[N]) {
  for (const char* item : items) box->addItem(Text(item));
}

template <size_t N>
void AddCheckItems(QListWidget* list, const char* const (&items)[N]) {
  for (const char* text : items) {
    auto* item = new QListWidgetItem(Text(text), list);
    item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setCheckState(Qt::Unchecked);
  }
}

// A check list as tall as its items, no taller.
void FitListHeight(QListWidget* list) {
  list->setFixedHeight(list->sizeHintForRow(0) * list->count() + 2 * list->frameWidth() + 4);
}

bool IsChecked(QListWidget* list, int row) { return list->item(row)->checkState() == Qt::Checked; }
void SetChecked(QListWidget* list, int row, bool checked) {
  list->item(row)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

QLineEdit* NewPasswordEdit(QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setEchoMode(QLineEdit::Password);
  edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // "*"
  return edit;
}

QLineEdit* NewReadOnlyEdit(QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setReadOnly(true);
  return edit;
}

}  // namespace

TvxPDFSettingsDlg::TvxPDFSettingsDlg(QWidget* parent) : TvxSettingsDlg(parent) {
  setWindowTitle(Text(res::SDocumentSettingsCaption));

  pcSettings = new QTabWidget(this);
  // Every tab's name in view: the dialog grows to fit them.
  pcSettings->setUsesScrollButtons(false);
  CreateGeneralTab();
  CreateSecurityTab();
  CreateViewTab();
  CreateEmailTab();
  CreateCompressTab();
  CreateInitialViewTab();
  CreatePrintingTab();
  CreatePropertiesTab();

  btnOK = new QPushButton(Text(res::SDlgOK), this);
  btnOK->setDefault(true);
  btnOK->setAutoDefault(true);
  btnCancel = new QPushButton(Text(res::SDlgCancel), this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pcSettings);
  layout->addLayout(buttons);

  connect(btnOK, &QPushButton::clicked, this, &TvxPDFSettingsDlg::btnOKClick);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  // The state a new dialog starts in.
  rgEncryptionLevelButtons->button(0)->setChecked(true);
  cbPageLayout->setCurrentIndex(0);
  cbPageMode->setCurrentIndex(0);
  cbPageTransitionEffect->setCurrentIndex(0);
  EnableGroup(gbEncryption, false);
  EnableGroup(gbConnection, false);
  EnableGroup(gbAddresses, false);
  EnableGroup(gbMessage, false);
  EnableGroup(gbCompType, false);
}

void TvxPDFSettingsDlg::CreateGeneralTab() {
  tsDocInfo = new QWidget;
  pcSettings->addTab(tsDocInfo, Text(res::SDlgTabGeneral));

  gbDocInfo = new QGroupBox(Text(res::SDlgDocumentInformation), tsDocInfo);
  edtTitle = new QLineEdit(gbDocInfo);
  edtDocSubject = new QLineEdit(gbDocInfo);
  edtAuthor = new QLineEdit(gbDocInfo);
  edtKeywords = new QLineEdit(gbDocInfo);
  edtCreator = NewReadOnlyEdit(gbDocInfo);
  edtProducer = NewReadOnlyEdit(gbDocInfo);
  edtVersion = NewReadOnlyEdit(gbDocInfo);
  edtNoPages = NewReadOnlyEdit(gbDocInfo);
  auto* form = new QFormLayout(gbDocInfo);
  form->addRow(Text(res::SDlgTitle), edtTitle);
  form->addRow(Text(res::SDlgSubject), edtDocSubject);
  form->addRow(Text(res::SDlgAuthor), edtAuthor);
  form->addRow(Text(res::SDlgKeywords), edtKeywords);
  form->addRow(Text(res::SDlgCreator), edtCreator);
  form->addRow(Text(res::SDlgProducer), edtProducer);
  form->addRow(Text(res::SDlgPDFVersion), edtVersion);
  form->addRow(Text(res::SDlgNoOfPages), edtNoPages);

  chkOpenAfterSave = new QCheckBox(Text(res::SDlgOpenAfterSave), tsDocInfo);
  chkOpenAfterSave->setChecked(true);

  auto* layout = new QVBoxLayout(tsDocInfo);
  layout->addWidget(gbDocInfo);
  layout->addWidget(chkOpenAfterSave);
  layout->addStretch();
}

void TvxPDFSettingsDlg::CreateSecurityTab() {
  tsSecurity = new QWidget;
  pcSettings->addTab(tsSecurity, Text(res::SDlgTabSecurity));

  chkEnableEncryption = new QCheckBox(Text(res::SDlgEncryptDocument), tsSecurity);
  gbEncryption = new QGroupBox(tsSecurity);
  edtOwnerPassword = NewPasswordEdit(gbEncryption);
  edtConfirmOwnerPassword = NewPasswordEdit(gbEncryption);
  edtUserPassword = NewPasswordEdit(gbEncryption);
  edtConfirmUserPassword = NewPasswordEdit(gbEncryption);
  auto* passwords = new QFormLayout;
  passwords->addRow(Text(res::SDlgOwnerPassword), edtOwnerPassword);
  passwords->addRow(Text(res::SDlgConfirmOwnerPassword), edtConfirmOwnerPassword);
  passwords->addRow(Text(res::SDlgUserPassword), edtUserPassword);
  passwords->addRow(Text(res::SDlgConfirmUserPassword), edtConfirmUserPassword);

  // Two columns: one radio button each.
  rgEncryptionLevel = new QGroupBox(Text(res::SDlgEncryptionLevel), gbEncryption);
  rgEncryptionLevelButtons = new QButtonGroup(rgEncryptionLevel);
  auto* levels = new QHBoxLayout(rgEncryptionLevel);
  for (int i = 0; i < int(std::size(res::SDlgEncryptionLevels)); ++i) {
    auto* button = new QRadioButton(Text(res::SDlgEncryptionLevels[i]), rgEncryptionLevel);
    rgEncryptionLevelButtons->addButton(button, i);
    levels->addWidget(button);
  }

  gbUserPermissions = new QGroupBox(Text(res::SDlgUserPermissions), gbEncryption);
  chklstUserPermissions = new QListWidget(gbUserPermissions);
  AddCheckItems(chklstUserPermissions, res::SDlgPermissionItems);
  FitListHeight(chklstUserPermissions);
  (new QVBoxLayout(gbUserPermissions))->addWidget(chklstUserPermissions);

  auto* encryption = new QVBoxLayout(gbEncryption);
  encryption->addLayout(passwords);
  encryption->addWidget(rgEncryptionLevel);
  encryption->addWidget(gbUserPermissions);

  auto* layout = new QVBoxLayout(tsSecurity);
  layout->addWidget(chkEnableEncryption);
  layout->addWidget(gbEncryption);
  lblSecurityUpdateNote = new QLabel(Text(res::SDlgSignedUpdateNote), tsSecurity);
  lblSecurityUpdateNote->setWordWrap(true);
  lblSecurityUpdateNote->hide();
  layout->addWidget(lblSecurityUpdateNote);
  layout->addStretch();

  connect(chkEnableEncryption, &QCheckBox::clicked, this, &TvxPDFSettingsDlg::chkEnableEncryptionClick);
}

void TvxPDFSettingsDlg::CreateViewTab() {
  tsView = new QWidget;
  pcSettings->addTab(tsView, Text(res::SDlgTabView));

  cbPageLayout = new QComboBox(tsView);
  AddItems(cbPageLayout, res::SDlgPageLayoutItems);
  cbPageMode = new QComboBox(tsView);
  AddItems(cbPageMode, res::SDlgPageModeItems);
  auto* lists = new QFormLayout;
  lists->addRow(Text(res::SDlgPageLayout), cbPageLayout);
  lists->addRow(Text(res::SDlgPageMode), cbPageMode);

  gbPresentation = new QGroupBox(Text(res::SDlgPresentationMode), tsView);
  cbPageTransitionEffect = new QComboBox(gbPresentation);
  AddItems(cbPageTransitionEffect, res::SDlgTransitionItems);
  edtDur = new QLineEdit(gbPresentation);
  edtDur->setMaxLength(5);
  edtDur->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edtDur));
  auto* duration = new QHBoxLayout;
  duration->addWidget(edtDur);
  duration->addWidget(new QLabel(Text(res::SDlgSecs), gbPresentation));
  duration->addStretch();
  auto* presentation = new QFormLayout(gbPresentation);
  presentation->addRow(Text(res::SDlgTransitionEffect), cbPageTransitionEffect);
  presentation->addRow(Text(res::SDlgTransitionDuration), duration);

  gbPageRange = new QGroupBox(Text(res::SDlgPresentationPageRange), tsView);
  rbAllPages = new QRadioButton(Text(res::SDlgAllPages), gbPageRange);
  rbAllPages->setChecked(true);
  rbPages = new QRadioButton(Text(res::SDlgPages), gbPageRange);
  edtPresentationPages = new QLineEdit(gbPageRange);
  edtPresentationPages->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9,\\-]*")), edtPresentationPages));
  edtPresentationPages->setToolTip(Text(res::SDlgPageRangeHint));
  auto* hint = new QLabel(Text(res::SDlgPageRangeHint), gbPageRange);
  hint->setWordWrap(true);
  auto* range = new QGridLayout(gbPageRange);
  range->addWidget(rbAllPages, 0, 0, 1, 2);
  range->addWidget(rbPages, 1, 0);
  range->addWidget(edtPresentationPages, 1, 1);
  range->addWidget(hint, 2, 0, 1, 2);

  gbViewerPreferences = new QGroupBox(Text(res::SDlgViewerPreferences), tsView);
  chklstViewerPreferences = new QListWidget(gbViewerPreferences);
  AddCheckItems(chklstViewerPreferences, res::SDlgViewerPreferenceItems);
  FitListHeight(chklstViewerPreferences);
  (new QVBoxLayout(gbViewerPreferences))->addWidget(chklstViewerPreferences);

  auto* layout = new QVBoxLayout(tsView);
  layout->addLayout(lists);
  layout->addWidget(gbPresentation);
  layout->addWidget(gbPageRange);
  layout->addWidget(gbViewerPreferences);
  layout->addStretch();

  connect(cbPageTransitionEffect, &QComboBox::currentIndexChanged, this,
          &TvxPDFSettingsDlg::ForceSinglePageForTransition);
  connect(cbPageLayout, &QComboBox::currentIndexChanged, this, &TvxPDFSettingsDlg::ForceSinglePageForTransition);
  connect(edtPresentationPages, &QLineEdit::textEdited, this, [this] { rbPages->setChecked(true); });
  connect(rbAllPages, &QRadioButton::clicked, this, [this] { edtPresentationPages->clear(); });
  connect(rbPages, &QRadioButton::clicked, this, [this] {
    edtPresentationPages->setEnabled(true);
    edtPresentationPages->setFocus();
  });
}

void TvxPDFSettingsDlg::CreateEmailTab() {
  tsEmailDoc = new QWidget;
  pcSettings->addTab(tsEmailDoc, Text(res::SDlgTabEmail));

  chkEmailAfterSave = new QCheckBox(Text(res::SDlgEmailAfterSave), tsEmailDoc);

  gbConnection = new QGroupBox(Text(res::SDlgConnection), tsEmailDoc);
  edtHost = new QLineEdit(gbConnection);
  edtUserID = new QLineEdit(gbConnection);
  edtPassword = NewPasswordEdit(gbConnection);
  auto* connection = new QFormLayout(gbConnection);
  connection->addRow(Text(res::SDlgHost), edtHost);
  connection->addRow(Text(res::SDlgUserID), edtUserID);
  connection->addRow(Text(res::SDlgPassword), edtPassword);

  gbAddresses = new QGroupBox(Text(res::SDlgAddresses), tsEmailDoc);
  edtTo = new QLineEdit(gbAddresses);
  edtCC = new QLineEdit(gbAddresses);
  edtBCC = new QLineEdit(gbAddresses);
  edtFrom = new QLineEdit(gbAddresses);
  auto* addresses = new QFormLayout(gbAddresses);
  addresses->addRow(Text(res::SDlgTo), edtTo);
  addresses->addRow(Text(res::SDlgCC), edtCC);
  addresses->addRow(Text(res::SDlgBCC), edtBCC);
  addresses->addRow(Text(res::SDlgFrom), edtFrom);

  gbMessage = new QGroupBox(Text(res::SDlgMessage), tsEmailDoc);
  edtSubject = new QLineEdit(gbMessage);
  memoBody = new QPlainTextEdit(gbMessage);
  memoBody->setFixedHeight(memoBody->fontMetrics().lineSpacing() * 6 + 2 * memoBody->frameWidth() + 8);
  auto* message = new QFormLayout(gbMessage);
  message->addRow(Text(res::SDlgMailSubject), edtSubject);
  message->addRow(Text(res::SDlgMessageBody), memoBody);

  auto* layout = new QVBoxLayout(tsEmailDoc);
  layout->addWidget(chkEmailAfterSave);
  layout->addWidget(gbConnection);
  layout->addWidget(gbAddresses);
  layout->addWidget(gbMessage);

  connect(chkEmailAfterSave, &QCheckBox::clicked, this, &TvxPDFSettingsDlg::chkEmailAfterSaveClick);
}

void TvxPDFSettingsDlg::CreateCompressTab() {
  tsCompress = new QWidget;
  pcSettings->addTab(tsCompress, Text(res::SDlgTabCompress));

  chkCompressDoc = new QCheckBox(Text(res::SDlgCompressDocument), tsCompress);
  chkCompressDoc->setChecked(true);
  gbCompType = new QGroupBox(tsCompress);
  cbCompType = new QComboBox(gbCompType);
  AddItems(cbCompType, res::SDlgCompTypeItems);
  cbCompLevel = new QComboBox(gbCompType);
  AddItems(cbCompLevel, res::SDlgCompLevelItems);
  auto* form = new QFormLayout(gbCompType);
  form->addRow(Text(res::SDlgCompressionType), cbCompType);
  form->addRow(Text(res::SDlgCompressionLevel), cbCompLevel);

  // How objects are laid out is no matter of stream compression: the list
  // stays usable with "Compress Document" off.
  cbObjectStreams = new QComboBox(tsCompress);
  AddItems(cbObjectStreams, res::SDlgObjectStreamItems);
  auto* objectStreams = new QFormLayout;
  objectStreams->addRow(Text(res::SDlgObjectStreams), cbObjectStreams);
  chkFastWebView = new QCheckBox(Text(res::SDlgFastWebView), tsCompress);

  auto* layout = new QVBoxLayout(tsCompress);
  layout->addWidget(chkCompressDoc);
  layout->addWidget(gbCompType);
  layout->addLayout(objectStreams);
  layout->addWidget(chkFastWebView);
  lblCompressUpdateNote = new QLabel(Text(res::SDlgSignedUpdateNote), tsCompress);
  lblCompressUpdateNote->setWordWrap(true);
  lblCompressUpdateNote->hide();
  layout->addWidget(lblCompressUpdateNote);
  layout->addStretch();

  connect(chkCompressDoc, &QCheckBox::clicked, this, [this](bool checked) { EnableGroup(gbCompType, checked); });
  connect(cbCompType, &QComboBox::currentIndexChanged, this, &TvxPDFSettingsDlg::cbCompTypeChange);
  connect(cbObjectStreams, &QComboBox::currentIndexChanged, this, &TvxPDFSettingsDlg::ShowVersionToWrite);
}

void TvxPDFSettingsDlg::showEvent(QShowEvent* event) {
  // Only a show the program asks for; a window restored by the desktop keeps
  // what the user entered.
  if (!event->spontaneous() && Document) FormShow();
  TvxSettingsDlg::showEvent(event);
}

void TvxPDFSettingsDlg::FormShow() {
  TvxCustomPDFDocument& doc = *Document;
  // Programmatic selections must not run the reactions meant for the user.
  const QSignalBlocker blockType(cbCompType), blockLayout(cbPageLayout),
      blockEffect(cbPageTransitionEffect);

  pcSettings->setCurrentWidget(tsDocInfo);
  const TvxPDFInfo& info = doc.Info();
  edtTitle->setText(FromWide(info.Title()));
  edtDocSubject->setText(FromWide(info.Subject()));
  edtAuthor->setText(FromWide(info.Author()));
  edtCreator->setText(FromWide(info.Creator()));
  edtKeywords->setText(FromWide(info.Keywords()));
  edtProducer->setText(Text(res::SProducerText));

  chkCompressDoc->setChecked(true);
  EnableGroup(gbCompType, true);
  cbCompType->setCurrentIndex(0);
  cbCompLevel->setEnabled(true);
  cbCompLevel->setCurrentIndex(kLevelItemFastest);
  chkEmailAfterSave->setChecked(false);
  EnableGroup(gbConnection, false);
  EnableGroup(gbAddresses, false);
  EnableGroup(gbMessage, false);
  if (EditsDocument) ShowDocumentsOwnChoices();

  // Encryption: the box says whether the file will be written encrypted.
  const TvxPDFEncryptionSettings& encryption = doc.Encryption();
  chkEnableEncryption->setChecked(false);
  for (QLineEdit* edit : {edtOwnerPassword, edtConfirmOwnerPassword, edtUserPassword, edtConfirmUserPassword})
    edit->clear();
  rgEncryptionLevelButtons->button(0)->setChecked(true);
  for (int i = 0; i < chklstUserPermissions->count(); ++i) SetChecked(chklstUserPermissions, i, false);
  if (encryption.Enabled() || doc.IsEncrypted()) {
    chkEnableEncryption->setChecked(encryption.Enabled());
    edtOwnerPassword->setText(FromPassword(encryption.OwnerPassword()));
    edtConfirmOwnerPassword->setText(edtOwnerPassword->text());
    edtUserPassword->setText(FromPassword(encryption.UserPassword()));
    edtConfirmUserPassword->setText(edtUserPassword->text());
    rgEncryptionLevelButtons->button(LevelButton(encryption.Level()))->setChecked(true);
    for (int i = 0; i < chklstUserPermissions->count(); ++i)
      SetChecked(chklstUserPermissions, i, encryption.UserPermissions().Contains(kPermissionOfItem[i]));
  }
  EnableGroup(gbEncryption, chkEnableEncryption->isChecked() && EncryptionChangeable());

  {
    const QSignalBlocker blockObjectStreams(cbObjectStreams);
    cbObjectStreams->setCurrentIndex(int(doc.ObjectStreams()));
  }
  ShowVersionToWrite();
  edtNoPages->setText(QString::number(doc.PageCount()));
  edtDur->setText(QStringLiteral("1"));

  // The lists show the document's own layout and mode, so that OK without
  // touching them keeps what the document had.
  cbPageLayout->setCurrentIndex(int(doc.PageLayout()));
  cbPageMode->setCurrentIndex(int(doc.PageMode()));
  cbPageTransitionEffect->setCurrentIndex(0);
  rbAllPages->setChecked(true);
  edtPresentationPages->clear();

  const TvxPDFViewerPreferences& preferences = doc.ViewerPreferences();
  const bool flags[] = {preferences.HideToolbar(),  preferences.HideMenubar(),  preferences.HideWindowUI(),
                        preferences.FitWindow(),    preferences.CenterWindow(), preferences.DisplayDocTitle()};
  for (int i = 0; i < int(std::size(flags)); ++i) SetChecked(chklstViewerPreferences, i, flags[i]);
  ShowViewerSettings();

  // A document saved as an update keeps its streams and its encryption as
  // they are: those controls are off, and a line says why.
  const bool update = doc.SaveKind() == TvxSaveKind::Incremental;
  if (update) {
    chkCompressDoc->setChecked(false);
    EnableGroup(gbCompType, false);
    EnableGroup(gbEncryption, false);
    const QSignalBlocker blockObjectStreams(cbObjectStreams);
    cbObjectStreams->setCurrentIndex(int(osDisable));
  }
  // An update cannot keep a file linearized.
  chkFastWebView->setChecked(doc.Linearize() && !update);
  chkCompressDoc->setEnabled(!update);
  cbObjectStreams->setEnabled(!update);
  chkFastWebView->setEnabled(!update);
  chkEnableEncryption->setEnabled(!update);
  lblCompressUpdateNote->setVisible(update);
  lblSecurityUpdateNote->setVisible(update);
}

void TvxPDFSettingsDlg::ShowDocumentsOwnChoices() {
  const TvxCustomPDFDocument& doc = *Document;
  chkOpenAfterSave->setChecked(doc.OpenAfterSave());
  const TvxCompression& compression = doc.Compression();
  if (compression.Active && compression.Encoding < cbCompType->count() && compression.Level < cbCompLevel->count()) {
    cbCompType->setCurrentIndex(compression.Encoding);
    cbCompLevel->setEnabled(compression.Encoding != kCompTypeRunlength);
    cbCompLevel->setCurrentIndex(compression.Level);
  }
  chkEmailAfterSave->setChecked(doc.EMailAfterSave());
  chkEmailAfterSaveClick(doc.EMailAfterSave());
  const TvxEMailInfo& mail = doc.EMailInfo();
  auto join = [](const std::vector<std::string>& parts, const char* separator) {
    QStringList list;
    for (const std::string& part : parts) list << QString::fromStdString(part);
    return list.join(QString::fromUtf8(separator));
  };
  edtHost->setText(QString::fromStdString(mail.Host));
  edtUserID->setText(QString::fromStdString(mail.UserID));
  edtPassword->setText(QString::fromStdString(mail.Password));
  edtTo->setText(join(mail.RecipientList, ", "));
  edtCC->setText(join(mail.CCList, ", "));
  edtBCC->setText(join(mail.BCCList, ", "));
  edtFrom->setText(QString::fromStdString(mail.FromAddress));
  edtSubject->setText(QString::fromStdString(mail.Subject));
  memoBody->setPlainText(join(mail.Body, "\n"));
}

bool TvxPDFSettingsDlg::EncryptionChangeable() const {
  return !Document || (Document->IsOwner() && Document->Encryption().Changeable());
}

void TvxPDFSettingsDlg::chkEnableEncryptionClick(bool checked) {
  if (EncryptionChangeable()) {
    EnableGroup(gbEncryption, checked);
    return;
  }
  QMessageBox::information(this, Text(res::SDlgInformationCaption), Text(res::SOnlyOwnerCanChangeEncryption),
                           QMessageBox::Ok);
  chkEnableEncryption->setChecked(true);
}

void TvxPDFSettingsDlg::chkEmailAfterSaveClick(bool checked) {
  EnableGroup(gbConnection, checked);
  EnableGroup(gbAddresses, checked);
  EnableGroup(gbMessage, checked);
}

void TvxPDFSettingsDlg::cbCompTypeChange(int index) {
  const bool runLength = index == kCompTypeRunlength;
  cbCompLevel->setEnabled(!runLength);
  cbCompLevel->setCurrentIndex(runLength ? kLevelItemNone : kLevelItemMaximum);
}

TvxPDFVersion TvxPDFSettingsDlg::VersionToWrite() const {
  const TvxPDFVersion version = Document ? Document->PDFVersion() : pvPDF14;
  if (cbObjectStreams->currentIndex() == int(osGenerate) && version < pvPDF15) return pvPDF15;
  return version;
}

void TvxPDFSettingsDlg::ShowVersionToWrite() {
  const int version = int(VersionToWrite());
  edtVersion->setText(version < int(std::size(res::SDlgVersionTexts)) ? Text(res::SDlgVersionTexts[version])
                                                                      : QString());
}

void TvxPDFSettingsDlg::ForceSinglePageForTransition() {
  // A presentation shows one page at a time.
  if (cbPageTransitionEffect->currentIndex() > 0) cbPageLayout->setCurrentIndex(kLayoutItemSinglePage);
}

void TvxPDFSettingsDlg::ShowError(const QString& text) {
  QMessageBox::critical(this, Text(res::SDlgErrorCaption), text, QMessageBox::Ok);
}

bool TvxPDFSettingsDlg::PasswordsMatch(QLineEdit* first, QLineEdit* confirmation, const char* which) {
  // Passwords are compared exactly: two texts that differ are different
  // passwords, whatever a locale's collation thinks of them.
  if (first->text() == confirmation->text()) return true;
  QString message = QString::fromStdString(Format(res::SPasswordsDoNotMatch, {which}));
  message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  ShowError(message);
  pcSettings->setCurrentWidget(tsSecurity);
  first->setFocus();
  return false;
}

std::string TvxPDFSettingsDlg::TransitionPages() const {
  if (rbAllPages->isChecked())
    return Document->PageCount() > 0 ? "1-" + std::to_string(Document->PageCount()) : std::string();
  return edtPresentationPages->text().toStdString();
}

void TvxPDFSettingsDlg::btnOKClick() {
  if (!Document) {
    accept();
    return;
  }
  // Every check comes first, so that a refused OK changes nothing.
  if (EncryptionChangeable() && chkEnableEncryption->isChecked()) {
    if (!PasswordsMatch(edtOwnerPassword, edtConfirmOwnerPassword, res::SDlgOwner)) return;
    if (!PasswordsMatch(edtUserPassword, edtConfirmUserPassword, res::SDlgUser)) return;
  }
  std::string transitionPages;
  if (cbPageTransitionEffect->currentIndex() > 0) {
    transitionPages = TransitionPages();
    try {
      if (!transitionPages.empty() || rbPages->isChecked())
        TvxCustomPDFDocument::ParsePageRange(transitionPages, Document->PageCount());
    } catch (const std::exception& e) {
      ShowError(QString::fromUtf8(e.what()));
      pcSettings->setCurrentWidget(tsView);
      edtPresentationPages->setFocus();
      return;
    }
  }
  if (QString problem = ViewerSettingsProblem(); !problem.isEmpty()) {
    ShowError(problem);
    return;
  }
  try {
    ApplyToDocument(transitionPages);
  } catch (const std::exception& e) {
    ShowError(QString::fromUtf8(e.what()));
    return;
  }
  accept();
}

void TvxPDFSettingsDlg::ApplyToDocument(const std::string& transitionPages) {
  TvxCustomPDFDocument& doc = *Document;

  // A user who opened the file with the user password cannot change its
  // encryption, nor can an update; the settings stay as the file had them.
  const bool update = doc.SaveKind() == TvxSaveKind::Incremental;
  if (EncryptionChangeable() && !update) {
    TvxPDFEncryptionSettings& encryption = doc.Encryption();
    if (chkEnableEncryption->isChecked()) {
      encryption.SetEnabled(true);
      // AES-128 has no button of its own: it shows as "128 Bit" and stays
      // AES-128 while that button is kept.
      const int checked = rgEncryptionLevelButtons->checkedId();
      if (checked != LevelButton(encryption.Level()))
        encryption.SetLevel(checked == 2 ? elAES256 : checked == 1 ? el128bit : el40bit);
      if (!edtOwnerPassword->text().isEmpty()) encryption.SetOwnerPassword(ToPassword(edtOwnerPassword->text()));
      // An AES-256 file opened by its owner has a user password nobody can
      // read back; an empty field then means "keep it", not "none".
      if (encryption.UserPasswordKnown() || !edtUserPassword->text().isEmpty())
        encryption.SetUserPassword(ToPassword(edtUserPassword->text()));
      TvxUserPermissions permissions = TvxUserPermissions::All();
      for (int i = 0; i < chklstUserPermissions->count(); ++i)
        if (!IsChecked(chklstUserPermissions, i)) permissions.Exclude(kPermissionOfItem[i]);
      encryption.SetUserPermissions(permissions);
    } else {
      encryption.SetEnabled(false);
    }
  }

  TvxPDFInfo& info = doc.Info();
  info.SetTitle(ToWide(edtTitle->text()));
  info.SetSubject(ToWide(edtDocSubject->text()));
  info.SetAuthor(ToWide(edtAuthor->text()));
  info.SetKeywords(ToWide(edtKeywords->text()));
  info.SetCreator(ToWide(edtCreator->text()));
  doc.SetOpenAfterSave(chkOpenAfterSave->isChecked());

  if (edtDur->text().isEmpty()) edtDur->setText(QStringLiteral("1"));
  const int effect = cbPageTransitionEffect->currentIndex();
  if (effect > 0 && (!transitionPages.empty() || rbPages->isChecked()))
    doc.SetPageTransition(transitionPages, uint8_t(effect), float(edtDur->text().toInt()));

  doc.SetPageLayout(TvxPageLayout(cbPageLayout->currentIndex()));
  doc.SetPageMode(TvxPageMode(cbPageMode->currentIndex()));
  ApplyViewerSettings();

  // Every flag follows its item, so unchecking an item clears the flag.
  TvxPDFViewerPreferences& preferences = doc.ViewerPreferences();
  preferences.SetHideToolbar(IsChecked(chklstViewerPreferences, 0));
  preferences.SetHideMenubar(IsChecked(chklstViewerPreferences, 1));
  preferences.SetHideWindowUI(IsChecked(chklstViewerPreferences, 2));
  preferences.SetFitWindow(IsChecked(chklstViewerPreferences, 3));
  preferences.SetCenterWindow(IsChecked(chklstViewerPreferences, 4));
  preferences.SetDisplayDocTitle(IsChecked(chklstViewerPreferences, 5));

  if (chkEmailAfterSave->isChecked()) {
    doc.SetEMailAfterSave(true);
    TvxEMailInfo& mail = doc.EMailInfo();
    mail.Host = ToUtf8(edtHost->text());
    mail.UserID = ToUtf8(edtUserID->text());
    mail.Password = ToUtf8(edtPassword->text());
    mail.FromAddress = ToUtf8(edtFrom->text());
    mail.Subject = ToUtf8(edtSubject->text());
    // Shown whole when editing, so written back whole.
    if (EditsDocument) mail.Body.clear();
    mail.Body.push_back(ToUtf8(memoBody->toPlainText()));
    mail.RecipientList = SplitAddresses(edtTo->text());
    mail.CCList = SplitAddresses(edtCC->text());
    mail.BCCList = SplitAddresses(edtBCC->text());
  } else {
    doc.SetEMailAfterSave(false);
  }

  // Object streams need PDF 1.5: "Generate" raises an older version.
  doc.SetPDFVersion(VersionToWrite());
  doc.SetObjectStreams(update ? osDisable : TvxObjectStreamMode(cbObjectStreams->currentIndex()));
  if (!update) doc.SetLinearize(chkFastWebView->isChecked());

  if (chkCompressDoc->isChecked() && !update) {
    const int type = cbCompType->currentIndex();
    const int level = cbCompLevel->currentIndex();
    if (type >= 0) lastEncoding = uint8_t(type);
    if (level >= 0) lastLevel = kLevelCodeOfItem[level];
    doc.SetCompression(lastEncoding, lastLevel);
  }
}

bool EditDocumentSettings(QWidget* parent, TvxCustomPDFDocument& document) {
  TvxPDFSettingsDlg dialog(parent);
  dialog.EditsDocument = true;
  dialog.Document = &document;
  const bool applied = dialog.Execute() == TvxModalResult::mrOK;
  dialog.Document = nullptr;
  return applied;
}

void RegisterSettingsDialog() {
  RegisterDefaultSetupDialog([] { return std::make_unique<TvxPDFSettingsDlg>(QApplication::activeWindow()); });
  RegisterDesktopShellOpen();
}

}  // namespace vx
