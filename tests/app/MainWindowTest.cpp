// The main window driven through its controls: layout, loading, saving,
// the messages of the save flow, failures, progress, help and links.
#include <QButtonGroup>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFile>
#include <QGroupBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <memory>

#include "AppTestSupport.h"
#include "app/RadioGroup.h"
#include "app/VordelPDFUnit.h"
#include "pdf/dialogs/vxPDFSettingsDlg.h"
#include "pdf/security/vxPDFCrypt.h"
#include "support/PdfBuilder.h"

using apptest::TMessageBoxWatcher;

namespace {

// A PDF text string of `text` as hexadecimal UTF-16BE with its byte order mark.
std::string TextStringHex(const QString& text) {
  std::string hex = "<FEFF";
  for (char16_t unit : text.toStdU16String()) {
    char buffer[5];
    std::snprintf(buffer, sizeof buffer, "%04X", unsigned(unit));
    hex += buffer;
  }
  return hex + ">";
}

struct TFormUnderTest {
  std::unique_ptr<TForm1> Form;
  QString Source;      // what the open dialog answers
  QString Target;      // what the save dialog answers
  int SourceAsked = 0;
  int TargetAsked = 0;
};

std::unique_ptr<TFormUnderTest> NewForm(int year = 2013) {
  auto under = std::make_unique<TFormUnderTest>();
  under->Form = std::make_unique<TForm1>(year);
  TFormUnderTest* u = under.get();
  u->Form->ChooseSourceFile = [u] {
    ++u->SourceAsked;
    return u->Source;
  };
  u->Form->ChooseTargetFile = [u] {
    ++u->TargetAsked;
    return u->Target;
  };
  u->Form->show();
  return under;
}

void Load(TFormUnderTest& under, const std::string& path) {
  under.Source = QString::fromStdString(path);
  under.Form->Button1->click();
}

int IndexOf(TRadioGroup* group, const char* item) { return int(group->Items().indexOf(QString::fromUtf8(item))); }

// The /Filter of the first page's content stream, as qpdf reads it.
QString FirstContentFilter(const apptest::TQpdfView& view) {
  const QJsonObject pages = view.Object(view.Catalog.value("/Pages").toString());
  const QJsonObject page = view.Object(pages.value("/Kids").toArray().first().toString());
  const QJsonObject contents =
      view.Objects.value("obj:" + page.value("/Contents").toString()).toObject().value("stream").toObject();
  return contents.value("dict").toObject().value("/Filter").toString();
}

bool FileExists(const QString& path) { return std::filesystem::exists(path.toStdString()); }

}  // namespace

class TMainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void columnsTabOrderAndLink();
  void captionsFitTheirControls();
  void startsEmptyWithNothingSelected();
  void cannotBeResizedOrMaximised();
  void rightsNoticeEndsWithTheCurrentYear_data();
  void rightsNoticeEndsWithTheCurrentYear();
  void loadShowsTheDocumentsSettings();
  void pageModeWithoutAnItemShowsNoSelection();
  void loadShowsPacketValuesWhereInfoHasNone();
  void vordelWritesEveryChange();
  void untouchedGroupsKeepTheDocumentAndSaveFlate();
  void modeAndLayoutTheWindowDoesNotListAreKeptUntilChanged();
  void vordelChecksTheSourceFirst();
  void failuresShowTheLibraryMessageAndTheWindowGoesOn();
  void longWorkShowsProgressAndBlocksReentry();
  void helpWebPageAndExit();
  void signedDocumentIsSavedAsAnUpdate();
  void saveAsksAboutTheFileItReallyWrites_data();
  void saveAsksAboutTheFileItReallyWrites();
  void settingsButtonEditsTheLoadedDocument_data();
  void settingsButtonEditsTheLoadedDocument();
  void keyboardReachesEveryButton_data();
  void keyboardReachesEveryButton();
  void fitsASmallScreenAtScaleTwo();
};

void TMainWindowTest::columnsTabOrderAndLink() {
  auto under = NewForm();
  TForm1& f = *under->Form;
  QCOMPARE(f.windowTitle(), QString("Vordel PDF 2.01"));
  // Two columns filled column by column: "Full Screen" below "None".
  QCOMPARE(f.RadioGroup1->Button(1)->x(), f.RadioGroup1->Button(0)->x());
  QVERIFY(f.RadioGroup1->Button(2)->x() > f.RadioGroup1->Button(0)->x());
  QCOMPARE(f.Label7->cursor().shape(), Qt::PointingHandCursor);
  QVERIFY(f.Label7->font().pixelSize() > f.Label6->font().pixelSize());

  // Tab order: the order of the controls in the table.
  QList<QWidget*> expected{f.Edit1, f.Button1, f.CheckBox1, f.CheckBox2, f.CheckBox3, f.CheckBox4, f.CheckBox5,
                           f.CheckBox6};
  for (TRadioGroup* g : {f.RadioGroup1, f.RadioGroup2, f.RadioGroup3}) expected << g->Button(0);
  expected << f.Edit2 << f.Edit3 << f.Edit4 << f.Edit5 << f.RadioGroup4->Button(0) << f.RadioGroup5->Button(0)
           << f.Button5 << f.Button2 << f.Button3 << f.Button4;
  QList<QWidget*> chain;
  QWidget* w = f.Edit1;
  do {
    if (expected.contains(w)) chain << w;
    w = w->nextInFocusChain();
  } while (w != f.Edit1 && chain.size() < expected.size());
  QCOMPARE(chain, expected);

  // Tab enters a radio group at its selected item and leaves it from there.
  f.RadioGroup1->Button(3)->click();
  f.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&f));
  f.CheckBox6->setFocus();
  QTest::keyClick(f.CheckBox6, Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), f.RadioGroup1->Button(3));
  QTest::keyClick(f.RadioGroup1->Button(3), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), f.RadioGroup2->Button(0));
}

void TMainWindowTest::captionsFitTheirControls() {
  // Whatever sans face the machine has, no caption may be cut off.
  auto under = NewForm(2099);
  TForm1& f = *under->Form;
  for (QAbstractButton* button : f.findChildren<QAbstractButton*>()) {
    // A push button's size hint has a minimum width of its own; its text and
    // margins are what must fit.
    const int margins = qobject_cast<QPushButton*>(button)
                            ? 2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button)
                            : button->sizeHint().width() - button->fontMetrics().horizontalAdvance(button->text());
    QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) + margins <= button->width(),
             qPrintable(button->text()));
    QVERIFY2(button->fontMetrics().height() <= button->height(), qPrintable(button->text()));
  }
  for (QLabel* label : f.findChildren<QLabel*>())
    QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
  QVERIFY(f.Label1->geometry().right() < f.Edit1->x());
  QVERIFY(f.Label6->geometry().right() < f.Label7->x());
  // Every control lies inside its parent.
  for (QWidget* child : f.Client->findChildren<QWidget*>()) {
    if (!child->isWindow() && child->parentWidget() && !child->inherits("QLineEditIconButton"))
      QVERIFY2(child->parentWidget()->rect().contains(child->geometry()), qPrintable(child->objectName()));
  }
}

void TMainWindowTest::startsEmptyWithNothingSelected() {
  auto under = NewForm();
  TForm1& f = *under->Form;
  for (TRadioGroup* g : {f.RadioGroup1, f.RadioGroup2, f.RadioGroup3, f.RadioGroup4, f.RadioGroup5}) {
    QCOMPARE(g->ItemIndex(), -1);
    for (int i = 0; i < g->Items().size(); ++i) QVERIFY(!g->Button(i)->isChecked());
  }
  // "Nothing selected" can be restored after a selection.
  f.RadioGroup2->Button(3)->click();
  QCOMPARE(f.RadioGroup2->ItemIndex(), 3);
  f.RadioGroup2->SetItemIndex(-1);
  QCOMPARE(f.RadioGroup2->ItemIndex(), -1);
  for (QCheckBox* c : {f.CheckBox1, f.CheckBox2, f.CheckBox3, f.CheckBox4, f.CheckBox5, f.CheckBox6})
    QVERIFY(!c->isChecked());
  for (QLineEdit* e : {f.Edit1, f.Edit2, f.Edit3, f.Edit4, f.Edit5}) QVERIFY(e->text().isEmpty());

  // The document's settings at creation.
  QVERIFY(!f.PDFDoc.ShowSetupDialog());
  QVERIFY(!f.PDFDoc.OpenAfterSave());
  QVERIFY(!f.PDFDoc.EMailAfterSave());
  QVERIFY(!f.PDFDoc.Encryption().Enabled());
  QCOMPARE(f.PDFDoc.Encryption().Level(), vx::el40bit);
  QCOMPARE(f.PDFDoc.PDFVersion(), vx::pvPDF14);
  QVERIFY(f.PDFDoc.MergeOptions().Contains(vx::moIncludeOutlines));
  QVERIFY(f.PDFDoc.MergeOptions().Contains(vx::moIncludeFormFields));
}

void TMainWindowTest::cannotBeResizedOrMaximised() {
  auto under = NewForm();
  TForm1& f = *under->Form;
  const QSize size(545, 599);  // the status line under the buttons included
  QCOMPARE(f.size(), size);
  // Scroll bars only where the screen is too small: none here.
  QTRY_VERIFY(!f.ScrollArea->verticalScrollBar()->isVisible() && !f.ScrollArea->horizontalScrollBar()->isVisible());
  QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
  f.resize(800, 700);
  QCOMPARE(f.size(), size);
  f.setGeometry(10, 10, 300, 200);
  QCOMPARE(f.size(), size);
  f.showMaximized();
  QTest::qWait(50);
  QCOMPARE(f.size(), size);
  QVERIFY(!(f.windowState() & Qt::WindowMaximized));
  f.showFullScreen();
  QTest::qWait(50);
  QCOMPARE(f.size(), size);
}

void TMainWindowTest::rightsNoticeEndsWithTheCurrentYear_data() {
  QTest::addColumn<int>("year");
  QTest::addColumn<QString>("notice");
  QTest::newRow("earlier") << 2012 << "Copyright (c) 2009-2013 Vordel Software";
  QTest::newRow("same") << 2013 << "Copyright (c) 2009-2013 Vordel Software";
  QTest::newRow("later") << 2031 << "Copyright (c) 2009-2031 Vordel Software";
}

void TMainWindowTest::rightsNoticeEndsWithTheCurrentYear() {
  QFETCH(int, year);
  QFETCH(QString, notice);
  auto under = NewForm(year);
  QCOMPARE(under->Form->Label6->text(), notice);
}

void TMainWindowTest::loadShowsTheDocumentsSettings() {
  const QString title = QString::fromUtf8("Ωmega – 日本 report");
  vxtest::TempFile source;
  source.Write(apptest::WithHeaderVersion(
      vxtest::SimplePdf(2,
                        "/PageMode /UseThumbs /PageLayout /SinglePage "
                        "/ViewerPreferences << /CenterWindow true /HideMenubar true /HideWindowUI true >>",
                        "/Title " + TextStringHex(title) + " /Subject (Quarterly figures) /Keywords (alpha, beta) "
                        "/Author (Jane Doe)"),
      "1.6"));
  auto under = NewForm();
  TForm1& f = *under->Form;
  Load(*under, source.Path());

  QCOMPARE(f.Edit1->text(), QString::fromStdString(source.Path()));
  QVERIFY(f.CheckBox1->isChecked());   // Center Window
  QVERIFY(!f.CheckBox2->isChecked());  // Display Document Title
  QVERIFY(!f.CheckBox3->isChecked());  // Fit Window
  QVERIFY(f.CheckBox4->isChecked());   // Hide Menubar
  QVERIFY(!f.CheckBox5->isChecked());  // Hide Toolbar
  QVERIFY(f.CheckBox6->isChecked());   // Hide Window UI
  QCOMPARE(f.RadioGroup1->ItemIndex(), IndexOf(f.RadioGroup1, "Thumbnails"));
  QCOMPARE(f.RadioGroup2->ItemIndex(), IndexOf(f.RadioGroup2, "Single Page"));
  QCOMPARE(f.RadioGroup3->ItemIndex(), IndexOf(f.RadioGroup3, "1.6"));
  QCOMPARE(f.Edit2->text(), title);  // nothing lost on the way in
  QCOMPARE(f.Edit3->text(), QString("Quarterly figures"));
  QCOMPARE(f.Edit4->text(), QString("alpha, beta"));
  QCOMPARE(f.Edit5->text(), QString("Jane Doe"));
  // Loading leaves the compression groups alone.
  QCOMPARE(f.RadioGroup4->ItemIndex(), -1);
  QCOMPARE(f.RadioGroup5->ItemIndex(), -1);

  // A second document replaces every value, clearing flags it does not have.
  vxtest::TempFile second;
  second.Write(vxtest::SimplePdf(1, "/PageMode /FullScreen /PageLayout /TwoColumnLeft", "/Title (Second)"));
  Load(*under, second.Path());
  for (QCheckBox* c : {f.CheckBox1, f.CheckBox2, f.CheckBox3, f.CheckBox4, f.CheckBox5, f.CheckBox6})
    QVERIFY(!c->isChecked());
  QCOMPARE(f.RadioGroup1->ItemIndex(), IndexOf(f.RadioGroup1, "Full Screen"));
  QCOMPARE(f.RadioGroup2->ItemIndex(), IndexOf(f.RadioGroup2, "Two Column Left"));
  QCOMPARE(f.RadioGroup3->ItemIndex(), IndexOf(f.RadioGroup3, "1.4"));
  QCOMPARE(f.Edit2->text(), QString("Second"));
  QVERIFY(f.Edit5->text().isEmpty());
}

void TMainWindowTest::loadShowsPacketValuesWhereInfoHasNone() {
  vxtest::TempFile source;
  source.Write(vxtest::PdfWithXmpPacket(vxtest::SampleXmpPacket("Packet title"), "/Subject (From Info)"));
  auto under = NewForm();
  TForm1& f = *under->Form;
  Load(*under, source.Path());
  QCOMPARE(f.Edit2->text(), QString("Packet title"));
  QCOMPARE(f.Edit3->text(), QString("From Info"));
  QCOMPARE(f.Edit5->text(), QString("Ann; Bob"));
}

void TMainWindowTest::pageModeWithoutAnItemShowsNoSelection() {
  vxtest::TempFile outlines, attachments, target;
  outlines.Write(vxtest::SimplePdf(1, "/PageMode /UseOutlines"));
  attachments.Write(vxtest::SimplePdf(1, "/PageMode /UseAttachments"));

  auto fresh = NewForm();
  Load(*fresh, attachments.Path());
  QCOMPARE(fresh->Form->RadioGroup1->ItemIndex(), -1);

  auto under = NewForm();
  Load(*under, outlines.Path());
  QCOMPARE(under->Form->RadioGroup1->ItemIndex(), IndexOf(under->Form->RadioGroup1, "Outlines"));
  Load(*under, attachments.Path());
  QCOMPARE(under->Form->RadioGroup1->ItemIndex(), -1);
  // Nothing touched: the document's own mode is written.
  under->Target = QString::fromStdString(target.Path());
  under->Form->Button2->click();
  QString error;
  QCOMPARE(apptest::ReadWithQpdf(target.Path(), error).Catalog.value("/PageMode").toString(), QString("/UseAttachments"));
}

void TMainWindowTest::vordelWritesEveryChange() {
  vxtest::TempFile source, target;
  source.Write(vxtest::SimplePdf(2, "/PageMode /UseOutlines /PageLayout /SinglePage "
                                    "/ViewerPreferences << /CenterWindow true >>",
                                 "/Title (Old title) /Author (Old author)"));
  auto under = NewForm();
  TForm1& f = *under->Form;
  Load(*under, source.Path());

  const QString title = QString::fromUtf8("Zürich – Ωμέγα 日本");
  f.CheckBox1->click();  // Center Window off
  f.CheckBox2->click();  // Display Document Title on
  f.CheckBox3->click();  // Fit Window on
  f.CheckBox5->click();  // Hide Toolbar on
  f.RadioGroup1->Button(IndexOf(f.RadioGroup1, "Full Screen"))->click();
  f.RadioGroup2->Button(IndexOf(f.RadioGroup2, "One Column"))->click();
  f.RadioGroup3->Button(IndexOf(f.RadioGroup3, "1.7"))->click();
  f.RadioGroup4->Button(IndexOf(f.RadioGroup4, "RunLength"))->click();
  f.RadioGroup5->Button(IndexOf(f.RadioGroup5, "Maximum"))->click();
  f.Edit2->setText(title);
  f.Edit3->setText("New subject");
  f.Edit4->setText("one, two");
  f.Edit5->setText("New author");

  // A cancelled save dialog writes nothing.
  std::filesystem::remove(target.Path());
  under->Target.clear();
  f.Button2->click();
  QCOMPARE(under->TargetAsked, 1);
  QVERIFY(!std::filesystem::exists(target.Path()));

  under->Target = QString::fromStdString(target.Path());
  f.Button2->click();
  QVERIFY(std::filesystem::exists(target.Path()));

  // The library reads back every change...
  vx::TvxPDFDocument saved;
  QVERIFY(saved.LoadFromFile(target.Path()));
  QCOMPARE(saved.PageMode(), vx::pmFullScreen);
  QCOMPARE(saved.PageLayout(), vx::plOneColumn);
  QCOMPARE(saved.PDFVersion(), vx::pvPDF17);
  const vx::TvxPDFViewerPreferences& p = saved.ViewerPreferences();
  QVERIFY(!p.CenterWindow() && p.DisplayDocTitle() && p.FitWindow() && !p.HideMenubar() && p.HideToolbar() &&
          !p.HideWindowUI());
  QCOMPARE(QString::fromStdU16String(saved.Info().Title()), title);
  QCOMPARE(QString::fromStdU16String(saved.Info().Subject()), QString("New subject"));
  QCOMPARE(QString::fromStdU16String(saved.Info().Keywords()), QString("one, two"));
  QCOMPARE(QString::fromStdU16String(saved.Info().Author()), QString("New author"));
  QCOMPARE(saved.PageCount(), 2);

  // ...and so does software nobody here wrote.
  QString error;
  const apptest::TQpdfView view = apptest::ReadWithQpdf(target.Path(), error);
  QVERIFY2(error.isEmpty(), qPrintable(error));
  QCOMPARE(view.Version, QString("1.7"));
  QCOMPARE(view.Catalog.value("/PageMode").toString(), QString("/FullScreen"));
  QCOMPARE(view.Catalog.value("/PageLayout").toString(), QString("/OneColumn"));
  const QJsonObject preferences = view.Catalog.value("/ViewerPreferences").toObject();
  QCOMPARE(QStringList(preferences.keys()), QStringList({"/DisplayDocTitle", "/FitWindow", "/HideToolbar"}));
  for (const QJsonValue& v : preferences) QCOMPARE(v.toBool(), true);
  QCOMPARE(view.Info.value("/Title").toString(), "u:" + title);
  QCOMPARE(view.Info.value("/Subject").toString(), QString("u:New subject"));
  QCOMPARE(view.Info.value("/Keywords").toString(), QString("u:one, two"));
  QCOMPARE(view.Info.value("/Author").toString(), QString("u:New author"));
  QCOMPARE(FirstContentFilter(view), QString("/RunLengthDecode"));
  QCOMPARE(apptest::Run("qpdf", {"--check", QString::fromStdString(target.Path())}), 0);
}

void TMainWindowTest::untouchedGroupsKeepTheDocumentAndSaveFlate() {
  vxtest::TempFile source, target;
  source.Write(vxtest::SimplePdf(1, "/PageMode /UseAttachments /PageLayout /TwoColumnRight"));
  auto under = NewForm();
  TForm1& f = *under->Form;
  Load(*under, source.Path());
  under->Target = QString::fromStdString(target.Path());
  f.Button2->click();

  QString error;
  const apptest::TQpdfView view = apptest::ReadWithQpdf(target.Path(), error);
  QVERIFY2(error.isEmpty(), qPrintable(error));
  QCOMPARE(view.Catalog.value("/PageMode").toString(), QString("/UseAttachments"));
  QCOMPARE(view.Catalog.value("/PageLayout").toString(), QString("/TwoColumnRight"));
  QCOMPARE(FirstContentFilter(view), QString("/FlateDecode"));
  QCOMPARE(f.PDFDoc.Compression().Encoding, uint8_t(0));
  QCOMPARE(f.PDFDoc.Compression().Level, uint8_t(0));
}

void TMainWindowTest::modeAndLayoutTheWindowDoesNotListAreKeptUntilChanged() {
  vxtest::TempFile source, target;
  source.Write(vxtest::SimplePdf(1, "/PageMode /UseOC /PageLayout /TwoPageRight /Lang (de-CH)"));
  auto under = NewForm();
  TForm1& f = *under->Form;
  Load(*under, source.Path());
  QCOMPARE(f.RadioGroup1->ItemIndex(), -1);
  QCOMPARE(f.RadioGroup2->ItemIndex(), -1);
  under->Target = QString::fromStdString(target.Path());
  f.Button2->click();

  QString error;
  apptest::TQpdfView view = apptest::ReadWithQpdf(target.Path(), error);
  QVERIFY2(error.isEmpty(), qPrintable(error));
  QCOMPARE(view.Catalog.value("/PageMode").toString(), QString("/UseOC"));
  QCOMPARE(view.Catalog.value("/PageLayout").toString(), QString("/TwoPageRight"));
  QCOMPARE(view.Catalog.value("/Lang").toString(), QString("u:de-CH"));

  // A choice in the window wins.
  f.RadioGroup1->Button(IndexOf(f.RadioGroup1, "Thumbnails"))->click();
  f.RadioGroup2->Button(IndexOf(f.RadioGroup2, "One Column"))->click();
  f.Button2->click();
  view = apptest::ReadWithQpdf(target.Path(), error);
  QVERIFY2(error.isEmpty(), qPrintable(error));
  QCOMPARE(view.Catalog.value("/PageMode").toString(), QString("/UseThumbs"));
  QCOMPARE(view.Catalog.value("/PageLayout").toString(), QString("/OneColumn"));
}

void TMainWindowTest::vordelChecksTheSourceFirst() {
  vxtest::TempFile target;
  std::filesystem::remove(target.Path());
  auto under = NewForm();
  TForm1& f = *under->Form;
  under->Target = QString::fromStdString(target.Path());
  {
    TMessageBoxWatcher watcher;
    f.Button2->click();
    QCOMPARE(watcher.Seen().size(), 1);
    QCOMPARE(watcher.Seen()[0].Text, QString("No source file specified!"));
    QCOMPARE(watcher.Seen()[0].Icon, QMessageBox::NoIcon);
  }
  {
    TMessageBoxWatcher watcher;
    f.Edit1->setText(QString::fromStdString(target.Path()) + ".missing.pdf");
    f.Button2->click();
    const QString folder = QString::fromStdString(std::filesystem::temp_directory_path().string());
    f.Edit1->setText(folder);
    f.Button2->click();
    QTest::keyClick(f.Edit1, Qt::Key_Return);  // loading it says the same
    QCOMPARE(watcher.Seen().size(), 3);
    QCOMPARE(watcher.Seen()[0].Text, QString("Source file cannot be found!"));
    QCOMPARE(watcher.Seen()[1].Text, QString("\"%1\" is a folder, not a PDF file.").arg(QDir(folder).absolutePath()));
    QCOMPARE(watcher.Seen()[2].Text, watcher.Seen()[1].Text);
  }
  QCOMPARE(under->TargetAsked, 0);
  QVERIFY(!std::filesystem::exists(target.Path()));
}

void TMainWindowTest::failuresShowTheLibraryMessageAndTheWindowGoesOn() {
  vxtest::TempFile good, bad, target;
  good.Write(vxtest::SimplePdf(1, "/PageLayout /OneColumn", "/Title (Good)"));
  bad.Write("%PDF-1.4\nthis is no PDF at all\n");
  std::string expected;
  try {
    vx::TvxPDFDocument probe;
    probe.LoadFromFile(bad.Path());
  } catch (const std::exception& e) {
    expected = e.what();
  }
  QVERIFY(!expected.empty());

  auto under = NewForm();
  TForm1& f = *under->Form;
  Load(*under, good.Path());
  {
    TMessageBoxWatcher watcher;
    Load(*under, bad.Path());
    QCOMPARE(watcher.Seen().size(), 1);
    QCOMPARE(watcher.Seen()[0].Icon, QMessageBox::Critical);
    QCOMPARE(watcher.Seen()[0].Text, QString::fromStdString(expected));
  }
  // The name is the new one; nothing of the old document is left on show.
  QCOMPARE(f.Edit1->text(), QString::fromStdString(bad.Path()));
  QVERIFY(f.Edit2->text().isEmpty());
  QCOMPARE(f.RadioGroup2->ItemIndex(), -1);
  QVERIFY(f.isEnabled() && f.Button1->isEnabled());

  // A save that cannot write shows the library's message as well.
  {
    TMessageBoxWatcher watcher;
    Load(*under, good.Path());
    under->Target = QString::fromStdString(target.Path()) + ".no-such-folder/out.pdf";
    f.Button2->click();
    QCOMPARE(watcher.Seen().size(), 1);
    QCOMPARE(watcher.Seen()[0].Icon, QMessageBox::Critical);
    QVERIFY2(watcher.Seen()[0].Text.contains("no-such-folder"), qPrintable(watcher.Seen()[0].Text));
    QCOMPARE(f.Label8->toolTip(), "Not saved: " + watcher.Seen()[0].Text);
  }
  // And the window still works.
  under->Target = QString::fromStdString(target.Path());
  f.Button2->click();
  vx::TvxPDFDocument saved;
  QVERIFY(saved.LoadFromFile(target.Path()));
  QCOMPARE(saved.PageLayout(), vx::plOneColumn);
}

void TMainWindowTest::longWorkShowsProgressAndBlocksReentry() {
  vxtest::TempFile source, target;
  source.Write(vxtest::SimplePdf(40));
  auto under = NewForm();
  TForm1& f = *under->Form;
  f.ProgressDelayMs = 0;  // every piece of work counts as long

  int statuses = 0, withProgress = 0, withBusyCursor = 0;
  f.PDFDoc.OnStatusMessage = [&](vx::TvxCustomPDFDocument&, const std::string&) {
    ++statuses;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (qobject_cast<QProgressDialog*>(w) && w->isVisible()) ++withProgress;
    if (QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor)
      ++withBusyCursor;
    // The window's handlers do not run again meanwhile.
    f.Button1Click();
    f.Button2Click();
  };
  Load(*under, source.Path());
  under->Target = QString::fromStdString(target.Path());
  f.Button2->click();

  QVERIFY(statuses > 0);
  QVERIFY(withProgress > 0);
  QCOMPARE(withBusyCursor, statuses);
  QCOMPARE(under->SourceAsked, 1);
  QCOMPARE(under->TargetAsked, 1);
  QCOMPARE(QApplication::overrideCursor(), nullptr);
  for (QWidget* w : QApplication::topLevelWidgets()) QVERIFY(!qobject_cast<QProgressDialog*>(w));
  QVERIFY(std::filesystem::exists(target.Path()));
}

void TMainWindowTest::helpWebPageAndExit() {
  apptest::TUrlRecorder recorder;
  QDesktopServices::setUrlHandler("https", &recorder, "Open");
  QDesktopServices::setUrlHandler("file", &recorder, "Open");
  auto under = NewForm();
  TForm1& f = *under->Form;

  QTest::mouseClick(f.Label7, Qt::LeftButton);
  f.Button3->click();
  QDesktopServices::unsetUrlHandler("https");
  QDesktopServices::unsetUrlHandler("file");

  QCOMPARE(recorder.Opened.size(), 2);
  QCOMPARE(recorder.Opened[0].scheme(), QString("https"));
  QVERIFY(recorder.Opened[0].host().contains("vordel"));
  const QString help = recorder.Opened[1].toLocalFile();
  QVERIFY2(help.endsWith("/help.html") && FileExists(help), qPrintable(help));

  // The page explains every control by its caption.
  QFile page(help);
  QVERIFY(page.open(QIODevice::ReadOnly));
  const QString html = QString::fromUtf8(page.readAll());
  QStringList captions;
  for (QGroupBox* g : f.findChildren<QGroupBox*>()) captions << g->title();
  for (QAbstractButton* b : f.findChildren<QAbstractButton*>()) captions << b->text().remove('&');
  for (QLabel* l : {f.Label1, f.Label2, f.Label3, f.Label4, f.Label5}) captions << l->text().trimmed();
  for (const QString& caption : captions) QVERIFY2(html.contains(caption), qPrintable(caption));

  f.Button4->click();
  QVERIFY(!f.isVisible());
}

// A signed document: the compression groups are off, the save appends an
// update that pdfsig still finds valid, and the status line says so.
void TMainWindowTest::signedDocumentIsSavedAsAnUpdate() {
  vxtest::TempFile source, target;
  const std::string script = std::string(VX_SOURCE_DIR) + "/tests/support/make_signed_pdf.py";
  std::string out;
  QCOMPARE(vxtest::RunCommand("/usr/bin/python3 " + vxtest::Quote(script) + " " + vxtest::Quote(source.Path()) + " " +
                                  vxtest::Quote(source.Path() + ".d") + " && rm -rf " + vxtest::Quote(source.Path() + ".d"),
                              &out),
           0);
  auto under = NewForm();
  TForm1& f = *under->Form;
  Load(*under, source.Path());
  QVERIFY(f.Label8->toolTip().endsWith(", signed"));
  QVERIFY(!f.RadioGroup4->isEnabled() && !f.RadioGroup5->isEnabled());

  f.Edit2->setText("Amended title");
  under->Target = QString::fromStdString(target.Path());
  f.Button2->click();
  QVERIFY2(f.Label8->text().endsWith(") as an incremental update; the signatures stay valid"), qPrintable(f.Label8->text()));
  const std::string before = source.Read();
  QCOMPARE(target.Read().substr(0, before.size()), before);
  vxtest::RunCommand("pdfsig " + vxtest::Quote(target.Path()), &out);
  QVERIFY2(out.find("Signature Validation: Signature is Valid.") != std::string::npos, out.c_str());
  vx::TvxPDFDocument saved;
  QVERIFY(saved.LoadFromFile(target.Path()));
  QCOMPARE(QString::fromStdU16String(saved.Info().Title()), QString("Amended title"));

  // A lower version needs a rewrite: the message names the file's version
  // and offers one, which writes the new version.
  f.RadioGroup3->Button(IndexOf(f.RadioGroup3, "1.5"))->click();
  QString refusal;
  apptest::TWhenShown<QMessageBox> rewrite([&](QMessageBox* box) {
    refusal = box->text();
    apptest::ClickButton(box, "Save as a full rewrite (the signatures become invalid)");
  });
  f.Button2->click();
  QVERIFY(refusal.contains("the file is 1.7") && !refusal.contains("1.4 or later"));
  QVERIFY(rewrite.Ran() && f.RadioGroup4->isEnabled());
  QString error;
  QCOMPARE(apptest::ReadWithQpdf(target.Path(), error).Version, QString("1.5"));
  QVERIFY(target.Read().compare(0, before.size(), before) != 0);

  // A failed load after a signed file leaves the groups usable.
  Load(*under, source.Path());
  QVERIFY(!f.RadioGroup4->isEnabled());
  TMessageBoxWatcher watcher;
  Load(*under, source.Path() + ".missing");
  QVERIFY(f.RadioGroup4->isEnabled() && f.RadioGroup5->isEnabled());
}

// A name not ending in ".pdf" is saved with ".pdf" added: a file of that
// name is not replaced unasked.
void TMainWindowTest::saveAsksAboutTheFileItReallyWrites_data() {
  QTest::addColumn<QString>("extension");
  QTest::newRow("report.txt") << ".txt";
  QTest::newRow("minutes.v2") << ".v2";
}

void TMainWindowTest::saveAsksAboutTheFileItReallyWrites() {
  QFETCH(QString, extension);
  vxtest::TempFile source, existing(extension.toStdString() + ".pdf");
  source.Write(vxtest::SimplePdf(1));
  existing.Write("kept");
  auto under = NewForm();
  Load(*under, source.Path());
  under->Target = QString::fromStdString(existing.Path()).chopped(4);
  TMessageBoxWatcher watcher;  // answers with the default, Cancel
  under->Form->Button2->click();
  QVERIFY(watcher.Seen().size() == 1 && watcher.Seen()[0].Text.contains(QString::fromStdString(existing.Path())));
  QCOMPARE(existing.Read(), std::string("kept"));
}

// Settings… starts from what the window shows; OK applies (an AES-256
// encryption qpdf opens with its passwords), Cancel changes nothing.
void TMainWindowTest::settingsButtonEditsTheLoadedDocument_data() {
  QTest::addColumn<bool>("ok");
  QTest::newRow("OK") << true;
  QTest::newRow("Cancel") << false;
}

void TMainWindowTest::settingsButtonEditsTheLoadedDocument() {
  QFETCH(bool, ok);
  vxtest::TempFile source, target;
  source.Write(vxtest::SimplePdf(2, "", "/Title (Loaded)"));
  auto under = NewForm();
  TForm1& f = *under->Form;
  Load(*under, source.Path());
  f.Edit3->setText("Typed");
  QString shownSubject;
  apptest::TWhenShown<vx::TvxPDFSettingsDlg> answer([&](vx::TvxPDFSettingsDlg* d) {
    shownSubject = d->edtDocSubject->text();
    d->edtTitle->setText("Dialog");
    d->chkEnableEncryption->click();
    d->rgEncryptionLevelButtons->button(2)->click();  // 256 Bit AES
    for (QLineEdit* edit : {d->edtOwnerPassword, d->edtConfirmOwnerPassword}) edit->setText("owner");
    for (QLineEdit* edit : {d->edtUserPassword, d->edtConfirmUserPassword}) edit->setText("user");
    (ok ? d->btnOK : d->btnCancel)->click();
  });
  f.Button5->click();
  QVERIFY(answer.Ran() && shownSubject == "Typed");
  QCOMPARE(f.Edit2->text(), QString(ok ? "Dialog" : "Loaded"));
  under->Target = QString::fromStdString(target.Path());
  f.Button2->click();
  QString error, encryption;
  const apptest::TQpdfView view = apptest::ReadWithQpdf(target.Path(), error, ok ? "user" : QString());
  QVERIFY2(error.isEmpty(), qPrintable(error));
  QCOMPARE(view.Info.value("/Title").toString(), QString(ok ? "u:Dialog" : "u:Loaded"));
  apptest::Run("qpdf", {"--show-encryption", "--password=owner", QString::fromStdString(target.Path())}, &encryption);
  QCOMPARE(encryption.contains("AESv3"), ok);
}

// Enter on a focused button, the mnemonics and the shortcuts; the row's
// name is the key sequence.
void TMainWindowTest::keyboardReachesEveryButton_data() {
  QTest::addColumn<int>("button");  // 1 Load..., 2 Vordel!, 3 Help, 4 Exit
  for (const auto& [keys, button] : {std::pair{"Return", 1}, {"Alt+L", 1}, {"Ctrl+O", 1}, {"Alt+V", 2}, {"Ctrl+S", 2},
                                     {"Alt+H", 3}, {"F1", 3}, {"Alt+X", 4}, {"Ctrl+Q", 4}})
    QTest::newRow(keys) << button;
}

void TMainWindowTest::keyboardReachesEveryButton() {
  QFETCH(int, button);
  auto under = NewForm();
  TForm1& f = *under->Form;
  f.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&f));
  QPushButton* target = QList<QPushButton*>{f.Button1, f.Button2, f.Button3, f.Button4}[button - 1];
  QSignalSpy clicked(target, &QPushButton::clicked);
  TMessageBoxWatcher watcher;
  target->setFocus();
  QTest::keySequence(target, QKeySequence(QString::fromUtf8(QTest::currentDataTag())));
  QTRY_COMPARE(clicked.count(), 1);
}

// Run by its own test entry at scale 2 on a 1600 × 1000 screen: the window
// fits, and its status line can be scrolled to.
void TMainWindowTest::fitsASmallScreenAtScaleTwo() {
  if (qEnvironmentVariable("QT_SCALE_FACTOR") != "2") QSKIP("runs at scale 2 only");
  auto under = NewForm();
  TForm1& f = *under->Form;
  QCOMPARE(f.screen()->availableGeometry().size(), QSize(800, 500));
  QVERIFY(f.screen()->availableGeometry().contains(f.frameGeometry()));
  f.ScrollArea->ensureWidgetVisible(f.Label8);
  QVERIFY(f.ScrollArea->viewport()->rect().contains(
      QRect(f.Label8->mapTo(f.ScrollArea->viewport(), QPoint()), f.Label8->size())));
}

VX_APP_TEST_MAIN(TMainWindowTest)
#include "MainWindowTest.moc"
