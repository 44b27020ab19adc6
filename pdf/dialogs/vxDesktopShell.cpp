#include "pdf/dialogs/vxDesktopShell.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "pdf/dialogs/vxDialogTexts.h"
#include "pdf/document/vxShell.h"

namespace vx {

namespace {

// A file by its path, anything else by its address.
QString Location(const QUrl& url) {
  return url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toString();
}

}  // namespace

bool OpenWithDesktop(QWidget* parent, const QUrl& url) {
  if (QDesktopServices::openUrl(url)) return true;
  // Without a desktop opener the user still needs the place itself.
  const QString location = Location(url);
  QMessageBox box(QMessageBox::Information, QApplication::applicationName(),
                  QString::fromUtf8(res::SDlgNoDesktopOpener).arg(location), QMessageBox::Ok, parent);
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);
  QPushButton* copy = box.addButton(QString::fromUtf8(res::SDlgCopyLocation), QMessageBox::ActionRole);
  box.setDefaultButton(QMessageBox::Ok);
  // With a second button the box finds no escape button by itself.
  box.setEscapeButton(QMessageBox::Ok);
  // A save may still show its busy cursor; the box waits for the user.
  QApplication::setOverrideCursor(Qt::ArrowCursor);
  box.exec();
  QApplication::restoreOverrideCursor();
  if (box.clickedButton() == copy) QApplication::clipboard()->setText(location);
  return false;
}

void RegisterDesktopShellOpen() {
  RegisterShellOpen([](const std::string& fileName) {
    const QString path = QFileInfo(QFile::decodeName(QByteArray::fromStdString(fileName))).absoluteFilePath();
    OpenWithDesktop(QApplication::activeWindow(), QUrl::fromLocalFile(path));
  });
}

}  // namespace vx
