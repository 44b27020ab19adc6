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
#include <QKeyEvent>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>
#include <exception>
#include <iterator>

#include "app/HelpPage.h"
#include "app/PasswordDialog.h"
#include "app/RadioGroup.h"
#include "app/VordelPDFTexts.h"
#include "app/WorkIndicator.h"
#include "pdf/dialogs/vxDesktopShell.h"
#include "pdf/dialogs/vxPDFSettingsDlg.h"
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
constexpr int kRunLengthItem = 1;

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

// The name a save writes to: ".pdf" is added unless it is there.
QString SavedName(const QString& target) {
  return target.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive) ? target : target + QStringLiteral(".pdf");
}

// The file a typed name stands for: the name itself, or with ".pdf" added
// when it has no extension and only that file exists.
QString SourceName(const QString& typed) {
  const QFileInfo info(typed);
  if (info.exists() || !info.suffix().isEmpty()) return typed;
  const QString withExtension = typed + QStringLiteral(".pdf");
  return QFileInfo::exists(withExtension) ? withExtension : typed;
}

QString NativePath(const QString& path) { return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()); }

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
  setWindowIcon(QIcon(Text(texts::IconResource)));
  setAcceptDrops(true);
  // The window is the program's only main window: its message boxes, file
  // dialogs, the password dialog and the settings dialog are windows of
  // their own, which take the application's face rather than this one's.
  QApplication::setFont(WindowFont());
  setFont(WindowFont());

  CreateControls();
  CreateShortcuts();
  FitToScreen();

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
  // The window decides which file a name stands for (see SourceName and
  // SavedName), so that what it asks about is what is read and written.
  PDFDoc.SetLiteralFileNames(true);
  // A file is read as far as the window shows it; the update of a signed
  // file reads only what it writes, and a full rewrite reads the rest.
  PDFDoc.SetLoadOnDemand(true);
  PDFDoc.SetReadFileOnDemand(true);

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
  Client = new QWidget;
  Client->setFixedSize(kClientWidth, kClientHeight);
  ScrollArea = new QScrollArea(this);
  ScrollArea->setFrameShape(QFrame::NoFrame);
  ScrollArea->setWidget(Client);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(ScrollArea);

  GroupBox1 = new QGroupBox(Text(texts::SourceGroup), Client);
  GroupBox1->setGeometry(32, 10, 481, 73);
  Label1 = NewLabel(texts::SourceLabel, GroupBox1, 10, 35);
  Edit1 = NewEdit(GroupBox1, 96, 32, 305, 21);
  Button1 = NewButton(texts::LoadButton, GroupBox1, 408, 30, 65, 25);

  GroupBox2 = new QGroupBox(Text(texts::PreferencesGroup), Client);
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
                                2, Client);
  RadioGroup1->setGeometry(32, 202, 337, 73);
  RadioGroup2 = new TRadioGroup(
      Text(texts::PageLayoutGroup),
      Items({"None", "One Column", "Single Page", "Two Column Left", "Two Column Right"}), 1, Client);
  RadioGroup2->setGeometry(376, 90, 137, 185);
  RadioGroup3 = new TRadioGroup(Text(texts::VersionGroup),
                                Items({"1.0", "1.1", "1.2", "1.3", "1.4", "1.5", "1.6", "1.7", "2.0"}), 5, Client);
  RadioGroup3->setGeometry(32, 282, 337, 89);

  GroupBox3 = new QGroupBox(Text(texts::PropertiesGroup), Client);
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

  RadioGroup4 = new TRadioGroup(Text(texts::EncodingGroup), Items({"Flate", "RunLength"}), 1, Client);
  RadioGroup4->setGeometry(376, 436, 137, 73);
  RadioGroup5 = new TRadioGroup(Text(texts::LevelGroup), Items({"Default", "Fastest", "Maximum", "None"}), 1, Client);
  RadioGroup5->setGeometry(376, 282, 137, 149);

  Button5 = NewButton(texts::SettingsButton, Client, 66, 525, 75, 24);
  Button2 = NewButton(texts::VordelButton, Client, 179, 525, 75, 24);
  Button3 = NewButton(texts::HelpButton, Client, 292, 525, 75, 24);
  Button4 = NewButton(texts::ExitButton, Client, 405, 525, 75, 24);

  Label8 = new QLabel(Client);
  Label8->setGeometry(32, 555, 481, 16);
  Label8->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

  // Outside the tab order.
  Label6 = NewLabel(texts::RightsNotice, Client, 46, 577);
  Label7 = new QLabel(Text(texts::WebAddress), Client);
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
  order << Button5 << Button2 << Button3 << Button4;
  for (int i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);

  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
  connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
  connect(Edit1, &QLineEdit::returnPressed, this, [this] {
    if (!Edit1->text().trimmed().isEmpty()) LoadFile(Edit1->text().trimmed());
  });
}

void TForm1::CreateShortcuts() {
  const std::pair<QKeySequence, QPushButton*> shortcuts[] = {{QKeySequence(Qt::CTRL | Qt::Key_O), Button1},
                                                             {QKeySequence(Qt::CTRL | Qt::Key_S), Button2},
                                                             {QKeySequence(Qt::Key_F1), Button3},
                                                             {QKeySequence(Qt::CTRL | Qt::Key_Q), Button4}};
  for (const auto& [keys, button] : shortcuts) {
    connect(new QShortcut(keys, this), &QShortcut::activated, button, &QPushButton::click);
    button->setToolTip(keys.toString(QKeySequence::NativeText));
  }
}

void TForm1::FitToScreen() {
  QSize size(kClientWidth, kClientHeight);
  if (const QScreen* screen = this->screen()) {
    QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    // Until a window manager has framed the window, room is kept for a title bar.
    if (frame.isNull()) frame.setTop(style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this));
    fittedFrame_ = frame;
    const QSize room =
        screen->availableGeometry().size() - QSize(frame.left() + frame.right(), frame.top() + frame.bottom());
    // A vertical scroll bar takes width the client area needs.
    if (room.height() < size.height())
      size.rwidth() += ScrollArea->verticalScrollBar()->sizeHint().width();
    size = size.boundedTo(room);
  }
  setFixedSize(size);
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

void TForm1::Button5Click() {
  if (busy_) return;
  if (!loaded_) {
    ShowMessage(Text(texts::NothingLoaded));
    return;
  }
  // The dialog starts from what the window shows, and the window shows
  // what its OK applied.
  ApplyControls();
  ApplyCompression();
  if (!vx::EditDocumentSettings(this, PDFDoc)) return;
  settingsApplied_ = true;
  ShowDocument();
  ShowCompression();
}

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

bool TForm1::Ask(QMessageBox::Icon icon, const QString& question, const QString& yesText) {
  // Cancel unless the user picks the action: Enter and Escape both cancel.
  QMessageBox box(icon, QApplication::applicationName(), question, QMessageBox::Cancel, this);
  const QPushButton* yes = box.addButton(yesText, QMessageBox::AcceptRole);
  box.setDefaultButton(QMessageBox::Cancel);
  box.setEscapeButton(QMessageBox::Cancel);
  box.exec();
  return box.clickedButton() == yes;
}

// ------------------------------------------------------------------ loading

void TForm1::LoadFlow() {
  const QString fileName = ChooseSourceFile();
  if (fileName.isEmpty()) return;
  LoadDocument(fileName);
}

void TForm1::LoadDocument(const QString& typed) {
  if (!ChangesMayBeDiscarded()) return;
  const QString fileName = SourceName(typed);
  Edit1->setText(fileName);
  // Until this load succeeds nothing is loaded: a failure must not leave the
  // previous document (or a half-read one) for Vordel! to write.
  loaded_ = false;
  loadedName_.clear();
  bool opened = false;
  try {
    if (QFileInfo(fileName).isDir()) throw vx::EFileNotFound(Text(texts::FolderNotFile).arg(NativePath(fileName)).toStdString());
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
    // The user cancelled the password question: nothing to report but that.
    ClearDocumentControls();
    SetStatus(Text(texts::StatusNotLoaded).arg(Text(texts::PasswordCancelled)));
    return;
  }
  loaded_ = true;
  loadedName_ = fileName;
  // A signed document is saved as an update, which keeps its signatures
  // valid.
  UseSaveKind(PDFDoc.SignatureCount() > 0 ? vx::TvxSaveKind::Incremental : vx::TvxSaveKind::Rewrite);
  ShowDocument();
  MarkUnchanged();
  SetStatus(LoadedStatus(), QFileInfo(fileName).fileName());
}

void TForm1::UseSaveKind(vx::TvxSaveKind kind) {
  PDFDoc.SetSaveKind(kind);
  // An update leaves the file's streams alone: their compression cannot be chosen.
  for (TRadioGroup* group : {RadioGroup4, RadioGroup5}) group->setEnabled(kind != vx::TvxSaveKind::Incremental);
}

void TForm1::ClearDocumentControls() {
  for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, CheckBox6}) box->setChecked(false);
  for (TRadioGroup* group : {RadioGroup1, RadioGroup2, RadioGroup3}) group->SetItemIndex(-1);
  for (QLineEdit* edit : {Edit2, Edit3, Edit4, Edit5}) edit->clear();
  for (TRadioGroup* group : {RadioGroup4, RadioGroup5}) group->setEnabled(true);
}

QString TForm1::LoadedStatus() const {
  const int pages = PDFDoc.PageCount();
  const QString pageText = pages == 1 ? Text(texts::StatusOnePage) : Text(texts::StatusPages).arg(pages);
  const QString version = RadioGroup3->Items().value(int(PDFDoc.PDFVersion()), QStringLiteral("?"));
  const char* access = !PDFDoc.IsEncrypted() ? texts::StatusNotEncrypted
                       : PDFDoc.IsOwner()    ? texts::StatusOwner
                                             : texts::StatusUser;
  // %1 stays for the name, which SetStatus fits in.
  QString status = Text(texts::StatusLoaded).arg(QStringLiteral("%1"), pageText, version, Text(access));
  if (PDFDoc.Repaired()) status += Text(texts::StatusRepaired);
  if (PDFDoc.SignatureCount() > 0) status += Text(texts::StatusSigned);
  if (PDFDoc.SourceLinearization() == vx::lsLinearized) status += Text(texts::StatusLinearized);
  if (PDFDoc.SourceLinearization() == vx::lsBroken) status += Text(texts::StatusLinearizationBroken);
  return status;
}

void TForm1::SetStatus(const QString& text) {
  // A long message is shortened in the middle; the whole text is the tool tip.
  Label8->setToolTip(text);
  Label8->setText(Label8->fontMetrics().elidedText(text, Qt::ElideMiddle, Label8->width()));
}

void TForm1::SetStatus(const QString& text, const QString& path) {
  const QFontMetrics metrics = Label8->fontMetrics();
  const int room = Label8->width() - metrics.horizontalAdvance(text.arg(QString())) - 2;
  if (room < metrics.horizontalAdvance(QStringLiteral("\u2026/\u2026"))) {
    SetStatus(text.arg(path));
    return;
  }
  Label8->setToolTip(text.arg(path));
  Label8->setText(text.arg(metrics.elidedText(path, Qt::ElideMiddle, room)));
}

void TForm1::ShowDocument() {
  const vx::TvxPDFViewerPreferences& preferences = PDFDoc.ViewerPreferences();
  CheckBox1->setChecked(preferences.CenterWindow());
  CheckBox2->setChecked(preferences.DisplayDocTitle());
  CheckBox3->setChecked(preferences.FitWindow());
  CheckBox4->setChecked(preferences.HideMenubar());
  CheckBox5->setChecked(preferences.HideToolbar());
  CheckBox6->setChecked(preferences.HideWindowUI());

  // A mode the group has no item for (attachments, or one the library does
  // not name) shows no selection, and the document keeps it unless the user
  // picks an item.
  RadioGroup1->SetItemIndex(-1);
  if (PDFDoc.Catalog().ForeignPageMode.empty())
    for (const TModeItem& item : kModeItems)
      if (item.Mode == PDFDoc.PageMode()) RadioGroup1->SetItemIndex(RadioGroup1->Items().indexOf(Text(item.Text)));

  RadioGroup3->SetItemIndex(int(PDFDoc.PDFVersion()));

  const vx::TvxPDFInfo& info = PDFDoc.Info();
  Edit2->setText(FromWide(info.Title()));
  Edit3->setText(FromWide(info.Subject()));
  Edit4->setText(FromWide(info.Keywords()));
  Edit5->setText(FromWide(info.Author()));

  RadioGroup2->SetItemIndex(-1);
  if (PDFDoc.Catalog().ForeignPageLayout.empty())
    for (int i = 0; i < int(std::size(kLayoutOfItem)); ++i)
      if (kLayoutOfItem[i] == PDFDoc.PageLayout()) RadioGroup2->SetItemIndex(i);
}

void TForm1::ShowCompression() {
  const vx::TvxCompression& compression = PDFDoc.Compression();
  if (!compression.Active) return;
  RadioGroup4->SetItemIndex(compression.Encoding);
  RadioGroup5->SetItemIndex(int(std::find(std::begin(kLevelOfItem), std::end(kLevelOfItem), compression.Level) -
                                std::begin(kLevelOfItem)));
}

// ----------------------------------------------------------------- changes

QString TForm1::ControlsState() const {
  QStringList state;
  for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, CheckBox6})
    state << QString::number(box->isChecked());
  for (TRadioGroup* group : {RadioGroup1, RadioGroup2, RadioGroup3, RadioGroup4, RadioGroup5})
    state << QString::number(group->ItemIndex());
  for (QLineEdit* edit : {Edit2, Edit3, Edit4, Edit5}) state << edit->text();
  return state.join(QChar(0));
}

void TForm1::MarkUnchanged() {
  unchangedState_ = ControlsState();
  settingsApplied_ = false;
}

bool TForm1::ChangesMayBeDiscarded() {
  if (!loaded_ || (!settingsApplied_ && ControlsState() == unchangedState_)) return true;
  return Ask(QMessageBox::Question, Text(texts::DiscardQuestion).arg(QFileInfo(loadedName_).fileName()),
             Text(texts::DiscardButton));
}

// ------------------------------------------------------------------- saving

void TForm1::ApplyControls() {
  vx::TvxPDFViewerPreferences& preferences = PDFDoc.ViewerPreferences();
  preferences.SetCenterWindow(CheckBox1->isChecked());
  preferences.SetDisplayDocTitle(CheckBox2->isChecked());
  preferences.SetFitWindow(CheckBox3->isChecked());
  preferences.SetHideMenubar(CheckBox4->isChecked());
  preferences.SetHideToolbar(CheckBox5->isChecked());
  preferences.SetHideWindowUI(CheckBox6->isChecked());

  // No selection keeps what the document has; "None" picked for a mode the
  // library does not name replaces it.
  const int mode = RadioGroup1->ItemIndex();
  for (const TModeItem& item : kModeItems)
    if (RadioGroup1->Items().indexOf(Text(item.Text)) == mode) {
      PDFDoc.SetPageMode(item.Mode);
      PDFDoc.Catalog().ForeignPageMode.clear();
    }

  const int version = RadioGroup3->ItemIndex();
  if (version >= 0 && version <= int(vx::pvPDF20)) PDFDoc.SetPDFVersion(vx::TvxPDFVersion(version));

  vx::TvxPDFInfo& info = PDFDoc.Info();
  info.SetTitle(ToWide(Edit2->text()));
  info.SetSubject(ToWide(Edit3->text()));
  info.SetKeywords(ToWide(Edit4->text()));
  info.SetAuthor(ToWide(Edit5->text()));

  const int layout = RadioGroup2->ItemIndex();
  if (layout >= 0 && layout < int(std::size(kLayoutOfItem))) {
    PDFDoc.SetPageLayout(kLayoutOfItem[layout]);
    PDFDoc.Catalog().ForeignPageLayout.clear();
  }
}

void TForm1::ApplyCompression() {
  if (PDFDoc.SaveKind() == vx::TvxSaveKind::Incremental) return;
  // An unselected group leaves its field 0: Flate, level none.
  vx::TvxCompression compression;
  if (RadioGroup4->ItemIndex() == kRunLengthItem) compression.Encoding = 1;
  const int level = RadioGroup5->ItemIndex();
  if (level >= 0) compression.Level = kLevelOfItem[level];
  PDFDoc.SetCompression(compression.Encoding, compression.Level);
}

bool TForm1::CheckSource() {
  if (loaded_ && QFileInfo(loadedName_).isFile()) return true;
  const QString name = loaded_ ? loadedName_ : Edit1->text();
  if (name.isEmpty()) ShowMessage(Text(vx::res::SNoSourceFile));
  else if (QFileInfo(name).isDir()) ShowMessage(Text(texts::FolderNotFile).arg(NativePath(name)));
  else if (!QFileInfo(SourceName(name)).isFile()) ShowMessage(Text(vx::res::SSourceNotFound));
  else ShowMessage(Text(texts::NothingLoaded));
  return false;
}

void TForm1::SaveFlow() {
  if (!CheckSource()) return;
  ApplyControls();
  ApplyCompression();
  const QString chosen = ChooseTargetFile();
  if (chosen.isEmpty()) return;
  // The save dialog asked about the name chosen; with ".pdf" added it may
  // name another file, which must not be replaced unasked.
  const QString target = SavedName(chosen);
  if (target != chosen && QFileInfo::exists(target) &&
      !Ask(QMessageBox::Warning, Text(texts::ReplaceQuestion).arg(NativePath(target)), Text(texts::ReplaceButton))) {
    SetStatus(Text(texts::StatusNotReplaced), NativePath(target));
    return;
  }
  SaveTo(target);
}

void TForm1::SaveTo(const QString& target) {
  const bool existed = QFileInfo::exists(target);
  try {
    TBusyScope busy(busy_);
    TWorkIndicator indicator(this, PDFDoc, Text(texts::Saving).arg(QFileInfo(target).fileName()), ProgressDelayMs,
                             true);
    if (!PDFDoc.SaveToFile(NativeName(target), 2)) return;
  } catch (const vx::ESaveCancelled& e) {
    // The user asked for it: no error box, the status line says what happened.
    SetStatus(existed ? QString::fromUtf8(e.what()) : Text(texts::StatusSaveCancelledNew));
    return;
  } catch (const vx::EIncrementalSaveRefused& e) {
    // Only a full rewrite can make this change; it is the user's choice,
    // since it invalidates the signatures.
    SetStatus(Text(texts::StatusNotSaved).arg(QString::fromUtf8(e.what())));
    if (!Ask(QMessageBox::Warning, QString::fromUtf8(e.what()), Text(texts::FullRewriteButton))) return;
    UseSaveKind(vx::TvxSaveKind::Rewrite);
    ApplyCompression();
    SaveTo(target);
    return;
  } catch (const std::exception& e) {
    SetStatus(Text(texts::StatusNotSaved).arg(QString::fromUtf8(e.what())));
    throw;
  }
  const bool update = PDFDoc.SaveKind() == vx::TvxSaveKind::Incremental;
  const QString size = QLocale::system().formattedDataSize(QFileInfo(target).size());
  SetStatus(Text(update ? texts::StatusSavedIncrementally : texts::StatusSaved).arg(QStringLiteral("%1"), size),
            NativePath(target));
  MarkUnchanged();
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
  // Starts beside the loaded file, under its name (not a name typed since).
  const QFileInfo source(loadedName_);
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
  // Not while the document is being written, nor with changes the user keeps.
  if (busy_ || !ChangesMayBeDiscarded()) event->ignore();
  else QWidget::closeEvent(event);
}

namespace {

// The one local file a drag carries, or an empty name.
QString DraggedFile(const QMimeData* data) {
  const QList<QUrl> urls = data->urls();
  return urls.size() == 1 && urls.first().isLocalFile() ? urls.first().toLocalFile() : QString();
}

}  // namespace

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  // Taken as a copy: a source that honours a move would delete the file.
  if (busy_ || DraggedFile(event->mimeData()).isEmpty() || !(event->possibleActions() & Qt::CopyAction)) return;
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void TForm1::dropEvent(QDropEvent* event) {
  const QString fileName = DraggedFile(event->mimeData());
  if (busy_ || fileName.isEmpty() || !(event->possibleActions() & Qt::CopyAction)) return;
  event->setDropAction(Qt::CopyAction);
  event->accept();
  // Loaded once the drop is over: the source's drag must not wait for the
  // load or its message boxes.
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

void TForm1::keyPressEvent(QKeyEvent* event) {
  // Enter presses the focused button, as Space does (outside a dialog a
  // push button leaves Enter to its window).
  auto* button = qobject_cast<QPushButton*>(focusWidget());
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (button && enter && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
    button->click();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TForm1::moveEvent(QMoveEvent* event) {
  // A window manager frames the window once it is shown: fitted again to the
  // frame it really got.
  if (windowHandle() && !windowHandle()->frameMargins().isNull() && windowHandle()->frameMargins() != fittedFrame_)
    FitToScreen();
  QWidget::moveEvent(event);
}

void TForm1::showEvent(QShowEvent* event) {
  if (!centred_) {
    centred_ = true;
    connect(windowHandle(), &QWindow::screenChanged, this, &TForm1::FitToScreen);
    FitToScreen();
    if (QScreen* screen = this->screen()) {
      QRect frame = frameGeometry();
      frame.moveCenter(screen->availableGeometry().center());
      move(frame.topLeft());
    }
  }
  QWidget::showEvent(event);
}
