#include "pdf/dialogs/vxDesktopShell.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include "pdf/document/vxShell.h"

namespace vx {

void RegisterDesktopShellOpen() {
  RegisterShellOpen([](const std::string& fileName) {
    const QString path = QFileInfo(QFile::decodeName(QByteArray::fromStdString(fileName))).absoluteFilePath();
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
  });
}

}  // namespace vx
