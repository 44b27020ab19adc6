#include "app/VordelPDFUnit.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDate>
#include <QDir>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QIcon>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <exception>
#include <iterator>

#include "app/HelpPage.h"
#include "app/PasswordDialog.h"
#include "app/RadioGroup.h"
#include "app/VordelPDFTexts.h"
#include "app/WorkIndicator.h"
#include "pdf/dialogs/vxDesktopShell.h"
#include "pdf/security/vxPDFCrypt.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"

namespace texts = app::texts;

namespace {

constexpr int kClientWidth = 545;
constexpr int kClientHeight = 599;

// Page layout items in window order, which differs from the enumeration's.
constexpr vx::TvxPageLayout kLayoutOfItem[] = {vx::plNone, vx::plOneColumn, vx::plSinglePage,
                                               vx::plTwoColumnLeft, vx::plTwoColumnRight};
// Page mode items, matched by text.
struct TModeItem {
  const char* Text;
  vx::TvxPageMode Mode;
};
constexpr TModeItem kModeItems[] = {{texts::ModeNone, vx::pmNone},
                                    {texts::ModeOutlines, vx::pmUseOutlines},
                                    {texts::ModeThumbnails, vx::pmUseThumbs},
                                    {texts::ModeFullScreen, vx::pmFullScreen}};
// Compression level items "Default", "Fastest", "Maximum", "None" as level codes.
constexpr uint8_t kLevelOfItem[] = {2, 1, 3, 0};

QString Text(const char* text) { return QString::fromUtf8(text); }

// File names go to the library in the file system's own encoding.
std::string NativeName(const QString& name) { return QFile::encodeName(name).toStdString(); }

// The information entries are edited as the wide text they are, so that no
// character is lost on the way through the window.
QString FromWide(const std::u16string& text) { return QString::fromStdU16String(text); }
std::u16string ToWide(const QString& text) { return text.toStdU16String(); }

QLineEdit* NewEdit(QWidget* parent, int left, int top, int width, int height) {
  auto* edit = new QLineEdit(parent);
  edit->setGeometry(left, top, width, height);
  return edit;
}

QLabel* NewLabel(const char* caption, QWidget* parent, int left, int top, int width = -1, int height = -1) {
  auto* label = new QLabel(Text(caption), parent);
  if (width < 0) {
    label->move(left, top);
    label->adjustSize();
  } else {
    label->setGeometry(left, top, width, height);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  }
  return label;
}

QPushButton* NewButton(const char* caption, QWidget* parent, int left, int top, int width, int height) {
  auto* button = new QPushButton(Text(caption), parent);
  button->setGeometry(left, top, width, height);
  return button;
}

QCheckBox* NewCheckBox(const char* caption, QWidget* parent, int left, int top, int width) {
  auto* box = new QCheckBox(Text(caption), parent);
  box->setGeometry(left, top, width, 17);
  return box;
}

// Marks the window busy for as long as one load or save runs.
class TBusyScope {
 public:
  explicit TBusyScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~TBusyScope() { flag_ = false; }
  TBusyScope(const TBusyScope&) = delete;
  TBusyScope& operator=(const TBusyScope&) = delete;

 private:
  bool& flag_;
};

// Puts the document's password question on the window while one load runs.
class TPasswordScope {
 public:
  TPasswordScope(QWidget* owner, vx::TvxCustomPDFDocument& document, const QString& fileName)
      : document_(document) {
    AskForPasswords(owner, document, fileName);
  }
  ~TPasswordScope() { document_.OnPassword = nullptr; }
  TPasswordScope(const TPasswordScope&) = delete;
  TPasswordScope& operator=(const TPasswordScope&) = delete;

 private:
  vx::TvxCustomPDFDocument& document_;
};

// The name a save writes to: the library adds ".pdf" unless it is there.
QString SavedName(const QString& target) {
  return target.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive) ? target : target + QStringLiteral(".pdf");
}

QStringList Items(std::initializer_list<const char*> items) {
  QStringList list;
  for (const char* item : items) list << Text(item);
  return list;
}

}  // namespace

TForm1::TForm1(int currentYear, QWidget* parent) : QWidget(parent) {
  setWindowTitle(Text(texts::WindowCaption));
  // A fixed window: no maximise button and no resizing border.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  setWindowIcon(QIcon(Text(texts::IconResource)));
  setAcceptDrops(true);
  // The window is the program's only main window: its message boxes, file
  // dialogs, the password dialog and the settings dialog are windows of
  // their own, which take the application's face rather than this one's.
  QApplication::setFont(WindowFont());
  setFont(WindowFont());

  CreateControls();

  // The document's settings at creation.
  PDFDoc.SetOpenAfterSave(false);
  PDFDoc.SetMergeOptions({vx::moIncludeOutlines, vx::moIncludeFormFields});
  PDFDoc.SetPDFVersion(vx::pvPDF14);
  PDFDoc.SetPageMode(vx::pmNone);
  PDFDoc.SetPageLayout(vx::plNone);
  PDFDoc.SetShowSetupDialog(false);
  PDFDoc.Encryption().SetLevel(vx::el40bit);
  PDFDoc.Encryption().SetEnabled(false);
  PDFDoc.SetEMailAfterSave(false);

  ChooseSourceFile = [this] { return RunOpenDialog(); };
  ChooseTargetFile = [this] { return RunSaveDialog(); };

  FormCreate(currentYear);
}

TForm1::~TForm1() = default;

int TForm1::CurrentYear() { return QDate::currentDate().year(); }

QFont TForm1::WindowFont() {
  // "MS Sans Serif" 8 pt is not found on Linux; an 11-pixel sans face of
  // about the same width keeps every caption inside its bounds.
  QFont face;
  face.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("Arial"), QStringLiteral("Sans Serif")});
  face.setPixelSize(11);
  return face;
}

void TForm1::CreateControls() {
  GroupBox1 = new QGroupBox(Text(texts::SourceGroup), this);
  GroupBox1->setGeometry(32, 10, 481, 73);
  Label1 = NewLabel(texts::SourceLabel, GroupBox1, 10, 35);
  Edit1 = NewEdit(GroupBox1, 96, 32, 305, 21);
  Button1 = NewButton(texts::LoadButton, GroupBox1, 408, 30, 65, 25);

  GroupBox2 = new QGroupBox(Text(texts::PreferencesGroup), this);
  GroupBox2->setGeometry(32, 90, 337, 105);
  CheckBox1 = NewCheckBox(texts::CenterWindow, GroupBox2, 8, 24, 185);
  CheckBox2 = NewCheckBox(texts::DisplayDocTitle, GroupBox2, 8, 48, 185);
  CheckBox3 = NewCheckBox(texts::FitWindow, GroupBox2, 8, 72, 185);
  CheckBox4 = NewCheckBox(texts::HideMenubar, GroupBox2, 200, 24, 129);
  CheckBox5 = NewCheckBox(texts::HideToolbar, GroupBox2, 200, 48, 129);
  CheckBox6 = NewCheckBox(texts::HideWindowUI, GroupBox2, 200, 72, 129);

  RadioGroup1 = new TRadioGroup(Text(texts::PageModeGroup),
                                Items({texts::ModeNone, texts::ModeFullScreen, texts::ModeOutlines,
                                       texts::ModeThumbnails}),
                                2, this);
  RadioGroup1->setGeometry(32, 202, 337, 73);
  RadioGroup2 = new TRadioGroup(
      Text(texts::PageLayoutGroup),
      Items({"None", "One Column", "Single Page", "Two Column Left", "Two Column Right"}), 1, this);
  RadioGroup2->setGeometry(376, 90, 137, 185);
  RadioGroup3 = new TRadioGroup(Text(texts::VersionGroup),
                                Items({"1.0", "1.1", "1.2", "1.3", "1.4", "1.5", "1.6", "1.7", "2.0"}), 5, this);
  RadioGroup3->setGeometry(32, 282, 337, 89);

  GroupBox3 = new QGroupBox(Text(texts::PropertiesGroup), this);
  GroupBox3->setGeometry(32, 380, 336, 129);
  Label2 = NewLabel(texts::TitleLabel, GroupBox3, 8, 24, 56, 21);
  Edit2 = NewEdit(GroupBox3, 64, 24, 265, 21);
  Label3 = NewLabel(texts::SubjectLabel, GroupBox3, 8, 48, 56, 21);
  Edit3 = NewEdit(GroupBox3, 64, 48, 265, 21);
  Label4 = NewLabel(texts::KeywordsLabel, GroupBox3, 8, 72, 56, 21);
  Edit4 = NewEdit(GroupBox3, 64, 72, 265, 21);
  Label5 = NewLabel(texts::AuthorLabel, GroupBox3, 8, 96, 56, 21);
  Edit5 = NewEdit(GroupBox3, 64, 96, 265, 21);
  for (auto [label, edit] : {std::pair{Label2, Edit2}, {Label3, Edit3}, {Label4, Edit4}, {Label5, Edit5}})
    label->setBuddy(edit);

  RadioGroup4 = new TRadioGroup(Text(texts::EncodingGroup), Items({"Flate", "RunLength"}), 1, this);
  RadioGroup4->setGeometry(376, 436, 137, 73);
  RadioGroup5 = new TRadioGroup(Text(texts::LevelGroup), Items({"Default", "Fastest", "Maximum", "None"}), 1, this);
  RadioGroup5->setGeometry(376, 282, 137, 149);

  Button2 = NewButton(texts::VordelButton, this, 119, 525, 75, 24);
  Button3 = NewButton(texts::HelpButton, this, 232, 525, 74, 24);
  Button4 = NewButton(texts::ExitButton, this, 343, 525, 75, 24);

  Label8 = new QLabel(this);
  Label8->setGeometry(32, 555, 481, 16);
  Label8->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

  // Outside the tab order.
  Label6 = NewLabel(texts::RightsNotice, this, 46, 577);
  Label7 = new QLabel(Text(texts::WebAddress), this);
  QFont larger = font();
  larger.setPixelSize(font().pixelSize() + 2);
  Label7->setFont(larger);
  Label7->setStyleSheet(QStringLiteral("color: blue"));
  Label7->setCursor(Qt::PointingHandCursor);
  Label7->move(375, 577);
  Label7->adjustSize();
  Label7->installEventFilter(this);

  // Tab order as the controls are listed; a radio group is one stop.
  QList<QWidget*> order{Edit1,     Button1,   CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, CheckBox6};
  for (TRadioGroup* group : {RadioGroup1, RadioGroup2, RadioGroup3})
    for (int i = 0; i < group->Items().size(); ++i) order << group->Button(i);
  order << Edit2 << Edit3 << Edit4 << Edit5;
  for (TRadioGroup* group : {RadioGroup4, RadioGroup5})
    for (int i = 0; i < group->Items().size(); ++i) order << group->Button(i);
  order << Button2 << Button3 << Button4;
  for (int i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);

  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
  connect(Edit1, &QLineEdit::returnPressed, this, [this] {
    if (!Edit1->text().trimmed().isEmpty()) LoadFile(Edit1->text().trimmed());
  });
}

void TForm1::FormCreate(int currentYear) {
  if (currentYear > 2013) {
    QString notice = Label6->text();
    notice.replace(Text(texts::NoticeYear), QString::number(currentYear));
    Label6->setText(notice);
    Label6->adjustSize();
  }
}

// ------------------------------------------------------------- the buttons

void TForm1::Button1Click() {
  if (!busy_) RunGuarded([this] { LoadFlow(); });
}

void TForm1::Button2Click() {
  if (!busy_) RunGuarded([this] { SaveFlow(); });
}

void TForm1::LoadFile(const QString& fileName) {
  if (!busy_) RunGuarded([this, fileName] { LoadDocument(fileName); });
}

void TForm1::Button3Click() {
  const QString path = FindHelpPage(QCoreApplication::applicationDirPath());
  if (path.isEmpty()) {
    const QStringList looked = HelpPageCandidates(QCoreApplication::applicationDirPath());
    QMessageBox::critical(this, QApplication::applicationName(), Text(texts::HelpNotFound).arg(looked.join('\n')));
    return;
  }
  vx::OpenWithDesktop(this, QUrl::fromLocalFile(path));
}

void TForm1::Button4Click() { close(); }

void TForm1::Label7Click() { vx::OpenWithDesktop(this, QUrl(Text(texts::WebPage))); }

void TForm1::RunGuarded(const std::function<void()>& flow) {
  // Failures of the library carry their message; the window carries on.
  try {
    flow();
  } catch (const std::exception& e) {
    QMessageBox::critical(this, QApplication::applicationName(), QString::fromUtf8(e.what()));
  }
}

void TForm1::ShowMessage(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok, this);
  box.exec();
}

// ------------------------------------------------------------------ loading

void TForm1::LoadFlow() {
  const QString fileName = ChooseSourceFile();
  if (fileName.isEmpty()) return;
  LoadDocument(fileName);
}

void TForm1::LoadDocument(const QString& fileName) {
  Edit1->setText(fileName);
  // Until this load succeeds nothing is loaded: a failure must not leave the
  // previous document (or a half-read one) for Vordel! to write.
  loaded_ = false;
  bool opened = false;
  try {
    TBusyScope busy(busy_);
    TWorkIndicator indicator(this, PDFDoc, Text(texts::Loading).arg(QFileInfo(fileName).fileName()),
                             ProgressDelayMs);
    TPasswordScope passwords(this, PDFDoc, fileName);
    opened = PDFDoc.LoadFromFile(NativeName(fileName));
  } catch (const std::exception& e) {
    ClearDocumentControls();
    SetStatus(Text(texts::StatusNotLoaded).arg(QString::fromUtf8(e.what())));
    throw;
  }
  if (!opened) {
    // The password question was cancelled.
    ClearDocumentControls();
    SetStatus(Text(texts::StatusNotLoaded).arg(Text(vx::res::SPasswordRequired)));
    throw vx::EPasswordError(vx::res::SPasswordRequired);
  }
  loaded_ = true;
  // A signed document is saved as an update, which keeps its signatures
  // valid; an update leaves the file's streams alone, so their compression
  // cannot be chosen.
  const bool signedDocument = PDFDoc.SignatureCount() > 0;
  PDFDoc.SetSaveKind(signedDocument ? vx::TvxSaveKind::Incremental : vx::TvxSaveKind::Rewrite);
  for (TRadioGroup* group : {RadioGroup4, RadioGroup5}) group->setEnabled(!signedDocument);
  ShowDocument();
  SetStatus(LoadedStatus(fileName));
}

void TForm1::ClearDocumentControls() {
  for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, CheckBox6}) box->setChecked(false);
  for (TRadioGroup* group : {RadioGroup1, RadioGroup2, RadioGroup3}) group->SetItemIndex(-1);
  for (QLineEdit* edit : {Edit2, Edit3, Edit4, Edit5}) edit->clear();
}

QString TForm1::LoadedStatus(const QString& fileName) const {
  const int pages = PDFDoc.PageCount();
  const QString pageText = pages == 1 ? Text(texts::StatusOnePage) : Text(texts::StatusPages).arg(pages);
  const QString version = RadioGroup3->Items().value(int(PDFDoc.PDFVersion()), QStringLiteral("?"));
  const char* access = !PDFDoc.IsEncrypted() ? texts::StatusNotEncrypted
                       : PDFDoc.IsOwner()    ? texts::StatusOwner
                                             : texts::StatusUser;
  QString status = Text(texts::StatusLoaded).arg(QFileInfo(fileName).fileName(), pageText, version, Text(access));
  if (PDFDoc.Repaired()) status += Text(texts::StatusRepaired);
  if (PDFDoc.SignatureCount() > 0) status += Text(texts::StatusSigned);
  return status;
}

void TForm1::SetStatus(const QString& text) {
  // Long names are shortened in the middle; the whole text is the tool tip.
  Label8->setToolTip(text);
  Label8->setText(Label8->fontMetrics().elidedText(text, Qt::ElideMiddle, Label8->width()));
}

void TForm1::ShowDocument() {
  const vx::TvxPDFViewerPreferences& preferences = PDFDoc.ViewerPreferences();
  CheckBox1->setChecked(preferences.CenterWindow());
  CheckBox2->setChecked(preferences.DisplayDocTitle());
  CheckBox3->setChecked(preferences.FitWindow());
  CheckBox4->setChecked(preferences.HideMenubar());
  CheckBox5->setChecked(preferences.HideToolbar());
  CheckBox6->setChecked(preferences.HideWindowUI());

  // A mode without an item (attachments) leaves the selection as it was.
  for (const TModeItem& item : kModeItems)
    if (item.Mode == PDFDoc.PageMode()) RadioGroup1->SetItemIndex(RadioGroup1->Items().indexOf(Text(item.Text)));

  RadioGroup3->SetItemIndex(int(PDFDoc.PDFVersion()));

  const vx::TvxPDFInfo& info = PDFDoc.Info();
  Edit2->setText(FromWide(info.Title()));
  Edit3->setText(FromWide(info.Subject()));
  Edit4->setText(FromWide(info.Keywords()));
  Edit5->setText(FromWide(info.Author()));

  for (int i = 0; i < int(std::size(kLayoutOfItem)); ++i)
    if (kLayoutOfItem[i] == PDFDoc.PageLayout()) RadioGroup2->SetItemIndex(i);
}

// ------------------------------------------------------------------- saving

void TForm1::SaveFlow() {
  if (Edit1->text().isEmpty()) {
    ShowMessage(Text(vx::res::SNoSourceFile));
    return;
  }
  if (!QFileInfo(Edit1->text()).isFile()) {
    ShowMessage(Text(vx::res::SSourceNotFound));
    return;
  }
  if (!loaded_) {
    ShowMessage(Text(texts::NothingLoaded));
    return;
  }

  vx::TvxPDFViewerPreferences& preferences = PDFDoc.ViewerPreferences();
  preferences.SetCenterWindow(CheckBox1->isChecked());
  preferences.SetDisplayDocTitle(CheckBox2->isChecked());
  preferences.SetFitWindow(CheckBox3->isChecked());
  preferences.SetHideMenubar(CheckBox4->isChecked());
  preferences.SetHideToolbar(CheckBox5->isChecked());
  preferences.SetHideWindowUI(CheckBox6->isChecked());

  // No selection keeps what the document has.
  const int mode = RadioGroup1->ItemIndex();
  for (const TModeItem& item : kModeItems)
    if (RadioGroup1->Items().indexOf(Text(item.Text)) == mode) PDFDoc.SetPageMode(item.Mode);

  const int version = RadioGroup3->ItemIndex();
  if (version >= 0 && version <= int(vx::pvPDF20)) PDFDoc.SetPDFVersion(vx::TvxPDFVersion(version));

  vx::TvxPDFInfo& info = PDFDoc.Info();
  info.SetTitle(ToWide(Edit2->text()));
  info.SetSubject(ToWide(Edit3->text()));
  info.SetKeywords(ToWide(Edit4->text()));
  info.SetAuthor(ToWide(Edit5->text()));

  const int layout = RadioGroup2->ItemIndex();
  if (layout >= 0 && layout < int(std::size(kLayoutOfItem))) PDFDoc.SetPageLayout(kLayoutOfItem[layout]);

  // An unselected group leaves its field 0: Flate, level none.
  vx::TvxCompression compression;
  if (RadioGroup4->ItemIndex() == 1) compression.Encoding = 1;
  const int level = RadioGroup5->ItemIndex();
  if (level >= 0) compression.Level = kLevelOfItem[level];
  if (PDFDoc.SaveKind() != vx::TvxSaveKind::Incremental) PDFDoc.SetCompression(compression.Encoding, compression.Level);

  const QString target = ChooseTargetFile();
  if (target.isEmpty()) return;
  bool saved = false;
  try {
    TBusyScope busy(busy_);
    TWorkIndicator indicator(this, PDFDoc, Text(texts::Saving).arg(QFileInfo(target).fileName()), ProgressDelayMs,
                             true);
    saved = PDFDoc.SaveToFile(NativeName(target), 2);
  } catch (const vx::ESaveCancelled& e) {
    // The user asked for it: no error box, the status line says what happened.
    SetStatus(QString::fromUtf8(e.what()));
    return;
  }
  if (saved) {
    const QFileInfo written(SavedName(target));
    const bool update = PDFDoc.SaveKind() == vx::TvxSaveKind::Incremental;
    SetStatus(Text(update ? texts::StatusSavedIncrementally : texts::StatusSaved)
                  .arg(QDir::toNativeSeparators(written.absoluteFilePath()),
                       QLocale::system().formattedDataSize(written.size())));
  }
}

// ------------------------------------------------------------- file dialogs

QString TForm1::RunOpenDialog() {
  QFileDialog dialog(this, Text(texts::OpenDialogTitle), QString(), Text(texts::PdfFilter));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(Text(texts::PdfExtension));
  return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                 : QString();
}

QString TForm1::RunSaveDialog() {
  // Starts beside the source, under the source's name.
  const QFileInfo source(Edit1->text());
  QFileDialog dialog(this, Text(texts::SaveDialogTitle), source.absolutePath(), Text(texts::PdfFilter));
  dialog.selectFile(source.fileName());
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(Text(texts::PdfExtension));
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                 : QString();
}

// ------------------------------------------------------------ window events

void TForm1::changeEvent(QEvent* event) {
  // Maximising or full screen would change the size: the window stays as it is.
  if (event->type() == QEvent::WindowStateChange &&
      (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
    setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
  QWidget::changeEvent(event);
}

void TForm1::closeEvent(QCloseEvent* event) {
  // Not while the document is being written.
  if (busy_) event->ignore();
  else QWidget::closeEvent(event);
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (!busy_ && urls.size() == 1 && urls.first().isLocalFile()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (busy_ || urls.size() != 1 || !urls.first().isLocalFile()) return;
  event->acceptProposedAction();
  // Loaded once the drop is over: the source's drag must not wait for the
  // load or its message boxes.
  const QString fileName = urls.first().toLocalFile();
  QTimer::singleShot(0, this, [this, fileName] { LoadFile(fileName); });
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label7 && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    Label7Click();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::showEvent(QShowEvent* event) {
  if (!centred_) {
    centred_ = true;
    if (QScreen* screen = this->screen()) {
      QRect frame = frameGeometry();
      frame.moveCenter(screen->availableGeometry().center());
      move(frame.topLeft());
    }
  }
  QWidget::showEvent(event);
}
