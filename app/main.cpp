// vordel-pdf: the desktop window.
//
// Hidden options for the documentation (the program reads no other input):
//   --load FILE          loads FILE as "Load..." would
//   --screenshot FILE    saves a picture of the window to FILE and quits
//   --dialog-shots STEM  with --screenshot, also saves each tab of the
//                        settings dialog to STEM-<n>.png
#include <QApplication>
#include <QCommandLineParser>
#include <QTabWidget>
#include <QTimer>

#include "app/VordelPDFTexts.h"
#include "app/VordelPDFUnit.h"
#include "pdf/dialogs/vxPDFSettingsDlg.h"

namespace {

void SaveDialogShots(TForm1& form, const QString& stem) {
  vx::TvxPDFSettingsDlg dialog(&form);
  dialog.Document = &form.PDFDoc;
  dialog.show();
  for (int i = 0; i < dialog.pcSettings->count(); ++i) {
    dialog.pcSettings->setCurrentIndex(i);
    QApplication::processEvents();
    dialog.grab().save(QStringLiteral("%1-%2.png").arg(stem).arg(i + 1));
  }
  dialog.Document = nullptr;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(app::texts::ApplicationTitle));
  QApplication::setApplicationVersion(QStringLiteral("2.01"));
  vx::RegisterSettingsDialog();

  QCommandLineParser parser;
  QCommandLineOption load(QStringLiteral("load"), QString(), QStringLiteral("file"));
  QCommandLineOption screenshot(QStringLiteral("screenshot"), QString(), QStringLiteral("file"));
  QCommandLineOption dialogShots(QStringLiteral("dialog-shots"), QString(), QStringLiteral("stem"));
  for (QCommandLineOption* option : {&load, &screenshot, &dialogShots}) {
    option->setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(*option);
  }
  parser.parse(QApplication::arguments());  // anything else is ignored

  TForm1 form;
  form.show();

  if (parser.isSet(load)) {
    const QString file = parser.value(load);
    auto chooser = std::move(form.ChooseSourceFile);
    form.ChooseSourceFile = [file] { return file; };
    form.Button1Click();
    form.ChooseSourceFile = std::move(chooser);
  }
  if (parser.isSet(screenshot)) {
    QTimer::singleShot(500, &form, [&] {
      form.grab().save(parser.value(screenshot));
      if (parser.isSet(dialogShots)) SaveDialogShots(form, parser.value(dialogShots));
      QApplication::quit();
    });
  }
  return QApplication::exec();
}
