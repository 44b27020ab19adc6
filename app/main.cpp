// vordel-pdf: the desktop window. `vordel-pdf FILE` opens FILE at start.
#include <QApplication>
#include <QIcon>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>

#include "app/CommandLine.h"
#include "app/PasswordDialog.h"
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

// The question as asked after one wrong password.
void SavePasswordShot(TForm1& form, const QString& file) {
  TPasswordDialog dialog(&form, form.Edit1->text().isEmpty() ? QStringLiteral("report.pdf") : form.Edit1->text(), 1);
  dialog.show();
  QApplication::processEvents();
  dialog.grab().save(file);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (AsksForHelpOrVersion(argc, argv)) {
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName(QString::fromUtf8(app::texts::ApplicationTitle));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(app::texts::ApplicationVersion));
    AnswerHelpOrVersion(core);
    return 0;
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(app::texts::ApplicationTitle));
  QApplication::setApplicationVersion(QString::fromUtf8(app::texts::ApplicationVersion));
  QApplication::setWindowIcon(QIcon(QString::fromUtf8(app::texts::IconResource)));
  QApplication::setDesktopFileName(QStringLiteral("vordel-pdf"));
  vx::RegisterSettingsDialog();

  const TStartOptions options = ParseCommandLine(QApplication::arguments());

  TForm1 form;
  form.show();

  // Once the event loop runs, so that a failure's message box has a window.
  if (!options.File.isEmpty()) QTimer::singleShot(0, &form, [&] { form.LoadFile(options.File); });
  if (!options.Screenshot.isEmpty()) {
    QTimer::singleShot(500, &form, [&] {
      form.grab().save(options.Screenshot);
      if (!options.DialogShots.isEmpty()) SaveDialogShots(form, options.DialogShots);
      if (!options.PasswordShot.isEmpty()) SavePasswordShot(form, options.PasswordShot);
      QApplication::quit();
    });
  }
  return QApplication::exec();
}
