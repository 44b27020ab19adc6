// The window as a desktop user meets it: passwords, a refused Vordel! after
// a failed load, files from the command line, drops and Enter, the status
// line, fallbacks without a desktop opener, the save dialog's start, one
// face, the icon and desktop entry, cancelling a save, and the compression
// items. Driven through the real widgets on the offscreen platform.
#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <memory>

#include "AppTestSupport.h"
#include "app/CommandLine.h"
#include "app/PasswordDialog.h"
#include "app/RadioGroup.h"
#include "app/VordelPDFUnit.h"
#include "pdf/dialogs/vxDesktopShell.h"
#include "pdf/dialogs/vxPDFSettingsDlg.h"
#include "pdf/util/vxExceptions.h"
#include "pdf/util/vxPDFResStrs.h"
#include "support/PdfBuilder.h"

using apptest::TMessageBoxWatcher;

namespace {

struct TFormUnderTest {
  std::unique_ptr<TForm1> Form;
  QString Source;
  QString Target;
  int TargetAsked = 0;
};

std::unique_ptr<TFormUnderTest> NewForm() {
  auto under = std::make_unique<TFormUnderTest>();
  under->Form = std::make_unique<TForm1>(2013);
  TFormUnderTest* u = under.get();
  u->Form->ChooseSourceFile = [u] { return u->Source; };
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

QString Corpus(const char* name) { return QString::fromStdString(vxtest::CorpusDir() + "/qpdf-tests/") + name; }

// Answers each password question with the next scripted answer (a null
// string cancels) and records what each question showed.
class TPasswordAnswerer {
 public:
  struct TSeen {
    QString Question;
    bool WrongLineShown;
    QLineEdit::EchoMode Echo;
  };
  explicit TPasswordAnswerer(QStringList answers) : answers_(std::move(answers)) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }
  QList<TSeen> Seen;

 private:
  void Poll() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<TPasswordDialog*>(widget);
      if (!dialog || !dialog->isVisible()) continue;
      Seen.append({dialog->Question->text(), dialog->WrongLine->isVisible(), dialog->PasswordEdit->echoMode()});
      const QString answer = answers_.isEmpty() ? QString() : answers_.takeFirst();
      if (answer.isNull()) {
        dialog->Buttons->button(QDialogButtonBox::Cancel)->click();
      } else {
        QTest::keyClicks(dialog->PasswordEdit, answer);
        dialog->Buttons->button(QDialogButtonBox::Ok)->click();
      }
    }
  }
  QStringList answers_;
  QTimer timer_;
};

bool FontMatches(const QWidget* widget, const QFont& face) {
  return widget->font().families() == face.families() && widget->font().pixelSize() == face.pixelSize();
}

QStringList TemporaryFilesBeside(const std::string& target) {
  const std::filesystem::path path(target);
  QStringList found;
  for (const auto& entry : std::filesystem::directory_iterator(path.parent_path()))
    if (entry.path().filename().string().rfind("." + path.filename().string() + ".vxtmp-", 0) == 0)
      found << QString::fromStdString(entry.path().string());
  return found;
}

}  // namespace

class TDesktopWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void passwordIsAskedUntilRightOrCancelled();
  void vordelRefusesAfterAFailedLoad();
  void filesComeFromTheCommandLineDropAndEnter();
  void statusLineSaysWhatWasLoadedAndSaved();
  void withoutADesktopOpenerTheLocationIsShown();
  void saveDialogStartsBesideTheSource();
  void oneFaceThroughout();
  void iconAndDesktopEntry();
  void cancelledSaveLeavesTheTargetAsItWas();
  void changesAreNotDiscardedUnasked();
  void flateLevelItemsGiveTheirLevelCodes_data();
  void flateLevelItemsGiveTheirLevelCodes();
  void oneBrokenTestFunctionDoesNotStopTheSuite();
};

void TDesktopWindowTest::passwordIsAskedUntilRightOrCancelled() {
  VX_QT_NEEDS_CORPUS();
  const QString file = Corpus("enc-R3,V2,U=view,O=master.pdf");
  QVERIFY2(QFileInfo::exists(file), qPrintable(file));
  auto under = NewForm();
  TForm1& f = *under->Form;

  {
    // An empty user password opens the file without a question.
    TPasswordAnswerer answerer({});
    Load(*under, Corpus("enc-R3,V2,O=master.pdf").toStdString());
    QCOMPARE(answerer.Seen.size(), 0);
    QVERIFY(f.Loaded());
  }
  {
    // A wrong password, then the user's.
    TPasswordAnswerer answerer({QStringLiteral("wrong"), QStringLiteral("view")});
    TMessageBoxWatcher watcher;
    Load(*under, file.toStdString());
    QCOMPARE(watcher.Seen().size(), 0);
    QCOMPARE(answerer.Seen.size(), 2);
    QVERIFY(answerer.Seen[0].Question.contains(QStringLiteral("enc-R3,V2,U=view,O=master.pdf")));
    QCOMPARE(answerer.Seen[0].Echo, QLineEdit::Password);
    QVERIFY(!answerer.Seen[0].WrongLineShown);
    QVERIFY(answerer.Seen[1].WrongLineShown);
    QVERIFY(f.Loaded());
    // The name is shortened to fit, not the facts (the file is linearized).
    QVERIFY2(f.Label8->text().endsWith(
                 QStringLiteral(": 30 pages, PDF 1.4, encrypted, opened with the user password, linearized")),
             qPrintable(f.Label8->text()));
  }
  {
    TPasswordAnswerer answerer({QStringLiteral("master")});
    Load(*under, file.toStdString());
    QCOMPARE(answerer.Seen.size(), 1);
    QVERIFY(f.Loaded());
    QVERIFY2(f.Label8->toolTip().endsWith(QStringLiteral("encrypted, opened as owner, linearized")),
             qPrintable(f.Label8->toolTip()));
  }
  {
    // Cancel ends the load with nothing loaded, and no error to report.
    TPasswordAnswerer answerer({QStringLiteral("nope"), QString()});
    TMessageBoxWatcher watcher;
    Load(*under, file.toStdString());
    QCOMPARE(answerer.Seen.size(), 2);
    QCOMPARE(watcher.Seen().size(), 0);
    QCOMPARE(f.Label8->toolTip(), QString("Not loaded: the password question was cancelled"));
    QVERIFY(!f.Loaded());
    QVERIFY(f.Edit2->text().isEmpty());
  }
  // The question is asked only while the window loads.
  QVERIFY(!f.PDFDoc.OnPassword);
}

void TDesktopWindowTest::vordelRefusesAfterAFailedLoad() {
  vxtest::TempFile good, bad, target;
  good.Write(vxtest::SimplePdf(2, "/PageLayout /OneColumn /ViewerPreferences << /FitWindow true >>",
                               "/Title (Good) /Author (Ann)"));
  bad.Write("%PDF-1.4\nthis is no PDF at all\n");
  std::filesystem::remove(target.Path());
  auto under = NewForm();
  TForm1& f = *under->Form;
  under->Target = QString::fromStdString(target.Path());

  // Before any load, a name that exists is not enough either.
  f.Edit1->setText(QString::fromStdString(good.Path()));
  {
    TMessageBoxWatcher watcher;
    f.Button2->click();
    QCOMPARE(watcher.Seen().size(), 1);
    QVERIFY(watcher.Seen()[0].Text.startsWith(QStringLiteral("No document is loaded")));
  }

  const std::vector<std::string> failures{bad.Path(), good.Path() + ".missing.pdf"};
  for (const std::string& failing : failures) {
    Load(*under, good.Path());
    QVERIFY(f.Loaded());
    QCOMPARE(f.Edit2->text(), QString("Good"));
    {
      TMessageBoxWatcher watcher;
      Load(*under, failing);
      QCOMPARE(watcher.Seen().size(), 1);
      QCOMPARE(watcher.Seen()[0].Icon, QMessageBox::Critical);
    }
    QVERIFY(!f.Loaded());
    for (QLineEdit* e : {f.Edit2, f.Edit3, f.Edit4, f.Edit5}) QVERIFY(e->text().isEmpty());
    QVERIFY(!f.CheckBox3->isChecked());
    for (TRadioGroup* g : {f.RadioGroup1, f.RadioGroup2, f.RadioGroup3}) QCOMPARE(g->ItemIndex(), -1);
    QVERIFY(f.Label8->toolTip().startsWith(QStringLiteral("Not loaded: ")));

    // Vordel! refuses, even with the good file's name typed back in.
    f.Edit1->setText(QString::fromStdString(good.Path()));
    TMessageBoxWatcher watcher;
    f.Button2->click();
    QCOMPARE(watcher.Seen().size(), 1);
    QCOMPARE(watcher.Seen()[0].Text, QString("No document is loaded: load a PDF file that opens first."));
    QCOMPARE(under->TargetAsked, 0);
    QVERIFY(!std::filesystem::exists(target.Path()));
  }

  // A load that succeeds lifts the refusal.
  Load(*under, good.Path());
  f.Button2->click();
  QCOMPARE(under->TargetAsked, 1);
  vx::TvxPDFDocument saved;
  QVERIFY(saved.LoadFromFile(target.Path()));
  QCOMPARE(saved.PageCount(), 2);
}

void TDesktopWindowTest::filesComeFromTheCommandLineDropAndEnter() {
  QCOMPARE(ParseCommandLine({"vordel-pdf", "/tmp/a b.pdf"}).File, QString("/tmp/a b.pdf"));
  QCOMPARE(ParseCommandLine({"vordel-pdf", "--load", "x.pdf"}).File, QString("x.pdf"));
  QVERIFY(ParseCommandLine({"vordel-pdf"}).File.isEmpty());
  const TStartOptions shot = ParseCommandLine({"vordel-pdf", "--screenshot", "s.png", "in.pdf"});
  QCOMPARE(shot.File, QString("in.pdf"));
  QCOMPARE(shot.Screenshot, QString("s.png"));

  vxtest::TempFile first, second, third;
  first.Write(vxtest::SimplePdf(1, "", "/Title (First)"));
  second.Write(vxtest::SimplePdf(1, "", "/Title (Dropped)"));
  third.Write(vxtest::SimplePdf(1, "", "/Title (Typed)"));
  auto under = NewForm();
  TForm1& f = *under->Form;

  // What main() does with the file named on the command line.
  f.LoadFile(QString::fromStdString(first.Path()));
  QCOMPARE(f.Edit2->text(), QString("First"));

  // Dropping one local file loads it; anything else is not taken.
  auto mime = std::make_unique<QMimeData>();
  mime->setUrls({QUrl::fromLocalFile(QString::fromStdString(second.Path()))});
  // Shift proposes a move; the drop is taken as a copy all the same.
  const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
  QDragEnterEvent enter(QPoint(100, 100), actions, mime.get(), Qt::LeftButton, Qt::ShiftModifier);
  QApplication::sendEvent(&f, &enter);
  QVERIFY(enter.isAccepted() && enter.dropAction() == Qt::CopyAction);
  QDropEvent drop(QPointF(100, 100), actions, mime.get(), Qt::LeftButton, Qt::ShiftModifier);
  QApplication::sendEvent(&f, &drop);
  QCOMPARE(drop.dropAction(), Qt::CopyAction);
  QTRY_COMPARE(f.Edit2->text(), QString("Dropped"));
  QCOMPARE(f.Edit1->text(), QString::fromStdString(second.Path()));

  auto web = std::make_unique<QMimeData>();
  web->setUrls({QUrl("https://example.org/x.pdf")});
  QDragEnterEvent refused(QPoint(100, 100), Qt::CopyAction, web.get(), Qt::LeftButton, Qt::NoModifier);
  refused.setAccepted(false);
  QApplication::sendEvent(&f, &refused);
  QVERIFY(!refused.isAccepted());

  // Enter in the file-name field loads the typed name, ".pdf" left out
  // included, and Vordel! saves from the file that was loaded.
  f.Edit1->setText(QString::fromStdString(third.Path()).chopped(4));
  QTest::keyClick(f.Edit1, Qt::Key_Return);
  QCOMPARE(f.Edit2->text(), QString("Typed"));
  QVERIFY(f.Loaded());
  vxtest::TempFile target;
  under->Target = QString::fromStdString(target.Path());
  f.Button2->click();
  QCOMPARE(under->TargetAsked, 1);
}

void TDesktopWindowTest::statusLineSaysWhatWasLoadedAndSaved() {
  vxtest::TempFile source, broken, target;
  source.Write(apptest::WithHeaderVersion(vxtest::SimplePdf(3), "1.6"));
  // The cross-reference offset points nowhere: the library rebuilds it.
  std::string damaged = vxtest::SimplePdf(1);
  const size_t at = damaged.rfind("startxref");
  damaged = damaged.substr(0, at) + "startxref\n7\n%%EOF\n";
  broken.Write(damaged);
  auto under = NewForm();
  TForm1& f = *under->Form;
  QVERIFY(f.Label8->text().isEmpty());
  QVERIFY(f.rect().contains(f.Label8->geometry()));
  QVERIFY(f.Label8->geometry().top() >= f.Button2->geometry().bottom());

  Load(*under, source.Path());
  const QString name = QFileInfo(QString::fromStdString(source.Path())).fileName();
  QCOMPARE(f.Label8->text(), QString("Loaded %1: 3 pages, PDF 1.6, not encrypted").arg(name));

  Load(*under, broken.Path());
  QVERIFY(f.Loaded());
  QVERIFY2(f.Label8->toolTip().endsWith(QStringLiteral("1 page, PDF 1.4, not encrypted, repaired")),
           qPrintable(f.Label8->toolTip()));

  under->Target = QString::fromStdString(target.Path());
  f.Button2->click();
  const QFileInfo written(QString::fromStdString(target.Path()));
  QVERIFY(written.size() > 0);
  QCOMPARE(f.Label8->toolTip(), QString("Saved %1 (%2)")
                                    .arg(written.absoluteFilePath(),
                                         QLocale::system().formattedDataSize(written.size())));
  // A long path is shortened to fit, never cut off at the edge.
  QVERIFY(f.Label8->fontMetrics().horizontalAdvance(f.Label8->text()) <= f.Label8->width());

  // A file laid out for fast web view.
  VX_QT_NEEDS_CORPUS();
  Load(*under, vxtest::CorpusDir() + "/qpdf-tests/lin1.pdf");
  QVERIFY2(f.Label8->toolTip().endsWith(QStringLiteral("not encrypted, linearized")),
           qPrintable(f.Label8->toolTip()));
}

void TDesktopWindowTest::withoutADesktopOpenerTheLocationIsShown() {
  // The offscreen platform has no program to open anything with.
  auto under = NewForm();
  TForm1& f = *under->Form;
  QList<QString> shown;
  auto copyEach = [&] {
    return std::make_unique<apptest::TWhenShown<QMessageBox>>([&](QMessageBox* box) {
      shown << box->text();
      for (QAbstractButton* button : box->buttons())
        if (button->text() == QStringLiteral("Copy")) button->click();
    });
  };
  QApplication::clipboard()->clear();
  {
    auto copier = copyEach();
    QTest::mouseClick(f.Label7, Qt::LeftButton);
    QVERIFY(copier->Ran());
  }
  QCOMPARE(QApplication::clipboard()->text(), QString("https://www.vordel-pdf.example/"));
  {
    auto copier = copyEach();
    f.Button3->click();
    QVERIFY(copier->Ran());
  }
  const QString help = QApplication::clipboard()->text();
  QVERIFY2(help.endsWith(QStringLiteral("/help.html")) && QFileInfo::exists(help), qPrintable(help));
  {
    // Escape closes the box.
    bool closedByEscape = false;
    apptest::TWhenShown<QMessageBox> escape([&](QMessageBox* box) {
      QTest::keyClick(box, Qt::Key_Escape);
      closedByEscape = !box->isVisible();
      if (!closedByEscape) box->reject();
    });
    f.Button3->click();
    QVERIFY(escape.Ran() && closedByEscape);
  }

  // "Open After Save" shows where the file went.
  vxtest::TempFile source, target;
  source.Write(vxtest::SimplePdf(1));
  vx::RegisterDesktopShellOpen();
  Load(*under, source.Path());
  f.PDFDoc.SetOpenAfterSave(true);
  under->Target = QString::fromStdString(target.Path());
  {
    auto copier = copyEach();
    f.Button2->click();
    QVERIFY(copier->Ran());
  }
  QCOMPARE(QApplication::clipboard()->text(), QString::fromStdString(target.Path()));
  QCOMPARE(shown.size(), 3);
  for (const QString& text : shown) QVERIFY2(text.startsWith(QStringLiteral("No program was found")), qPrintable(text));
  QVERIFY(shown[2].contains(QString::fromStdString(target.Path())));
}

void TDesktopWindowTest::saveDialogStartsBesideTheSource() {
  vxtest::TempFile source, typed;
  source.Write(vxtest::SimplePdf(1));
  TForm1 f(2013);  // the real file dialogs
  f.show();
  f.LoadFile(QString::fromStdString(source.Path()));
  QVERIFY(f.Loaded());
  f.Edit1->setText(QString::fromStdString(typed.Path()));  // typed, not loaded: not offered
  QString folder, selected;
  apptest::TWhenShown<QFileDialog> reader([&](QFileDialog* dialog) {
    folder = dialog->directory().absolutePath();
    selected = dialog->selectedFiles().value(0);
    dialog->reject();
  });
  f.Button2->click();
  QVERIFY(reader.Ran());
  const QFileInfo info(QString::fromStdString(source.Path()));
  QCOMPARE(folder, info.absolutePath());
  QCOMPARE(QFileInfo(selected).fileName(), info.fileName());
}

void TDesktopWindowTest::oneFaceThroughout() {
  auto under = NewForm();
  TForm1& f = *under->Form;
  const QFont face = TForm1::WindowFont();
  QVERIFY(FontMatches(&f, face));
  QVERIFY(FontMatches(f.Button2, face));

  bool boxMatches = false;
  {
    apptest::TWhenShown<QMessageBox> box([&](QMessageBox* b) {
      boxMatches = FontMatches(b, face) && !b->buttons().isEmpty() && FontMatches(b->buttons().first(), face);
      b->accept();
    });
    f.Button2->click();  // "No source file specified!"
    QVERIFY(box.Ran());
  }
  QVERIFY(boxMatches);

  TPasswordDialog password(&f, QStringLiteral("a.pdf"), 1);
  QVERIFY(FontMatches(&password, face));
  QVERIFY(FontMatches(password.PasswordEdit, face));
  QFileDialog files(&f);
  QVERIFY(FontMatches(&files, face));
  // The library makes its settings dialog over the active window, or none.
  vx::TvxPDFSettingsDlg settings(nullptr);
  QVERIFY(FontMatches(&settings, face));
  QVERIFY(FontMatches(settings.pcSettings, face));
}

void TDesktopWindowTest::iconAndDesktopEntry() {
  auto under = NewForm();
  const QIcon icon = under->Form->windowIcon();
  QVERIFY(!icon.isNull());
  const QImage image = icon.pixmap(48, 48).toImage();
  QVERIFY(!image.isNull());
  // Drawn, not blank: the page's white and the band's red are both there.
  bool red = false, white = false;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      red |= c.alpha() > 200 && c.red() > 150 && c.green() < 90;
      white |= c.alpha() > 200 && c.red() > 240 && c.green() > 240 && c.blue() > 240;
    }
  QVERIFY(red && white);

  const QString entry = QStringLiteral(VX_SOURCE_DIR "/app/vordel-pdf.desktop");
  QString output;
  const int code = apptest::Run(QStringLiteral("desktop-file-validate"), {entry}, &output);
  QVERIFY2(code == 0 && output.trimmed().isEmpty(), qPrintable(QString::number(code) + ": " + output));
  QFile file(entry);
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(file.readAll());
  QVERIFY(text.contains(QStringLiteral("\nMimeType=application/pdf;\n")));
  QVERIFY(text.contains(QStringLiteral("\nExec=vordel-pdf %f\n")));
  QVERIFY(text.contains(QStringLiteral("\nIcon=vordel-pdf\n")));
}

void TDesktopWindowTest::cancelledSaveLeavesTheTargetAsItWas() {
  vxtest::TempFile source, target;
  source.Write(vxtest::SimplePdf(3000));
  const std::string before = "%PDF-1.4\n% the file that was here before\n";
  target.Write(before);

  // The library on its own: CancelSave from the progress event stops it.
  {
    vx::TvxPDFDocument doc;
    QVERIFY(doc.LoadFromFile(source.Path()));
    doc.SetShowSetupDialog(false);
    int calls = 0;
    doc.OnIOProgress = [&](vx::TvxCustomPDFDocument& sender, int) {
      if (++calls == 10) sender.CancelSave();
    };
    QVERIFY_THROWS_EXCEPTION(vx::ESaveCancelled, doc.SaveToFile(target.Path()));
    QCOMPARE(calls, 10);
    QCOMPARE(target.Read(), before);
    QVERIFY(TemporaryFilesBeside(target.Path()).isEmpty());
  }

  auto under = NewForm();
  TForm1& f = *under->Form;
  f.ProgressDelayMs = 0;
  Load(*under, source.Path());
  f.RadioGroup4->SetItemIndex(0);  // Flate
  f.RadioGroup5->SetItemIndex(2);  // Maximum
  under->Target = QString::fromStdString(target.Path());

  bool clicked = false, fullyLaidOut = false;
  int progressAfterCancel = 0;
  f.PDFDoc.OnIOProgress = [&](vx::TvxCustomPDFDocument&, int percent) {
    if (clicked) {
      ++progressAfterCancel;
      return;
    }
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<QProgressDialog*>(w);
      if (!dialog || !dialog->isVisible() || percent < 5) continue;
      QPushButton* cancel = dialog->findChild<QPushButton*>();
      QVERIFY(cancel);
      QCOMPARE(cancel->text(), QString("Cancel"));
      // Every part of it lies inside it and it is as big as it asks to be.
      fullyLaidOut = dialog->size().height() >= dialog->sizeHint().height() &&
                     dialog->rect().contains(cancel->geometry());
      QTest::mouseClick(cancel, Qt::LeftButton);
      clicked = true;
    }
  };
  TMessageBoxWatcher watcher;
  f.Button2->click();
  QVERIFY(clicked);
  QVERIFY(fullyLaidOut);
  QCOMPARE(progressAfterCancel, 0);  // stopped at once
  QCOMPARE(watcher.Seen().size(), 0);  // the user asked for it: no error box
  QCOMPARE(target.Read(), before);
  QVERIFY(TemporaryFilesBeside(target.Path()).isEmpty());
  QVERIFY2(f.Label8->toolTip().endsWith(QStringLiteral("is unchanged")), qPrintable(f.Label8->toolTip()));

  // Cancelled on the way to a new name, the line says nothing was written.
  clicked = false;
  under->Target += ".new.pdf";
  f.Button2->click();
  QVERIFY(clicked && !QFileInfo::exists(under->Target));
  QCOMPARE(f.Label8->toolTip(), QString("The save was cancelled; nothing was written"));
  under->Target = QString::fromStdString(target.Path());
  for (QWidget* w : QApplication::topLevelWidgets()) QVERIFY(!qobject_cast<QProgressDialog*>(w));

  // The next save is not cancelled and completes.
  f.PDFDoc.OnIOProgress = nullptr;
  f.Button2->click();
  QString error;
  const apptest::TQpdfView view = apptest::ReadWithQpdf(target.Path(), error);
  QVERIFY2(error.isEmpty(), qPrintable(error));
  QCOMPARE(QFileInfo(QString::fromStdString(target.Path())).size() > qint64(before.size()), true);
}

// Loading another file or leaving after a change asks first; Cancel keeps
// the changes, Discard goes on.
void TDesktopWindowTest::changesAreNotDiscardedUnasked() {
  vxtest::TempFile first, second;
  first.Write(vxtest::SimplePdf(1, "", "/Title (First)"));
  second.Write(vxtest::SimplePdf(1, "", "/Title (Second)"));
  auto under = NewForm();
  TForm1& f = *under->Form;
  Load(*under, first.Path());
  f.Edit2->setText("Changed");
  for (const QString answer : {"Cancel", "Discard"}) {
    QString asked;
    apptest::TWhenShown<QMessageBox> question([&](QMessageBox* box) {
      asked = box->text();
      apptest::ClickButton(box, answer);
    });
    Load(*under, second.Path());
    QCOMPARE(asked, "Discard the changes to " + QFileInfo(QString::fromStdString(first.Path())).fileName() + "?");
    QCOMPARE(f.Edit2->text(), QString(answer == "Cancel" ? "Changed" : "Second"));
  }
  f.CheckBox1->click();
  apptest::TWhenShown<QMessageBox> keep([](QMessageBox* box) { apptest::ClickButton(box, "Cancel"); });
  f.Button4->click();
  QVERIFY(keep.Ran() && f.isVisible());
}

void TDesktopWindowTest::flateLevelItemsGiveTheirLevelCodes_data() {
  QTest::addColumn<QString>("item");
  QTest::addColumn<int>("code");
  QTest::newRow("Default") << "Default" << 2;
  QTest::newRow("Fastest") << "Fastest" << 1;
  QTest::newRow("Maximum") << "Maximum" << 3;
  QTest::newRow("None") << "None" << 0;
}

void TDesktopWindowTest::flateLevelItemsGiveTheirLevelCodes() {
  QFETCH(QString, item);
  QFETCH(int, code);
  vxtest::TempFile source, target;
  source.Write(vxtest::SimplePdf(2));
  auto under = NewForm();
  TForm1& f = *under->Form;
  Load(*under, source.Path());
  f.RadioGroup4->Button(f.RadioGroup4->Items().indexOf("Flate"))->click();
  f.RadioGroup5->Button(f.RadioGroup5->Items().indexOf(item))->click();
  under->Target = QString::fromStdString(target.Path());
  f.Button2->click();
  QCOMPARE(int(f.PDFDoc.Compression().Encoding), 0);
  QCOMPARE(int(f.PDFDoc.Compression().Level), code);
  QString error;
  apptest::ReadWithQpdf(target.Path(), error);
  QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TDesktopWindowTest::oneBrokenTestFunctionDoesNotStopTheSuite() {
  QString output;
  const int code = apptest::Run(QStringLiteral(VX_SUITE_PROBE), {}, &output);
  QVERIFY2(code == 1, qPrintable(output));
  QVERIFY2(output.contains(QStringLiteral("PASS   : TSuiteIsolationProbe::runsAfterTheOthers()")), qPrintable(output));
  QVERIFY2(output.contains(QStringLiteral("failed: throwsAnException, crashes")), qPrintable(output));
}

VX_APP_TEST_MAIN(TDesktopWindowTest)

#include "DesktopWindowTest.moc"
